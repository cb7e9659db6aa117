#pragma once

#include "settings/Paper.h"
#include "spool/PrintError.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <type_traits>

class ByteSource;
class Document;

/// An installed printer: its queue's name and the port of its device, when it has one.
struct PrinterInfo
{
    QString deviceName;
    QString port;
};

/// A job handed to a printer, that the printer may still abort.
struct SubmittedJob
{
    QString printer;
    int id = 0;         ///< 0: no job to follow, it was over once handed over
    qint64 created = 0; ///< when the printer created it, in its own seconds; 0 when unknown
    int pages = 0;      ///< the pages of the document it prints; 0 when unknown

    bool operator==(const SubmittedJob& o) const
    {
        return printer == o.printer && id == o.id && created == o.created;
    }
};

/// Where a job handed to a printer stands.
enum class JobState
{
    Pending,   ///< waiting, held or printing: not over yet
    Completed, ///< every page went to the device
    Failed,    ///< aborted or cancelled: nothing can be counted on
    Unknown    ///< the printer no longer knows the job (one that does not answer: Pending)
};

/// The printers installed.
class PrinterDirectory
{
public:
    virtual ~PrinterDirectory() = default;
    /// The printers, read afresh; none, with *error set, when the print server did not answer.
    virtual QList<PrinterInfo> printers(PrintError* error) = 0;
    /// The printer documents go to unless one is named; empty when there is none.
    virtual QString defaultPrinter() = 0;
};

/// The printer choice that prints on no printer: every print-out is its PDF copy, written into
/// the copy folder. No CUPS queue can bear this name (a queue name has no blanks).
inline QString pdfOnlyPrinter()
{
    return QStringLiteral("(somente PDF)");
}
inline bool isPdfOnly(const QString& printer)
{
    return printer.compare(pdfOnlyPrinter(), Qt::CaseInsensitive) == 0;
}

/// How the documents printed from now on go on paper, and where their PDF copies are kept.
struct DocumentOptions
{
    PaperSize paper = PaperSize::QueueDefault;
    PaperOrientation orientation = PaperOrientation::Automatic;
    QString copyFolder;    ///< a PDF copy of each document goes there once printed; empty for none
    bool copyOnly = false; ///< no printer: the copy is the print-out, and failing it fails the print
};

/// Prints documents (render/ draws them).
class DocumentPrinter
{
public:
    virtual ~DocumentPrinter() = default;
    /// The options of the documents printed from now on.
    virtual void useOptions(const DocumentOptions& options) = 0;
    /// What went wrong beside the last print that did not stop it (a copy not kept), told in the
    /// log after it; taken once.
    virtual QString takeNote() = 0;
    /// The faces a document may be drawn in.
    virtual QStringList faceNames() = 0;
    /// Prints @p document on @p printer as one job titled @p title; the job handed over goes
    /// into *job. A document without a page sends nothing and succeeds, with no job.
    virtual PrintError print(const QString& printer, const Document& document, const QString& title,
                             SubmittedJob* job) = 0;
};

/// Sends print-outs to a printer's queue as they are, raw jobs its queue hands to the device
/// untouched (the printer reads its own codes).
class RawPrinter
{
public:
    virtual ~RawPrinter() = default;
    /// Sends what @p bytes reads to @p printer; the job handed over goes into *job.
    virtual PrintError printRaw(const QString& printer, ByteSource& bytes, const QString& title,
                                SubmittedJob* job) = 0;
};

/// Follows jobs handed to printers.
class JobTracker
{
public:
    virtual ~JobTracker() = default;
    /// Where @p job stands; a job of its id created at another time than job.created (when not 0)
    /// is another job, and ours is Unknown.
    virtual JobState jobState(const SubmittedJob& job) = 0;
};

/// The printing services the print job uses, each asked for by itself.
struct PrintingServices
{
    PrintingServices(PrinterDirectory& directory, DocumentPrinter& documents, RawPrinter& raw,
                     JobTracker& jobs)
        : directory(directory), documents(documents), raw(raw), jobs(jobs)
    {
    }
    /// All four from one service that offers them all.
    template <typename All, typename = std::enable_if_t<std::is_base_of_v<PrinterDirectory, All> &&
                                                        std::is_base_of_v<DocumentPrinter, All>>>
    PrintingServices(All& all) : PrintingServices(all, all, all, all) // NOLINT(google-explicit-constructor)
    {
    }

    PrinterDirectory& directory;
    DocumentPrinter& documents;
    RawPrinter& raw;
    JobTracker& jobs;
};
