#pragma once

#include <QDateTime>
#include <QString>

class QIODevice;

/// The PDF copies of print-outs kept in a folder (COPIA_PDF): each written whole under a
/// temporary name and then given its own, so that a half-written copy never bears one.
namespace PdfCopy {

/// The name of the copy of spool file @p spoolName made at @p when:
/// 2026-12-10_14-03-22_REL.TXT.pdf.
QString fileName(const QDateTime& when, const QString& spoolName);
/// Writes what @p pdf reads, to its end, into @p folder under @p name, or under the first free
/// name with -1, -2 ... before ".pdf" when that one is taken: an existing file is never
/// replaced. Empty on success, with the path in *written; else why it failed, in the system's
/// words.
QString write(const QString& folder, const QString& name, QIODevice& pdf, QString* written = nullptr);

} // namespace PdfCopy
