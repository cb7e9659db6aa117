#pragma once

#include "spool/FileServices.h"

#include <QSet>

class Clock;
class FolderChanges;
class WindowServices;

/**
 * The folders of the watched patterns: each is read when it may have changed, and at least
 * once a minute; a pattern that can never match, or a folder that cannot be read, is told once.
 */
class FolderWatch
{
public:
    FolderWatch(FileServices& files, Clock& clock, WindowServices& window);

    /// A folder of the watched patterns and what is known of it.
    struct Folder
    {
        QByteArray folder;          ///< "/" included; empty for bare names
        QList<QByteArray> patterns; ///< the whole patterns in this folder, in the order given
        /// Names of the last reading that are still there and not yet put away.
        QList<QByteArray> waiting;
        QSet<QByteArray> present; ///< paths the last reading matched
        qint64 lastReadMs = 0;
        bool everRead = false;
        bool adopted = false; ///< the print-outs an earlier run left waiting here were taken up
        QString problem;      ///< why the folder cannot be read, as last told; empty when it can
    };

    /// The names of one batch of a folder, and whether the folder was read for it.
    struct Batch
    {
        QList<QByteArray> names;
        bool read = false;
        bool firstGoodRead = false; ///< read without a problem for the first time
    };

    /// Each folder is read at least this often, for file systems whose changes go untold.
    static constexpr qint64 kFullReadMs = 60 * 1000;

    /// Where the watch learns that a folder may have changed; without one, every folder is read
    /// for every batch.
    void setFolderChanges(FolderChanges* changes) { m_folderChanges = changes; }
    /// Splits the watched value into its folders when it changed, telling the patterns that
    /// can never match.
    void vigia_padroes(const QByteArray& value);
    /// The watched folders, in the order the patterns give them.
    QList<Folder>& folders() { return m_folders; }
    /// The names of a batch, smallest first, backups left out: the folder read anew, or the
    /// names still waiting when nothing in the folder can have changed.
    Batch proximo_lote(Folder& watched, bool mustRead);
    /// The paths the last readings of every folder matched.
    QSet<QByteArray> present() const;

private:
    /// Tells once that a folder cannot be read, and once that it can again.
    void informa_problema(Folder& watched, ListError error);

    FileServices& m_files;
    Clock& m_clock;
    WindowServices& m_window;
    FolderChanges* m_folderChanges = nullptr;
    QList<Folder> m_folders;
    QByteArray m_value;
    bool m_split = false;
    /// Patterns told as never matching, not told again while they stay.
    QSet<QByteArray> m_badPatterns;
};
