#include "project/edithistory.h"

#include "project/pagekinds.h"

EditHistory::EditHistory()
    : EditHistory(RecordList{PageKinds::blankCommand()}, RecordList{PageKinds::blankCondition()})
{
}

EditHistory::EditHistory(const RecordList &commands, const RecordList &conditions)
    : commandHistory{commands}
    , conditionHistory{conditions}
{
}

bool EditHistory::record(const RecordList &commands, const RecordList &conditions)
{
    if (commands == currentCommands() && conditions == currentConditions())
        return false;
    const qsizetype keep = historyIndex + 1;
    if (keep < commandHistory.size()) {
        commandHistory.resize(keep);
        conditionHistory.resize(keep);
    }
    commandHistory.append(commands);
    conditionHistory.append(conditions);
    historyIndex = int(commandHistory.size()) - 1;
    return true;
}

bool EditHistory::undo()
{
    if (!canUndo())
        return false;
    --historyIndex;
    return true;
}

bool EditHistory::redo()
{
    if (!canRedo())
        return false;
    ++historyIndex;
    return true;
}
