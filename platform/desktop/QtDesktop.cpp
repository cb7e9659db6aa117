#include "platform/desktop/QtDesktop.h"

#include <QMessageBox>
#include <QSystemTrayIcon>

void QtTimer::setEnabled(bool on)
{
    if (!on)
        m_timer.stop();
    else if (!m_timer.isActive())
        m_timer.start();
}

Asker::Answer QtAsker::ask(const QString& prompt, Options options, const QString& title)
{
    QMessageBox box(m_parent);
    box.setWindowTitle(title.isEmpty() ? QStringLiteral("Velmorix2") : title);
    box.setText(prompt);
    box.setIcon(options.testFlag(Option::Information) ? QMessageBox::Information : QMessageBox::NoIcon);
    box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
    box.setDefaultButton(options.testFlag(Option::DefaultSecond) ? QMessageBox::No : QMessageBox::Yes);
    box.setEscapeButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes ? Answer::Yes : Answer::No;
}

void QtAsker::inform(const QString& text, const QString& title)
{
    QMessageBox box(m_parent);
    box.setWindowTitle(title.isEmpty() ? QStringLiteral("Velmorix2") : title);
    box.setText(text);
    box.setIcon(QMessageBox::Warning);
    box.setStandardButtons(QMessageBox::Ok);
    box.exec();
}

QtTrayService::QtTrayService(QObject* parent) : TrayService(parent), m_icon(new QSystemTrayIcon(this))
{
    // Handed on once the icon's own mouse event is over: the handler may open a menu and end
    // the program, which removes the icon, and with it the widget that sent the event.
    connect(m_icon, &QSystemTrayIcon::activated, this, &TrayService::activated, Qt::QueuedConnection);
}

QtTrayService::~QtTrayService() = default;

void QtTrayService::show()
{
    m_icon->show();
}

void QtTrayService::hide()
{
    m_icon->hide();
}

bool QtTrayService::isVisible() const
{
    return m_icon->isVisible();
}

void QtTrayService::setIcon(const QIcon& icon)
{
    m_icon->setIcon(icon);
}

void QtTrayService::setToolTip(const QString& text)
{
    m_icon->setToolTip(text);
}

void QtTrayService::showMessage(const QString& title, const QString& text)
{
    if (m_icon->isVisible())
        m_icon->showMessage(title, text, QSystemTrayIcon::Warning, kMessageMs);
}

bool QtTrayService::isSystemTrayAvailable() const
{
    return QSystemTrayIcon::isSystemTrayAvailable();
}

QRect QtTrayService::geometry() const
{
    return m_icon->geometry();
}
