#include "gui/mainwindow/tervalo.h"

#include "gui/mainwindow/editorfields.h"
#include "gui/mainwindow/waylandsupport.h"
#include "gui/widgets/messagebox.h"
#include "platform/desktop.h"

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
    const bool ja = settings_.is_japanese;
    applyControlTips();

    // Each kind combo's tooltip lists its kinds, one line each, from the table.
    auto kindLines = [ja](const QList<PageKinds::Kind> &kinds) {
        QString lines;
        for (const auto &k : kinds)
            lines += QString::fromUtf16(ja ? k.helpJapanese : k.helpEnglish);
        return lines;
    };
    auto kindTip = [this, ja](QWidget *w, const QString &japanese, const QString &english) {
        w->setToolTip(!settings_.is_help ? QString() : (ja ? japanese : english));
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
    const QString conditionLines = kindLines(PageKinds::conditions());
    kindTip(conditionKindCombo, QString::fromUtf16(u"追加する条件を指定します。\n") + conditionLines,
            QString::fromUtf16(u"Select the condition to add.\n") + conditionLines);
    fields->setTooltips(ja, settings_.is_help);
    // The record menu shows its entry's tooltip in help mode.
    recordMenu->setToolTipsVisible(settings_.is_help);
}

void tervalo::showFirstStartNotice()
{
    // One text for both languages: the reader may not be able to read the
    // language the program starts in.
    messagebox::tell(
        this, QMessageBox::Information, QStringLiteral("はじめまして"),
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
                       "You can switch to \"English mode\" by pressing the button labeled \"English\"."));
}

void tervalo::showWaylandNotice()
{
    messagebox::tell(this, QMessageBox::Information, QStringLiteral("Wayland セッション / Wayland session"),
                     waylandsupport::notice(platform::currentDesktop()->name()));
}
