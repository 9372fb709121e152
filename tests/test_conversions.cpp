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

// Each row converts a text to a 16-bit integer, a boolean or a byte; an expected value of
// "error" means the conversion must throw ConversionError.
// clang-format off
void TestConversions::textConversions_data()
{
    QTest::addColumn<QString>("to");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");
    QTest::newRow("int16: plain") << "int16" << "7" << "7";
    QTest::newRow("int16: blanks around") << "int16" << " 7 " << "7";
    QTest::newRow("int16: tab around") << "int16" << "\t12\t" << "12";
    QTest::newRow("int16: Unicode blanks around") << "int16" << "\u00a04\u0085" << "4";
    QTest::newRow("int16: plus sign") << "int16" << "+5" << "5";
    QTest::newRow("int16: negative") << "int16" << "-40" << "-40";
    QTest::newRow("int16: largest") << "int16" << "32767" << "32767";
    QTest::newRow("int16: smallest") << "int16" << "-32768" << "-32768";
    QTest::newRow("int16: tie down to even") << "int16" << "2.5" << "2";
    QTest::newRow("int16: tie up to even") << "int16" << "3.5" << "4";
    QTest::newRow("int16: negative tie to even") << "int16" << "-2.5" << "-2";
    QTest::newRow("int16: below a tie") << "int16" << "2.49" << "2";
    QTest::newRow("int16: top tie rounds out of range") << "int16" << "32767.5" << "error";
    QTest::newRow("int16: bottom tie rounds to even in range") << "int16" << "-32768.5" << "-32768";
    QTest::newRow("int16: just above range") << "int16" << "32768" << "error";
    QTest::newRow("int16: just below range") << "int16" << "-32769" << "error";
    QTest::newRow("int16: exponent") << "int16" << "1e3" << "1000";
    QTest::newRow("int16: exponent out of range") << "int16" << "1e5" << "error";
    QTest::newRow("int16: huge exponent") << "int16" << "1e400" << "error";
    QTest::newRow("int16: tiny exponent is as good as zero") << "int16" << "1e-400" << "0";
    QTest::newRow("int16: leading fraction point") << "int16" << ".5" << "0";
    QTest::newRow("int16: trailing point") << "int16" << "8." << "8";
    QTest::newRow("int16: leading zeros") << "int16" << "007" << "7";
    QTest::newRow("int16: empty") << "int16" << "" << "error";
    QTest::newRow("int16: only blanks") << "int16" << "   " << "error";
    QTest::newRow("int16: word") << "int16" << "ten" << "error";
    QTest::newRow("int16: hexadecimal") << "int16" << "&H10" << "error";
    QTest::newRow("int16: C hexadecimal") << "int16" << "0x10" << "error";
    QTest::newRow("int16: thousands separator") << "int16" << "1,000" << "error";
    QTest::newRow("int16: decimal comma") << "int16" << "2,5" << "error";
    QTest::newRow("int16: blank inside") << "int16" << "1 0" << "error";
    QTest::newRow("int16: number then word") << "int16" << "5s" << "error";
    QTest::newRow("int16: two signs") << "int16" << "+-5" << "error";
    QTest::newRow("int16: infinity") << "int16" << "inf" << "error";
    QTest::newRow("int16: not a number") << "int16" << "nan" << "error";
    QTest::newRow("int16: many digits") << "int16" << "000000000000000000000000000000012" << "12";
    QTest::newRow("boolean: one") << "boolean" << "1" << "true";
    QTest::newRow("boolean: zero") << "boolean" << "0" << "false";
    QTest::newRow("boolean: minus one") << "boolean" << "-1" << "true";
    QTest::newRow("boolean: any other number") << "boolean" << "42" << "true";
    QTest::newRow("boolean: fraction") << "boolean" << "0.25" << "true";
    QTest::newRow("boolean: zero as fraction") << "boolean" << "0.0" << "false";
    QTest::newRow("boolean: blanks around") << "boolean" << " 0 " << "false";
    QTest::newRow("boolean: word True") << "boolean" << "True" << "true";
    QTest::newRow("boolean: word false lower case") << "boolean" << "false" << "false";
    QTest::newRow("boolean: word TRUE upper case") << "boolean" << "TRUE" << "true";
    QTest::newRow("boolean: empty") << "boolean" << "" << "error";
    QTest::newRow("boolean: yes is not a boolean") << "boolean" << "yes" << "error";
    QTest::newRow("boolean: hexadecimal") << "boolean" << "&H1" << "error";
    QTest::newRow("byte: zero") << "byte" << "0" << "0";
    QTest::newRow("byte: largest") << "byte" << "255" << "255";
    QTest::newRow("byte: above") << "byte" << "256" << "error";
    QTest::newRow("byte: negative") << "byte" << "-1" << "error";
    QTest::newRow("byte: negative tie rounds to zero") << "byte" << "-0.5" << "0";
    QTest::newRow("byte: top tie rounds out") << "byte" << "255.5" << "error";
    QTest::newRow("byte: tie to even") << "byte" << "6.5" << "6";
    QTest::newRow("byte: word") << "byte" << "bit" << "error";
}
// clang-format on

void TestConversions::textConversions()
{
    QFETCH(QString, to);
    QFETCH(QString, text);
    QFETCH(QString, expected);
    const auto convert = [&]() -> QString {
        if (to == QLatin1String("int16"))
            return QString::number(toInt16(text));
        if (to == QLatin1String("byte"))
            return QString::number(toByte(text));
        return toBoolean(text) ? QStringLiteral("true") : QStringLiteral("false");
    };
    if (expected == QLatin1String("error"))
        QVERIFY_THROWS_EXCEPTION(ConversionError, convert());
    else
        QCOMPARE(convert(), expected);
}

void TestConversions::checkedArithmetic()
{
    QCOMPARE(add16(32766, 1), Int16(32767));
    QCOMPARE(sub16(-32767, 1), Int16(-32768));
    QCOMPARE(mul16(-128, 256), Int16(-32768));
    QCOMPARE(mul16(181, 181), Int16(32761));
    QVERIFY_THROWS_EXCEPTION(OverflowError, add16(32767, 1));
    QVERIFY_THROWS_EXCEPTION(OverflowError, sub16(-32768, 1));
    QVERIFY_THROWS_EXCEPTION(OverflowError, sub16(0, -32768));
    QVERIFY_THROWS_EXCEPTION(OverflowError, mul16(-32768, -1));
    QVERIFY_THROWS_EXCEPTION(OverflowError, mul16(182, 181));
}

QTEST_GUILESS_MAIN(TestConversions)
#include "test_conversions.moc"
