#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include "spool/PrintingService.h"
#include "spool/Reader.h"
#include "text/Encoding.h"

#include <memory>
#include <utility>

class Clock;
class FileServices;
class Places;
class RawPort;
struct Settings;

/// A print-out that takes the lines of a spool file as they are read.
class StreamedPrint : public LineSink
{
public:
    /// Sends what was given; false, with *error set, when it was not printed.
    virtual bool finish(QString* error) = 0;
};

/// A job handed to a printer, that the printer may still abort.
struct SubmittedJob
{
    QString printer;
    int id = 0; ///< 0: no job to follow, it was over once handed over

    bool operator==(const SubmittedJob& o) const { return printer == o.printer && id == o.id; }
};

/// Prints the text of one spool file.
class PrintJob
{
public:
    virtual ~PrintJob() = default;
    /// The job the last successful print handed over, taken once: a second call gives none.
    virtual SubmittedJob takeLastJob() { return SubmittedJob(); }
    /// Where a job handed over stands; jobs without an id are over.
    virtual PrintingService::JobState jobState(const SubmittedJob& job)
    {
        Q_UNUSED(job);
        return PrintingService::JobState::Completed;
    }
    /// True when the job takes lines as they are read (beginLines) rather than a whole text.
    virtual bool streamsLines() const { return false; }
    /// Starts a print-out, titled @p title, that takes lines as they are read; null, with
    /// *error set, when none can start.
    virtual std::unique_ptr<StreamedPrint> beginLines(QString* error, const QString& title = QString())
    {
        Q_UNUSED(error);
        Q_UNUSED(title);
        return nullptr;
    }
    /// Prints the spool text; false, with *error set, when it was not printed.
    virtual bool imprime_conteudo(const QByteArray& text, qint16 iMaxColunas, const QString& title,
                                  QString* error) = 0;
};

/// Graphical printing on the configured printer, or raw output to the configured port.
class ImpressaoConteudo : public PrintJob
{
public:
    ImpressaoConteudo(const Settings& settings, PrintingService& printing, FileServices& files, Clock& clock,
                      RawPort& port, Places& places);
    bool imprime_conteudo(const QByteArray& text, qint16 iMaxColunas, const QString& title,
                          QString* error) override;
    bool streamsLines() const override;
    std::unique_ptr<StreamedPrint> beginLines(QString* error, const QString& title = QString()) override;
    SubmittedJob takeLastJob() override { return std::exchange(m_lastJob, SubmittedJob()); }
    PrintingService::JobState jobState(const SubmittedJob& job) override;

    /// How long a raw destination may take to accept the bytes.
    static constexpr int kRawTimeoutMs = 10000;

private:
    bool graphical(const QByteArray& text, qint16 iMaxColunas, const QString& title, QString* error);
    bool raw(const QByteArray& text, const QString& title, QString* error);
    /// Makes the printer named in the settings current, when it is installed; *found is its
    /// index, -1 when it is not installed, kNoPrinters when none is. False when it could not be
    /// made current, or the printers could not be listed (the print server did not answer).
    bool selecionaImpressora(int* found, QString* error);
    static constexpr int kNoPrinters = -2;

    const Settings& m_settings;
    PrintingService& m_printing;
    FileServices& m_files;
    Clock& m_clock;
    RawPort& m_port;
    Places& m_places;
    bool m_leftoversRemoved = false;
    SubmittedJob m_lastJob;
};

/// Sets the current printer's face to the first face whose name starts with the prefix.
void seleciona_fonte(PrintingService& printing, const QString& prefix);
/// Point size for the longest line: "11", "9", "8" or "7".
QString tamanho_fonte(qint16 iMaxColunas);
/// Draws the lines of the spool text with their page breaks (form feeds, "eject" lines).
/// Lines decode from @p encoding; @p linesPerPage more than 0 fits that many lines on a page.
void imprime_linhas(const QByteArray& text, PrintingService& printing,
                    CodePage::Encoding encoding = CodePage::Encoding::Windows1252, int linesPerPage = 0);
/// Draws a spool text: as a printer's pages when it carries printer commands, as lines otherwise.
void imprime_documento(const QByteArray& text, PrintingService& printing, CodePage::Encoding encoding,
                       int linesPerPage = 0);
/// The name of the raw temporary file for a moment: temp + ddMMyyyyHHmmss + .BAK
QByteArray nome_temporario(const QDateTime& moment);
