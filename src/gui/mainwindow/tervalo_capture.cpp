#include "gui/mainwindow/tervalo.h"

#include "gui/mainwindow/editorfields.h"
#include "input/keycombination.h"
#include "record/keycapture.h"

#include <QComboBox>
#include <QDoubleSpinBox>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QMenuBar>
#include <QPushButton>
#include <QTimer>

namespace {
void setEnabledIf(QWidget *w, bool enabled)
{
    if (w)
        w->setEnabled(enabled);
}
} // namespace

// The page panel's controls are children of the window, not of its frame, so
// each one is named: while the capture waits, nothing may move to another
// page or change the project, or the next key press would land on whatever
// page is current then.
QList<QWidget *> tervalo::lockedWhileCapturing() const
{
    return {pageGroup, commandKindCombo, addCommandButton, conditionKindCombo, addConditionButton,
            runButton, previousButton, nextButton, deleteButton, pageList, copyButton,
            pasteButton, undoButton, redoButton};
}

void tervalo::beginKeyCapture(bool forCondition)
{
    // One capture at a time; it ends only when a key is captured.
    if (pollTimer && pollTimer->isActive())
        return;
    keyCaptureForCondition = forCondition;
    renderPage();
    enterCaptureMode(forCondition);

    if (!keyCapture)
        keyCapture = std::make_shared<KeyCapture>();
    keyCapture->arm();
    if (keyCapture->install()) {
        if (pollTimer)
            pollTimer->start(50);
        return;
    }
    fields->nameLabel(forCondition)->setText(tr("キーフックに失敗"));
    keyCapture->disarm();
    leaveCaptureMode();
}

bool tervalo::captureWaiting() const
{
    return pollTimer && pollTimer->isActive();
}

void tervalo::pollKeystroke()
{
    if (!keyCapture || keyCapture->capturedKey() == 0)
        return;
    if (pollTimer)
        pollTimer->stop();
    // Every keystroke of the desktop passes through the hook while it is
    // installed: keep it only for one capture.
    keyCapture->disarm();
    keyCapture->remove();

    const QString code = KeyCombination::format(keyCapture->capturedKey(),
                                                KeyCombination::maskFromHookBits(keyCapture->capturedModifiers()));
    const int index = currentProject.currentPage() - 1;
    if (keyCaptureForCondition)
        currentProject.setConditionAt(index, PageKinds::capturedKeyCondition(code));
    else
        currentProject.setCommandAt(index, PageKinds::capturedKeyCommand(code));
    leaveCaptureMode();
    renderPage();
}

void tervalo::enterCaptureMode(bool forCondition)
{
    // The frame of the panel being captured for is greyed, the other stays.
    setEnabledIf(operationGroup, forCondition);
    setEnabledIf(conditionGroup, !forCondition);
    for (QWidget *w : lockedWhileCapturing())
        setEnabledIf(w, false);
    menuBar()->setEnabled(false);

    const QString prompt = settings_.is_japanese ? tr("単一または複数キーを押してください") : tr("Press one or more keys");
    fields->showCapturePrompt(forCondition, prompt);
}

void tervalo::leaveCaptureMode()
{
    setEnabledIf(operationGroup, true);
    setEnabledIf(conditionGroup, true);
    for (QWidget *w : lockedWhileCapturing())
        setEnabledIf(w, true);
    menuBar()->setEnabled(true);
}

void tervalo::cancelKeyCapture()
{
    const bool wasCapturing = pollTimer && pollTimer->isActive();
    if (pollTimer)
        pollTimer->stop();
    if (keyCapture) {
        keyCapture->disarm();
        keyCapture->remove();
    }
    if (wasCapturing)
        leaveCaptureMode();
}
