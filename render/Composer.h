#pragma once

#include "render/Fitting.h"
#include "render/Renderer.h"
#include "text/PrintedDocument.h"

#include <QPageLayout>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

class EmbeddedFonts;
class PrintDocument;
class QIODevice;

/// How a document goes on the sheet: chosen once, before its first line.
struct Composition
{
    QPageLayout page; ///< the sheet, turned when the document is printed in landscape
    TextStyle style;  ///< the face at the size chosen
    Fit fit;          ///< size, orientation and whether lines wrap
    bool printerPage = false;
    /// A second face for characters the first lacks; empty for none.
    QString fallback;
};

/**
 * Lays a document out on sheets of a printer's medium and draws it into a PDF: decides size,
 * orientation, shrink and wrap for the whole document from its shape, then draws its pages as
 * they come, wrapping lines wider than the sheet.
 */
class Composer
{
public:
    explicit Composer(EmbeddedFonts& fonts, RenderPath path = RenderPath::Best);
    ~Composer();

    /// The size, orientation and wrap of a document of @p shape on sheets of @p media.
    static Composition compose(const DocumentShape& shape, const QPageLayout& media);

    /// The medium of the sheets and where the PDF goes, asked for when the first line is drawn:
    /// none, with *error set, when they cannot be had.
    using Output = std::function<QIODevice*(QPageLayout* media, QString* error)>;
    /// Draws @p document; false, with errorString(), when it could not. A document without a
    /// line asks for no output and draws nothing.
    bool render(const Document& document, const QString& title, const Output& output);
    /// Sheets drawn by the last render(); 0 when nothing was drawn.
    int pages() const { return m_pages; }
    QString errorString() const { return m_error; }

private:
    bool begin(const DocumentShape& shape, const QString& title, const Output& output);
    void page(const PrintedPage& page, bool first);
    void plainLine(const PrintedLine& line);
    void styledLine(const PrintedLine& line);
    /// Draws a line, wrapped where the document is wider than the sheet even at the smallest size.
    void draw(TextLine& line);
    void pictures(const PrintedPage& page);

    EmbeddedFonts& m_fonts;
    RenderPath m_path;
    CodePage::Encoding m_encoding = CodePage::Encoding::Windows1252;
    std::unique_ptr<PrintDocument> m_doc;
    bool m_failed = false;
    qreal m_cell = 0;   ///< advance of a character cell of the document's face and size, dots
    qreal m_unit = 0;   ///< dots per 1/360 inch of a printer's page
    qreal m_wrapAt = 0; ///< width lines wrap at, dots; 0 when they fit
    bool m_printerPage = false;
    bool m_overprints = false; ///< plain lines may hold parts a lone CR overprints
    int m_pages = 0;
    QString m_error;
};
