#include "project/pagekinds.h"
#include "project/picture.h"
#include "project/records.h"

#include <QtTest>

using K = PageKinds;

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

    // Every kind of the table, both ways through the names: the English
    // combo text maps back to the stored name, Japanese mode stores the text
    // itself, the display and strip names come from the row, and what Add
    // makes (and what repair pads from) is a record of that kind.
    void everyKind_data()
    {
        QTest::addColumn<bool>("condition");
        QTest::addColumn<int>("row");
        for (bool condition : {false, true}) {
            const auto &kinds = condition ? K::conditions() : K::operations();
            for (int i = 0; i < kinds.size(); ++i)
                QTest::newRow(qPrintable((condition ? "cond " : "op ") + kinds.at(i).english)) << condition << i;
        }
    }
    void everyKind()
    {
        QFETCH(bool, condition);
        QFETCH(int, row);
        const K::Kind &k = (condition ? K::conditions() : K::operations()).at(row);
        auto stored = [&](const QString &text, bool ja) {
            return condition ? K::storedConditionKind(text, ja) : K::storedCommandKind(text, ja);
        };
        auto display = [&](bool ja) {
            return condition ? K::conditionDisplayName(k.stored, ja) : K::commandDisplayName(k.stored, ja);
        };
        QCOMPARE(stored(k.english, false), k.stored);
        QCOMPARE(stored(k.stored, true), k.stored);
        QCOMPARE(display(false), k.english);
        QCOMPARE(display(true), k.stored);
        QCOMPARE((condition ? K::conditionItems(false) : K::operationItems(false)).at(row), k.english);
        QCOMPARE((condition ? K::conditionItems(true) : K::operationItems(true)).at(row), k.stored);
        QCOMPARE(condition ? K::condition(k.stored) : K::operation(k.stored), &k);
        if (!condition) {
            QCOMPARE(K::stripName(k.stored, true), k.stored);
            QCOMPARE(K::stripName(k.stored, false), k.englishStrip);
        }

        const QTime now(9, 5);
        const QStringList created = condition ? K::createdCondition(k.stored, now) : K::createdCommand(k.stored, now);
        QCOMPARE(K::kindOf(created), k.stored);
        QCOMPARE(created.size(), k.padding.size());
        QCOMPARE(K::kindOf(k.padding), k.stored);

        // A record holding its kind alone is padded to the full record.
        RecordList commands{condition ? K::blankCommand() : QStringList{k.stored}};
        RecordList conditions{condition ? QStringList{k.stored} : K::blankCondition()};
        QCOMPARE(K::repair(commands, conditions), k.padding.size() > 1);
        QCOMPARE((condition ? conditions : commands).first(), k.padding);

        // The run reaches this row's code, and no other row's, by its id.
        const auto &table = condition ? K::conditions() : K::operations();
        const int id = condition ? int(K::conditionId(created).value()) : int(K::operationId(created).value());
        QCOMPARE(id, k.id);
        for (const K::Kind &other : table)
            QVERIFY(&other == &k || other.id != k.id);

        // Its parameters describe its record, one per element after the kind:
        // what Add makes is sound once a key or a picture is captured, and a value that
        // does not fit a parameter is found under that parameter's field.
        QCOMPARE(k.params.size(), k.padding.size() - 1);
        QStringList sound = created;
        for (int i = 1; i < sound.size(); ++i) {
            if (k.params.at(i - 1).type == K::Param::Type::Key)
                sound[i] = QStringLiteral("65,2");
            if (k.params.at(i - 1).type == K::Param::Type::Picture) {
                QImage captured(2, 2, QImage::Format_RGB32);
                captured.fill(Qt::darkCyan);
                sound[i] = picture::encode(captured);
            }
        }
        auto findings = [&](const QStringList &record) {
            return condition ? K::check({K::blankCommand()}, {record}) : K::check({record}, {K::blankCondition()});
        };
        QCOMPARE(findings(sound), QList<K::Finding>());
        for (int i = 1; i < sound.size(); ++i) {
            QStringList bad = sound;
            bad[i] = QStringLiteral("?");
            const QList<K::Finding> found = findings(bad);
            if (k.params.at(i - 1).type == K::Param::Type::Text) {
                QCOMPARE(found, QList<K::Finding>()); // any text plays
                continue;
            }
            QCOMPARE(found.size(), 1);
            QCOMPARE(found.first().field, QString::fromLatin1(k.params.at(i - 1).english));
            QVERIFY(found.first().describe(true).contains(QString::fromUtf16(k.params.at(i - 1).japanese)));
        }

        // Each kind's help line is there in both languages.
        QVERIFY(!QString::fromUtf16(k.helpJapanese).isEmpty());
        QVERIFY(!QString::fromUtf16(k.helpEnglish).isEmpty());
    }

    void namesOfNoKind_data()
    {
        QTest::addColumn<bool>("condition");
        QTest::addColumn<QString>("text");
        QTest::newRow("op: a condition's name") << false << "Wait until over";
        QTest::newRow("cond: an operation's name") << true << "Enter Text";
        QTest::newRow("op: English in the wrong case") << false << "click";
    }
    void namesOfNoKind()
    {
        QFETCH(bool, condition);
        QFETCH(QString, text);
        // Unknown texts pass through and are shown as stored.
        QCOMPARE(condition ? K::storedConditionKind(text, false) : K::storedCommandKind(text, false), text);
        QCOMPARE(condition ? K::conditionDisplayName(text, false) : K::commandDisplayName(text, false), text);
        QVERIFY((condition ? K::createdCondition(text) : K::createdCommand(text)).isEmpty());
        QCOMPARE(K::stripName(text, false), text);
        // A run plays no code for it.
        QVERIFY(condition ? !K::conditionId({text}) : !K::operationId({text}));
    }

    void sides()
    {
        QCOMPARE(K::storedSide("Right", false), QString("右"));
        QCOMPARE(K::storedSide("Left", false), QString("左"));
        QCOMPARE(K::storedSide("anything", false), QString("左"));
        QCOMPARE(K::storedSide("右", true), QString("右"));
        QCOMPARE(K::displaySide("右", false), QString("Right"));
        QCOMPARE(K::displaySide("x", false), QString("Left"));
    }

    void stripNames()
    {
        // The strip writes a Key operation in lower case; its label does not.
        QCOMPARE(K::stripName(K::kKey, false), QString("key"));
        QCOMPARE(K::commandDisplayName(K::kKey, false), QString("Key"));
        QCOMPARE(K::stripName(K::kKey, true), QString("キー"));
    }

    void createdRecords()
    {
        QCOMPARE(K::createdCommand(K::kClick), QStringList({"クリック", "左", "0.01"}));
        QCOMPARE(K::createdCommand(K::kSmoothMove), QStringList({"スムーズムーブ", "0", "0", "1"}));
        QCOMPARE(K::createdCommand(K::kKey), QStringList({"キー", "", "0.01"}));
        QCOMPARE(K::createdCommand(K::kEnterText), QStringList({"入力", "", "3"}));
        QCOMPARE(K::createdCondition(K::kClockTime, QTime(9, 5)), QStringList({"時刻", "9", "5"}));
        QCOMPARE(K::createdCondition(K::kImmediately), QStringList({"即時"}));
        QCOMPARE(K::createdCondition(K::kKey), QStringList({"キー", ""}));
        // A capture sets the hold time back to its default.
        QCOMPARE(K::capturedKeyCommand("71,3"), QStringList({"キー", "71,3", "0.01"}));
        QCOMPARE(K::capturedKeyCondition("71,3"), QStringList({"キー", "71,3"}));
    }

    void listEquality()
    {
        RecordList a{K::blankCommand()};
        RecordList saved = a;
        a[0] = K::createdCommand(K::kClick);
        QVERIFY(a != saved);
        a[0] = K::createdCommand(K::kNone);
        QVERIFY(a == saved); // changed and changed back: saved again
        RecordList longer = saved;
        longer.append(K::blankCommand());
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
        QCOMPARE(PageKinds::repair(commands, conditions), changed);
        QCOMPARE(commands, wantCommands);
        QCOMPARE(conditions, wantConditions);
    }

    // Views read past the end as empty text and never change a record's
    // length or kind; a view of a const record writes nothing.
    void viewsKeepTheRecordsShape()
    {
        QStringList shortGlide{"スムーズムーブ", "5"};
        const K::GlideOperation glide(shortGlide);
        QCOMPARE(glide.xText(), QString("5"));
        QCOMPARE(glide.yText(), QString());
        QCOMPARE(glide.durationText(), QString());
        glide.setY(7);
        glide.setDuration(2.5);
        glide.setX(-3);
        QCOMPARE(shortGlide, QStringList({"スムーズムーブ", "-3"}));
        glide.placeTarget(10, 20); // the one writer that grows a short record
        QCOMPARE(shortGlide, QStringList({"スムーズムーブ", "10", "20"}));

        QStringList clock{"時刻", "1", "2", "extra"};
        K::ClockCondition(clock).setHour(23);
        K::ClockCondition(clock).setMinute(59);
        QCOMPARE(clock, QStringList({"時刻", "23", "59", "extra"}));

        const QStringList frozen{"クリック", "右", "2"};
        const K::ClickOperation readOnly(frozen);
        readOnly.setSide("左");
        readOnly.setHold(9);
        QCOMPARE(frozen, QStringList({"クリック", "右", "2"}));
        QVERIFY(!readOnly.left());

        QCOMPARE(K::kindOf({}), QString());
        QVERIFY(K::keyMissing(""));
        QVERIFY(K::keyMissing("なし"));
        QVERIFY(!K::keyMissing("65,0"));
    }
};

QTEST_APPLESS_MAIN(TestRecords)
#include "tst_records.moc"
