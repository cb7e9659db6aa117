#include "spool/Disposal.h"

#include "settings/Settings.h"
#include "spool/JobLedger.h"
#include "spool/WindowServices.h"

Disposal::Disposal(const Settings& settings, FileServices& files, WindowServices& window, JobLedger& ledger)
    : m_settings(settings), m_files(files), m_window(window), m_ledger(ledger)
{
}

QByteArray Disposal::nome_backup(const QByteArray& name)
{
    const qsizetype dot = name.lastIndexOf('.');
    if (dot >= 0)
        return name.left(dot + 1) + "bak";
    return "_" + name + ".BAK";
}

bool Disposal::isBackupName(QByteArrayView name)
{
    const qsizetype dot = name.lastIndexOf('.');
    return dot >= 0 && name.sliced(dot + 1).compare("bak", Qt::CaseInsensitive) == 0;
}

QByteArray Disposal::marca_trabalho(const FileStamp& stamp, const SubmittedJob& job)
{
    return stamp.text() + " job " + job.printer.toUtf8() + ' ' + QByteArray::number(job.id) + ' ' +
           QByteArray::number(job.created);
}

SubmittedJob Disposal::trabalho_da_marca(const QByteArray& mark, const FileStamp& stamp)
{
    const QByteArray prefix = stamp.text() + " job ";
    if (!stamp.valid() || !mark.startsWith(prefix))
        return SubmittedJob();
    // "QUEUE ID", or "QUEUE ID CREATED" since jobs are told apart by their creation time too.
    const QList<QByteArray> fields = mark.mid(prefix.size()).split(' ');
    if (fields.size() < 2 || fields.size() > 3 || fields[0].isEmpty())
        return SubmittedJob();
    return SubmittedJob{QString::fromUtf8(fields[0]), fields[1].toInt(),
                        fields.size() == 3 ? fields[2].toLongLong() : 0};
}

Disposal::Outcome Disposal::backup_ou_exclui(const QByteArray& folder, const QByteArray& name,
                                             const QString& shown, const QByteArray& from)
{
    const bool backup = m_settings.backup.isOn();
    const QByteArray to = backup ? folder + nome_backup(name) : QByteArray();
    if (backup && m_files.isPlainFile(to))
        m_files.remove(to, nullptr);
    // It goes as it is now and only while no writer holds it; one that holds it is waited for a
    // moment, then it is looked at again later.
    PutAwayResult result = PutAwayResult::Failed;
    std::unique_ptr<PutAwayFile> held =
        m_files.putAway(folder + from, to, m_files.stamp(folder + from), kWriterWaitMs, &result, nullptr);
    if (result == PutAwayResult::Busy || result == PutAwayResult::Changed)
        return Outcome::Later;
    const bool gone = result == PutAwayResult::Done;
    // A backup is a print-out that is over: renamed back, it is a new one to print.
    if (gone && backup && !m_files.printedMark(to).isEmpty())
        m_files.markPrinted(to, QByteArray());
    if (backup)
        m_window.log(QStringLiteral("Arquivo ") + shown +
                     (gone ? QStringLiteral(" impresso") : QStringLiteral(" não renomeado")));
    else
        m_window.log(QStringLiteral("Arquivo ") + shown +
                     (gone ? QStringLiteral(" excluido") : QStringLiteral(" não excluido")));
    if (gone && held->touched())
        m_window.logFalha(QStringLiteral("Arquivo ") + shown +
                          QStringLiteral(" não impresso (parte acrescentada ao ser guardado)"));
    return gone ? Outcome::Gone : Outcome::Kept;
}

bool Disposal::dispose(const QByteArray& folder, const QByteArray& name, const QString& shown,
                       const QByteArray& mark)
{
    const QByteArray path = folder + name;
    // Should the backup or the deletion fail, the mark keeps a restart from printing it again,
    // and the ledger keeps this run from it while the file is unchanged.
    if (!mark.isEmpty() && !m_files.markPrinted(path, mark))
        m_window.logFalha(QStringLiteral("Arquivo ") + shown +
                          QStringLiteral(": marca de impresso não gravada; um reinício o imprime de novo"));
    switch (backup_ou_exclui(folder, name, shown, name)) {
    case Outcome::Gone:
        return true;
    case Outcome::Later:
        return false; // a writer has it, or added to it: looked at again
    case Outcome::Kept:
        break;
    }
    m_ledger.setPrinted(path, m_files.stamp(path));
    return false;
}
