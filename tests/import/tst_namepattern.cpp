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
    QTest::newRow("question-one")      << "a?c" << false << "ac" << false;
    QTest::newRow("set-any-case")      << "n[0-9]" << false << "N7" << true;
    QTest::newRow("set-negated")       << "x[^a]y" << false << "xay" << false;
    QTest::newRow("dot-literal")       << "a.b*" << false << "axb" << false;
    // Whole words: no letter, digit or underscore on either side.
    QTest::newRow("word-dot")          << "[hH]ip" << true << "left-HIP.1" << true;
    QTest::newRow("word-underscore")   << "[hH]ip" << true << "left_hip" << false;
    QTest::newRow("word-letter-after") << "[hH]ip" << true << "Hips" << false;
    QTest::newRow("word-non-ascii")    << "[hH]ip" << true << QStringLiteral("\u00e9hip") << false;
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
