#include "app/EngineThread.h"

#include "app/Engine.h"

#include <QCoreApplication>

#include <csignal>
#include <memory>
#include <optional>
#include <pthread.h>

void EngineThread::start()
{
    if (m_thread.isRunning())
        return;
    m_thread.setObjectName(QStringLiteral("engine"));
    m_engine.moveToThread(&m_thread);
    // The signals are the starting thread's to handle (UnixSignals): the engine's thread is
    // made with them blocked, so none cuts into a file being written.
    sigset_t blocked, previous;
    sigemptyset(&blocked);
    for (int number : {SIGTERM, SIGINT, SIGHUP})
        sigaddset(&blocked, number);
    pthread_sigmask(SIG_BLOCK, &blocked, &previous);
    m_thread.start();
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
}

void EngineThread::finish()
{
    if (!m_thread.isRunning())
        return;
    m_engine.stopAfterFile();
    QThread* home = QThread::currentThread();
    // Queued behind the batch in progress: it runs once the file in hand is over.
    QMetaObject::invokeMethod(
        &m_engine,
        [this, home] {
            m_engine.movimento.setEnabled(false);
            m_engine.moveToThread(home);
            m_thread.quit();
        },
        Qt::QueuedConnection);
    m_thread.wait();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::MetaCall);
}

Asker::Answer WindowAsker::ask(const QString& prompt, Options options, const QString& title)
{
    if (QThread::currentThread() == thread())
        return m_window.ask(prompt, options, title);
    const auto answer = std::make_shared<std::optional<Answer>>();
    QMetaObject::invokeMethod(
        this,
        [this, answer, prompt, options, title] {
            {
                // Nobody waits for the answer any more.
                QMutexLocker lock(&m_lock);
                if (m_givenUp)
                    return;
            }
            const Answer given = m_window.ask(prompt, options, title);
            QMutexLocker lock(&m_lock);
            *answer = given;
            m_answered.wakeAll();
        },
        Qt::QueuedConnection);
    QMutexLocker lock(&m_lock);
    while (!*answer && !m_givenUp)
        m_answered.wait(&m_lock);
    return answer->value_or(Answer::No);
}

void WindowAsker::inform(const QString& text, const QString& title)
{
    // Nothing waits for an OK.
    QMetaObject::invokeMethod(this, [this, text, title] { m_window.inform(text, title); });
}

void WindowAsker::giveUp()
{
    QMutexLocker lock(&m_lock);
    m_givenUp = true;
    m_answered.wakeAll();
}
