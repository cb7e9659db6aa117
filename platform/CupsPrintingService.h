#pragma once

#include "cups/CupsConnection.h"
#include "platform/PdfDocuments.h"
#include "spool/Printing.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <utility>

/**
 * The printing services on CUPS: the queues, documents drawn into a PDF (PdfDocuments) and
 * handed to a queue as one job (cups/), raw jobs, and the jobs' states. Every request to CUPS gives up after
 * the time-out without an answer.
 */
class CupsPrintingService : public PrinterDirectory,
                            public DocumentPrinter,
                            public RawPrinter,
                            public JobTracker
{
public:
    /// The default printer is CUPS's default destination when the service starts (none when
    /// there is none).
    explicit CupsPrintingService(RenderPath path = RenderPath::Best,
                                 int timeoutMs = CupsConnection::kDefaultTimeoutMs);
    ~CupsPrintingService() override;

    /// The queues in CUPS's order, read afresh on every call; instances are left out.
    QList<PrinterInfo> printers(PrintError* error) override;
    QString defaultPrinter() override { return m_default; }

    QStringList faceNames() override;
    PrintError print(const QString& printer, const Document& document, const QString& title,
                     SubmittedJob* job) override;
    PrintError printRaw(const QString& printer, ByteSource& bytes, const QString& title,
                        SubmittedJob* job) override;
    JobState jobState(const SubmittedJob& job) override;
    void useOptions(const DocumentOptions& options) override { m_documents.useOptions(options); }
    QString takeNote() override { return m_documents.takeNote(); }

protected:
    /// Hands a finished document of @p pages pages to @p printer; the job goes into *job.
    virtual PrintError submit(const QString& printer, const QString& title, const QByteArray& pdf, int pages,
                              SubmittedJob* job);
    /// The same for a document too big to be held in memory: read from @p pdf in blocks.
    virtual PrintError submitFile(const QString& printer, const QString& title, QIODevice& pdf, int pages,
                                  SubmittedJob* job);

private:
    /// A queue as the destination of a document's PDF.
    class Queue : public PdfDestination
    {
    public:
        Queue(CupsPrintingService& service, const QString& printer) : m_service(service), m_printer(printer)
        {
        }
        bool sheet(const QByteArray& media, QPageLayout* sheet, PrintError* error) override;
        PrintError submit(const QString& title, const QByteArray& pdf, int pages, SubmittedJob* job) override;
        PrintError submitFile(const QString& title, QIODevice& pdf, int pages, SubmittedJob* job) override;

    private:
        CupsPrintingService& m_service;
        QString m_printer;
    };

    QString m_default;
    QByteArray m_media; ///< the medium of the document in hand, as its queue names it
    int m_timeoutMs;
    PdfDocuments m_documents;
};
