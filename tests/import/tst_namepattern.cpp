#include "namepattern.h"

#include <QtTest>

class tst_NamePattern : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void fits_data();
    void fits();
};

void tst_NamePattern::fits_data()
{
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<bool>("wholeWord");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("fits");

    QTest::newRow("inside")          << "Thigh" << false << "lThigh2" << true;
    QTest::newRow("case")            << "LTHIGH" << false << "lThigh" << true;
    QTest::newRow("absent")          << "Thigh" << false << "lShin" << false;
    QTest::newRow("side-before")     << "[lL]*[tT]high" << false << "LeftThigh" << true;
    QTest::newRow("side-underscore") << "[lL]*[tT]high" << false << "l_thigh" << true;
    QTest::newRow("side-after")      << "[lL]*[tT]high" << false << "Thigh_L" << false;
    QTest::newRow("star-slash")      << "a*b" << false << "a/x/b" << true;
    QTest::newRow("star-newline")    << "a*b" << false << "a\nb" << true;
    QTest::newRow("star-empty")      << "a*b" << false << "ab" << true;
    QTest::newRow("question")        << "a?c" << false << "a/c" << true;
    QTest::newRow("question-none")   << "a?c" << false << "ac" << false;
    QTest::newRow("set-case")        << "x[a]y" << false << "XAY" << true;
    QTest::newRow("set-other")       << "x[abc]y" << false << "xdy" << false;
    QTest::newRow("set-range")       << "n[0-9]" << false << "n7" << true;
    QTest::newRow("set-negated")     << "x[^a]y" << false << "xay" << false;
    QTest::newRow("set-bracket-first") << "x[]]y" << false << "x]y" << true;
    QTest::newRow("set-backslash")   << "x[\\]y" << false << "x\\y" << true;
    QTest::newRow("set-star")        << "x[*]y" << false << "xzy" << false;
    QTest::newRow("dot-literal")     << "a.b" << false << "axb" << false;
    QTest::newRow("specials-literal") << "(^a+$|{2})" << false << "x(^a+$|{2})" << true;
    QTest::newRow("backslash-literal") << "a\\d" << false << "a1" << false;
    QTest::newRow("closing-bracket") << "a]" << false << "a]" << true;
    // Whole words: no letter, digit or underscore on either side.
    QTest::newRow("word-alone")      << "[hH]ip" << true << "HIP" << true;
    QTest::newRow("word-dot")        << "[hH]ip" << true << "Hip.1" << true;
    QTest::newRow("word-dash")       << "[hH]ip" << true << "left-hip" << true;
    QTest::newRow("word-letter-before") << "[hH]ip" << true << "lHip" << false;
    QTest::newRow("word-underscore") << "[hH]ip" << true << "left_hip" << false;
    QTest::newRow("word-letter-after") << "[hH]ip" << true << "Hips" << false;
    QTest::newRow("word-digit-after") << "[hH]ip" << true << "hip2" << false;
    QTest::newRow("word-non-ascii")  << "[hH]ip" << true << QStringLiteral("\u00e9hip") << false;
    QTest::newRow("word-second-try") << "[hH]ip" << true << "hips hip" << true;
    // A set that never closes cannot be read: it fits nothing, not even itself.
    QTest::newRow("open-set")        << "a[bc" << false << "a[bc" << false;
    QTest::newRow("open-set-word")   << "x[]" << true << "x[]" << false;
}

void tst_NamePattern::fits()
{
    QFETCH(QString, pattern);
    QFETCH(bool, wholeWord);
    QFETCH(QString, text);
    QFETCH(bool, fits);

    const CNamePattern p(pattern, wholeWord ? CNamePattern::WholeWord : CNamePattern::Anywhere);
    QCOMPARE(p.isValid(), !QByteArray(QTest::currentDataTag()).startsWith("open-"));
    QCOMPARE(p.fits(text), fits);
}

QTEST_GUILESS_MAIN(tst_NamePattern)
#include "tst_namepattern.moc"
