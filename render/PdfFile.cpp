#include "render/PdfFile.h"

#include <cstring>

#include <QIODevice>

#include <cmath>
#include <condition_variable>
#include <deque>
#include <libdeflate.h>
#include <mutex>
#include <thread>

namespace {

/// Streams shorter than this are written as they are: zlib's header and checksum would eat the
/// little they save.
constexpr qsizetype kSmallestPacked = 128;

/// Compresses @p size bytes at @p data into @p packed with @p compressor, made at the first use
/// and kept: the size compressed, 0 when the stream is better left as it is.
template <typename Compressor>
qsizetype pack(Compressor& compressor, const char* data, qsizetype size, QByteArray& packed)
{
    if (size < kSmallestPacked)
        return 0;
    // The fastest level: a page of text shrinks to about a seventh all the same, and the time
    // spent here is added to every page of every job.
    if (!compressor)
        compressor.reset(libdeflate_alloc_compressor(1));
    if (!compressor)
        return 0;
    const auto bound = qsizetype(libdeflate_zlib_compress_bound(compressor.get(), size_t(size)));
    if (packed.size() < bound)
        packed.resize(bound);
    const auto packedSize = qsizetype(
        libdeflate_zlib_compress(compressor.get(), data, size_t(size), packed.data(), size_t(bound)));
    return packedSize < size ? packedSize : 0;
}

} // namespace

/// A thread that compresses the streams handed to it, in order, while the document goes on
/// being built. It is woken for a few streams at a time: waking a thread costs about as much as
/// compressing a page. Compressing a page can take longer than building it: then the document's
/// own thread, rather than wait for a stream to be done, compresses the next one itself.
struct PdfFile::Packer
{
    static constexpr qsizetype kBatch = 4; // streams waiting before the thread is woken
    static constexpr qsizetype kMost = 16; // streams held at most, compressed or not

    struct Stream
    {
        int id = 0;
        QByteArray data;
        QByteArray packed;
        qsizetype packedSize = 0;
        bool done = false;
    };
    std::mutex mutex;
    std::condition_variable changed;
    std::deque<Stream> streams; // in the order handed over; the first `claimed` are taken
    qsizetype claimed = 0;
    bool quit = false;
    std::unique_ptr<libdeflate_compressor, FreeCompressor> compressor;    // the thread's
    std::unique_ptr<libdeflate_compressor, FreeCompressor> ownCompressor; // the document's thread's
    std::thread thread{[this] { run(); }}; // last: it starts with everything above made

    ~Packer()
    {
        {
            const std::lock_guard<std::mutex> lock(mutex);
            quit = true;
        }
        changed.notify_all();
        thread.join();
    }

    /// Compresses the next stream no one has taken, with @p with; the lock is held on entry and
    /// on return, and let go meanwhile.
    void packNext(std::unique_lock<std::mutex>& lock,
                  std::unique_ptr<libdeflate_compressor, FreeCompressor>& with)
    {
        // The deque's elements stay where they are while others are added, and a stream is
        // taken off its front only once done.
        Stream& stream = streams[size_t(claimed++)];
        lock.unlock();
        stream.packedSize = pack(with, stream.data.constData(), stream.data.size(), stream.packed);
        lock.lock();
        stream.done = true;
        changed.notify_all();
    }

    void run()
    {
        std::unique_lock<std::mutex> lock(mutex);
        while (true) {
            changed.wait(lock, [this] { return quit || claimed < qsizetype(streams.size()); });
            if (claimed == qsizetype(streams.size()))
                return;
            packNext(lock, compressor);
        }
    }
};

PdfFile::PdfFile(QIODevice* out) : m_out(out)
{
    write("%PDF-1.4\n%\xE2\xE3\xCF\xD3\n");
}

PdfFile::~PdfFile() = default;

void PdfFile::FreeCompressor::operator()(libdeflate_compressor* compressor) const
{
    libdeflate_free_compressor(compressor);
}

int PdfFile::newObject()
{
    m_offsets.append(0);
    return int(m_offsets.size());
}

void PdfFile::startObject(int id)
{
    m_offsets[id - 1] = m_offset;
    write(QByteArray::number(id) + " 0 obj\n");
}

void PdfFile::write(const QByteArray& bytes)
{
    if (m_failed)
        return;
    if (m_out->write(bytes) != bytes.size())
        m_failed = true;
    m_offset += bytes.size();
}

void PdfFile::writeStream(const QByteArray& entries, const char* data, qsizetype size)
{
    const qsizetype packedSize = pack(m_deflate, data, size, m_packed);
    writeStreamObject(entries, data, size, m_packed, packedSize);
}

void PdfFile::writeStreamObject(const QByteArray& entries, const char* data, qsizetype size,
                                const QByteArray& packed, qsizetype packedSize)
{
    const qsizetype length = packedSize > 0 ? packedSize : size;
    QByteArray dict =
        "<< " + entries + (entries.isEmpty() ? "" : " ") + "/Length " + QByteArray::number(length);
    if (packedSize > 0)
        dict += " /Filter /FlateDecode";
    write(dict + " >>\nstream\n");
    write(QByteArray::fromRawData(packedSize > 0 ? packed.constData() : data, length));
    write("\nendstream\nendobj\n");
}

void PdfFile::writeStreamSoon(int id, QByteArray& data)
{
    if (!m_packer)
        m_packer = std::make_unique<Packer>();
    QByteArray spare = writePacked(Packer::kMost - 1);
    std::unique_lock<std::mutex> lock(m_packer->mutex);
    m_packer->streams.push_back(Packer::Stream{id, QByteArray(), std::move(spare), 0});
    std::swap(m_packer->streams.back().data, data);
    const bool wake = qsizetype(m_packer->streams.size()) - m_packer->claimed >= Packer::kBatch;
    lock.unlock();
    if (wake)
        m_packer->changed.notify_all();
    data.truncate(0);
}

QByteArray PdfFile::writePacked(qsizetype keep)
{
    QByteArray spare;
    if (!m_packer)
        return spare;
    std::unique_lock<std::mutex> lock(m_packer->mutex);
    // Only as many as must go are written, whether or not more are done: where the streams
    // stand among the other objects then depends on the document alone, never on the thread's
    // pace, and the same document gives the same file.
    while (qsizetype(m_packer->streams.size()) > keep) {
        if (!m_packer->streams.front().done) {
            if (m_packer->claimed < qsizetype(m_packer->streams.size()))
                m_packer->packNext(lock, m_packer->ownCompressor);
            else
                m_packer->changed.wait(lock, [this] { return m_packer->streams.front().done; });
            continue;
        }
        Packer::Stream stream = std::move(m_packer->streams.front());
        m_packer->streams.pop_front();
        --m_packer->claimed;
        lock.unlock();
        startObject(stream.id);
        writeStreamObject(QByteArray(), stream.data.constData(), stream.data.size(), stream.packed,
                          stream.packedSize);
        spare = std::move(stream.data);
        lock.lock();
    }
    spare.truncate(0);
    return spare;
}

bool PdfFile::finish(int catalog, int info)
{
    writePacked(0);
    const qint64 xref = m_offset;
    QByteArray table = "xref\n0 " + QByteArray::number(m_offsets.size() + 1) + "\n0000000000 65535 f \n";
    for (const qint64 offset : std::as_const(m_offsets))
        table += QByteArray::number(offset).rightJustified(10, '0') + " 00000 n \n";
    write(table);
    write("trailer\n<< /Size " + QByteArray::number(m_offsets.size() + 1) + " /Root " + ref(catalog) +
          " /Info " + ref(info) + " >>\nstartxref\n" + QByteArray::number(xref) + "\n%%EOF\n");
    return !m_failed;
}

QByteArray PdfFile::ref(int id)
{
    return QByteArray::number(id) + " 0 R";
}

QByteArray PdfFile::number(double value)
{
    if (std::abs(value - std::round(value)) < 1e-9)
        return QByteArray::number(qint64(std::llround(value)));
    QByteArray text = QByteArray::number(value, 'f', 6);
    while (text.endsWith('0'))
        text.chop(1);
    if (text.endsWith('.'))
        text.chop(1);
    return text == "-0" ? QByteArray("0") : text;
}

char* PdfFile::writeNumber(char* out, double value, char after)
{
    char buffer[32];
    char* end = buffer + sizeof buffer;
    char* p = end;
    *--p = after;
    long long hundredths = std::llround(value * 100);
    const bool negative = hundredths < 0;
    if (negative)
        hundredths = -hundredths;
    if (const int cents = int(hundredths % 100)) {
        if (cents % 10)
            *--p = char('0' + cents % 10);
        *--p = char('0' + cents / 10);
        *--p = '.';
    }
    long long whole = hundredths / 100;
    do {
        *--p = char('0' + whole % 10);
        whole /= 10;
    } while (whole);
    if (negative && hundredths != 0)
        *--p = '-';
    std::memcpy(out, p, size_t(end - p));
    return out + (end - p);
}

void PdfFile::appendNumber(QByteArray& out, double value, char after)
{
    char buffer[kNumberRoom];
    out.append(buffer, writeNumber(buffer, value, after) - buffer);
}

QByteArray PdfFile::deflated(QByteArrayView data, int level)
{
    const std::unique_ptr<libdeflate_compressor, FreeCompressor> compressor(
        libdeflate_alloc_compressor(level));
    if (!compressor)
        return QByteArray();
    QByteArray packed(qsizetype(libdeflate_zlib_compress_bound(compressor.get(), size_t(data.size()))),
                      Qt::Uninitialized);
    packed.truncate(qsizetype(libdeflate_zlib_compress(compressor.get(), data.data(), size_t(data.size()),
                                                       packed.data(), size_t(packed.size()))));
    return packed;
}

char* PdfFile::writeText(char* out, QStringView text)
{
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::memcpy(out, "<FEFF", 5);
    out += 5;
    for (const QChar ch : text) {
        const char16_t u = ch.unicode();
        *out++ = kHex[u >> 12];
        *out++ = kHex[(u >> 8) & 0xF];
        *out++ = kHex[(u >> 4) & 0xF];
        *out++ = kHex[u & 0xF];
    }
    *out++ = '>';
    return out;
}

QByteArray PdfFile::text(QStringView text)
{
    QByteArray bytes(6 + text.size() * 4, Qt::Uninitialized);
    writeText(bytes.data(), text);
    return bytes;
}
