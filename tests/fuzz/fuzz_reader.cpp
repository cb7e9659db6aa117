// The spool reader keeps every byte of every line, in order, and measures within 16 bits.
#include "spool/Asker.h"
#include "spool/Reader.h"
#include "spool/SpoolText.h"
#include "spool/Timer.h"
#include "spool/WindowServices.h"
#include "tests/support/MemoryFiles.h"

#include <cstdlib>

namespace {
class NoAsker : public Asker
{
public:
    Answer ask(const QString&, Options, const QString&) override { std::abort(); }
    void inform(const QString&, const QString&) override {}
};
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    MemoryFiles files;
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    files.put("/spool/REL.TXT", bytes);
    NoAsker asker;
    const LeituraConteudo r = le_conteudo("/spool/", "REL.TXT", files, asker);
    if (!r.ok || r.widestColumns < 0)
        std::abort();
    if (bytes.isEmpty() != r.text.isEmpty())
        std::abort();
    if (!r.text.isEmpty() && !r.text.startsWith("\r\n"))
        std::abort();

    // The lines, joined again, are the input less its line ends (printer commands keep theirs; a
    // lone CR stays in its line, which it overprints). The widest line is the widest of the
    // parts a line's CRs overprint.
    const bool commands = bytes.contains('\x1b');
    QByteArray joined;
    qsizetype longest = 0;
    SpoolText::forEachLine(r.text, [&](QByteArrayView line) {
        if (!commands && line.contains('\n'))
            std::abort();
        joined.append(line);
        for (const QByteArray& part : line.toByteArray().split('\r'))
            longest = std::max(longest, SpoolText::trimmedLength(part));
    });
    joined.replace('\r', QByteArray());
    QByteArray stripped = bytes;
    stripped.replace('\r', QByteArray()).replace('\n', QByteArray());
    if (!commands && joined != stripped)
        std::abort();
    if (!commands && r.widestColumns != std::min<qsizetype>(longest, 32767))
        std::abort();
    return 0;
}
