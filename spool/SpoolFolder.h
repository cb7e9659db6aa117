#pragma once

#include <QByteArray>
#include <QList>

class FileServices;

/// The folder part of a path pattern, "/" included; empty when the pattern names no folder.
QByteArray patternFolder(const QByteArray& pattern);

/**
 * Bare names of the plain files matching the last component of the pattern ("*" and "?",
 * letters in any case), in the folder's own order. A name without wildcards is first looked
 * up as it is. Folders, hidden files, links and special files never match.
 */
QList<QByteArray> matchingFiles(FileServices& files, const QByteArray& pattern);
