#include "spool/StoppedWatch.h"

#include "spool/Disposal.h"
#include "spool/SpoolFolder.h"
#include "spool/WindowServices.h"

#include <QFile>

StoppedWatch::StoppedWatch(FileServices& files, WindowServices& window) : m_files(files), m_window(window) {}

void StoppedWatch::look(const QString& pattern)
{
    QSet<QByteArray> found;
    for (const QByteArray& one : splitPatterns(QFile::encodeName(pattern))) {
        if (!patternProblem(one).isEmpty())
            continue;
        const QByteArray folder = patternFolder(one);
        for (const QByteArray& name : matchingFiles(m_files, one)) {
            if (!Disposal::isBackupName(name))
                found.insert(folder + name);
        }
    }
    const qsizetype before = std::exchange(m_waiting, found.size());
    if (before > 0 || m_waiting == 0)
        return;
    m_window.aviso(QStringLiteral("Velmorix parado"),
                   (m_waiting == 1 ? QStringLiteral("1 arquivo aguardando")
                                   : QStringLiteral("%1 arquivos aguardando").arg(m_waiting)) +
                       QStringLiteral(": nada é impresso até as configurações serem confirmadas"));
}
