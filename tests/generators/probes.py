#!/usr/bin/env python3
"""Writes a page of ESC/P probes for a 9-pin printer: words placed by absolute and relative
positions, margins with wrapping, tab stops, commands whose data must not print, a 1/216-inch
line spacing and a carriage-return overprint. Each probe word names where an Epson prints it:
X<n> starts n tenths of an inch from the left edge; Y-words stand 1/9 inch apart.
Usage: probes.py OUT.prn"""
import struct
import sys

ESC = b"\x1b"


def word(n):
    return struct.pack("<H", n & 0xFFFF)


page = bytearray(ESC + b"@")
# Absolute positions, 1/60 inch from the left margin.
page += b"X0" + ESC + b"$" + word(120) + b"X20" + ESC + b"$" + word(300) + b"X50"
page += ESC + b"$" + word(480) + b"X80\r\n"
# Relative positions, 1/120 inch on a 9-pin printer, forwards and back.
page += b"X0" + ESC + b"\\" + word(240) + b"X22" + ESC + b"\\" + word(-120) + b"X15\r\n"
# Margins of 1 and 3 inches (columns of pica): 20 characters a line, then the printer wraps.
page += ESC + b"l\x0a" + ESC + b"Q\x1e" + b"X10aaaaaaaaaaaaaaaaaX10b\r\n" + ESC + b"l\x00" + ESC + b"Q\x50"
# Tab stops at 2 and 4 inches, and the default stops every 8 columns after ESC @.
page += ESC + b"D\x14\x28\x00" + b"X0\tX20\tX40\r\n" + ESC + b"@" + b"X0\tX8\tX16\r\n"
# A carriage return overprints: X30 lands on the line of X00, not below it.
page += b"X00\r" + ESC + b"$" + word(180) + b"X30\r\n"
# 9-pin line spacing: 24/216 inch is 1/9 inch.
page += ESC + b"3\x18" + b"Y0\nY1\nY2\n"
# A reverse feed of 24/216 inch: YJ prints on Y2's line, three inches in.
page += ESC + b"j\x18" + ESC + b"$" + word(180) + b"YJ\n" + ESC + b"2"
# Commands with parameters and data that are letters and digits: none of them prints (the
# ESC/P 2 one last, as the printer reads 24-pin units after it). The 9-pin bit image of six
# columns at 60 dpi moves the head by a tenth of an inch.
page += b"X0" + ESC + b"&\x00AA" + b"K" * 12 + ESC + b"?K\x01" + ESC + b"\x191" + ESC + b"^\x00\x06\x00" + b"K" * 12
page += ESC + b"e1K" + ESC + b"XK1K" + ESC + b"iK" + ESC + b":\x00KK" + ESC + b"(x\x03\x00K1K" + b" X4\r\n"
page += b"\x0c"
with open(sys.argv[1], "wb") as f:
    f.write(page)
