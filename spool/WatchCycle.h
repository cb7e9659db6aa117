#pragma once

#include "spool/FileServices.h"
#include "spool/PrintFailures.h"

#include <QHash>
#include <QSet>

class Asker;
class Clock;
class PrintJob;
class Timer;
class WindowServices;
struct Settings;

/**
 * The timer-driven watch cycle: every tick blinks the tray icon one step, then prints every
 * spool file matching the watched pattern and backs it up or deletes it.
 */
class WatchCycle
{
public:
    WatchCycle(const Settings& settings, FileServices& files, Clock& clock, Asker& asker, PrintJob& printJob,
               WindowServices& window, Timer& timer);

    /// One tick of the timer.
    void Movimento_Timer();
    /// Ends a running batch after the file in hand and leaves the timer off; a later tick
    /// starts afresh.
    void stopAfterFile() { m_interruption = Interruption::Stop; }
    /// Ends a running batch after the file in hand with the timer on: the next tick looks at
    /// the pattern afresh (the settings changed).
    void restartAfterFile()
    {
        if (m_interruption == Interruption::None)
            m_interruption = Interruption::Restart;
    }

    /// REL.TXT gives REL.bak; a name without "." gives _REL.BAK.
    static QByteArray nome_backup(const QByteArray& name);
    /// Backups are never spool files, whatever the pattern.
    static bool isBackupName(QByteArrayView name);

    qint16 iContador = 0; ///< ticks in a row that showed the open eye
    bool bAberto = false; ///< after the third open tick: half-open next, else closed

    /// First and longest pause before a file whose printing failed is tried again.
    static constexpr qint64 kFirstRetryMs = 5000;
    static constexpr qint64 kLongestRetryMs = 5 * 60 * 1000;

    /// How often the part appended to a file during its printing is printed before giving up.
    static constexpr int kMostAppendRounds = 20;

private:
    enum class Interruption
    {
        None,
        Stop,
        Restart
    };
    /// True when the batch must end here; the timer is left as the request wants it.
    bool interrupted();

    enum class Acrescimo
    {
        Stable,
        Replaced,
        Failed
    };

    void passo_animacao();
    /// Reads, prints and puts away one spool file.
    void trata_arquivo(const QByteArray& folder, const QByteArray& name);
    /// Prints what was appended to the file after its first printedBytes bytes.
    Acrescimo imprime_acrescimos(const QByteArray& folder, const QByteArray& name, qint64 printedBytes,
                                 quint64 inode);
    QByteArray proximo_arquivo(const QByteArray& pattern, const QByteArray& folder);
    void forgetVanished(const QList<QByteArray>& names, const QByteArray& folder);
    bool dispose(const QByteArray& folder, const QByteArray& name, const QString& shown);

    struct Retry
    {
        qint64 dueMs = 0;
        qint64 delayMs = 0;
    };

    const Settings& m_settings;
    FileServices& m_files;
    Clock& m_clock;
    Asker& m_asker;
    PrintJob& m_printJob;
    WindowServices& m_window;
    Timer& m_timer;

    bool m_inTick = false;
    Interruption m_interruption = Interruption::None;
    /// Printed but neither renamed nor deleted: not printed again while unchanged.
    QHash<QByteArray, FileStamp> m_printed;
    /// Unreadable and the user declined to retry: not asked about again while unchanged.
    QHash<QByteArray, FileStamp> m_declined;
    /// Printing failed: tried again once the pause is over.
    QHash<QByteArray, Retry> m_retry;
    /// Files that failed during the running tick.
    QSet<QByteArray> m_failedThisTick;
    /// What the user is told about files that did not print.
    PrintFailures m_failures{m_window, m_clock};
};
