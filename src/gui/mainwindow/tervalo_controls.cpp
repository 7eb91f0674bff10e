#include "gui/mainwindow/tervalo.h"

#include <QAbstractButton>
#include <QAction>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QTimer>
#include <QWidget>

namespace {

// One name for the text setter of each kind of control.
void setPartText(QObject *part, const QString &text)
{
    if (auto *button = qobject_cast<QAbstractButton *>(part))
        button->setText(text);
    else if (auto *label = qobject_cast<QLabel *>(part))
        label->setText(text);
    else if (auto *group = qobject_cast<QGroupBox *>(part))
        group->setTitle(text);
    else if (auto *menu = qobject_cast<QMenu *>(part))
        menu->setTitle(text);
    else if (auto *action = qobject_cast<QAction *>(part))
        action->setText(text);
}

void setPartTip(QObject *part, const QString &tip)
{
    if (auto *widget = qobject_cast<QWidget *>(part))
        widget->setToolTip(tip);
    else if (auto *action = qobject_cast<QAction *>(part))
        action->setToolTip(tip);
}

} // namespace

// Every control and action of the window, one row each: the member (whose
// name is the object name), its text in both languages and its help-mode
// tooltip. A text or tooltip left out is not the row's to set: the kind
// combo boxes list the kinds table, the page counter and strip show the
// project, and the kind-specific fields set their own.
QList<tervalo::Control> tervalo::controls() const
{
#define ROW(member, ...) Control{member, #member, __VA_ARGS__}
    static constexpr Text none{nullptr, nullptr};
    return {
        // Start screen.
        ROW(languageButton, {"English", "日本語"}, none),
        ROW(newProjectButton, {"新しいプロジェクトを作成", "Create New Project"}, none),
        ROW(loadProjectButton, {"プロジェクトを読み込む", "Load Project"}, none),
        // Frames.
        ROW(operationGroup, {"操作", "Operation"}, none),
        ROW(conditionGroup, {"条件", "Condition"}, none),
        ROW(pageGroup, {"ページ", "Page"}, none),
        // Operation and condition panels.
        ROW(commandKindCombo, none, none),
        ROW(addCommandButton, {"追加", "Add"},
            {"右のメニューで設定した操作を追加します。", "Adds the action configured in the menu on the right."}),
        ROW(conditionKindCombo, none, none),
        ROW(addConditionButton, {"追加", "Add"},
            {"右のメニューで設定した条件を追加します。", "Adds the condition configured in the menu on the right."}),
        // Page panel.
        ROW(previousButton, {"←", "←"}, {"前のページに戻ります。", "Returns to the previous page."}),
        ROW(runButton, {"実行", "Run"}, {"現在のプロジェクトを実行します。", "Runs the current project."}),
        ROW(nextButton, {"→", "→"}, {"次のページに進みます。", "Advances to the next page."}),
        ROW(deleteButton, {"削除", "Delete"}, {"現在のページを削除します。", "Deletes the current page."}),
        ROW(pageCounterLabel, {"1/1", "1/1"},
            {"すべてのページの数と現在のページです。", "Shows the total number of pages and the current page."}),
        ROW(pageList, none,
            {"押したページに飛びます、「+」を押すと「+」の位置にページを追加できます。",
             "Jump to the page you click. Press \"+\" to add a page at the position of \"+\"."}),
        ROW(copyButton, {"コピー", "Copy"}, {"現在のページをコピーします。", "Copies the current page."}),
        ROW(pasteButton, {"ペースト", "Paste"}, {"コピーしたのページをペーストします。", "Pastes the copied page."}),
        ROW(undoButton, {"元に戻す", "Undo"}, {"1つ前の状態に戻します。", "Revert to the previous state."}),
        ROW(redoButton, {"やり直し", "Start over"},
            {"戻した状態を戻します。", "Revert the state to its original condition."}),
        // Menus.
        ROW(fileMenu, {"ファイル", "File"}, none),
        ROW(reportMenu, {"報告", "Report"}, none),
        ROW(settingsMenu, {"設定", "Settings"}, none),
        ROW(versionMenu, {"バージョン", "Version"}, none),
        ROW(helpMenu, {"ヘルプ", "Help"}, none),
        ROW(otherMenu, {"その他", "Other"}, none),
        ROW(newAction, {"新規作成", "New"}, none),
        ROW(openAction, {"開く", "Open"}, none),
        ROW(saveAsAction, {"名前を付けて保存", "Save As"}, none),
        ROW(saveAction, {"上書き保存", "Save"}, none),
        ROW(reportBugAction, {"バグを報告", "Report a Bug"}, none),
        ROW(reportImprovementAction, {"改善案を報告", "Suggest an Improvement"}, none),
        ROW(needReplyAction, {"返信が必要な場合", "Need a Reply"}, none),
        ROW(askSaveAction, {"ファイルを保存するか確認する", "Ask Before Saving File"}, none),
        ROW(askPasteAction, {"ページにペーストするか確認する", "Ask Before Pasting to Page"}, none),
        ROW(askDeleteAction, {"ページを削除するか確認する", "Ask Before Deleting Page"}, none),
        ROW(versionAction, {"バージョン情報", "Version Information"}, none),
        ROW(helpModeAction, {"ヘルプモード", "Help Mode"}, none),
        ROW(askHowToUseAction, {"使い方を質問する", "Ask How to Use"}, none),
        ROW(languageAction, {"English", "日本語"}, none),
        // The documents are Japanese, so their titles stay Japanese after "View ".
        ROW(termsAction, {"利用規約を見る", "View 利用規約"}, none),
        ROW(ossNoticeAction,
            {"オープンソースソフトウェアに関する告知を見る", "View オープンソースソフトウェアに関する告知"}, none),
        ROW(qtReplaceAction,
            {"Qtライブラリの差替え又は再インストールに関する情報を見る",
             "View Qtライブラリの差替え又は再インストールに関する情報"},
            none),
        ROW(lgplAction, {"LGPLv3のライセンス文章を見る", "View LGPLv3のライセンス文章"}, none),
        ROW(recordMenu, {"記録", "Record"}, none),
        // The record menu shows its entry's tooltip in help mode.
        ROW(recordAction, {"操作を記録...", "Record actions..."},
            {"マウスとキーボードの操作を記録して、現在のページの後ろにページとして入れます。",
             "Records what you do with the mouse and keyboard and inserts it as pages after the current page."}),
        ROW(pollTimer, none, none),
    };
#undef ROW
}

void tervalo::nameControls()
{
    // Accessibility inspectors and the tests find parts by object name.
    for (const Control &c : controls())
        c.part->setObjectName(QString::fromLatin1(c.name));
}

void tervalo::applyControlTexts()
{
    for (const Control &c : controls()) {
        if (c.text.ja)
            setPartText(c.part, c.text.in(settings_.is_japanese));
    }
}

void tervalo::applyControlTips()
{
    for (const Control &c : controls()) {
        if (c.tip.ja)
            setPartTip(c.part, settings_.is_help ? c.tip.in(settings_.is_japanese) : QString());
    }
}
