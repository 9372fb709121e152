// SPDX-License-Identifier: GPL-3.0-or-later
#include "config/Conversions.h"

#include <QtTest>

using namespace kestrova;

class TestConversions : public QObject {
    Q_OBJECT
private slots:
    void textConversions_data();
    void textConversions();
    void checkedArithmetic();
};

// Each row reads one stored text as a 16-bit integer, a byte and a boolean; "-" means that
// conversion refuses the text with ConversionError.
void TestConversions::textConversions_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");
    // clang-format off
    QTest::newRow("blanks and tabs around, a zero fraction") << " \t0.0 " << "0 0 false";
    QTest::newRow("Unicode blanks around") << "\u00a04\u0085" << "4 4 true";
    QTest::newRow("plus sign and leading zeros") << "+007" << "7 7 true";
    QTest::newRow("ties round to even") << "2.5" << "2 2 true";
    QTest::newRow("ties round to even, upwards") << "3.5" << "4 4 true";
    QTest::newRow("a negative tie rounds into a byte") << "-0.5" << "0 0 true";
    QTest::newRow("smallest int16") << "-32768" << "-32768 - true";
    QTest::newRow("just below int16") << "-32769" << "- - true";
    QTest::newRow("a tie above int16 rounds out of range") << "32767.5" << "- - true";
    QTest::newRow("largest byte") << "255" << "255 255 true";
    QTest::newRow("just above a byte") << "256" << "256 - true";
    QTest::newRow("exponent") << "1e3" << "1000 - true";
    QTest::newRow("beyond a double") << "1e400" << "- - true";
    QTest::newRow("so tiny it is zero") << "1e-400" << "0 0 false";
    QTest::newRow("bare fraction") << ".5" << "0 0 true";
    QTest::newRow("word true in any case") << "TRUE" << "- - true";
    QTest::newRow("word false") << "False" << "- - false";
    QTest::newRow("yes is no boolean") << "yes" << "- - -";
    QTest::newRow("only blanks") << "   " << "- - -";
    QTest::newRow("hexadecimal") << "&H10" << "- - -";
    QTest::newRow("number then word") << "5s" << "- - -";
    QTest::newRow("infinity") << "inf" << "- - -";
    // clang-format on
}

void TestConversions::textConversions()
{
    QFETCH(QString, text);
    const auto read = [&text](auto convert) -> QString {
        try {
            return QVariant(convert(text)).toString();
        } catch (const ConversionError&) {
            return QStringLiteral("-");
        }
    };
    const QString byte = read([](const QString& t) { return int(toByte(t)); });
    QTEST(QStringList({read(toInt16), byte, read(toBoolean)}).join(' '), "expected");
}

void TestConversions::checkedArithmetic()
{
    QCOMPARE(add16(32766, 1), Int16(32767));
    QCOMPARE(sub16(-32767, 1), Int16(-32768));
    QCOMPARE(mul16(-128, 256), Int16(-32768));
    QVERIFY_THROWS_EXCEPTION(OverflowError, add16(32767, 1));
    QVERIFY_THROWS_EXCEPTION(OverflowError, sub16(0, -32768));
    QVERIFY_THROWS_EXCEPTION(OverflowError, mul16(-32768, -1));
}

QTEST_GUILESS_MAIN(TestConversions)
#include "test_conversions.moc"
