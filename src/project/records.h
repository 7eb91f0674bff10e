#pragma once

// Page records: the format shared by the editor, the project files and the
// run. A record is a list of strings; element 0 is the kind's Japanese name
// (also in English mode), the rest are its parameters as text.

#include <QList>
#include <QString>
#include <QStringList>
#include <QTime>

using CommandRecord = QStringList;
using ConditionRecord = QStringList;
using RecordList = QList<QStringList>;

namespace records {

// Stored operation kinds.
inline const QString kNone = QStringLiteral("なし");
inline const QString kClick = QStringLiteral("クリック");
inline const QString kMousePointer = QStringLiteral("マウスポインター");
inline const QString kSmoothMove = QStringLiteral("スムーズムーブ");
inline const QString kKey = QStringLiteral("キー");
inline const QString kEnterText = QStringLiteral("入力");

// Stored condition kinds (クリック and キー are shared with the operations).
inline const QString kWaitUntilOver = QStringLiteral("終わるまで待つ");
inline const QString kTime = QStringLiteral("時間");
inline const QString kImmediately = QStringLiteral("即時");
inline const QString kClockTime = QStringLiteral("時刻");

inline const QString kLeft = QStringLiteral("左");
inline const QString kRight = QStringLiteral("右");

/// Seconds as stored: shortest decimal text with at most 6 significant digits.
QString timeText(double seconds);
/// Integers as stored: plain decimal.
QString integerText(int value);

/// The blank page: ["なし"] and ["終わるまで待つ", "0.1"].
CommandRecord blankCommand();
ConditionRecord blankCondition();

/// Record made when an operation kind is added; empty for an unknown kind.
CommandRecord createdCommand(const QString &kind);
/// Record made when a condition kind is added (Clock Time takes `now`);
/// empty for an unknown kind.
ConditionRecord createdCondition(const QString &kind, const QTime &now = QTime::currentTime());

/// Combo-box text to stored kind: the text itself in Japanese mode, the
/// English display name mapped back otherwise (unknown texts pass through).
QString storedCommandKind(const QString &comboText, bool japanese);
QString storedConditionKind(const QString &comboText, bool japanese);
/// Click-side combo text to stored side: in English "Right" is 右, anything else 左.
QString storedSide(const QString &comboText, bool japanese);
/// Stored side to combo text.
QString displaySide(const QString &stored, bool japanese);

/// Display name of a stored kind in the interface language; unknown kinds as stored.
QString commandDisplayName(const QString &kind, bool japanese);
QString conditionDisplayName(const QString &kind, bool japanese);
/// Name of an operation kind in the page strip ("key" in lower case in English).
QString stripName(const QString &kind, bool japanese);

/// Element i of a record, or an empty text past its end.
QString element(const QStringList &record, int index);

/// Makes a project safe to read by index: an empty pair of lists becomes one
/// blank page, the shorter list is padded with blank pages, a short record of a
/// known kind is padded from the record that kind is created with (Clock Time
/// with 0:00), a record with no element becomes ["なし"] or the blank
/// condition. Unknown kinds are kept as they are. Returns true if anything
/// changed.
bool repair(RecordList &commands, RecordList &conditions);

} // namespace records
