#include "spool/EngineControl.h"

#include "settings/Settings.h"
#include "settings/SettingsStore.h"

#include <QFile>

bool rereadSettings(Settings& settings, SettingsStore& store, QString* error, QStringList* notes)
{
    // Reading a missing file would write one from the values in memory.
    if (!store.isPlainFile(QFile::encodeName(settings.path))) {
        if (error)
            *error = settings.path + QStringLiteral(": não existe");
        return false;
    }
    Settings read = settings;
    if (!le_ini(read, settings.path, store, error, notes))
        return false;
    settings = read;
    return true;
}

QString settingsReadAgain(const QString& path)
{
    return QStringLiteral("Configurações lidas de novo de ") + path;
}
