#pragma once

#include "render/Composer.h"
#include "render/DocumentBuffer.h"
#include "render/EmbeddedFont.h"
#include "spool/Printing.h"

#include <QByteArray>
#include <QPageLayout>
#include <QString>
#include <QStringList>

#include <utility>

class QIODevice;

/// Where the PDF of a document goes once drawn: the sheet it is drawn on, and the hand-over.
class PdfDestination
{
public:
    virtual ~PdfDestination() = default;
    /// The sheet of paper @p media (a PWG name; empty: the destination's own); false, with
    /// *error set, when the destination could not be asked.
    virtual bool sheet(const QByteArray& media, QPageLayout* sheet, PrintError* error) = 0;
    /// Hands a finished PDF of @p pages pages over; the job handed over goes into *job.
    virtual PrintError submit(const QString& title, const QByteArray& pdf, int pages, SubmittedJob* job) = 0;
    /// The same for a PDF too big to be held in memory: read from @p pdf in blocks.
    virtual PrintError submitFile(const QString& title, QIODevice& pdf, int pages, SubmittedJob* job) = 0;
};

/**
 * Documents drawn into a PDF (render/), held in memory while small and in a temporary file
 * beyond, handed to a destination as one piece, and copied into the copy folder when one is
 * set. Nothing here knows the print server: the destination does.
 */
class PdfDocuments
{
public:
    explicit PdfDocuments(RenderPath path = RenderPath::Best);

    void useOptions(const DocumentOptions& options) { m_options = options; }
    const DocumentOptions& options() const { return m_options; }
    /// What went wrong beside the last print without stopping it; taken once.
    QString takeNote() { return std::exchange(m_note, QString()); }
    /// The faces a document may be drawn in.
    QStringList faceNames();
    /// Draws @p document and hands its PDF to @p destination, unless the copy is the print-out.
    PrintError print(PdfDestination& destination, const Document& document, const QString& title,
                     SubmittedJob* job);

private:
    /// Keeps a copy of the document printed in the copy folder, when one is set.
    PrintError keepCopy(const QString& title, QIODevice& pdf);

    DocumentOptions m_options;
    QString m_note;
    EmbeddedFonts m_fonts;
    Composer m_composer;
    DocumentBuffer m_pdf;
};
