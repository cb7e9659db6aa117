#include "spool/PrintFailures.h"

#include "spool/Clock.h"
#include "spool/History.h"
#include "spool/LogText.h"
#include "spool/PrintError.h"
#include "spool/WindowServices.h"

#include <QFile>

PrintFailures::PrintFailures(WindowServices& window, Clock& clock) : m_window(window), m_clock(clock) {}

void PrintFailures::naoImpresso(const QByteArray& path, const PrintError& error)
{
    QString line = QStringLiteral("Arquivo ") + QFile::decodeName(path) + QStringLiteral(" não impresso");
    const QString motivo = motivo_falha(error);
    if (!motivo.isEmpty())
        line += QStringLiteral(" (") + motivo + u')';
    m_window.logFalha(line);
    // A retry that fails again belongs to the episode already told.
    const auto known = m_aguardando.find(path);
    if (known != m_aguardando.end()) {
        known->reason = motivo;
        return;
    }
    m_aguardando.insert(path, Episode{m_clock.now(), motivo});
    if (m_history)
        m_history->falhou(path, error);
    if (m_novas.isEmpty())
        m_firstNewMs = m_clock.monotonicMs();
    // The notice puts its lines together: each is made one line here, as a log shows it.
    m_novas.append(shownInLog(line));
    avisa(false);
}

void PrintFailures::impresso(const QByteArray& path, const SubmittedJob& job)
{
    impresso(path);
    if (m_history)
        m_history->impresso(path, job);
}

void PrintFailures::esquece(const QSet<QByteArray>& present)
{
    for (auto it = m_aguardando.begin(); it != m_aguardando.end();)
        it = present.contains(it.key()) ? std::next(it) : m_aguardando.erase(it);
}

QString PrintFailures::aguardando() const
{
    const qsizetype n = m_aguardando.size();
    if (n == 0)
        return QString();
    return n == 1 ? QStringLiteral(" 1 arquivo aguardando")
                  : QStringLiteral(" %1 arquivos aguardando").arg(n);
}

void PrintFailures::avisa(bool batchOver)
{
    if (m_novas.isEmpty())
        return;
    const qint64 now = m_clock.monotonicMs();
    // A batch that keeps failing (a folder full of files at start, a printer that is off)
    // is told once, when it ends, or once it has gone on for a while.
    if (!batchOver && now - m_firstNewMs < kBurstMs)
        return;
    if (m_noticed && now - m_lastNoticeMs < kBurstMs)
        return;
    const qsizetype n = m_novas.size();
    QStringList lines = m_novas.mid(0, kNamedInNotice);
    if (n > kNamedInNotice)
        lines.append(QStringLiteral("... e mais %1").arg(n - kNamedInNotice));
    m_window.aviso(n == 1 ? QStringLiteral("Arquivo não impresso")
                          : QStringLiteral("%1 arquivos não impressos").arg(n),
                   lines.join(u'\n'));
    m_novas.clear();
    m_noticed = true;
    m_lastNoticeMs = now;
}
