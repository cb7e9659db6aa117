#include "app/DesktopProgram.h"

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
#include "platform/desktop/QtDesktop.h"
#include "ui/FrmVelmorix.h"
#include "ui/HistoryView.h"
#include "ui/PrintOutList.h"

#include <QApplication>

#include <optional>

/// The engine's parts are its own: nothing the engine's thread uses is used by the window's,
/// but for the requests of EngineControl and the questions, which cross by queued calls.
struct DesktopProgram::Parts
{
    explicit Parts(const QString& caminhoIni, const Replacements& replacements);

    PosixFileServices files;
    PosixClock clock;
    PosixRawPort rawPort;
    PosixPlaces places;
    CupsPrintingService printing;
    PosixFolderChanges folderChanges;
    PosixHistoryFile history;

    PosixFileServices windowFiles;
    CupsPrintingService windowPrinting;
    PosixHistoryFile windowHistory; // the window reads the history on its own thread
    std::optional<QtAsker> ownAsker;
    std::optional<QtTrayService> ownTray;
    Asker& asker;
    TrayService& tray;
    WindowAsker engineAsker;

    Engine engine;
    FrmVelmorix window;
    PrintOutList printOuts;
    ControlServer control;
    EngineThread engineThread;
};

namespace {

template <typename Interface, typename Real>
Interface& replacedOr(Interface* replacement, std::optional<Real>& own)
{
    return replacement ? *replacement : own.emplace();
}

} // namespace

DesktopProgram::Parts::Parts(const QString& caminhoIni, const Replacements& replacements)
    : asker(replacedOr<Asker>(replacements.asker, ownAsker)),
      tray(replacedOr<TrayService>(replacements.tray, ownTray)), engineAsker(asker),
      engine({files, files, clock, rawPort, places, printing, engineAsker, replacements.printJob, &history}),
      window(FrmServices{windowFiles, windowPrinting, asker, tray, engine, caminhoIni}), printOuts(engine),
      control(engine, caminhoIni), engineThread(engine)
{
    QObject::connect(&engine.relay(), &EngineRelay::printOutsChanged, &printOuts,
                     &PrintOutList::showPrintOuts);
    QObject::connect(&engine.relay(), &EngineRelay::actionDone, &printOuts, &PrintOutList::showActionDone);
    QObject::connect(&window, &FrmVelmorix::impressoesPedidas, &printOuts, &PrintOutList::open);
    printOuts.addTab(new HistoryView(windowHistory), QStringLiteral("Histórico"));
    engine.cycle().setFolderChanges(&folderChanges);
    connectWindow(engine.relay(), window, &window);
}

DesktopProgram::DesktopProgram(const QString& caminhoIni) : DesktopProgram(caminhoIni, Replacements()) {}

DesktopProgram::DesktopProgram(const QString& caminhoIni, const Replacements& replacements)
    : m(std::make_unique<Parts>(caminhoIni, replacements))
{
}

DesktopProgram::~DesktopProgram()
{
    finish();
}

void DesktopProgram::start()
{
    m->window.Form_Initialize();
    m->engineThread.start();
    QString error;
    if (!m->control.listen(&error))
        m->window.log(QStringLiteral("Comandos pela linha de comando indisponíveis: ") + error);
    m->window.showAtStart();
}

int DesktopProgram::exec()
{
    QGuiApplication::setDesktopFileName(QStringLiteral("velmorix2"));
    // The window hides into the tray: only the exit question ends the program.
    QApplication::setQuitOnLastWindowClosed(false);
    QObject::connect(&m->window, &FrmVelmorix::encerrar, qApp, &QCoreApplication::quit, Qt::QueuedConnection);
    // A request to a scheduler that does not answer gives up at once: the file in hand waits.
    UnixSignals unixSignals(nullptr, &CupsConnection::abandonRequests);
    QObject::connect(&unixSignals, &UnixSignals::terminate, qApp, [this] {
        m->window.encerraSemPerguntar(); // nobody may be there to answer a question
        QCoreApplication::quit();
    });
    QObject::connect(&unixSignals, &UnixSignals::reload, &m->window, &FrmVelmorix::recarrega);
    start();
    const int status = QCoreApplication::exec();
    // Whatever ended the loop (a signal, the exit question, the session) ends the batch after
    // the file in hand.
    finish();
    return status;
}

void DesktopProgram::finish()
{
    m->engineAsker.giveUp();
    m->engineThread.finish();
}

PrintOutList& DesktopProgram::printOuts()
{
    return m->printOuts;
}

FrmVelmorix& DesktopProgram::window()
{
    return m->window;
}

Engine& DesktopProgram::engine()
{
    return m->engine;
}
