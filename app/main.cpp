#include "app/DesktopProgram.h"
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
    parser.addOption({QStringLiteral("test-page"),
                      QStringLiteral("Imprime a página de teste com as configurações e termina.")});
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
