#include "spool/SpoolFolder.h"

#include "spool/FileServices.h"
#include "spool/NameMatch.h"

QByteArray patternFolder(const QByteArray& pattern)
{
    const qsizetype slash = pattern.lastIndexOf('/');
    return slash < 0 ? QByteArray() : pattern.left(slash + 1);
}

QList<QByteArray> matchingFiles(FileServices& files, const QByteArray& pattern)
{
    const QByteArray folder = patternFolder(pattern);
    const QByteArrayView last = QByteArrayView(pattern).sliced(folder.size());
    if (last.isEmpty())
        return {};
    // A full name is an existence test, but letters still match in any case.
    if (!hasWildcard(last) && files.isPlainFile(pattern))
        return {last.toByteArray()};

    const Wildcard wildcard(last);
    QList<QByteArray> names = files.listFiles(folder.isEmpty() ? QByteArray(".") : folder);
    names.removeIf([&wildcard](const QByteArray& name) { return !wildcard.matches(name); });
    return names;
}
