#pragma once

// Key-combination codes ("71,3": virtual-key code, modifier mask Alt 1,
// Ctrl 2, Shift 4, Win 8), key names and the labels shown for codes.

#include <QString>

class KeyCombination {
public:
    /// A code split into its numbers.
    struct Parsed {
        bool none = true;       ///< empty text or "なし"
        int parts = 0;          ///< non-empty parts after splitting at ","
        bool keyConverts = false; ///< part 0 is a base-10 integer
        int vk = 0;             ///< part 0 (0 when it does not convert)
        bool maskConverts = false;
        int mask = 0;           ///< part 1 (0 when missing or not a number)
        bool holdConverts = false;
        double hold = 0;        ///< part 2 as a double (the Key operation's parameter text)
        /// A usable key for the engine: part 0 converts and is not 0.
        bool usable() const { return !none && keyConverts && vk != 0; }
    };

    /// Splits a code at "," (dropping empty parts) and converts the parts.
    /// Ctrl+Alt+S: the stop command of a new user, and the one a dialog
    /// falls back to when the stored one is unusable.
    static QString defaultStopCommand() { return QStringLiteral("83,3"); }
    /// The stored code of "no key combination" (no stop command, a key
    /// still to be captured).
    static QString noneCode() { return QStringLiteral("なし"); }
    static Parsed parse(const QString &code);

    /// True for 16-18, 91, 92 and 160-165.
    static bool isModifierKey(int vk);
    /// The modifier-mask bit a modifier key stands for (0 for other keys).
    static int modifierMaskOf(int vk);
    /// True when the modifiers held (mask) are those a combination wants:
    /// each of Ctrl, Alt, Shift and Win down exactly when wanted, except the
    /// modifier of the combination's own key when that is a modifier key (the
    /// key stands for it), and a modifier in `excused` that is not wanted.
    static bool modifiersMatch(int vk, int wanted, int held, int excused = 0);
    /// True when an observed key (side-specific for modifiers) is the key of
    /// a combination, whose code may also name a modifier of either side.
    static bool sameKey(int wantedVk, int vk);
    /// Fixed English name of a virtual-key code ("A", "F5", "Enter", "VK96").
    static QString keyName(int vk);
    /// Label of a code as the main window shows it: "Ctrl+Alt+G"; "なし" for
    /// none; the text unchanged when its key part is not a number.
    static QString label(const QString &code);
    /// Label of a stop command, as the run and record settings show it: as
    /// label, but "無効なキー" when its key part is not a number.
    static QString stopLabel(const QString &code);
    /// Modifier names then the key name, joined with "+".
    static QString labelOf(int vk, int mask);
    /// "%1,%2".
    static QString format(int vk, int mask);
    /// Converts hook bit order (Ctrl 1, Alt 2, Shift 4, Win 8) to the mask.
    static int maskFromHookBits(int hookBits);
};
