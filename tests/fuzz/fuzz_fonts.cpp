// Font files: any bytes given to the Type 1 and TrueType readers are read or refused safely.
#include "render/FontFile.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
    for (const std::optional<FontFile>& font :
         {FontFile::read(bytes), FontFile::readType1(bytes), FontFile::readTrueType(bytes)}) {
        if (!font)
            continue;
        // What a reader gives is what the PDF writer relies on.
        if (font->name.isEmpty() || font->program.isEmpty() || font->length1 <= 0 ||
            font->length1 + font->length2 + font->length3 != font->program.size())
            std::abort();
    }
    return 0;
}
