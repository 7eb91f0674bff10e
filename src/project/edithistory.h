#pragma once

// Undo history of the whole project: snapshots of both record lists and the
// index of the one that matches what the user sees. A snapshot is a value
// copy; the lists are implicitly shared, so a snapshot costs little until the
// live project changes, and comparing the project with a snapshot that still
// shares its records is cheap.

#include "project/records.h"

class EditHistory {
public:
    /// Starts with one snapshot: the blank page.
    EditHistory();
    EditHistory(const RecordList &commands, const RecordList &conditions);

    /// Records the project when it differs from the current snapshot. A
    /// change after some undos drops the snapshots that could have been
    /// redone. Returns true when a snapshot was added.
    bool record(const RecordList &commands, const RecordList &conditions);

    bool canUndo() const { return historyIndex > 0; }
    bool canRedo() const { return historyIndex < commandHistory.size() - 1; }
    /// Steps back or forward; does nothing (and returns false) at either end.
    bool undo();
    bool redo();

    /// The snapshot at the index.
    const RecordList &currentCommands() const { return commandHistory.at(historyIndex); }
    const RecordList &currentConditions() const { return conditionHistory.at(historyIndex); }
    int size() const { return int(commandHistory.size()); }

    // Both lists always hold the same number of snapshots (at least one), and
    // 0 <= historyIndex < that number.
    QList<RecordList> commandHistory;
    QList<RecordList> conditionHistory;
    int historyIndex = 0;
};
