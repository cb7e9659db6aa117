#include "ui/ExitGuard.h"

#include "spool/Asker.h"
#include "ui/TrayController.h"

#include <QSessionManager>

#include <utility>

ExitGuard::ExitGuard(Asker& asker, TrayController& tray, std::function<void()> stopAfterFile, QObject* parent)
    : QObject(parent), m_asker(asker), m_tray(tray), m_stopAfterFile(std::move(stopAfterFile))
{
}

bool ExitGuard::Form_QueryUnload()
{
    const Asker::Answer answer =
        m_asker.ask(QStringLiteral("Deseja encerrar o usa do Velmorix ?"),
                    Asker::Option::YesNo | Asker::Option::Information | Asker::Option::DefaultSecond,
                    QStringLiteral("Velmorix -Encerramento"));
    if (answer == Asker::Answer::No)
        return false;
    m_tray.hide();
    return true;
}

bool ExitGuard::allowsClose()
{
    return m_ending || confirmsExit(); // once confirmed, the window closes without asking again
}

bool ExitGuard::confirmsExit()
{
    if (!Form_QueryUnload())
        return false;
    termina(true);
    return true;
}

void ExitGuard::commitData(QSessionManager& manager)
{
    if (!manager.allowsInteraction())
        return;
    const bool end = Form_QueryUnload();
    manager.release();
    if (!end) {
        manager.cancel();
        return;
    }
    termina(true);
}

void ExitGuard::endWithoutAsking()
{
    m_tray.hide();
    termina(false);
}

void ExitGuard::termina(bool announce)
{
    m_ending = true;
    // The file in hand is finished; the rest of a batch waits for the next start.
    m_stopAfterFile();
    if (announce)
        emit encerrar();
}
