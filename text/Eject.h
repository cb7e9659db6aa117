#pragma once

#include "text/Encoding.h"

/// True when the line holds the word "eject" in any case, with no letter right before or after it.
bool isEjectLine(QByteArrayView line, CodePage::Encoding encoding = CodePage::Encoding::Windows1252);
