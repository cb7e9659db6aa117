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

#include <QDateTime>
#include <QFile>

namespace {

void setError(QString* error, const QString& text)
{
    if (error)
        *error = text;
}

bool containsEject(QByteArrayView line)
{
    static const QByteArray eject("eject");
    const qsizetype n = line.size();
    for (qsizetype i = 0; i + 5 <= n; ++i) {
        qsizetype k = 0;
        while (k < 5 && (line[i + k] | 0x20) == eject[k])
            ++k;
        if (k == 5)
            return true;
    }
    return false;
}

/// Decodes a piece of a line for drawing, tabs out to the next multiple of eight columns.
QString drawable(QByteArrayView bytes)
{
    QString text = CodePage::decode(bytes);
    if (!text.contains(u'\t'))
        return text;
    QString out;
    out.reserve(text.size() + 16);
    for (const QChar ch : text) {
        if (ch == u'\t')
            out.append(QString(8 - out.size() % 8, u' '));
        else
            out.append(ch);
    }
    return out;
}

/// Gives lines and breaks to the printer so that a page begins only with a line printed on
/// it: breaks before the first line, and after the last, print no blank sheet.
class Pages
{
public:
    explicit Pages(PrintingService& printing) : m_printing(printing) {}
    void line(QByteArrayView bytes)
    {
        if (m_started) {
            for (; m_pendingBreaks > 0; --m_pendingBreaks)
                m_printing.newPage();
        }
        m_started = true;
        m_pendingBreaks = 0;
        m_printing.printLine(drawable(bytes));
    }
    void pageBreak()
    {
        if (m_started)
            ++m_pendingBreaks;
    }

private:
    PrintingService& m_printing;
    bool m_started = false;
    int m_pendingBreaks = 0;
};

} // namespace

ImpressaoConteudo::ImpressaoConteudo(const Settings& settings, PrintingService& printing, FileServices& files,
                                     Clock& clock, RawPort& port, Places& places)
    : m_settings(settings), m_printing(printing), m_files(files), m_clock(clock), m_port(port),
      m_places(places)
{
}

bool ImpressaoConteudo::imprime_conteudo(const QByteArray& text, qint16 iMaxColunas, const QString& title,
                                         QString* error)
{
    if (m_settings.sParalela == QLatin1String("1"))
        return raw(text, error);
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

void imprime_linhas(const QByteArray& text, PrintingService& printing)
{
    Pages pages(printing);
    SpoolText::forEachLine(text, [&pages](QByteArrayView line) {
        if (line.contains('\f')) {
            // The page breaks at each form feed itself: what stands before it ends the page,
            // what follows begins the next. Empty pieces at either end are no lines.
            qsizetype start = 0;
            for (;;) {
                const qsizetype ff = line.indexOf('\f', start);
                const QByteArrayView piece = line.sliced(start, (ff < 0 ? line.size() : ff) - start);
                const bool outerEmpty = piece.isEmpty() && (start == 0 || ff < 0);
                if (!outerEmpty)
                    pages.line(piece);
                if (ff < 0)
                    break;
                pages.pageBreak();
                start = ff + 1;
            }
        } else if (containsEject(line)) {
            pages.pageBreak();
        } else {
            pages.line(line);
        }
    });
}

bool ImpressaoConteudo::graphical(const QByteArray& text, qint16 iMaxColunas, const QString& title,
                                  QString* error)
{
    seleciona_fonte(m_printing, QStringLiteral("Courier"));

    const QList<PrinterInfo> printers = m_printing.printers();
    const QString wanted = m_settings.sImpressora.toUpper();
    for (int i = 0; i < printers.size(); ++i) {
        if (printers[i].deviceName.toUpper() == wanted) {
            if (!m_printing.selectPrinter(i)) {
                setError(error, m_printing.errorString());
                return false;
            }
            break;
        }
    }
    if (m_printing.currentPrinter().isEmpty()) {
        setError(error, printers.isEmpty() ? QStringLiteral("no printer is installed")
                                           : QStringLiteral("no printer is selected"));
        return false;
    }

    m_printing.setBold(false);
    m_printing.setItalic(false);
    m_printing.setUnderline(false);
    m_printing.setPointSize(tamanho_fonte(iMaxColunas).toFloat());
    m_printing.setJobTitle(title);
    imprime_linhas(text, m_printing);
    if (!m_printing.endDocument()) {
        setError(error, m_printing.errorString());
        return false;
    }
    return true;
}

QByteArray nome_temporario(const QDateTime& moment)
{
    QString stampText = moment.toString(QStringLiteral("dd/MM/yyyy HH:mm:ss"));
    stampText.remove(u'/').remove(u':').remove(u' ');
    return "temp" + stampText.toLatin1() + ".BAK";
}

bool ImpressaoConteudo::streamsLines() const
{
    return m_settings.sParalela == QLatin1String("1");
}

std::unique_ptr<StreamedPrint> ImpressaoConteudo::beginLines(QString* error)
{
    if (m_settings.sPorta.isEmpty()) {
        setError(error, QStringLiteral("no port is set for raw printing"));
        return nullptr;
    }
    if (!m_leftoversRemoved) {
        m_files.removeOwnLeftovers();
        m_leftoversRemoved = true;
    }
    auto out = std::make_unique<RawOutput>(m_files, m_places.currentDirectory(), m_clock.now(), m_port,
                                           QFile::encodeName(m_settings.sPorta), kRawTimeoutMs);
    if (!out->open(error))
        return nullptr;
    return out;
}

bool ImpressaoConteudo::raw(const QByteArray& text, QString* error)
{
    std::unique_ptr<StreamedPrint> out = beginLines(error);
    if (!out)
        return false;
    out->begin(text.size());
    SpoolText::forEachLine(text, [&out](QByteArrayView line) { out->line(line); });
    return out->finish(error);
}
