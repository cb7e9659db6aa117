#pragma once

#include "render/BoxGlyphs.h"
#include "render/PdfFile.h"
#include "render/Renderer.h"

#include <QList>
#include <QVarLengthArray>

#include <array>
#include <functional>

#include <memory>
#include <optional>

struct EmbeddedFont;

/**
 * Lines written directly as PDF text: one text object per page, one show operator per line,
 * the face's file embedded whole. Coordinates, page boxes and the line advance follow Qt's
 * PDF engine with the same page layout and resolution, so a page looks as the painter draws it.
 */
class PdfTextRenderer : public Renderer
{
public:
    /// Finds the file of a styled run's face (RunFace); null where the regular one stands in.
    using FaceLoader = std::function<std::shared_ptr<const EmbeddedFont>(int face)>;
    /// @p raw is the face at the pixel size the lines are drawn. @p styles loads the bold, italic
    /// and bold italic faces when a run first needs them.
    PdfTextRenderer(std::shared_ptr<const EmbeddedFont> font, const QRawFont& raw, FaceLoader styles = {});

    bool begin(QIODevice* out, const PageLayout& layout, const QString& title) override;
    void beginPage() override;
    void drawLine(const TextLine& line, qreal baseline) override;
    void drawRule(const QRectF& rect) override;
    void drawImage(const PageImage& image, const QRectF& place) override;
    bool finish() override;

private:
    void endPage();
    void writeFont(int fontObject, const EmbeddedFont& font);
    void appendRun(const QString& text, qreal baseline);
    void drawStyled(const TextLine& line, qreal baseline);
    /// Opens the text object and selects face @p face at scaling @p scale where they differ.
    void textState(int face, qreal scale);
    /// Draws a box-drawing or block character in its cell.
    void box(char16_t ch, const QRectF& cell);
    void fill(const QRectF& rect, qreal gray);
    void flushFills();

    std::shared_ptr<const EmbeddedFont> m_font;
    std::array<std::shared_ptr<const EmbeddedFont>, 4> m_faces;
    FaceLoader m_loader;
    std::array<bool, 4> m_faceUsed{};
    qreal m_pixelSize = 0;
    qreal m_charSpacing = 0;
    qreal m_cell = 0; // advance of a character, dots
    qreal m_ascent = 0;
    qreal m_underline = 0; // below the baseline, dots
    qreal m_stroke = 0;    // a light rule or an underline
    int m_face = 0;        // the text state's face and scaling
    qreal m_scale = 100;
    QByteArray m_graphics; // rules and fills of the page, drawn after its text
    qreal m_lastGray = -1;
    struct Fill
    {
        QRectF rect;
        qreal gray = 0;
    };
    QVarLengthArray<Fill, 8> m_pending; // fills of the page that the next cells may extend
    QByteArray m_shown;                 // a styled run's bytes, escaped
    struct RuleSpan
    {
        qsizetype start = 0; // box characters [start, end) of the run
        qsizetype end = 0;
        qsizetype shownAt = 0; // their blanks in m_shown
    };
    QVarLengthArray<RuleSpan, 8> m_ruleSpans;
    struct BoxShape
    {
        char16_t ch = 0;
        QSizeF size;
        BoxPieces pieces; // in a cell at the origin
    };
    QVarLengthArray<BoxShape, 8> m_boxShapes;
    std::optional<PdfFile> m_file;
    int m_catalog = 0;
    int m_pages = 0;
    int m_info = 0;
    int m_resources = 0;
    QList<int> m_pageObjects;
    QByteArray m_images; // names and objects of the images, for the resources

    qsizetype m_lastPageSize = 0;
    QByteArray m_pageStart; // the device space of Qt's engine
    QByteArray m_mediaBox;

    QByteArray m_fontSelect; // Tf, TL and Tc of the face
    qreal m_lineHeight = 0;
    qreal m_gapAdjust = 0; // TJ shift of a gap where it is not a blank's width

    bool m_pageOpen = false;
    QByteArray m_content;
    bool m_positioned = false; // the text matrix is on the last baseline
    bool m_fontSet = false;    // the page's text state has the face
    qreal m_lastBaseline = 0;
};
