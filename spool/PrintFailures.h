#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QHash>
#include <QList>
#include <QSet>
#include <QString>

class Clock;
class History;
class WindowServices;
struct PrintError;
struct SubmittedJob;

/**
 * Files that could not be printed and wait for their retry. Each failure is logged with its
 * reason; the first failure of a file (until it prints or leaves the folder) is also told to
 * the user as a notice, and failures close together share one notice.
 */
class PrintFailures
{
public:
    PrintFailures(WindowServices& window, Clock& clock);

    /// Logs "Arquivo ... não impresso (reason)"; a file not already waiting starts an episode.
    void naoImpresso(const QByteArray& path, const PrintError& error);
    /// The file printed: its episode is over.
    void impresso(const QByteArray& path) { m_aguardando.remove(path); }
    /// The file was taken off the list by the user: its episode is over.
    void retirado(const QByteArray& path) { m_aguardando.remove(path); }
    /// As impresso(path), for a print-out handed over in @p job, which the history records.
    void impresso(const QByteArray& path, const SubmittedJob& job);
    /// Where each print-out's outcome is recorded: its printing, and the start of each episode
    /// of failures (a retry that fails again is not a new outcome). None: nowhere.
    void setHistory(History* history) { m_history = history; }
    /// Files no longer in the folder wait no more.
    void esquece(const QSet<QByteArray>& present);
    /// The batch is over: the failures gathered are told, unless a notice was given just now.
    void fimDoLote() { avisa(true); }
    /// " 3 arquivos aguardando" for the tray tip, or empty when nothing waits.
    QString aguardando() const;

    /// A file that failed and still waits: since when (the first failure) and the last reason.
    struct Episode
    {
        QDateTime since;
        QString reason;
    };
    /// The files failing now, by path.
    const QHash<QByteArray, Episode>& episodios() const { return m_aguardando; }

    /// Failures within this time of each other, or of the last notice, share a notice.
    static constexpr qint64 kBurstMs = 5000;
    /// How many files a notice names; the rest are counted.
    static constexpr int kNamedInNotice = 3;

private:
    void avisa(bool batchOver);

    WindowServices& m_window;
    Clock& m_clock;
    QHash<QByteArray, Episode> m_aguardando;
    History* m_history = nullptr;
    QStringList m_novas; ///< log lines of the episodes not told yet, oldest first
    qint64 m_firstNewMs = 0;
    qint64 m_lastNoticeMs = 0;
    bool m_noticed = false;
};
