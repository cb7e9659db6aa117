#include "settings/Settings.h"

#include "settings/SettingsStore.h"
#include "text/CodePage.h"
#include "text/TextLines.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <unistd.h>

#include <algorithm>

namespace {

struct Key
{
    const char* name;
    QString Settings::*value;
};

// The file's lines, in the order they are written and compared.
constexpr Key kKeys[] = {
    {"LOCAL", &Settings::sLocal},   {"IMPRESSORA", &Settings::sImpressora},
    {"BACKUP", &Settings::sBackup}, {"PARALELA", &Settings::sParalela},
    {"PORTA", &Settings::sPorta},
};

// Keys the program reads but never writes: the user sets them by hand.
constexpr Key kOptionalKeys[] = {
    {"CODIFICACAO", &Settings::sCodificacao},
    {"LINHAS", &Settings::sLinhas},
};

bool ownedKey(const QString& key)
{
    for (const Key& k : kKeys) {
        if (key == QLatin1String(k.name))
            return true;
    }
    return false;
}

// Only the space character is a blank: tabs stay part of keys and values.
QString trimBlanks(QStringView text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text[begin] == u' ')
        ++begin;
    while (end > begin && text[end - 1] == u' ')
        --end;
    return text.mid(begin, end - begin).toString();
}

/// What a LINHAS value is taken for; *note, when given, tells a value not used as written.
int readLines(const QString& value, QString* note)
{
    if (value.isEmpty())
        return 0;
    bool ok = false;
    const qlonglong asked = value.toLongLong(&ok);
    // Digits beyond what a number holds still ask for a great many lines.
    const bool huge = !ok && std::all_of(value.begin(), value.end(), [](QChar c) { return c.isDigit(); });
    if (!ok && !huge) {
        if (note)
            *note = QStringLiteral("LINHAS = %1 não é um número de linhas: ignorado").arg(value);
        return 0;
    }
    if (ok && asked == 0)
        return 0;
    if (ok && asked < 0) {
        if (note)
            *note = QStringLiteral("LINHAS = %1 é negativo: ignorado").arg(value);
        return 0;
    }
    if (huge || asked > kMostLines) {
        if (note)
            *note = QStringLiteral("LINHAS = %1 fora do intervalo de %2 a %3: usado %3")
                        .arg(value)
                        .arg(kFewestLines)
                        .arg(kMostLines);
        return kMostLines;
    }
    return int(std::max<qlonglong>(asked, kFewestLines));
}

} // namespace

QString chave_linha(const QString& line)
{
    const qsizetype p = line.indexOf(u'=');
    return p < 0 ? QString() : trimBlanks(QStringView(line).left(p));
}

QString valor_linha(const QString& line)
{
    const qsizetype p = line.indexOf(u'=');
    return p < 0 ? QString() : trimBlanks(QStringView(line).mid(p + 1));
}

bool grava_ini(const Settings& settings, const QString& path, SettingsStore& files, QString* error)
{
    QByteArray data;
    for (const Key& key : kKeys) {
        data += key.name;
        data += " = ";
        data += CodePage::encode(settings.*key.value);
        data += "\r\n";
    }
    // Lines the window does not own survive a confirmation.
    QByteArray old;
    if (files.isPlainFile(QFile::encodeName(path)) &&
        files.readFile(QFile::encodeName(path), &old, nullptr)) {
        TextLines lines([&data](QByteArrayView bytes) {
            if (!ownedKey(chave_linha(CodePage::decode(bytes)))) {
                data += bytes;
                data += "\r\n";
            }
        });
        lines.feed(old);
        lines.finish();
    }
    return files.writeFile(QFile::encodeName(path), data, error);
}

bool le_ini(Settings& settings, const QString& path, SettingsStore& files, QString* error, QStringList* notes)
{
    if (path.isEmpty() || !files.isPlainFile(QFile::encodeName(path))) {
        if (!grava_ini(settings, settings.sCaminhoIni, files, error))
            return false;
    }
    QByteArray data;
    if (!files.readFile(QFile::encodeName(path), &data, error))
        return false;

    TextLines lines([&settings](QByteArrayView bytes) {
        const QString line = CodePage::decode(bytes);
        const QString key = chave_linha(line);
        for (const Key& k : kKeys) {
            if (key == QLatin1String(k.name))
                settings.*k.value = valor_linha(line);
        }
        for (const Key& k : kOptionalKeys) {
            if (key == QLatin1String(k.name))
                settings.*k.value = valor_linha(line);
        }
    });
    lines.feed(data);
    lines.finish();
    if (notes) {
        const QString note = linesPerPageNote(settings.sLinhas);
        if (!note.isEmpty())
            notes->append(note);
    }
    return true;
}

int linesPerPage(const QString& value)
{
    return readLines(value, nullptr);
}

QString linesPerPageNote(const QString& value)
{
    QString note;
    readLines(value, &note);
    return note;
}

QString caminho_ini(const QString& applicationFolder)
{
    const QString beside = applicationFolder + QStringLiteral("/VELMORIX.INI");
    if (QFileInfo(beside).isFile() || ::access(QFile::encodeName(applicationFolder).constData(), W_OK) == 0)
        return beside;
    QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (config.isEmpty())
        config = QDir::homePath() + QStringLiteral("/.config");
    const QString folder = config + QStringLiteral("/velmorix2");
    QDir().mkpath(folder);
    return folder + QStringLiteral("/VELMORIX.INI");
}

bool marcado(const QString& value)
{
    return value == QLatin1String("1");
}

QString valor_marcado(bool checked)
{
    return checked ? QStringLiteral("1") : QStringLiteral("0");
}

std::optional<bool> estado_marcado(const QString& value)
{
    if (value.isEmpty() || value == QLatin1String("0"))
        return false;
    if (marcado(value))
        return true;
    return std::nullopt;
}
