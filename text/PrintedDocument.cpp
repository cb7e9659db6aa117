#include "text/PrintedDocument.h"

double charactersPerInch(Pitch pitch)
{
    switch (pitch) {
    case Pitch::Elite:
        return 12;
    case Pitch::Fifteen:
        return 15;
    case Pitch::CondensedPica:
        return 120.0 / 7; // the 10 cpi face at 7/12 of its width
    case Pitch::CondensedElite:
        return 20;
    case Pitch::Pica:
        break;
    }
    return 10;
}

QByteArray PrintedLine::text() const
{
    QByteArray out;
    for (const StyledRun& run : runs)
        out += run.text;
    return out;
}
