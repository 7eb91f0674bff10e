#include "input/qtkeycode.h"

#include <utility>

namespace qtkeycode {
namespace {

// Keys outside letters, digits and function keys: Qt's key, the Windows
// virtual-key code (winuser.h's VK_*).
constexpr std::pair<int, int> kKeys[] = {
    {Qt::Key_Escape, 0x1B}, {Qt::Key_Tab, 0x09}, {Qt::Key_Backtab, 0x09}, {Qt::Key_Backspace, 0x08},
    {Qt::Key_Return, 0x0D}, {Qt::Key_Enter, 0x0D}, {Qt::Key_Insert, 0x2D}, {Qt::Key_Delete, 0x2E},
    {Qt::Key_Pause, 0x13}, {Qt::Key_Print, 0x2C}, {Qt::Key_SysReq, 0x2C}, {Qt::Key_Clear, 0x0C},
    {Qt::Key_Home, 0x24}, {Qt::Key_End, 0x23}, {Qt::Key_Left, 0x25}, {Qt::Key_Up, 0x26},
    {Qt::Key_Right, 0x27}, {Qt::Key_Down, 0x28}, {Qt::Key_PageUp, 0x21}, {Qt::Key_PageDown, 0x22},
    {Qt::Key_Space, 0x20}, {Qt::Key_CapsLock, 0x14}, {Qt::Key_NumLock, 0x90}, {Qt::Key_ScrollLock, 0x91},
    {Qt::Key_Menu, 0x5D},
    // Modifiers: Qt names no side but AltGr's, so the left key stands for both.
    {Qt::Key_Shift, 0xA0}, {Qt::Key_Control, 0xA2}, {Qt::Key_Alt, 0xA4}, {Qt::Key_AltGr, 0xA5},
    {Qt::Key_Meta, 0x5B}, {Qt::Key_Super_L, 0x5B}, {Qt::Key_Super_R, 0x5C},
    // Japanese keyboards.
    {Qt::Key_Henkan, 0x1C}, {Qt::Key_Muhenkan, 0x1D}, {Qt::Key_Zenkaku_Hankaku, 0xF3},
    {Qt::Key_Hiragana_Katakana, 0xF2}, {Qt::Key_Kanji, 0x19},
    // Punctuation keys by their US-layout places (VK_OEM_*), shifted or not.
    {Qt::Key_Semicolon, 0xBA}, {Qt::Key_Colon, 0xBA}, {Qt::Key_Equal, 0xBB}, {Qt::Key_Plus, 0xBB},
    {Qt::Key_Comma, 0xBC}, {Qt::Key_Less, 0xBC}, {Qt::Key_Minus, 0xBD}, {Qt::Key_Underscore, 0xBD},
    {Qt::Key_Period, 0xBE}, {Qt::Key_Greater, 0xBE}, {Qt::Key_Slash, 0xBF}, {Qt::Key_Question, 0xBF},
    {Qt::Key_QuoteLeft, 0xC0}, {Qt::Key_AsciiTilde, 0xC0}, {Qt::Key_BracketLeft, 0xDB}, {Qt::Key_BraceLeft, 0xDB},
    {Qt::Key_Backslash, 0xDC}, {Qt::Key_Bar, 0xDC}, {Qt::Key_BracketRight, 0xDD}, {Qt::Key_BraceRight, 0xDD},
    {Qt::Key_Apostrophe, 0xDE}, {Qt::Key_QuoteDbl, 0xDE},
    // Shifted digits on a US keyboard.
    {Qt::Key_Exclam, '1'}, {Qt::Key_At, '2'}, {Qt::Key_NumberSign, '3'}, {Qt::Key_Dollar, '4'},
    {Qt::Key_Percent, '5'}, {Qt::Key_AsciiCircum, '6'}, {Qt::Key_Ampersand, '7'}, {Qt::Key_Asterisk, '8'},
    {Qt::Key_ParenLeft, '9'}, {Qt::Key_ParenRight, '0'},
};

// The keypad's keys that are not digits (VK_MULTIPLY … VK_DIVIDE).
constexpr std::pair<int, int> kKeypad[] = {
    {Qt::Key_Asterisk, 0x6A}, {Qt::Key_Plus, 0x6B}, {Qt::Key_Minus, 0x6D},
    {Qt::Key_Period, 0x6E}, {Qt::Key_Comma, 0x6E}, {Qt::Key_Slash, 0x6F},
};

int lookUp(const auto &table, int qtKey)
{
    for (const auto &[key, vk] : table) {
        if (key == qtKey)
            return vk;
    }
    return 0;
}

} // namespace

int vkOf(int qtKey, Qt::KeyboardModifiers modifiers)
{
    const bool keypad = modifiers.testFlag(Qt::KeypadModifier);
    if (qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9)
        return keypad ? 0x60 + (qtKey - Qt::Key_0) : qtKey; // VK_NUMPAD0… or the digit itself
    if (qtKey >= Qt::Key_A && qtKey <= Qt::Key_Z)
        return qtKey; // the virtual-key codes of letters are their capitals
    if (qtKey >= Qt::Key_F1 && qtKey <= Qt::Key_F24)
        return 0x70 + (qtKey - Qt::Key_F1); // VK_F1…VK_F24
    if (keypad) {
        if (const int vk = lookUp(kKeypad, qtKey))
            return vk;
    }
    return lookUp(kKeys, qtKey);
}

} // namespace qtkeycode
