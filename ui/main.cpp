#include "platform/CupsPrintingService.h"
#include "platform/PosixClock.h"
#include "platform/PosixFileServices.h"
#include "platform/PosixFolderChanges.h"
#include "platform/PosixPlaces.h"
#include "platform/PosixRawPort.h"
#include "platform/desktop/QtDesktop.h"
#include "settings/Settings.h"
#include "ui/FrmVelmorix.h"

#include <QApplication>
#include <QFile>
#include <QSocketNotifier>

#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int g_signalPipe[2] = {-1, -1};

void onTerminate(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(g_signalPipe[1], &byte, 1);
}

/// SIGTERM and SIGINT end the program between two ticks, never in the middle of a file.
void quitOnTerminate(QApplication& app, FrmVelmorix& window)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_signalPipe) != 0)
        return;
    auto* notifier = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read, &app);
    QObject::connect(notifier, &QSocketNotifier::activated, &app, [&app, &window] {
        char byte;
        [[maybe_unused]] const ssize_t n = ::read(g_signalPipe[0], &byte, 1);
        window.encerraSemPerguntar(); // nobody may be there to answer a question
        app.quit();
    });
    struct sigaction action = {};
    action.sa_handler = onTerminate;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGINT, &action, nullptr);
}

} // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Velmorix2"));
    QApplication::setApplicationDisplayName(QStringLiteral("Velmorix2"));
    QApplication::setDesktopFileName(QStringLiteral("velmorix2"));
    // The window hides into the tray: only the exit question ends the program.
    QApplication::setQuitOnLastWindowClosed(false);

    PosixFileServices files;
    PosixClock clock;
    PosixRawPort rawPort;
    PosixPlaces places;
    CupsPrintingService printing;
    QtAsker asker;
    QtTrayService tray;
    FrmServices services{
        files,    files, clock, rawPort, places,
        printing, asker, tray,  nullptr, caminho_ini(QFile::decodeName(places.applicationFolder()))};

    PosixFolderChanges folderChanges;
    FrmVelmorix window(services);
    window.cycle().setFolderChanges(&folderChanges);
    QObject::connect(&tray, &QtTrayService::message, &window,
                     [&window](int number) { window.PictIconeBandeja_MouseMove(0, 0, number * 15.0, 0); });
    QObject::connect(&window, &FrmVelmorix::encerrar, &app, &QCoreApplication::quit, Qt::QueuedConnection);
    quitOnTerminate(app, window);
    window.Form_Initialize();
    window.showAtStart();
    return app.exec();
}
