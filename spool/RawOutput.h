#pragma once

#include "spool/PrintJob.h"

#include <QByteArray>
#include <QDateTime>

#include <memory>

class FileServices;
class PrintingService;
class RawPort;
class ScratchFile;

/**
 * A raw print-out on its way: the lines, each followed by CR LF, go in blocks into a temporary
 * file of this program's own in the working folder, which is then copied to the port from
 * the open file and removed.
 */
class RawOutput : public StreamedPrint
{
public:
    RawOutput(FileServices& files, const QByteArray& folder, const QDateTime& moment, RawPort& port,
              const QByteArray& destination, int timeoutMs);
    ~RawOutput() override;

    /// Sends the staged bytes to the current printer of @p printing as a raw job, titled
    /// @p title, instead of to the port; the job handed over goes into @p job.
    void sendToQueue(PrintingService& printing, const QString& title, SubmittedJob* job)
    {
        m_queue = &printing;
        m_title = title;
        m_job = job;
    }
    /// Creates the temporary file: temp + ddMMyyyyHHmmss + .BAK, or with a suffix when that
    /// name is taken. False, with *error set, when no name could be had.
    bool open(QString* error);
    void begin(qint64 sizeHint) override;
    void line(QByteArrayView line) override;
    /// A line of any length comes in parts, each written as it comes.
    bool takesParts() const override { return true; }
    void linePart(QByteArrayView part) override { put(part); }
    /// Copies what was written to the port and removes the temporary file.
    bool finish(QString* error) override;

    /// How many names are tried before giving up.
    static constexpr int kMostNames = 100;

private:
    /// Adds bytes to the block being gathered, or writes them through when they fill one.
    void put(QByteArrayView bytes);
    bool flush();

    FileServices& m_files;
    QByteArray m_folder;
    QDateTime m_moment;
    RawPort& m_port;
    QByteArray m_destination;
    PrintingService* m_queue = nullptr;
    QString m_title;
    SubmittedJob* m_job = nullptr;
    int m_timeoutMs;
    std::unique_ptr<ScratchFile> m_file;
    QByteArray m_buffer;
    bool m_failed = false;
    QString m_error;
};
