#include "spool/SpoolFolder.h"

#include "spool/NameMatch.h"

#include <QFile>

#include <algorithm>
#include <vector>

QList<QByteArray> splitPatterns(const QByteArray& value)
{
    QList<QByteArray> patterns;
    for (const QByteArray& piece : value.split(';')) {
        const QByteArray pattern = piece.trimmed();
        if (!pattern.isEmpty())
            patterns.append(pattern);
    }
    return patterns;
}

QByteArray patternFolder(const QByteArray& pattern)
{
    const qsizetype slash = pattern.lastIndexOf('/');
    return slash < 0 ? QByteArray() : pattern.left(slash + 1);
}

QString patternProblem(const QByteArray& pattern)
{
    if (pattern.endsWith('/'))
        return QStringLiteral("Padrão ") + QFile::decodeName(pattern) +
               QStringLiteral(" sem nome de arquivo");
    // A pattern copied from the DOS or Windows side ("C:\VIDEO\*.TXT") would be a name in the
    // working folder here, and match nothing.
    const bool driveLetter = pattern.size() >= 2 && pattern[1] == ':' && QChar::isLetter(uchar(pattern[0]));
    if (driveLetter || pattern.contains('\\'))
        return QStringLiteral("Padrão ") + QFile::decodeName(pattern) +
               QStringLiteral(" é um caminho do Windows; use um caminho como /home/ana/relatorios/*.TXT");
    return QString();
}

QString shownFolder(const QByteArray& folder)
{
    if (folder.isEmpty())
        return QStringLiteral(".");
    return QFile::decodeName(folder.size() > 1 && folder.endsWith('/') ? folder.chopped(1) : folder);
}

QString folderProblem(const QByteArray& folder, ListError error, const QByteArray& pattern)
{
    switch (error) {
    case ListError::None:
        break;
    case ListError::Missing:
        // The shell expands "~"; a value typed into the settings never went through one.
        if (folder.startsWith('~'))
            return QStringLiteral("Padrão ") + QFile::decodeName(pattern) +
                   QStringLiteral(": o ~ não é expandido; use o caminho completo");
        return QStringLiteral("Pasta ") + shownFolder(folder) + QStringLiteral(" não existe");
    case ListError::Unreadable:
        return QStringLiteral("Pasta ") + shownFolder(folder) + QStringLiteral(" não pode ser lida");
    case ListError::Link:
        return QStringLiteral("Pasta ") + shownFolder(folder) +
               QStringLiteral(" é um link simbólico, que não é seguido; use o caminho da pasta real");
    }
    return QString();
}

QList<QByteArray> matchingFiles(FileServices& files, const QByteArray& folder,
                                const QList<QByteArray>& patterns, ListError* error)
{
    if (error)
        *error = ListError::None;
    QList<QByteArray> names;
    std::vector<Wildcard> wildcards;
    for (const QByteArray& pattern : patterns) {
        const QByteArrayView last = QByteArrayView(pattern).sliced(folder.size());
        if (last.isEmpty())
            continue;
        // A full name is an existence test, but letters still match in any case.
        if (!hasWildcard(last) && files.isPlainFile(pattern))
            names.append(last.toByteArray());
        else
            wildcards.emplace_back(last);
    }
    if (!wildcards.empty()) {
        QList<QByteArray> listed = files.listFiles(folder.isEmpty() ? QByteArray(".") : folder, error);
        listed.removeIf([&wildcards](const QByteArray& name) {
            return std::none_of(wildcards.begin(), wildcards.end(),
                                [&name](const Wildcard& wildcard) { return wildcard.matches(name); });
        });
        names.append(listed);
    }
    std::sort(names.begin(), names.end(), nameLess);
    names.erase(std::unique(names.begin(), names.end()), names.end());
    return names;
}

QList<QByteArray> matchingFiles(FileServices& files, const QByteArray& pattern)
{
    return matchingFiles(files, patternFolder(pattern), {pattern});
}
