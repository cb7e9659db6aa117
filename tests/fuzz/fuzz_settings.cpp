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
    settings.sCaminhoIni = QStringLiteral("/app/VELMORIX.INI");
    if (!le_ini(settings, settings.sCaminhoIni, files, nullptr))
        std::abort();

    // Whatever was read, writing and reading again gives the same values back, as long as
    // they hold no line end (values are not escaped) and no surrounding blanks.
    bool plain = true;
    for (const QString* v :
         {&settings.sLocal, &settings.sImpressora, &settings.sBackup, &settings.sParalela, &settings.sPorta})
        plain = plain && !v->contains(u'\r') && !v->contains(u'\n');
    if (!plain)
        return 0;
    const Settings before = settings;
    if (!grava_ini(settings, settings.sCaminhoIni, files, nullptr) ||
        !le_ini(settings, settings.sCaminhoIni, files, nullptr))
        std::abort();
    if (settings.sLocal != before.sLocal || settings.sImpressora != before.sImpressora ||
        settings.sBackup != before.sBackup || settings.sParalela != before.sParalela ||
        settings.sPorta != before.sPorta)
        std::abort();
    // A key is never longer than its line and holds no "=".
    for (const QString& line : QString::fromLatin1(bytes).split(u'\n'))
        if (chave_linha(line).contains(u'='))
            std::abort();
    return 0;
}
