// Any settings file reads without failing; values written read back the same.
#include "settings/Settings.h"
#include "tests/support/MemoryFiles.h"

#include <QStringDecoder>

#include <algorithm>
#include <cstdlib>

namespace {

/// Valid UTF-8 holding some non-ASCII byte: how a settings file is taken for UTF-8.
bool readsAsUtf8(const QByteArray& bytes)
{
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    [[maybe_unused]] const QString text = utf8.decode(bytes);
    return !utf8.hasError() && std::any_of(bytes.begin(), bytes.end(), [](char c) { return c & 0x80; });
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    MemoryFiles files;
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    files.put("/app/VELMORIX.INI", bytes);

    Settings settings;
    settings.path = QStringLiteral("/app/VELMORIX.INI");
    if (!le_ini(settings, settings.path, files, nullptr))
        std::abort();

    // Whatever was read, writing and reading again gives the same values back, as long as
    // they hold no line end (values are not escaped) and no surrounding blanks.
    bool plain = true;
    for (const QString& v :
         {settings.pattern, settings.printer, settings.backup.text(), settings.raw.text(), settings.port})
        plain = plain && !v.contains(u'\r') && !v.contains(u'\n');
    if (!plain)
        return 0;
    const Settings before = settings;
    if (!grava_ini(settings, settings.path, files, nullptr))
        std::abort();
    // Windows-1252 text whose bytes, once the file is written again without the ones that were
    // not UTF-8, happen to be valid UTF-8 is read back as UTF-8: a known ambiguity of telling the
    // two apart, left out of this check.
    if (!readsAsUtf8(bytes) && readsAsUtf8(files.files.value("/app/VELMORIX.INI")))
        return 0;
    if (!le_ini(settings, settings.path, files, nullptr))
        std::abort();
    if (settings.pattern != before.pattern || settings.printer != before.printer ||
        settings.backup != before.backup || settings.raw != before.raw || settings.port != before.port)
        std::abort();
    // A key is never longer than its line and holds no "=".
    for (const QString& line : QString::fromLatin1(bytes).split(u'\n'))
        if (chave_linha(line).contains(u'='))
            std::abort();
    return 0;
}
