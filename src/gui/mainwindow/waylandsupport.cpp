#include "gui/mainwindow/waylandsupport.h"

#include "settings/text.h"

#include <QStringList>

#include <optional>

namespace waylandsupport {
namespace {

struct Feature {
    Text name;
    Text gnome;    // GNOME's remote desktop (Mutter)
    Text kde;      // KWin's fake input (KDE Plasma)
    Text xwayland; // the X11 backend through XWayland
    std::optional<Text> wlroots = std::nullopt; // a wlroots compositor (sway), where it differs from GNOME
};

// What the Wayland desktops with an input service of their own can and
// cannot do alike.
const Text kIntoEveryWindow{"すべてのウィンドウへ（キーボード配列にない文字は貼り付けで）",
                            "into every window (characters outside the keyboard layout by pasting)"};
const Text kNoRecorder{"使えません（ほかのウィンドウへの入力を観察できません）",
                       "not available (no program may observe other windows)"};
const Text kPointerByClick{"画面をクリックして（Ctrl+Alt+G の代わりに、止めた画面の上で位置をクリックします）",
                           "by a click (instead of Ctrl+Alt+G, click the position on the frozen screen)"};
const Text kOwnWindowKeys{"このプログラムのウィンドウで押したキー", "the keys pressed in this program's window"};
const Text kOnlyX11Focus{"X11 のウィンドウにフォーカスがあるときだけ", "only while an X11 window has the focus"};

const Feature kTable[kFeatures] = {
    {{"クリック・キー・文字の再生", "Playing clicks, keys and text"},
     kIntoEveryWindow,
     kIntoEveryWindow,
     {"X11・XWayland のウィンドウへだけ（Wayland 専用のウィンドウには届きません）",
      "into X11 and XWayland windows only (native Wayland windows receive nothing)"},
     Text{"すべてのウィンドウへ（どの文字も打てます）", "into every window (any character can be typed)"}},
    {{"停止キー", "The stop key"},
     {"使えます（実行中だけ GNOME のキーボードショートカットになります）",
      "works (a GNOME keyboard shortcut while a run plays)"},
     {"使えます（実行中だけ KDE のグローバルショートカットになります）",
      "works (a KDE global shortcut while a run plays)"},
     kOnlyX11Focus,
     Text{"sway では使えます（実行中だけ sway のキー割り当てになります）。ほかのコンポジターでは、"
          "停止に使うキーにコマンド「tervalo_free --stop」をご自分で割り当ててください",
          "works on sway (a sway key binding while a run plays); on other compositors, bind a key of your choice "
          "to the command \"tervalo_free --stop\" yourself"}},
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
     kOnlyX11Focus},
    {{"色の条件", "The colour condition"},
     {"すべてのウィンドウの色（画面は GNOME の画面共有で読みます）",
      "the colours of every window (the screen is read through GNOME's screen cast)"},
     {"すべてのウィンドウの色（画面は KWin のスクリーンショットで読みます）",
      "the colours of every window (the screen is read through KWin's screenshots)"},
     {"X11 のウィンドウの色だけ", "only the colours of X11 windows"},
     Text{"すべてのウィンドウの色（画面はコンポジターの画面コピーで読みます）",
          "the colours of every window (the screen is read through the compositor's screen copy)"}},
    {{"画像の条件と画像クリック", "Picture pages (Image, Click Image)"},
     {"すべてのウィンドウの画素（画面は GNOME の画面共有で読みます）",
      "the pixels of every window (the screen is read through GNOME's screen cast)"},
     {"すべてのウィンドウの画素（画面は KWin のスクリーンショットで読みます）",
      "the pixels of every window (the screen is read through KWin's screenshots)"},
     {"X11 のウィンドウの画素だけ", "only the pixels of X11 windows"},
     Text{"すべてのウィンドウの画素（画面はコンポジターの画面コピーで読みます）",
          "the pixels of every window (the screen is read through the compositor's screen copy)"}},
};

const Text &column(const Feature &feature, Backend backend)
{
    switch (backend) {
    case Backend::Gnome: return feature.gnome;
    case Backend::Kde: return feature.kde;
    case Backend::Wlroots: return feature.wlroots ? *feature.wlroots : feature.gnome;
    case Backend::XWayland: break;
    }
    return feature.xwayland;
}

Text introduction(Backend backend)
{
    switch (backend) {
    case Backend::Gnome:
        return {"Wayland のセッションです。入力は GNOME のリモートデスクトップで送ります。",
                "This is a Wayland session; input goes through GNOME's remote desktop."};
    case Backend::Kde:
        return {"Wayland のセッションです。入力は KWin（KDE Plasma）の入力の仕組みで送ります。",
                "This is a Wayland session; input goes through KWin's fake input (KDE Plasma)."};
    case Backend::Wlroots:
        return {"Wayland のセッションです。入力はコンポジター（wlroots）の仮想キーボードと仮想ポインターで送ります。",
                "This is a Wayland session; input goes through the compositor's (wlroots) virtual keyboard and pointer."};
    case Backend::XWayland: break;
    }
    return {"Wayland のセッションです。入力は XWayland（X11）で送ります。",
            "This is a Wayland session; input goes through XWayland (X11)."};
}

QString inOneLanguage(Backend backend, bool japanese)
{
    QStringList lines;
    lines << introduction(backend).in(japanese);
    for (const Feature &feature : kTable)
        lines << QStringLiteral("・") + feature.name.in(japanese) + Text{"：", ": "}.in(japanese)
                + column(feature, backend).in(japanese);
    lines << Text{"すべての機能を使うには：X11 のセッションでログインしてください。",
                  "To get everything: log in to an X11 session."}.in(japanese);
    return lines.join(QLatin1Char('\n'));
}

} // namespace

Backend backendNamed(const char *desktopName)
{
    const QLatin1String name(desktopName);
    if (name == QLatin1String("gnome"))
        return Backend::Gnome;
    if (name == QLatin1String("kde"))
        return Backend::Kde;
    if (name == QLatin1String("wlroots"))
        return Backend::Wlroots;
    return Backend::XWayland;
}

QString notice(Backend backend)
{
    return inOneLanguage(backend, true) + QStringLiteral("\n\n") + inOneLanguage(backend, false);
}

} // namespace waylandsupport
