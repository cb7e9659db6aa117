#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

class ByteSource;

struct PrinterInfo
{
    QString deviceName;
    QString port;
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
    /// Ends the current page; the next line goes on a new one.
    virtual void newPage() = 0;
    /// Ends the document and hands it to the printer; false, with errorString(), when that failed.
    /// A document without a page sends nothing and succeeds.
    virtual bool endDocument() = 0;
    virtual QString errorString() const = 0;

    /// Sends the bytes to the current printer as they are, a raw job its queue hands to the
    /// device untouched (the printer reads its own codes). False, with errorString(), when the
    /// queue did not take them all; a service without raw jobs takes none.
    virtual bool printRaw(ByteSource& bytes, const QString& title)
    {
        Q_UNUSED(bytes);
        Q_UNUSED(title);
        return false;
    }
};
