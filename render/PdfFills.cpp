// The rules and fills of a page: box-drawing characters drawn as rectangles, the cells of one
// rule joined into one rectangle, written after the page's text.

#include "render/PdfTextRenderer.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace {

/// Whether @p b continues @p a to the right or downwards, as one rectangle; @p a grows to hold
/// both.
bool joined(QRectF& a, const QRectF& b)
{
    constexpr qreal kNear = 1e-3;
    if (std::abs(b.top() - a.top()) < kNear && std::abs(b.height() - a.height()) < kNear &&
        std::abs(b.left() - a.right()) < kNear) {
        a.setRight(b.right());
        return true;
    }
    if (std::abs(b.left() - a.left()) < kNear && std::abs(b.width() - a.width()) < kNear &&
        std::abs(b.top() - a.bottom()) < kNear) {
        a.setBottom(b.bottom());
        return true;
    }
    return false;
}

/// A character's arms that meet end to end (the two halves of a ║, of a ═) as one rectangle.
void joinPieces(BoxPieces& pieces)
{
    for (qsizetype i = 0; i < pieces.size(); ++i) {
        for (qsizetype k = i + 1; k < pieces.size();) {
            bool merged = false;
            if (pieces[k].gray == pieces[i].gray) {
                QRectF& first = pieces[i].rect;
                QRectF other = pieces[k].rect;
                if (joined(first, other)) {
                    merged = true;
                } else if (joined(other, first)) {
                    first = other;
                    merged = true;
                }
            }
            if (merged) {
                pieces.remove(k);
                k = i + 1;
            } else {
                ++k;
            }
        }
    }
}

} // namespace

void PdfTextRenderer::box(char16_t ch, const QRectF& cell)
{
    // A frame repeats the same few characters in cells of one size: their pieces are worked
    // out once, in a cell at the origin, and moved to each cell.
    const BoxShape* shape = nullptr;
    for (const BoxShape& known : std::as_const(m_boxShapes)) {
        if (known.ch == ch && known.size == cell.size()) {
            shape = &known;
            break;
        }
    }
    if (!shape) {
        if (m_boxShapes.size() >= 32)
            m_boxShapes.clear();
        BoxShape made{ch, cell.size(), {}};
        boxPieces(ch, QRectF(QPointF(), cell.size()), m_stroke, made.pieces);
        joinPieces(made.pieces);
        m_boxShapes.append(made);
        shape = &m_boxShapes.last();
    }
    for (const BoxPiece& piece : shape->pieces)
        fill(piece.rect.translated(cell.topLeft()), piece.gray);
}

void PdfTextRenderer::fill(const QRectF& r, qreal gray)
{
    // A rule drawn cell by cell (a frame's top, a row of shades) becomes one rectangle, and so
    // does a frame's side drawn line by line. Only the latest fills are looked at: the cells
    // that continue a rule are the ones of this line and the one before.
    constexpr qsizetype kLookBack = 64;
    for (qsizetype i = m_pending.size() - 1; i >= std::max<qsizetype>(0, m_pending.size() - kLookBack); --i) {
        if (m_pending[i].gray == gray && joined(m_pending[i].rect, r))
            return;
    }
    if (m_pending.size() >= 1024)
        flushFills();
    m_pending.append(Fill{r, gray});
}

void PdfTextRenderer::flushFills()
{
    for (const Fill& f : std::as_const(m_pending)) {
        if (f.gray != m_lastGray) {
            PdfFile::appendNumber(m_graphics, f.gray);
            m_graphics += "g\n";
            m_lastGray = f.gray;
        }
        PdfFile::appendNumber(m_graphics, f.rect.x());
        PdfFile::appendNumber(m_graphics, f.rect.y());
        PdfFile::appendNumber(m_graphics, f.rect.width());
        PdfFile::appendNumber(m_graphics, f.rect.height());
        m_graphics += "re f\n";
    }
    m_pending.clear();
}
