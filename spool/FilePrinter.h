#pragma once

#include "spool/FileServices.h"
#include "spool/PrintJob.h"

class Asker;

/// How far a file was printed, and what its printed bytes were.
struct PrintedPart
{
    qint64 bytes = 0;
    QByteArray hash;
    FileStamp stamp;       ///< the file as it was before it was read
    bool tooLarge = false; ///< larger than the print job takes: set aside unread
    bool cutShort = false; ///< ended in a printer command cut short, printed as text
    QString note;          ///< what went wrong beside the print-out without stopping it
};

/// The jobs a print-out was handed over in, each with the first byte of the file it printed.
struct HandedJobs
{
    QList<SubmittedJob> jobs;
    QList<qint64> starts;
};

/**
 * Where the cycle meets the print job: a spool file read and printed, whole or from a part on,
 * and the state of a job handed over. The jobs of the file in hand are gathered here, main
 * print-out and appended parts, until the cycle takes them.
 */
class FilePrinter
{
public:
    FilePrinter(FileServices& files, Asker& asker, PrintJob& printJob);

    /// Reads the file @p fileName from skipBytes on and prints it, titled with the spool name
    /// @p name; false when it was not printed. A reading whose skipped start is no longer the
    /// printed one prints nothing and sets *rewritten.
    bool le_e_imprime(const QByteArray& folder, const QByteArray& fileName, const QByteArray& name,
                      qint64 skipBytes, const QByteArray& skippedHash, PrintedPart& done, bool* declined,
                      bool* rewritten, PrintError* error = nullptr);
    /// Where the printer has the job.
    JobState jobState(const SubmittedJob& job) { return m_printJob.jobState(job); }

    /// A new file is in hand: the jobs gathered so far are dropped.
    void newFile() { m_jobs = HandedJobs(); }
    HandedJobs takeJobs() { return std::exchange(m_jobs, HandedJobs()); }
    /// The job the last print handed over; none when it went nowhere to follow (a port).
    SubmittedJob lastJob() const { return m_lastJob; }

private:
    FileServices& m_files;
    Asker& m_asker;
    PrintJob& m_printJob;
    HandedJobs m_jobs;
    SubmittedJob m_lastJob;
};
