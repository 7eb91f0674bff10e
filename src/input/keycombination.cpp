#include "input/keycombination.h"

#include <QStringList>

KeyCombination::Parsed KeyCombination::parse(const QString &code)
{
    Parsed p;
    if (code.isEmpty() || code == noneCode())
        return p;
    p.none = false;
    const QStringList parts = code.split(QLatin1Char(','), Qt::SkipEmptyParts);
    p.parts = int(parts.size());
    if (parts.size() >= 1) {
        const int v = parts.at(0).toInt(&p.keyConverts, 10);
        p.vk = p.keyConverts ? v : 0;
    }
    if (parts.size() >= 2) {
        const int m = parts.at(1).toInt(&p.maskConverts, 10);
        p.mask = p.maskConverts ? m : 0;
    }
    if (parts.size() >= 3) {
        const double h = parts.at(2).toDouble(&p.holdConverts);
        p.hold = p.holdConverts ? h : 0;
    }
    return p;
}

bool KeyCombination::isModifierKey(int vk)
{
    return modifierMaskOf(vk) != 0;
}

int KeyCombination::modifierMaskOf(int vk)
{
    switch (vk) {
    case 16: case 160: case 161: return 4; // Shift
    case 17: case 162: case 163: return 2; // Ctrl
    case 18: case 164: case 165: return 1; // Alt
    case 91: case 92: return 8;            // Win
    default: return 0;
    }
}

bool KeyCombination::modifiersMatch(int vk, int wanted, int held, int excused)
{
    const int own = modifierMaskOf(vk);
    for (int bit : {2, 1, 4, 8}) { // Ctrl, Alt, Shift, Win
        if (bit == own)
            continue; // the key itself stands for its own modifier
        if ((excused & bit) && !(wanted & bit))
            continue;
        if (((wanted & bit) != 0) != ((held & bit) != 0))
            return false;
    }
    return true;
}

bool KeyCombination::sameKey(int wantedVk, int vk)
{
    if (wantedVk == vk)
        return true;
    // The generic Shift, Ctrl and Alt codes (16-18) stand for either side.
    return wantedVk >= 16 && wantedVk <= 18 && modifierMaskOf(wantedVk) == modifierMaskOf(vk);
}

QString KeyCombination::keyName(int vk)
{
    if (vk >= 65 && vk <= 90)
        return QString(QChar(vk));
    if (vk >= 48 && vk <= 57)
        return QString(QChar(vk));
    if (vk >= 112 && vk <= 135)
        return QStringLiteral("F%1").arg(vk - 111);
    switch (vk) {
    case 8: return QStringLiteral("Backspace");
    case 9: return QStringLiteral("Tab");
    case 13: return QStringLiteral("Enter");
    case 16: case 160: case 161: return QStringLiteral("Shift");
    case 17: case 162: case 163: return QStringLiteral("Ctrl");
    case 18: case 164: case 165: return QStringLiteral("Alt");
    case 27: return QStringLiteral("Esc");
    case 32: return QStringLiteral("Space");
    case 33: return QStringLiteral("PageUp");
    case 34: return QStringLiteral("PageDown");
    case 35: return QStringLiteral("End");
    case 36: return QStringLiteral("Home");
    case 37: return QStringLiteral("Left");
    case 38: return QStringLiteral("Up");
    case 39: return QStringLiteral("Right");
    case 40: return QStringLiteral("Down");
    case 45: return QStringLiteral("Insert");
    case 46: return QStringLiteral("Delete");
    case 91: case 92: return QStringLiteral("Win");
    case 93: return QStringLiteral("Menu");
    default: return QStringLiteral("VK%1").arg(vk);
    }
}

QString KeyCombination::labelOf(int vk, int mask)
{
    QStringList names;
    if (mask & 2)
        names << QStringLiteral("Ctrl");
    if (mask & 1)
        names << QStringLiteral("Alt");
    if (mask & 4)
        names << QStringLiteral("Shift");
    if (mask & 8)
        names << QStringLiteral("Win");
    // 162,2 reads "Ctrl", not Ctrl+Ctrl.
    if (!(isModifierKey(vk) && !names.isEmpty()))
        names << keyName(vk);
    return names.join(QLatin1Char('+'));
}

QString KeyCombination::label(const QString &code)
{
    const Parsed p = parse(code);
    if (p.none)
        return noneCode();
    if (!p.keyConverts)
        return code;
    return labelOf(p.vk, p.mask);
}

QString KeyCombination::stopLabel(const QString &code)
{
    const Parsed p = parse(code);
    if (!p.none && !p.keyConverts)
        return QStringLiteral("無効なキー");
    return label(code);
}

QString KeyCombination::format(int vk, int mask)
{
    return QStringLiteral("%1,%2").arg(vk).arg(mask);
}

int KeyCombination::maskFromHookBits(int hookBits)
{
    int mask = hookBits & (4 | 8);
    if (hookBits & 1)
        mask |= 2;
    if (hookBits & 2)
        mask |= 1;
    return mask;
}
