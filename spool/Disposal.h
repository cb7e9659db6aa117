#pragma once

#include "spool/FileServices.h"
#include "spool/PrintJob.h"

class JobLedger;
class WindowServices;
struct Settings;

/**
 * How a printed file leaves the folder: renamed to its backup or deleted, as the settings ask,
 * only while no writer holds it, and marked as printed first when it might stay.
 */
class Disposal
{
public:
    Disposal(const Settings& settings, FileServices& files, WindowServices& window, JobLedger& ledger);

    /// REL.TXT gives REL.bak; a name without "." gives _REL.BAK.
    static QByteArray nome_backup(const QByteArray& name);
    /// Backups are never spool files, whatever the pattern.
    static bool isBackupName(QByteArrayView name);

    /// The printed mark of a file whose job the printer may still abort: the stamp, then the job.
    static QByteArray marca_trabalho(const FileStamp& stamp, const SubmittedJob& job);
    /// The job recorded in a mark made by marca_trabalho() for this stamp; none for other marks.
    static SubmittedJob trabalho_da_marca(const QByteArray& mark, const FileStamp& stamp);

    /// How long a writer that holds a printed file is waited for before it is left for later.
    static constexpr int kWriterWaitMs = 500;

    enum class Outcome
    {
        Gone,
        Later, ///< a writer holds it, or added to it: looked at again
        Kept   ///< it could not be renamed or deleted
    };
    /// The backup or the deletion of @p from (the spool file, or the copy it waited under), with
    /// its log line naming the spool file @p name.
    Outcome backup_ou_exclui(const QByteArray& folder, const QByteArray& name, const QString& shown,
                             const QByteArray& from);
    /// Puts a printed file away, marked as printed first when asked: the one place a print-out
    /// leaves the folder under its spool name. False, and the file remembered as printed, when
    /// it stays. An empty mark leaves the file's mark as it is.
    bool dispose(const QByteArray& folder, const QByteArray& name, const QString& shown,
                 const QByteArray& mark);

private:
    const Settings& m_settings;
    FileServices& m_files;
    WindowServices& m_window;
    JobLedger& m_ledger;
};
