// The printer-command interpreter prints no control byte, never stalls or reads past the end, and
// prints plain text as it is; the code pages decode every byte.
#include "text/Eject.h"
#include "text/Encoding.h"
#include "text/EscP.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const PrintedDocument doc = EscP::interpret(bytes);
    QByteArray printed;
    const bool controlsPrint = bytes.contains("\x1bI");
    bool controls = false;
    for (const char c : bytes)
        controls |= (static_cast<unsigned char>(c) < 0x20 && c != '\r' && c != '\n') || c == 0x7F;
    for (const PrintedPage& page : doc.pages) {
        if (page.length <= 0)
            std::abort();
        // A reverse feed may move the paper back, never above the top of the form.
        qint64 position = 0;
        for (const PrintedLine& line : page.lines) {
            position += line.advance;
            if (position < 0)
                std::abort();
            for (const StyledRun& run : line.runs) {
                if (run.text.isEmpty())
                    std::abort();
                for (const char c : run.text) {
                    // (ESC I 1 makes the control codes that are no command print as characters.)
                    if ((static_cast<unsigned char>(c) < 0x20 && !controlsPrint) || c == 0x7F)
                        std::abort();
                }
            }
            printed += line.text();
        }
    }
    QByteArray stripped = bytes;
    stripped.replace('\r', QByteArray()).replace('\n', QByteArray());
    // (An "eject" line breaks the page instead of printing.)
    if (!controls && !bytes.toUpper().contains("EJECT") && printed != stripped)
        std::abort();

    using CodePage::Encoding;
    for (const Encoding e : {Encoding::Windows1252, Encoding::Cp850, Encoding::Cp437, Encoding::Cp860}) {
        if (CodePage::decode(bytes, e).size() != bytes.size())
            std::abort();
        isEjectLine(bytes, e);
    }
    CodePage::decode(bytes, Encoding::Utf8);
    isEjectLine(bytes, Encoding::Utf8);
    return 0;
}
