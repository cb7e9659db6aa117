#pragma once

#include "settings/Paper.h"
#include "text/Encoding.h"

#include <QString>
#include <QStringList>

#include <optional>

class SettingsStore;

/// A BACKUP or PARALELA value. It is on only when written exactly "1"; every other text is kept
/// as written, so a value the window cannot show is written back unchanged.
class OnOff
{
public:
    OnOff() = default;
    explicit OnOff(const QString& written) : m_written(written) {}
    /// The value a check box stands for: "1" checked, "0" not.
    static OnOff checked(bool on);

    /// True only for exactly "1": every test of BACKUP and PARALELA is this one.
    bool isOn() const;
    /// The check state the value shows: "1" checked, "0" or empty not; nothing for any other value.
    std::optional<bool> shown() const;
    const QString& text() const { return m_written; }
    bool isEmpty() const { return m_written.isEmpty(); }

    friend bool operator==(const OnOff& a, const OnOff& b) { return a.m_written == b.m_written; }
    friend bool operator!=(const OnOff& a, const OnOff& b) { return !(a == b); }

private:
    QString m_written;
};

/// The days the history of print-outs keeps when HISTORICO_DIAS does not say.
constexpr int kHistoryDays = 90;

/// The settings values and the path of the settings file; all empty until set.
struct Settings
{
    QString pattern; ///< LOCAL: the watched path pattern
    QString printer; ///< IMPRESSORA: printer device name, compared without regard to case
    OnOff backup;    ///< BACKUP: on keeps a backup of each printed file
    OnOff raw;       ///< PARALELA: on prints raw to port
    QString port;    ///< PORTA: destination path of raw printing
    QString path;    ///< full path of the settings file
    /// CODIFICACAO (optional, read only): code page of spool files; Windows-1252 when absent or
    /// not a code page the program knows
    CodePage::Encoding encoding = CodePage::Encoding::Windows1252;
    /// LINHAS (optional, read only): lines per page of files without printer codes; 0 fits as
    /// many as the page holds
    int linesPerPage = 0;
    /// AGULHAS (optional, read only): the pins of the printers the files were written for, 9
    /// (FX/LX, the default) or 24 (LQ and ESC/P 2): the units of their line spacing
    int pins = 9;
    /// COPIA_PDF (optional, read only): the folder a PDF copy of every graphical print-out is
    /// kept in; empty for none
    QString pdfCopyFolder = QString();
    /// PAPEL and ORIENTACAO (optional, read only): the sheet graphical print-outs are laid out on
    PaperSize paper = PaperSize::QueueDefault;
    PaperOrientation orientation = PaperOrientation::Automatic;
    /// HISTORICO_DIAS (optional, read only): how many days the history of print-outs keeps
    int historyDays = kHistoryDays;
};

/// Key of a settings line: the text left of its first "=", without surrounding blanks.
QString chave_linha(const QString& line);
/// Value of a settings line: the text right of its first "=", without surrounding blanks.
QString valor_linha(const QString& line);

/// Writes the five values to the file at path; every other line already there (the optional
/// keys, comments, unknown keys) is kept after them.
bool grava_ini(const Settings& settings, const QString& path, SettingsStore& files, QString* error);
/// Reads the file at path into the values; creates it from the values at Settings::path first
/// when the path is empty or names no plain file. Lines that are not settings are ignored.
/// A value read that is used otherwise than written adds a log line to @p notes.
bool le_ini(Settings& settings, const QString& path, SettingsStore& files, QString* error,
            QStringList* notes = nullptr);

/// The fewest and most lines per page LINHAS may ask for.
constexpr int kFewestLines = 1;
constexpr int kMostLines = 132;
/// The lines per page a LINHAS value asks for, brought within kFewestLines..kMostLines; 0 (as
/// many as fit) when it is empty, 0, negative or not a whole number. le_ini logs how a value is
/// used when that is not as written.
int linesPerPageOf(const QString& value);

/// The days a HISTORICO_DIAS value keeps: a whole number of at least 1, kHistoryDays otherwise.
int historyDaysOf(const QString& value);

/// The pins an AGULHAS value names: 24 for "24", 9 for anything else.
int pinsOf(const QString& value);

/// Where the settings file lives: beside the program when it is there or that folder can be
/// written, else in the user's configuration folder (XDG_CONFIG_HOME, default ~/.config).
QString caminho_ini(const QString& applicationFolder);

/// The code page a CODIFICACAO value names; Windows-1252 when it names none the program knows.
CodePage::Encoding encodingOf(const QString& value);
