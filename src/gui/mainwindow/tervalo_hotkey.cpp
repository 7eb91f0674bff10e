#include "gui/mainwindow/tervalo.h"

#include "gui/mainwindow/editorfields.h"
#include "gui/widgets/hoverhidewindow.h"
#include "gui/widgets/messagebox.h"
#include "platform/desktop.h"
#include "platform/displaysession.h"

#include <QCoreApplication>
#include <QMessageBox>
#include <QMetaObject>
#include <QSpinBox>
#include <QTimer>
#include <QtDebug>

namespace {
constexpr int kHotKeyModifiers = 3; // Alt | Ctrl
constexpr int kHotKeyKey = 71;      // G
constexpr int kNearMargin = 120;
constexpr int kEdgeMargin = 20;
} // namespace

tervalo::GlobalHotkeyFilter::GlobalHotkeyFilter(int id)
    : hotkeyId(id)
{
}

tervalo::GlobalHotkeyFilter::~GlobalHotkeyFilter() = default;

bool tervalo::GlobalHotkeyFilter::nativeEventFilter(const QByteArray &eventType, void *message, qintptr *)
{
    // Each backend knows what its hot-key message looks like.
    if (platform::desktop().hotKeyFromNativeEvent(eventType.constData(), message) != hotkeyId)
        return false;
    if (callback)
        callback();
    return true;
}

bool tervalo::registerGlobalHotkey()
{
    if (hotkeyRegistered)
        return true;
    if (!hotkeyFilter) {
        hotkeyFilter = new GlobalHotkeyFilter(hotkeyId);
        // Queued, so the slot runs after the filter has returned.
        hotkeyFilter->callback = [this] {
            QMetaObject::invokeMethod(this, &tervalo::getCoordinate2, Qt::QueuedConnection);
        };
    }
    if (platform::desktop().registerHotKey(hotkeyId, kHotKeyModifiers, kHotKeyKey)) {
        if (auto *app = QCoreApplication::instance())
            app->installNativeEventFilter(hotkeyFilter);
        // Backends that do not go through native events report here; both
        // paths end in the same callback.
        const int id = hotkeyId;
        platform::desktop().setHotKeyListener([id, callback = hotkeyFilter->callback](int fired) {
            if (fired == id && callback)
                callback();
        });
        hotkeyRegistered = true;
        return true;
    }
    qWarning("RegisterHotKey failed.");
    delete hotkeyFilter;
    hotkeyFilter = nullptr;
    return false;
}

void tervalo::showHotKeyUnavailable()
{
    QString text = Text{"Ctrl+Alt+G は他のプログラムが使用中のため、座標を取得できません。\n"
                        "そのプログラムを終了してから、もう一度お試しください。",
                        "Ctrl+Alt+G is in use by another program, so the pointer position cannot "
                        "be captured.\nClose that program and try again."}
                       .in(settings_.is_japanese);
    if (DisplaySession::currentNotX11())
        text += Text{"\nこのデスクトップは X11 のセッションではないため、"
                     "このプログラムのグローバルショートカットを許可していません。\n"
                     "X11 のセッションでログインしてください。",
                     "\nThis desktop is not an X11 session and does not allow global "
                     "shortcuts for this program.\nLog in to an X11 session."}
                    .in(settings_.is_japanese);
    messagebox::tell(this, QMessageBox::Warning, Text{"座標を取得できません", "Cannot get the position"}.in(settings_.is_japanese),
                     text);
}

void tervalo::unregisterGlobalHotkey()
{
    if (hotkeyRegistered) {
        platform::desktop().unregisterHotKey(hotkeyId);
        hotkeyRegistered = false;
    }
    if (hotkeyFilter) {
        platform::desktop().setHotKeyListener({});
        if (auto *app = QCoreApplication::instance())
            app->removeNativeEventFilter(hotkeyFilter);
        delete hotkeyFilter;
        hotkeyFilter = nullptr;
    }
}

void tervalo::getCoordinate()
{
    // No hot key can be heard over other windows here: the person clicks
    // the point on the screen instead.
    if (platform::desktop().ownWindowKeysOnly()) {
        pickOnScreen(PictureSelector::Pick::Point);
        return;
    }
    // Without the hot key the notice would ask for a key that never works,
    // with the window hidden and no way back: say so and stay.
    if (!registerGlobalHotkey()) {
        showHotKeyUnavailable();
        return;
    }
    if (hoverWindow) {
        hoverWindow->setLanguage(settings_.is_japanese);
    } else {
        hoverWindow = new HoverHideWindow(kNearMargin, kEdgeMargin, nullptr, settings_.is_japanese);
        hoverWindow->setAttribute(Qt::WA_DeleteOnClose);
        // Closing the notice must never end the program: the main window is
        // hidden meanwhile and comes back below.
        hoverWindow->setAttribute(Qt::WA_QuitOnClose, false);
        connect(hoverWindow, &QObject::destroyed, this, [this] {
            hoverWindow = nullptr;
            unregisterGlobalHotkey();
            // Closed some other way than by a capture: without this the
            // program would go on with no window at all.
            if (isHidden())
                show();
        });
        // The notice has no parent; it must not outlive the main window.
        connect(this, &QObject::destroyed, hoverWindow, &QObject::deleteLater);
    }
    hoverWindow->show();
    hoverWindow->raise();
    hoverWindow->activateWindow();
    hide();
}

void tervalo::getCoordinate2()
{
    const platform::Point p = platform::desktop().cursorPos();
    unregisterGlobalHotkey();
    if (hoverWindow)
        hoverWindow->close();
    takePoint(QPoint(p.x, p.y));
}

void tervalo::takePoint(const QPoint &point)
{
    // The fields of the panel whose Get button was pressed take the point;
    // the refresh below shows it (spin boxes clamp what lies outside their
    // ranges, the record keeps the exact value).
    fields->takePoint(currentProject.currentCommand(), currentProject.currentCondition(), {point.x(), point.y()});
    show();
    renderPage();
}

void tervalo::moveMousePointer()
{
    explainConsent();
    hide();
    const std::optional<platform::Point> target = fields->testTarget(currentProject.currentCommand());
    const platform::Point p = target.value_or(platform::Point{});
    QTimer::singleShot(1000, this, [this, p] {
        platform::desktop().setCursorPos(p.x, p.y);
        QTimer::singleShot(1000, this, [this] { show(); });
    });
}
