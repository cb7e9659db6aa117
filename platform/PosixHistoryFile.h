#pragma once

#include "spool/History.h"

/**
 * The history in a file of its own. Appends and rewrites hold a lock on the file, so that copies
 * of the program sharing it (one per settings file) neither mix their lines nor lose one while
 * another drops old records; the file keeps nothing between calls, so any thread may call.
 */
class PosixHistoryFile : public HistoryStore
{
public:
    explicit PosixHistoryFile(const QByteArray& path = defaultPath());

    /// $XDG_STATE_HOME/velmorix2/historico.tsv, by default ~/.local/state/velmorix2/historico.tsv.
    static QByteArray defaultPath();
    const QByteArray& path() const { return m_path; }

    bool append(const QByteArray& header, const QByteArray& line, QString* error) override;
    bool read(QByteArray* data, QString* error) override;
    bool rewrite(const std::function<QByteArray(const QByteArray&)>& change, QString* error) override;

private:
    /// The file opened with @p flags and locked, its folder made first; -1, with *error set, on a
    /// failure. The lock is on the file the path names when it is taken, not on one replaced
    /// meanwhile.
    int openLocked(int flags, QString* error);

    QByteArray m_path;
};
