#include "app/ServiceMode.h"

#include "app/ControlSocket.h"
#include "app/Engine.h"
#include "app/EngineThread.h"
#include "app/UnixSignals.h"
#include "cups/CupsConnection.h"
#include "platform/CupsPrintingService.h"
#include "platform/PosixClock.h"
#include "platform/PosixFileServices.h"
#include "platform/PosixFolderChanges.h"
#include "platform/PosixHistoryFile.h"
#include "platform/PosixPlaces.h"
#include "platform/PosixRawPort.h"
#include "spool/LogText.h"
#include "spool/PrinterPort.h"

#include <QCoreApplication>

#include <cstdio>
#include <sys/stat.h>

namespace {

/// True when standard output is systemd's journal stream: JOURNAL_STREAM names its device and
/// inode, and is left over in the environment of anything started below the service too.
bool toJournal()
{
    const QByteArray stream = qgetenv("JOURNAL_STREAM");
    struct stat st;
    if (stream.isEmpty() || ::fstat(fileno(stdout), &st) != 0)
        return false;
    return stream == QByteArray::number(quint64(st.st_dev)) + ':' + QByteArray::number(quint64(st.st_ino));
}

/// Syslog levels the journal reads from a "<N>" at the start of a line.
enum class Level
{
    Error = 3,
    Warning = 4,
    Info = 6
};

/// One log line on standard output, written at once: a journal or a pipe sees it as it happens.
void writeLine(const QString& line, Level level = Level::Error)
{
    static const bool journal = toJournal();
    // One line whatever it names: a line feed in a file name would make a line (and a journal
    // entry, with a level of its choosing) of its own.
    QByteArray bytes = shownInLog(line).toLocal8Bit() + '\n';
    if (journal)
        bytes.prepend('<' + QByteArray::number(int(level)) + '>');
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
    std::fflush(stdout);
}

/// The log on standard output, written on the engine's thread as it happens; there are no
/// icons to show, and no one to tell: a file not printed is a warning in the journal
/// (journalctl -p warning lists those alone).
class ConsoleLog : public WindowServices
{
public:
    void setActivity(Activity) override {}
    void setToolTip(const QString&) override {}
    void log(const QString& line) override { writeLine(line, Level::Info); }
    void logFalha(const QString& line) override { writeLine(line, Level::Warning); }
    void aviso(const QString&, const QString&) override {}
};

/// Nobody is there to answer: a file that cannot be read is tried once more at once, then
/// counts as not printed and waits for the cycle's retry pause.
class UnattendedAsker : public Asker
{
public:
    Answer ask(const QString&, Options, const QString&) override { return Answer::Yes; }
    void inform(const QString& text, const QString&) override { writeLine(text); }
};

/// The adapters of an engine with nobody at the screen, its log on standard output.
struct Unattended
{
    PosixFileServices files;
    PosixClock clock;
    PosixRawPort rawPort;
    PosixPlaces places;
    CupsPrintingService printing;
    UnattendedAsker asker;
    ConsoleLog console;

    EngineParts parts(HistoryStore* history = nullptr)
    {
        return {files, files, clock, rawPort, places, printing, asker, nullptr, history};
    }
};

/// Reads the settings file @p path into @p engine; false, told on standard output, when it
/// cannot be read.
bool readSettings(Engine& engine, const QString& path)
{
    engine.settings.path = path;
    QString error;
    if (engine.recarrega(&error))
        return true;
    writeLine(QStringLiteral("Não foi possível ler o arquivo de configurações: ") + error);
    return false;
}

} // namespace

int runService(const QString& caminhoIni)
{
    Unattended unattended;
    PosixFileServices settingsFile; // the main thread's own, for SIGHUP
    PosixHistoryFile history;
    Engine engine(unattended.parts(&history));
    connectWindow(engine.relay(), unattended.console, &engine.relay());
    PosixFolderChanges folderChanges;
    engine.cycle().setFolderChanges(&folderChanges);
    if (!readSettings(engine, caminhoIni))
        return 1;
    // What SIGHUP reads, on this thread; the engine gets a copy.
    Settings settings = engine.settings;
    // Asked before the engine's thread uses the printing service.
    const QString missing = impressoraAusente(unattended.printing, settings.printer,
                                              settings.raw.isOn() && !settings.port.isEmpty());
    if (!missing.isEmpty())
        writeLine(missing, Level::Warning);

    EngineThread engineThread(engine);
    engineThread.start();
    // velmorix2 --status, --retry ... reach the service here.
    ControlServer control(engine, caminhoIni);
    if (QString problem; !control.listen(&problem))
        writeLine(QStringLiteral("Comandos pela linha de comando indisponíveis: ") + problem, Level::Warning);
    // A request to a scheduler that does not answer gives up at once: the file in hand waits.
    UnixSignals unixSignals(nullptr, &CupsConnection::abandonRequests);
    QObject::connect(&unixSignals, &UnixSignals::terminate, [&engine] {
        engine.stopAfterFile();
        QCoreApplication::quit();
    });
    QObject::connect(&unixSignals, &UnixSignals::reload, [&engine, &settings, &settingsFile] {
        QString error;
        QStringList notes;
        if (!rereadSettings(settings, settingsFile, &error, &notes)) {
            writeLine(QStringLiteral("Não foi possível ler o arquivo de configurações: ") + error);
            return;
        }
        writeLine(settingsReadAgain(settings.path), Level::Info);
        for (const QString& note : std::as_const(notes))
            writeLine(note, Level::Info);
        engine.setSettings(settings);
    });
    const int status = QCoreApplication::exec();
    engineThread.finish();
    return status;
}

int printTestPageOnce(const QString& caminhoIni)
{
    Unattended unattended;
    Engine engine(unattended.parts());
    connectWindow(engine.relay(), unattended.console, &engine.relay());
    if (!readSettings(engine, caminhoIni))
        return 1;
    return engine.imprimePaginaDeTeste() ? 0 : 1;
}
