#include "app/tervalo.h"

#include "app/displaysession.h"
#include "project/pagestripdelegate.h"
#include "ui/formurls.h"

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

// Every sheet ends with the tooltip rule, so each control's tooltips are drawn
// at 14 points whatever the application-wide tooltip font is.
const QString kGroupStyle = QStringLiteral(
    "QGroupBox { font-size: 24px; border: 2px solid black; border-radius: 5px; margin-top: 10px; } "
    "QGroupBox::title { subcontrol-origin: margin; left: 10px; padding: 0 3px; } "
    "QToolTip { font-size: 14pt; }");                                                                 // S1
const QString kButtonStyle = QStringLiteral("QPushButton{font-size:24px;} QToolTip { font-size: 14pt; }");  // S2
const QString kComboStyle = QStringLiteral("QComboBox{font-size: 24px;} QToolTip { font-size: 14pt; }");    // S3
const QString kLabelStyle = QStringLiteral("QLabel{font-size:24px;} QToolTip { font-size: 14pt; }");        // S4
const QString kTextStyle = QStringLiteral("QTextEdit{font-size: 24px;} QToolTip { font-size: 14pt; }");     // S5
const QString kSecondsStyle = QStringLiteral("QLabel{font-size:30px;} QToolTip { font-size: 14pt; }");      // S6
const QString kDoubleSpinStyle =
    QStringLiteral("QDoubleSpinBox{font-size: 24px;} QToolTip { font-size: 14pt; }");                       // S7
const QString kBigButtonStyle = QStringLiteral("QPushButton{font-size:48px;} QToolTip { font-size: 14pt; }"); // S8
const QString kDeleteStyle = QStringLiteral(
    "QPushButton { font-size: 24px; background-color: #FF0000; color: white; border-radius: 5px; } "
    "QPushButton:hover { background-color: #CC0000; } "
    "QPushButton:pressed { background-color: #990000; } "
    "QToolTip { font-size: 14pt; }");                                                                  // S9
const QString kTooltipOnlyStyle = QStringLiteral("QToolTip { font-size: 14pt; }");                      // S10
const QString kPasteStyle = QStringLiteral("QPushButton{font-size:16px;} QToolTip { font-size: 14pt; }");   // S11
const QString kSmallButtonStyle =
    QStringLiteral("QPushButton{font-size:12px;} QToolTip { font-size: 14pt; }");                          // S12
const QString kSmallLabelStyle = QStringLiteral("QLabel{font-size: 24px;} QToolTip { font-size: 14pt; }");  // S13
const QString kSpinStyle = QStringLiteral("QSpinBox{font-size: 24px;} QToolTip { font-size: 14pt; }");      // S14

// Places a control at a fixed spot with a fixed size and its own style.
template <typename W>
W *place(W *widget, int x, int y, int width, int height, const QString &style, bool visible = false)
{
    widget->move(x, y);
    widget->setFixedSize(width, height);
    widget->setStyleSheet(style);
    widget->setVisible(visible);
    return widget;
}

QGroupBox *frame(QWidget *parent, const QString &title, const QRect &geometry, const QString &style)
{
    auto *box = new QGroupBox(title, parent);
    box->setGeometry(geometry);
    box->setStyleSheet(style);
    box->hide();
    return box;
}

QComboBox *comboBox(QWidget *parent, const QStringList &items)
{
    auto *combo = new QComboBox(parent);
    combo->addItems(items);
    return combo;
}

QDoubleSpinBox *secondsSpin(QWidget *parent, double step)
{
    auto *spin = new QDoubleSpinBox(parent);
    spin->setDecimals(2);
    spin->setRange(0.01, 1000);
    spin->setSingleStep(step);
    spin->setValue(0.01);
    return spin;
}

QSpinBox *spinBox(QWidget *parent, int minimum, int maximum, bool arrows)
{
    auto *spin = new QSpinBox(parent);
    spin->setRange(minimum, maximum);
    spin->setSingleStep(1);
    spin->setValue(0);
    if (!arrows)
        spin->setButtonSymbols(QAbstractSpinBox::NoButtons);
    return spin;
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

    commandKindCombo = place(comboBox(this, {records::kNone, records::kClick, records::kMousePointer,
                                             records::kSmoothMove, records::kKey, records::kEnterText}),
                             20, 60, 200, 40, kComboStyle);
    connect(commandKindCombo, &QComboBox::currentIndexChanged, this, &tervalo::changeMenuAddCommand);
    addCommandButton = place(new QPushButton(QStringLiteral("追加"), this), 240, 60, 60, 38, kButtonStyle);
    connect(addCommandButton, &QPushButton::clicked, this, &tervalo::addCommand);
    testButton = place(new QPushButton(QStringLiteral("テスト"), this), 310, 220, 90, 38, kButtonStyle);
    connect(testButton, &QPushButton::clicked, this, &tervalo::moveMousePointer);
    commandNameLabel = place(new QLabel(QStringLiteral("X"), this), 20, 110, 300, 30, kLabelStyle);
    commandNameLabel->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    textEdit = place(new QTextEdit(this), 20, 142, 380, 73, kTextStyle);
    // The box holds the text a run types: a paste keeps only its plain text.
    textEdit->setAcceptRichText(false);
    connect(textEdit, &QTextEdit::textChanged, this, &tervalo::changeSomeThing);
    commandSideCombo = place(comboBox(this, {records::kLeft, records::kRight}), 20, 150, 90, 40, kComboStyle);
    commandSideCombo->setCurrentIndex(0);
    connect(commandSideCombo, &QComboBox::currentIndexChanged, this, &tervalo::changeSomeThing);
    commandSecLabel = place(new QLabel(QStringLiteral("秒"), this), 140, 210, 60, 60, kSecondsStyle);
    commandTimeSpin = place(secondsSpin(this, 0.01), 20, 220, 110, 40, kDoubleSpinStyle);
    connect(commandTimeSpin, &QDoubleSpinBox::valueChanged, this, &tervalo::changeSomeThing);

    conditionKindCombo = place(comboBox(this, {records::kWaitUntilOver, records::kTime, records::kImmediately,
                                               records::kClick, records::kKey, records::kClockTime}),
                               20, 310, 200, 40, kComboStyle);
    connect(conditionKindCombo, &QComboBox::currentIndexChanged, this, &tervalo::changeMenuAddCondition);
    addConditionButton = place(new QPushButton(QStringLiteral("追加"), this), 240, 310, 60, 38, kButtonStyle);
    connect(addConditionButton, &QPushButton::clicked, this, &tervalo::addCondition);
    conditionNameLabel = place(new QLabel(QStringLiteral("時間"), this), 20, 360, 400, 60, kLabelStyle);
    conditionNameLabel->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    conditionSecLabel = place(new QLabel(QStringLiteral("秒"), this), 140, 380, 400, 60, kSecondsStyle);
    conditionSideCombo = place(comboBox(this, {records::kLeft, records::kRight}), 20, 390, 90, 40, kComboStyle);
    conditionSideCombo->setCurrentIndex(0);
    connect(conditionSideCombo, &QComboBox::currentIndexChanged, this, &tervalo::changeSomeThing);
    conditionTimeSpin = place(secondsSpin(this, 0.1), 20, 390, 120, 40, kDoubleSpinStyle);
    connect(conditionTimeSpin, &QDoubleSpinBox::valueChanged, this, &tervalo::changeSomeThing);

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
            [this] { openDocument(QStringLiteral("/licenses/ソフトウェア使用許諾契約書.txt")); });
    ossNoticeAction = action(QStringLiteral("オープンソースソフトウェアに関する告知を見る"));
    connect(ossNoticeAction, &QAction::triggered, this,
            [this] { openDocument(QStringLiteral("/licenses/オープンソースソフトウェアに関する告知.txt")); });
    qtReplaceAction = action(QStringLiteral("Qtライブラリの差替え又は再インストールに関する情報を見る"));
    connect(qtReplaceAction, &QAction::triggered, this, [this] {
        openDocument(QStringLiteral("/licenses/Qtライブラリの差替え又は再インストールに関する情報.txt"));
    });
    lgplAction = action(QStringLiteral("LGPLv3のライセンス文章を見る"));
    connect(lgplAction, &QAction::triggered, this,
            [this] { openDocument(QStringLiteral("/licenses/LGPLv3のライセンス文章.txt")); });

    fileMenu->addActions({newAction, openAction, saveAction, saveAsAction});
    reportMenu->addActions({reportBugAction, reportImprovementAction, needReplyAction});
    settingsMenu->addActions({askSaveAction, askPasteAction, askDeleteAction});
    versionMenu->addAction(versionAction);
    helpMenu->addActions({helpModeAction, askHowToUseAction});
    otherMenu->addActions({languageAction, termsAction, ossNoticeAction, qtReplaceAction, lgplAction});
    bar->hide();

    commandKeyLabel = place(new QLabel(this), 20, 145, 380, 40, kSmallLabelStyle);
    conditionKeyLabel = place(new QLabel(this), 20, 385, 380, 40, kSmallLabelStyle);
    pollTimer = new QTimer(this);
    connect(pollTimer, &QTimer::timeout, this, &tervalo::pollKeystroke);

    // Two coordinate rows in the same place: the first for Mouse Pointer,
    // the second for Smooth Move. renderPage never shows both.
    auto coordinateRow = [this](QLabel *&xLabel, QSpinBox *&xSpin, QLabel *&yLabel, QSpinBox *&ySpin,
                                QPushButton *&getButton) {
        xLabel = place(new QLabel(QStringLiteral("X:"), this), 20, 133, 24, 60, kSmallLabelStyle);
        xSpin = place(spinBox(this, -9999999, 9999999, false), 40, 145, 120, 40, kSpinStyle);
        connect(xSpin, &QSpinBox::valueChanged, this, &tervalo::changeSomeThing);
        yLabel = place(new QLabel(QStringLiteral("Y:"), this), 170, 133, 24, 60, kSmallLabelStyle);
        ySpin = place(spinBox(this, -9999999, 99999999, false), 190, 145, 120, 40, kSpinStyle);
        connect(ySpin, &QSpinBox::valueChanged, this, &tervalo::changeSomeThing);
        getButton = place(new QPushButton(QStringLiteral("取得"), this), 320, 144, 80, 43, kButtonStyle);
        connect(getButton, &QPushButton::clicked, this, &tervalo::getCoordinate);
    };
    coordinateRow(xLabel1, xSpin1, yLabel1, ySpin1, getButton1);
    coordinateRow(xLabel2, xSpin2, yLabel2, ySpin2, getButton2);

    hourSpin = place(spinBox(this, 0, 24, true), 20, 390, 70, 40, kSpinStyle);
    connect(hourSpin, &QSpinBox::valueChanged, this, &tervalo::changeSomeThing);
    colonLabel = place(new QLabel(QStringLiteral(":"), this), 100, 395, 24, 24, kSmallLabelStyle);
    minuteSpin = place(spinBox(this, 0, 59, true), 114, 390, 70, 40, kSpinStyle);
    connect(minuteSpin, &QSpinBox::valueChanged, this, &tervalo::changeSomeThing);

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
