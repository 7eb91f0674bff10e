#include "gui/mainwindow/tervalo.h"

#include "gui/mainwindow/editorfields.h"

#include <QComboBox>
#include <QListWidget>
#include <QMenuBar>
#include <QPushButton>
#include <QTime>
#include <QTimer>

void tervalo::changeMenuAddCommand()
{
    selectedCommandKind = PageKinds::storedCommandKind(commandKindCombo->currentText(), settings_.is_japanese);
}

void tervalo::changeMenuAddCondition()
{
    selectedConditionKind = PageKinds::storedConditionKind(conditionKindCombo->currentText(), settings_.is_japanese);
}

void tervalo::addCommand()
{
    if (captureWaiting())
        return;
    recordPendingEdit();
    const CommandRecord created = PageKinds::createdCommand(selectedCommandKind, QTime::currentTime());
    if (!created.isEmpty())
        currentProject.currentCommand() = created;
    if (selectedCommandKind == PageKinds::kKey) {
        keyCaptureForCondition = false;
        // Show the page locked with its empty key before the capture starts;
        // the capture refreshes again, which records nothing new.
        renderPage();
        beginKeyCapture(false);
    } else {
        renderPage();
    }
}

void tervalo::addCondition()
{
    if (captureWaiting())
        return;
    recordPendingEdit();
    const ConditionRecord created = PageKinds::createdCondition(selectedConditionKind, QTime::currentTime());
    if (!created.isEmpty())
        currentProject.currentCondition() = created;
    if (selectedConditionKind == PageKinds::kKey) {
        keyCaptureForCondition = true;
        renderPage();
        beginKeyCapture(true);
    } else {
        renderPage();
    }
}

void tervalo::changeSomeThing()
{
    if (rendering)
        return;
    const std::optional<bool> lock =
        fields->store(currentProject.currentCommand(), currentProject.currentCondition(), settings_.is_japanese);
    if (lock)
        setLocked(*lock);
    noteChange();
}

void tervalo::setLocked(bool locked)
{
    for (QWidget *w : std::initializer_list<QWidget *>{runButton, nextButton, previousButton, deleteButton,
                                                       addCommandButton, addConditionButton, menuBar(), pageList,
                                                       copyButton, pasteButton})
        w->setVisible(!locked);
    if (currentProject.currentPage() <= 1)
        previousButton->hide();
    if (!currentProject.canDelete())
        deleteButton->hide();
    if (!currentProject.hasCopy())
        pasteButton->hide();
}
