#pragma once

#include <QByteArray>
#include <QString>

#include <limits>

class Asker;
class FileServices;

/// Takes the lines of a spool file as they are read.
class LineSink
{
public:
    virtual ~LineSink() = default;
    /// A reading starts (again): whatever an earlier one gave is dropped.
    virtual void begin(qint64 sizeHint) = 0;
    virtual void line(QByteArrayView line) = 0;
    /// True when the sink takes a long line in parts (linePart(), then line() with the last
    /// part); false gives it every line whole.
    virtual bool takesParts() const = 0;
    /// The start of a long line, more parts and then line() with its last part to come.
    virtual void linePart(QByteArrayView part) = 0;
    /// True when the sink takes the file's bytes as they are read, unsplit and unchanged
    /// (bytes()), instead of its lines.
    virtual bool takesBytes() const = 0;
    /// The next bytes of the file, when the sink takes bytes.
    virtual void bytes(QByteArrayView bytes) = 0;
};

/// What reading one spool file gave.
struct LeituraConteudo
{
    bool ok = false;          ///< the whole file was read
    bool declined = false;    ///< the reading failed and the user declined to try again
    bool tooLarge = false;    ///< more bytes than the size limit: not read, or not read whole
    QByteArray text;          ///< the spool text (CR LF before every line)
    qint16 widestColumns = 0; ///< longest line without its surrounding blanks, at most 32,767; 0 for bytes
    QString error;
    qint64 bytesRead = 0;   ///< bytes of the file read, those skipped included
    QByteArray hash;        ///< fingerprint of all bytesRead bytes
    QByteArray skippedHash; ///< fingerprint of the skipped bytes, when a start was skipped
};

/// No limit on the bytes a reading takes.
constexpr qint64 kNoSizeLimit = std::numeric_limits<qint64>::max();

/**
 * Reads the spool file folder + fileName whole. When the first reading fails the user is
 * asked whether to try again; a second reading asks nothing. skipBytes leaves out the start of
 * the file: the part of it that was printed already. A file with more than sizeLimit bytes
 * after the skipped start is not read (its size is looked at first), or no further once it has
 * grown past the limit while being read: tooLarge is set, nothing is asked and nothing is kept.
 */
LeituraConteudo le_conteudo(const QByteArray& folder, const QByteArray& fileName, FileServices& files,
                            Asker& asker, qint64 skipBytes = 0, qint64 sizeLimit = kNoSizeLimit);
/// The same, giving the lines to a sink as they are read instead of keeping the text.
LeituraConteudo le_conteudo(const QByteArray& folder, const QByteArray& fileName, FileServices& files,
                            Asker& asker, qint64 skipBytes, LineSink& sink, qint64 sizeLimit = kNoSizeLimit);
