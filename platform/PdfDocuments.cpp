#include "platform/PdfDocuments.h"

#include "platform/PdfCopy.h"

#include <QBuffer>
#include <QDateTime>
#include <QFontDatabase>

PdfDocuments::PdfDocuments(RenderPath path) : m_composer(m_fonts, path) {}

QStringList PdfDocuments::faceNames()
{
    return QFontDatabase::families();
}

PrintError PdfDocuments::print(PdfDestination& destination, const Document& document, const QString& title,
                               SubmittedJob* job)
{
    if (job)
        *job = SubmittedJob();
    m_note.clear();
    const bool copyOnly = m_options.copyOnly;
    const auto copied = [&](const PrintError& kept) {
        if (copyOnly && kept.isNone() && job)
            job->pages = m_composer.pages(); // no job to follow: the copy is the print-out
        return kept;
    };
    PrintError error;
    const bool drawn = m_composer.render(document, title, [&](QPageLayout* media, QString*) -> QIODevice* {
        if (!destination.sheet(pwgMediaName(m_options.paper), media, &error))
            return nullptr;
        if (!m_pdf.start()) {
            error = PrintError::fromErrno(m_pdf.errorNumber(), m_pdf.errorString());
            return nullptr;
        }
        return &m_pdf;
    });
    const auto writeFailed = [this] {
        return PrintError::fromErrno(m_pdf.errorNumber(),
                                     QStringLiteral("cannot write the PDF document: ") + m_pdf.errorString());
    };
    if (!drawn) {
        // A painter does not tell of a failed write: the buffer does, with the system's error.
        if (error.isNone())
            error = m_pdf.failed() ? writeFailed() : PrintError::other(m_composer.errorString());
        m_pdf.release();
        return error;
    }
    if (m_composer.pages() == 0)
        return PrintError(); // nothing was drawn, so there is nothing to send
    if (m_pdf.failed()) {
        m_pdf.release();
        return writeFailed();
    }
    if (!m_pdf.spilled()) {
        QByteArray pdf = m_pdf.takeBytes();
        m_pdf.release();
        if (!copyOnly)
            error = destination.submit(title, pdf, m_composer.pages(), job);
        QBuffer bytes(&pdf);
        bytes.open(QIODevice::ReadOnly);
        return error.isNone() ? copied(keepCopy(title, bytes)) : error;
    }
    if (!m_pdf.rewind()) {
        error = writeFailed();
        m_pdf.release();
        return error;
    }
    if (!copyOnly)
        error = destination.submitFile(title, m_pdf, m_composer.pages(), job);
    if (error.isNone())
        error = m_pdf.rewind() ? copied(keepCopy(title, m_pdf)) : writeFailed();
    m_pdf.release();
    return error;
}

PrintError PdfDocuments::keepCopy(const QString& title, QIODevice& pdf)
{
    if (m_options.copyFolder.isEmpty())
        return PrintError();
    const QString name = PdfCopy::fileName(QDateTime::currentDateTime(), title);
    const QString failed = PdfCopy::write(m_options.copyFolder, name, pdf);
    if (failed.isEmpty())
        return PrintError();
    // Printed on paper, the print-out is done: a copy that could not be kept is only told.
    // Without a printer, the copy is the print-out, and it waits like any other.
    if (m_options.copyOnly)
        return PrintError::other(
            QStringLiteral("PDF não gravado em %1: %2").arg(m_options.copyFolder, failed));
    m_note = QStringLiteral("cópia em PDF não gravada em %1 (%2)").arg(m_options.copyFolder, failed);
    return PrintError();
}
