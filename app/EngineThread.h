#pragma once

#include "spool/Asker.h"

#include <QMutex>
#include <QObject>
#include <QThread>
#include <QWaitCondition>

class Engine;

/// Runs an engine on a thread of its own, from start() until finish(). The Unix signals stay
/// with the thread that starts it.
class EngineThread
{
public:
    explicit EngineThread(Engine& engine) : m_engine(engine) {}
    ~EngineThread() { finish(); }
    EngineThread(const EngineThread&) = delete;
    EngineThread& operator=(const EngineThread&) = delete;

    /// Moves the engine to the new thread, its timer as it is, and starts the thread.
    void start();
    /// Asks the engine to stop after the file in hand and waits until it has: the thread ends,
    /// and the engine is back on the caller's thread with its timer off. What it said on its
    /// way out (the line of the file it finished) is delivered before this returns.
    void finish();
    bool isRunning() const { return m_thread.isRunning(); }

private:
    Engine& m_engine;
    QThread m_thread;
};

/// Asks the window's questions on the window's thread, whichever thread asks: a question from
/// the engine's thread waits there for the answer while the window goes on answering.
class WindowAsker : public QObject, public Asker
{
public:
    /// @p window asks on the thread this object is made on.
    explicit WindowAsker(Asker& window) : m_window(window) {}
    Answer ask(const QString& prompt, Options options, const QString& title = QString()) override;
    void inform(const QString& text, const QString& title = QString()) override;
    /// The program ends: a question still waiting, or asked from now on, is answered No, so the
    /// engine does not wait for a window that is going away.
    void giveUp();

private:
    Asker& m_window;
    QMutex m_lock;
    QWaitCondition m_answered;
    bool m_givenUp = false;
};
