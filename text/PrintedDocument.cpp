#include "text/PrintedDocument.h"

#include "text/Bytes.h"
#include "text/Encoding.h"

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

Document Document::ofPages(const DocumentShape& shape, const QList<PrintedPage>& pages)
{
    return Document(shape, [pages](const PageSink& sink) {
        for (PrintedPage page : pages)
            sink(std::move(page));
    });
}

QString drawnText(QByteArrayView bytes, CodePage::Encoding encoding, qsizetype column)
{
    QString text = CodePage::decode(bytes, encoding);
    if (!Bytes::contains(bytes, '\t')) // no byte but 9 decodes to a tab
        return text;
    QString out;
    out.reserve(text.size() + 16);
    for (const QChar ch : text) {
        if (ch == u'\t')
            out.append(QString(8 - (column + out.size()) % 8, u' '));
        else
            out.append(ch);
    }
    return out;
}
