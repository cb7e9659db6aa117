// Name matching of spool files: wildcards, case folding and the order names are taken in.

#include "spool/NameMatch.h"

#include <QtTest>

class TestNameMatch : public QObject
{
    Q_OBJECT

private slots:
    void wildcard_data();
    void wildcard();
    void order_data();
    void order();
    void foldedCharacters_data();
    void foldedCharacters();
};

void TestNameMatch::wildcard_data()
{
    QTest::addColumn<QByteArray>("pattern");
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<bool>("matches");

    QTest::newRow("extension") << QByteArray("*.TXT") << QByteArray("REL.TXT") << true;
    QTest::newRow("extension, other case") << QByteArray("*.TXT") << QByteArray("rel.Txt") << true;
    QTest::newRow("extension, longer") << QByteArray("*.TXT") << QByteArray("REL.TXTX") << false;
    QTest::newRow("extension, shorter") << QByteArray("*.TXT") << QByteArray("REL.TX") << false;
    QTest::newRow("star matches nothing") << QByteArray("REL*.TXT") << QByteArray("REL.TXT") << true;
    QTest::newRow("star, several dots") << QByteArray("*.TXT") << QByteArray("A.B.TXT") << true;
    QTest::newRow("star alone") << QByteArray("*") << QByteArray("REL") << true;
    QTest::newRow("star dot star") << QByteArray("*.*") << QByteArray("REL.TXT") << true;
    QTest::newRow("question mark, one") << QByteArray("REL?.TXT") << QByteArray("REL1.TXT") << true;
    QTest::newRow("question mark, none") << QByteArray("REL?.TXT") << QByteArray("REL.TXT") << false;
    QTest::newRow("question mark, two") << QByteArray("REL?.TXT") << QByteArray("REL12.TXT") << false;
    QTest::newRow("backtracking") << QByteArray("*A*B") << QByteArray("xAyAzB") << true;
    QTest::newRow("backtracking, no match") << QByteArray("*A*B") << QByteArray("xAyBz") << false;
    QTest::newRow("two stars") << QByteArray("**") << QByteArray("x") << true;
    QTest::newRow("no wildcard, same") << QByteArray("REL.TXT") << QByteArray("rel.txt") << true;
    QTest::newRow("no wildcard, prefix only") << QByteArray("REL") << QByteArray("REL.TXT") << false;
    QTest::newRow("brackets are plain") << QByteArray("R[1].TXT") << QByteArray("R[1].TXT") << true;
    QTest::newRow("brackets are no class") << QByteArray("R[1].TXT") << QByteArray("R1.TXT") << false;
    QTest::newRow("semicolon is plain") << QByteArray("*.TXT;*.PRN") << QByteArray("A.PRN") << false;
    QTest::newRow("high bytes exact")
        << QByteArray("RELAT\xD3RIO.*") << QByteArray("RELAT\xD3RIO.TXT") << true;
    QTest::newRow("question mark, one accented letter")
        << QByteArray("REL?.TXT") << QByteArray("REL\xC3\x93.TXT") << true;
    QTest::newRow("accented letters in any case")
        << QByteArray("RELAT\xC3\x93RIO.TXT") << QByteArray("relat\xC3\xB3rio.txt") << true;
    QTest::newRow("invalid bytes only equal themselves")
        << QByteArray("RELAT\xD3RIO.*") << QByteArray("RELAT\xF3RIO.TXT") << false;
    QTest::newRow("star dot star, no extension") << QByteArray("*.*") << QByteArray("REL") << true;
    QTest::newRow("name dot star, no extension") << QByteArray("REL.*") << QByteArray("REL") << true;
    QTest::newRow("extension wanted, none there") << QByteArray("*.TXT") << QByteArray("REL") << false;
    QTest::newRow("many stars, no match")
        << QByteArray("*a*a*a*a*a*a*a*a*b") << QByteArray(200, 'a') << false;
}

void TestNameMatch::wildcard()
{
    QFETCH(QByteArray, pattern);
    QFETCH(QByteArray, name);
    QFETCH(bool, matches);
    QCOMPARE(wildcardMatch(pattern, name), matches);
}

void TestNameMatch::order_data()
{
    QTest::addColumn<QByteArray>("a");
    QTest::addColumn<QByteArray>("b");
    QTest::addColumn<bool>("less");

    QTest::newRow("letters in any case") << QByteArray("a.TXT") << QByteArray("B.txt") << true;
    QTest::newRow("capital after small") << QByteArray("B.txt") << QByteArray("a.TXT") << false;
    QTest::newRow("digits before letters") << QByteArray("1.TXT") << QByteArray("A.TXT") << true;
    QTest::newRow("underscore before letters") << QByteArray("_X.TXT") << QByteArray("a.txt") << true;
    QTest::newRow("prefix first") << QByteArray("REL") << QByteArray("rel.txt") << true;
    QTest::newRow("same letters: bytes decide") << QByteArray("REL.TXT") << QByteArray("rel.txt") << true;
    QTest::newRow("same name") << QByteArray("rel.txt") << QByteArray("rel.txt") << false;
    QTest::newRow("high bytes after ASCII") << QByteArray("\xC3\x93.TXT") << QByteArray("Z.TXT") << false;
}

void TestNameMatch::order()
{
    QFETCH(QByteArray, a);
    QFETCH(QByteArray, b);
    QFETCH(bool, less);
    QCOMPARE(nameLess(a, b), less);
}

void TestNameMatch::foldedCharacters_data()
{
    QTest::addColumn<QByteArray>("a");
    QTest::addColumn<QByteArray>("b");
    QTest::addColumn<bool>("same");

    QTest::newRow("ASCII") << QByteArray("Rel") << QByteArray("rEL") << true;
    QTest::newRow("two-byte letter") << QByteArray("\xC3\x93") << QByteArray("\xC3\xB3") << true;
    QTest::newRow("invalid byte is no letter") << QByteArray("\xD3") << QByteArray("\xF3") << false;
    QTest::newRow("overlong sequence is bytes") << QByteArray("\xC1\x81") << QByteArray("A") << false;
    QTest::newRow("cut sequence is bytes") << QByteArray("\xC3") << QByteArray("\xC3\x93") << false;
}

void TestNameMatch::foldedCharacters()
{
    QFETCH(QByteArray, a);
    QFETCH(QByteArray, b);
    QFETCH(bool, same);
    QCOMPARE(::foldedCharacters(a) == ::foldedCharacters(b), same);
}

QTEST_GUILESS_MAIN(TestNameMatch)
#include "tst_namematch.moc"
