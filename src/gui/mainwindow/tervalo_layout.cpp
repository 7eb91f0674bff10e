#include "gui/mainwindow/tervalo.h"

#include "gui/mainwindow/editorfields.h"
#include "gui/mainwindow/pagestripdelegate.h"
#include "gui/widgets/controlstyles.h"
#include "gui/widgets/formurls.h"
#include "platform/displaysession.h"

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

QGroupBox *frame(QWidget *parent, const QRect &geometry, const QString &style)
{
    auto *box = new QGroupBox(parent);
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
    operationGroup = frame(this, QRect(10, 30, 400, 240), kGroupStyle);
    conditionGroup = frame(this, QRect(10, 280, 400, 240), operationGroup->styleSheet());
    pageGroup = frame(this, QRect(430, 30, 190, 545), operationGroup->styleSheet());

    newProjectButton = place(new QPushButton(this), 10, 10, 610, 60,
                             kButtonStyle, true);
    connect(newProjectButton, &QPushButton::clicked, this, &tervalo::addNewCommand);
    loadProjectButton = place(new QPushButton(this), 10, 80, 610, 60,
                              kButtonStyle, true);
    connect(loadProjectButton, &QPushButton::clicked, this, &tervalo::importedCommand);
    languageButton = place(new QPushButton(this), 10, 150, 610, 60, kButtonStyle, true);
    connect(languageButton, &QPushButton::clicked, this, [this] {
        settings_.is_japanese = !settings_.is_japanese;
        changeLanguage();
    });

    commandKindCombo = place(comboBox(this, PageKinds::operationItems(true)), 20, 60, 200, 40, kComboStyle);
    connect(commandKindCombo, &QComboBox::currentIndexChanged, this, &tervalo::changeMenuAddCommand);
    addCommandButton = place(new QPushButton(this), 240, 60, 60, 38, kButtonStyle);
    connect(addCommandButton, &QPushButton::clicked, this, &tervalo::addCommand);
    conditionKindCombo = place(comboBox(this, PageKinds::conditionItems(true)), 20, 310, 200, 40, kComboStyle);
    connect(conditionKindCombo, &QComboBox::currentIndexChanged, this, &tervalo::changeMenuAddCondition);
    addConditionButton = place(new QPushButton(this), 240, 310, 60, 38, kButtonStyle);
    connect(addConditionButton, &QPushButton::clicked, this, &tervalo::addCondition);
    // The kind-specific fields and the name labels of both panels, below
    // the page panel's controls.
    fields = new EditorFields(this);
    connect(fields, &EditorFields::edited, this, &tervalo::changeSomeThing);
    connect(fields, &EditorFields::getRequested, this, &tervalo::getCoordinate);
    connect(fields, &EditorFields::testRequested, this, &tervalo::moveMousePointer);
    connect(fields, &EditorFields::pictureCaptureRequested, this, &tervalo::capturePicture);
    connect(fields, &EditorFields::pictureLoadRequested, this, &tervalo::loadPicture);

    previousButton = place(new QPushButton(this), 450, 365, 62, 30, kBigButtonStyle);
    connect(previousButton, &QPushButton::clicked, this, &tervalo::returnPage);
    runButton = place(new QPushButton(this), 10, 525, 400, 53, kBigButtonStyle);
    connect(runButton, &QPushButton::clicked, this, &tervalo::stertRun);
    nextButton = place(new QPushButton(this), 537, 365, 62, 30, kBigButtonStyle);
    connect(nextButton, &QPushButton::clicked, this, &tervalo::nextPage);
    deleteButton = place(new QPushButton(this), 453, 446, 145, 38, kDeleteStyle);
    connect(deleteButton, &QPushButton::clicked, this, &tervalo::deletePage);
    pageCounterLabel = place(new QLabel(this), 450, 535, 143, 24, kLabelStyle);
    pageList = new QListWidget(this);
    pageList->setItemDelegate(new PageStripDelegate(pageList));
    pageList->addItem(QStringLiteral("1.なし"));
    place(pageList, 450, 60, 150, 295, kTooltipOnlyStyle);
    connect(pageList, &QListWidget::itemSelectionChanged, this, &tervalo::changeWidgetPage);
    copyButton = place(new QPushButton(this), 450, 400, 62, 41, kButtonStyle);
    connect(copyButton, &QPushButton::clicked, this, &tervalo::copy);
    pasteButton = place(new QPushButton(this), 538, 400, 62, 41, kPasteStyle);
    connect(pasteButton, &QPushButton::clicked, this, &tervalo::paste);
    undoButton = place(new QPushButton(this), 450, 490, 62, 41, kSmallButtonStyle);
    connect(undoButton, &QPushButton::clicked, this, &tervalo::pageBack);
    redoButton = place(new QPushButton(this), 538, 490, 62, 41, kSmallButtonStyle);
    connect(redoButton, &QPushButton::clicked, this, &tervalo::pageForward);

    // Menus. The bar stays hidden on the start screen; the first renderPage
    // shows it.
    QMenuBar *bar = menuBar();
    fileMenu = bar->addMenu(QString());
    reportMenu = bar->addMenu(QString());
    settingsMenu = bar->addMenu(QString());
    versionMenu = bar->addMenu(QString());
    helpMenu = bar->addMenu(QString());
    otherMenu = bar->addMenu(QString());
    recordMenu = bar->addMenu(QString());

    auto action = [this](bool checkable = false) {
        auto *a = new QAction(this);
        a->setCheckable(checkable);
        return a;
    };
    newAction = action();
    connect(newAction, &QAction::triggered, this, &tervalo::newFile);
    openAction = action();
    connect(openAction, &QAction::triggered, this, &tervalo::loadFile1);
    saveAsAction = action();
    connect(saveAsAction, &QAction::triggered, this, &tervalo::saveFile1);
    saveAction = action();
    connect(saveAction, &QAction::triggered, this, &tervalo::saveFile3);
    reportBugAction = action();
    connect(reportBugAction, &QAction::triggered, this, &tervalo::reportBug);
    reportImprovementAction = action();
    connect(reportImprovementAction, &QAction::triggered, this, &tervalo::reportImprovementSuggestion);
    needReplyAction = action();
    connect(needReplyAction, &QAction::triggered, this, [this] { openBrowserLink(formurls::kReplyPage); });
    askSaveAction = action(true);
    connect(askSaveAction, &QAction::toggled, this, [this](bool on) { settings_.is_message_file = on; });
    askPasteAction = action(true);
    connect(askPasteAction, &QAction::toggled, this, [this](bool on) { settings_.is_message_paste = on; });
    askDeleteAction = action(true);
    connect(askDeleteAction, &QAction::toggled, this, [this](bool on) { settings_.is_message_delete = on; });
    versionAction = action();
    connect(versionAction, &QAction::triggered, this, [this] { showVersion(); });
    helpModeAction = action(true);
    connect(helpModeAction, &QAction::triggered, this, [this](bool checked) {
        settings_.is_help = checked;
        changeLanguage();
    });
    askHowToUseAction = action();
    connect(askHowToUseAction, &QAction::triggered, this, [this] { openBrowserLink(formurls::kQuestionPage); });
    languageAction = action();
    connect(languageAction, &QAction::triggered, this, [this] {
        settings_.is_japanese = !settings_.is_japanese;
        changeLanguage();
    });
    termsAction = action();
    connect(termsAction, &QAction::triggered, this,
            [this] { openDocument(QStringLiteral("ソフトウェア使用許諾契約書.txt")); });
    ossNoticeAction = action();
    connect(ossNoticeAction, &QAction::triggered, this,
            [this] { openDocument(QStringLiteral("オープンソースソフトウェアに関する告知.txt")); });
    qtReplaceAction = action();
    connect(qtReplaceAction, &QAction::triggered, this, [this] {
        openDocument(QStringLiteral("Qtライブラリの差替え又は再インストールに関する情報.txt"));
    });
    lgplAction = action();
    connect(lgplAction, &QAction::triggered, this,
            [this] { openDocument(QStringLiteral("LGPLv3のライセンス文章.txt")); });

    recordAction = action();
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

    nameControls();

    if (!settings_.is_used_this) {
        showFirstStartNotice();
        settings_.is_used_this = true;
        settings_.is_help = true;
    }
    if (!settings_.is_used_wayland && DisplaySession::isWayland(QProcessEnvironment::systemEnvironment())) {
        showWaylandNotice();
        settings_.is_used_wayland = true;
    }
    helpModeAction->setChecked(settings_.is_help);
    askSaveAction->setChecked(settings_.is_message_file);
    askPasteAction->setChecked(settings_.is_message_paste);
    askDeleteAction->setChecked(settings_.is_message_delete);
    changeLanguage();
}
