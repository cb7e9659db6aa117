#include "cups/CupsConnection.h"
#include "platform/CupsPrintingService.h"
#include "platform/PosixClock.h"
#include "platform/PosixFileServices.h"
#include "platform/PosixFolderChanges.h"
#include "platform/PosixPlaces.h"
#include "platform/PosixRawPort.h"
#include "platform/desktop/QtDesktop.h"
#include "settings/Settings.h"
#include "ui/Engine.h"
#include "ui/FrmVelmorix.h"
#include "ui/ServiceMode.h"
#include "ui/UnixSignals.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QFileInfo>

#include <cstring>
#include <memory>

namespace {

bool hasArgument(int argc, char* argv[], std::initializer_list<const char*> names)
{
    for (int i = 1; i < argc; ++i) {
        for (const char* name : names) {
            if (std::strcmp(argv[i], name) == 0)
                return true;
        }
    }
    return false;
}

/// The settings file: the one --config names, else the usual place.
QString settingsPath(QCoreApplication& app)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Imprime os arquivos que aparecem numa pasta."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addOption(
        {QStringLiteral("service"), QStringLiteral("Sem janela nem ícone: o log vai para a saída.")});
    parser.addOption(
        {QStringLiteral("config"), QStringLiteral("O arquivo de configurações."), QStringLiteral("FILE")});
    parser.process(app);
    if (parser.isSet(QStringLiteral("config")))
        return QFileInfo(parser.value(QStringLiteral("config"))).absoluteFilePath();
    return caminho_ini(QCoreApplication::applicationDirPath());
}

void describe()
{
    QCoreApplication::setApplicationName(QStringLiteral("Velmorix2"));
    QCoreApplication::setApplicationVersion(QStringLiteral(VELMORIX_VERSION));
}

int runDesktop(QApplication& app, const QString& caminhoIni)
{
    QGuiApplication::setDesktopFileName(QStringLiteral("velmorix2"));
    // The window hides into the tray: only the exit question ends the program.
    QApplication::setQuitOnLastWindowClosed(false);

    PosixFileServices files;
    PosixClock clock;
    PosixRawPort rawPort;
    PosixPlaces places;
    CupsPrintingService printing;
    QtAsker asker;
    QtTrayService tray;
    Engine engine({files, files, clock, rawPort, places, printing, asker});
    FrmServices services{files, printing, asker, tray, engine, caminhoIni};

    PosixFolderChanges folderChanges;
    FrmVelmorix window(services);
    engine.cycle().setFolderChanges(&folderChanges);
    QObject::connect(&window, &FrmVelmorix::encerrar, &app, &QCoreApplication::quit, Qt::QueuedConnection);
    // A request to a scheduler that does not answer gives up at once: the file in hand waits.
    UnixSignals unixSignals(nullptr, &CupsConnection::abandonRequests);
    QObject::connect(&unixSignals, &UnixSignals::terminate, &app, [&app, &window] {
        window.encerraSemPerguntar(); // nobody may be there to answer a question
        app.quit();
    });
    QObject::connect(&unixSignals, &UnixSignals::reload, &window, &FrmVelmorix::recarrega);
    window.Form_Initialize();
    window.showAtStart();
    return app.exec();
}

} // namespace

int main(int argc, char* argv[])
{
    // Neither the version, the help nor the service needs a display.
    if (hasArgument(argc, argv, {"--version", "-v", "--help", "-h", "--help-all"})) {
        QCoreApplication app(argc, argv);
        describe();
        settingsPath(app);
        return 0;
    }
    if (hasArgument(argc, argv, {"--service"})) {
        // Printing draws its pages with Qt Gui; without a display it draws them offscreen.
        if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        QGuiApplication app(argc, argv);
        describe();
        return runService(settingsPath(app));
    }
    QApplication app(argc, argv);
    describe();
    return runDesktop(app, settingsPath(app));
}
