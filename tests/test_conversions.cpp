#include "config/Conversions.h"

#include <QtTest>

using namespace kestrova;

class TestConversions : public QObject {
    Q_OBJECT
private slots:
    void int16FromText_data();
    void int16FromText();
    void booleanFromText_data();
    void booleanFromText();
    void byteFromText_data();
    void byteFromText();
    void checkedArithmetic();
};

// An expected value of "error" means the conversion must throw ConversionError.
// clang-format off
void TestConversions::int16FromText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");
    QTest::newRow("plain") << "7" << "7";
    QTest::newRow("blanks around") << " 7 " << "7";
    QTest::newRow("tab around") << "\t12\t" << "12";
    QTest::newRow("plus sign") << "+5" << "5";
    QTest::newRow("negative") << "-40" << "-40";
    QTest::newRow("largest") << "32767" << "32767";
    QTest::newRow("smallest") << "-32768" << "-32768";
    QTest::newRow("tie down to even") << "2.5" << "2";
    QTest::newRow("tie up to even") << "3.5" << "4";
    QTest::newRow("negative tie to even") << "-2.5" << "-2";
    QTest::newRow("below a tie") << "2.49" << "2";
    QTest::newRow("top tie rounds out of range") << "32767.5" << "error";
    QTest::newRow("bottom tie rounds to even in range") << "-32768.5" << "-32768";
    QTest::newRow("just above range") << "32768" << "error";
    QTest::newRow("just below range") << "-32769" << "error";
    QTest::newRow("exponent") << "1e3" << "1000";
    QTest::newRow("exponent out of range") << "1e5" << "error";
    QTest::newRow("huge exponent") << "1e400" << "error";
    QTest::newRow("tiny exponent is as good as zero") << "1e-400" << "0";
    QTest::newRow("leading fraction point") << ".5" << "0";
    QTest::newRow("trailing point") << "8." << "8";
    QTest::newRow("leading zeros") << "007" << "7";
    QTest::newRow("empty") << "" << "error";
    QTest::newRow("only blanks") << "   " << "error";
    QTest::newRow("word") << "ten" << "error";
    QTest::newRow("hexadecimal") << "&H10" << "error";
    QTest::newRow("C hexadecimal") << "0x10" << "error";
    QTest::newRow("thousands separator") << "1,000" << "error";
    QTest::newRow("decimal comma") << "2,5" << "error";
    QTest::newRow("blank inside") << "1 0" << "error";
    QTest::newRow("number then word") << "5s" << "error";
    QTest::newRow("two signs") << "+-5" << "error";
    QTest::newRow("infinity") << "inf" << "error";
    QTest::newRow("not a number") << "nan" << "error";
    QTest::newRow("many digits") << "000000000000000000000000000000012" << "12";
}
// clang-format on

void TestConversions::int16FromText()
{
    QFETCH(QString, text);
    QFETCH(QString, expected);
    if (expected == QLatin1String("error")) {
        QVERIFY_THROWS_EXCEPTION(ConversionError, toInt16(text));
    } else {
        QCOMPARE(int(toInt16(text)), expected.toInt());
    }
}

// clang-format off
void TestConversions::booleanFromText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");
    QTest::newRow("one") << "1" << "true";
    QTest::newRow("zero") << "0" << "false";
    QTest::newRow("minus one") << "-1" << "true";
    QTest::newRow("any other number") << "42" << "true";
    QTest::newRow("fraction") << "0.25" << "true";
    QTest::newRow("zero as fraction") << "0.0" << "false";
    QTest::newRow("blanks around") << " 0 " << "false";
    QTest::newRow("word True") << "True" << "true";
    QTest::newRow("word false lower case") << "false" << "false";
    QTest::newRow("word TRUE upper case") << "TRUE" << "true";
    QTest::newRow("empty") << "" << "error";
    QTest::newRow("yes is not a boolean") << "yes" << "error";
    QTest::newRow("hexadecimal") << "&H1" << "error";
}
// clang-format on

void TestConversions::booleanFromText()
{
    QFETCH(QString, text);
    QFETCH(QString, expected);
    if (expected == QLatin1String("error")) {
        QVERIFY_THROWS_EXCEPTION(ConversionError, toBoolean(text));
    } else {
        QCOMPARE(toBoolean(text), expected == QLatin1String("true"));
    }
}

// clang-format off
void TestConversions::byteFromText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");
    QTest::newRow("zero") << "0" << "0";
    QTest::newRow("largest") << "255" << "255";
    QTest::newRow("above") << "256" << "error";
    QTest::newRow("negative") << "-1" << "error";
    QTest::newRow("negative tie rounds to zero") << "-0.5" << "0";
    QTest::newRow("top tie rounds out") << "255.5" << "error";
    QTest::newRow("tie to even") << "6.5" << "6";
    QTest::newRow("word") << "bit" << "error";
}
// clang-format on

void TestConversions::byteFromText()
{
    QFETCH(QString, text);
    QFETCH(QString, expected);
    if (expected == QLatin1String("error")) {
        QVERIFY_THROWS_EXCEPTION(ConversionError, toByte(text));
    } else {
        QCOMPARE(int(toByte(text)), expected.toInt());
    }
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
