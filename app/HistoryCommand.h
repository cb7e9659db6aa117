#pragma once

#include <QStringList>

/// `velmorix2 --history [DAYS]`: writes the history of the last DAYS days (7 when not given, all
/// for 0) to standard output, oldest first, in the file's own tab-separated lines under its
/// header. 1 when the file cannot be read or DAYS is not a number.
int printHistory(const QStringList& arguments);
