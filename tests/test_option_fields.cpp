// SPDX-License-Identifier: GPL-3.0-or-later
#include "config/OptionFields.h"

#include <QTest>

using namespace kestrova;

Q_DECLARE_METATYPE(kestrova::OptionField)

// The text <-> value mapping of the six option settings; the text rules themselves belong to
// the conversions test, the wiring to the dialog test.
class TestOptionFields : public QObject {
    Q_OBJECT
private slots:
    void shownValue_data()
    {
        QTest::addColumn<OptionField>("field");
        QTest::addColumn<QString>("stored");
        QTest::addColumn<int>("shown");
        using namespace options;
        QTest::newRow("no LPT port") << ParallelPort << "-1" << -1;
        QTest::newRow("no bit") << ParallelBit << "-1" << -1;
        QTest::newRow("no Com port") << SerialPort << "-1" << -1;
        QTest::newRow("no control line") << SerialLine << "-1" << -1;
        QTest::newRow("below no selection") << ParallelBit << "-2" << 1;
        QTest::newRow("LPT3, the last port") << ParallelPort << "2" << 2;
        QTest::newRow("past LPT3") << ParallelPort << "3" << 0;
        QTest::newRow("D7, the last bit") << ParallelBit << "7" << 7;
        QTest::newRow("past D7") << ParallelBit << "8" << 1;
        QTest::newRow("Com16, the last port") << SerialPort << "15" << 15;
        QTest::newRow("past Com16") << SerialPort << "16" << 0;
        QTest::newRow("DTR, the last line") << SerialLine << "1" << 1;
        QTest::newRow("past DTR") << SerialLine << "2" << 0;
        QTest::newRow("greyed") << ParallelLogic << "2" << 2;
        QTest::newRow("past greyed") << ParallelLogic << "3" << 0;
        QTest::newRow("below unchecked") << SerialLogic << "-1" << 1;
        QTest::newRow("a word") << ParallelBit << "five" << 1;
        QTest::newRow("empty text") << SerialLine << "" << 0;
        QTest::newRow("beyond 16 bits") << SerialPort << "40000" << 0;
        QTest::newRow("blanks and a fraction, rounded to even") << ParallelBit << " 4.5 " << 4;
        QTest::newRow("a fraction rounding past D7") << ParallelBit << "7.6" << 1;
    }
    void shownValue()
    {
        QFETCH(OptionField, field);
        QFETCH(QString, stored);
        QFETCH(int, shown);
        QCOMPARE(int(options::shownValue(field, stored)), shown);
    }

    // The fallback for a value that does not fit relies on every default fitting.
    void everyValueSurvivesTheStoreAndDefaultsFit()
    {
        for (const OptionField& field : options::All) {
            const Int16 byDefault = toInt16(QLatin1String(field.setting.defaultText));
            QVERIFY2(byDefault >= field.lowest && byDefault <= field.highest, field.setting.key);
            for (int value = field.lowest; value <= field.highest; ++value)
                QCOMPARE(int(options::shownValue(field, options::storedText(Int16(value)))), value);
        }
    }

};

QTEST_APPLESS_MAIN(TestOptionFields)
#include "test_option_fields.moc"
