#include "text/Barcode.h"

#include <algorithm>
#include <cstring>

namespace {
using Barcode::Symbol;

bool allDigits(QByteArrayView data)
{
    return std::all_of(data.begin(), data.end(), [](char c) { return c >= '0' && c <= '9'; });
}

/// Appends a run of modules given as '1' (bar) and '0' (space), merging it with the last width
/// when it continues the same colour.
void appendModules(Symbol& s, const char* modules)
{
    for (const char* m = modules; *m; ++m) {
        const bool bar = *m == '1';
        if (!s.widths.isEmpty() && (s.widths.size() % 2 == 1) == bar)
            ++s.widths.last();
        else if (s.widths.isEmpty() && !bar)
            continue; // a symbol starts with a bar
        else
            s.widths.append(1);
    }
}

/// Appends element widths given as digits, starting with a bar when @p bar, else a space.
void appendWidths(Symbol& s, const char* widths, bool bar = true)
{
    for (const char* w = widths; *w; ++w, bar = !bar) {
        const auto width = static_cast<quint8>(*w - '0');
        if (!s.widths.isEmpty() && (s.widths.size() % 2 == 1) == bar)
            s.widths.last() += width;
        else
            s.widths.append(width);
    }
}

// EAN and UPC: the left-hand odd (L) digits; the even (G) ones are the right-hand (R) ones read
// backwards, and R is L with bars and spaces swapped.
constexpr const char* kEanL[10] = {"0001101", "0011001", "0010011", "0111101", "0100011",
                                   "0110001", "0101111", "0111011", "0110111", "0001011"};

QByteArray eanDigit(char digit, char set)
{
    QByteArray m = kEanL[digit - '0'];
    if (set == 'L')
        return m;
    for (char& c : m)
        c = c == '1' ? '0' : '1';
    if (set == 'G')
        std::reverse(m.begin(), m.end());
    return m;
}

/// The left-hand sets of EAN-13 by its first digit, and of UPC-E by its check digit (number
/// system 0; number system 1 takes the other set at each place).
constexpr const char* kEan13Sets[10] = {"LLLLLL", "LLGLGG", "LLGGLG", "LLGGGL", "LGLLGG",
                                        "LGGLLG", "LGGGLL", "LGLGLG", "LGLGGL", "LGGLGL"};
constexpr const char* kUpcESets[10] = {"GGGLLL", "GGLGLL", "GGLLGL", "GGLLLG", "GLGGLL",
                                       "GLLGGL", "GLLLGG", "GLGLGL", "GLGLLG", "GLLGLG"};

/// EAN-13 and UPC-A (an EAN-13 with a first 0) from 13 digits, and EAN-8 from 8.
Symbol ean(const QByteArray& digits)
{
    Symbol s;
    const bool eight = digits.size() == 8;
    const QByteArrayView body = eight ? QByteArrayView(digits) : QByteArrayView(digits).sliced(1);
    const char* sets = eight ? "LLLL" : kEan13Sets[digits[0] - '0'];
    const qsizetype half = body.size() / 2;
    appendModules(s, "101");
    for (qsizetype i = 0; i < half; ++i)
        appendModules(s, eanDigit(body[i], sets[i]).constData());
    appendModules(s, "01010");
    for (qsizetype i = half; i < body.size(); ++i)
        appendModules(s, eanDigit(body[i], 'R').constData());
    appendModules(s, "101");
    return s;
}

/// The eleven digits of the UPC-A a UPC-E number (system digit and six digits) stands for.
QByteArray expandUpcE(QByteArrayView d)
{
    const QByteArray x = d.sliced(1, 6).toByteArray();
    QByteArray body;
    switch (x[5]) {
    case '0':
    case '1':
    case '2':
        body = x.first(2) + x[5] + "0000" + x.sliced(2, 3);
        break;
    case '3':
        body = x.first(3) + "00000" + x.sliced(3, 2);
        break;
    case '4':
        body = x.first(4) + "00000" + x[4];
        break;
    default:
        body = x.first(5) + "0000" + x[5];
        break;
    }
    return d.first(1).toByteArray() + body;
}

/// The system digit and six digits of a UPC-E for the eleven of a UPC-A; empty when that UPC-A
/// has no short form.
QByteArray compressUpcA(QByteArrayView a)
{
    for (char last = '0'; last <= '9'; ++last) {
        QByteArray e = a.first(1).toByteArray();
        // the six digits that expand back to a, tried for each form
        const QByteArray m = a.sliced(1, 5).toByteArray(), p = a.sliced(6, 5).toByteArray();
        if (last <= '2')
            e += m.first(2) + p.sliced(2, 3) + last;
        else if (last == '3')
            e += m.first(3) + p.sliced(3, 2) + '3';
        else if (last == '4')
            e += m.first(4) + p[4] + '4';
        else
            e += m + p[4];
        if (expandUpcE(e) == a)
            return e;
    }
    return {};
}

Symbol upcE(QByteArrayView data, bool addCheck)
{
    // 6 digits (system 0), 7 with the system digit, or 8 with the check; or the UPC-A it
    // compresses, 11 digits or 12.
    QByteArray e;
    if (data.size() == 6)
        e = "0" + data.toByteArray();
    else if (data.size() == 7 || data.size() == 8)
        e = data.first(7).toByteArray();
    else if (data.size() == 11 || data.size() == 12)
        e = compressUpcA(data.first(11));
    if (e.size() != 7 || (e[0] != '0' && e[0] != '1') ||
        (data.size() != 6 && (data.size() == 8 || data.size() == 12) == addCheck))
        return {};
    const char check = data.size() == 8 || data.size() == 12 ? data.back() : Barcode::mod10(expandUpcE(e));
    Symbol s;
    appendModules(s, "101");
    const char* sets = kUpcESets[check - '0'];
    for (int i = 0; i < 6; ++i) {
        const char set = sets[i];
        appendModules(s, eanDigit(e[i + 1], e[0] == '0' ? set : set == 'L' ? 'G' : 'L').constData());
    }
    appendModules(s, "010101");
    s.text = e.first(1) + ' ' + e.sliced(1) + ' ' + check;
    return s;
}

// Interleaved 2 of 5: a digit in five bars (odd place) or five spaces (even), two of them wide.
constexpr const char* kI25[10] = {"11331", "31113", "13113", "33111", "11313",
                                  "31311", "13311", "11133", "31131", "13131"};

Symbol interleaved2of5(QByteArrayView data, bool addCheck)
{
    if (data.isEmpty() || !allDigits(data))
        return {};
    QByteArray digits = data.toByteArray();
    if (addCheck)
        digits += Barcode::mod10(digits);
    if (digits.size() % 2)
        digits.prepend('0'); // pairs only: a leading zero, as the printers add it
    Symbol s;
    appendWidths(s, "1111");
    for (qsizetype i = 0; i < digits.size(); i += 2) {
        const char* bars = kI25[digits[i] - '0'];
        const char* spaces = kI25[digits[i + 1] - '0'];
        const char pair[11] = {bars[0], spaces[0], bars[1], spaces[1], bars[2], spaces[2],
                               bars[3], spaces[3], bars[4], spaces[4], 0};
        appendWidths(s, pair);
    }
    appendWidths(s, "311");
    s.text = digits;
    return s;
}

// Code 39: nine elements, bars and spaces in turn, three of them wide ('1').
constexpr char kCode39Chars[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ-. $/+%";
constexpr const char* kCode39[44] = {
    "000110100", "100100001", "001100001", "101100000", "000110001", "100110000", "001110000", "000100101",
    "100100100", "001100100", "100001001", "001001001", "101001000", "000011001", "100011000", "001011000",
    "000001101", "100001100", "001001100", "000011100", "100000011", "001000011", "101000010", "000010011",
    "100010010", "001010010", "000000111", "100000110", "001000110", "000010110", "110000001", "011000001",
    "111000000", "010010001", "110010000", "011010000", "010000101", "110000100", "011000100", "010101000",
    "010100010", "010001010", "000101010", "010010100"}; // the last is the start and stop '*'

void appendCode39(Symbol& s, int value)
{
    char widths[11] = {};
    for (int i = 0; i < 9; ++i)
        widths[i] = kCode39[value][i] == '1' ? '3' : '1';
    widths[9] = '1'; // the gap between characters
    appendWidths(s, widths);
}

Symbol code39(QByteArrayView data, bool addCheck)
{
    if (data.isEmpty())
        return {};
    QByteArray text = data.toByteArray();
    int sum = 0;
    for (char c : data) {
        const char* at = c ? std::strchr(kCode39Chars, c) : nullptr;
        if (!at)
            return {};
        sum += int(at - kCode39Chars);
    }
    if (addCheck)
        text += kCode39Chars[sum % 43];
    Symbol s;
    appendCode39(s, 43);
    for (char c : text)
        appendCode39(s, int(std::strchr(kCode39Chars, c) - kCode39Chars));
    appendCode39(s, 43);
    s.widths.removeLast(); // no gap after the stop character
    s.text = '*' + text + '*';
    return s;
}

// Code 128: values 0 to 105 in six elements of eleven modules; 106 is the stop.
constexpr const char* kCode128[107] = {
    "212222", "222122", "222221", "121223", "121322", "131222", "122213", "122312", "132212", "221213",
    "221312", "231212", "112232", "122132", "122231", "113222", "123122", "123221", "223211", "221132",
    "221231", "213212", "223112", "312131", "311222", "321122", "321221", "312212", "322112", "322211",
    "212123", "212321", "232121", "111323", "131123", "131321", "112313", "132113", "132311", "211313",
    "231113", "231311", "112133", "112331", "132131", "113123", "113321", "133121", "313121", "211331",
    "231131", "213113", "213311", "213131", "311123", "311321", "331121", "312113", "312311", "332111",
    "314111", "221411", "431111", "111224", "111422", "121124", "121421", "141122", "141221", "112214",
    "112412", "122114", "122411", "142112", "142211", "241211", "221114", "413111", "241112", "134111",
    "111242", "121142", "121241", "114212", "124112", "124211", "411212", "421112", "421211", "212141",
    "214121", "412121", "111143", "111341", "131141", "114113", "114311", "411113", "411311", "113141",
    "114131", "311141", "411131", "211412", "211214", "211232", "2331112"};

Symbol code128(QByteArrayView data)
{
    QList<int> values;
    QByteArray text;
    if (!Barcode::code128Values(data, values, text))
        return {};
    int sum = values[0];
    for (qsizetype i = 1; i < values.size(); ++i)
        sum += int(i) * values[i];
    values.append(sum % 103);
    values.append(106);
    Symbol s;
    for (int v : values)
        appendWidths(s, kCode128[v]);
    s.text = text;
    return s;
}

// POSTNET: five bars a digit, two of them tall, between two tall frame bars.
constexpr const char* kPostnet[10] = {"11000", "00011", "00101", "00110", "01001",
                                      "01010", "01100", "10001", "10010", "10100"};

Symbol postnet(QByteArrayView data, bool addCheck)
{
    const qsizetype digits = data.size() + (addCheck ? 1 : 0);
    if (!allDigits(data) || (digits != 6 && digits != 10 && digits != 12))
        return {};
    QByteArray all = data.toByteArray();
    if (addCheck) {
        int sum = 0;
        for (char c : data)
            sum += c - '0';
        all += char('0' + (10 - sum % 10) % 10);
    }
    QByteArray tall = "1";
    for (char c : all)
        tall += kPostnet[c - '0'];
    tall += '1';
    Symbol s;
    for (char t : tall) {
        s.widths << 1 << 1;
        s.shortBars.append(t == '0');
    }
    s.widths.removeLast();
    return s;
}

/// EAN-13, EAN-8 and UPC-A: @p length digits with the check, one fewer when the printer adds it.
Symbol eanFamily(QByteArrayView data, bool addCheck, qsizetype length, bool upc)
{
    if (!allDigits(data) || data.size() != length - (addCheck ? 1 : 0))
        return {};
    QByteArray digits = data.toByteArray();
    if (addCheck)
        digits += Barcode::mod10(digits);
    Symbol s = ean(upc ? "0" + digits : digits);
    const qsizetype half = length / 2;
    if (upc)
        s.text =
            digits.first(1) + ' ' + digits.sliced(1, 5) + ' ' + digits.sliced(6, 5) + ' ' + digits.back();
    else if (length == 8)
        s.text = digits.first(4) + ' ' + digits.sliced(4);
    else
        s.text = digits.first(1) + ' ' + digits.sliced(1, half) + ' ' + digits.sliced(1 + half);
    return s;
}
} // namespace

int Barcode::Symbol::modules() const
{
    int sum = 0;
    for (quint8 w : widths)
        sum += w;
    return sum;
}

QByteArray Barcode::Symbol::pattern() const
{
    QByteArray p;
    for (qsizetype i = 0; i < widths.size(); ++i) {
        const bool bar = i % 2 == 0;
        const char c = !bar ? '0' : i / 2 < shortBars.size() && shortBars[i / 2] ? 's' : '1';
        p += QByteArray(widths[i], c);
    }
    return p;
}

char Barcode::mod10(QByteArrayView digits)
{
    int sum = 0;
    for (qsizetype i = 0; i < digits.size(); ++i)
        sum += (digits[digits.size() - 1 - i] - '0') * (i % 2 == 0 ? 3 : 1);
    return char('0' + (10 - sum % 10) % 10);
}

Barcode::Symbol Barcode::encode(Kind kind, QByteArrayView data, bool addCheck)
{
    switch (kind) {
    case Kind::Ean13:
        return eanFamily(data, addCheck, 13, false);
    case Kind::Ean8:
        return eanFamily(data, addCheck, 8, false);
    case Kind::UpcA:
        return eanFamily(data, addCheck, 12, true);
    case Kind::UpcE:
        return allDigits(data) ? upcE(data, addCheck) : Symbol();
    case Kind::Interleaved2of5:
        return interleaved2of5(data, addCheck);
    case Kind::Code39:
        return code39(data, addCheck);
    case Kind::Code128:
        return code128(data);
    case Kind::Postnet:
        return postnet(data, addCheck);
    }
    return {};
}
