#pragma once

#include "spool/JobLedger.h"

#include <functional>

class Clock;
class Disposal;
class FilePrinter;
class PrintFailures;
class WindowServices;
struct PrintedPart;

/**
 * The print-outs handed to a printer whose jobs may still fail. Each waits, under a hidden name
 * of its own, until its jobs are over: one that failed prints its own text again, one the
 * printer forgot is kept for the user, and one whose jobs all completed is backed up or deleted.
 */
class JobFollowUp
{
public:
    JobFollowUp(FileServices& files, Clock& clock, WindowServices& window, JobLedger& ledger,
                Disposal& disposal, FilePrinter& printer, PrintFailures& failures);

    /// The hidden name a print-out waits under while its job is open, each job a name of its own:
    /// "." + the spool name + "~" + printer + "~" + job id + "~" + its creation time + "~" + the
    /// bytes of the file printed so far.
    static QByteArray nome_pendente(const QByteArray& name, const SubmittedJob& job, qint64 printedBytes);
    /// Reads a name made by nome_pendente(); false for any other name.
    static bool le_nome_pendente(const QByteArray& copy, QByteArray* name, SubmittedJob* job,
                                 qint64* printedBytes);

    /// Jobs handed to the printer are asked about at most this often.
    static constexpr qint64 kJobPollMs = 1000;

    /// Puts away a file whose print jobs (taken from the printer) were handed over: at once when
    /// none can still fail and all of it printed; otherwise it waits under a name of its own
    /// until they are over. True when it is gone from under its spool name.
    bool dispose_apos_trabalhos(const QByteArray& folder, const QByteArray& name, const QString& shown,
                                const PrintedPart& done, bool whole);
    /// Takes up the print-outs an earlier run left waiting in the folder.
    void adota_pendentes(const QByteArray& folder);
    /// Asks the printers about the jobs still open, and ends those that are over.
    void confere_trabalhos();
    /// Prints again, once their pause is over, the waiting print-outs whose job failed or that
    /// grew; stops early when @p stopRequested says so.
    void reimprime_pendentes(const std::function<bool()>& stopRequested);

private:
    /// Acts on what the printers say of the jobs of the print-out waiting under @p path.
    void confere(const QByteArray& path, QSet<QString>& busy);
    /// Keeps, and tells of, a waiting print-out whose job the printer no longer knows.
    void guarda(const QByteArray& copyPath, const WaitingPrintOut& printOut);
    /// Backs up or deletes a waiting print-out whose jobs all completed; false when it stays.
    bool finaliza(const QByteArray& copyPath, const WaitingPrintOut& printOut, bool claimed);

    FileServices& m_files;
    Clock& m_clock;
    WindowServices& m_window;
    JobLedger& m_ledger;
    Disposal& m_disposal;
    FilePrinter& m_printer;
    PrintFailures& m_failures;
    qint64 m_lastPollMs = 0;
};
