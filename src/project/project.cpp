#include "project/project.h"

#include "project/pagekinds.h"

#include <algorithm>

Project::Project()
    : commandList{PageKinds::blankCommand()}
    , conditionList{PageKinds::blankCondition()}
    , savedCommandList{commandList}
    , savedConditionList{conditionList}
{
}

void Project::keepPageInRange()
{
    page = std::clamp(page, 1, std::max(1, pageCount()));
}

void Project::setCurrentPage(int newPage)
{
    page = newPage;
    keepPageInRange();
}

void Project::replace(RecordList commands, RecordList conditions)
{
    commandList = std::move(commands);
    conditionList = std::move(conditions);
    markSaved();
    page = 1;
}

void Project::restore(RecordList commands, RecordList conditions)
{
    commandList = std::move(commands);
    conditionList = std::move(conditions);
    keepPageInRange();
}

void Project::setCommands(RecordList commands)
{
    commandList = std::move(commands);
    keepPageInRange();
}

void Project::setConditions(RecordList conditions)
{
    conditionList = std::move(conditions);
}

void Project::setCommandAt(int index, CommandRecord command)
{
    if (index >= 0 && index < commandList.size())
        commandList[index] = std::move(command);
}

void Project::setConditionAt(int index, ConditionRecord condition)
{
    if (index >= 0 && index < conditionList.size())
        conditionList[index] = std::move(condition);
}

bool Project::hasUnsavedChanges() const
{
    return commandList != savedCommandList || conditionList != savedConditionList;
}

void Project::markSaved()
{
    savedCommandList = commandList;
    savedConditionList = conditionList;
}

void Project::nextPage()
{
    if (page >= pageCount()) {
        commandList.append(PageKinds::blankCommand());
        conditionList.append(PageKinds::blankCondition());
        page = pageCount();
    } else {
        ++page;
    }
}

void Project::previousPage()
{
    if (page > 1)
        --page;
}

void Project::showPage(int newPage)
{
    if (newPage >= 1 && newPage <= pageCount())
        page = newPage;
}

void Project::insertBlankBefore()
{
    commandList.insert(page - 1, PageKinds::blankCommand());
    conditionList.insert(page - 1, PageKinds::blankCondition());
}

void Project::insertBlankAfter()
{
    commandList.insert(page, PageKinds::blankCommand());
    conditionList.insert(page, PageKinds::blankCondition());
    ++page;
}

void Project::insertPages(const RecordList &commands, const RecordList &conditions)
{
    if (commands.isEmpty())
        return;
    for (qsizetype i = 0; i < commands.size(); ++i) {
        commandList.insert(page + i, commands.at(i));
        conditionList.insert(page + i, conditions.at(i));
    }
    ++page;
}

bool Project::deleteCurrentPage()
{
    if (!canDelete())
        return false;
    commandList.removeAt(page - 1);
    conditionList.removeAt(page - 1);
    if (page != 1)
        --page;
    return true;
}

void Project::copyCurrentPage()
{
    copiedCommandRecord = currentCommand();
    copiedConditionRecord = currentCondition();
}

bool Project::currentPageIsEmpty() const
{
    return PageKinds::kindOf(currentCommand()) == PageKinds::kNone
        && currentCondition() == PageKinds::createdCondition(PageKinds::kTime);
}

bool Project::pasteOverCurrentPage()
{
    if (!hasCopy())
        return false;
    currentCommand() = copiedCommandRecord;
    currentCondition() = copiedConditionRecord;
    return true;
}
