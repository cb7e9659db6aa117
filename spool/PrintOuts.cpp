#include "spool/PrintOuts.h"

#include "spool/Clock.h"
#include "spool/Disposal.h"
#include "spool/FolderWatch.h"
#include "spool/JobLedger.h"
#include "spool/NameMatch.h"
#include "spool/PrintFailures.h"
#include "spool/WindowServices.h"

#include <QFile>
#include <QMap>

namespace {

QByteArray folderOf(const QByteArray& path)
{
    return path.left(path.lastIndexOf('/') + 1);
}

QByteArray nameOf(const QByteArray& path)
{
    return path.mid(path.lastIndexOf('/') + 1);
}

QString shown(const QByteArray& path)
{
    return QFile::decodeName(path);
}

/// @p name with @p suffix put before its extension: "REL.TXT" and "-2" give "REL-2.TXT".
QByteArray withSuffix(const QByteArray& name, const QByteArray& suffix)
{
    const qsizetype dot = name.lastIndexOf('.');
    return dot > 0 ? name.left(dot) + suffix + name.mid(dot) : name + suffix;
}

bool fail(QString* message, const QString& text)
{
    if (message)
        *message = text;
    return false;
}

} // namespace

QJsonObject PrintOut::toJson() const
{
    return QJsonObject{{QStringLiteral("pasta"), folder},
                       {QStringLiteral("nome"), name},
                       {QStringLiteral("caminho"), path},
                       {QStringLiteral("tamanho"), size},
                       {QStringLiteral("desde"), since.isValid() ? since.toString(Qt::ISODate) : QString()},
                       {QStringLiteral("situacao"), state},
                       {QStringLiteral("motivo"), reason},
                       {QStringLiteral("proxima"), nextTryMs}};
}

PrintOut PrintOut::fromJson(const QJsonObject& object)
{
    PrintOut out;
    out.folder = object.value(QStringLiteral("pasta")).toString();
    out.name = object.value(QStringLiteral("nome")).toString();
    out.path = object.value(QStringLiteral("caminho")).toString();
    out.size = object.value(QStringLiteral("tamanho")).toInteger(-1);
    out.since = QDateTime::fromString(object.value(QStringLiteral("desde")).toString(), Qt::ISODate);
    out.state = object.value(QStringLiteral("situacao")).toString();
    out.reason = object.value(QStringLiteral("motivo")).toString();
    out.nextTryMs = object.value(QStringLiteral("proxima")).toInteger(-1);
    return out;
}

PrintOuts::PrintOuts(FileServices& files, Clock& clock, WindowServices& window, JobLedger& ledger,
                     PrintFailures& failures, FolderWatch& folders)
    : m_files(files), m_clock(clock), m_window(window), m_ledger(ledger), m_failures(failures),
      m_folders(folders)
{
}

QString PrintOuts::actionName(Action action)
{
    switch (action) {
    case Action::Retry:
        return QStringLiteral("retry");
    case Action::Reprint:
        return QStringLiteral("reprint");
    case Action::Remove:
        break;
    }
    return QStringLiteral("remove");
}

bool PrintOuts::actionOf(const QString& name, Action* action)
{
    for (Action each : {Action::Retry, Action::Reprint, Action::Remove}) {
        if (actionName(each) == name) {
            *action = each;
            return true;
        }
    }
    return false;
}

QList<PrintOut> PrintOuts::snapshot()
{
    // By where each file is now; a print-out waiting under a name of its own is listed there.
    QMap<QByteArray, QByteArray> spoolOf;
    QHash<QByteArray, QByteArray> copyOf;
    for (const QByteArray& copy : m_ledger.waitingPaths()) {
        const WaitingPrintOut* printOut = m_ledger.waiting(copy);
        spoolOf.insert(copy, printOut->folder + printOut->name);
        copyOf.insert(printOut->folder + printOut->name, copy);
    }
    const QHash<QByteArray, PrintFailures::Episode>& episodes = m_failures.episodios();
    for (auto it = episodes.cbegin(); it != episodes.cend(); ++it) {
        const bool inPlace = m_files.stamp(it.key()).valid();
        if (inPlace || !copyOf.contains(it.key()))
            spoolOf.insert(it.key(), it.key());
    }
    for (const FolderWatch::Folder& watched : m_folders.folders())
        for (const QByteArray& name : watched.waiting)
            spoolOf.insert(watched.folder + name, watched.folder + name);

    const qint64 now = m_clock.monotonicMs();
    QList<PrintOut> list;
    for (auto it = spoolOf.cbegin(); it != spoolOf.cend(); ++it) {
        const QByteArray& where = it.key();
        const FileStamp stamp = m_files.stamp(where);
        if (!stamp.valid())
            continue; // gone meanwhile
        PrintOut out;
        out.folder = shown(folderOf(it.value()));
        out.name = shown(nameOf(it.value()));
        out.path = shown(where);
        out.size = stamp.size;
        const auto episode = episodes.constFind(it.value());
        if (episode != episodes.cend()) {
            out.since = episode->since;
            out.reason = episode->reason;
        }
        switch (m_ledger.state(where)) {
        case JobLedger::State::Retrying:
            out.state = QStringLiteral("aguardando nova tentativa");
            break;
        case JobLedger::State::Declined:
            out.state = QStringLiteral("separado até mudar");
            break;
        case JobLedger::State::Printed:
            out.state = QStringLiteral("impresso, não guardado");
            break;
        case JobLedger::State::Waiting:
            out.state = m_ledger.pause(where) ? QStringLiteral("aguardando nova tentativa")
                                              : QStringLiteral("aguardando o fim do trabalho");
            break;
        case JobLedger::State::None:
            out.state = QStringLiteral("na fila");
            break;
        }
        if (const RetryPause* pause = m_ledger.pause(where);
            pause && m_ledger.state(where) != JobLedger::State::Declined)
            out.nextTryMs = std::max<qint64>(0, pause->dueMs - now);
        list.append(out);
    }
    return list;
}

bool PrintOuts::act(Action action, const QString& name, QString* message)
{
    const QByteArray path = resolve(name, action == Action::Reprint);
    if (path.isEmpty())
        return fail(message, action == Action::Reprint
                                 ? QStringLiteral("Backup %1 não encontrado nas pastas vigiadas").arg(name)
                                 : QStringLiteral("Arquivo %1 não está na fila").arg(name));
    switch (action) {
    case Action::Retry:
        return retry(path, message);
    case Action::Reprint:
        return reprint(path, message);
    case Action::Remove:
        break;
    }
    return remove(path, message);
}

QByteArray PrintOuts::resolve(const QString& name, bool backup)
{
    if (name.isEmpty())
        return QByteArray();
    const QByteArray bytes = QFile::encodeName(name);
    if (!backup) {
        for (const PrintOut& out : snapshot())
            if (out.path == name || out.folder + out.name == name || out.name == name)
                return QFile::encodeName(out.path);
    }
    for (const FolderWatch::Folder& watched : m_folders.folders()) {
        const QByteArray path = name.startsWith(u'/') ? bytes : watched.folder + bytes;
        if (folderOf(path) == watched.folder && m_files.isPlainFile(path) &&
            Disposal::isBackupName(nameOf(path)) == backup)
            return path;
    }
    return QByteArray();
}

bool PrintOuts::retry(const QByteArray& path, QString* message)
{
    if (!m_ledger.wake(path)) {
        switch (m_ledger.state(path)) {
        case JobLedger::State::Printed:
            return fail(
                message,
                QStringLiteral("Arquivo %1 já foi impresso: não é impresso de novo").arg(shown(path)));
        case JobLedger::State::Waiting:
            return fail(
                message,
                QStringLiteral("Arquivo %1 aguarda o fim do seu trabalho na impressora").arg(shown(path)));
        default:
            return fail(message,
                        QStringLiteral("Arquivo %1 já será impresso na próxima passagem").arg(shown(path)));
        }
    }
    const QString line = QStringLiteral("Arquivo %1: impressão pedida agora").arg(shown(path));
    m_window.log(line);
    if (message)
        *message = line;
    return true;
}

QByteArray PrintOuts::freeSpoolName(const QByteArray& folder, const QList<QByteArray>& patterns,
                                    const QByteArray& name)
{
    // REL.bak was REL.<something>; _REL.BAK was REL; REL.TXT~Fila~17.bak was REL.TXT.
    QByteArray base = name.left(name.size() - 4);
    QByteArray original;
    if (base.startsWith('_') && name.endsWith(".BAK")) {
        base = base.mid(1);
        original = base;
    } else if (const qsizetype tilde = base.indexOf('~'); tilde > 0) {
        original = base.left(tilde);
        base = original.contains('.') ? original.left(original.lastIndexOf('.')) : original;
    }
    for (int n = 0; n < 100; ++n) {
        const QByteArray suffix = n == 0 ? QByteArray() : '-' + QByteArray::number(n);
        QList<QByteArray> candidates;
        if (!original.isEmpty())
            candidates.append(withSuffix(original, suffix));
        for (const QByteArray& pattern : patterns) {
            QByteArray filePart = nameOf(pattern);
            const qsizetype star = filePart.indexOf('*');
            if (star >= 0)
                filePart.replace(star, 1, base + suffix);
            candidates.append(filePart.replace("*", ""));
        }
        for (const QByteArray& candidate : std::as_const(candidates)) {
            if (hasWildcard(candidate) || Disposal::isBackupName(candidate))
                continue;
            bool matches = false;
            for (const QByteArray& pattern : patterns)
                matches = matches || wildcardMatch(nameOf(pattern), candidate);
            if (matches && !m_files.stamp(folder + candidate).valid())
                return candidate;
        }
    }
    return QByteArray();
}

bool PrintOuts::reprint(const QByteArray& backup, QString* message)
{
    const QByteArray folder = folderOf(backup);
    QList<QByteArray> patterns;
    for (const FolderWatch::Folder& watched : m_folders.folders())
        if (watched.folder == folder)
            patterns += watched.patterns;
    const QByteArray name = freeSpoolName(folder, patterns, nameOf(backup));
    if (name.isEmpty())
        return fail(
            message,
            QStringLiteral("Backup %1: nenhum nome livre do padrão para reimprimir").arg(shown(backup)));
    // The rename never replaces a file: a name taken meanwhile makes it fail, and nothing is lost.
    QString error;
    if (!m_files.rename(backup, folder + name, &error))
        return fail(message, QStringLiteral("Backup %1 não devolvido à fila (%2)").arg(shown(backup), error));
    const QString line = QStringLiteral("Backup %1 devolvido à fila como %2 para reimpressão")
                             .arg(shown(backup), shown(folder + name));
    m_window.log(line);
    if (message)
        *message = line;
    return true;
}

bool PrintOuts::remove(const QByteArray& path, QString* message)
{
    const WaitingPrintOut* waiting = m_ledger.waiting(path);
    if (waiting && waiting->lastJob().id != 0)
        return fail(
            message,
            QStringLiteral("Arquivo %1 aguarda o fim do seu trabalho na impressora").arg(shown(path)));
    const QByteArray spoolPath = waiting ? waiting->folder + waiting->name : path;
    // Claimed, so no other copy of the program prints it while it goes.
    const std::unique_ptr<FileClaim> claim = m_files.claim(path);
    if (!claim)
        return fail(message, QStringLiteral("Arquivo %1 está em uso por outro programa").arg(shown(path)));
    const QByteArray aside = setAsideFolder(folderOf(path));
    QString error;
    if (!m_files.makeFolder(aside.chopped(1), &error))
        return fail(message, QStringLiteral("Arquivo %1 não removido da fila (%2)").arg(shown(path), error));
    const QByteArray name = nameOf(spoolPath);
    for (int n = 0; n < 1000; ++n) {
        const QByteArray target = aside + (n == 0 ? name : withSuffix(name, '-' + QByteArray::number(n)));
        if (m_files.stamp(target).valid())
            continue;
        if (!m_files.rename(path, target, &error))
            break;
        m_ledger.remove(path);
        m_failures.retirado(spoolPath);
        const QString line = QStringLiteral("Arquivo %1 removido da fila: guardado em %2")
                                 .arg(shown(spoolPath), shown(target));
        m_window.log(line);
        if (message)
            *message = line;
        return true;
    }
    return fail(message, QStringLiteral("Arquivo %1 não removido da fila (%2)").arg(shown(path), error));
}
