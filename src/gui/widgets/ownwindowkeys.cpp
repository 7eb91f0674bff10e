#include "gui/widgets/ownwindowkeys.h"

#include "input/qtkeycode.h"
#include "record/keycapture.h"

#include <QCoreApplication>
#include <QKeyEvent>

void OwnWindowKeys::install()
{
    auto *app = QCoreApplication::instance();
    if (!app || app->findChild<OwnWindowKeys *>(QString(), Qt::FindDirectChildrenOnly))
        return;
    app->installEventFilter(new OwnWindowKeys(app));
}

bool OwnWindowKeys::eventFilter(QObject *watched, QEvent *event)
{
    const QEvent::Type type = event->type();
    if (type != QEvent::KeyPress && type != QEvent::KeyRelease && type != QEvent::ShortcutOverride)
        return QObject::eventFilter(watched, event);
    if (!KeyCapture::ownWindowListening())
        return false;
    auto *key = static_cast<QKeyEvent *>(event);
    // Asked before a press that might be a shortcut (Ctrl+S would save): a
    // key being captured is none. A held key's repeats change nothing.
    if (type == QEvent::ShortcutOverride || key->isAutoRepeat()) {
        event->accept();
        return true;
    }
    const int vk = qtkeycode::vkOf(key->key(), key->modifiers());
    if (vk == 0)
        return true;
    const bool down = type == QEvent::KeyPress;
    if (down) {
        // Modifiers pressed before the capture began were never seen going
        // down; the event still carries them.
        const std::pair<Qt::KeyboardModifier, int> modifiers[] = {
            {Qt::ControlModifier, qtkeycode::vkOf(Qt::Key_Control, {})},
            {Qt::AltModifier, qtkeycode::vkOf(Qt::Key_Alt, {})},
            {Qt::ShiftModifier, qtkeycode::vkOf(Qt::Key_Shift, {})},
            {Qt::MetaModifier, qtkeycode::vkOf(Qt::Key_Meta, {})}};
        for (const auto &[flag, modifierVk] : modifiers) {
            if (key->modifiers().testFlag(flag) && modifierVk != vk)
                KeyCapture::ownWindowKey(modifierVk, true);
        }
    }
    KeyCapture::ownWindowKey(vk, down);
    return true;
}
