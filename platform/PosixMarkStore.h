#pragma once

#include <QByteArray>
#include <QHash>

#include <sys/types.h>

/**
 * Printed marks kept in the program's own state folder, for files that cannot carry one: a file
 * system without extended attributes, or a shared folder where the file belongs to another user.
 * A mark is kept by the file's device and inode, as an attribute on the file would be, so that
 * it follows the file through a rename; the mark itself names the file's size and time, so an
 * inode used again by a new file does not match it.
 */
class PosixMarkStore
{
public:
    /// @p file holds the marks; empty: $XDG_STATE_HOME/velmorix2/marks (~/.local/state/...).
    explicit PosixMarkStore(QByteArray file = QByteArray()) : m_file(std::move(file)) {}

    /// Sets, or with an empty mark removes, the mark of a file; false when it could not be kept.
    bool set(dev_t device, ino_t inode, const QByteArray& mark);
    QByteArray get(dev_t device, ino_t inode);

    /// The most marks kept: the oldest go first beyond it.
    static constexpr int kMostMarks = 20000;

private:
    void load();
    bool save();

    QByteArray m_file;
    bool m_loaded = false;
    QHash<QByteArray, QByteArray> m_marks; ///< by "device:inode"
    QList<QByteArray> m_order;             ///< keys, oldest first
};
