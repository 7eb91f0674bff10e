#include "app/tervalo.h"

#include "settings/settingsfile.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

tervalo::tervalo(QWidget *parent)
    : QMainWindow(parent)
{
    setWindowTitle(QStringLiteral("Tervalo Free"));
    setFixedSize(630, 585);
    loadSettings();
    buildWidgets();
}

tervalo::~tervalo()
{
    unregisterGlobalHotkey();
    if (pollTimer && pollTimer->isActive())
        pollTimer->stop();
    cancelKeyCapture();
}

bool tervalo::hasUnsavedChanges() const
{
    return commandList != savedCommandList || conditionList != savedConditionList;
}

void tervalo::closeEvent(QCloseEvent *event)
{
    if (hasUnsavedChanges() && is_message_file) {
        if (is_japanese) {
            messageTitle = QStringLiteral("最終確認");
            messageText = QStringLiteral("プロジェクトが保存されていません。\n終了しますか？");
        } else {
            messageTitle = QStringLiteral("Warning");
            messageText = QStringLiteral("The project has not been saved.\nDo you want to exit?");
        }
        const auto answer = QMessageBox::warning(this, messageTitle, messageText,
                                                 QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
        if (answer != QMessageBox::Yes) {
            event->ignore();
            return;
        }
    }
    saveSettings();
    unregisterGlobalHotkey();
    // A capture still running would keep the keyboard: end it before leaving.
    cancelKeyCapture();
    event->accept();
}

void tervalo::addNewCommand()
{
    projectPath = SettingsFile::desktopPath();
    showEditor();
}

void tervalo::importedCommand()
{
    projectPath = SettingsFile::desktopPath();
    loadFile1();
    showEditor();
}

void tervalo::showEditor()
{
    for (QWidget *w : std::initializer_list<QWidget *>{newProjectButton, loadProjectButton, languageButton}) {
        if (w)
            w->hide();
    }
    const std::initializer_list<QWidget *> shown = {
        commandNameLabel, commandKindCombo, conditionKindCombo, addCommandButton, addConditionButton,
        runButton, nextButton, pageCounterLabel, conditionNameLabel, conditionSecLabel,
        conditionTimeSpin, operationGroup, conditionGroup, pageGroup, pageList, copyButton,
    };
    for (QWidget *w : shown) {
        if (w)
            w->show();
    }
    editorShown = true;
    renderPage();
}

void tervalo::loadSettings()
{
    SettingsValues v;
    v.stopCommand = stopCommand;
    SettingsFile::load(v);
    stertTime = v.stertTime;
    runNumber = v.runNumber;
    stopCommand = v.stopCommand;
    projectPath = v.projectPath;
    lastUsedPath = v.lastUsedPath;
    is_used_stert = v.is_used_stert;
    is_used_this = v.is_used_this;
    is_help = v.is_help;
    is_message_file = v.is_message_file;
    is_message_paste = v.is_message_paste;
    is_message_delete = v.is_message_delete;
    is_japanese = v.is_japanese;
}

void tervalo::saveSettings()
{
    SettingsValues v;
    v.stertTime = stertTime;
    v.runNumber = runNumber;
    v.stopCommand = stopCommand;
    v.projectPath = projectPath;
    v.lastUsedPath = lastUsedPath;
    v.is_used_stert = is_used_stert;
    v.is_used_this = is_used_this;
    v.is_help = is_help;
    v.is_message_file = is_message_file;
    v.is_message_paste = is_message_paste;
    v.is_message_delete = is_message_delete;
    v.is_japanese = is_japanese;
    SettingsFile::save(v);
}
