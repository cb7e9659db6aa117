#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

/// The sheet a graphical print-out is laid out on (PAPEL); the queue's own default unless chosen.
enum class PaperSize
{
    QueueDefault,
    A4,
    Letter,   ///< Carta, 8.5 x 11 in
    Legal,    ///< Ofício, 8.5 x 14 in
    Form8x11, ///< continuous form, 8.5 x 11 in
    Form8x12  ///< continuous form, 8.5 x 12 in
};

/// How the sheet is turned (ORIENTACAO): automatic turns it to landscape only for lines too wide.
enum class PaperOrientation
{
    Automatic,
    Portrait,
    Landscape
};

/// The paper a PAPEL value names, in any case and with or without accents: A4, CARTA or LETTER,
/// OFICIO or LEGAL, 8.5X11, 8.5X12; empty is the queue's default; nothing for any other text.
std::optional<PaperSize> paperSizeOf(const QString& value);
/// The orientation an ORIENTACAO value names: AUTOMATICA (or empty), RETRATO, PAISAGEM; nothing
/// for any other text.
std::optional<PaperOrientation> paperOrientationOf(const QString& value);
/// The PWG name of the medium CUPS is asked for; empty for the queue's default.
QByteArray pwgMediaName(PaperSize paper);
