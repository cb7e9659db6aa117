#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include "text/PrintedDocument.h"

class ByteSource;

struct PrinterInfo
{
    QString deviceName;
    QString port;
};

/// What the engine knows of a document before its first line, so that size and orientation
/// are chosen once for the whole document.
struct DocumentShape
{
    /// Width of the widest line as drawn (leading blanks, tab stops and pitches counted), in
    /// character cells: of the chosen face for plain lines, of pica (1/10 inch) on a printer's page.
    qreal widestCells = 0;
    /// Lines per page for plain lines; 0 keeps the face's line advance.
    int linesPerPage = 0;
    /// More than 0 when the document is a printer's page of this length in inches: its lines
    /// come as runs with their own feed, and the page is scaled to the sheet.
    qreal printerPageInches = 0;
    /// Some character is neither in Windows-1252 nor a box or block character: a second face
    /// must draw it.
    bool needsFallbackFace = false;
};

/// Characters of one style, decoded.
struct PrintRun
{
    QString text;
    RunStyle style;
};

/**
 * A printing service with a current printer that stays selected across jobs. A job is
 * begun implicitly by the first line or page break and handed to the printer by endDocument().
 */
class PrintingService
{
public:
    virtual ~PrintingService() = default;

    virtual QList<PrinterInfo> printers() = 0;
    /// Why the last printers() could not list the printers (the print server did not answer);
    /// empty when it listed them, none included.
    virtual QString printersError() const { return QString(); }
    /// Makes the printer at this index of printers() current. False when it cannot.
    virtual bool selectPrinter(int index) = 0;
    /// Empty when there is no current printer.
    virtual QString currentPrinter() const = 0;

    virtual QStringList faceNames() = 0;
    virtual void setFaceName(const QString& face) = 0;
    virtual void setBold(bool on) = 0;
    virtual void setItalic(bool on) = 0;
    virtual void setUnderline(bool on) = 0;
    virtual void setPointSize(float points) = 0;

    /// Sets the title of the job to come.
    virtual void setJobTitle(const QString& title) = 0;
    /// Draws one line and moves to the next; a full page continues on a new one. The first
    /// line of a job begins its first page.
    virtual void printLine(const QString& line) = 0;
    /// Draws the start of a long line whose rest follows, in more parts and a last printLine();
    /// false, drawing nothing, when the service takes lines only whole.
    virtual bool printLinePart(const QString& part)
    {
        (void)part;
        return false;
    }
    /// Tells the shape of the document to come; a document without it is laid out as plain lines.
    virtual void setDocumentShape(const DocumentShape& shape) { (void)shape; }
    /// Draws one line of styled runs followed by a feed of @p advance 1/360 inch (a printer's page).
    virtual void printRuns(const QList<PrintRun>& runs, int advance)
    {
        (void)advance;
        QString text;
        for (const PrintRun& run : runs)
            text += run.text;
        printLine(text);
    }
    /// Ends the current page; the next line goes on a new one.
    virtual void newPage() = 0;
    /// Ends the document and hands it to the printer; false, with errorString(), when that failed.
    /// A document without a page sends nothing and succeeds.
    virtual bool endDocument() = 0;
    virtual QString errorString() const = 0;

    /// Sends the bytes to the current printer as they are, a raw job its queue hands to the
    /// device untouched (the printer reads its own codes). False, with errorString(), when the
    /// queue did not take them all; a service without raw jobs takes none.
    /// Where a job handed to the printer stands.
    enum class JobState
    {
        Pending,   ///< waiting, held or printing: not over yet
        Completed, ///< every page went to the device
        Failed,    ///< aborted or cancelled: nothing can be counted on
        Unknown    ///< the scheduler no longer knows the job (one that does not answer: Pending)
    };
    /// The printer's id of the last job endDocument() or printRaw() handed over; 0 when the
    /// service keeps no ids (its jobs are over once handed over).
    virtual int lastJobId() const { return 0; }
    /// When the printer created that job, in its own seconds; 0 when it did not say.
    virtual qint64 lastJobCreated() const { return 0; }
    /// Where the job with this id on this printer stands; a job of that id created at another
    /// time than @p created (when not 0) is another job, and ours is Unknown.
    virtual JobState jobState(const QString& printer, int jobId, qint64 created)
    {
        Q_UNUSED(printer);
        Q_UNUSED(jobId);
        Q_UNUSED(created);
        return JobState::Completed;
    }

    virtual bool printRaw(ByteSource& bytes, const QString& title)
    {
        Q_UNUSED(bytes);
        Q_UNUSED(title);
        return false;
    }
};
