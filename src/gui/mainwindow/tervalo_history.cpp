#include "gui/mainwindow/tervalo.h"

#include "gui/mainwindow/editorlog.h"

#include <QDebug>
#include <QPushButton>

void tervalo::recordHistory()
{
    if (!restoringHistory)
        history.record(currentProject.commands(), currentProject.conditions());
    undoButton->setVisible(history.canUndo());
    redoButton->setVisible(history.canRedo());
    // The whole history can hold millions of records: build the dump only
    // when someone reads it.
    if (lcEditorDump().isDebugEnabled()) {
        QList<RecordList> commands, conditions;
        for (int i = 0; i < history.size(); ++i) {
            commands.append(history.commandsAt(i));
            conditions.append(history.conditionsAt(i));
        }
        qCDebug(lcEditorDump) << commands;
        qCDebug(lcEditorDump) << conditions;
    }
}

void tervalo::recordPendingEdit()
{
    // Field edits store into the page without a refresh, so the last snapshot
    // can lag behind what the user typed. Undo, Redo and every replacement of
    // a record take that typing in first; otherwise it would be lost.
    if (!restoringHistory)
        history.record(currentProject.commands(), currentProject.conditions());
}

void tervalo::pageBack()
{
    if (captureWaiting())
        return;
    recordPendingEdit();
    if (!history.canUndo())
        return;
    restoringHistory = true;
    history.undo();
    currentProject.restore(history.currentCommands(), history.currentConditions());
    renderPage();
    restoringHistory = false;
}

void tervalo::pageForward()
{
    if (captureWaiting())
        return;
    // A pending edit becomes the newest step, so there is nothing to redo.
    recordPendingEdit();
    if (!history.canRedo())
        return;
    restoringHistory = true;
    history.redo();
    currentProject.restore(history.currentCommands(), history.currentConditions());
    renderPage();
    restoringHistory = false;
}
