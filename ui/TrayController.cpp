#include "ui/TrayController.h"

#include "platform/Tray.h"
#include "spool/LogText.h"

#include <QAction>
#include <QCursor>
#include <QLabel>
#include <QMenu>
#include <QWidget>

namespace {

/// The tool tip from the moment the icon appears until the watch first tells its own.
const QString kFirstToolTip = QStringLiteral("Velmorix ativo... ");

/// How long the open eye stays, and each of the closing pictures.
constexpr int kOpenMs = 1000;
constexpr int kClosingMs = 100;
/// Steps in a row that show the open eye before it closes.
constexpr int kOpenSteps = 3;

QIcon eye(const char* name)
{
    return QIcon(QStringLiteral(":/icons/") + QLatin1String(name) + QStringLiteral(".ico"));
}

} // namespace

TrayController::TrayController(TrayService& tray, QWidget& window, QLabel& picture)
    : QObject(&window), m_tray(tray), m_window(window), m_picture(picture), m_menu(new QMenu(&window))
{
    m_menu->setObjectName(QStringLiteral("mnu_IconeBandeja"));
    QAction* configure = m_menu->addAction(QStringLiteral("Configurar Velmorix"));
    configure->setObjectName(QStringLiteral("mnu_IconeBandeja_Configurar"));
    QAction* printOuts = m_menu->addAction(QStringLiteral("Impressões..."));
    printOuts->setObjectName(QStringLiteral("mnu_IconeBandeja_Impressoes"));
    connect(printOuts, &QAction::triggered, this, &TrayController::printOutsRequested);
    QAction* testPage = m_menu->addAction(QStringLiteral("Imprimir página de teste"));
    testPage->setObjectName(QStringLiteral("mnu_IconeBandeja_PaginaTeste"));
    connect(testPage, &QAction::triggered, this, &TrayController::testPageRequested);
    QAction* exit = m_menu->addAction(QStringLiteral("Sair"));
    exit->setObjectName(QStringLiteral("mnu_IconeBandeja_Sair"));
    connect(configure, &QAction::triggered, this, &TrayController::configureRequested);
    connect(exit, &QAction::triggered, this, &TrayController::exitRequested);
    connect(&m_tray, &TrayService::activated, this, &TrayController::activated);

    m_toolTip = kFirstToolTip;
    m_window.setWindowIcon(eye("ATIVOABERTO"));
    m_blink.setInterval(kOpenMs);
    connect(&m_blink, &QTimer::timeout, this, &TrayController::blinkStep);
}

void TrayController::show()
{
    if (m_tray.isVisible())
        return;
    icone_bandeja(m_window.windowIcon(), kFirstToolTip);
    m_tray.show();
}

void TrayController::hide()
{
    m_tray.hide();
}

bool TrayController::isShown() const
{
    return m_tray.isVisible();
}

void TrayController::setActivity(WindowServices::Activity activity)
{
    // Each file of a batch starts the wait for the next picture afresh, so a batch of quick files
    // holds the eye still until it is over.
    if (activity == WindowServices::Activity::Watching) {
        if (!m_blink.isActive())
            m_blink.start();
    } else {
        m_blink.stop();
    }
}

void TrayController::setToolTip(const QString& text)
{
    m_toolTip = text.left(kToolTipLimit);
    if (m_toolTipShown)
        m_tray.setToolTip(m_toolTip);
}

void TrayController::notice(const QString& title, const QString& text)
{
    QStringList lines = text.split(u'\n');
    for (QString& line : lines)
        line = shownInLog(line);
    m_tray.showMessage(shownInLog(title), lines.join(u'\n'));
}

void TrayController::blinkStep()
{
    if (m_openSteps < kOpenSteps) {
        ++m_openSteps;
        m_halfOpenNext = true;
        m_blink.setInterval(kOpenMs);
        showEye("ATIVOABERTO", true);
    } else if (m_halfOpenNext) {
        m_halfOpenNext = false;
        m_blink.setInterval(kClosingMs);
        showEye("ATIVOMEIOABERTO", false);
    } else {
        m_openSteps = 0;
        showEye("ATIVOFECHADO", false);
    }
}

void TrayController::showEye(const char* name, bool withToolTip)
{
    const QIcon icon = eye(name);
    m_picture.setPixmap(icon.pixmap(32, 32));
    m_window.setWindowIcon(icon);
    m_toolTipShown = withToolTip;
    icone_bandeja(icon, withToolTip ? m_toolTip : QString());
}

void TrayController::icone_bandeja(const QIcon& icon, const QString& toolTip)
{
    m_tray.setIcon(icon);
    m_tray.setToolTip(toolTip);
}

void TrayController::activated(QSystemTrayIcon::ActivationReason reason)
{
    // While the menu is up, the icon's clicks do nothing, not even a left click.
    if (m_inActivation)
        return;
    m_inActivation = true;
    if (reason == QSystemTrayIcon::Trigger)
        emit configureRequested();
    else if (reason == QSystemTrayIcon::Context)
        m_menu->exec(QCursor::pos());
    m_inActivation = false;
}
