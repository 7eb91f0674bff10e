#include "app/tervalo.h"

#include <QComboBox>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QListWidget>
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

    tip(commandKindCombo,
        u"追加する操作を指定します。\n"
        u"なし:何も行われません、条件のみを指定する場合に使用します。\n"
        u"クリック:時間を指定してクリックします。\n"
        u"マウスポインター:マウスポインターを指定の座標に移動します。\n"
        u"スムーズムーブ:実行時のマウスポインターから指定の座標に時間を指定してスムーズに移動します。\n"
        u"キー:時間を指定して単一または複数のキーを入力します。\n"
        u"入力:1文字当たりの時間を指定して入力します。（日本語対応）\n"
        u"「クリック」「スムーズムーブ」「キー」は操作が実行中でも次の操作に進みます、条件で時間を指定して調整してください。\n"
        u"操作を追加す場合は右の「追加」ボタンを押してください。",
        u"Select the action to add.\n"
        u"None: Does nothing. Use this when you want to specify only a condition.\n"
        u"Click: Clicks for the specified amount of time.\n"
        u"Mouse Pointer: Moves the mouse pointer to the specified coordinates.\n"
        u"Smooth Move: Smoothly moves the mouse pointer from its current position at runtime to the specified "
        u"coordinates over the specified amount of time.\n"
        u"Key: Presses one or more keys for the specified amount of time.\n"
        u"Input: Types text with a specified time per character. (Supports Japanese)\n"
        u"\"Click\", \"Smooth Move\", and \"Key\" proceed to the next action even while the operation is still "
        u"running. Adjust the timing by setting a condition.\n"
        u"To add the action, press the \"Add\" button on the right.");
    tip(addCommandButton, u"右のメニューで設定した操作を追加します。",
        u"Adds the action configured in the menu on the right.");
    tip(testButton, u"設定している座標にマウスポインターを移動します。",
        u"Moves the mouse pointer to the configured coordinates.");
    tip(commandNameLabel, u"設定中の操作です。", u"The action currently being configured.");
    tip(textEdit, u"入力する文章を設定します。（日本語対応）", u"Sets the text to input. (Supports Japanese)");
    for (QWidget *side : {static_cast<QWidget *>(commandSideCombo), static_cast<QWidget *>(conditionSideCombo)})
        tip(side, u"クリックの種類を右か左で設定します。", u"Sets the click type to either right or left.");
    tip(commandTimeSpin,
        u"時間を指定します。\n"
        u"操作によって意味が変わります。\n"
        u"クリック:クリックする時間を指定します。\n"
        u"スムーズムーブ:マウスポインターが指定した座標に着くまでにかかる時間を指定します。\n"
        u"キー:キーを入力する時間を指定します。\n"
        u"入力:1文字当たりを入力するのにかかる時間を指定します。\n"
        u"単位は秒です。",
        u"Specifies the time.\n"
        u"Its meaning depends on the action.\n"
        u"Click: Specifies the duration of the click.\n"
        u"Smooth Move: Specifies the time it takes for the mouse pointer to reach the specified coordinates.\n"
        u"Key: Specifies the duration for pressing the key(s).\n"
        u"Input: Specifies the time required to input each character.\n"
        u"The unit is seconds.");
    tip(conditionKindCombo,
        u"追加する条件を指定します。\n"
        u"終わるまで待つ:操作が終わるまで待ってから、次の操作に進みます。時間:次の操作に進むまでの時間を指定します。\n"
        u"即時:何も待たずに次の操作に進みます。\n"
        u"クリック:クリックされた時に次の操作に進みます。\n"
        u"キー:単一または複数のキーを指定して、それが入力された時に次の操作に進みます。\n"
        u"時刻:次の操作に進む時刻を設定します。",
        u"Select the condition to add.\n"
        u"Wait until over: Wait until the current command finishes before proceeding to the next command.\n"
        u"Time: Specifies how long to wait before proceeding to the next action.\n"
        u"Immediate: Proceeds to the next action without waiting.\n"
        u"Click: Clicking will proceed to the next command.Key: Specify one or more keys, and proceed to the next "
        u"action when they are pressed.\n"
        u"Clock Time:Set the time to proceed to the next command.");
    tip(addConditionButton, u"右のメニューで設定した条件を追加します。",
        u"Adds the condition configured in the menu on the right.");
    tip(conditionNameLabel, u"設定中の条件です。", u"The condition currently being configured.");
    tip(conditionTimeSpin,
        u"時間を指定します。\n"
        u"条件によって意味が変わります。\n"
        u"時間:次の操作に進むまでの時間を指定します。\n"
        u"終わるまで待つ:操作が終わってから、次の操作に進むまでの時間を指定します。",
        u"Specifies the time.\n"
        u"The meaning changes depending on the condition.\n"
        u"Time: Specifies the time before proceeding to the next operation.\n"
        u"Wait until over: Specifies the time after the operation finishes before proceeding to the next operation.");
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
    // Both coordinate rows explain themselves the same way.
    for (QWidget *x : {xSpin1, xSpin2})
        tip(x, u"マウスポインターのX座標です。\n自分で入力するか「取得」ボタンで簡単に取得できます。",
            u"The X coordinate of the mouse pointer.\nYou can enter it manually or easily get it with the \"Get\" button.");
    for (QWidget *y : {ySpin1, ySpin2})
        tip(y, u"マウスポインターのY座標です。\n自分で入力するか「取得」ボタンで簡単に取得できます。",
            u"The Y coordinate of the mouse pointer.\nYou can enter it manually or easily get it with the \"Get\" button.");
    for (QWidget *get : {getButton1, getButton2})
        tip(get, u"マウスポインターの座標を簡単に取得できます。", u"Easily gets the mouse pointer coordinates.");
    tip(hourSpin, u"操作が次へ進む時刻の設定です。何時かを設定します。",
        u"This is where you set the time for the command to advance to the next step. Set the time.");
    tip(minuteSpin, u"操作が次へ進む時刻の設定です。何分かを設定します。",
        u"This sets the time for the command to advance to the next step. You can set the number of minutes.");
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
