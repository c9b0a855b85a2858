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

    QTest::newRow("inside-any-case")   << "LTHIGH" << false << "xlThigh2" << true;
    QTest::newRow("side-first")        << "[lL]*[tT]high" << false << "Left_Thigh" << true;
    QTest::newRow("side-after")        << "[lL]*[tT]high" << false << "Thigh_L" << false;
    QTest::newRow("star-anything")     << "a*b" << false << "a/x\nb" << true;
    QTest::newRow("question-one")      << "a?c" << false << "ac" << false;
    QTest::newRow("set-range")         << "n[0-9]" << false << "N7" << true;
    QTest::newRow("set-negated")       << "x[^a]y" << false << "xay" << false;
    QTest::newRow("set-bracket-first") << "x[]]y" << false << "x]y" << true;
    QTest::newRow("set-backslash")     << "x[\\]y" << false << "x\\y" << true;
    QTest::newRow("dot-literal")       << "a.b" << false << "axb" << false;
    QTest::newRow("specials-literal")  << "(^a+$|{2})" << false << "x(^a+$|{2})" << true;
    // Whole words: no letter, digit or underscore on either side.
    QTest::newRow("word-dot")          << "[hH]ip" << true << "left-HIP.1" << true;
    QTest::newRow("word-letter-before") << "[hH]ip" << true << "lHip" << false;
    QTest::newRow("word-underscore")   << "[hH]ip" << true << "left_hip" << false;
    QTest::newRow("word-letter-after") << "[hH]ip" << true << "Hips" << false;
    QTest::newRow("word-digit-after")  << "[hH]ip" << true << "hip2" << false;
    QTest::newRow("word-non-ascii")    << "[hH]ip" << true << QStringLiteral("\u00e9hip") << false;
    QTest::newRow("word-second-try")   << "[hH]ip" << true << "hips hip" << true;
    // A set that never closes cannot be read: it fits nothing, not even itself.
    QTest::newRow("open-set")          << "a[bc" << false << "a[bc" << false;
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
