#include "project/records.h"

namespace records {

namespace {
struct KindName {
    const QString &stored;
    const char *english;
};

const QList<KindName> &commandKinds()
{
    static const QList<KindName> kinds = {
        {kNone, "None"},       {kClick, "Click"}, {kMousePointer, "Mouse Pointer"},
        {kSmoothMove, "Smooth Move"}, {kKey, "Key"}, {kEnterText, "Enter Text"},
    };
    return kinds;
}

const QList<KindName> &conditionKinds()
{
    static const QList<KindName> kinds = {
        {kWaitUntilOver, "Wait until over"}, {kTime, "Time"}, {kImmediately, "Immediately"},
        {kClick, "Click"}, {kKey, "Key"}, {kClockTime, "Clock Time"},
    };
    return kinds;
}

QString toStored(const QList<KindName> &kinds, const QString &text)
{
    for (const auto &k : kinds) {
        if (text == QLatin1String(k.english))
            return k.stored;
    }
    return text;
}

QString toDisplay(const QList<KindName> &kinds, const QString &stored, bool japanese)
{
    if (japanese)
        return stored;
    for (const auto &k : kinds) {
        if (stored == k.stored)
            return QString::fromLatin1(k.english);
    }
    return stored;
}

// What a short record of a known kind is padded from.
QStringList commandTemplate(const QString &kind)
{
    return createdCommand(kind);
}

QStringList conditionTemplate(const QString &kind)
{
    if (kind == kClockTime)
        return {kClockTime, QStringLiteral("0"), QStringLiteral("0")};
    return createdCondition(kind);
}

bool padRecord(QStringList &record, const QStringList &pattern)
{
    if (pattern.isEmpty() || record.size() >= pattern.size())
        return false;
    for (qsizetype i = record.size(); i < pattern.size(); ++i)
        record.append(pattern.at(i));
    return true;
}
} // namespace

QString timeText(double seconds)
{
    return QString::number(seconds, 'g', 6);
}

QString integerText(int value)
{
    return QString::number(value, 10);
}

CommandRecord blankCommand()
{
    return {kNone};
}

ConditionRecord blankCondition()
{
    return {kWaitUntilOver, QStringLiteral("0.1")};
}

CommandRecord createdCommand(const QString &kind)
{
    if (kind == kNone)
        return {kNone};
    if (kind == kClick)
        return {kClick, kLeft, QStringLiteral("0.01")};
    if (kind == kMousePointer)
        return {kMousePointer, QStringLiteral("0"), QStringLiteral("0")};
    if (kind == kSmoothMove)
        return {kSmoothMove, QStringLiteral("0"), QStringLiteral("0"), QStringLiteral("1")};
    if (kind == kKey)
        return {kKey, QString(), QStringLiteral("0.01")};
    if (kind == kEnterText)
        return {kEnterText, QString(), QStringLiteral("3")};
    return {};
}

ConditionRecord createdCondition(const QString &kind, const QTime &now)
{
    if (kind == kWaitUntilOver)
        return {kWaitUntilOver, QStringLiteral("0.1")};
    if (kind == kTime)
        return {kTime, QStringLiteral("0.1")};
    if (kind == kImmediately)
        return {kImmediately};
    if (kind == kClick)
        return {kClick, kLeft};
    if (kind == kKey)
        return {kKey, QString()};
    if (kind == kClockTime)
        return {kClockTime, integerText(now.hour()), integerText(now.minute())};
    return {};
}

QString storedCommandKind(const QString &comboText, bool japanese)
{
    return japanese ? comboText : toStored(commandKinds(), comboText);
}

QString storedConditionKind(const QString &comboText, bool japanese)
{
    return japanese ? comboText : toStored(conditionKinds(), comboText);
}

QString storedSide(const QString &comboText, bool japanese)
{
    if (japanese)
        return comboText;
    return comboText == QLatin1String("Right") ? kRight : kLeft;
}

QString displaySide(const QString &stored, bool japanese)
{
    if (japanese)
        return stored;
    return stored == kRight ? QStringLiteral("Right") : QStringLiteral("Left");
}

QString commandDisplayName(const QString &kind, bool japanese)
{
    return toDisplay(commandKinds(), kind, japanese);
}

QString conditionDisplayName(const QString &kind, bool japanese)
{
    return toDisplay(conditionKinds(), kind, japanese);
}

QString stripName(const QString &kind, bool japanese)
{
    if (!japanese && kind == kKey)
        return QStringLiteral("key");
    return commandDisplayName(kind, japanese);
}

QString element(const QStringList &record, int index)
{
    return index >= 0 && index < record.size() ? record.at(index) : QString();
}

bool repair(RecordList &commands, RecordList &conditions)
{
    bool changed = false;
    if (commands.isEmpty() && conditions.isEmpty()) {
        commands.append(blankCommand());
        conditions.append(blankCondition());
        return true;
    }
    while (commands.size() < conditions.size()) {
        commands.append(blankCommand());
        changed = true;
    }
    while (conditions.size() < commands.size()) {
        conditions.append(blankCondition());
        changed = true;
    }
    for (auto &record : commands) {
        if (record.isEmpty()) {
            record = blankCommand();
            changed = true;
        } else {
            changed |= padRecord(record, commandTemplate(record.at(0)));
        }
    }
    for (auto &record : conditions) {
        if (record.isEmpty()) {
            record = blankCondition();
            changed = true;
        } else {
            changed |= padRecord(record, conditionTemplate(record.at(0)));
        }
    }
    return changed;
}

} // namespace records
