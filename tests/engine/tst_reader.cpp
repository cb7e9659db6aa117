// Reading one spool file into the spool text, with its longest-line measure and the retry question.

#include "spool/Fingerprint.h"
#include "spool/RawOutput.h"
#include "spool/Reader.h"
#include "tests/support/Doubles.h"
#include "tests/support/RecordingRawPort.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

class TestReader : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void text_data();
    void text();
    void measureHoldsAtMost32767_data();
    void measureHoldsAtMost32767();
    void lineEndAcrossReadBlocks_data();
    void lineEndAcrossReadBlocks();
    void fingerprintTakenWhileReading_data();
    void fingerprintTakenWhileReading();
    void missingFileAsksAndNoDeclines();
    void yesReadsTheFileOnceItIsThere();
    void secondFailureAsksNothingMore();
    void failurePartwayRetriedGivesTextOnce();
    void failurePartwayDeclinedKeepsMeasureReached();
    void secondReadingStartsMeasureAgain();
    void sizeLimit_data();
    void sizeLimit();
    void rawLongLineGoesInParts();

private:
    QByteArray folder() const { return QFile::encodeName(m_dir.path()) + '/'; }
    LeituraConteudo read(const QByteArray& name) { return le_conteudo(folder(), name, *m_files, *m_asker); }

    QTemporaryDir m_dir;
    std::unique_ptr<TestFileServices> m_files;
    std::unique_ptr<ScriptedAsker> m_asker;
};

void TestReader::init()
{
    QVERIFY(m_dir.isValid());
    m_files = std::make_unique<TestFileServices>();
    m_asker = std::make_unique<ScriptedAsker>();
}

void TestReader::text_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<int>("measure");

    QTest::newRow("CR LF after every line") << QByteArray("A\r\nB\r\n") << QByteArray("\r\nA\r\nB") << 1;
    QTest::newRow("no line end after the last line") << QByteArray("A\r\nB") << QByteArray("\r\nA\r\nB") << 1;
    QTest::newRow("empty file") << QByteArray() << QByteArray() << 0;
    QTest::newRow("one empty line") << QByteArray("\r\n") << QByteArray("\r\n") << 0;
    QTest::newRow("empty line in between")
        << QByteArray("A\r\n\r\nB\r\n") << QByteArray("\r\nA\r\n\r\nB") << 1;
    QTest::newRow("blanks around are not counted")
        << QByteArray("    TOTAL   \r\n") << QByteArray("\r\n    TOTAL   ") << 5;
    QTest::newRow("blanks only count 0") << QByteArray("      \r\n") << QByteArray("\r\n      ") << 0;
    QTest::newRow("tabs count") << QByteArray("\tX\t\r\n") << QByteArray("\r\n\tX\t") << 3;
    QTest::newRow("form feed kept and counted")
        << QByteArray("AB\r\n\fPAGE 2\r\n") << QByteArray("\r\nAB\r\n\fPAGE 2") << 7;
    QTest::newRow("LF only") << QByteArray("A\nBB\n\nC\n") << QByteArray("\r\nA\r\nBB\r\n\r\nC") << 2;
    QTest::newRow("CR only") << QByteArray("A\rBB\r\rC") << QByteArray("\r\nA\r\nBB\r\n\r\nC") << 2;
    QTest::newRow("CR before CR LF overprints nothing")
        << QByteArray("A\r\r\nB") << QByteArray("\r\nA\r\r\nB") << 1;
    QTest::newRow("LF CR is one line end") << QByteArray("A\n\rB") << QByteArray("\r\nA\r\nB") << 1;
    QTest::newRow("overprinted parts measured each")
        << QByteArray("  TOTAL 123\r  _________   \n") << QByteArray("\r\n  TOTAL 123\r  _________   ") << 9;
    QTest::newRow("high bytes and NULs as they are")
        << QByteArray("\x80\xE7\xFF\x00Z \r\n\x00\x00", 10)
        << QByteArray("\r\n\x80\xE7\xFF\x00Z \r\n\x00\x00", 12) << 5;
    QTest::newRow("end-of-file mark is a byte like others") << QByteArray("A\x1A"
                                                                          "B\r\n")
                                                            << QByteArray("\r\nA\x1A"
                                                                          "B")
                                                            << 3;
    QTest::newRow("bit-image data keeps its line-end bytes")
        << QByteArray("A\033K\003\000\r\n\nB\r\nC\033*\040\001\000\r\r\rD", 22)
        << QByteArray("\r\nA\033K\003\000\r\n\nB\r\nC\033*\040\001\000\r\r\rD", 24) << 6;
    QTest::newRow("cut-short bit image")
        << QByteArray("A\033L\011\000\n\n") << QByteArray("\r\nA\033L\011\000\n\n") << 4;
    QTest::newRow("line end after a parameter")
        << QByteArray("\033A\014\nB") << QByteArray("\r\n\033A\014\r\nB") << 3;
    // Lines longer than a read block come into the text in parts: blanks around are still found.
    const QByteArray wide =
        QByteArray(200000, ' ') + 'A' + QByteArray(30000, ' ') + 'B' + QByteArray(200000, ' ');
    QTest::newRow("long line, blanks around in other parts") << wide + "\r\nC"
                                                             << "\r\n" + wide + "\r\nC" << 30002;
    const QByteArray last(600000, 'x');
    QTest::newRow("long last line without a line end") << last << "\r\n" + last << 32767;
}

void TestReader::text()
{
    QFETCH(QByteArray, file);
    QFETCH(QByteArray, text);
    QFETCH(int, measure);

    QVERIFY(writeBytes(m_dir.filePath("REL.TXT"), file));
    const LeituraConteudo r = read("REL.TXT");
    QVERIFY(r.ok);
    QVERIFY(!r.declined);
    QCOMPARE(r.text, text);
    QCOMPARE(int(r.widestColumns), measure);
    QVERIFY(m_asker->prompts.isEmpty());
    QVERIFY(QFile::exists(m_dir.filePath("REL.TXT"))); // reading leaves the file alone
}

void TestReader::measureHoldsAtMost32767_data()
{
    QTest::addColumn<int>("length");
    QTest::addColumn<int>("blanks");
    QTest::addColumn<int>("measure");

    QTest::newRow("32766") << 32766 << 0 << 32766;
    QTest::newRow("32767") << 32767 << 0 << 32767;
    QTest::newRow("32767 between blanks") << 32767 << 100 << 32767;
    QTest::newRow("32768") << 32768 << 0 << 32767;
    QTest::newRow("65536") << 65536 << 0 << 32767;
    QTest::newRow("65537 between blanks") << 65537 << 3 << 32767;
    QTest::newRow("10 MB") << 10 * 1024 * 1024 << 0 << 32767;
}

void TestReader::measureHoldsAtMost32767()
{
    QFETCH(int, length);
    QFETCH(int, blanks);
    QFETCH(int, measure);

    const QByteArray line = QByteArray(blanks, ' ') + QByteArray(length, '#') + QByteArray(blanks, ' ');
    QVERIFY(writeBytes(m_dir.filePath("LONG.TXT"), "short\r\n" + line + "\r\nend\r\n"));
    const LeituraConteudo r = read("LONG.TXT");
    QVERIFY(r.ok);
    QCOMPARE(int(r.widestColumns), measure);
    QCOMPARE(r.text.size(), qsizetype(2 + 5 + 2 + line.size() + 2 + 3));
    QVERIFY(r.text == "\r\nshort\r\n" + line + "\r\nend");
    QVERIFY(m_asker->prompts.isEmpty());
}

// The file is read in blocks: a line end that falls across two blocks is still one line end.
void TestReader::lineEndAcrossReadBlocks_data()
{
    QTest::addColumn<QByteArray>("lineEnd");
    QTest::addColumn<int>("crOffset");

    for (int offset : {4095, 4096, 65535, 65536, 262143, 262144, 524287}) {
        QTest::addRow("CR LF, CR at %d", offset) << QByteArray("\r\n") << offset;
        QTest::addRow("CR CR, first at %d", offset) << QByteArray("\r\r") << offset;
        QTest::addRow("LF, at %d", offset) << QByteArray("\n") << offset;
    }
}

void TestReader::lineEndAcrossReadBlocks()
{
    QFETCH(QByteArray, lineEnd);
    QFETCH(int, crOffset);

    const QByteArray first(crOffset, 'a');
    QVERIFY(writeBytes(m_dir.filePath("BLOCK.TXT"), first + lineEnd + "B\r\n"));
    const LeituraConteudo r = read("BLOCK.TXT");
    QVERIFY(r.ok);
    // Two lone CRs in a file with LFs overprint: the line goes on.
    const QByteArray expected = "\r\n" + first + (lineEnd == "\r\r" ? "\r\rB" : "\r\nB");
    QCOMPARE(r.text.size(), expected.size());
    QVERIFY(r.text == expected);
}

// A printed start is told apart from a rewritten one by its fingerprint, taken while reading and
// again from the file later, in other blocks: the two must agree on the same bytes, and differ
// when one byte changed.
void TestReader::fingerprintTakenWhileReading_data()
{
    QTest::addColumn<int>("size");
    QTest::addColumn<int>("skip");

    QTest::newRow("whole, under a block") << 1000 << 0;
    QTest::newRow("whole, over several read blocks") << 600000 << 0;
    for (int skip : {1, 65535, 65536, 65537, 262145})
        QTest::addRow("start of %d skipped", skip) << 300000 << skip;
}

void TestReader::fingerprintTakenWhileReading()
{
    QFETCH(int, size);
    QFETCH(int, skip);

    QByteArray bytes(size, Qt::Uninitialized);
    for (int i = 0; i < size; ++i)
        bytes[i] = char(i % 80 == 79 ? '\n' : 'A' + (i * 7) % 26);
    const QString path = m_dir.filePath("PRINT.TXT");
    QVERIFY(writeBytes(path, bytes));
    const LeituraConteudo r = le_conteudo(folder(), "PRINT.TXT", *m_files, *m_asker, skip);
    QVERIFY(r.ok);
    QCOMPARE(r.bytesRead, qint64(size));
    QCOMPARE(r.hash, Fingerprint::ofPrefix(*m_files, QFile::encodeName(path), size));
    if (skip > 0)
        QCOMPARE(r.skippedHash, Fingerprint::ofPrefix(*m_files, QFile::encodeName(path), skip));
    QVERIFY(r.hash != Fingerprint::ofPrefix(*m_files, QFile::encodeName(path), size - 1));

    bytes[size - 1 - skip / 2] = '#';
    QVERIFY(writeBytes(path, bytes));
    QVERIFY(Fingerprint::ofPrefix(*m_files, QFile::encodeName(path), size) != r.hash);
}

void TestReader::missingFileAsksAndNoDeclines()
{
    m_asker->answers = {Asker::Answer::No};
    const QByteArray name = QStringLiteral("relatório.TXT").toUtf8();
    const LeituraConteudo r = read(name);
    QVERIFY(!r.ok);
    QVERIFY(r.declined);
    QVERIFY(r.text.isEmpty());
    QCOMPARE(int(r.widestColumns), 0);
    QCOMPARE(m_asker->prompts, QStringList{QStringLiteral("Deu erro ao abrir o arquivo ") + m_dir.path() +
                                           QStringLiteral("/relatório.TXT. Tentar novamente ?")});
    QCOMPARE(m_asker->options, QList<Asker::Options>{Asker::Option::YesNo});
    QCOMPARE(m_asker->titles, QStringList{QString()});
}

void TestReader::yesReadsTheFileOnceItIsThere()
{
    const QString path = m_dir.filePath("LATE.TXT");
    m_asker->answers = {Asker::Answer::Yes};
    m_asker->duringQuestion = [&] { QVERIFY(writeBytes(path, "ONE\r\nTWO\r\n")); };
    const LeituraConteudo r = read("LATE.TXT");
    QVERIFY(r.ok);
    QVERIFY(!r.declined);
    QCOMPARE(r.text, QByteArray("\r\nONE\r\nTWO"));
    QCOMPARE(int(r.widestColumns), 3);
    QCOMPARE(m_asker->prompts.size(), 1);
}

void TestReader::secondFailureAsksNothingMore()
{
    QVERIFY(writeBytes(m_dir.filePath("BUSY.TXT"), "X\r\n"));
    m_files->failReadsAfter = {-1, -1};
    m_asker->answers = {Asker::Answer::Yes, Asker::Answer::Yes};
    const LeituraConteudo r = read("BUSY.TXT");
    QVERIFY(!r.ok);
    QVERIFY(!r.declined);
    QVERIFY(r.text.isEmpty());
    QCOMPARE(m_asker->prompts.size(), 1);
    QCOMPARE(m_files->openCount, 2);
}

void TestReader::failurePartwayRetriedGivesTextOnce()
{
    QByteArray file;
    for (int i = 0; i < 50; ++i)
        file += "LINE " + QByteArray::number(i) + "\r\n";
    QVERIFY(writeBytes(m_dir.filePath("PART.TXT"), file));
    m_files->failReadsAfter = {100};
    m_asker->answers = {Asker::Answer::Yes};
    const LeituraConteudo r = read("PART.TXT");
    QVERIFY(r.ok);
    QCOMPARE(r.text, "\r\n" + file.chopped(2));
    QCOMPARE(r.text.count("LINE 0\r\n"), 1);
    QCOMPARE(int(r.widestColumns), 7);
    QCOMPARE(m_asker->prompts.size(), 1);
}

void TestReader::failurePartwayDeclinedKeepsMeasureReached()
{
    QVERIFY(writeBytes(m_dir.filePath("PART.TXT"), "ABCDEF\r\nG\r\n" + QByteArray(100, 'z') + "\r\n"));
    m_files->failReadsAfter = {12};
    m_asker->answers = {Asker::Answer::No};
    const LeituraConteudo r = read("PART.TXT");
    QVERIFY(!r.ok);
    QVERIFY(r.declined);
    QVERIFY(r.text.isEmpty());
    QCOMPARE(int(r.widestColumns), 6);
}

void TestReader::secondReadingStartsMeasureAgain()
{
    QVERIFY(writeBytes(m_dir.filePath("LONG.TXT"), QByteArray(120, 'L') + "\r\n"));
    QVERIFY(writeBytes(m_dir.filePath("SHORT.TXT"), "ab\r\n"));
    QCOMPARE(int(read("LONG.TXT").widestColumns), 120);
    const LeituraConteudo r = read("SHORT.TXT");
    QCOMPARE(int(r.widestColumns), 2);
    QCOMPARE(r.text, QByteArray("\r\nab"));
}

void TestReader::sizeLimit_data()
{
    QTest::addColumn<qint64>("size");  // a file of this many bytes, sparse when larger than its text
    QTest::addColumn<qint64>("skip");  // the printed start left out
    QTest::addColumn<qint64>("limit"); // the most bytes the reading may take
    QTest::addColumn<qint64>("grows"); // bytes appended while it is read
    QTest::addColumn<QString>("error");

    const qint64 gb = qint64(1) << 30;
    QTest::newRow("sparse 64 GB, graphical limit")
        << 64 * gb << qint64(0) << 256 * (qint64(1) << 20) << qint64(0)
        << "arquivo grande demais: 64 GB, o limite é 256 MB";
    QTest::newRow("one byte over") << qint64(1001) << qint64(0) << qint64(1000) << qint64(0)
                                   << "arquivo grande demais: 1001 bytes, o limite é 1000 bytes";
    QTest::newRow("at the limit") << qint64(1000) << qint64(0) << qint64(1000) << qint64(0) << "";
    QTest::newRow("the printed start does not count")
        << qint64(1500) << qint64(600) << qint64(1000) << qint64(0) << "";
    QTest::newRow("grows past the limit while read")
        << qint64(600) << qint64(0) << qint64(1000) << qint64(3000)
        << "arquivo grande demais: passou de 1000 bytes durante a leitura";
}

// A file larger than the print job takes is set aside: never read when its size shows it, and
// dropped, without a question, once it grows past the limit.
void TestReader::sizeLimit()
{
    QFETCH(qint64, size);
    QFETCH(qint64, skip);
    QFETCH(qint64, limit);
    QFETCH(qint64, grows);
    QFETCH(QString, error);

    const QString path = m_dir.filePath("BIG.TXT");
    {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        if (size <= 1 << 20)
            QVERIFY(f.write(QByteArray(size - 2, 'x') + "\r\n") == size);
        else if (!f.resize(size))
            QSKIP("no sparse files here");
    }
    if (grows > 0) {
        m_files->duringRead = [&path, grows, done = false]() mutable {
            QFile f(path);
            if (!std::exchange(done, true))
                QVERIFY(f.open(QIODevice::Append) && f.write(QByteArray(grows, 'y')) == grows);
        };
    }
    const LeituraConteudo r = le_conteudo(folder(), "BIG.TXT", *m_files, *m_asker, skip, limit);
    QCOMPARE(r.ok, error.isEmpty());
    QCOMPARE(r.tooLarge, !error.isEmpty());
    QCOMPARE(r.error, error);
    QVERIFY(m_asker->prompts.isEmpty());
    QCOMPARE(m_files->openCount, size > limit + skip ? 0 : 1);
    if (error.isEmpty())
        QCOMPARE(r.text.size(), size - skip); // CR LF before the line, none after it
    else
        QVERIFY(r.text.isEmpty());
}

namespace {
/// Raw output that notes the longest piece of the file it was handed at once.
class MeasuredRawOutput : public RawOutput
{
public:
    using RawOutput::RawOutput;
    void line(QByteArrayView line) override { RawOutput::line(note(line)); }
    void linePart(QByteArrayView part) override { RawOutput::linePart(note(part)); }
    void bytes(QByteArrayView bytes) override { RawOutput::bytes(note(bytes)); }
    QByteArrayView note(QByteArrayView piece)
    {
        longest = std::max(longest, piece.size());
        return piece;
    }
    qsizetype longest = 0;
};
} // namespace

// Raw output takes a line of any length in parts as it is read: the reading never gathers it.
void TestReader::rawLongLineGoesInParts()
{
    const QByteArray file = "first\r\n" + QByteArray(5 * 1024 * 1024 + 7, 'L') + "\r\nlast";
    QVERIFY(writeBytes(m_dir.filePath("WIDE.TXT"), file));
    RecordingRawPort port;
    MeasuredRawOutput out(*m_files, folder(), QDateTime::currentDateTime(), port, "/dev/lp0", 1000);
    PrintError error;
    QVERIFY2(out.open(&error), qPrintable(error.text));
    QVERIFY(le_conteudo(folder(), "WIDE.TXT", *m_files, *m_asker, 0, out).ok);
    QVERIFY2(out.longest <= 512 * 1024, QByteArray::number(out.longest));
    QVERIFY2(out.finish(&error), qPrintable(error.text));
    QCOMPARE(port.copies.size(), 1);
    QVERIFY(port.copies.first().bytes == file);
}

QTEST_GUILESS_MAIN(TestReader)
#include "tst_reader.moc"
