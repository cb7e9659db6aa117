#pragma once

#include "spool/PrintJob.h"

#include <QByteArray>
#include <QDateTime>
#include <QHash>

#include <memory>

class FileServices;
class RawPrinter;
class RawPort;
class ScratchFile;

/**
 * Raw print-outs a device or FIFO took only part of, one a destination. The device holds their
 * first bytes (on paper, the first part of the print-out); the next attempt of the same
 * print-out sends only the rest. Kept in memory only: after a restart a print-out starts
 * again whole.
 */
class RawPartials
{
public:
    struct Partial
    {
        PrintOutSource source;
        qint64 size = 0;    ///< bytes staged for the device
        QByteArray hash;    ///< of the bytes staged
        qint64 sent = 0;    ///< the first bytes the device took
        qint64 triedMs = 0; ///< when the print-out was last tried, on the monotonic clock
    };
    /// The print-out the device took part of, or null.
    const Partial* at(const QByteArray& destination) const
    {
        const auto it = m_partials.constFind(destination);
        return it == m_partials.constEnd() ? nullptr : &*it;
    }
    void keep(const QByteArray& destination, const Partial& partial)
    {
        m_partials.insert(destination, partial);
    }
    void forget(const QByteArray& destination) { m_partials.remove(destination); }

private:
    QHash<QByteArray, Partial> m_partials;
};

/**
 * A raw print-out on its way: the spool file's bytes, exactly as they are (a printer stream's
 * lone CRs, LF CRs and final form feed are the program's own, and a bit image's data must not
 * change), go in blocks into a temporary file of this program's own in the working folder,
 * which is then copied to the port from the open file and removed. Lines handed without their
 * ends (a spool text printed whole) are each ended by CR LF.
 */
class RawOutput : public StreamedPrint
{
public:
    RawOutput(FileServices& files, const QByteArray& folder, const QDateTime& moment, RawPort& port,
              const QByteArray& destination, int timeoutMs);
    ~RawOutput() override;

    /// Sends the staged bytes to @p printer's queue as a raw job, titled @p title, instead of
    /// to the port; the job handed over goes into @p job.
    void sendToQueue(RawPrinter& queue, const QString& printer, const QString& title, SubmittedJob* job)
    {
        m_queue = &queue;
        m_printer = printer;
        m_title = title;
        m_job = job;
    }
    /// Notes in @p partials how much of the print-out of @p source the port took when it fails
    /// halfway, and goes on from there when the same print-out, staged the same, was noted
    /// there; @p nowMs is the moment of this attempt.
    void resumeWith(RawPartials& partials, const PrintOutSource& source, qint64 nowMs)
    {
        m_partials = &partials;
        m_source = source;
        m_nowMs = nowMs;
    }
    /// Creates the temporary file: temp + ddMMyyyyHHmmss + .BAK, or with a suffix when that
    /// name is taken. False, with *error set, when no name could be had.
    bool open(PrintError* error);
    void begin(qint64 sizeHint) override;
    void line(QByteArrayView line) override;
    /// A line of any length comes in parts, each written as it comes.
    bool takesParts() const override { return true; }
    void linePart(QByteArrayView part) override { put(part); }
    /// A spool file read for raw output comes as its bytes, unsplit.
    bool takesBytes() const override { return true; }
    void bytes(QByteArrayView bytes) override { put(bytes); }
    /// Copies what was written to the port and removes the temporary file.
    bool finish(PrintError* error) override;

    /// How many names are tried before giving up.
    static constexpr int kMostNames = 100;

private:
    /// Adds bytes to the block being gathered, or writes them through when they fill one.
    void put(QByteArrayView bytes);
    bool flush();
    void write(const char* data, qsizetype size);
    bool sendToPort(PrintError* error);
    /// The hash of the staged bytes, read back from the temporary file; empty when it cannot be read.
    QByteArray stagedHash();

    FileServices& m_files;
    QByteArray m_folder;
    QDateTime m_moment;
    RawPort& m_port;
    QByteArray m_destination;
    RawPrinter* m_queue = nullptr;
    QString m_printer;
    QString m_title;
    SubmittedJob* m_job = nullptr;
    RawPartials* m_partials = nullptr;
    PrintOutSource m_source;
    qint64 m_nowMs = 0;
    int m_timeoutMs;
    std::unique_ptr<ScratchFile> m_file;
    QByteArray m_buffer;
    qint64 m_staged = 0;
    bool m_failed = false;
    PrintError m_error;
};
