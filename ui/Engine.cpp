#include "ui/Engine.h"

#include "settings/SettingsStore.h"

#include <QCoreApplication>
#include <QFile>

void WindowRelay::setActivity(Activity activity)
{
    if (target)
        target->setActivity(activity);
}

void WindowRelay::setToolTip(const QString& text)
{
    if (target)
        target->setToolTip(text);
}

void WindowRelay::log(const QString& line)
{
    if (target)
        target->log(line);
}

void WindowRelay::logFalha(const QString& line)
{
    if (target)
        target->logFalha(line);
}

void WindowRelay::aviso(const QString& title, const QString& text)
{
    if (target)
        target->aviso(title, text);
}

void WindowRelay::betweenFiles()
{
    if (target)
        target->betweenFiles();
    // A tick never starts inside this one (the cycle guards against it).
    if (!m_sinceEvents.isValid() || m_sinceEvents.elapsed() >= 50) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        m_sinceEvents.start();
    }
}

namespace {

/// Whatever ends the event loop (a signal, the exit question, the session) ends a running batch
/// after the file in hand: the loop only stops once the tick returns to it.
class StopOnQuit : public QObject
{
public:
    explicit StopOnQuit(WatchCycle& cycle) : m_cycle(cycle) {}
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Quit && watched == QCoreApplication::instance())
            m_cycle.stopAfterFile();
        return false;
    }

private:
    WatchCycle& m_cycle;
};

} // namespace

Engine::Engine(const EngineParts& parts) : m_settingsFile(parts.settingsFile)
{
    PrintJob* printJob = parts.printJob;
    if (!printJob) {
        m_ownPrintJob = std::make_unique<ImpressaoConteudo>(settings, parts.printing, parts.files,
                                                            parts.clock, parts.rawPort, parts.places);
        printJob = m_ownPrintJob.get();
    }
    m_cycle = std::make_unique<WatchCycle>(settings, parts.files, parts.clock, parts.asker, *printJob,
                                           m_relay, movimento);
    QObject::connect(&movimento.timer(), &QTimer::timeout, &movimento.timer(),
                     [this] { m_cycle->Movimento_Timer(); });
    if (QCoreApplication* app = QCoreApplication::instance()) {
        m_stopOnQuit = std::make_unique<StopOnQuit>(*m_cycle);
        app->installEventFilter(m_stopOnQuit.get());
    }
    // The timer runs from creation; start-up decides whether it goes on.
    movimento.setInterval(1000);
    movimento.setEnabled(true);
}

Engine::~Engine() = default;

bool Engine::recarrega(QString* error)
{
    // Reading a missing file would write one from the values in memory: a reload never does.
    if (!m_settingsFile.isPlainFile(QFile::encodeName(settings.path))) {
        if (error)
            *error = settings.path + QStringLiteral(": não existe");
        return false;
    }
    Settings read = settings;
    QStringList notes;
    if (!le_ini(read, settings.path, m_settingsFile, error, &notes))
        return false;
    settings = read;
    for (const QString& note : std::as_const(notes))
        m_relay.log(note);
    // A batch in progress looks at the new pattern from its next file; a stop asked for wins.
    m_cycle->restartAfterFile();
    return true;
}
