#pragma once

#include <QString>

#include <memory>

class Asker;
class Engine;
class FrmVelmorix;
class PrintJob;
class PrintOutList;
class TrayService;

/// The program with its window, wired once: the real parts, the engine on a thread of its own,
/// the window on the program's thread, and the Unix signals. Tests put their own parts in.
class DesktopProgram
{
public:
    /// Parts a test puts in place of the real ones; null keeps the real one.
    struct Replacements
    {
        Asker* asker = nullptr; ///< the window's questions (the engine's reach it on its thread)
        TrayService* tray = nullptr;
        PrintJob* printJob = nullptr;
    };

    explicit DesktopProgram(const QString& caminhoIni);
    DesktopProgram(const QString& caminhoIni, const Replacements& replacements);
    ~DesktopProgram();

    /// Start-up: the window reads the settings, the engine's thread starts, and the window shows
    /// itself when it must.
    void start();
    /// start(), then the event loop until the program ends; returns the exit status.
    int exec();
    /// Ends the engine after the file in hand and waits for it; questions it still waits for
    /// are answered No.
    void finish();

    FrmVelmorix& window();
    /// The window of print-outs that wait.
    PrintOutList& printOuts();
    Engine& engine();

private:
    struct Parts;
    std::unique_ptr<Parts> m;
};
