#pragma once

#include <QString>
#include <QVarLengthArray>

/// A stretch of a line drawn in one style. Today every run has the document's style; the
/// style of a run belongs here when lines come to mix them.
struct TextRun
{
    QString text;
};

/// One printed line: its runs, left to right from the left margin.
struct TextLine
{
    QVarLengthArray<TextRun, 1> runs;

    static TextLine plain(const QString& text)
    {
        TextLine line;
        line.runs.append(TextRun{text});
        return line;
    }
};

/// The face, style and size of a document.
struct TextStyle
{
    QString face;
    bool bold = false;
    bool italic = false;
    bool underline = false;
    float points = 10.0f;
};
