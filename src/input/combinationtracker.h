#pragma once

// Follows observed key events and knows which modifier keys are held and
// whether the key of one combination is held, so that a watcher fed with
// events sees a combination the way a look at the key state would see it,
// but at the moment the key moves rather than at the next look.

#include <set>

class CombinationTracker {
public:
    /// Watches for the combination of a virtual-key code (which may name a
    /// modifier of either side) and a modifier mask (Alt 1, Ctrl 2, Shift 4, Win 8).
    explicit CombinationTracker(int vk = 0, int mask = 0);

    /// Notes that a key went down or up. Only modifier keys and the
    /// combination's own key are kept; other keys change nothing.
    void follow(int vk, bool down);
    /// Forgets every key held.
    void clear();

    /// True while the modifier key (as reported) or the combination's key is held.
    bool holds(int vk) const;
    /// Mask of the modifiers whose keys are held.
    int heldModifiers() const;
    /// True when `vk` is the combination's key and the modifiers held now are
    /// those it wants (KeyCombination::modifiersMatch, with `excused`).
    bool completedBy(int vk, int excused = 0) const;
    /// True while the combination's key is held with the modifiers it wants:
    /// what a look at the key state would say now.
    bool isDown(int excused = 0) const;

private:
    int vk_;
    int mask_;
    std::set<int> held_; // codes as reported: side-specific ones and generic ones apart
};
