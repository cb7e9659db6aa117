#pragma once

#include <QByteArray>
#include <QFile>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

/// Runs a poppler tool (pdftotext, pdfinfo, pdffonts, pdfimages) on the PDF and gives its output;
/// pdftotext writes to it.
inline QString poppler(const QString& tool, const QByteArray& pdf, const QStringList& arguments = {})
{
    QTemporaryDir dir;
    QFile file(dir.filePath(QStringLiteral("doc.pdf")));
    if (!file.open(QIODevice::WriteOnly) || file.write(pdf) != pdf.size())
        return QString();
    file.close();
    QProcess process;
    process.start(tool, arguments + QStringList{file.fileName()} +
                            (tool == QLatin1String("pdftotext") ? QStringList{"-"} : QStringList()));
    process.waitForFinished(20000);
    return QString::fromUtf8(process.readAllStandardOutput());
}

/// Draws the PDF's first page in grey at @p dpi into @p pgm (a PGM file), with pdftoppm; false
/// when it could not.
inline bool rasterize(const QByteArray& pdf, int dpi, const QString& pgm)
{
    QTemporaryDir dir;
    QFile file(dir.filePath(QStringLiteral("doc.pdf")));
    if (!file.open(QIODevice::WriteOnly) || file.write(pdf) != pdf.size())
        return false;
    file.close();
    QString base = pgm;
    base.chop(4); // pdftoppm adds the ".pgm"
    return QProcess::execute(QStringLiteral("pdftoppm"), {"-r", QString::number(dpi), "-gray", "-singlefile",
                                                          "-f", "1", "-l", "1", file.fileName(), base}) == 0;
}
