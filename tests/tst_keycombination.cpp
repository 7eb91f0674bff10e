#include "input/keycombination.h"

#include <QtTest>

class TestKeyCombination : public QObject {
    Q_OBJECT
private slots:
    // The run and record settings show a stop command this way.
    void stopLabel_data()
    {
        QTest::addColumn<QString>("code");
        QTest::addColumn<QString>("label");
        QTest::newRow("empty") << "" << "なし";
        QTest::newRow("none") << "なし" << "なし";
        QTest::newRow("not a number") << "abc" << "無効なキー";
        QTest::newRow("only commas") << ",," << "無効なキー";
        QTest::newRow("Ctrl+Shift+F5") << "116,6" << "Ctrl+Shift+F5";
    }
    void stopLabel()
    {
        QFETCH(QString, code);
        QFETCH(QString, label);
        QCOMPARE(KeyCombination::stopLabel(code), label);
    }

    void keyNames_data()
    {
        QTest::addColumn<int>("vk");
        QTest::addColumn<QString>("name");
        for (int c = 65; c <= 90; ++c)
            QTest::addRow("letter %d", c) << c << QString(QChar(c));
        for (int c = 48; c <= 57; ++c)
            QTest::addRow("digit %d", c) << c << QString(QChar(c));
        for (int c = 112; c <= 135; ++c)
            QTest::addRow("F%d", c - 111) << c << QStringLiteral("F%1").arg(c - 111);
        const QList<QPair<int, QString>> table = {
            {8, "Backspace"}, {9, "Tab"}, {13, "Enter"}, {16, "Shift"}, {160, "Shift"}, {161, "Shift"},
            {17, "Ctrl"}, {162, "Ctrl"}, {163, "Ctrl"}, {18, "Alt"}, {164, "Alt"}, {165, "Alt"},
            {27, "Esc"}, {32, "Space"}, {33, "PageUp"}, {34, "PageDown"}, {35, "End"}, {36, "Home"},
            {37, "Left"}, {38, "Up"}, {39, "Right"}, {40, "Down"}, {45, "Insert"}, {46, "Delete"},
            {91, "Win"}, {92, "Win"}, {93, "Menu"}, {96, "VK96"}, {101, "VK101"}, {0, "VK0"},
            {136, "VK136"}, {186, "VK186"},
        };
        for (const auto &[vk, name] : table)
            QTest::addRow("vk %d", vk) << vk << name;
    }
    void keyNames()
    {
        QFETCH(int, vk);
        QFETCH(QString, name);
        QCOMPARE(KeyCombination::keyName(vk), name);
    }

    void labels_data()
    {
        QTest::addColumn<QString>("code");
        QTest::addColumn<QString>("label");
        QTest::newRow("Ctrl+Alt+G") << "71,3" << "Ctrl+Alt+G";
        QTest::newRow("Shift+F5") << "116,4" << "Shift+F5";
        QTest::newRow("left ctrl") << "162,0" << "Ctrl";
        QTest::newRow("right ctrl") << "163,0" << "Ctrl";
        QTest::newRow("ctrl with own bit") << "162,2" << "Ctrl";
        QTest::newRow("Ctrl+Shift+Enter") << "13,6" << "Ctrl+Shift+Enter";
        QTest::newRow("all modifiers") << "13,15" << "Ctrl+Alt+Shift+Win+Enter";
        QTest::newRow("shift own bit") << "160,4" << "Shift";
        QTest::newRow("shift alone") << "160,0" << "Shift";
        QTest::newRow("shift with ctrl") << "160,2" << "Ctrl";
        QTest::newRow("F13") << "124,0" << "F13";
        QTest::newRow("no mask part") << "65" << "A";
        QTest::newRow("bad mask counts 0") << "65,x" << "A";
        QTest::newRow("empty") << "" << "なし";
        QTest::newRow("none") << "なし" << "なし";
        QTest::newRow("not a number") << "abc" << "abc";
        QTest::newRow("only commas") << ",," << ",,";
    }
    void labels()
    {
        QFETCH(QString, code);
        QFETCH(QString, label);
        QCOMPARE(KeyCombination::label(code), label);
    }

    void parse()
    {
        auto p = KeyCombination::parse("71,3,0.5");
        QVERIFY(p.usable());
        QCOMPARE(p.vk, 71);
        QCOMPARE(p.mask, 3);
        QVERIFY(p.holdConverts);
        QCOMPARE(p.hold, 0.5);
        QVERIFY(!KeyCombination::parse("0,3").usable());
        QVERIFY(!KeyCombination::parse("なし").usable());
        QVERIFY(!KeyCombination::parse("x,3").usable());
        p = KeyCombination::parse(",,65,,2");
        QCOMPARE(p.vk, 65); // empty parts are dropped
        QCOMPARE(p.mask, 2);
    }

    void hookBits()
    {
        QCOMPARE(KeyCombination::maskFromHookBits(1), 2); // Ctrl
        QCOMPARE(KeyCombination::maskFromHookBits(2), 1); // Alt
        QCOMPARE(KeyCombination::maskFromHookBits(3), 3);
        QCOMPARE(KeyCombination::maskFromHookBits(4 | 1), 6);
        QCOMPARE(KeyCombination::maskFromHookBits(8), 8);
        QCOMPARE(KeyCombination::format(116, 6), QString("116,6"));
    }
};

QTEST_APPLESS_MAIN(TestKeyCombination)
#include "tst_keycombination.moc"
