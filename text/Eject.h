#pragma once

#include "text/Encoding.h"

/// True when the line holds the word "eject" in any case, with no letter right before or after it.
bool isEjectLine(QByteArrayView line, CodePage::Encoding encoding = CodePage::Encoding::Windows1252);

/// When the line of a file with printer codes that starts at @p at is an "eject" line, where the
/// line after it starts (past its line end); -1 otherwise.
qsizetype ejectLineEnd(QByteArrayView file, qsizetype at);
