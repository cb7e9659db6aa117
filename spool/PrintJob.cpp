#include "spool/PrintJob.h"

#include "settings/Settings.h"
#include "spool/Clock.h"
#include "spool/FileServices.h"
#include "spool/Places.h"
#include "spool/RawOutput.h"
#include "spool/RawPort.h"
#include "spool/SpoolText.h"

#include <QDateTime>
#include <QFile>

namespace {

void setError(PrintError* error, const PrintError& value)
{
    if (error)
        *error = value;
}

} // namespace

ImpressaoConteudo::ImpressaoConteudo(const Settings& settings, const PrintingServices& printing,
                                     FileServices& files, Clock& clock, RawPort& port, Places& places)
    : m_settings(settings), m_printing(printing), m_files(files), m_clock(clock), m_port(port),
      m_places(places), m_partials(std::make_unique<RawPartials>())
{
}

ImpressaoConteudo::~ImpressaoConteudo() = default;

bool ImpressaoConteudo::imprime_conteudo(const QByteArray& text, qint16 widestColumns, const QString& title,
                                         PrintError* error)
{
    if (m_settings.raw.isOn())
        return raw(text, title, error);
    return graphical(text, widestColumns, title, error);
}

QString seleciona_fonte(const QStringList& faces, const QString& prefix)
{
    const QString wanted = prefix.trimmed().toUpper();
    for (const QString& face : faces) {
        if (face.left(wanted.size()).toUpper() == wanted)
            return face;
    }
    return QString();
}

QString tamanho_fonte(qint16 widestColumns)
{
    if (widestColumns <= 80)
        return QStringLiteral("11");
    if (widestColumns <= 100)
        return QStringLiteral("9");
    if (widestColumns <= 110)
        return QStringLiteral("8");
    return QStringLiteral("7");
}

QString ImpressaoConteudo::currentPrinter()
{
    // A printer named is that printer or none: never the default one, nor the one before.
    if (!m_current)
        m_current = m_settings.printer.isEmpty() ? m_printing.directory.defaultPrinter() : m_settings.printer;
    return *m_current;
}

PrintError ImpressaoConteudo::missingPrinter() const
{
    PrintError missing(PrintError::Kind::NoSuchPrinter,
                       QStringLiteral("printer %1 does not exist").arg(m_settings.printer));
    missing.printer = m_settings.printer;
    return missing;
}

bool ImpressaoConteudo::selecionaImpressora(int* found, PrintError* error)
{
    PrintError unlisted;
    const QList<PrinterInfo> printers = m_printing.directory.printers(&unlisted);
    // A print server that did not answer has printers all the same: the file waits, told why.
    if (printers.isEmpty() && !unlisted.isNone()) {
        setError(error, unlisted);
        return false;
    }
    const QString wanted = m_settings.printer.toUpper();
    m_current.reset();
    *found = printers.isEmpty() ? kNoPrinters : -1;
    for (int i = 0; i < printers.size(); ++i) {
        if (printers[i].deviceName.toUpper() == wanted) {
            *found = i;
            m_current = printers[i].deviceName;
            break;
        }
    }
    return true;
}

bool ImpressaoConteudo::graphical(const QByteArray& text, qint16 widestColumns, const QString& title,
                                  PrintError* error)
{
    const QString face = seleciona_fonte(m_printing.documents.faceNames(), QStringLiteral("Courier"));
    const DocumentOptions options{m_settings.paper, m_settings.orientation, m_settings.pdfCopyFolder,
                                  isPdfOnly(m_settings.printer)};
    QString printer;
    if (!documentPrinter(options, &printer, error))
        return false;
    bool cutShort = false;
    Document document =
        imprime_documento(text, m_settings.encoding, m_settings.linesPerPage, &cutShort, m_settings.pins);
    document.shape().face = face;
    // Plain text measured its widest line itself, in characters (a UTF-8 file's are not its
    // bytes); a printer's page is sized by its own pitches.
    if (document.shape().printerPageInches > 0)
        document.shape().points = tamanho_fonte(widestColumns).toFloat();
    document.shape().landscape |= m_settings.orientation == PaperOrientation::Landscape;
    document.shape().portrait = m_settings.orientation == PaperOrientation::Portrait;
    SubmittedJob job;
    m_printing.documents.useOptions(options);
    const PrintError failed = m_printing.documents.print(printer, document, title, &job);
    m_note = m_printing.documents.takeNote();
    if (!failed.isNone()) {
        setError(error, failed);
        return false;
    }
    m_lastJob = job;
    m_cutShort = cutShort;
    return true;
}

bool ImpressaoConteudo::documentPrinter(const DocumentOptions& options, QString* printer, PrintError* error)
{
    // Without a printer the PDF copy is the print-out: it needs its folder.
    if (options.copyOnly) {
        if (!options.copyFolder.isEmpty())
            return true;
        setError(error,
                 PrintError::other(QStringLiteral("impressora %1 sem COPIA_PDF").arg(pdfOnlyPrinter())));
        return false;
    }
    int found = -1;
    if (!selecionaImpressora(&found, error))
        return false;
    if (found < 0 && !m_settings.printer.isEmpty()) {
        setError(error, missingPrinter());
        return false;
    }
    *printer = currentPrinter();
    if (!printer->isEmpty())
        return true;
    setError(error, PrintError(PrintError::Kind::NoSuchPrinter,
                               found == kNoPrinters ? QStringLiteral("no printer is installed")
                                                    : QStringLiteral("no printer is selected")));
    return false;
}

JobState ImpressaoConteudo::jobState(const SubmittedJob& job)
{
    if (job.id == 0)
        return JobState::Completed;
    return m_printing.jobs.jobState(job);
}

QByteArray nome_temporario(const QDateTime& moment)
{
    QString stampText = moment.toString(QStringLiteral("dd/MM/yyyy HH:mm:ss"));
    stampText.remove(u'/').remove(u':').remove(u' ');
    return "temp" + stampText.toLatin1() + ".BAK";
}

bool ImpressaoConteudo::streamsLines() const
{
    return m_settings.raw.isOn();
}

std::unique_ptr<StreamedPrint> ImpressaoConteudo::beginLines(PrintError* error, const QString& title,
                                                             const PrintOutSource& source)
{
    // Without a port, the bytes go to the named printer's queue as a raw job: a printer CUPS
    // reaches over USB or the network has no port of its own, and still reads its own codes.
    bool toQueue = false;
    // A relative path would be a file in whatever folder the program runs in (the window's
    // "generica" placeholder among them), taking print-outs no printer ever sees.
    if (!m_settings.port.isEmpty() && !m_settings.port.startsWith(u'/')) {
        setError(error,
                 PrintError::other(
                     QStringLiteral("a porta %1 não é um caminho absoluto (/dev/...)").arg(m_settings.port)));
        return nullptr;
    }
    if (m_settings.port.isEmpty()) {
        int found = -1;
        if (!selecionaImpressora(&found, error))
            return nullptr;
        if (found < 0) {
            PrintError noPort(PrintError::Kind::NoPort,
                              QStringLiteral("no port is set for raw printing, and there is no printer %1")
                                  .arg(m_settings.printer));
            noPort.printer = m_settings.printer;
            setError(error, noPort);
            return nullptr;
        }
        toQueue = true;
    }
    const QByteArray destination = QFile::encodeName(m_settings.port);
    const qint64 nowMs = m_clock.monotonicMs();
    if (!toQueue && !portFreeFor(destination, source, nowMs, error))
        return nullptr;
    if (!m_leftoversRemoved) {
        m_files.removeOwnLeftovers();
        m_leftoversRemoved = true;
    }
    auto out = std::make_unique<RawOutput>(m_files, m_places.currentDirectory(), m_clock.now(), m_port,
                                           destination, m_rawTimeoutMs);
    if (toQueue)
        out->sendToQueue(m_printing.raw, currentPrinter(), title, &m_lastJob);
    else
        out->resumeWith(*m_partials, source, nowMs);
    if (!out->open(error))
        return nullptr;
    return out;
}

bool ImpressaoConteudo::portFreeFor(const QByteArray& destination, const PrintOutSource& source, qint64 nowMs,
                                    PrintError* error)
{
    const RawPartials::Partial* partial = m_partials->at(destination);
    if (!partial || partial->source == source)
        return true;
    // The device holds the first part of another print-out: what is sent now would come out
    // in the middle of it. Its rest goes first, unless its file changed or went, or it was not
    // tried for so long that it will not be.
    if (nowMs - partial->triedMs < kPartialHoldMs &&
        m_files.stamp(partial->source.path) == partial->source.stamp) {
        setError(error, PrintError::other(QStringLiteral("a porta aguarda o restante de ") +
                                          QFile::decodeName(partial->source.path)));
        return false;
    }
    m_partials->forget(destination);
    return true;
}

bool ImpressaoConteudo::raw(const QByteArray& text, const QString& title, PrintError* error)
{
    std::unique_ptr<StreamedPrint> out = beginLines(error, title);
    if (!out)
        return false;
    out->begin(text.size());
    SpoolText::forEachLine(text, [&out](QByteArrayView line) { out->line(line); });
    return out->finish(error);
}
