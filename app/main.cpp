#include "app/ControlSocket.h"
#include "app/DesktopProgram.h"
#include "app/HistoryCommand.h"
#include "app/ServiceMode.h"
#include "settings/Settings.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QTranslator>

#include <cstring>
#include <memory>

namespace {

/// True when an option of @p names is given, alone or with its value joined by "=" (--retry=NAME).
bool hasArgument(int argc, char* argv[], std::initializer_list<const char*> names)
{
    for (int i = 1; i < argc; ++i) {
        for (const char* name : names) {
            const size_t length = std::strlen(name);
            if (std::strncmp(argv[i], name, length) == 0 &&
                (argv[i][length] == '\0' || argv[i][length] == '='))
                return true;
        }
    }
    return false;
}

/// The settings file: the one --config names, else the usual place. @p remote gets the command
/// for the running program (--status, --retry NAME, ...), when one is given.
QString settingsPath(QCoreApplication& app, QStringList* remote = nullptr)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Imprime os arquivos que aparecem numa pasta."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addOption(
        {QStringLiteral("service"), QStringLiteral("Sem janela nem ícone: o log vai para a saída.")});
    parser.addOption({QStringLiteral("test-page"),
                      QStringLiteral("Imprime a página de teste com as configurações e termina.")});
    parser.addOption(
        {QStringLiteral("config"), QStringLiteral("O arquivo de configurações."), QStringLiteral("FILE")});
    parser.addOption({QStringLiteral("status"),
                      QStringLiteral("Lista as impressões aguardando no Velmorix2 em execução.")});
    parser.addOption({QStringLiteral("retry"), QStringLiteral("Imprime agora o arquivo NAME que aguarda."),
                      QStringLiteral("NAME")});
    parser.addOption({QStringLiteral("reprint"),
                      QStringLiteral("Devolve o backup NAME à pasta vigiada, para imprimir de novo."),
                      QStringLiteral("NAME")});
    parser.addOption({QStringLiteral("remove"),
                      QStringLiteral("Tira o arquivo NAME da fila, para a pasta separados/ ao lado dele."),
                      QStringLiteral("NAME")});
    parser.addOption({QStringLiteral("history"),
                      QStringLiteral("[DIAS]: o histórico dos últimos DIAS dias (7; 0: todo).")});
    parser.process(app);
    if (remote) {
        for (const char* action : {"status", "retry", "reprint", "remove"}) {
            if (parser.isSet(QLatin1String(action)))
                *remote = {QLatin1String(action), parser.value(QLatin1String(action))};
        }
    }
    if (parser.isSet(QStringLiteral("config")))
        return QFileInfo(parser.value(QStringLiteral("config"))).absoluteFilePath();
    return caminho_ini(QCoreApplication::applicationDirPath());
}

void describe()
{
    QCoreApplication::setApplicationName(QStringLiteral("Velmorix2"));
    QCoreApplication::setApplicationVersion(QStringLiteral(VELMORIX_VERSION));
}

} // namespace

int main(int argc, char* argv[])
{
    // Neither the version, the help, the history nor the service needs a display.
    if (hasArgument(argc, argv, {"--history"}) && !hasArgument(argc, argv, {"--help", "-h", "--help-all"})) {
        QCoreApplication app(argc, argv);
        return printHistory(QCoreApplication::arguments());
    }
    if (hasArgument(argc, argv, {"--version", "-v", "--help", "-h", "--help-all"})) {
        QCoreApplication app(argc, argv);
        describe();
        settingsPath(app);
        return 0;
    }
    // A command for the running program needs no display either.
    if (hasArgument(argc, argv, {"--status", "--retry", "--reprint", "--remove"})) {
        QCoreApplication app(argc, argv);
        describe();
        QStringList remote;
        const QString ini = settingsPath(app, &remote);
        return runRemoteCommand(ini, remote.value(0), remote.value(1));
    }
    if (hasArgument(argc, argv, {"--service", "--test-page"})) {
        // Printing draws its pages with Qt Gui; without a display it draws them offscreen.
        if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        QGuiApplication app(argc, argv);
        describe();
        const QString path = settingsPath(app);
        if (hasArgument(argc, argv, {"--test-page"}))
            return printTestPageOnce(path);
        return runService(path);
    }
    QApplication app(argc, argv);
    describe();
    // The program speaks Portuguese: Qt's own buttons ("Sim", "Não") too, whatever the locale,
    // when Qt's translations are installed (Debian's qt6-translations-l10n).
    QTranslator qtTexts;
    if (qtTexts.load(QStringLiteral("qtbase_pt_BR"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(&qtTexts);
    DesktopProgram program(settingsPath(app));
    return program.exec();
}
