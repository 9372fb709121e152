#include "config/OptionFields.h"

#include <QTest>

using namespace kestrova;

Q_DECLARE_METATYPE(kestrova::OptionField)

class TestOptionFields : public QObject {
    Q_OBJECT
private slots:
    void shownValue_data();
    void shownValue();
    void everyDefaultFitsItsControl();
    void everyValueSurvivesTheStore();
    void storedText_data();
    void storedText();
};

void TestOptionFields::shownValue_data()
{
    QTest::addColumn<OptionField>("field");
    QTest::addColumn<QString>("stored");
    QTest::addColumn<int>("shown");

    using namespace options;
    QTest::newRow("a list position") << ParallelBit << "5" << 5;
    QTest::newRow("the first position") << SerialPort << "0" << 0;
    QTest::newRow("the last position") << SerialPort << "15" << 15;
    QTest::newRow("no selection") << ParallelPort << "-1" << -1;
    QTest::newRow("past the last LPT port") << ParallelPort << "3" << 0;
    QTest::newRow("past the last data bit") << ParallelBit << "8" << 1;
    QTest::newRow("past Com16") << SerialPort << "16" << 0;
    QTest::newRow("past DTR") << SerialLine << "2" << 0;
    QTest::newRow("below no selection") << ParallelBit << "-2" << 1;
    QTest::newRow("a word") << ParallelBit << "five" << 1;
    QTest::newRow("empty text") << SerialLine << "" << 0;
    QTest::newRow("beyond 16 bits") << SerialPort << "40000" << 0;
    QTest::newRow("blanks around the number") << ParallelBit << " 4 " << 4;
    QTest::newRow("a fraction rounds to even, down") << ParallelBit << "2.5" << 2;
    QTest::newRow("a fraction rounds to even, up") << ParallelBit << "3.5" << 4;
    QTest::newRow("a fraction rounding past the last") << ParallelBit << "7.6" << 1;
    QTest::newRow("exponent notation") << SerialPort << "1e1" << 10;
    QTest::newRow("hexadecimal is no number") << SerialPort << "&H3" << 0;
    QTest::newRow("unchecked") << SerialLogic << "0" << 0;
    QTest::newRow("checked") << ParallelLogic << "1" << 1;
    QTest::newRow("greyed") << ParallelLogic << "2" << 2;
    QTest::newRow("a check state past greyed") << ParallelLogic << "3" << 0;
    QTest::newRow("a check state below unchecked") << SerialLogic << "-1" << 1;
    QTest::newRow("the word True is no check state") << ParallelLogic << "True" << 0;
}

void TestOptionFields::shownValue()
{
    QFETCH(OptionField, field);
    QFETCH(QString, stored);
    QFETCH(int, shown);
    QCOMPARE(int(options::shownValue(field, stored)), shown);
}

void TestOptionFields::everyDefaultFitsItsControl()
{
    for (const OptionField& field : options::All) {
        const Int16 value = toInt16(QLatin1String(field.setting.defaultText));
        QVERIFY2(value >= field.lowest && value <= field.highest, field.setting.key);
        QCOMPARE(options::shownValue(field, QLatin1String(field.setting.defaultText)), value);
    }
}

void TestOptionFields::everyValueSurvivesTheStore()
{
    for (const OptionField& field : options::All) {
        for (int value = field.lowest; value <= field.highest; ++value)
            QCOMPARE(int(options::shownValue(field, options::storedText(Int16(value)))), value);
    }
}

void TestOptionFields::storedText_data()
{
    QTest::addColumn<int>("value");
    QTest::addColumn<QString>("text");
    QTest::newRow("no selection has a leading minus") << -1 << "-1";
    QTest::newRow("zero") << 0 << "0";
    QTest::newRow("two digits, no blank or plus") << 15 << "15";
}

void TestOptionFields::storedText()
{
    QFETCH(int, value);
    QFETCH(QString, text);
    QCOMPARE(options::storedText(Int16(value)), text);
}

QTEST_APPLESS_MAIN(TestOptionFields)
#include "test_option_fields.moc"
