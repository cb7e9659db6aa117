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

QtTrayService::QtTrayService(QObject* parent) : QObject(parent), m_icon(new QSystemTrayIcon(this))
{
    // Handed on once the icon's own mouse event is over: the handler may open a menu and end
    // the program, which removes the icon, and with it the widget that sent the event.
    connect(
        m_icon, &QSystemTrayIcon::activated, this,
        [this](QSystemTrayIcon::ActivationReason reason) {
            switch (reason) {
            case QSystemTrayIcon::Trigger:
                emit action(TrayAction::LeftUp);
                break;
            case QSystemTrayIcon::Context:
                emit action(TrayAction::RightUp);
                break;
            case QSystemTrayIcon::DoubleClick:
                emit action(TrayAction::LeftDoubleClick);
                break;
            default:
                break;
            }
        },
        Qt::QueuedConnection);
}

QtTrayService::~QtTrayService() = default;

bool QtTrayService::add(const NotifyIconData& data)
{
    if (m_exists)
        return false;
    m_icon->setIcon(data.hIcon);
    m_icon->setToolTip(data.tip());
    // Shown even without a notification area: the icon embeds itself once one appears.
    m_icon->show();
    m_exists = true;
    return true;
}

bool QtTrayService::modify(const NotifyIconData& data)
{
    if (!m_exists)
        return false;
    m_icon->setIcon(data.hIcon);
    m_icon->setToolTip(data.tip());
    return true;
}

bool QtTrayService::remove(const NotifyIconData&)
{
    if (!m_exists)
        return false;
    m_icon->hide();
    m_exists = false;
    return true;
}

void QtTrayService::showMessage(const QString& title, const QString& text)
{
    if (m_exists)
        m_icon->showMessage(title, text, QSystemTrayIcon::Warning, kMessageMs);
}

bool QtTrayService::isAvailable() const
{
    return QSystemTrayIcon::isSystemTrayAvailable();
}

QRect QtTrayService::geometry() const
{
    return m_icon->geometry();
}
