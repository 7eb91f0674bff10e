#include "platform/desktop_kde.h"

#include "platform/desktop_x11_vk.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDebug>
#include <QProcess>
#include <QStringList>
#include <QThread>

#include <mutex>

#include <xkbcommon/xkbcommon-keysyms.h>

namespace platform::kdeshortcut {
namespace {

const QString kService = QStringLiteral("org.kde.kglobalaccel");
const QString kAccel = QStringLiteral("org.kde.KGlobalAccel");
const QString kComponentInterface = QStringLiteral("org.kde.kglobalaccel.Component");
// Our action: component, action, and the names System Settings shows.
const QString kComponent = QStringLiteral("tervalo");
const QString kAction = QStringLiteral("stop");
const QStringList kActionId{kComponent, kAction, QStringLiteral("Tervalo"), QStringLiteral("Stop playback")};
// setShortcut flags: SetPresent (2) takes the keys now, NoAutoloading (4)
// keeps KGlobalAccel from giving back a binding it stored before: a crash
// left ours there, and this run's keys replace it.
constexpr uint kSetPresentNoAutoloading = 6;

// Hears the component's signal, on a thread of its own: the run's thread
// waits in its pages, and the window's may be busy.
class Pressed : public QObject {
    Q_OBJECT
public:
    std::mutex lock;
    std::string command;
public slots:
    void pressed(const QString &component, const QString &action, qlonglong)
    {
        if (component != kComponent || action != kAction)
            return;
        std::string line;
        {
            std::lock_guard<std::mutex> guard(lock);
            line = command;
        }
        // The command rather than a stop of our own: the seam asks the
        // desktop to run a command, as GNOME runs it for its shortcuts, and
        // `tervalo_free --stop` reaches the run through its one stop path
        // (it also stops runs of other processes, as GNOME's does). A shell
        // reads the quoted program path.
        if (!line.empty())
            QProcess::startDetached(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), QString::fromStdString(line)});
    }
};

QDBusConnection bus()
{
    return QDBusConnection::sessionBus();
}

QDBusMessage call(const QString &method, const QVariantList &arguments)
{
    QDBusMessage message = QDBusMessage::createMethodCall(kService, QStringLiteral("/kglobalaccel"), kAccel, method);
    message.setArguments(arguments);
    return bus().call(message, QDBus::Block, 5000);
}

std::mutex stateLock;
Pressed *listener = nullptr; // made once, lives as long as the process
int lastHandle = 0;
int boundHandle = 0;

} // namespace

int qtKeyOf(int modifiers, int vkCode)
{
    const std::vector<unsigned long> keysyms = x11vk::keysymsForVk(vkCode);
    if (keysyms.empty())
        return 0;
    const unsigned long sym = keysyms.front();
    int key = 0;
    if (sym >= XKB_KEY_F1 && sym <= XKB_KEY_F35)
        key = Qt::Key_F1 + int(sym - XKB_KEY_F1);
    else if (sym >= 0x20 && sym <= 0x7e)
        key = QChar::toUpper(char16_t(sym)); // Qt names letters by their capital
    else {
        static const std::pair<unsigned long, int> named[] = {
            {XKB_KEY_Escape, Qt::Key_Escape}, {XKB_KEY_Tab, Qt::Key_Tab}, {XKB_KEY_BackSpace, Qt::Key_Backspace},
            {XKB_KEY_Return, Qt::Key_Return}, {XKB_KEY_Insert, Qt::Key_Insert}, {XKB_KEY_Delete, Qt::Key_Delete},
            {XKB_KEY_Pause, Qt::Key_Pause}, {XKB_KEY_Print, Qt::Key_Print}, {XKB_KEY_Home, Qt::Key_Home},
            {XKB_KEY_End, Qt::Key_End}, {XKB_KEY_Left, Qt::Key_Left}, {XKB_KEY_Up, Qt::Key_Up},
            {XKB_KEY_Right, Qt::Key_Right}, {XKB_KEY_Down, Qt::Key_Down}, {XKB_KEY_Prior, Qt::Key_PageUp},
            {XKB_KEY_Next, Qt::Key_PageDown}, {XKB_KEY_Scroll_Lock, Qt::Key_ScrollLock}};
        for (const auto &[s, k] : named) {
            if (s == sym)
                key = k;
        }
    }
    if (!key)
        return 0;
    if (modifiers & mod::Shift)
        key |= Qt::ShiftModifier;
    if (modifiers & mod::Ctrl)
        key |= Qt::ControlModifier;
    if (modifiers & mod::Alt)
        key |= Qt::AltModifier;
    if (modifiers & mod::Win)
        key |= Qt::MetaModifier;
    return key;
}

int bind(int modifiers, int vkCode, const std::string &command)
{
    const int key = qtKeyOf(modifiers, vkCode);
    if (!key || !bus().isConnected())
        return 0;
    std::lock_guard<std::mutex> guard(stateLock);
    if (!listener) {
        auto *thread = new QThread; // never deleted: the connection may call into it until the end
        thread->setObjectName(QStringLiteral("tervalo-kde-shortcut"));
        thread->start();
        listener = new Pressed;
        listener->moveToThread(thread);
        bus().connect(kService, QStringLiteral("/component/") + kComponent, kComponentInterface,
                      QStringLiteral("globalShortcutPressed"), listener, SLOT(pressed(QString, QString, qlonglong)));
    }
    if (call(QStringLiteral("doRegister"), {kActionId}).type() == QDBusMessage::ErrorMessage)
        return 0;
    const QDBusMessage reply = call(QStringLiteral("setShortcut"),
                                    {kActionId, QVariant::fromValue(QList<int>{key}), kSetPresentNoAutoloading});
    // KGlobalAccel answers with the keys it gave: none when another
    // action holds the combination.
    if (reply.type() == QDBusMessage::ErrorMessage
        || !qdbus_cast<QList<int>>(reply.arguments().value(0)).contains(key)) {
        qWarning().noquote() << "[kde] KDE did not take the stop shortcut:" << reply.errorMessage();
        return 0;
    }
    {
        std::lock_guard<std::mutex> commandGuard(listener->lock);
        listener->command = command;
    }
    boundHandle = ++lastHandle;
    return boundHandle;
}

void unbind(int handle)
{
    std::lock_guard<std::mutex> guard(stateLock);
    if (!handle || handle != boundHandle)
        return;
    boundHandle = 0;
    {
        std::lock_guard<std::mutex> commandGuard(listener->lock);
        listener->command.clear();
    }
    // Gone from KDE's list, not only emptied: nothing of ours stays there.
    call(QStringLiteral("unregister"), {kComponent, kAction});
}

} // namespace platform::kdeshortcut

#include "desktop_kde_stop.moc"
