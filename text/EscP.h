#pragma once

#include "text/PrintedDocument.h"

#include <functional>

/// Reads a spool file written for an Epson dot-matrix printer (ESC/P), or a PCL one, into printed pages.
namespace EscP {
/// True when the file holds ESC, SI, SO, DC2 or DC4: it is printed through interpret(), not as plain text.
bool carriesPrinterCodes(QByteArrayView file);

/// True when the file starts as a PCL job does (ESC E then ESC & or ESC ( commands, maybe after PJL).
bool isPcl(QByteArrayView file);

/**
 * The pages the file prints: its text in styled runs, line feeds and page breaks, without any printer
 * command. Pages end at a form feed or when their form length is filled.
 */
PrintedDocument interpret(QByteArrayView file);

/// How the printer a file was written for reads it.
struct Options
{
    /// The form the printer starts with, in lines of 1/6 inch (at most kMostFormLines; 66 when 0),
    /// until the file sets its length.
    int formLines = 0;
    /// 9 for the FX/LX family (ESC 3 n is n/216 inch, ESC A n is n/72), 24 for the LQ family and
    /// ESC/P 2 (n/180, n/60). A file that uses an ESC/P 2 command is read as 24-pin from there on.
    int pins = 9;
};

using PageSink = ::PageSink;
/// The same pages handed to @p page one at a time as they end, so no more than one is held;
/// the document returned has no pages, only what is said of the whole.
PrintedDocument interpret(QByteArrayView file, const PageSink& page, const Options& options);
/// As above on a 9-pin printer whose form is @p lines lines (see Options::formLines).
PrintedDocument interpret(QByteArrayView file, const PageSink& page, int lines = 0);
/// The longest form a file can set in lines (ESC C with its largest count).
constexpr int kMostFormLines = 255;
} // namespace EscP
