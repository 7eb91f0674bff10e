#include "project/records.h"

#include <QtTest>

using namespace records;

class TestRecords : public QObject {
    Q_OBJECT
private slots:
    void timeText_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<QString>("text");
        QTest::newRow("0.01") << 0.01 << "0.01";
        QTest::newRow("1") << 1.0 << "1";
        QTest::newRow("12.25") << 12.25 << "12.25";
        QTest::newRow("1000") << 1000.0 << "1000";
        QTest::newRow("2.5") << 2.5 << "2.5";
        QTest::newRow("0.1") << 0.1 << "0.1";
        QTest::newRow("spin box float noise") << 1.1000000000000001 << "1.1";
    }
    void timeText()
    {
        QFETCH(double, value);
        QFETCH(QString, text);
        QCOMPARE(records::timeText(value), text);
    }

    void englishToStored_data()
    {
        QTest::addColumn<bool>("condition");
        QTest::addColumn<QString>("english");
        QTest::addColumn<QString>("stored");
        QTest::newRow("op None") << false << "None" << "なし";
        QTest::newRow("op Click") << false << "Click" << "クリック";
        QTest::newRow("op Mouse Pointer") << false << "Mouse Pointer" << "マウスポインター";
        QTest::newRow("op Smooth Move") << false << "Smooth Move" << "スムーズムーブ";
        QTest::newRow("op Key") << false << "Key" << "キー";
        QTest::newRow("op Enter Text") << false << "Enter Text" << "入力";
        QTest::newRow("op unknown passes") << false << "Wait until over" << "Wait until over";
        QTest::newRow("cond Wait") << true << "Wait until over" << "終わるまで待つ";
        QTest::newRow("cond Time") << true << "Time" << "時間";
        QTest::newRow("cond Immediately") << true << "Immediately" << "即時";
        QTest::newRow("cond Click") << true << "Click" << "クリック";
        QTest::newRow("cond Key") << true << "Key" << "キー";
        QTest::newRow("cond Clock Time") << true << "Clock Time" << "時刻";
        QTest::newRow("cond unknown passes") << true << "Enter Text" << "Enter Text";
    }
    void englishToStored()
    {
        QFETCH(bool, condition);
        QFETCH(QString, english);
        QFETCH(QString, stored);
        const QString got = condition ? storedConditionKind(english, false) : storedCommandKind(english, false);
        QCOMPARE(got, stored);
        // Japanese mode stores the combo text itself.
        QCOMPARE(condition ? storedConditionKind(english, true) : storedCommandKind(english, true), english);
        // And the display name maps back (unknown kinds are shown as stored).
        if (stored != english)
            QCOMPARE(condition ? conditionDisplayName(stored, false) : commandDisplayName(stored, false), english);
    }

    void sides()
    {
        QCOMPARE(storedSide("Right", false), QString("右"));
        QCOMPARE(storedSide("Left", false), QString("左"));
        QCOMPARE(storedSide("anything", false), QString("左"));
        QCOMPARE(storedSide("右", true), QString("右"));
        QCOMPARE(displaySide("右", false), QString("Right"));
        QCOMPARE(displaySide("x", false), QString("Left"));
    }

    void stripNames()
    {
        QCOMPARE(stripName(kKey, false), QString("key"));
        QCOMPARE(commandDisplayName(kKey, false), QString("Key"));
        QCOMPARE(stripName(kKey, true), QString("キー"));
        QCOMPARE(stripName("Click", false), QString("Click")); // unknown stored text shown as stored
    }

    void createdRecords()
    {
        QCOMPARE(createdCommand(kClick), QStringList({"クリック", "左", "0.01"}));
        QCOMPARE(createdCommand(kSmoothMove), QStringList({"スムーズムーブ", "0", "0", "1"}));
        QCOMPARE(createdCommand(kKey), QStringList({"キー", "", "0.01"}));
        QCOMPARE(createdCommand(kEnterText), QStringList({"入力", "", "3"}));
        QVERIFY(createdCommand("bogus").isEmpty());
        QCOMPARE(createdCondition(kClockTime, QTime(9, 5)), QStringList({"時刻", "9", "5"}));
        QCOMPARE(createdCondition(kImmediately), QStringList({"即時"}));
        QCOMPARE(createdCondition(kKey), QStringList({"キー", ""}));
    }

    void listEquality()
    {
        RecordList a{blankCommand()};
        RecordList saved = a;
        a[0] = createdCommand(kClick);
        QVERIFY(a != saved);
        a[0] = createdCommand(kNone);
        QVERIFY(a == saved); // changed and changed back: saved again
        RecordList longer = saved;
        longer.append(blankCommand());
        QVERIFY(longer != saved);
        RecordList caseDiff{{"なし"}, {"A"}};
        RecordList caseDiff2{{"なし"}, {"a"}};
        QVERIFY(caseDiff != caseDiff2);
    }

    void repair_data()
    {
        QTest::addColumn<RecordList>("commands");
        QTest::addColumn<RecordList>("conditions");
        QTest::addColumn<RecordList>("wantCommands");
        QTest::addColumn<RecordList>("wantConditions");
        QTest::addColumn<bool>("changed");
        const RecordList blankCmd{{"なし"}};
        const RecordList blankCond{{"終わるまで待つ", "0.1"}};
        QTest::newRow("empty project") << RecordList{} << RecordList{} << blankCmd << blankCond << true;
        QTest::newRow("sound project") << blankCmd << blankCond << blankCmd << blankCond << false;
        QTest::newRow("short conditions padded with blank pages")
            << RecordList{{"なし"}, {"クリック", "右", "2"}} << RecordList{{"即時"}}
            << RecordList{{"なし"}, {"クリック", "右", "2"}}
            << RecordList{{"即時"}, {"終わるまで待つ", "0.1"}} << true;
        QTest::newRow("short commands padded")
            << RecordList{} << RecordList{{"時間", "1"}} << blankCmd << RecordList{{"時間", "1"}} << true;
        QTest::newRow("short records of known kinds")
            << RecordList{{"クリック"}, {"スムーズムーブ", "5"}, {"キー"}}
            << RecordList{{"時間"}, {"時刻", "7"}, {"キー"}}
            << RecordList{{"クリック", "左", "0.01"}, {"スムーズムーブ", "5", "0", "1"}, {"キー", "", "0.01"}}
            << RecordList{{"時間", "0.1"}, {"時刻", "7", "0"}, {"キー", ""}} << true;
        QTest::newRow("unknown kinds kept") << RecordList{{"Click"}} << RecordList{{"whatever"}}
                                            << RecordList{{"Click"}} << RecordList{{"whatever"}} << false;
        QTest::newRow("empty records")
            << RecordList{{}} << RecordList{{}} << blankCmd << blankCond << true;
    }
    void repair()
    {
        QFETCH(RecordList, commands);
        QFETCH(RecordList, conditions);
        QFETCH(RecordList, wantCommands);
        QFETCH(RecordList, wantConditions);
        QFETCH(bool, changed);
        QCOMPARE(records::repair(commands, conditions), changed);
        QCOMPARE(commands, wantCommands);
        QCOMPARE(conditions, wantConditions);
    }

    void elementPastEnd()
    {
        QCOMPARE(element({"a"}, 3), QString());
        QCOMPARE(element({"a"}, -1), QString());
        QCOMPARE(element({"a", "b"}, 1), QString("b"));
    }
};

QTEST_APPLESS_MAIN(TestRecords)
#include "tst_records.moc"
