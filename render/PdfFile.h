#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <memory>

class QIODevice;
struct libdeflate_compressor;

/// The body of a PDF file being written: its bytes, and the object table that numbers the
/// objects and records where each begins for the cross-reference table.
class PdfFile
{
public:
    explicit PdfFile(QIODevice* out);
    ~PdfFile();

    /// A new object number; its object may be written later.
    int newObject();
    /// Starts writing the object @p id here.
    void startObject(int id);
    void write(const QByteArray& bytes);
    /// Writes the started object as a stream: the dictionary with @p entries (PDF keys besides
    /// /Length and /Filter), then @p data, Flate-compressed where that makes it smaller.
    void writeStream(const QByteArray& entries, const char* data, qsizetype size);
    /// Writes object @p id as a stream of @p data, compressed on a thread of its own while the
    /// caller goes on (the next pages are built meanwhile): the object is written a little later,
    /// at the latest by finish(). @p data is taken, and an emptied buffer given back in its place.
    void writeStreamSoon(int id, QByteArray& data);
    /// Writes the cross-reference table and the trailer; false when any write failed.
    bool finish(int catalog, int info);
    bool failed() const { return m_failed; }

    /// "id 0 R".
    static QByteArray ref(int id);
    /// A number as PDF writes it: at most six decimals, no trailing zeros.
    static QByteArray number(double value);
    /// Appends a number with at most two decimals, then @p after: quick, for the many
    /// coordinates of styled lines and rules (a hundredth of a dot is far below a printer's).
    static void appendNumber(QByteArray& out, double value, char after = ' ');
    /// The same number written at @p out, which has room for kNumberRoom bytes; returns the end.
    static char* writeNumber(char* out, double value, char after = ' ');
    static constexpr qsizetype kNumberRoom = 32;
    /// @p data in the zlib format, at compression @p level (1 to 12): for what is compressed
    /// once and written many times.
    static QByteArray deflated(QByteArrayView data, int level);
    /// A text string as UTF-16 with its byte order mark, in hexadecimal.
    static QByteArray text(QStringView text);
    /// The same string written at @p out, which has room for 6 + 4 × its length bytes; returns
    /// the end.
    static char* writeText(char* out, QStringView text);

private:
    struct Packer;
    /// Writes the streams the packer has compressed, and waits for more until at most @p keep
    /// are left with it; gives back the emptied buffer of one written, for the next page.
    QByteArray writePacked(qsizetype keep);
    void writeStreamObject(const QByteArray& entries, const char* data, qsizetype size,
                           const QByteArray& packed, qsizetype packedSize);

    QIODevice* m_out;
    qint64 m_offset = 0;
    bool m_failed = false;
    QList<qint64> m_offsets; // index = object number - 1
    /// One compressor for all streams of the document, reset between them.
    struct FreeCompressor
    {
        void operator()(libdeflate_compressor* compressor) const;
    };
    std::unique_ptr<libdeflate_compressor, FreeCompressor> m_deflate;
    QByteArray m_packed; // a compressed stream, its room kept for the next
    std::unique_ptr<Packer> m_packer;
};
