#include "spool/FilePrinter.h"

#include "spool/Reader.h"

#include <QFile>

FilePrinter::FilePrinter(FileServices& files, Asker& asker, PrintJob& printJob)
    : m_files(files), m_asker(asker), m_printJob(printJob)
{
}

bool FilePrinter::le_e_imprime(const QByteArray& folder, const QByteArray& fileName, const QByteArray& name,
                               qint64 skipBytes, const QByteArray& skippedHash, PrintedPart& done,
                               bool* declined, bool* rewritten, PrintError* error)
{
    const QString title = QFile::decodeName(name);
    // What was printed must still be the start of the file; otherwise the file was written
    // anew and is printed whole, as a print-out of its own.
    auto rewrittenSince = [&](const LeituraConteudo& leitura) {
        *rewritten = leitura.ok && skipBytes > 0 && leitura.skippedHash != skippedHash;
        return *rewritten;
    };
    LeituraConteudo leitura;
    bool printed = false;
    if (m_printJob.streamsLines()) {
        // Raw output takes the lines as they are read: the file is never held whole. The file
        // and its stamp tell a print-out cut short, and tried again, from a new one.
        std::unique_ptr<StreamedPrint> out =
            m_printJob.beginLines(error, title, PrintOutSource{folder + name, done.stamp});
        if (!out)
            return false;
        leitura = le_conteudo(folder, fileName, m_files, m_asker, skipBytes, *out, m_printJob.sizeLimit());
        printed = leitura.ok && !rewrittenSince(leitura) && out->finish(error);
    } else {
        leitura = le_conteudo(folder, fileName, m_files, m_asker, skipBytes, m_printJob.sizeLimit());
        printed = leitura.ok && !rewrittenSince(leitura) &&
                  ((skipBytes > 0 && leitura.text.isEmpty()) ||
                   m_printJob.imprime_conteudo(leitura.text, leitura.widestColumns, title, error));
    }
    if (printed) {
        const SubmittedJob job = m_printJob.takeLastJob();
        m_lastJob = job;
        if (job.id != 0) {
            m_jobs.jobs.append(job);
            m_jobs.starts.append(skipBytes);
        }
        done.cutShort = m_printJob.takeCutShort();
        done.note = m_printJob.takeNote();
    }
    if (!leitura.ok && error)
        *error = PrintError::fromSystemText(leitura.error);
    *declined = leitura.declined;
    done.tooLarge = leitura.tooLarge;
    done.bytes = leitura.bytesRead;
    done.hash = leitura.hash;
    return printed;
}
