#include "gui/mainwindow/tervalo.h"

#include "gui/mainwindow/editorfields.h"
#include "gui/widgets/messagebox.h"
#include "gui/widgets/ownwindowkeys.h"
#include "project/recoverycopy.h"
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
    OwnWindowKeys::install();
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
    return currentProject.hasUnsavedChanges();
}

void tervalo::closeEvent(QCloseEvent *event)
{
    // The session's end asks nothing: the recovery copy keeps the work.
    if (!endingSession && hasUnsavedChanges() && settings_.is_message_file) {
        if (!messagebox::ask(this, QMessageBox::Warning, kConfirmTitle.in(settings_.is_japanese),
                             Text{"プロジェクトが保存されていません。\n終了しますか？",
                                  "The project has not been saved.\nDo you want to exit?"}
                                 .in(settings_.is_japanese))) {
            event->ignore();
            return;
        }
    }
    // Leaving without saving, knowingly: nothing to recover.
    if (!endingSession)
        dropRecoveryCopy();
    saveSettings();
    unregisterGlobalHotkey();
    // A capture still running would keep the keyboard: end it before leaving.
    cancelKeyCapture();
    event->accept();
}

void tervalo::addNewCommand()
{
    settings_.projectPath = SettingsFile::desktopPath();
    showEditor();
}

void tervalo::importedCommand()
{
    settings_.projectPath = SettingsFile::desktopPath();
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
        fields->nameLabel(false), commandKindCombo, conditionKindCombo, addCommandButton, addConditionButton,
        runButton, nextButton, pageCounterLabel, fields->nameLabel(true), operationGroup, conditionGroup,
        pageGroup, pageList, copyButton,
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
    SettingsFile::load(settings_);
}

void tervalo::saveSettings()
{
    SettingsFile::save(settings_);
}
