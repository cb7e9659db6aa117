#pragma once

#include <QByteArray>
#include <QString>

class Asker;
class FileServices;
class PutAwayFile;

/// Takes the lines of a spool file as they are read.
class LineSink
{
public:
    virtual ~LineSink() = default;
    /// A reading starts (again): whatever an earlier one gave is dropped.
    virtual void begin(qint64 sizeHint) = 0;
    virtual void line(QByteArrayView line) = 0;
    /// Takes the start of a long line, more parts and then line() with its last part to come;
    /// a sink that does not override it is given every line whole.
    virtual bool takesParts() const { return false; }
    virtual void linePart(QByteArrayView part) { (void)part; }
};

/// What reading one spool file gave.
struct LeituraConteudo
{
    bool ok = false;        ///< the whole file was read
    bool declined = false;  ///< the reading failed and the user declined to try again
    QByteArray text;        ///< the spool text (CR LF before every line)
    qint16 iMaxColunas = 0; ///< longest line without its surrounding blanks, at most 32,767
    QString error;
    qint64 bytesRead = 0;   ///< bytes of the file read, those skipped included
    QByteArray hash;        ///< fingerprint of all bytesRead bytes
    QByteArray skippedHash; ///< fingerprint of the skipped bytes, when a start was skipped
};

/**
 * Reads the spool file sRota + strArquivo whole. When the first reading fails the user is
 * asked whether to try again; a second reading asks nothing. skipBytes leaves out the start of
 * the file: the part of it that was printed already.
 */
LeituraConteudo le_conteudo(const QByteArray& sRota, const QByteArray& strArquivo, FileServices& files,
                            Asker& asker, qint64 skipBytes = 0);
/// The same, giving the lines to a sink as they are read instead of keeping the text.
LeituraConteudo le_conteudo(const QByteArray& sRota, const QByteArray& strArquivo, FileServices& files,
                            Asker& asker, qint64 skipBytes, LineSink& sink);
/// The same, from a spool file put away meanwhile; a failed reading asks nothing.
LeituraConteudo le_conteudo(PutAwayFile& file, qint64 skipBytes, LineSink& sink);
LeituraConteudo le_conteudo(PutAwayFile& file, qint64 skipBytes);
