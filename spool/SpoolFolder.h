#pragma once

#include "spool/FileServices.h"

#include <QByteArray>
#include <QList>
#include <QString>

/// The patterns of a watched value: its pieces between ";", trimmed of blanks, empty ones left out.
QList<QByteArray> splitPatterns(const QByteArray& value);

/// The folder part of a path pattern, "/" included; empty when the pattern names no folder.
QByteArray patternFolder(const QByteArray& pattern);

/// Why the pattern can never match, as a log line; empty when it may.
QString patternProblem(const QByteArray& pattern);

/// Why the folder of these patterns cannot be read, as a log line; empty for ListError::None.
QString folderProblem(const QByteArray& folder, ListError error, const QByteArray& pattern);

/// The folder as the log names it: without its closing "/", "." for the current one.
QString shownFolder(const QByteArray& folder);

/**
 * Bare names of the plain files in the folder that match the last component of any of the
 * patterns ("*" and "?", letters in any case), in name order, each once. The patterns all have
 * this folder part. A name without wildcards is first looked up as it is, so the folder is read
 * only when some pattern needs it. Folders, hidden files, links and special files never match.
 */
QList<QByteArray> matchingFiles(FileServices& files, const QByteArray& folder,
                                const QList<QByteArray>& patterns, ListError* error = nullptr);
/// The matching files of one pattern.
QList<QByteArray> matchingFiles(FileServices& files, const QByteArray& pattern);
