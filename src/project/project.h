#pragma once

// The project the user edits, apart from the window that shows it: both page
// lists (operations and conditions, one record of each per page), the copies
// last saved or loaded, the current page, the page copied for Paste and the
// rules that insert, delete and paste pages. No widgets: the main window asks
// its questions, then calls these, then shows the result.

#include "project/records.h"

class Project {
public:
    /// One blank page, counted as saved, page 1 shown, nothing copied.
    Project();

    const RecordList &commands() const { return commandList; }
    const RecordList &conditions() const { return conditionList; }
    int pageCount() const { return int(commandList.size()); }

    /// The page shown, from 1. Kept within 1..pageCount (1 for no pages).
    int currentPage() const { return page; }
    void setCurrentPage(int page);
    /// The records of the page shown; the editor and the captures change
    /// them in place.
    const CommandRecord &currentCommand() const { return commandList.at(page - 1); }
    const ConditionRecord &currentCondition() const { return conditionList.at(page - 1); }
    CommandRecord &currentCommand() { return commandList[page - 1]; }
    ConditionRecord &currentCondition() { return conditionList[page - 1]; }

    /// Makes the lists the whole project, counted as saved, and shows page 1
    /// (a new project, or one just read from a file).
    void replace(RecordList commands, RecordList conditions);
    /// Puts back both lists (an undo step) without counting them as saved;
    /// the page shown stays where it is when it still exists.
    void restore(RecordList commands, RecordList conditions);
    /// Replace one list, or the record at `index` (from 0; ignored when out
    /// of range), not counted as saved.
    void setCommands(RecordList commands);
    void setConditions(RecordList conditions);
    void setCommandAt(int index, CommandRecord command);
    void setConditionAt(int index, ConditionRecord condition);

    /// True when the lists differ from the copies last saved, loaded or created.
    bool hasUnsavedChanges() const;
    /// The lists as they are now were written to the project's file.
    void markSaved();

    /// → : the next page; past the last page a blank page is added.
    void nextPage();
    /// ← : the page before; page 1 stays.
    void previousPage();
    /// The page strip's page `page`; ignored when there is no such page.
    void showPage(int page);
    /// The page strip's "+" above the current page: a blank page takes its
    /// place and is shown.
    void insertBlankBefore();
    /// The "+" below: a blank page after the current one, shown.
    void insertBlankAfter();
    /// Puts pages after the current page and shows the first of them.
    /// Nothing happens for no pages.
    void insertPages(const RecordList &commands, const RecordList &conditions);

    /// The only page cannot be deleted: a project always has one.
    bool canDelete() const { return pageCount() > 1; }
    /// Deletes the current page and shows the one before it (page 1 when
    /// the first page went). False, and nothing changes, for the only page.
    bool deleteCurrentPage();

    /// Copy: remembers the current page for Paste.
    void copyCurrentPage();
    bool hasCopy() const { return !copiedCommandRecord.isEmpty(); }
    const CommandRecord &copiedCommand() const { return copiedCommandRecord; }
    const ConditionRecord &copiedCondition() const { return copiedConditionRecord; }
    /// A page as Add leaves it by default: no operation and a Time condition
    /// of 0.1 s. Paste replaces such a page without asking.
    bool currentPageIsEmpty() const;
    /// Paste: the copied page replaces the current one. False, and nothing
    /// changes, when nothing was copied.
    bool pasteOverCurrentPage();

private:
    void keepPageInRange();

    RecordList commandList;
    RecordList conditionList;
    RecordList savedCommandList;
    RecordList savedConditionList;
    int page = 1;
    CommandRecord copiedCommandRecord;
    ConditionRecord copiedConditionRecord;
};
