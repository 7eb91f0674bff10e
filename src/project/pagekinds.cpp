#include "project/pagekinds.h"

#include "input/keycombination.h"
#include "project/picture.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cmath>
#include <cstdlib>

namespace {

// How long a Key operation holds its keys unless the user says otherwise, in
// seconds; a completed capture sets it back to this.
const QString kKeyHoldDefault = QStringLiteral("0.01");

QStringList clockNow(const QTime &now)
{
    return {PageKinds::kClockTime, records::integerText(now.hour()), records::integerText(now.minute())};
}

using Param = PageKinds::Param;
using Type = Param::Type;

Param sideParam(const QString &otherwise)
{
    return {.type = Type::Side, .english = "button", .japanese = u"ボタン", .otherwise = otherwise,
            .help = {"クリックの種類を右か左で設定します。", "Sets the click type to either right or left."}};
}
const Param kSecondsHeld{.type = Type::Seconds, .english = "seconds held", .japanese = u"押す時間"};
const Param kSeconds{.type = Type::Seconds, .english = "seconds", .japanese = u"秒数"};
const Param kX{.type = Type::Integer, .english = "x", .japanese = u"X"};
const Param kY{.type = Type::Integer, .english = "y", .japanese = u"Y"};
const Param kKeyParam{.type = Type::Key, .english = "key", .japanese = u"キー"};
const Param kPicture{.type = Type::Picture, .english = "picture", .japanese = u"画像"};
const Param kTolerance{.type = Type::Integer, .english = "tolerance", .japanese = u"許容差", .low = 0, .high = 255};

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
         u"None: Does nothing. Use this when you want to specify only a condition.\n", {}},
        {kClick, int(OperationId::Click), QStringLiteral("Click"), QStringLiteral("Click"), {kClick, kLeft, kKeyHoldDefault}, nullptr,
         u"クリック:時間を指定してクリックします。\n", u"Click: Clicks for the specified amount of time.\n",
         {sideParam(kRight), kSecondsHeld}}, // anything but 左 is the right button
        {kMousePointer, int(OperationId::MousePointer), QStringLiteral("Mouse Pointer"), QStringLiteral("Mouse Pointer"),
         {kMousePointer, QStringLiteral("0"), QStringLiteral("0")}, nullptr,
         u"マウスポインター:マウスポインターを指定の座標に移動します。\n",
         u"Mouse Pointer: Moves the mouse pointer to the specified coordinates.\n", {kX, kY}},
        {kSmoothMove, int(OperationId::SmoothMove), QStringLiteral("Smooth Move"), QStringLiteral("Smooth Move"),
         {kSmoothMove, QStringLiteral("0"), QStringLiteral("0"), QStringLiteral("1")}, nullptr,
         u"スムーズムーブ:実行時のマウスポインターから指定の座標に時間を指定してスムーズに移動します。\n",
         u"Smooth Move: Smoothly moves the mouse pointer from its current position at runtime to the specified "
         u"coordinates over the specified amount of time.\n", {kX, kY, kSeconds}},
        // The strip writes a Key operation in lower case, the name label does not.
        {kKey, int(OperationId::Key), QStringLiteral("Key"), QStringLiteral("key"), {kKey, QString(), kKeyHoldDefault}, nullptr,
         u"キー:時間を指定して単一または複数のキーを入力します。\n",
         u"Key: Presses one or more keys for the specified amount of time.\n", {kKeyParam, kSecondsHeld}},
        {kEnterText, int(OperationId::EnterText), QStringLiteral("Enter Text"), QStringLiteral("Enter Text"),
         {kEnterText, QString(), QStringLiteral("3")}, nullptr,
         u"入力:文章全体を入力し終えるまでの時間を指定して入力します。（日本語対応）\n",
         u"Input: Types text, taking the specified time for the whole text. (Supports Japanese)\n",
         {{.type = Type::Text, .english = "text", .japanese = u"文字",
           .help = {"入力する文章を設定します。（日本語対応）", "Sets the text to input. (Supports Japanese)"}},
          kSeconds}},
        {kWheel, int(OperationId::Wheel), QStringLiteral("Wheel"), QStringLiteral("Wheel"),
         {kWheel, WheelOperation::kDown, QStringLiteral("1")}, nullptr,
         u"ホイール:マウスホイールを上または下に指定したノッチ数だけ回します。\n",
         u"Wheel: Turns the mouse wheel up or down by the specified number of notches.\n",
         {{.type = Type::Direction, .english = "direction", .japanese = u"方向", .otherwise = WheelOperation::kDown}, // anything but 上 turns down
          {.type = Type::Integer, .english = "notches", .japanese = u"ノッチ数", .low = 0, .high = WheelOperation::kMostNotches}}},
        // No picture yet when added: the page stays locked until it gets one.
        {kClickImage, int(OperationId::ClickImage), QStringLiteral("Click Image"), QStringLiteral("Click Image"),
         {kClickImage, QString(), kLeft, QStringLiteral("0"), QStringLiteral("10")}, nullptr,
         u"画像クリック:画面に画像が現れるのを指定の時間まで待ち、その中央をクリックします。見つからなければ実行を終えます。\n",
         u"Click Image: Waits up to the specified time for a picture to appear on the screen, then clicks its center. "
         u"If it does not appear, the run ends.\n",
         {kPicture, sideParam(kRight), kTolerance,
          {.type = Type::Seconds, .english = "seconds to wait", .japanese = u"待つ時間"}}},
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
         u"Wait until over: Wait until the current command finishes before proceeding to the next command.\n", {kSeconds}},
        {kTime, int(ConditionId::Time), QStringLiteral("Time"), QStringLiteral("Time"), {kTime, QStringLiteral("0.1")}, nullptr,
         u"時間:次の操作に進むまでの時間を指定します。\n",
         u"Time: Specifies how long to wait before proceeding to the next action.\n", {kSeconds}},
        {kImmediately, int(ConditionId::Immediately), QStringLiteral("Immediately"), QStringLiteral("Immediately"), {kImmediately}, nullptr,
         u"即時:何も待たずに次の操作に進みます。\n", u"Immediate: Proceeds to the next action without waiting.\n", {}},
        {kClick, int(ConditionId::Click), QStringLiteral("Click"), QStringLiteral("Click"), {kClick, kLeft}, nullptr,
         u"クリック:クリックされた時に次の操作に進みます。\n", u"Click: Clicking will proceed to the next command.",
         {sideParam(kLeft)}}, // anything but 右 waits for the left
        {kKey, int(ConditionId::Key), QStringLiteral("Key"), QStringLiteral("Key"), {kKey, QString()}, nullptr,
         u"キー:単一または複数のキーを指定して、それが入力された時に次の操作に進みます。\n",
         u"Key: Specify one or more keys, and proceed to the next action when they are pressed.\n", {kKeyParam}},
        // A short record gets 0:00; Add takes the clock's hour and minute.
        {kClockTime, int(ConditionId::ClockTime), QStringLiteral("Clock Time"), QStringLiteral("Clock Time"),
         {kClockTime, QStringLiteral("0"), QStringLiteral("0")}, clockNow,
         u"時刻:次の操作に進む時刻を設定します。\n", u"Clock Time:Set the time to proceed to the next command.\n",
         {{.type = Type::Integer, .english = "hour", .japanese = u"時", .low = 0, .high = 23, .neverComes = true},
          {.type = Type::Integer, .english = "minute", .japanese = u"分", .low = 0, .high = 59, .neverComes = true}}},
        // The pixel under the pointer is not known when the kind is added.
        {kColor, int(ConditionId::Color), QStringLiteral("Color"), QStringLiteral("Color"),
         {kColor, QStringLiteral("0"), QStringLiteral("0"), QStringLiteral("#000000"), QStringLiteral("0")}, nullptr,
         u"色:指定した座標の画面の色が指定の色になった時に次の操作に進みます。",
         u"Color: Proceeds to the next action when the screen at the specified coordinates shows the specified color.",
         {kX, kY, {.type = Type::Color, .english = "colour", .japanese = u"色"},
          kTolerance}},
        {kImage, int(ConditionId::Image), QStringLiteral("Image"), QStringLiteral("Image"),
         {kImage, ImageCondition::kAppears, QString(), QStringLiteral("0")}, nullptr,
         // The colour's line before it ends without a line break.
         u"\n画像:画面に指定の画像が現れた時（または消えた時）に次の操作に進みます。",
         u"\nImage: Proceeds to the next action when the specified picture appears on the screen (or vanishes from it).",
         {{.type = Type::Appearance, .english = "appears or vanishes", .japanese = u"現れる・消える",
           .otherwise = ImageCondition::kAppears}, // anything but 消える waits for it to appear
          kPicture, kTolerance}},
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

QString PageKinds::displayChoice(Param::Type type, const QString &stored, bool japanese)
{
    switch (type) {
    case Param::Type::Side:
        return displaySide(stored, japanese);
    case Param::Type::Direction:
        return WheelOperation::displayDirection(stored, japanese);
    case Param::Type::Appearance:
        return ImageCondition::displayAppearance(stored, japanese);
    default:
        return stored;
    }
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

bool PageKinds::ColorCondition::isColorText(const QString &text)
{
    if (text.size() != 7 || !text.startsWith(QLatin1Char('#')))
        return false;
    // toUInt alone would take "#+1234a" or "# 1234a".
    for (qsizetype i = 1; i < text.size(); ++i) {
        if (!isxdigit(text.at(i).unicode() < 128 ? int(text.at(i).unicode()) : 0))
            return false;
    }
    return true;
}

std::uint32_t PageKinds::ColorCondition::color() const
{
    const QString text = colorText();
    return isColorText(text) ? std::uint32_t(text.mid(1).toUInt(nullptr, 16)) : 0;
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

namespace {

using Finding = PageKinds::Finding;
using Action = Finding::Action;

struct FieldName {
    const char *english;
    const char16_t *japanese;
};

// Field names by kind and element index, as the editor labels them.
FieldName fieldName(bool condition, const QString &kind, int index)
{
    if (index == 0)
        return {"kind", u"種類"};
    const PageKinds::Kind *k = condition ? PageKinds::condition(kind) : PageKinds::operation(kind);
    if (k && index <= k->params.size())
        return {k->params.at(index - 1).english, k->params.at(index - 1).japanese};
    return {"value", u"値"};
}

class Checker {
public:
    QList<Finding> found;

    void record(int page, bool condition, const QStringList *record)
    {
        const PageKinds::Kind *kind = nullptr;
        if (!record || record->isEmpty()) {
            add(page, condition, QString(), QStringLiteral("record"), QString(), Action::BlankAdded, QString());
            return;
        }
        const QString name = record->first();
        kind = condition ? PageKinds::condition(name) : PageKinds::operation(name);
        if (!kind) {
            add(page, condition, name, QStringLiteral("kind"), name, Action::Skipped, QString());
            return;
        }
        page_ = page;
        condition_ = condition;
        kind_ = name;
        record_ = record;
        // Elements a short record lacks get the kind's padding; the values
        // of those are sound, so only the ones present are checked.
        checkValues(*kind);
        for (qsizetype i = record->size(); i < kind->padding.size(); ++i)
            add(page, condition, name, fieldOf(int(i)), QString(), Action::Filled, kind->padding.at(i));
    }

private:
    int page_ = 0;
    bool condition_ = false;
    QString kind_;
    const QStringList *record_ = nullptr;

    static QString fieldOf(bool condition, const QString &kind, int index)
    {
        return QString::fromLatin1(fieldName(condition, kind, index).english);
    }
    QString fieldOf(int index) const { return fieldOf(condition_, kind_, index); }

    void add(int page, bool condition, const QString &kind, const QString &field, const QString &value, Action action,
             const QString &result)
    {
        found.append({page, condition, kind, field, value, action, result});
    }
    void add(int index, Action action, const QString &result = QString())
    {
        add(page_, condition_, kind_, fieldOf(index), record_->at(index), action, result);
    }
    bool has(int index) const { return index < record_->size(); }

    // A whole number as the run reads it (QString::toInt), within [low, high].
    void integer(int index, int low, int high, Action outOfRange = Action::Clamped)
    {
        if (!has(index))
            return;
        bool ok = false;
        const int value = record_->at(index).toInt(&ok);
        if (!ok)
            add(index, Action::Zero, QStringLiteral("0"));
        else if (value < low || value > high)
            add(index, outOfRange, outOfRange == Action::Clamped ? records::integerText(std::clamp(value, low, high))
                                                                 : QString());
    }
    // Seconds as the run reads them (QString::toDouble): a negative or
    // unreadable time waits nothing.
    void seconds(int index)
    {
        if (!has(index))
            return;
        bool ok = false;
        const double value = record_->at(index).toDouble(&ok);
        if (!ok || std::isnan(value))
            add(index, Action::Zero, QStringLiteral("0"));
        else if (value < 0)
            add(index, Action::Clamped, QStringLiteral("0"));
    }
    void choice(int index, const QString &a, const QString &b, const QString &otherwise)
    {
        if (has(index) && record_->at(index) != a && record_->at(index) != b)
            add(index, Action::OtherSide, otherwise);
    }
    void key(int index)
    {
        if (has(index) && !KeyCombination::parse(record_->at(index)).usable())
            add(index, Action::NoKey);
    }

    void checkValues(const PageKinds::Kind &kind)
    {
        for (int i = 1; i <= kind.params.size(); ++i) {
            const Param &p = kind.params.at(i - 1);
            switch (p.type) {
            case Type::Seconds:
                seconds(i);
                break;
            case Type::Integer:
                integer(i, p.low, p.high, p.neverComes ? Action::NeverComes : Action::Clamped);
                break;
            case Type::Side:
                choice(i, PageKinds::kLeft, PageKinds::kRight, p.otherwise);
                break;
            case Type::Direction:
                choice(i, PageKinds::WheelOperation::kUp, PageKinds::WheelOperation::kDown, p.otherwise);
                break;
            case Type::Key:
                key(i);
                break;
            case Type::Text:
                break; // any text plays
            case Type::Color:
                if (has(i) && !PageKinds::ColorCondition::isColorText(record_->at(i)))
                    add(i, Action::Black, QStringLiteral("#000000"));
                break;
            case Type::Picture:
                if (has(i) && picture::decode(record_->at(i)).isNull())
                    add(i, Action::NoPicture);
                break;
            case Type::Appearance:
                choice(i, PageKinds::ImageCondition::kAppears, PageKinds::ImageCondition::kVanishes, p.otherwise);
                break;
            }
        }
    }
};

} // namespace

QList<PageKinds::Finding> PageKinds::check(const RecordList &commands, const RecordList &conditions)
{
    Checker checker;
    const qsizetype pages = std::max(commands.size(), conditions.size());
    for (qsizetype i = 0; i < pages; ++i) {
        const int page = int(i + 1);
        checker.record(page, false, i < commands.size() ? &commands.at(i) : nullptr);
        checker.record(page, true, i < conditions.size() ? &conditions.at(i) : nullptr);
    }
    return checker.found;
}

QString PageKinds::Finding::describe(bool ja) const
{
    const Kind *k = condition ? PageKinds::condition(kind) : PageKinds::operation(kind);
    const QString kindName = k ? k->name(ja) : kind;
    QString fieldText = QString::fromLatin1("record");
    if (field != QLatin1String("record")) {
        // Back from the English name to the label in the language asked for.
        for (int index = 0; index <= (k ? k->params.size() : 0) + 1; ++index) {
            const FieldName f = fieldName(condition, kind, index);
            if (field == QLatin1String(f.english)) {
                fieldText = ja ? QString::fromUtf16(f.japanese) : field;
                break;
            }
        }
    } else if (ja) {
        fieldText = QStringLiteral("記録");
    }
    // Built by concatenation: the value may hold '%' or anything else.
    QString where;
    if (ja) {
        where = QString::number(page) + QStringLiteral(" ページ目の") + (condition ? QStringLiteral("条件") : QStringLiteral("操作"));
        if (!kindName.isEmpty())
            where += QStringLiteral("「") + kindName + QStringLiteral("」");
        where += QStringLiteral("、") + fieldText + QStringLiteral("「") + value + QStringLiteral("」: ");
    } else {
        where = QStringLiteral("page ") + QString::number(page) + QStringLiteral(", ")
            + (kindName.isEmpty() ? QString() : kindName + QLatin1Char(' '))
            + (condition ? QStringLiteral("condition") : QStringLiteral("operation")) + QStringLiteral(", ") + fieldText
            + QStringLiteral(" \"") + value + QStringLiteral("\": ");
    }
    QString what;
    switch (action) {
    case Action::BlankAdded:
        what = condition ? (ja ? QStringLiteral("ありません。「終わるまで待つ」を使います")
                               : QStringLiteral("missing; \"Wait until over\" is used"))
                         : (ja ? QStringLiteral("ありません。「なし」を使います") : QStringLiteral("missing; \"None\" is used"));
        break;
    case Action::Filled:
        what = ja ? QStringLiteral("ありません。「") + result + QStringLiteral("」を使います")
                  : QStringLiteral("missing; \"") + result + QStringLiteral("\" is used");
        break;
    case Action::Skipped:
        what = ja ? QStringLiteral("不明な種類です。何もせずに次へ進みます")
                  : QStringLiteral("unknown kind; skipped, the run moves on");
        break;
    case Action::Zero:
        what = ja ? QStringLiteral("数値ではありません。0 として扱います") : QStringLiteral("not a number; plays as 0");
        break;
    case Action::Clamped:
        what = ja ? QStringLiteral("範囲外です。") + result + QStringLiteral(" として扱います")
                  : QStringLiteral("out of range; plays as ") + result;
        break;
    case Action::Black:
        what = ja ? QStringLiteral("「#rrggbb」の形ではありません。黒（#000000）として扱います")
                  : QStringLiteral("not \"#rrggbb\"; plays as black (#000000)");
        break;
    case Action::OtherSide: {
        Param::Type type = Param::Type::Side;
        if (k) {
            for (const Param &p : k->params) {
                if (field == QLatin1String(p.english))
                    type = p.type;
            }
        }
        const QString shown = PageKinds::displayChoice(type, result, ja);
        what = ja ? QStringLiteral("不明な値です。「") + shown + QStringLiteral("」として扱います")
                  : QStringLiteral("not known; plays as \"") + shown + QStringLiteral("\"");
        break;
    }
    case Action::NoKey:
        what = ja ? QStringLiteral("使えるキーがありません。何も押さず、待ちません")
                  : QStringLiteral("no usable key; nothing is pressed or waited for");
        break;
    case Action::NeverComes:
        what = ja ? QStringLiteral("その時刻は来ません。停止するまで待ち続けます")
                  : QStringLiteral("that time never comes; the page waits until stopped");
        break;
    case Action::NoPicture:
        what = ja ? QStringLiteral("画像として読めません。画面に見つかることはありません")
                  : QStringLiteral("not a picture; it is never found on the screen");
        break;
    }
    return where + what;
}
