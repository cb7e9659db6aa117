#include "text/Barcode.h"

// Code 128 as ESC ( B writes it. Each code set leaves some bytes free of data, and those stand
// for its function and set-changing codes: 0x60-0x66 in set A, 0x19-0x1F in B, 0x3A-0x3C in C.
bool Barcode::code128Values(QByteArrayView data, QList<int>& values, QByteArray& text)
{
    if (data.size() < 2 || data[0] < 'A' || data[0] > 'C')
        return false;
    char set = data[0];
    values.append(103 + (set - 'A'));
    bool shifted = false;
    for (qsizetype i = 1; i < data.size(); ++i) {
        const auto c = static_cast<unsigned char>(data[i]);
        const char in = shifted ? (set == 'A' ? 'B' : 'A') : set;
        shifted = false;
        int value = -1;
        if (in == 'C') {
            if (c >= '0' && c <= '9' && i + 1 < data.size() && data[i + 1] >= '0' && data[i + 1] <= '9') {
                value = (c - '0') * 10 + (data[i + 1] - '0');
                text += data.sliced(i, 2);
                ++i;
            } else if (c >= 0x3A && c <= 0x3C) {
                value = 100 + (c - 0x3A); // code B, code A, FNC 1
            }
        } else if (in == 'A' && c < 0x60) {
            value = c < 0x20 ? c + 64 : c - 0x20;
        } else if (in == 'A' && c <= 0x66) {
            value = 96 + (c - 0x60);
        } else if (in == 'B' && c >= 0x20 && c < 0x80) {
            value = c - 0x20;
        } else if (in == 'B' && c >= 0x19 && c < 0x20) {
            value = 96 + (c - 0x19);
        }
        if (value < 0)
            return false;
        values.append(value);
        if (in == 'A' && c >= 0x20 && c < 0x60)
            text += char(c);
        else if (in == 'B' && c >= 0x20 && c < 0x7F)
            text += char(c);
        // The set changes: 99 to C; 100 to B (from A and C); 101 to A (from B and C); 98 shifts.
        if (value == 99 && in != 'C')
            set = 'C';
        else if (value == 100 && in != 'B')
            set = 'B';
        else if (value == 101 && in != 'A')
            set = 'A';
        else if (value == 98 && in != 'C')
            shifted = true;
    }
    return true;
}
