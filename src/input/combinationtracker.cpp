#include "input/combinationtracker.h"

#include "input/keycombination.h"

CombinationTracker::CombinationTracker(int vk, int mask) : vk_(vk), mask_(mask) {}

void CombinationTracker::follow(int vk, bool down)
{
    if (!KeyCombination::isModifierKey(vk) && !KeyCombination::sameKey(vk_, vk))
        return;
    if (down)
        held_.insert(vk);
    else
        held_.erase(vk);
}

void CombinationTracker::clear()
{
    held_.clear();
}

bool CombinationTracker::holds(int vk) const
{
    return held_.count(vk) != 0;
}

int CombinationTracker::heldModifiers() const
{
    int mask = 0;
    for (int vk : held_)
        mask |= KeyCombination::modifierMaskOf(vk);
    return mask;
}

bool CombinationTracker::completedBy(int vk, int excused) const
{
    return vk_ != 0 && KeyCombination::sameKey(vk_, vk)
        && KeyCombination::modifiersMatch(vk_, mask_, heldModifiers(), excused);
}

bool CombinationTracker::isDown(int excused) const
{
    if (vk_ == 0)
        return false;
    for (int vk : held_) {
        if (KeyCombination::sameKey(vk_, vk))
            return KeyCombination::modifiersMatch(vk_, mask_, heldModifiers(), excused);
    }
    return false;
}
