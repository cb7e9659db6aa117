#include "text/Eject.h"

#include <algorithm>
#include <cstring>

namespace {
bool isLetter(QByteArrayView bytes, CodePage::Encoding encoding)
{
    const QString decoded = CodePage::decode(bytes, encoding);
    return !decoded.isEmpty() && decoded.front().isLetter();
}

/// Whether the character that ends just before `at` (or starts at it, forward) is a letter.
bool letterNear(QByteArrayView line, qsizetype at, bool forward, CodePage::Encoding encoding)
{
    if (forward ? at >= line.size() : at <= 0)
        return false;
    if (encoding != CodePage::Encoding::Utf8)
        return isLetter(line.sliced(forward ? at : at - 1, 1), encoding);
    // A UTF-8 character: its lead byte and the continuation bytes (10xxxxxx) after it.
    qsizetype start = forward ? at : at - 1;
    while (!forward && start > 0 && (static_cast<unsigned char>(line[start]) & 0xC0) == 0x80)
        --start;
    qsizetype end = start + 1;
    while (end < line.size() && end - start < 4 && (static_cast<unsigned char>(line[end]) & 0xC0) == 0x80)
        ++end;
    return isLetter(line.sliced(start, end - start), encoding);
}
/// Where the line from @p at ends (its CR or LF), or the file's end. Every line of a file is
/// looked at: the library's byte search goes through it a block at a time, so a file without
/// one of the two line ends is not searched to its end for each line.
qsizetype lineEnd(QByteArrayView file, qsizetype at)
{
    constexpr qsizetype kBlock = 256;
    for (qsizetype from = at; from < file.size(); from += kBlock) {
        const char* const block = file.data() + from;
        const auto length = size_t(std::min(kBlock, file.size() - from));
        const auto* lf = static_cast<const char*>(std::memchr(block, '\n', length));
        const auto* cr = static_cast<const char*>(std::memchr(block, '\r', lf ? size_t(lf - block) : length));
        if (cr || lf)
            return (cr ? cr : lf) - file.data();
    }
    return file.size();
}
} // namespace

bool isEjectLine(QByteArrayView line, CodePage::Encoding encoding)
{
    static constexpr char kWord[] = "eject";
    constexpr qsizetype kLength = sizeof(kWord) - 1;
    // Few lines hold a "j" at all: the byte search below passes over the rest of a report at
    // once, and the word is matched only around each "j" found.
    if (line.size() < kLength)
        return false;
    const char* const begin = line.data();
    const char* const end = begin + line.size();
    for (const char* at = begin + 1; end - at >= kLength - 1;) {
        const auto* lower = static_cast<const char*>(std::memchr(at, 'j', size_t(end - at)));
        const auto* upper =
            static_cast<const char*>(std::memchr(at, 'J', size_t((lower ? lower : end) - at)));
        const char* j = upper ? upper : lower;
        if (!j)
            return false;
        const qsizetype i = j - 1 - begin;
        qsizetype k = 0;
        while (k < kLength && i + k < line.size() && (line[i + k] | 0x20) == kWord[k])
            ++k;
        if (k == kLength && !letterNear(line, i, false, encoding) &&
            !letterNear(line, i + kLength, true, encoding))
            return true;
        at = j + 1;
    }
    return false;
}

bool skipEjectLine(QByteArrayView file, qsizetype& at)
{
    if (at > 0 && file[at - 1] != '\r' && file[at - 1] != '\n')
        return false;
    qsizetype end = lineEnd(file, at);
    if (!isEjectLine(file.sliced(at, end - at)))
        return false;
    // Its line end, CR LF or LF CR taken whole.
    if (end + 1 < file.size() && file[end + 1] != file[end] &&
        (file[end + 1] == '\r' || file[end + 1] == '\n'))
        ++end;
    at = std::min(end, file.size() - 1);
    return true;
}
