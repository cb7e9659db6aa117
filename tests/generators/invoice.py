#!/usr/bin/env python3
"""Writes a DOS-style invoice as an Epson ESC/P print-out: three 66-line pages, no form feeds,
a CP850 box frame, bold and condensed lines, double width titles. Usage: invoice.py OUT"""
import sys

ESC, SI, DC2, SO = b"\x1b", b"\x0f", b"\x12", b"\x0e"
LINES = 66
WIDTH = 78


def cp850(text):
    return text.encode("cp850")


def page(number):
    lines = []
    lines.append(ESC + b"E" + SO + cp850(f"FATURA N\u00ba {1000 + number}") + ESC + b"F")
    lines.append(cp850("Cliente: Jos\u00e9 Concei\u00e7\u00e3o, S\u00e3o Paulo - Pre\u00e7o em R$"))
    lines.append(b"\xda" + b"\xc4" * (WIDTH - 2) + b"\xbf")
    for item in range(1, 41):
        desc = cp850(f" Item {item:02d} a\u00e7\u00facar refinado {item * 3:>6d} un {item * 1.25:>10.2f}")
        lines.append(b"\xb3" + desc.ljust(WIDTH - 2) + b"\xb3")
    lines.append(b"\xc0" + b"\xc4" * (WIDTH - 2) + b"\xd9")
    lines.append(SI + b"Condensed footnote: prices include taxes; 132 columns fit here." + DC2)
    lines.append(ESC + b"E" + b"TOTAL" + ESC + b"F" + b"  " + cp850(f"{number * 1234.5:.2f}"))
    while len(lines) < LINES:
        lines.append(b"")
    return lines


def main():
    out = ESC + b"@" + ESC + b"C" + bytes([LINES])
    for number in (1, 2, 3):
        out += b"".join(line + b"\r\n" for line in page(number))
    with open(sys.argv[1], "wb") as f:
        f.write(out)


if __name__ == "__main__":
    main()
