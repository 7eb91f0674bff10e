#include "gui/mainwindow/tervalo.h"

#include "platform/displaysession.h"
#include "gui/mainwindow/editorfields.h"
#include "gui/mainwindow/pagestripdelegate.h"
#include "gui/widgets/controlstyles.h"
#include "gui/widgets/formurls.h"

#include <QAction>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QMenuBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTextEdit>
#include <QTimer>

namespace {

using namespace controlstyles;

QGroupBox *frame(QWidget *parent, const QString &title, const QRect &geometry, const QString &style)
{
    auto *box = new QGroupBox(title, parent);
    box->setGeometry(geometry);
    box->setStyleSheet(style);
    box->hide();
    return box;
}

} // namespace

void tervalo::buildWidgets()
{
    // Controls are created in drawing order: the three frames first, so the
    // panel controls, which are children of the window and not of the frames,
    // lie above them.
    operationGroup = frame(this, QStringLiteral("操作"), QRect(10, 30, 400, 240), kGroupStyle);
    conditionGroup = frame(this, QStringLiteral("条件"), QRect(10, 280, 400, 240), operationGroup->styleSheet());
    pageGroup = frame(this, QStringLiteral("ページ"), QRect(430, 30, 190, 545), operationGroup->styleSheet());

    newProjectButton = place(new QPushButton(QStringLiteral("新しいプロジェクトを作成"), this), 10, 10, 610, 60,
                             kButtonStyle, true);
    connect(newProjectButton, &QPushButton::clicked, this, &tervalo::addNewCommand);
    loadProjectButton = place(new QPushButton(QStringLiteral("プロジェクトを読み込む"), this), 10, 80, 610, 60,
                              kButtonStyle, true);
    connect(loadProjectButton, &QPushButton::clicked, this, &tervalo::importedCommand);
    languageButton = place(new QPushButton(QStringLiteral("English"), this), 10, 150, 610, 60, kButtonStyle, true);
    connect(languageButton, &QPushButton::clicked, this, [this] {
        is_japanese = !is_japanese;
        changeLanguage();
    });

    commandKindCombo = place(comboBox(this, PageKinds::operationItems(true)), 20, 60, 200, 40, kComboStyle);
    connect(commandKindCombo, &QComboBox::currentIndexChanged, this, &tervalo::changeMenuAddCommand);
    addCommandButton = place(new QPushButton(QStringLiteral("追加"), this), 240, 60, 60, 38, kButtonStyle);
    connect(addCommandButton, &QPushButton::clicked, this, &tervalo::addCommand);
    conditionKindCombo = place(comboBox(this, PageKinds::conditionItems(true)), 20, 310, 200, 40, kComboStyle);
    connect(conditionKindCombo, &QComboBox::currentIndexChanged, this, &tervalo::changeMenuAddCondition);
    addConditionButton = place(new QPushButton(QStringLiteral("追加"), this), 240, 310, 60, 38, kButtonStyle);
    connect(addConditionButton, &QPushButton::clicked, this, &tervalo::addCondition);
    // The kind-specific fields and the name labels of both panels, below
    // the page panel's controls.
    fields = new EditorFields(this);
    connect(fields, &EditorFields::edited, this, &tervalo::changeSomeThing);
    connect(fields, &EditorFields::getRequested, this, &tervalo::getCoordinate);
    connect(fields, &EditorFields::testRequested, this, &tervalo::moveMousePointer);

    previousButton = place(new QPushButton(QStringLiteral("←"), this), 450, 365, 62, 30, kBigButtonStyle);
    connect(previousButton, &QPushButton::clicked, this, &tervalo::returnPage);
    runButton = place(new QPushButton(QStringLiteral("実行"), this), 10, 525, 400, 53, kBigButtonStyle);
    connect(runButton, &QPushButton::clicked, this, &tervalo::stertRun);
    nextButton = place(new QPushButton(QStringLiteral("→"), this), 537, 365, 62, 30, kBigButtonStyle);
    connect(nextButton, &QPushButton::clicked, this, &tervalo::nextPage);
    deleteButton = place(new QPushButton(QStringLiteral("削除"), this), 453, 446, 145, 38, kDeleteStyle);
    connect(deleteButton, &QPushButton::clicked, this, &tervalo::deletePage);
    pageCounterLabel = place(new QLabel(QStringLiteral("1/1"), this), 450, 535, 143, 24, kLabelStyle);
    pageList = new QListWidget(this);
    pageList->setItemDelegate(new PageStripDelegate(pageList));
    pageList->addItem(QStringLiteral("1.なし"));
    place(pageList, 450, 60, 150, 295, kTooltipOnlyStyle);
    connect(pageList, &QListWidget::itemSelectionChanged, this, &tervalo::changeWidgetPage);
    copyButton = place(new QPushButton(QStringLiteral("コピー"), this), 450, 400, 62, 41, kButtonStyle);
    connect(copyButton, &QPushButton::clicked, this, &tervalo::copy);
    pasteButton = place(new QPushButton(QStringLiteral("ペースト"), this), 538, 400, 62, 41, kPasteStyle);
    connect(pasteButton, &QPushButton::clicked, this, &tervalo::paste);
    undoButton = place(new QPushButton(QStringLiteral("元に戻す"), this), 450, 490, 62, 41, kSmallButtonStyle);
    connect(undoButton, &QPushButton::clicked, this, &tervalo::pageBack);
    redoButton = place(new QPushButton(QStringLiteral("やり直し"), this), 538, 490, 62, 41, kSmallButtonStyle);
    connect(redoButton, &QPushButton::clicked, this, &tervalo::pageForward);

    // Menus. The bar stays hidden on the start screen; the first renderPage
    // shows it.
    QMenuBar *bar = menuBar();
    fileMenu = bar->addMenu(QStringLiteral("ファイル"));
    reportMenu = bar->addMenu(QStringLiteral("報告"));
    settingsMenu = bar->addMenu(QStringLiteral("設定"));
    versionMenu = bar->addMenu(QStringLiteral("バージョン"));
    helpMenu = bar->addMenu(QStringLiteral("ヘルプ"));
    otherMenu = bar->addMenu(QStringLiteral("その他"));
    recordMenu = bar->addMenu(QStringLiteral("記録"));

    auto action = [this](const QString &text, bool checkable = false) {
        auto *a = new QAction(text, this);
        a->setCheckable(checkable);
        return a;
    };
    newAction = action(QStringLiteral("新規作成"));
    connect(newAction, &QAction::triggered, this, &tervalo::newFile);
    openAction = action(QStringLiteral("開く"));
    connect(openAction, &QAction::triggered, this, &tervalo::loadFile1);
    saveAsAction = action(QStringLiteral("名前を付けて保存"));
    connect(saveAsAction, &QAction::triggered, this, &tervalo::saveFile1);
    saveAction = action(QStringLiteral("上書き保存"));
    connect(saveAction, &QAction::triggered, this, &tervalo::saveFile3);
    reportBugAction = action(QStringLiteral("バグを報告"));
    connect(reportBugAction, &QAction::triggered, this, &tervalo::reportBug);
    reportImprovementAction = action(QStringLiteral("改善案を報告"));
    connect(reportImprovementAction, &QAction::triggered, this, &tervalo::reportImprovementSuggestion);
    needReplyAction = action(QStringLiteral("返信が必要な場合"));
    connect(needReplyAction, &QAction::triggered, this, [this] { openBrowserLink(formurls::kReplyPage); });
    askSaveAction = action(QStringLiteral("ファイルを保存するか確認する"), true);
    connect(askSaveAction, &QAction::toggled, this, [this](bool on) { is_message_file = on; });
    askPasteAction = action(QStringLiteral("ページにペーストするか確認する"), true);
    connect(askPasteAction, &QAction::toggled, this, [this](bool on) { is_message_paste = on; });
    askDeleteAction = action(QStringLiteral("ページを削除するか確認する"), true);
    connect(askDeleteAction, &QAction::toggled, this, [this](bool on) { is_message_delete = on; });
    versionAction = action(QStringLiteral("バージョン情報"));
    connect(versionAction, &QAction::triggered, this, [this] { showVersion(); });
    helpModeAction = action(QStringLiteral("ヘルプモード"), true);
    connect(helpModeAction, &QAction::triggered, this, [this](bool checked) {
        is_help = checked;
        changeLanguage();
    });
    askHowToUseAction = action(QStringLiteral("使い方を質問する"));
    connect(askHowToUseAction, &QAction::triggered, this, [this] { openBrowserLink(formurls::kQuestionPage); });
    languageAction = action(QStringLiteral("English"));
    connect(languageAction, &QAction::triggered, this, [this] {
        is_japanese = !is_japanese;
        changeLanguage();
    });
    termsAction = action(QStringLiteral("ソフトウェア使用許諾契約書を見る"));
    connect(termsAction, &QAction::triggered, this,
            [this] { openDocument(QStringLiteral("ソフトウェア使用許諾契約書.txt")); });
    ossNoticeAction = action(QStringLiteral("オープンソースソフトウェアに関する告知を見る"));
    connect(ossNoticeAction, &QAction::triggered, this,
            [this] { openDocument(QStringLiteral("オープンソースソフトウェアに関する告知.txt")); });
    qtReplaceAction = action(QStringLiteral("Qtライブラリの差替え又は再インストールに関する情報を見る"));
    connect(qtReplaceAction, &QAction::triggered, this, [this] {
        openDocument(QStringLiteral("Qtライブラリの差替え又は再インストールに関する情報.txt"));
    });
    lgplAction = action(QStringLiteral("LGPLv3のライセンス文章を見る"));
    connect(lgplAction, &QAction::triggered, this,
            [this] { openDocument(QStringLiteral("LGPLv3のライセンス文章.txt")); });

    recordAction = action(QStringLiteral("操作を記録..."));
    connect(recordAction, &QAction::triggered, this, &tervalo::recordActions);

    fileMenu->addActions({newAction, openAction, saveAction, saveAsAction});
    reportMenu->addActions({reportBugAction, reportImprovementAction, needReplyAction});
    settingsMenu->addActions({askSaveAction, askPasteAction, askDeleteAction});
    versionMenu->addAction(versionAction);
    helpMenu->addActions({helpModeAction, askHowToUseAction});
    otherMenu->addActions({languageAction, termsAction, ossNoticeAction, qtReplaceAction, lgplAction});
    recordMenu->addAction(recordAction);
    bar->hide();

    pollTimer = new QTimer(this);
    connect(pollTimer, &QTimer::timeout, this, &tervalo::pollKeystroke);

    // Each part answers to its member's name (accessibility inspectors and
    // the tests find parts by object name).
#define TERVALO_NAME(member) member->setObjectName(QStringLiteral(#member))
    TERVALO_NAME(operationGroup); TERVALO_NAME(conditionGroup); TERVALO_NAME(pageGroup);
    TERVALO_NAME(newProjectButton); TERVALO_NAME(loadProjectButton); TERVALO_NAME(languageButton);
    TERVALO_NAME(commandKindCombo); TERVALO_NAME(addCommandButton); TERVALO_NAME(conditionKindCombo);
    TERVALO_NAME(addConditionButton); TERVALO_NAME(previousButton); TERVALO_NAME(runButton);
    TERVALO_NAME(nextButton); TERVALO_NAME(deleteButton); TERVALO_NAME(pageCounterLabel);
    TERVALO_NAME(pageList); TERVALO_NAME(copyButton); TERVALO_NAME(pasteButton); TERVALO_NAME(undoButton);
    TERVALO_NAME(redoButton); TERVALO_NAME(fileMenu); TERVALO_NAME(reportMenu); TERVALO_NAME(settingsMenu);
    TERVALO_NAME(versionMenu); TERVALO_NAME(helpMenu); TERVALO_NAME(otherMenu); TERVALO_NAME(newAction);
    TERVALO_NAME(openAction); TERVALO_NAME(saveAsAction); TERVALO_NAME(saveAction);
    TERVALO_NAME(reportBugAction); TERVALO_NAME(reportImprovementAction); TERVALO_NAME(needReplyAction);
    TERVALO_NAME(askSaveAction); TERVALO_NAME(askPasteAction); TERVALO_NAME(askDeleteAction);
    TERVALO_NAME(versionAction); TERVALO_NAME(helpModeAction); TERVALO_NAME(askHowToUseAction);
    TERVALO_NAME(languageAction); TERVALO_NAME(termsAction); TERVALO_NAME(ossNoticeAction);
    TERVALO_NAME(qtReplaceAction); TERVALO_NAME(lgplAction); TERVALO_NAME(recordMenu);
    TERVALO_NAME(recordAction); TERVALO_NAME(pollTimer);
#undef TERVALO_NAME

    if (!is_used_this) {
        showFirstStartNotice();
        is_used_this = true;
        is_help = true;
    }
    if (!is_used_wayland && DisplaySession::isWayland(QProcessEnvironment::systemEnvironment())) {
        showWaylandNotice();
        is_used_wayland = true;
    }
    helpModeAction->setChecked(is_help);
    askSaveAction->setChecked(is_message_file);
    askPasteAction->setChecked(is_message_paste);
    askDeleteAction->setChecked(is_message_delete);
    changeLanguage();
}
