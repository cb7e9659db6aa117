#include "platform/PosixMarkStore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace {

QByteArray keyOf(dev_t device, ino_t inode)
{
    return QByteArray::number(quint64(device)) + ':' + QByteArray::number(quint64(inode));
}

QByteArray defaultFile()
{
    QByteArray base = qgetenv("XDG_STATE_HOME");
    if (base.isEmpty())
        base = qgetenv("HOME") + "/.local/state";
    return base + "/velmorix2/marks";
}

} // namespace

void PosixMarkStore::load()
{
    if (m_loaded)
        return;
    m_loaded = true;
    if (m_file.isEmpty())
        m_file = defaultFile();
    QFile in(QFile::decodeName(m_file));
    if (!in.open(QIODevice::ReadOnly))
        return;
    // One mark a line: "device:inode hex-of-the-mark", oldest first.
    for (const QByteArray& line : in.readAll().split('\n')) {
        const qsizetype space = line.indexOf(' ');
        if (space <= 0)
            continue;
        const QByteArray key = line.left(space);
        if (!m_marks.contains(key))
            m_order.append(key);
        m_marks.insert(key, QByteArray::fromHex(line.mid(space + 1)));
    }
}

bool PosixMarkStore::save()
{
    const QString file = QFile::decodeName(m_file);
    QDir().mkpath(QFileInfo(file).path());
    QSaveFile out(file);
    if (!out.open(QIODevice::WriteOnly))
        return false;
    QByteArray text;
    for (const QByteArray& key : std::as_const(m_order))
        text += key + ' ' + m_marks.value(key).toHex() + '\n';
    out.write(text);
    return out.commit();
}

bool PosixMarkStore::set(dev_t device, ino_t inode, const QByteArray& mark)
{
    load();
    const QByteArray key = keyOf(device, inode);
    m_order.removeOne(key);
    if (mark.isEmpty()) {
        if (!m_marks.remove(key))
            return true;
    } else {
        m_marks.insert(key, mark);
        m_order.append(key);
        while (m_order.size() > kMostMarks)
            m_marks.remove(m_order.takeFirst());
    }
    return save();
}

QByteArray PosixMarkStore::get(dev_t device, ino_t inode)
{
    load();
    return m_marks.value(keyOf(device, inode));
}
