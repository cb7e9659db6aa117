#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include "spool/Documents.h"
#include "spool/FileServices.h"
#include "spool/Printing.h"
#include "spool/Reader.h"
#include "text/Encoding.h"

#include <memory>
#include <optional>
#include <utility>

class Clock;
class FileServices;
class Places;
class RawPartials;
class RawPort;
struct Settings;

/// A print-out that takes the lines of a spool file as they are read.
class StreamedPrint : public LineSink
{
public:
    /// Sends what was given; false, with *error set, when it was not printed.
    virtual bool finish(PrintError* error) = 0;
};

/// The spool file a print-out comes from, as it was before it was read: a raw print-out that a
/// device took only part of goes on where it stopped only for the same file, unchanged.
struct PrintOutSource
{
    QByteArray path;
    FileStamp stamp;

    bool operator==(const PrintOutSource& o) const { return path == o.path && stamp == o.stamp; }
};

/// Prints the text of one spool file.
class PrintJob
{
public:
    virtual ~PrintJob() = default;
    /// The job the last successful print handed over, taken once: a second call gives none.
    virtual SubmittedJob takeLastJob() = 0;
    /// Where a job handed over stands; jobs without an id are over.
    virtual JobState jobState(const SubmittedJob& job) = 0;
    /// True when the job takes lines as they are read (beginLines) rather than a whole text.
    virtual bool streamsLines() const = 0;
    /// The most bytes of a spool file the job takes: a larger file is set aside unread.
    virtual qint64 sizeLimit() const = 0;
    /// True when the last print-out ended in a printer command cut short by the end of the
    /// file, whose bytes were printed as text; taken once: a second call gives false.
    virtual bool takeCutShort() = 0;
    /// What went wrong beside the last print-out without stopping it, for the log; taken once.
    virtual QString takeNote() = 0;
    /// Starts a print-out, titled @p title, of the lines of @p source as they are read; null,
    /// with *error set, when none can start.
    virtual std::unique_ptr<StreamedPrint> beginLines(PrintError* error, const QString& title,
                                                      const PrintOutSource& source) = 0;
    /// Prints the spool text; false, with *error set, when it was not printed.
    virtual bool imprime_conteudo(const QByteArray& text, qint16 widestColumns, const QString& title,
                                  PrintError* error) = 0;
};

/// Graphical printing on the configured printer, or raw output to the configured port.
class ImpressaoConteudo : public PrintJob
{
public:
    ImpressaoConteudo(const Settings& settings, const PrintingServices& printing, FileServices& files,
                      Clock& clock, RawPort& port, Places& places);
    ~ImpressaoConteudo() override;
    bool imprime_conteudo(const QByteArray& text, qint16 widestColumns, const QString& title,
                          PrintError* error) override;
    bool streamsLines() const override;
    std::unique_ptr<StreamedPrint> beginLines(PrintError* error, const QString& title = QString(),
                                              const PrintOutSource& source = PrintOutSource()) override;
    SubmittedJob takeLastJob() override { return std::exchange(m_lastJob, SubmittedJob()); }
    JobState jobState(const SubmittedJob& job) override;
    /// The printer documents go to: the one named in the settings (as installed, once found),
    /// the default printer when the settings name none.
    QString currentPrinter();
    qint64 sizeLimit() const override { return streamsLines() ? kMostRawBytes : kMostGraphicalBytes; }
    bool takeCutShort() override { return std::exchange(m_cutShort, false); }
    QString takeNote() override { return std::exchange(m_note, QString()); }

    /// How long a raw destination may go without taking a byte before the print-out waits.
    static constexpr int kRawTimeoutMs = 10000;
    /// The largest spool file printed graphically: its text is held whole while the PDF is made
    /// (about 1.6 times the file at the peak).
    static constexpr qint64 kMostGraphicalBytes = qint64(256) * 1024 * 1024;
    /// The largest spool file sent raw: it goes through in blocks, but is staged whole in the
    /// working folder first.
    static constexpr qint64 kMostRawBytes = qint64(4) * 1024 * 1024 * 1024;
    void setRawTimeoutMs(int ms) { m_rawTimeoutMs = ms; }
    /// How long a print-out a device took part of keeps other print-outs from that device, from
    /// its last attempt: longer than the longest pause before a file is tried again, so that its
    /// rest follows its first part on paper. Past that, or once its file changed or went, the
    /// device is free and the print-out starts again whole.
    static constexpr qint64 kPartialHoldMs = 6 * 60 * 1000;

private:
    bool graphical(const QByteArray& text, qint16 widestColumns, const QString& title, PrintError* error);
    /// The printer a document goes to (none when its PDF copy is the print-out); false, with
    /// *error set, when it has nowhere to go.
    bool documentPrinter(const DocumentOptions& options, QString* printer, PrintError* error);
    bool raw(const QByteArray& text, const QString& title, PrintError* error);
    /// False, with *error set, while the raw destination holds the first part of a print-out
    /// other than @p source, whose rest must come first.
    bool portFreeFor(const QByteArray& destination, const PrintOutSource& source, qint64 nowMs,
                     PrintError* error);
    /// Makes the printer named in the settings current, when it is installed; *found is its
    /// index, -1 when it is not installed, kNoPrinters when none is. False when the printers
    /// could not be listed (the print server did not answer).
    bool selecionaImpressora(int* found, PrintError* error);
    static constexpr int kNoPrinters = -2;
    /// The failure of a print-out for a printer named in the settings that is not installed.
    PrintError missingPrinter() const;

    const Settings& m_settings;
    PrintingServices m_printing;
    std::optional<QString> m_current; ///< the printer chosen; none before the first print-out
    FileServices& m_files;
    Clock& m_clock;
    RawPort& m_port;
    Places& m_places;
    bool m_leftoversRemoved = false;
    SubmittedJob m_lastJob;
    bool m_cutShort = false;
    QString m_note;
    int m_rawTimeoutMs = kRawTimeoutMs;
    std::unique_ptr<RawPartials> m_partials;
};

/// The name of the raw temporary file for a moment: temp + ddMMyyyyHHmmss + .BAK
QByteArray nome_temporario(const QDateTime& moment);
