// Key-combination code text: the window's label, the run settings dialog's
// label and stop-command check, the engine's reading of Key pages and Key
// conditions, the stop watcher's reading of the stop command and its
// detection on a simulated keyboard, and the X key tables behind a code.
//
// Input: the code text, optionally followed by a line break and the hold
// time text of a Key page.

#include "fuzzcheck.h"

#include "input/keycombination.h"
#include "platform/desktop_sim.h"
#include "platform/desktop_x11_vk.h"
#include "run/conditions.h"
#include "run/operations.h"
#include "run/run.h"
#include "run/stoprule.h"

#include <QCoreApplication>

#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>
#include <set>

namespace {
std::shared_ptr<platform::SimDesktop> g_sim;

constexpr int kModifierBits[] = {platform::mod::Ctrl, platform::mod::Alt, platform::mod::Shift, platform::mod::Win};

int genericKeyOf(int bit)
{
    switch (bit) {
    case platform::mod::Ctrl: return platform::vk::Control;
    case platform::mod::Alt: return platform::vk::Menu;
    case platform::mod::Shift: return platform::vk::Shift;
    default: return platform::vk::LWin;
    }
}

// Presses the keys the watcher waits for (modifiers of `mask`, then `vk`),
// asks it, and lets everything go again.
bool detectedWhilePressed(int vk, int mask, bool withModifiers)
{
    std::set<int> pressed;
    if (withModifiers) {
        for (int bit : kModifierBits) {
            if (mask & bit)
                pressed.insert(genericKeyOf(bit));
        }
    }
    pressed.insert(vk);
    for (int k : pressed)
        g_sim->key(k, true);
    const bool seen = conditions::combinationDown(*g_sim, vk, mask);
    for (auto it = pressed.rbegin(); it != pressed.rend(); ++it)
        g_sim->key(*it, false);
    g_sim->clearEvents();
    return seen;
}

void checkLabels(const QString &code, const KeyCombination::Parsed &p)
{
    const QString label = KeyCombination::label(code);
    const QString dialogLabel = KeyCombination::stopLabel(code);
    if (p.none) {
        FUZZ_CHECK(label == QStringLiteral("なし"));
        FUZZ_CHECK(dialogLabel == QStringLiteral("なし"));
        return;
    }
    if (!p.keyConverts) {
        FUZZ_CHECK(label == code);
        FUZZ_CHECK(dialogLabel == QStringLiteral("無効なキー"));
        return;
    }
    // A code with a number for its key reads the same in both places, never
    // empty, and the label of its canonical form is the same text.
    FUZZ_CHECK(label == dialogLabel);
    FUZZ_CHECK(!label.isEmpty());
    FUZZ_CHECK(KeyCombination::label(KeyCombination::format(p.vk, p.mask)) == label);
    FUZZ_CHECK(label.endsWith(KeyCombination::keyName(p.vk))
               || (KeyCombination::isModifierKey(p.vk) && (p.mask & 15) != 0));
}

void checkFormatRoundTrip(const KeyCombination::Parsed &p)
{
    if (!p.keyConverts)
        return;
    const QString canonical = KeyCombination::format(p.vk, p.mask);
    const KeyCombination::Parsed q = KeyCombination::parse(canonical);
    FUZZ_CHECK(!q.none);
    FUZZ_CHECK(q.keyConverts && q.maskConverts);
    FUZZ_CHECK(q.vk == p.vk && q.mask == p.mask);
    FUZZ_CHECK(q.parts == 2);
}

void checkStopCommand(const QString &code, const KeyCombination::Parsed &p)
{
    const Run::StopKey stop = Run::stopKeyOf(code);
    if (p.none) {
        FUZZ_CHECK(stop.key == 0 && stop.modifiers == 0);
    }
    FUZZ_CHECK(stop.key == (p.keyConverts ? p.vk : 0));
    FUZZ_CHECK(stop.modifiers == (p.maskConverts ? p.mask : 0));

    const bool usable = StopRule::isUsableStopCommand(code);
    // The dialog lets a run start only with a key the watcher can see.
    if (usable) {
        FUZZ_CHECK(stop.key >= 1 && stop.key <= 254);
        FUZZ_CHECK(KeyCombination::stopLabel(code) != QStringLiteral("無効なキー"));
    }
    if (!usable || stop.key <= 0 || stop.key > 255)
        return;

    // The combination pressed as stored is detected, and nothing stays down.
    FUZZ_CHECK(detectedWhilePressed(stop.key, stop.modifiers, true));
    // The key alone is not enough when another modifier is wanted.
    const int own = KeyCombination::modifierMaskOf(stop.key);
    if ((stop.modifiers & 15 & ~own) != 0)
        FUZZ_CHECK(!detectedWhilePressed(stop.key, stop.modifiers, false));
    else
        FUZZ_CHECK(detectedWhilePressed(stop.key, stop.modifiers, false));
}

void checkKeyPage(const QString &code, const QString &holdText, const KeyCombination::Parsed &p)
{
    const QString parameter = operations::keyParameterText(code, holdText);
    const operations::KeyPress k = operations::parseKeyParameter(parameter);
    // The condition and the operation agree on whether a code is a key.
    FUZZ_CHECK(k.valid == p.usable());
    if (!k.valid)
        return;
    FUZZ_CHECK(k.vk == p.vk);
    // The mask and the hold time reach the worker whatever else the code holds.
    FUZZ_CHECK(k.mods == p.mask);
    const double hold = double(holdText.toFloat());
    if (std::isfinite(hold) && hold > 0 && hold < 1e6) {
        // Six significant digits survive the text on the way.
        FUZZ_CHECK(std::fabs(double(k.holdMs) - 1000.0 * hold) <= 1000.0 * hold * 1e-5 + 1);
    } else if (!(hold > 0)) {
        FUZZ_CHECK(k.holdMs == 0);
    }
}

void checkKeyTables(const KeyCombination::Parsed &p)
{
    const std::vector<unsigned long> syms = platform::x11vk::keysymsForVk(p.vk);
    for (unsigned long sym : syms)
        FUZZ_CHECK(sym != 0);
    // A modifier's label is its own name; the hook-order mask maps back.
    const int bits = p.mask & 15;
    const int mask = KeyCombination::maskFromHookBits(bits);
    FUZZ_CHECK(mask >= 0 && mask <= 15);
    FUZZ_CHECK(KeyCombination::maskFromHookBits(mask) == bits);
    if (KeyCombination::isModifierKey(p.vk))
        FUZZ_CHECK(KeyCombination::labelOf(p.vk, 0) == KeyCombination::keyName(p.vk));
}
} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    fuzzsupport::silenceLog();
    g_sim = std::make_shared<platform::SimDesktop>();
    platform::setDesktop(g_sim);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    const qsizetype lineBreak = bytes.indexOf('\n');
    const QString code = QString::fromUtf8(lineBreak < 0 ? bytes : bytes.left(lineBreak));
    const QString holdText = lineBreak < 0 ? QStringLiteral("0.01") : QString::fromUtf8(bytes.mid(lineBreak + 1));

    const KeyCombination::Parsed p = KeyCombination::parse(code);
    FUZZ_CHECK(p.none == (code.isEmpty() || code == QStringLiteral("なし")));
    FUZZ_CHECK(p.keyConverts || p.vk == 0);
    FUZZ_CHECK(p.maskConverts || p.mask == 0);

    checkLabels(code, p);
    checkFormatRoundTrip(p);
    checkStopCommand(code, p);
    checkKeyPage(code, holdText, p);
    checkKeyTables(p);
    return 0;
}
