#include "gui/mainwindow/tervalo.h"

#include "gui/mainwindow/editorfields.h"
#include "gui/widgets/textfit.h"

#include <QAction>
#include <QComboBox>
#include <QDebug>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QPushButton>

namespace {

// One name for the text setter of each kind of control.
void setText(QAbstractButton *w, const QString &text)
{
    w->setText(text);
}

void setText(QLabel *w, const QString &text)
{
    w->setText(text);
}

void setText(QGroupBox *w, const QString &text)
{
    w->setTitle(text);
}

void setText(QMenu *w, const QString &text)
{
    w->setTitle(text);
}

void setText(QAction *w, const QString &text)
{
    w->setText(text);
}

// Renames items in place so the selected index, and everything that hangs on
// it, survives the switch.
void setItems(QComboBox *w, const QStringList &items)
{
    for (int i = 0; i < items.size() && i < w->count(); ++i)
        w->setItemText(i, items.at(i));
}

} // namespace

void tervalo::changeLanguage()
{
    qDebug("言語変更");
    const bool ja = is_japanese;
    auto t = [ja](const char16_t *japanese, const char16_t *english) {
        return QString::fromUtf16(ja ? japanese : english);
    };

    // Start screen.
    setText(languageButton, t(u"English", u"日本語"));
    setText(newProjectButton, t(u"新しいプロジェクトを作成", u"Create New Project"));
    setText(loadProjectButton, t(u"プロジェクトを読み込む", u"Load Project"));

    // Group boxes.
    setText(operationGroup, t(u"操作", u"Operation"));
    setText(conditionGroup, t(u"条件", u"Condition"));
    setText(pageGroup, t(u"ページ", u"Page"));

    // Operation panel.
    setItems(commandKindCombo, PageKinds::operationItems(ja));
    setText(addCommandButton, t(u"追加", u"Add"));
    // Condition panel.
    setItems(conditionKindCombo, PageKinds::conditionItems(ja));
    setText(addConditionButton, t(u"追加", u"Add"));
    fields->setTexts(ja);

    // Page panel.
    setText(previousButton, QStringLiteral("←"));
    setText(nextButton, QStringLiteral("→"));
    setText(runButton, t(u"実行", u"Run"));
    setText(deleteButton, t(u"削除", u"Delete"));
    setText(undoButton, t(u"元に戻す", u"Undo"));
    setText(redoButton, t(u"やり直し", u"Start over"));
    setText(pageCounterLabel, QStringLiteral("1/1"));
    setText(copyButton, t(u"コピー", u"Copy"));
    setText(pasteButton, t(u"ペースト", u"Paste"));

    // Menus.
    setText(fileMenu, t(u"ファイル", u"File"));
    setText(newAction, t(u"新規作成", u"New"));
    setText(openAction, t(u"開く", u"Open"));
    setText(saveAction, t(u"上書き保存", u"Save"));
    setText(saveAsAction, t(u"名前を付けて保存", u"Save As"));
    setText(reportMenu, t(u"報告", u"Report"));
    setText(reportBugAction, t(u"バグを報告", u"Report a Bug"));
    setText(reportImprovementAction, t(u"改善案を報告", u"Suggest an Improvement"));
    setText(needReplyAction, t(u"返信が必要な場合", u"Need a Reply"));
    setText(settingsMenu, t(u"設定", u"Settings"));
    setText(askSaveAction, t(u"ファイルを保存するか確認する", u"Ask Before Saving File"));
    setText(askPasteAction, t(u"ページにペーストするか確認する", u"Ask Before Pasting to Page"));
    setText(askDeleteAction, t(u"ページを削除するか確認する", u"Ask Before Deleting Page"));
    setText(versionMenu, t(u"バージョン", u"Version"));
    setText(versionAction, t(u"バージョン情報", u"Version Information"));
    setText(helpMenu, t(u"ヘルプ", u"Help"));
    setText(helpModeAction, t(u"ヘルプモード", u"Help Mode"));
    setText(askHowToUseAction, t(u"使い方を質問する", u"Ask How to Use"));
    setText(otherMenu, t(u"その他", u"Other"));
    setText(languageAction, t(u"English", u"日本語"));
    // The documents are Japanese, so their titles stay Japanese after "View ".
    setText(termsAction, t(u"利用規約を見る", u"View 利用規約"));
    setText(ossNoticeAction,
            t(u"オープンソースソフトウェアに関する告知を見る", u"View オープンソースソフトウェアに関する告知"));
    setText(qtReplaceAction, t(u"Qtライブラリの差替え又は再インストールに関する情報を見る",
                               u"View Qtライブラリの差替え又は再インストールに関する情報"));
    setText(lgplAction, t(u"LGPLv3のライセンス文章を見る", u"View LGPLv3のライセンス文章"));
    setText(recordMenu, t(u"記録", u"Record"));
    setText(recordAction, t(u"操作を記録...", u"Record actions..."));

    applyHelpTooltips();

    if (editorShown)
        renderPage();
    else
        TextFit::fitAll(this);
}
