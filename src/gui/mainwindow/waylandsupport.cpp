#include "gui/mainwindow/waylandsupport.h"

#include "settings/text.h"

#include <QStringList>

namespace waylandsupport {
namespace {

struct Feature {
    Text name;
    Text gnome;    // GNOME's remote desktop (Mutter)
    Text kde;      // KWin's fake input (KDE Plasma)
    Text xwayland; // the X11 backend through XWayland
};

// What both Wayland desktops with an input service of their own can and
// cannot do alike.
const Text kIntoEveryWindow{"すべてのウィンドウへ（キーボード配列にない文字は貼り付けで）",
                            "into every window (characters outside the keyboard layout by pasting)"};
const Text kNoRecorder{"使えません（ほかのウィンドウへの入力を観察できません）",
                       "not available (no program may observe other windows)"};
const Text kPointerByClick{"画面をクリックして（Ctrl+Alt+G の代わりに、止めた画面の上で位置をクリックします）",
                           "by a click (instead of Ctrl+Alt+G, click the position on the frozen screen)"};
const Text kOwnWindowKeys{"このプログラムのウィンドウで押したキー", "the keys pressed in this program's window"};

const Feature kTable[kFeatures] = {
    {{"クリック・キー・文字の再生", "Playing clicks, keys and text"},
     kIntoEveryWindow,
     kIntoEveryWindow,
     {"X11・XWayland のウィンドウへだけ（Wayland 専用のウィンドウには届きません）",
      "into X11 and XWayland windows only (native Wayland windows receive nothing)"}},
    {{"停止キー", "The stop key"},
     {"使えます（実行中だけ GNOME のキーボードショートカットになります）",
      "works (a GNOME keyboard shortcut while a run plays)"},
     {"使えます（実行中だけ KDE のグローバルショートカットになります）",
      "works (a KDE global shortcut while a run plays)"},
     {"X11 のウィンドウにフォーカスがあるときだけ", "only while an X11 window has the focus"}},
    {{"記録", "The recorder"},
     kNoRecorder,
     kNoRecorder,
     {"X11 のウィンドウへの入力だけ", "only input to X11 windows"}},
    {{"ポインター位置の取り込み", "Pointer capture"},
     kPointerByClick,
     kPointerByClick,
     {"X11 のウィンドウの上だけ", "only over X11 windows"}},
    {{"キーの取り込み", "Key capture"},
     kOwnWindowKeys,
     kOwnWindowKeys,
     {"X11 のウィンドウにフォーカスがあるときだけ", "only while an X11 window has the focus"}},
    {{"色の条件", "The colour condition"},
     {"すべてのウィンドウの色（画面は GNOME の画面共有で読みます）",
      "the colours of every window (the screen is read through GNOME's screen cast)"},
     {"すべてのウィンドウの色（画面は KWin のスクリーンショットで読みます）",
      "the colours of every window (the screen is read through KWin's screenshots)"},
     {"X11 のウィンドウの色だけ", "only the colours of X11 windows"}},
    {{"画像の条件と画像クリック", "Picture pages (Image, Click Image)"},
     {"すべてのウィンドウの画素（画面は GNOME の画面共有で読みます）",
      "the pixels of every window (the screen is read through GNOME's screen cast)"},
     {"すべてのウィンドウの画素（画面は KWin のスクリーンショットで読みます）",
      "the pixels of every window (the screen is read through KWin's screenshots)"},
     {"X11 のウィンドウの画素だけ", "only the pixels of X11 windows"}},
};

QString inOneLanguage(const std::string &backend, bool japanese)
{
    const bool gnome = backend == "gnome";
    const bool kde = backend == "kde";
    QStringList lines;
    lines << (gnome ? Text{"Wayland のセッションです。入力は GNOME のリモートデスクトップで送ります。",
                           "This is a Wayland session; input goes through GNOME's remote desktop."}
              : kde ? Text{"Wayland のセッションです。入力は KWin（KDE Plasma）の入力の仕組みで送ります。",
                           "This is a Wayland session; input goes through KWin's fake input (KDE Plasma)."}
                    : Text{"Wayland のセッションです。入力は XWayland（X11）で送ります。",
                           "This is a Wayland session; input goes through XWayland (X11)."})
                 .in(japanese);
    for (const Feature &feature : kTable)
        lines << QStringLiteral("・") + feature.name.in(japanese) + Text{"：", ": "}.in(japanese)
                + (gnome ? feature.gnome : kde ? feature.kde : feature.xwayland).in(japanese);
    lines << Text{"すべての機能を使うには：X11 のセッションでログインしてください。",
                  "To get everything: log in to an X11 session."}.in(japanese);
    return lines.join(QLatin1Char('\n'));
}

} // namespace

QString notice(const std::string &backend)
{
    return inOneLanguage(backend, true) + QStringLiteral("\n\n") + inOneLanguage(backend, false);
}

} // namespace waylandsupport
