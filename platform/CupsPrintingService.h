#pragma once

#include "spool/PrintingService.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <memory>

/**
 * The printing service on CUPS. Pages are drawn with Qt into a PDF held in memory, and the
 * finished document is handed to the current queue with libcups, every answer checked: Qt's
 * own CUPS path reports success for jobs a queue refused and falls back to other printers.
 */
class CupsPrintingService : public PrintingService
{
public:
    /// The current printer starts as CUPS's default destination (none when there is none).
    CupsPrintingService();
    ~CupsPrintingService() override;

    /// The queues in CUPS's order, read afresh on every call; instances are left out.
    QList<PrinterInfo> printers() override;
    /// Index into the list the last printers() call gave.
    bool selectPrinter(int index) override;
    QString currentPrinter() const override { return m_printer; }

    QStringList faceNames() override;
    void setFaceName(const QString& face) override;
    void setBold(bool on) override;
    void setItalic(bool on) override;
    void setUnderline(bool on) override;
    void setPointSize(float points) override;

    void setJobTitle(const QString& title) override { m_title = title; }
    void printLine(const QString& line) override;
    void newPage() override;
    bool endDocument() override;
    QString errorString() const override { return m_error; }

    /// Documents go to this PDF file instead of a queue; an empty path submits them again.
    void setOutputFile(const QString& path) { m_outputFile = path; }
    /// Pages of the last document ended.
    int lastPageCount() const { return m_lastPageCount; }
    /// CUPS's id of the last job submitted; 0 when the last document sent none.
    int lastJobId() const { return m_lastJobId; }
    /// Whether faces whose file a PDF can carry are written directly as PDF text (the
    /// default) rather than drawn by Qt; either way the pages look the same.
    void setTextPath(bool on) { m_textPath = on; }
    /// The last document begun was written directly as PDF text.
    bool lastUsedTextPath() const { return m_lastTextPath; }

    /// The local device path in a CUPS device URI: parallel:/dev/lp0 gives /dev/lp0,
    /// serial:/dev/ttyS1?baud=9600 gives /dev/ttyS1, file:///x and file:/x give /x; any
    /// other URI is given back whole.
    static QString portOfDeviceUri(const QString& uri);

private:
    class Document;
    class QtDocument;
    class TextDocument;

    bool beginDocument();
    bool submit(const QByteArray& pdf);

    QString m_printer;
    QList<PrinterInfo> m_listed;
    /// Face, style and size are taken when a document begins, for all of its lines.
    QString m_face;
    bool m_bold = false;
    bool m_italic = false;
    bool m_underline = false;
    float m_points = 10.0f;
    bool m_textPath = true;
    bool m_lastTextPath = false;
    QString m_title;
    QString m_outputFile;
    QString m_error;
    int m_lastPageCount = 0;
    int m_lastJobId = 0;
    std::unique_ptr<Document> m_doc;
    /// A document that could not be begun: its lines are dropped and endDocument() fails.
    bool m_failed = false;
};
