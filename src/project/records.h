#pragma once

// Page records: the format shared by the editor, the project files and the
// run. A record is a list of strings; element 0 is the kind's Japanese name
// (also in English mode), the rest are its parameters as text. The kinds and
// the meaning of each element are in project/pagekinds.h.

#include <QList>
#include <QString>
#include <QStringList>

using CommandRecord = QStringList;
using ConditionRecord = QStringList;
using RecordList = QList<QStringList>;

namespace records {

/// Seconds as stored: shortest decimal text with at most 6 significant digits.
QString timeText(double seconds);
/// Integers as stored: plain decimal.
QString integerText(int value);

} // namespace records
