#pragma once

// Undo history of the whole project: snapshots of both record lists and the
// index of the one that matches what the user sees. A snapshot keeps its
// records in chunks of a few dozen pages, and a chunk whose records did not
// change since the snapshot before is that snapshot's chunk: a step costs
// about the pages it changed, not the whole project (a 10,000-page project
// with 1,000 single-page edits stays at a few megabytes). The records inside
// are implicitly shared with the live project, so comparing the project with
// a snapshot that still shares them is cheap.

#include "project/records.h"

#include <memory>

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
    bool canRedo() const { return historyIndex < size() - 1; }
    /// Steps back or forward; does nothing (and returns false) at either end.
    bool undo();
    bool redo();

    /// The snapshot at the index.
    RecordList currentCommands() const { return commandsAt(historyIndex); }
    RecordList currentConditions() const { return conditionsAt(historyIndex); }
    /// Snapshot `index` (from 0, oldest first).
    RecordList commandsAt(int index) const;
    RecordList conditionsAt(int index) const;
    int size() const { return int(snapshots.size()); }
    /// The index of the snapshot that matches the project shown.
    int index() const { return historyIndex; }

private:
    // One record list, in chunks that snapshots share.
    class Chunks {
    public:
        /// `records`, sharing every chunk that holds the same records as
        /// the one at its place in `previous` (if given).
        Chunks(const RecordList &records, const Chunks *previous);
        RecordList toList() const;
        bool sameAs(const RecordList &records) const;

    private:
        static constexpr qsizetype kChunkPages = 64;
        QList<std::shared_ptr<const RecordList>> chunks;
        qsizetype count = 0;
    };
    struct Snapshot {
        Chunks commands;
        Chunks conditions;
    };

    QList<Snapshot> snapshots; // at least one
    int historyIndex = 0;      // 0 <= historyIndex < snapshots.size()
};
