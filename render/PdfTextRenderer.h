#pragma once

#include "render/PdfFile.h"
#include "render/Renderer.h"

#include <QList>

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
    /// @p raw is the face at the pixel size the lines are drawn.
    PdfTextRenderer(std::shared_ptr<const EmbeddedFont> font, const QRawFont& raw);

    bool begin(QIODevice* out, const PageLayout& layout, const QString& title) override;
    void beginPage() override;
    void drawLine(const TextLine& line, qreal baseline) override;
    bool finish() override;

private:
    void endPage();
    void writeFont(int fontObject);
    void appendRun(const QString& text, qreal baseline);

    std::shared_ptr<const EmbeddedFont> m_font;
    std::optional<PdfFile> m_file;
    int m_catalog = 0;
    int m_pages = 0;
    int m_info = 0;
    int m_resources = 0;
    QList<int> m_pageObjects;

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
