#include "project/edithistory.h"

#include "project/pagekinds.h"

#include <algorithm>

EditHistory::Chunks::Chunks(const RecordList &records, const Chunks *previous)
    : count(records.size())
{
    for (qsizetype from = 0; from < count; from += kChunkPages) {
        const qsizetype n = std::min(kChunkPages, count - from);
        const qsizetype i = from / kChunkPages;
        if (previous && i < previous->chunks.size()) {
            const RecordList &old = *previous->chunks.at(i);
            // Records that share their data compare at once.
            if (old.size() == n && std::equal(old.begin(), old.end(), records.begin() + from)) {
                chunks.append(previous->chunks.at(i));
                continue;
            }
        }
        chunks.append(std::make_shared<const RecordList>(records.mid(from, n)));
    }
}

RecordList EditHistory::Chunks::toList() const
{
    RecordList all;
    all.reserve(count);
    for (const auto &chunk : chunks)
        all.append(*chunk);
    return all;
}

bool EditHistory::Chunks::sameAs(const RecordList &records) const
{
    if (records.size() != count)
        return false;
    auto at = records.begin();
    for (const auto &chunk : chunks) {
        if (!std::equal(chunk->begin(), chunk->end(), at))
            return false;
        at += chunk->size();
    }
    return true;
}

EditHistory::EditHistory()
    : EditHistory(RecordList{PageKinds::blankCommand()}, RecordList{PageKinds::blankCondition()})
{
}

EditHistory::EditHistory(const RecordList &commands, const RecordList &conditions)
{
    snapshots.append(Snapshot{Chunks(commands, nullptr), Chunks(conditions, nullptr)});
}

RecordList EditHistory::commandsAt(int index) const
{
    return snapshots.at(index).commands.toList();
}

RecordList EditHistory::conditionsAt(int index) const
{
    return snapshots.at(index).conditions.toList();
}

bool EditHistory::record(const RecordList &commands, const RecordList &conditions)
{
    const Snapshot &current = snapshots.at(historyIndex);
    if (current.commands.sameAs(commands) && current.conditions.sameAs(conditions))
        return false;
    Snapshot next{Chunks(commands, &current.commands), Chunks(conditions, &current.conditions)};
    snapshots.remove(historyIndex + 1, snapshots.size() - historyIndex - 1); // what could have been redone
    snapshots.append(std::move(next));
    historyIndex = int(snapshots.size()) - 1;
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
