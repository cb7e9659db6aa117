#pragma once

#include "cups/CupsConnection.h"
#include "render/DocumentBuffer.h"
#include "render/EmbeddedFont.h"
#include "render/PrintDocument.h"
#include "spool/PrintingService.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <memory>

/**
 * The printing service on CUPS: each document is drawn into a PDF (render/), held in memory
 * while small and in a temporary file beyond, and handed to the current queue as one job (cups/).
 * Every request to CUPS gives up after the time-out without an answer.
 */
class CupsPrintingService : public PrintingService
{
public:
    /// The current printer starts as CUPS's default destination (none when there is none).
    explicit CupsPrintingService(RenderPath path = RenderPath::Best,
                                 int timeoutMs = CupsConnection::kDefaultTimeoutMs);
    ~CupsPrintingService() override;

    /// The queues in CUPS's order, read afresh on every call; instances are left out.
    QList<PrinterInfo> printers() override;
    QString printersError() const override { return m_printersError; }
    /// Index into the list the last printers() call gave.
    bool selectPrinter(int index) override;
    QString currentPrinter() const override { return m_printer; }

    QStringList faceNames() override;
    void setFaceName(const QString& face) override { m_style.face = face; }
    void setBold(bool on) override { m_style.bold = on; }
    void setItalic(bool on) override { m_style.italic = on; }
    void setUnderline(bool on) override { m_style.underline = on; }
    void setPointSize(float points) override { m_style.points = points; }

    void setJobTitle(const QString& title) override { m_title = title; }
    void setDocumentShape(const DocumentShape& shape) override { m_shape = shape; }
    void printLine(const QString& line) override;
    bool printLinePart(const QString& part) override;
    void printRuns(const QList<PrintRun>& runs, int advance) override;
    void newPage() override;
    bool endDocument() override;
    QString errorString() const override { return m_error; }
    bool printRaw(ByteSource& bytes, const QString& title) override;
    int lastJobId() const override { return m_lastJob.id; }
    qint64 lastJobCreated() const override { return m_lastJob.created; }
    JobState jobState(const QString& printer, int jobId, qint64 created) override;

    /// The job a document or raw print-out was handed over in.
    struct HandedOver
    {
        int id = 0;
        qint64 created = 0;
    };

protected:
    /// Hands a finished document of @p pages pages to the current queue; false, with the
    /// error set by setError(), when the queue did not take it.
    virtual bool submit(const QByteArray& pdf, int pages);
    /// The same for a document too big to be held in memory: read from @p pdf in blocks.
    virtual bool submitFile(QIODevice& pdf, int pages);
    void setError(const QString& error) { m_error = error; }

private:
    bool beginDocument();
    /// Draws a line, wrapped where the document is wider than the sheet even at the smallest size.
    void draw(TextLine& line);

    QString m_printer;
    QList<PrinterInfo> m_listed;
    QString m_printersError;
    /// Face, style and size are taken when a document begins, for all of its lines.
    TextStyle m_style;
    DocumentShape m_shape;
    qreal m_cell = 0;   ///< advance of a character cell of the document's face and size, dots
    qreal m_unit = 0;   ///< dots per 1/360 inch of a printer's page
    qreal m_wrapAt = 0; ///< width lines wrap at, dots; 0 when they fit
    QString m_title;
    QString m_error;
    HandedOver m_lastJob;
    RenderPath m_path;
    int m_timeoutMs;
    EmbeddedFonts m_fonts;
    DocumentBuffer m_pdf;
    std::unique_ptr<PrintDocument> m_doc;
    /// A document that could not be begun: its lines are dropped and endDocument() fails.
    bool m_failed = false;
    /// The start of a line given in parts that is not drawn yet: at most a wrapped line's worth
    /// once the line wraps.
    QString m_lineStart;
};
