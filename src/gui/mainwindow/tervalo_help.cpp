#include "gui/mainwindow/tervalo.h"

#include "gui/mainwindow/editorfields.h"

#include <QComboBox>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QListWidget>
#include <QAction>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QSpinBox>
#include <QTextEdit>

void tervalo::applyHelpTooltips()
{
    const bool ja = is_japanese;
    auto tip = [this, ja](QWidget *w, const char16_t *japanese, const char16_t *english) {
        w->setToolTip(!is_help ? QString() : QString::fromUtf16(ja ? japanese : english));
    };

    // Each kind combo's tooltip lists its kinds, one line each, from the table.
    auto kindLines = [ja](const QList<PageKinds::Kind> &kinds) {
        QString lines;
        for (const auto &k : kinds)
            lines += QString::fromUtf16(ja ? k.helpJapanese : k.helpEnglish);
        return lines;
    };
    auto kindTip = [this, ja](QWidget *w, const QString &japanese, const QString &english) {
        w->setToolTip(!is_help ? QString() : (ja ? japanese : english));
    };
    const QString operationLines = kindLines(PageKinds::operations());
    kindTip(commandKindCombo,
            QString::fromUtf16(u"追加する操作を指定します。\n") + operationLines
                + QString::fromUtf16(u"「クリック」「スムーズムーブ」「キー」は操作が実行中でも次の操作に進みます、条件で時間を指定して調整してください。\n"
                  u"操作を追加す場合は右の「追加」ボタンを押してください。"),
            QString::fromUtf16(u"Select the action to add.\n") + operationLines
                + QString::fromUtf16(u"\"Click\", \"Smooth Move\", and \"Key\" proceed to the next action even while the operation is "
                  u"still running. Adjust the timing by setting a condition.\n"
                  u"To add the action, press the \"Add\" button on the right."));
    tip(addCommandButton, u"右のメニューで設定した操作を追加します。",
        u"Adds the action configured in the menu on the right.");
    const QString conditionLines = kindLines(PageKinds::conditions());
    kindTip(conditionKindCombo, QString::fromUtf16(u"追加する条件を指定します。\n") + conditionLines,
            QString::fromUtf16(u"Select the condition to add.\n") + conditionLines);
    tip(addConditionButton, u"右のメニューで設定した条件を追加します。",
        u"Adds the condition configured in the menu on the right.");
    fields->setTooltips(ja, is_help);
    tip(previousButton, u"前のページに戻ります。", u"Returns to the previous page.");
    tip(runButton, u"現在のプロジェクトを実行します。", u"Runs the current project.");
    tip(nextButton, u"次のページに進みます。", u"Advances to the next page.");
    tip(deleteButton, u"現在のページを削除します。", u"Deletes the current page.");
    tip(pageCounterLabel, u"すべてのページの数と現在のページです。",
        u"Shows the total number of pages and the current page.");
    tip(pageList, u"押したページに飛びます、「+」を押すと「+」の位置にページを追加できます。",
        u"Jump to the page you click. Press \"+\" to add a page at the position of \"+\".");
    tip(copyButton, u"現在のページをコピーします。", u"Copies the current page.");
    tip(pasteButton, u"コピーしたのページをペーストします。", u"Pastes the copied page.");
    // The record menu shows its entry's tooltip in help mode.
    recordMenu->setToolTipsVisible(is_help);
    recordAction->setToolTip(
        is_help ? QString::fromUtf16(ja ? u"マウスとキーボードの操作を記録して、現在のページの後ろにページとして入れます。"
                                        : u"Records what you do with the mouse and keyboard and inserts it as pages after the current page.")
                : QString());
    tip(undoButton, u"1つ前の状態に戻します。", u"Revert to the previous state.");
    tip(redoButton, u"戻した状態を戻します。", u"Revert the state to its original condition.");
}

void tervalo::showFirstStartNotice()
{
    // One text for both languages: the reader may not be able to read the
    // language the program starts in.
    QMessageBox::information(
        this, QStringLiteral("はじめまして"),
        QStringLiteral("ダウンロードありがとうございます。\n"
                       "現在はヘルプモードがONになっています。\n"
                       "意味を知りたいボタンや文字などにカーソルを合わせると説明が表示されます。\n"
                       "説明を表示しないようにするにはメニューバーの「ヘルプ」で設定できます。\n"
                       "\n"
                       "Thank you for download.\n"
                       "Help mode is currently ON.\n"
                       "Hover your cursor over buttons or text you want to know the meaning of,\n"
                       "and an explanation will be displayed.\n"
                       "You can disable the explanation display in the \"Help\" menu in the menu bar.\n"
                       "You can switch to \"English mode\" by pressing the button labeled \"English\"."),
        QMessageBox::Ok);
}

void tervalo::showWaylandNotice()
{
    // Both languages at once, like the first-start notice: it can come
    // before the reader has chosen one.
    QMessageBox::information(
        this, QStringLiteral("Wayland セッション / Wayland session"),
        QStringLiteral("Wayland のセッションで起動しています。\n"
                       "動作するもの：X11 または XWayland で動くアプリケーションへのクリック、キー、文字の入力。\n"
                       "動作しないことがあるもの：Wayland 専用のウィンドウには入力が届かないことがあります。"
                       "Ctrl+Alt+G と終了コマンドは、デスクトップによっては X11 のウィンドウにフォーカスがあるときだけ働きます。\n"
                       "すべての機能を使うには：X11 のセッションでログインしてください。\n"
                       "\n"
                       "This is a Wayland session.\n"
                       "What works: clicks, keys and text sent to applications that run on X11 or XWayland.\n"
                       "What may not: native Wayland windows may not receive input, and depending on the desktop, "
                       "Ctrl+Alt+G and the exit command work only while an X11 window has the focus.\n"
                       "To get everything: log in to an X11 session."),
        QMessageBox::Ok);
}
