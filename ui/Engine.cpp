#include "ui/Engine.h"

#include "spool/FileServices.h"

#include <QCoreApplication>
#include <QFile>

bool WindowRelay::setTrayPicture(const QString& iconName)
{
    return target && target->setTrayPicture(iconName);
}

bool WindowRelay::setWindowIconByName(const QString& iconName)
{
    return target && target->setWindowIconByName(iconName);
}

void WindowRelay::icone_bandeja(int mode, const QString& tip)
{
    if (target)
        target->icone_bandeja(mode, tip);
}

void WindowRelay::log(const QString& line)
{
    if (target)
        target->log(line);
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

Engine::Engine(FileServices& files, PrintingService& printing, Asker& asker, PrintJob* printJob)
    : m_files(files)
{
    if (!printJob) {
        m_ownPrintJob = std::make_unique<ImpressaoConteudo>(settings, printing, files);
        printJob = m_ownPrintJob.get();
    }
    m_cycle = std::make_unique<WatchCycle>(settings, files, asker, *printJob, m_relay, movimento);
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
    if (!m_files.isPlainFile(QFile::encodeName(settings.sCaminhoIni))) {
        if (error)
            *error = settings.sCaminhoIni + QStringLiteral(": não existe");
        return false;
    }
    Settings read = settings;
    if (!le_ini(read, settings.sCaminhoIni, m_files, error))
        return false;
    settings = read;
    // A batch in progress looks at the new pattern from its next file; a stop asked for wins.
    m_cycle->restartAfterFile();
    return true;
}
