#pragma once

#include <QString>
#include <QVarLengthArray>

/// Faces of a styled run, as indexes.
enum RunFace : quint8
{
    Regular = 0,
    Bold = 1,
    Italic = 2,
    BoldItalic = 3
};

/// A stretch of a line drawn in one style. In a plain line every run has the document's style.
struct TextRun
{
    QString text;
    qreal x = 0;            ///< start, dots from the left margin (styled lines)
    quint8 face = Regular;  ///< RunFace (styled lines)
    qreal scale = 100;      ///< horizontal scaling, percent (styled lines)
    bool underline = false; ///< (styled lines)
    /// Glyphs drawn smaller or taller in their cells (styled lines): across and up as a share of
    /// the face's size (2/3 for super- and subscript, 2 tall for double height), the baseline
    /// raised by @c rise times the ascent (negative: lowered).
    qreal glyphWidth = 1;
    qreal glyphHeight = 1;
    qreal rise = 0;
};

/// One printed line: its runs, left to right from the left margin.
struct TextLine
{
    QVarLengthArray<TextRun, 4> runs;
    /// The runs carry their own place and style; a plain line's runs follow one another.
    bool styled = false;
    /// Feed to the next line, dots; 0 is the layout's line advance.
    qreal advance = 0;

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
