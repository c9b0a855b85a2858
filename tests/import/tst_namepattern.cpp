#include "namepattern.h"

#include <QtTest>

class tst_NamePattern : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void fits_data();
    void fits();
    void invalid_data();
    void invalid();
};

void tst_NamePattern::fits_data()
{
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<bool>("wholeWord");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("fits");

    // Anywhere, any case.
    QTest::newRow("inside")           << "Thigh" << false << "lThigh2" << true;
    QTest::newRow("case")             << "LTHIGH" << false << "lThigh" << true;
    QTest::newRow("absent")           << "Thigh" << false << "lShin" << false;
    QTest::newRow("side-before")      << "[lL]*[tT]high" << false << "LeftThigh" << true;
    QTest::newRow("side-underscore")  << "[lL]*[tT]high" << false << "l_thigh" << true;
    QTest::newRow("side-after")       << "[lL]*[tT]high" << false << "Thigh_L" << false;
    // '*' runs over any character, '/' and line ends included.
    QTest::newRow("star-slash")       << "a*b" << false << "a/x/b" << true;
    QTest::newRow("star-empty")       << "a*b" << false << "ab" << true;
    QTest::newRow("star-newline")     << "a*b" << false << "a\nb" << true;
    QTest::newRow("question-one")     << "a?c" << false << "abc" << true;
    QTest::newRow("question-none")    << "a?c" << false << "ac" << false;
    QTest::newRow("question-slash")   << "a?c" << false << "a/c" << true;
    // Sets.
    QTest::newRow("set-member")       << "x[abc]y" << false << "xby" << true;
    QTest::newRow("set-other")        << "x[abc]y" << false << "xdy" << false;
    QTest::newRow("set-case")         << "x[a]y" << false << "XAY" << true;
    QTest::newRow("set-range")        << "n[0-9]" << false << "n7" << true;
    QTest::newRow("set-range-out")    << "n[0-9]" << false << "nx" << false;
    QTest::newRow("set-negated")      << "x[^a]y" << false << "xby" << true;
    QTest::newRow("set-negated-out")  << "x[^a]y" << false << "xay" << false;
    QTest::newRow("set-bracket-first") << "x[]]y" << false << "x]y" << true;
    QTest::newRow("set-backslash")    << "x[\\]y" << false << "x\\y" << true;
    QTest::newRow("set-star-literal") << "x[*]y" << false << "xzy" << false;
    QTest::newRow("set-star-member")  << "x[*]y" << false << "x*y" << true;
    // Everything else stands for itself.
    QTest::newRow("dot")              << "a.b" << false << "axb" << false;
    QTest::newRow("dot-literal")      << "a.b" << false << "a.b" << true;
    QTest::newRow("plus")             << "a+" << false << "aa" << false;
    QTest::newRow("parens")           << "(x)" << false << "f(x)" << true;
    QTest::newRow("dollar-caret")     << "^a$" << false << "x^a$y" << true;
    QTest::newRow("backslash")        << "a\\d" << false << "a\\d" << true;
    QTest::newRow("backslash-digit")  << "a\\d" << false << "a1" << false;
    QTest::newRow("brace")            << "a{2}" << false << "aa" << false;
    QTest::newRow("bar")              << "a|b" << false << "b" << false;
    QTest::newRow("closing-bracket")  << "a]" << false << "a]" << true;
    QTest::newRow("colon")            << "hip:1" << false << "mixamorig:hip:1" << true;

    // Whole words: no letter, digit or underscore on either side.
    QTest::newRow("word-alone")       << "[hH]ip" << true << "hip" << true;
    QTest::newRow("word-case")        << "[hH]ip" << true << "HIP" << true;
    QTest::newRow("word-dot")         << "[hH]ip" << true << "Hip.1" << true;
    QTest::newRow("word-dash")        << "[hH]ip" << true << "left-hip" << true;
    QTest::newRow("word-blank")       << "[hH]ip" << true << "the hip bone" << true;
    QTest::newRow("word-letter-before") << "[hH]ip" << true << "lHip" << false;
    QTest::newRow("word-underscore")  << "[hH]ip" << true << "left_hip" << false;
    QTest::newRow("word-letter-after") << "[hH]ip" << true << "Hips" << false;
    QTest::newRow("word-digit-after") << "[hH]ip" << true << "hip2" << false;
    QTest::newRow("word-non-ascii")   << "[hH]ip" << true << QStringLiteral("\u00e9hip") << false;
    QTest::newRow("word-second-try")  << "[hH]ip" << true << "hips hip" << true;
    QTest::newRow("word-anywhere-off") << "[hH]ip" << false << "Hips" << true;
}

void tst_NamePattern::fits()
{
    QFETCH(QString, pattern);
    QFETCH(bool, wholeWord);
    QFETCH(QString, text);
    QFETCH(bool, fits);

    const CNamePattern p(pattern, wholeWord ? CNamePattern::WholeWord : CNamePattern::Anywhere);
    QVERIFY(p.isValid());
    QCOMPARE(p.fits(text), fits);
    QCOMPARE(p.wildcard(), pattern);
}

void tst_NamePattern::invalid_data()
{
    QTest::addColumn<QString>("pattern");

    QTest::newRow("open-set")        << "a[bc";
    QTest::newRow("open-bracket")    << "[";
    QTest::newRow("open-negated")    << "x[^";
    QTest::newRow("bracket-only-member") << "x[]";
}

// A set that never closes cannot be read: the pattern fits nothing, not even
// the text that spells it.
void tst_NamePattern::invalid()
{
    QFETCH(QString, pattern);

    for (const auto mode : {CNamePattern::Anywhere, CNamePattern::WholeWord}) {
        const CNamePattern p(pattern, mode);
        QVERIFY(!p.isValid());
        QVERIFY(!p.fits(pattern));
        QVERIFY(!p.fits(QString()));
    }
    bool valid = true;
    CNamePattern::toRegularExpression(pattern, &valid);
    QVERIFY(!valid);
}

QTEST_GUILESS_MAIN(tst_NamePattern)
#include "tst_namepattern.moc"
