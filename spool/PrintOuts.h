#pragma once

#include <QDateTime>
#include <QJsonObject>
#include <QList>
#include <QMetaType>
#include <QString>

class Clock;
class FileServices;
class FolderWatch;
class JobLedger;
class PrintFailures;
class WindowServices;

/// One print-out that waits or failed, as the list of print-outs shows it.
struct PrintOut
{
    QString folder;        ///< "/" included
    QString name;          ///< the spool name
    QString path;          ///< where the file is now: its spool path, or the hidden name it waits under
    qint64 size = -1;      ///< bytes; -1 when it could not be seen
    QDateTime since;       ///< the first failure; invalid when it never failed
    QString state;         ///< what it waits for, in words
    QString reason;        ///< the last failure's reason; empty when none
    qint64 nextTryMs = -1; ///< from now to the next try; -1 when no try is planned

    QJsonObject toJson() const;
    static PrintOut fromJson(const QJsonObject& object);
};
Q_DECLARE_METATYPE(PrintOut)

/**
 * The print-outs the watch cycle holds back, seen and acted on by the user: a snapshot of what
 * waits, and the list's three actions. It reads what the ledger, the failures and the folders
 * already know, and runs on the cycle's thread, between two batches.
 */
class PrintOuts
{
public:
    PrintOuts(FileServices& files, Clock& clock, WindowServices& window, JobLedger& ledger,
              PrintFailures& failures, FolderWatch& folders);

    enum class Action
    {
        Retry,   ///< "Imprimir agora": the pause is over at once
        Reprint, ///< "Reimprimir": a backup goes back into its folder under a free spool name
        Remove   ///< "Remover da fila": moved to the folder of set-aside print-outs
    };
    /// The name of an action as the command line gives it ("retry", "reprint", "remove").
    static QString actionName(Action action);
    static bool actionOf(const QString& name, Action* action);

    /// Every file that waits or failed, by folder and name.
    QList<PrintOut> snapshot();
    /// Does @p action on @p name (a full path, or a bare name in a watched folder); false when it
    /// cannot be done, with the reason in @p message. What was done goes to the log.
    bool act(Action action, const QString& name, QString* message);

    /// The subfolder of a watched folder where removed print-outs are kept: on the same file
    /// system, so moving one there is a rename, and never listed as a print-out itself.
    static QByteArray setAsideFolder(const QByteArray& folder) { return folder + "separados/"; }

private:
    bool retry(const QByteArray& path, QString* message);
    bool reprint(const QByteArray& backup, QString* message);
    bool remove(const QByteArray& path, QString* message);
    /// The path @p name stands for: one of the snapshot's, or a file of a watched folder.
    QByteArray resolve(const QString& name, bool backup);
    /// The first name the backup @p name can go back under, in @p folder: matching a pattern of
    /// the folder and free; empty when there is none.
    QByteArray freeSpoolName(const QByteArray& folder, const QList<QByteArray>& patterns,
                             const QByteArray& name);

    FileServices& m_files;
    Clock& m_clock;
    WindowServices& m_window;
    JobLedger& m_ledger;
    PrintFailures& m_failures;
    FolderWatch& m_folders;
};
