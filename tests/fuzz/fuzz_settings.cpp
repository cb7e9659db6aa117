// Any settings file reads without failing; values written read back the same.
#include "settings/Settings.h"
#include "tests/support/MemoryFiles.h"

#include <cstdlib>

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
