#pragma once

#include "text/Encoding.h"

/// True when the line holds the word "eject" in any case, with no letter right before or after it.
bool isEjectLine(QByteArrayView line, CodePage::Encoding encoding = CodePage::Encoding::Windows1252);

/// When the line of a file with printer codes that starts at @p at (the file's start, or just
/// after a CR or LF) is an "eject" line, moves @p at to the last byte of its line end (of the
/// line, when it ends the file) and gives true.
bool skipEjectLine(QByteArrayView file, qsizetype& at);
