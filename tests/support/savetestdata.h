#pragma once

// Two versions of a project and of the settings, each large enough that
// writing it takes a while, shared by the crash-safe save test and the child
// process it kills. They differ in every page and every value, so a file
// that mixes them, or holds only part of one, never equals either.

#include "project/records.h"
#include "settings/settingsfile.h"

#include <QString>

namespace savetestdata {

struct Project {
    RecordList commands;
    RecordList conditions;
};

/// About 500 KB written: a small first page (the one the editor shows), then
/// pages of long texts with line breaks and Japanese text to escape.
inline Project project(bool newer)
{
    Project p;
    const int pages = newer ? 61 : 47;
    const QString fill = newer ? QStringLiteral("新しい行\n") : QStringLiteral("old \"line\"\t");
    p.commands.append({QStringLiteral("なし")});
    p.conditions.append({QStringLiteral("終わるまで待つ"), QStringLiteral("0.1")});
    for (int i = 1; i < pages; ++i) {
        p.commands.append({QStringLiteral("入力"), QStringLiteral("%1:").arg(i) + fill.repeated(newer ? 750 : 900),
                           QString::number(i)});
        p.conditions.append({QStringLiteral("時間"), newer ? QStringLiteral("2.5") : QStringLiteral("0.5")});
    }
    return p;
}

/// The settings with every value changed between the versions and a long
/// project path (about 128 KB) so the file takes more than one write.
inline SettingsValues settings(bool newer)
{
    SettingsValues v;
    v.stertTime = newer ? 9 : 3;
    v.runNumber = newer ? 114514 : 2;
    v.stopCommand = newer ? QStringLiteral("71,3") : QStringLiteral("なし");
    v.projectPath = (newer ? QStringLiteral("/new/") : QStringLiteral("/old/"))
        + QString(newer ? QLatin1Char('n') : QLatin1Char('o')).repeated(128 * 1024) + QStringLiteral(".cmdat");
    v.lastUsedPath = v.projectPath; // what a load gives back
    v.is_used_stert = newer;
    v.is_used_this = !newer;
    v.is_help = newer;
    v.is_message_file = !newer;
    v.is_message_paste = newer;
    v.is_message_delete = !newer;
    v.is_japanese = !newer;
    return v;
}

} // namespace savetestdata
