#include "settings/Paper.h"

#include <QByteArray>

namespace {

/// Upper case without the accents a Portuguese keyboard puts on these words.
QString folded(const QString& value)
{
    QString text = value.trimmed().toUpper();
    text.replace(u'Í', u'I').replace(u'Á', u'A').replace(u'Ç', u'C').replace(u',', u'.');
    return text;
}

} // namespace

std::optional<PaperSize> paperSizeOf(const QString& value)
{
    const QString text = folded(value);
    if (text.isEmpty())
        return PaperSize::QueueDefault;
    if (text == QLatin1String("A4"))
        return PaperSize::A4;
    if (text == QLatin1String("CARTA") || text == QLatin1String("LETTER"))
        return PaperSize::Letter;
    if (text == QLatin1String("OFICIO") || text == QLatin1String("LEGAL"))
        return PaperSize::Legal;
    if (text == QLatin1String("8.5X11"))
        return PaperSize::Form8x11;
    if (text == QLatin1String("8.5X12"))
        return PaperSize::Form8x12;
    return std::nullopt;
}

std::optional<PaperOrientation> paperOrientationOf(const QString& value)
{
    const QString text = folded(value);
    if (text.isEmpty() || text == QLatin1String("AUTOMATICA"))
        return PaperOrientation::Automatic;
    if (text == QLatin1String("RETRATO"))
        return PaperOrientation::Portrait;
    if (text == QLatin1String("PAISAGEM"))
        return PaperOrientation::Landscape;
    return std::nullopt;
}

QByteArray pwgMediaName(PaperSize paper)
{
    switch (paper) {
    case PaperSize::QueueDefault:
        break;
    case PaperSize::A4:
        return QByteArrayLiteral("iso_a4_210x297mm");
    case PaperSize::Letter:
        return QByteArrayLiteral("na_letter_8.5x11in");
    case PaperSize::Legal:
        return QByteArrayLiteral("na_legal_8.5x14in");
    case PaperSize::Form8x11:
        // A US fanfold form torn at 11 inches is a Letter sheet to the printer's driver.
        return QByteArrayLiteral("na_letter_8.5x11in");
    case PaperSize::Form8x12:
        return QByteArrayLiteral("custom_8.5x12in_8.5x12in");
    }
    return QByteArray();
}
