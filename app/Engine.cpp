#include "app/Engine.h"

#include "settings/SettingsStore.h"
#include "spool/History.h"
#include "spool/TestPage.h"

void EngineRelay::setActivity(Activity activity)
{
    emit activityChanged(activity);
}

void EngineRelay::setToolTip(const QString& text)
{
    emit toolTipChanged(text);
}

void EngineRelay::log(const QString& line)
{
    emit lineLogged(line);
}

void EngineRelay::logFalha(const QString& line)
{
    emit failureLogged(line);
}

void EngineRelay::aviso(const QString& title, const QString& text)
{
    emit noticeGiven(title, text);
}

void connectWindow(const EngineRelay& relay, WindowServices& window, const QObject* context)
{
    QObject::connect(&relay, &EngineRelay::activityChanged, context,
                     [&window](WindowServices::Activity activity) { window.setActivity(activity); });
    QObject::connect(&relay, &EngineRelay::toolTipChanged, context,
                     [&window](const QString& text) { window.setToolTip(text); });
    QObject::connect(&relay, &EngineRelay::lineLogged, context,
                     [&window](const QString& line) { window.log(line); });
    QObject::connect(&relay, &EngineRelay::failureLogged, context,
                     [&window](const QString& line) { window.logFalha(line); });
    QObject::connect(&relay, &EngineRelay::noticeGiven, context,
                     [&window](const QString& title, const QString& text) { window.aviso(title, text); });
}

Engine::Engine(const EngineParts& parts)
    : movimento(this), m_settingsFile(parts.settingsFile), m_parts(parts), m_relay(this)
{
    PrintJob* printJob = parts.printJob;
    if (!printJob) {
        m_ownPrintJob = std::make_unique<ImpressaoConteudo>(settings, parts.printing, parts.files,
                                                            parts.clock, parts.rawPort, parts.places);
        printJob = m_ownPrintJob.get();
    }
    m_printJob = printJob;
    m_cycle = std::make_unique<WatchCycle>(settings, parts.files, parts.clock, parts.asker, *printJob,
                                           m_relay, movimento);
    if (parts.history) {
        m_history = std::make_unique<History>(*parts.history, parts.clock, settings, m_relay);
        m_cycle->setHistory(m_history.get());
    }
    connect(&movimento.timer(), &QTimer::timeout, this, &Engine::tick);
    // The timer runs from creation; start-up decides whether it goes on.
    movimento.setInterval(1000);
    movimento.setEnabled(true);
}

Engine::~Engine() = default;

void Engine::start()
{
    m_cycle->resumeAfterFile();
    // Called on the engine's thread, the timer is on when this returns; from another, once
    // the batch in progress is over.
    QMetaObject::invokeMethod(this, [this] { movimento.setEnabled(true); });
}

void Engine::stopAfterFile()
{
    m_cycle->stopAfterFile();
    QMetaObject::invokeMethod(this, [this] { movimento.setEnabled(false); });
}

void Engine::setSettings(const Settings& settings)
{
    {
        QMutexLocker lock(&m_incomingLock);
        m_incoming = settings;
    }
    m_cycle->restartAfterFile();
    QMetaObject::invokeMethod(this, &Engine::takeSettings);
}

void Engine::printTestPage()
{
    // Queued behind the tick in progress, if any: the test page never cuts into a file in hand.
    QMetaObject::invokeMethod(this, [this] { imprimePaginaDeTeste(); });
}

bool Engine::imprimePaginaDeTeste()
{
    takeSettings();
    return ::printTestPage(settings, m_parts.files, m_parts.places, m_parts.clock, m_parts.asker, *m_printJob,
                           m_relay);
}

void Engine::takeSettings()
{
    // The file in hand is printed with the settings it began with.
    if (m_ticking)
        return;
    QMutexLocker lock(&m_incomingLock);
    if (m_incoming) {
        settings = std::move(*m_incoming);
        m_incoming.reset();
    }
}

void Engine::tick()
{
    takeSettings();
    // Old records go when watching starts, and once a day after.
    if (m_history)
        m_history->expireWhenDue();
    m_ticking = true;
    m_cycle->Movimento_Timer();
    m_ticking = false;
}

void Engine::requestPrintOuts()
{
    // Queued behind a batch in progress: the ledger is the engine thread's alone.
    QMetaObject::invokeMethod(this,
                              [this] { emit m_relay.printOutsChanged(m_cycle->printOuts().snapshot()); });
}

void Engine::requestAction(PrintOuts::Action action, const QString& name, quint64 ticket)
{
    QMetaObject::invokeMethod(this, [this, action, name, ticket] {
        QString message;
        const bool ok = m_cycle->printOuts().act(action, name, &message);
        emit m_relay.actionDone(ticket, ok, message);
        emit m_relay.printOutsChanged(m_cycle->printOuts().snapshot());
    });
}

bool Engine::recarrega(QString* error)
{
    QStringList notes;
    if (!rereadSettings(settings, m_settingsFile, error, &notes))
        return false;
    for (const QString& note : std::as_const(notes))
        m_relay.log(note);
    // A batch in progress looks at the new pattern from its next file; a stop asked for wins.
    m_cycle->restartAfterFile();
    return true;
}
