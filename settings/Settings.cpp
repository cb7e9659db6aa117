#include "settings/Settings.h"

#include "settings/SettingsStore.h"
#include "text/CodePage.h"
#include "text/TextLines.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>

#include <unistd.h>

#include <algorithm>

namespace {

struct Key
{
    const char* name;
    QString (*get)(const Settings&);
    void (*set)(Settings&, const QString&);
};

// The file's lines, in the order they are written and compared.
constexpr Key kKeys[] = {
    {"LOCAL", [](const Settings& s) { return s.pattern; },
     [](Settings& s, const QString& v) { s.pattern = v; }},
    {"IMPRESSORA", [](const Settings& s) { return s.printer; },
     [](Settings& s, const QString& v) { s.printer = v; }},
    {"BACKUP", [](const Settings& s) { return s.backup.text(); },
     [](Settings& s, const QString& v) { s.backup = OnOff(v); }},
    {"PARALELA", [](const Settings& s) { return s.raw.text(); },
     [](Settings& s, const QString& v) { s.raw = OnOff(v); }},
    {"PORTA", [](const Settings& s) { return s.port; }, [](Settings& s, const QString& v) { s.port = v; }},
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

/// True for a file a Linux editor saved in UTF-8: valid UTF-8 holding a character beyond ASCII.
/// Windows-1252 text with accents is almost never valid UTF-8, so the two are told apart.
bool savedAsUtf8(const QByteArray& data)
{
    if (std::all_of(data.begin(), data.end(), [](char c) { return uchar(c) < 0x80; }))
        return false;
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    // The decoder works when its result becomes a string.
    [[maybe_unused]] const QString text = utf8.decode(data);
    return !utf8.hasError();
}

/// Reads and writes the text of a settings file in the encoding it was saved in.
struct FileText
{
    bool utf8 = false;
    QString decode(QByteArrayView bytes) const
    {
        return utf8 ? QString::fromUtf8(bytes) : CodePage::decode(bytes);
    }
    QByteArray encode(const QString& text) const { return utf8 ? text.toUtf8() : CodePage::encode(text); }
};

/// The settings file with the values the window owns, then the other lines of @p old (when
/// given), in @p text's encoding; kept lines stay byte for byte unless the encoding changes.
QByteArray settingsFile(const Settings& settings, const QByteArray* old, const FileText& oldText,
                        const FileText& text)
{
    QByteArray data;
    for (const Key& key : kKeys) {
        data += key.name;
        data += " = ";
        data += text.encode(key.get(settings));
        data += "\r\n";
    }
    if (old) {
        TextLines lines([&](QByteArrayView bytes) {
            if (ownedKey(chave_linha(CodePage::decode(bytes))))
                return;
            if (text.utf8 == oldText.utf8)
                data += bytes;
            else
                data += text.encode(oldText.decode(bytes));
            data += "\r\n";
        });
        lines.feed(*old);
        lines.finish();
    }
    return data;
}

/// PAPEL and ORIENTACAO as given, the queue's choice for a value that names none (logged).
void readPaper(Settings& settings, const std::optional<QString>& paper,
               const std::optional<QString>& orientation, QStringList* notes)
{
    if (paper) {
        const std::optional<PaperSize> size = paperSizeOf(*paper);
        settings.paper = size.value_or(PaperSize::QueueDefault);
        if (!size && notes)
            notes->append(QStringLiteral("PAPEL = %1 não é A4, CARTA, OFICIO, 8.5X11 nem 8.5X12: usado o "
                                         "papel da impressora")
                              .arg(*paper));
    }
    if (orientation) {
        const std::optional<PaperOrientation> turn = paperOrientationOf(*orientation);
        settings.orientation = turn.value_or(PaperOrientation::Automatic);
        if (!turn && notes)
            notes->append(
                QStringLiteral("ORIENTACAO = %1 não é AUTOMATICA, RETRATO nem PAISAGEM: usada AUTOMATICA")
                    .arg(*orientation));
    }
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
    // Lines the window does not own survive a confirmation, and the file keeps its encoding.
    QByteArray old;
    const bool hasOld =
        files.isPlainFile(QFile::encodeName(path)) && files.readFile(QFile::encodeName(path), &old, nullptr);
    const FileText oldText{savedAsUtf8(old)};
    QByteArray data = settingsFile(settings, hasOld ? &old : nullptr, oldText, oldText);
    // Windows-1252 bytes that happen to be valid UTF-8 (once the bytes that were not are gone)
    // would be read back as UTF-8, other text than was written: such a file is written in UTF-8.
    if (!oldText.utf8 && savedAsUtf8(data))
        data = settingsFile(settings, hasOld ? &old : nullptr, oldText, FileText{true});
    return files.writeFile(QFile::encodeName(path), data, error);
}

bool le_ini(Settings& settings, const QString& path, SettingsStore& files, QString* error, QStringList* notes)
{
    if (path.isEmpty() || !files.isPlainFile(QFile::encodeName(path))) {
        if (!grava_ini(settings, settings.path, files, error))
            return false;
    }
    QByteArray data;
    if (!files.readFile(QFile::encodeName(path), &data, error))
        return false;

    // LINHAS is told of once, as the last one given is what is used.
    std::optional<QString> linesGiven, pinsGiven, paperGiven, orientationGiven, daysGiven;
    const FileText text{savedAsUtf8(data)};
    TextLines lines([&](QByteArrayView bytes) {
        const QString line = text.decode(bytes);
        const QString key = chave_linha(line);
        for (const Key& k : kKeys) {
            if (key == QLatin1String(k.name))
                k.set(settings, valor_linha(line));
        }
        // Keys the program reads but never writes: the user sets them by hand.
        if (key == QLatin1String("CODIFICACAO"))
            settings.encoding = encodingOf(valor_linha(line));
        else if (key == QLatin1String("LINHAS"))
            linesGiven = valor_linha(line);
        else if (key == QLatin1String("AGULHAS"))
            pinsGiven = valor_linha(line);
        else if (key == QLatin1String("COPIA_PDF"))
            settings.pdfCopyFolder = valor_linha(line);
        else if (key == QLatin1String("PAPEL"))
            paperGiven = valor_linha(line);
        else if (key == QLatin1String("ORIENTACAO"))
            orientationGiven = valor_linha(line);
        else if (key == QLatin1String("HISTORICO_DIAS"))
            daysGiven = valor_linha(line);
    });
    lines.feed(data);
    lines.finish();
    if (linesGiven) {
        QString note;
        settings.linesPerPage = readLines(*linesGiven, &note);
        if (notes && !note.isEmpty())
            notes->append(note);
    }
    if (pinsGiven) {
        settings.pins = pinsOf(*pinsGiven);
        if (notes && QString::number(settings.pins) != *pinsGiven)
            notes->append(QStringLiteral("AGULHAS = %1 não é 9 nem 24: usado 9").arg(*pinsGiven));
    }
    readPaper(settings, paperGiven, orientationGiven, notes);
    if (daysGiven) {
        settings.historyDays = historyDaysOf(*daysGiven);
        bool whole = false;
        if (notes && (daysGiven->trimmed().toInt(&whole) < 1 || !whole))
            notes->append(QStringLiteral("HISTORICO_DIAS = %1 não é um número de dias: usado %2")
                              .arg(*daysGiven)
                              .arg(kHistoryDays));
    }
    return true;
}

int historyDaysOf(const QString& value)
{
    bool ok = false;
    const int days = value.toInt(&ok);
    return ok && days >= 1 ? days : kHistoryDays;
}

int pinsOf(const QString& value)
{
    return value == QLatin1String("24") ? 24 : 9;
}

int linesPerPageOf(const QString& value)
{
    return readLines(value, nullptr);
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

CodePage::Encoding encodingOf(const QString& value)
{
    return CodePage::encodingByName(value).value_or(CodePage::Encoding::Windows1252);
}

OnOff OnOff::checked(bool on)
{
    return OnOff(on ? QStringLiteral("1") : QStringLiteral("0"));
}

bool OnOff::isOn() const
{
    return m_written == QLatin1String("1");
}

std::optional<bool> OnOff::shown() const
{
    if (m_written.isEmpty() || m_written == QLatin1String("0"))
        return false;
    if (isOn())
        return true;
    return std::nullopt;
}
