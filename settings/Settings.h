#pragma once

#include <QString>
#include <QStringList>

#include <optional>

class SettingsStore;

/// The five settings values and the path of the settings file; all empty until set.
struct Settings
{
    QString sLocal;      ///< LOCAL: the watched path pattern
    QString sImpressora; ///< IMPRESSORA: printer device name, compared without regard to case
    QString sBackup;     ///< BACKUP: "1" keeps a backup of each printed file
    QString sParalela;   ///< PARALELA: "1" prints raw to sPorta
    QString sPorta;      ///< PORTA: destination path of raw printing
    QString sCaminhoIni; ///< full path of the settings file
    /// CODIFICACAO (optional, read only): code page of spool files, "1252" when absent
    QString sCodificacao;
    QString sLinhas; ///< LINHAS (optional, read only): lines per page of files without printer codes
};

/// Key of a settings line: the text left of its first "=", without surrounding blanks.
QString chave_linha(const QString& line);
/// Value of a settings line: the text right of its first "=", without surrounding blanks.
QString valor_linha(const QString& line);

/// Writes the five values to the file at path; every other line already there (the optional
/// keys, comments, unknown keys) is kept after them.
bool grava_ini(const Settings& settings, const QString& path, SettingsStore& files, QString* error);
/// Reads the file at path into the values; creates it from the values at sCaminhoIni first
/// when the path is empty or names no plain file. Lines that are not settings are ignored.
/// A value read that is used otherwise than written adds a log line to @p notes.
bool le_ini(Settings& settings, const QString& path, SettingsStore& files, QString* error,
            QStringList* notes = nullptr);

/// The fewest and most lines per page LINHAS may ask for.
constexpr int kFewestLines = 1;
constexpr int kMostLines = 132;
/// The lines per page a LINHAS value asks for, brought within kFewestLines..kMostLines; 0 (as
/// many as fit) when it is empty, 0, negative or not a whole number.
int linesPerPage(const QString& value);
/// The log line telling how a LINHAS value is used when that is not as written; empty otherwise.
QString linesPerPageNote(const QString& value);

/// Where the settings file lives: beside the program when it is there or that folder can be
/// written, else in the user's configuration folder (XDG_CONFIG_HOME, default ~/.config).
QString caminho_ini(const QString& applicationFolder);

/// True only for exactly "1": every test of BACKUP and PARALELA is this comparison.
bool marcado(const QString& value);
/// The value a check box stands for: "1" checked, "0" not.
QString valor_marcado(bool checked);
/// The check state a value shows: "1" checked, "0" or empty not; nothing for any other value.
std::optional<bool> estado_marcado(const QString& value);
