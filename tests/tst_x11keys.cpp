// The X11 backend's key tables and keymap reading, without an X server.

#include "platform/desktop_x11_keymap.h"
#include "platform/desktop_x11_vk.h"

#include <QtTest>

#include <X11/keysym.h>

using namespace platform;

class TestX11Keys : public QObject {
    Q_OBJECT
private slots:
    void everyNamedCodeHasAKey_data()
    {
        QTest::addColumn<int>("vk");
        QTest::addColumn<qulonglong>("keysym");
        QTest::newRow("A") << 65 << qulonglong(XK_a);
        QTest::newRow("Z") << 90 << qulonglong(XK_z);
        QTest::newRow("0") << 48 << qulonglong(XK_0);
        QTest::newRow("9") << 57 << qulonglong(XK_9);
        QTest::newRow("F1") << 112 << qulonglong(XK_F1);
        QTest::newRow("F24") << 135 << qulonglong(XK_F24);
        QTest::newRow("Backspace") << 8 << qulonglong(XK_BackSpace);
        QTest::newRow("Tab") << 9 << qulonglong(XK_Tab);
        QTest::newRow("Enter") << 13 << qulonglong(XK_Return);
        QTest::newRow("Pause") << 19 << qulonglong(XK_Pause);
        QTest::newRow("Caps Lock") << 20 << qulonglong(XK_Caps_Lock);
        QTest::newRow("Esc") << 27 << qulonglong(XK_Escape);
        QTest::newRow("Space") << 32 << qulonglong(XK_space);
        QTest::newRow("PageUp") << 33 << qulonglong(XK_Prior);
        QTest::newRow("PageDown") << 34 << qulonglong(XK_Next);
        QTest::newRow("End") << 35 << qulonglong(XK_End);
        QTest::newRow("Home") << 36 << qulonglong(XK_Home);
        QTest::newRow("Left") << 37 << qulonglong(XK_Left);
        QTest::newRow("Up") << 38 << qulonglong(XK_Up);
        QTest::newRow("Right") << 39 << qulonglong(XK_Right);
        QTest::newRow("Down") << 40 << qulonglong(XK_Down);
        QTest::newRow("Print Screen") << 44 << qulonglong(XK_Print);
        QTest::newRow("Insert") << 45 << qulonglong(XK_Insert);
        QTest::newRow("Delete") << 46 << qulonglong(XK_Delete);
        QTest::newRow("left Win") << 91 << qulonglong(XK_Super_L);
        QTest::newRow("right Win") << 92 << qulonglong(XK_Super_R);
        QTest::newRow("Menu") << 93 << qulonglong(XK_Menu);
        QTest::newRow("keypad 0") << 96 << qulonglong(XK_KP_0);
        QTest::newRow("keypad 9") << 105 << qulonglong(XK_KP_9);
        QTest::newRow("keypad *") << 106 << qulonglong(XK_KP_Multiply);
        QTest::newRow("keypad +") << 107 << qulonglong(XK_KP_Add);
        QTest::newRow("keypad -") << 109 << qulonglong(XK_KP_Subtract);
        QTest::newRow("keypad .") << 110 << qulonglong(XK_KP_Decimal);
        QTest::newRow("keypad /") << 111 << qulonglong(XK_KP_Divide);
        QTest::newRow("Num Lock") << 144 << qulonglong(XK_Num_Lock);
        QTest::newRow("Scroll Lock") << 145 << qulonglong(XK_Scroll_Lock);
        QTest::newRow("left Shift") << 160 << qulonglong(XK_Shift_L);
        QTest::newRow("right Shift") << 161 << qulonglong(XK_Shift_R);
        QTest::newRow("left Ctrl") << 162 << qulonglong(XK_Control_L);
        QTest::newRow("right Ctrl") << 163 << qulonglong(XK_Control_R);
        QTest::newRow("left Alt") << 164 << qulonglong(XK_Alt_L);
        QTest::newRow("right Alt") << 165 << qulonglong(XK_Alt_R);
        QTest::newRow("; 186") << 186 << qulonglong(XK_semicolon);
        QTest::newRow("= 187") << 187 << qulonglong(XK_equal);
        QTest::newRow(", 188") << 188 << qulonglong(XK_comma);
        QTest::newRow("- 189") << 189 << qulonglong(XK_minus);
        QTest::newRow(". 190") << 190 << qulonglong(XK_period);
        QTest::newRow("/ 191") << 191 << qulonglong(XK_slash);
        QTest::newRow("` 192") << 192 << qulonglong(XK_grave);
        QTest::newRow("[ 219") << 219 << qulonglong(XK_bracketleft);
        QTest::newRow("\\ 220") << 220 << qulonglong(XK_backslash);
        QTest::newRow("] 221") << 221 << qulonglong(XK_bracketright);
        QTest::newRow("' 222") << 222 << qulonglong(XK_apostrophe);
    }

    // We press the first keysym; a hook reports the same code back for it.
    void everyNamedCodeHasAKey()
    {
        QFETCH(int, vk);
        QFETCH(qulonglong, keysym);
        const auto syms = x11vk::keysymsForVk(vk);
        QVERIFY(!syms.empty());
        QCOMPARE(qulonglong(syms.front()), keysym);
        QCOMPARE(x11vk::vkForKeysym(syms.front()), vk);
    }

    void genericModifiersPressLeftAndCountBothSides_data()
    {
        QTest::addColumn<int>("vk");
        QTest::addColumn<qulonglong>("left");
        QTest::addColumn<qulonglong>("right");
        QTest::addColumn<int>("reported");
        QTest::newRow("Shift") << 16 << qulonglong(XK_Shift_L) << qulonglong(XK_Shift_R) << 160;
        QTest::newRow("Ctrl") << 17 << qulonglong(XK_Control_L) << qulonglong(XK_Control_R) << 162;
        QTest::newRow("Alt") << 18 << qulonglong(XK_Alt_L) << qulonglong(XK_Alt_R) << 164;
    }

    void genericModifiersPressLeftAndCountBothSides()
    {
        QFETCH(int, vk);
        QFETCH(qulonglong, left);
        QFETCH(qulonglong, right);
        QFETCH(int, reported);
        const auto syms = x11vk::keysymsForVk(vk);
        QCOMPARE(qulonglong(syms.front()), left);
        QVERIFY(std::find(syms.begin(), syms.end(), right) != syms.end());
        // A hook never reports the generic code, only the side.
        QCOMPARE(x11vk::vkForKeysym(left), reported);
    }

    void hookCodesOfOtherKeysyms_data()
    {
        QTest::addColumn<qulonglong>("keysym");
        QTest::addColumn<int>("vk");
        QTest::newRow("upper-case letter") << qulonglong(XK_G) << 71;
        QTest::newRow("AltGr is right Alt") << qulonglong(XK_ISO_Level3_Shift) << 165;
        QTest::newRow("keypad Enter") << qulonglong(XK_KP_Enter) << 13;
        QTest::newRow("keypad Home without Num Lock") << qulonglong(XK_KP_Home) << 36;
        QTest::newRow("Shift+Tab") << qulonglong(XK_ISO_Left_Tab) << 9;
        QTest::newRow("unknown") << qulonglong(0x1008ff81) << 0;
    }

    void hookCodesOfOtherKeysyms()
    {
        QFETCH(qulonglong, keysym);
        QFETCH(int, vk);
        QCOMPARE(x11vk::vkForKeysym(keysym), vk);
    }

    void codesWithoutKey()
    {
        for (int vk : {0, 1, 2, 7, 255, -3, 1000})
            QVERIFY2(x11vk::keysymsForVk(vk).empty(), qPrintable(QString::number(vk)));
    }

    void keysymOfCharacter_data()
    {
        QTest::addColumn<uint>("codePoint");
        QTest::addColumn<qulonglong>("keysym");
        QTest::newRow("ASCII") << uint('a') << qulonglong(XK_a);
        QTest::newRow("Latin-1") << 0xe9u << qulonglong(XK_eacute);
        QTest::newRow("BMP") << 0x3042u << qulonglong(0x1003042);
        QTest::newRow("astral") << 0x1f600u << qulonglong(0x101f600);
        QTest::newRow("line break") << 0x0au << qulonglong(XK_Return);
        QTest::newRow("carriage return") << 0x0du << qulonglong(XK_Return);
        QTest::newRow("tab") << 0x09u << qulonglong(XK_Tab);
        QTest::newRow("backspace") << 0x08u << qulonglong(XK_BackSpace);
        QTest::newRow("escape") << 0x1bu << qulonglong(XK_Escape);
        QTest::newRow("other control") << 0x01u << qulonglong(0);
        QTest::newRow("C1 control") << 0x85u << qulonglong(0);
        QTest::newRow("lone surrogate") << 0xd83du << qulonglong(0);
        QTest::newRow("past Unicode") << 0x110000u << qulonglong(0);
    }

    void keysymOfCharacter()
    {
        QFETCH(uint, codePoint);
        QFETCH(qulonglong, keysym);
        QCOMPARE(qulonglong(x11vk::keysymForCodePoint(char32_t(codePoint))), keysym);
    }

    void spareKeycodesCheckEveryColumnFromTheTop()
    {
        // Keycodes 8..13, 4 columns. 8 empty, 9 'a', 10 empty, 11 has a
        // keysym only in its last column, 12 empty, 13 (the top) empty.
        X11Keymap keymap;
        keymap.setForTesting(8, 4,
                             {0, 0, 0, 0,                   //
                              XK_a, XK_A, XK_a, XK_A,       //
                              0, 0, 0, 0,                   //
                              0, 0, 0, XK_bar,              //
                              0, 0, 0, 0,                   //
                              0, 0, 0, 0});
        QCOMPARE(keymap.maxKeycode(), 13);
        QCOMPARE(keymap.spareKeycodes(), (std::vector<int>{13, 12, 10, 8}));
        QVERIFY(!keymap.isSpare(11));
        QVERIFY(!keymap.isSpare(7));
        QVERIFY(!keymap.isSpare(14));
        QCOMPARE(keymap.row(11), (std::vector<unsigned long>{0, 0, 0, XK_bar}));
    }

    void findPrefersPlainThenShiftThenLevelThree()
    {
        X11Keymap keymap;
        keymap.setForTesting(8, 6,
                             {XK_less, XK_greater, XK_less, XK_greater, XK_bar, XK_brokenbar, //
                              XK_backslash, XK_bar, XK_backslash, XK_bar, 0, 0});
        QCOMPARE(keymap.find(XK_bar).keycode, 9);
        QCOMPARE(keymap.find(XK_bar).column, 1);
        QCOMPARE(keymap.find(XK_less).column, 0);
        QCOMPARE(keymap.find(XK_brokenbar).keycode, 8);
        QCOMPARE(keymap.find(XK_brokenbar).column, 5);
        QCOMPARE(keymap.find(XK_a).column, -1);
        QCOMPARE(keymap.keycodesOf(XK_bar), (std::vector<int>{9}));
        QCOMPARE(keymap.keycodesOf(XK_less), (std::vector<int>{8}));
    }
};

QTEST_MAIN(TestX11Keys)
#include "tst_x11keys.moc"
