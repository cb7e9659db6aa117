#include "spool/TestPage.h"

#include "settings/Settings.h"
#include "spool/Clock.h"
#include "spool/Documents.h"
#include "spool/FilePrinter.h"
#include "spool/FileServices.h"
#include "spool/Places.h"
#include "spool/PrintError.h"
#include "spool/WindowServices.h"

#include <QFile>

#include <cmath>

const char kTestPageTitle[] = "Página de teste";

namespace {

using CodePage::Encoding;

const QByteArray kEsc("\x1b");
const QByteArray kLineEnd("\r\n");
/// Reset, and back to the printer's defaults: pica, 1/6-inch lines, no style.
const QByteArray kReset = kEsc + '@';
const QByteArray kBoldOn = kEsc + 'E';
const QByteArray kBoldOff = kEsc + 'F';
const QByteArray kSixthInch = kEsc + '2';

/// Whether the code page has every one of @p characters.
bool hasAll(const QString& characters, Encoding encoding)
{
    if (encoding == Encoding::Utf8)
        return true;
    return std::all_of(characters.begin(), characters.end(), [&](QChar ch) {
        return ch.unicode() < 0x80 || CodePage::byteOf(ch.unicode(), encoding);
    });
}

/// Text in the code page's bytes: a character it lacks is "?", and so is a control character, which
/// would be a printer command (a file name from the settings may hold anything).
QByteArray encoded(const QString& text, Encoding encoding)
{
    QByteArray out;
    for (const QChar ch : text) {
        const char16_t u = ch.unicode();
        if (u < 0x20 || u == 0x7F || (u >= 0x80 && u < 0xA0))
            out += '?';
        else if (u < 0x80)
            out += char(u);
        else if (encoding == Encoding::Utf8)
            out += QString(ch).toUtf8();
        else
            out += CodePage::byteOf(u, encoding).value_or('?');
    }
    return out;
}

/// Column numbers over @p columns: the tens, then the units.
QByteArray ruler(int columns, const QByteArray& pitchOn, const QByteArray& pitchOff)
{
    QByteArray tens;
    QByteArray units;
    for (int c = 1; c <= columns; ++c) {
        tens += c % 10 == 0 ? char('0' + c / 10 % 10) : (c % 5 == 0 ? '+' : '.');
        units += char('0' + c % 10);
    }
    return pitchOn + tens + kLineEnd + units + pitchOff + kLineEnd;
}

/// The logo, an open eye as the tray shows it, as 8-dot bit image columns: @p bands bands of 8
/// rows, each row a 1/60-inch column wide.
QList<QByteArray> eyeBands(int width, int bands)
{
    const int height = bands * 8;
    const double cx = (width - 1) / 2.0;
    const double cy = (height - 1) / 2.0;
    auto inked = [&](int x, int y) {
        const double dx = (x - cx) / (width / 2.0);
        const double lid = (height / 2.0 - 1) * (1 - dx * dx); // half the eye's opening here
        const double dy = std::abs(y - cy);
        const bool outline = lid > 0 && std::abs(dy - lid) < 1.0;
        // The iris, round on paper: columns are 1/60 inch, rows 1/72, a little closer.
        const double ix = (x - cx) * 1.2;
        const double r = std::sqrt(ix * ix + (y - cy) * (y - cy));
        const bool iris = r <= height / 3.5 && r > height / 10.0 && dy <= lid;
        return outline || iris;
    };
    QList<QByteArray> out;
    for (int band = 0; band < bands; ++band) {
        QByteArray columns(width, '\0');
        for (int x = 0; x < width; ++x) {
            uchar bits = 0;
            for (int pin = 0; pin < 8; ++pin) {
                if (inked(x, band * 8 + pin))
                    bits |= uchar(0x80 >> pin);
            }
            columns[x] = char(bits);
        }
        out.append(columns);
    }
    return out;
}

QByteArray heading(const QString& text, Encoding encoding)
{
    return kLineEnd + kBoldOn + encoded(text, encoding) + kBoldOff + kLineEnd;
}

QByteArray field(const QString& name, const QString& value, Encoding encoding)
{
    return encoded(QStringLiteral("  ") + name.leftJustified(20) + value, encoding) + kLineEnd;
}

QByteArray settingsPart(const Settings& s, const QDateTime& moment)
{
    const Encoding e = s.encoding;
    const bool raw = s.raw.isOn();
    QByteArray out = heading(QStringLiteral("Configurações em uso"), e);
    out += field(QStringLiteral("Emitida em"), moment.toString(QStringLiteral("dd/MM/yyyy HH:mm:ss")), e);
    out += field(QStringLiteral("Arquivo"), s.path, e);
    out += field(QStringLiteral("LOCAL"), s.pattern, e);
    out += field(QStringLiteral("IMPRESSORA"),
                 s.printer.isEmpty() ? QStringLiteral("(padrão do CUPS)") : s.printer, e);
    out += field(QStringLiteral("Saída"),
                 raw ? QStringLiteral("bruta (PARALELA = 1)") : QStringLiteral("gráfica"), e);
    if (raw)
        out += field(QStringLiteral("PORTA"),
                     s.port.isEmpty() ? QStringLiteral("(a fila da impressora)") : s.port, e);
    out +=
        field(QStringLiteral("BACKUP"), s.backup.isOn() ? QStringLiteral("sim") : QStringLiteral("não"), e);
    out += field(QStringLiteral("CODIFICACAO"), CodePage::encodingName(e), e);
    out += field(QStringLiteral("LINHAS"),
                 s.linesPerPage > 0 ? QString::number(s.linesPerPage) : QStringLiteral("as que couberem"), e);
    out += field(QStringLiteral("AGULHAS"), QString::number(s.pins), e);
    return out;
}

QByteArray sizesPart(Encoding e)
{
    QByteArray out =
        heading(QStringLiteral("Tamanho da letra dos arquivos sem códigos (linha mais longa)"), e);
    QString columns = QStringLiteral("  Colunas:");
    QString points = QStringLiteral("  Pontos: ");
    for (const int width : {80, 96, 100, 110, 132, 136, 160}) {
        columns += QString::number(width).rightJustified(6);
        points += tamanho_fonte(qint16(width)).rightJustified(6);
    }
    out += encoded(columns, e) + kLineEnd + encoded(points, e) + kLineEnd;
    out +=
        encoded(QStringLiteral("  O que não cabe a 7 pontos vai em paisagem, até 4 pontos."), e) + kLineEnd;
    return out;
}

QByteArray lettersPart(Encoding e)
{
    QByteArray out =
        heading(QStringLiteral("Letras e molduras de CODIFICACAO = ") + CodePage::encodingName(e), e);
    out += encoded(QStringLiteral("  ÁÉÍÓÚ áéíóú ÂÊÔ âêô ÃÕ ãõ Àà Çç Üü Ññ ªº §"), e) + kLineEnd;
    const QStringList single = {QStringLiteral("┌──────────┬─────┐"), QStringLiteral("│ simples  │ 123 │"),
                                QStringLiteral("├──────────┼─────┤"), QStringLiteral("└──────────┴─────┘")};
    const QStringList twin = {QStringLiteral("╔══════════╦═════╗"), QStringLiteral("║ dupla    ║ 456 ║"),
                              QStringLiteral("╠══════════╬═════╣"), QStringLiteral("╚══════════╩═════╝")};
    const QString shades = QStringLiteral("░░▒▒▓▓██");
    if (!hasAll(single.join(QString()) + twin.join(QString()), e)) {
        out += encoded(QStringLiteral("  (esta codificação não tem caracteres de moldura)"), e) + kLineEnd;
        return out;
    }
    for (qsizetype i = 0; i < single.size(); ++i) {
        QString line = QStringLiteral("  ") + single[i] + QStringLiteral("   ") + twin[i];
        if (i == 1 && hasAll(shades, e))
            line += QStringLiteral("   ") + shades;
        out += encoded(line, e) + kLineEnd;
    }
    return out;
}

QByteArray stylesPart(Encoding e)
{
    auto text = [e](const char16_t* t) { return encoded(QString::fromUtf16(t), e); };
    QByteArray out = heading(QStringLiteral("Estilos ESC/P"), e);
    out += "  " + kBoldOn + text(u"negrito") + kBoldOff + ' ';
    out += kEsc + '4' + text(u"itálico") + kEsc + '5' + ' ';
    out += kEsc + "-1" + text(u"sublinhado") + kEsc + "-0" + ' ';
    out += kEsc + "W1" + text(u"largo") + kEsc + "W0" + ' ';
    out += kEsc + 'M' + text(u"elite") + kEsc + 'P' + ' ';
    out += '\x0f' + text(u"condensado") + '\x12' + ' ';
    out += text(u"m") + kEsc + "S0" + '2' + kEsc + 'T' + ' ';
    out += text(u"H") + kEsc + "S1" + '2' + kEsc + 'T' + text(u"O") + kLineEnd;
    return out;
}

QByteArray imagePart(Encoding e)
{
    QByteArray out = heading(QStringLiteral("Imagem de bits (ESC *) e código de barras EAN-13 (ESC ( B)"), e);
    // Bands of 8 dots one under the other: 24/216 inch on 9 pins, 24/180 on 24 (whose 8-dot
    // mode has its dots 1/60 inch apart) are both the band's height.
    constexpr int kWidth = 60;
    out += kEsc + '3' + char(24);
    for (const QByteArray& band : eyeBands(kWidth, 3))
        out += "  " + kEsc + '*' + char(0) + char(kWidth % 256) + char(kWidth / 256) + band + kLineEnd;
    out += kSixthInch + kLineEnd;
    // Half an inch of bars in modules of 2 dots, the check digit added by the printer.
    const QByteArray digits = "789123456789";
    const QByteArray params = QByteArray("\x00\x02\x00\x5a\x00\x01", 6) + digits;
    out += "  " + kEsc + "(B" + char(params.size()) + char(0) + params;
    out += kLineEnd.repeated(5);
    return out;
}

} // namespace

QByteArray testPageBytes(const Settings& settings, const QDateTime& moment)
{
    const Encoding e = settings.encoding;
    QByteArray page = kReset;
    page += kEsc + "W1" + encoded(QStringLiteral("VELMORIX2"), e) + kEsc + "W0" +
            encoded(QStringLiteral("  página de teste"), e) + kLineEnd;
    page += settingsPart(settings, moment);
    page += heading(QStringLiteral("Réguas: 10, 12 e 17 caracteres por polegada"), e);
    page += ruler(80, QByteArray(), QByteArray());
    page += ruler(96, kEsc + 'M', kEsc + 'P');
    page += ruler(136, "\x0f", "\x12");
    page += sizesPart(e);
    page += lettersPart(e);
    page += stylesPart(e);
    page += imagePart(e);
    page += encoded(QStringLiteral("Fim da página de teste"), e) + kLineEnd + '\f';
    return page;
}

bool printTestPage(const Settings& settings, FileServices& files, Places& places, Clock& clock, Asker& asker,
                   PrintJob& printJob, WindowServices& window)
{
    const QDateTime moment = clock.now();
    const QByteArray page = testPageBytes(settings, moment);
    QByteArray folder = places.currentDirectory();
    if (!folder.endsWith('/'))
        folder += '/';
    const QByteArray stem = ".velmorix-teste-" + moment.toString(QStringLiteral("ddMMyyyyHHmmss")).toLatin1();
    QByteArray name;
    std::unique_ptr<ScratchFile> scratch;
    QString failed;
    for (int n = 0; !scratch && n < 10; ++n) {
        name = stem + (n > 0 ? '-' + QByteArray::number(n) : QByteArray()) + ".prn";
        scratch = files.createScratch(folder + name, &failed);
    }
    PrintError error;
    bool printed = false;
    if (!scratch) {
        error = PrintError::fromSystemText(failed);
    } else if (!scratch->write(page.constData(), page.size())) {
        error = PrintError::fromSystemText(scratch->errorString());
    } else {
        FilePrinter printer(files, asker, printJob);
        PrintedPart done;
        bool declined = false;
        bool rewritten = false;
        printed = printer.le_e_imprime(folder, name, QByteArray(kTestPageTitle), 0, QByteArray(), done,
                                       &declined, &rewritten, &error);
    }
    scratch.reset(); // removes it
    const QString title = QString::fromUtf8(kTestPageTitle);
    if (printed) {
        window.log(title + QStringLiteral(" impressa"));
        return true;
    }
    QString line = title + QStringLiteral(" não impressa");
    const QString motivo = motivo_falha(error);
    if (!motivo.isEmpty())
        line += QStringLiteral(" (") + motivo + u')';
    window.logFalha(line);
    window.aviso(title + QStringLiteral(" não impressa"), line);
    return false;
}
