#include "platform/desktop_x11_vk.h"

#include <X11/keysym.h>

namespace platform::x11vk {

namespace {

struct Pair {
    int vk;
    unsigned long keysym;
};

// Keys that are not letters, digits or function keys. The first entry of a
// code is the key we press for it; later entries only serve the reverse
// direction (what a hook reports for a keysym).
constexpr Pair kTable[] = {
    {8, XK_BackSpace},
    {9, XK_Tab},
    {9, XK_ISO_Left_Tab},
    {12, XK_Clear},
    {13, XK_Return},
    {13, XK_KP_Enter},
    {16, XK_Shift_L},
    {17, XK_Control_L},
    {18, XK_Alt_L},
    {19, XK_Pause},
    {20, XK_Caps_Lock},
    {27, XK_Escape},
    {32, XK_space},
    {33, XK_Prior},
    {34, XK_Next},
    {35, XK_End},
    {36, XK_Home},
    {37, XK_Left},
    {38, XK_Up},
    {39, XK_Right},
    {40, XK_Down},
    {44, XK_Print},
    {45, XK_Insert},
    {46, XK_Delete},
    {91, XK_Super_L},
    {92, XK_Super_R},
    {93, XK_Menu},
    {96, XK_KP_0},
    {97, XK_KP_1},
    {98, XK_KP_2},
    {99, XK_KP_3},
    {100, XK_KP_4},
    {101, XK_KP_5},
    {102, XK_KP_6},
    {103, XK_KP_7},
    {104, XK_KP_8},
    {105, XK_KP_9},
    {106, XK_KP_Multiply},
    {107, XK_KP_Add},
    {108, XK_KP_Separator},
    {109, XK_KP_Subtract},
    {110, XK_KP_Decimal},
    {111, XK_KP_Divide},
    {144, XK_Num_Lock},
    {145, XK_Scroll_Lock},
    {160, XK_Shift_L},
    {161, XK_Shift_R},
    {162, XK_Control_L},
    {163, XK_Control_R},
    {164, XK_Alt_L},
    {164, XK_Meta_L},
    {165, XK_Alt_R},
    {165, XK_Meta_R},
    {165, XK_ISO_Level3_Shift}, // AltGr is the right Alt key
    {186, XK_semicolon},
    {187, XK_equal},
    {188, XK_comma},
    {189, XK_minus},
    {190, XK_period},
    {191, XK_slash},
    {192, XK_grave},
    {219, XK_bracketleft},
    {220, XK_backslash},
    {221, XK_bracketright},
    {222, XK_apostrophe},
    {226, XK_less},
    // With Num Lock off the keypad keys carry their navigation keysyms at
    // level 1; a hook sees the navigation codes then, as on Windows.
    {45, XK_KP_Insert},
    {46, XK_KP_Delete},
    {35, XK_KP_End},
    {40, XK_KP_Down},
    {34, XK_KP_Next},
    {37, XK_KP_Left},
    {12, XK_KP_Begin},
    {39, XK_KP_Right},
    {36, XK_KP_Home},
    {38, XK_KP_Up},
    {33, XK_KP_Prior},
};

} // namespace

std::vector<unsigned long> keysymsForVk(int vkCode)
{
    if (vkCode >= 'A' && vkCode <= 'Z')
        return {XK_a + unsigned(vkCode - 'A')};
    if (vkCode >= '0' && vkCode <= '9')
        return {XK_0 + unsigned(vkCode - '0')};
    if (vkCode >= 112 && vkCode <= 135)
        return {XK_F1 + unsigned(vkCode - 112)};
    std::vector<unsigned long> out;
    auto collect = [&out](int code) {
        for (const Pair &p : kTable) {
            if (p.vk == code)
                out.push_back(p.keysym);
        }
    };
    collect(vkCode);
    // The generic modifier codes stand for either side.
    if (vkCode == 16)
        collect(161);
    else if (vkCode == 17)
        collect(163);
    else if (vkCode == 18)
        collect(165);
    return out;
}

int vkForKeysym(unsigned long keysym)
{
    if (keysym >= XK_a && keysym <= XK_z)
        return 'A' + int(keysym - XK_a);
    if (keysym >= XK_A && keysym <= XK_Z)
        return 'A' + int(keysym - XK_A);
    if (keysym >= XK_0 && keysym <= XK_9)
        return '0' + int(keysym - XK_0);
    if (keysym >= XK_F1 && keysym <= XK_F24)
        return 112 + int(keysym - XK_F1);
    for (const Pair &p : kTable) {
        // Generic modifier codes are never reported: a hook sees sides.
        if (p.keysym == keysym && (p.vk < 16 || p.vk > 18))
            return p.vk;
    }
    return 0;
}

unsigned long keysymForCodePoint(char32_t cp)
{
    switch (cp) {
    case U'\n':
    case U'\r': return XK_Return;
    case U'\t': return XK_Tab;
    case 0x08: return XK_BackSpace;
    case 0x1b: return XK_Escape;
    case 0x7f: return XK_Delete;
    default: break;
    }
    if (cp < 0x20 || (cp >= 0x80 && cp < 0xa0))
        return 0;
    if (cp >= 0xd800 && cp <= 0xdfff)
        return 0; // a lone surrogate is no character
    if (cp > 0x10ffff)
        return 0;
    if (cp < 0x100)
        return cp;
    return 0x01000000ul + cp;
}

} // namespace platform::x11vk
