#include "project/pagekinds.h"

#include "input/keycombination.h"

#include <cstdlib>

namespace {

// How long a Key operation holds its keys unless the user says otherwise, in
// seconds; a completed capture sets it back to this.
const QString kKeyHoldDefault = QStringLiteral("0.01");

QStringList clockNow(const QTime &now)
{
    return {PageKinds::kClockTime, records::integerText(now.hour()), records::integerText(now.minute())};
}

const PageKinds::Kind *find(const QList<PageKinds::Kind> &kinds, const QString &stored)
{
    for (const auto &k : kinds) {
        if (k.stored == stored)
            return &k;
    }
    return nullptr;
}

QString toStored(const QList<PageKinds::Kind> &kinds, const QString &text)
{
    for (const auto &k : kinds) {
        if (text == k.english)
            return k.stored;
    }
    return text;
}

QStringList items(const QList<PageKinds::Kind> &kinds, bool japanese)
{
    QStringList list;
    for (const auto &k : kinds)
        list << k.name(japanese);
    return list;
}

bool padRecord(QStringList &record, const PageKinds::Kind *kind)
{
    if (!kind || record.size() >= kind->padding.size())
        return false;
    for (qsizetype i = record.size(); i < kind->padding.size(); ++i)
        record.append(kind->padding.at(i));
    return true;
}

} // namespace

const QList<PageKinds::Kind> &PageKinds::operations()
{
    static const QList<Kind> kinds = {
        {kNone, int(OperationId::None), QStringLiteral("None"), QStringLiteral("None"), {kNone}, nullptr,
         u"なし:何も行われません、条件のみを指定する場合に使用します。\n",
         u"None: Does nothing. Use this when you want to specify only a condition.\n"},
        {kClick, int(OperationId::Click), QStringLiteral("Click"), QStringLiteral("Click"), {kClick, kLeft, kKeyHoldDefault}, nullptr,
         u"クリック:時間を指定してクリックします。\n", u"Click: Clicks for the specified amount of time.\n"},
        {kMousePointer, int(OperationId::MousePointer), QStringLiteral("Mouse Pointer"), QStringLiteral("Mouse Pointer"),
         {kMousePointer, QStringLiteral("0"), QStringLiteral("0")}, nullptr,
         u"マウスポインター:マウスポインターを指定の座標に移動します。\n",
         u"Mouse Pointer: Moves the mouse pointer to the specified coordinates.\n"},
        {kSmoothMove, int(OperationId::SmoothMove), QStringLiteral("Smooth Move"), QStringLiteral("Smooth Move"),
         {kSmoothMove, QStringLiteral("0"), QStringLiteral("0"), QStringLiteral("1")}, nullptr,
         u"スムーズムーブ:実行時のマウスポインターから指定の座標に時間を指定してスムーズに移動します。\n",
         u"Smooth Move: Smoothly moves the mouse pointer from its current position at runtime to the specified "
         u"coordinates over the specified amount of time.\n"},
        // The strip writes a Key operation in lower case, the name label does not.
        {kKey, int(OperationId::Key), QStringLiteral("Key"), QStringLiteral("key"), {kKey, QString(), kKeyHoldDefault}, nullptr,
         u"キー:時間を指定して単一または複数のキーを入力します。\n",
         u"Key: Presses one or more keys for the specified amount of time.\n"},
        {kEnterText, int(OperationId::EnterText), QStringLiteral("Enter Text"), QStringLiteral("Enter Text"),
         {kEnterText, QString(), QStringLiteral("3")}, nullptr,
         u"入力:文章全体を入力し終えるまでの時間を指定して入力します。（日本語対応）\n",
         u"Input: Types text, taking the specified time for the whole text. (Supports Japanese)\n"},
        {kWheel, int(OperationId::Wheel), QStringLiteral("Wheel"), QStringLiteral("Wheel"),
         {kWheel, WheelOperation::kDown, QStringLiteral("1")}, nullptr,
         u"ホイール:マウスホイールを上または下に指定したノッチ数だけ回します。\n",
         u"Wheel: Turns the mouse wheel up or down by the specified number of notches.\n"},
    };
    return kinds;
}

const QList<PageKinds::Kind> &PageKinds::conditions()
{
    // The help lines join as they always have: some without a line break.
    static const QList<Kind> kinds = {
        {kWaitUntilOver, int(ConditionId::WaitUntilOver), QStringLiteral("Wait until over"), QStringLiteral("Wait until over"),
         {kWaitUntilOver, QStringLiteral("0.1")}, nullptr,
         u"終わるまで待つ:操作が終わるまで待ってから、次の操作に進みます。",
         u"Wait until over: Wait until the current command finishes before proceeding to the next command.\n"},
        {kTime, int(ConditionId::Time), QStringLiteral("Time"), QStringLiteral("Time"), {kTime, QStringLiteral("0.1")}, nullptr,
         u"時間:次の操作に進むまでの時間を指定します。\n",
         u"Time: Specifies how long to wait before proceeding to the next action.\n"},
        {kImmediately, int(ConditionId::Immediately), QStringLiteral("Immediately"), QStringLiteral("Immediately"), {kImmediately}, nullptr,
         u"即時:何も待たずに次の操作に進みます。\n", u"Immediate: Proceeds to the next action without waiting.\n"},
        {kClick, int(ConditionId::Click), QStringLiteral("Click"), QStringLiteral("Click"), {kClick, kLeft}, nullptr,
         u"クリック:クリックされた時に次の操作に進みます。\n", u"Click: Clicking will proceed to the next command."},
        {kKey, int(ConditionId::Key), QStringLiteral("Key"), QStringLiteral("Key"), {kKey, QString()}, nullptr,
         u"キー:単一または複数のキーを指定して、それが入力された時に次の操作に進みます。\n",
         u"Key: Specify one or more keys, and proceed to the next action when they are pressed.\n"},
        // A short record gets 0:00; Add takes the clock's hour and minute.
        {kClockTime, int(ConditionId::ClockTime), QStringLiteral("Clock Time"), QStringLiteral("Clock Time"),
         {kClockTime, QStringLiteral("0"), QStringLiteral("0")}, clockNow,
         u"時刻:次の操作に進む時刻を設定します。\n", u"Clock Time:Set the time to proceed to the next command.\n"},
        // The pixel under the pointer is not known when the kind is added.
        {kColor, int(ConditionId::Color), QStringLiteral("Color"), QStringLiteral("Color"),
         {kColor, QStringLiteral("0"), QStringLiteral("0"), QStringLiteral("#000000"), QStringLiteral("0")}, nullptr,
         u"色:指定した座標の画面の色が指定の色になった時に次の操作に進みます。",
         u"Color: Proceeds to the next action when the screen at the specified coordinates shows the specified color."},
    };
    return kinds;
}

bool PageKinds::keyMissing(const QString &code)
{
    return KeyCombination::parse(code).none;
}

const PageKinds::Kind *PageKinds::operation(const QString &stored)
{
    return find(operations(), stored);
}

const PageKinds::Kind *PageKinds::condition(const QString &stored)
{
    return find(conditions(), stored);
}

std::optional<PageKinds::OperationId> PageKinds::operationId(const QStringList &command)
{
    if (const Kind *kind = operation(kindOf(command)))
        return OperationId(kind->id);
    return std::nullopt;
}

std::optional<PageKinds::ConditionId> PageKinds::conditionId(const QStringList &condition)
{
    if (const Kind *kind = PageKinds::condition(kindOf(condition)))
        return ConditionId(kind->id);
    return std::nullopt;
}

QStringList PageKinds::operationItems(bool japanese)
{
    return items(operations(), japanese);
}

QStringList PageKinds::conditionItems(bool japanese)
{
    return items(conditions(), japanese);
}

QString PageKinds::kindOf(const QStringList &record)
{
    return View(record).kind();
}

CommandRecord PageKinds::blankCommand()
{
    return operation(kNone)->padding;
}

ConditionRecord PageKinds::blankCondition()
{
    return condition(kWaitUntilOver)->padding;
}

CommandRecord PageKinds::createdCommand(const QString &kind, const QTime &now)
{
    const Kind *k = operation(kind);
    return k ? k->created(now) : CommandRecord();
}

ConditionRecord PageKinds::createdCondition(const QString &kind, const QTime &now)
{
    const Kind *k = condition(kind);
    return k ? k->created(now) : ConditionRecord();
}

CommandRecord PageKinds::capturedKeyCommand(const QString &code)
{
    return {kKey, code, kKeyHoldDefault};
}

ConditionRecord PageKinds::capturedKeyCondition(const QString &code)
{
    return {kKey, code};
}

QString PageKinds::storedCommandKind(const QString &comboText, bool japanese)
{
    return japanese ? comboText : toStored(operations(), comboText);
}

QString PageKinds::storedConditionKind(const QString &comboText, bool japanese)
{
    return japanese ? comboText : toStored(conditions(), comboText);
}

QString PageKinds::storedSide(const QString &comboText, bool japanese)
{
    if (japanese)
        return comboText;
    return comboText == QLatin1String("Right") ? kRight : kLeft;
}

QString PageKinds::displaySide(const QString &stored, bool japanese)
{
    if (japanese)
        return stored;
    return stored == kRight ? QStringLiteral("Right") : QStringLiteral("Left");
}

QStringList PageKinds::sideItems(bool japanese)
{
    return {displaySide(kLeft, japanese), displaySide(kRight, japanese)};
}

QString PageKinds::commandDisplayName(const QString &kind, bool japanese)
{
    const Kind *k = operation(kind);
    return k ? k->name(japanese) : kind;
}

QString PageKinds::conditionDisplayName(const QString &kind, bool japanese)
{
    const Kind *k = condition(kind);
    return k ? k->name(japanese) : kind;
}

QString PageKinds::stripName(const QString &kind, bool japanese)
{
    const Kind *k = operation(kind);
    return k ? k->stripName(japanese) : kind;
}

bool PageKinds::repair(RecordList &commands, RecordList &conditions)
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
    auto padAll = [&changed](RecordList &list, const QStringList &blank, const Kind *(*kindOf)(const QString &)) {
        for (auto &record : list) {
            if (record.isEmpty()) {
                record = blank;
                changed = true;
            } else {
                changed |= padRecord(record, kindOf(PageKinds::kindOf(record)));
            }
        }
    };
    padAll(commands, blankCommand(), &operation);
    padAll(conditions, blankCondition(), &condition);
    return changed;
}

QString PageKinds::View::element(int index) const
{
    return index >= 0 && index < read_->size() ? read_->at(index) : QString();
}

void PageKinds::View::setElement(int index, const QString &value) const
{
    if (write_ && index > 0 && index < write_->size())
        (*write_)[index] = value;
}

void PageKinds::View::grow(int size) const
{
    while (write_ && write_->size() < size)
        write_->append(QString());
}

std::uint32_t PageKinds::ColorCondition::color() const
{
    const QString text = colorText();
    if (text.size() != 7 || !text.startsWith(QLatin1Char('#')))
        return 0;
    bool ok = false;
    const uint rgb = text.mid(1).toUInt(&ok, 16);
    return ok ? std::uint32_t(rgb) : 0;
}

bool PageKinds::ColorCondition::matches(std::uint32_t rgb) const
{
    const std::uint32_t want = color();
    const int tol = tolerance();
    for (int shift : {16, 8, 0}) {
        const int a = int((rgb >> shift) & 0xFFu);
        const int b = int((want >> shift) & 0xFFu);
        if (std::abs(a - b) > tol)
            return false;
    }
    return true;
}

QString PageKinds::ColorCondition::textOf(std::uint32_t rgb)
{
    return QStringLiteral("#%1").arg(rgb & 0xFFFFFFu, 6, 16, QLatin1Char('0'));
}
