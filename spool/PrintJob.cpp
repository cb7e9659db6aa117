#include "spool/PrintJob.h"

#include "settings/Settings.h"
#include "spool/Clock.h"
#include "spool/FileServices.h"
#include "spool/Places.h"
#include "spool/PrintingService.h"
#include "spool/RawOutput.h"
#include "spool/RawPort.h"
#include "spool/SpoolText.h"
#include "text/CodePage.h"
#include "text/Eject.h"
#include "text/EscP.h"

#include <QDateTime>
#include <QFile>

#include <algorithm>

namespace {

void setError(QString* error, const QString& text)
{
    if (error)
        *error = text;
}

/// Decodes a piece of a line for drawing, tabs out to the next multiple of eight columns;
/// @p column is where the piece begins in its line.
QString drawable(QByteArrayView bytes, CodePage::Encoding encoding, qsizetype column = 0)
{
    QString text = CodePage::decode(bytes, encoding);
    if (!text.contains(u'\t'))
        return text;
    QString out;
    out.reserve(text.size() + 16);
    for (const QChar ch : text) {
        if (ch == u'\t')
            out.append(QString(8 - (column + out.size()) % 8, u' '));
        else
            out.append(ch);
    }
    return out;
}

/// Bytes of a line decoded at a time: a longer line is decoded and drawn in parts, so that no
/// copy of it as a whole is made besides the spool text.
constexpr qsizetype kLinePart = 64 * 1024;

/// Calls @p part with each part of a line decoded for drawing, in order: the whole line at once
/// when it is short. Parts of UTF-8 text end between characters.
template <typename Part> void forEachDrawnPart(QByteArrayView line, CodePage::Encoding encoding, Part part)
{
    qsizetype column = 0;
    while (line.size() > kLinePart) {
        qsizetype cut = kLinePart;
        if (encoding == CodePage::Encoding::Utf8) {
            for (int back = 0; back < 3 && (uchar(line[cut]) & 0xC0) == 0x80; ++back)
                --cut;
        }
        QString text = drawable(line.first(cut), encoding, column);
        column += text.size();
        part(std::move(text), false);
        line = line.sliced(cut);
    }
    part(drawable(line, encoding, column), true);
}

/// Gives lines and breaks to the printer so that a page begins only with a line printed on
/// it: breaks before the first line, and after the last, print no blank sheet.
class Pages
{
public:
    Pages(PrintingService& printing, CodePage::Encoding encoding) : m_printing(printing), m_encoding(encoding)
    {
    }
    void line(QByteArrayView bytes)
    {
        if (m_started) {
            for (; m_pendingBreaks > 0; --m_pendingBreaks)
                m_printing.newPage();
        }
        m_started = true;
        m_pendingBreaks = 0;
        if (bytes.size() <= kLinePart || !m_printing.printLinePart(QString())) {
            m_printing.printLine(drawable(bytes, m_encoding));
            return;
        }
        forEachDrawnPart(bytes, m_encoding, [this](QString&& part, bool last) {
            if (last)
                m_printing.printLine(part);
            else
                m_printing.printLinePart(part);
        });
    }
    void pageBreak()
    {
        if (m_started)
            ++m_pendingBreaks;
    }

private:
    PrintingService& m_printing;
    CodePage::Encoding m_encoding;
    bool m_started = false;
    int m_pendingBreaks = 0;
};

/// Calls @p piece for each piece of a line drawn between form feeds, and @p pageBreak for each
/// form feed; an eject line is one page break. Empty pieces at either end of a line are no lines.
template <typename Piece, typename Break>
void forEachPiece(const QByteArray& text, CodePage::Encoding encoding, Piece piece, Break pageBreak)
{
    SpoolText::forEachLine(text, [&](QByteArrayView line) {
        if (line.contains('\f')) {
            // The page breaks at each form feed itself: what stands before it ends the page,
            // what follows begins the next.
            qsizetype start = 0;
            for (;;) {
                const qsizetype ff = line.indexOf('\f', start);
                const QByteArrayView part = line.sliced(start, (ff < 0 ? line.size() : ff) - start);
                const bool outerEmpty = part.isEmpty() && (start == 0 || ff < 0);
                if (!outerEmpty)
                    piece(part);
                if (ff < 0)
                    break;
                pageBreak();
                start = ff + 1;
            }
        } else if (isEjectLine(line, encoding)) {
            pageBreak();
        } else {
            piece(line);
        }
    });
}

/// Characters a Courier face has: Windows-1252's, and the box and block characters drawn as rules.
bool drawnWithoutFallback(QChar ch)
{
    const char16_t u = ch.unicode();
    if (u < 0x100 || (u >= 0x2500 && u <= 0x259F)) // box drawing, blocks and shades
        return true;
    static const QString extras = [] {
        QString chars;
        for (int code = 0x80; code < 0xA0; ++code)
            chars += QChar(CodePage::unicodeOf(uchar(code)));
        return chars;
    }();
    return extras.contains(ch);
}

/// Notes a drawn line's width and whether a second face must draw some of it.
void measure(const QString& text, qreal width, DocumentShape& shape)
{
    shape.widestCells = std::max(shape.widestCells, width);
    if (!shape.needsFallbackFace)
        shape.needsFallbackFace = !std::all_of(text.begin(), text.end(), drawnWithoutFallback);
}

/// Whether each byte decodes to a character that needs a second face; empty for UTF-8,
/// whose characters are not single bytes.
QList<bool> bytesNeedingFallback(CodePage::Encoding encoding)
{
    QList<bool> table;
    if (encoding == CodePage::Encoding::Utf8)
        return table;
    QByteArray all(256, 0);
    for (int b = 0; b < 256; ++b)
        all[b] = char(b);
    const QString chars = CodePage::decode(all, encoding);
    for (const QChar ch : chars)
        table.append(!drawnWithoutFallback(ch));
    return table;
}

/// Cells a run takes on a printer's page, in pica (tenths of an inch).
qreal picaCells(const RunStyle& style, qsizetype characters)
{
    return characters * 10 / charactersPerInch(style.pitch) * (style.doubleWidth ? 2 : 1);
}

/// A file with printer commands: its pages as the printer lays them out, scaled to the sheet.
/// The file is read twice, a page at a time: to measure it, then to draw it, so that no copy
/// of the whole file is held besides the spool text. True when a command was cut short by the end.
bool imprime_codigos(QByteArrayView file, CodePage::Encoding encoding, int linesPerPage,
                     PrintingService& printing)
{
    const QList<bool> needsFallback = bytesNeedingFallback(encoding);
    DocumentShape shape;
    int pagesWithLines = 0; // pages without a line at the end (after a last form feed) print no sheet
    int pages = 0;
    EscP::interpret(
        file,
        [&](PrintedPage&& page) {
            ++pages;
            if (!page.lines.isEmpty())
                pagesWithLines = pages;
            shape.printerPageInches = std::max(shape.printerPageInches, qreal(page.length) / kUnitsPerInch);
            for (const PrintedLine& line : std::as_const(page.lines)) {
                qreal cells = 0;
                for (const StyledRun& run : line.runs) {
                    cells += picaCells(run.style, run.text.size());
                    if (shape.needsFallbackFace)
                        continue;
                    if (needsFallback.isEmpty())
                        measure(CodePage::decode(run.text, encoding), 0, shape);
                    else
                        shape.needsFallbackFace =
                            std::any_of(run.text.begin(), run.text.end(),
                                        [&needsFallback](char b) { return needsFallback[uchar(b)]; });
                }
                shape.widestCells = std::max(shape.widestCells, cells);
            }
        },
        linesPerPage);
    if (shape.printerPageInches <= 0)
        shape.printerPageInches = 11;
    printing.setDocumentShape(shape);

    QList<PrintRun> runs;
    int page = 0;
    const PrintedDocument drawn = EscP::interpret(
        file,
        [&](PrintedPage&& printed) {
            if (++page > pagesWithLines)
                return;
            if (page > 1)
                printing.newPage();
            for (const PrintedLine& line : std::as_const(printed.lines)) {
                runs.clear();
                for (const StyledRun& run : line.runs)
                    runs.append(PrintRun{CodePage::decode(run.text, encoding), run.style});
                printing.printRuns(runs, line.advance);
            }
            if (printed.lines.isEmpty())
                printing.printRuns({}, 0);
        },
        linesPerPage);
    return drawn.cutShortAt >= 0;
}

} // namespace

ImpressaoConteudo::ImpressaoConteudo(const Settings& settings, PrintingService& printing, FileServices& files,
                                     Clock& clock, RawPort& port, Places& places)
    : m_settings(settings), m_printing(printing), m_files(files), m_clock(clock), m_port(port),
      m_places(places), m_partials(std::make_unique<RawPartials>())
{
}

ImpressaoConteudo::~ImpressaoConteudo() = default;

bool ImpressaoConteudo::imprime_conteudo(const QByteArray& text, qint16 iMaxColunas, const QString& title,
                                         QString* error)
{
    if (m_settings.raw.isOn())
        return raw(text, title, error);
    return graphical(text, iMaxColunas, title, error);
}

void seleciona_fonte(PrintingService& printing, const QString& prefix)
{
    const QString wanted = prefix.trimmed().toUpper();
    for (const QString& face : printing.faceNames()) {
        if (face.left(wanted.size()).toUpper() == wanted) {
            printing.setFaceName(face);
            return;
        }
    }
}

QString tamanho_fonte(qint16 iMaxColunas)
{
    if (iMaxColunas <= 80)
        return QStringLiteral("11");
    if (iMaxColunas <= 100)
        return QStringLiteral("9");
    if (iMaxColunas <= 110)
        return QStringLiteral("8");
    return QStringLiteral("7");
}

void imprime_linhas(const QByteArray& text, PrintingService& printing, CodePage::Encoding encoding,
                    int linesPerPage)
{
    // The widest line as drawn, tabs and leading blanks counted, chooses the size once.
    DocumentShape shape;
    shape.linesPerPage = linesPerPage;
    forEachPiece(
        text, encoding,
        [&shape, encoding](QByteArrayView piece) {
            qreal width = 0;
            forEachDrawnPart(piece, encoding, [&](QString&& drawn, bool) {
                width += drawn.size();
                measure(drawn, width, shape);
            });
        },
        [] {});
    printing.setDocumentShape(shape);
    Pages pages(printing, encoding);
    forEachPiece(
        text, encoding, [&pages](QByteArrayView piece) { pages.line(piece); },
        [&pages] { pages.pageBreak(); });
}

bool imprime_documento(const QByteArray& text, PrintingService& printing, CodePage::Encoding encoding,
                       int linesPerPage)
{
    // Backspace overstrikes (bold and underline as groff writes them) are printer work too.
    if (EscP::carriesPrinterCodes(text) || text.contains('\b')) {
        // The spool text puts a line end before the first line; the file itself has none there.
        const QByteArrayView file =
            text.startsWith("\r\n") ? QByteArrayView(text).sliced(2) : QByteArrayView(text);
        return imprime_codigos(file, encoding, linesPerPage, printing);
    }
    imprime_linhas(text, printing, encoding, linesPerPage);
    return false;
}

bool ImpressaoConteudo::selecionaImpressora(int* found, QString* error)
{
    const QList<PrinterInfo> printers = m_printing.printers();
    // A print server that did not answer has printers all the same: the file waits, told why.
    if (printers.isEmpty() && !m_printing.printersError().isEmpty()) {
        setError(error, m_printing.printersError());
        return false;
    }
    const QString wanted = m_settings.printer.toUpper();
    *found = printers.isEmpty() ? kNoPrinters : -1;
    for (int i = 0; i < printers.size(); ++i) {
        if (printers[i].deviceName.toUpper() == wanted) {
            *found = i;
            if (!m_printing.selectPrinter(i)) {
                setError(error, m_printing.errorString());
                return false;
            }
            break;
        }
    }
    return true;
}

bool ImpressaoConteudo::graphical(const QByteArray& text, qint16 iMaxColunas, const QString& title,
                                  QString* error)
{
    seleciona_fonte(m_printing, QStringLiteral("Courier"));

    int found = -1;
    if (!selecionaImpressora(&found, error))
        return false;
    if (m_printing.currentPrinter().isEmpty()) {
        setError(error, found == kNoPrinters ? QStringLiteral("no printer is installed")
                                             : QStringLiteral("no printer is selected"));
        return false;
    }

    m_printing.setBold(false);
    m_printing.setItalic(false);
    m_printing.setUnderline(false);
    m_printing.setPointSize(tamanho_fonte(iMaxColunas).toFloat());
    m_printing.setJobTitle(title);
    const bool cutShort = imprime_documento(text, m_printing, m_settings.encoding, m_settings.linesPerPage);
    if (!m_printing.endDocument()) {
        setError(error, m_printing.errorString());
        return false;
    }
    m_lastJob =
        SubmittedJob{m_printing.currentPrinter(), m_printing.lastJobId(), m_printing.lastJobCreated()};
    m_cutShort = cutShort;
    return true;
}

PrintingService::JobState ImpressaoConteudo::jobState(const SubmittedJob& job)
{
    if (job.id == 0)
        return PrintingService::JobState::Completed;
    return m_printing.jobState(job.printer, job.id, job.created);
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

std::unique_ptr<StreamedPrint> ImpressaoConteudo::beginLines(QString* error, const QString& title,
                                                             const PrintOutSource& source)
{
    // Without a port, the bytes go to the named printer's queue as a raw job: a printer CUPS
    // reaches over USB or the network has no port of its own, and still reads its own codes.
    bool toQueue = false;
    if (m_settings.port.isEmpty()) {
        int found = -1;
        if (!selecionaImpressora(&found, error))
            return nullptr;
        if (found < 0) {
            setError(error, QStringLiteral("no port is set for raw printing, and there is no printer %1")
                                .arg(m_settings.printer));
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
        out->sendToQueue(m_printing, title, &m_lastJob);
    else
        out->resumeWith(*m_partials, source, nowMs);
    if (!out->open(error))
        return nullptr;
    return out;
}

bool ImpressaoConteudo::portFreeFor(const QByteArray& destination, const PrintOutSource& source, qint64 nowMs,
                                    QString* error)
{
    const RawPartials::Partial* partial = m_partials->at(destination);
    if (!partial || partial->source == source)
        return true;
    // The device holds the first part of another print-out: what is sent now would come out
    // in the middle of it. Its rest goes first, unless its file changed or went, or it was not
    // tried for so long that it will not be.
    if (nowMs - partial->triedMs < kPartialHoldMs &&
        m_files.stamp(partial->source.path) == partial->source.stamp) {
        setError(error,
                 QStringLiteral("a porta aguarda o restante de ") + QFile::decodeName(partial->source.path));
        return false;
    }
    m_partials->forget(destination);
    return true;
}

bool ImpressaoConteudo::raw(const QByteArray& text, const QString& title, QString* error)
{
    std::unique_ptr<StreamedPrint> out = beginLines(error, title);
    if (!out)
        return false;
    out->begin(text.size());
    SpoolText::forEachLine(text, [&out](QByteArrayView line) { out->line(line); });
    return out->finish(error);
}
