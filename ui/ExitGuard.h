#pragma once

#include <QObject>

#include <functional>

class Asker;
class QSessionManager;
class TrayController;

/**
 * The exit question and what it decides. Closing the window, "Sair" and the end of the session
 * ask "Deseja encerrar o usa do Velmorix ?"; Yes takes the icon away and ends the program, a
 * running batch after the file in hand. A signal ends it without asking.
 */
class ExitGuard : public QObject
{
    Q_OBJECT
public:
    /// @p stopAfterFile ends a running batch after the file in hand.
    ExitGuard(Asker& asker, TrayController& tray, std::function<void()> stopAfterFile,
              QObject* parent = nullptr);

    /// Asks whether to end the program; false keeps it running.
    bool Form_QueryUnload();
    /// The window is asked to close: true when it may, the exit then being decided.
    bool allowsClose();
    /// "Sair" from the menu: true when the exit is confirmed and the window may close.
    bool confirmsExit();
    /// The session is ending: asks when the session lets it, and cancels the logout on No.
    void commitData(QSessionManager& manager);
    /// Ends without the question (the session or a signal ends the program).
    void endWithoutAsking();

signals:
    /// The user confirmed the exit: the program ends.
    void encerrar();

private:
    /// The exit is decided: no question at closing, a running batch ends after its file.
    void termina(bool announce);

    Asker& m_asker;
    TrayController& m_tray;
    std::function<void()> m_stopAfterFile;
    bool m_ending = false;
};
