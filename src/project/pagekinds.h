#pragma once

// Every kind of operation and condition a page can hold, in one table, and
// the typed views through which the rest of the program reads and writes a
// record's elements. Layout, language switching, help, repair, the editor and
// the run all take their kinds from here; nothing else reads a record element
// by its index.
//
// Adding a kind: its id below, a row in operations() or conditions()
// (pagekinds.cpp) that lists its parameters, and its step in the run (the
// compiler names the switch that needs it). Open's checks and the editor's
// fields follow from the parameters; a view below is a convenience for code
// that reads the record by name.

#include "project/records.h"
#include "settings/text.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QTime>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <optional>

class PageKinds {
public:
    // Stored operation kinds.
    static inline const QString kNone = QStringLiteral("なし");
    static inline const QString kClick = QStringLiteral("クリック");
    static inline const QString kMousePointer = QStringLiteral("マウスポインター");
    static inline const QString kSmoothMove = QStringLiteral("スムーズムーブ");
    static inline const QString kKey = QStringLiteral("キー");
    static inline const QString kEnterText = QStringLiteral("入力");
    static inline const QString kWheel = QStringLiteral("ホイール");
    static inline const QString kClickImage = QStringLiteral("画像クリック");

    // Stored condition kinds (クリック and キー are shared with the operations).
    static inline const QString kWaitUntilOver = QStringLiteral("終わるまで待つ");
    static inline const QString kTime = QStringLiteral("時間");
    static inline const QString kImmediately = QStringLiteral("即時");
    static inline const QString kClockTime = QStringLiteral("時刻");
    static inline const QString kColor = QStringLiteral("色");
    static inline const QString kImage = QStringLiteral("画像");

    // Stored mouse buttons.
    static inline const QString kLeft = QStringLiteral("左");
    static inline const QString kRight = QStringLiteral("右");

    /// A key code that is still missing: nothing captured yet, or "なし"
    /// (the text a key-combination code has for "no key").
    static bool keyMissing(const QString &code);

    /// The kinds as the code knows them. The run dispatches on these with
    /// a switch without a default, so the compiler names every place a new
    /// kind needs code; the stored Japanese names stay the file format.
    enum class OperationId { None, Click, MousePointer, SmoothMove, Key, EnterText, Wheel, ClickImage };
    enum class ConditionId { WaitUntilOver, Time, Immediately, Click, Key, ClockTime, Color, Image };

    /// One element of a record after its kind (element i + 1 is params[i]):
    /// what it holds decides how Open checks it and which field edits it.
    struct Param {
        enum class Type {
            Seconds,   ///< a time in seconds; the panel's time box
            Integer,   ///< a whole number in [low, high]
            Side,      ///< 左 or 右; the panel's button box
            Direction, ///< 上 or 下
            Key,       ///< a key-combination code, set only by a capture
            Text,      ///< any text; the panel's text box
            Color,     ///< "#rrggbb"
            Picture,   ///< a PNG in base64 (picture.h)
            Appearance, ///< 現れる or 消える
        };
        Type type;
        const char *english;     ///< field name in messages ("seconds held")
        const char16_t *japanese;
        /// Side, Direction: the stored value any other text plays as.
        QString otherwise = {};
        /// Integer: the range the run plays.
        int low = INT_MIN;
        int high = INT_MAX;
        /// Integer out of range: the page waits until stopped (a clock time
        /// that never comes) instead of playing the nearest value.
        bool neverComes = false;
        /// Tooltip of the field that edits it alone (Side, Text).
        Text help = {"", ""};
    };

    /// One kind of the table.
    struct Kind {
        QString stored;       ///< element 0, the Japanese name, in both languages
        int id;               ///< its OperationId or ConditionId
        QString english;      ///< combo item and name label in English
        QString englishStrip; ///< page-strip name in English
        QStringList padding;  ///< a short record of this kind is filled from this
        /// The record Add makes; null: the padding record. `now` is the local
        /// time at that moment.
        QStringList (*create)(const QTime &now) = nullptr;
        /// This kind's line in the help tooltip of the kind combo box, with
        /// its line break, if any.
        const char16_t *helpJapanese = u"";
        const char16_t *helpEnglish = u"";
        QList<Param> params = {};

        QStringList created(const QTime &now) const { return create ? create(now) : padding; }
        QString name(bool japanese) const { return japanese ? stored : english; }
        QString stripName(bool japanese) const { return japanese ? stored : englishStrip; }
    };

    /// Operation kinds in the order of the operation-kind combo box.
    static const QList<Kind> &operations();
    /// Condition kinds in the order of the condition-kind combo box.
    static const QList<Kind> &conditions();
    /// The row of a stored kind; null for a kind not in the table.
    static const Kind *operation(const QString &stored);
    static const Kind *condition(const QString &stored);
    /// Combo-box items in the interface language, in table order.
    static QStringList operationItems(bool japanese);
    static QStringList conditionItems(bool japanese);

    /// The id of a record's kind; empty for an empty record or a kind not in
    /// the table.
    static std::optional<OperationId> operationId(const QStringList &command);
    static std::optional<ConditionId> conditionId(const QStringList &condition);

    /// The kind of a record (element 0), or an empty text for an empty record.
    static QString kindOf(const QStringList &record);

    /// The blank page: ["なし"] and ["終わるまで待つ", "0.1"].
    static CommandRecord blankCommand();
    static ConditionRecord blankCondition();

    /// Record made when an operation kind is added; empty for an unknown kind.
    static CommandRecord createdCommand(const QString &kind, const QTime &now = QTime::currentTime());
    /// Record made when a condition kind is added (Clock Time takes `now`);
    /// empty for an unknown kind.
    static ConditionRecord createdCondition(const QString &kind, const QTime &now = QTime::currentTime());
    /// The records a completed key capture makes: the hold time goes back to
    /// its default whatever it was.
    static CommandRecord capturedKeyCommand(const QString &code);
    static ConditionRecord capturedKeyCondition(const QString &code);

    /// Combo-box text to stored kind: the text itself in Japanese mode, the
    /// English display name mapped back otherwise (unknown texts pass through).
    static QString storedCommandKind(const QString &comboText, bool japanese);
    static QString storedConditionKind(const QString &comboText, bool japanese);
    /// Click-side combo text to stored side: in English "Right" is 右, anything else 左.
    static QString storedSide(const QString &comboText, bool japanese);
    /// Stored side to combo text.
    static QString displaySide(const QString &stored, bool japanese);
    /// The click-side combo items in the interface language.
    static QStringList sideItems(bool japanese);

    /// Display name of a stored kind in the interface language; unknown kinds as stored.
    static QString commandDisplayName(const QString &kind, bool japanese);
    static QString conditionDisplayName(const QString &kind, bool japanese);
    /// Name of an operation kind in the page strip ("key" in lower case in English).
    static QString stripName(const QString &kind, bool japanese);

    /// Makes a project safe to read by index: an empty pair of lists becomes one
    /// blank page, the shorter list is padded with blank pages, a short record of a
    /// known kind is padded from its kind's padding record (Clock Time with 0:00),
    /// a record with no element becomes ["なし"] or the blank condition. Unknown
    /// kinds are kept as they are. Returns true if anything changed.
    static bool repair(RecordList &commands, RecordList &conditions);

    /// One value of a page that Open repairs or that cannot play as written.
    struct Finding {
        /// What the program does with the value.
        enum class Action {
            BlankAdded,  ///< a missing record: the blank operation or condition is used
            Filled,      ///< a missing element: the kind's default (`result`) is used
            Skipped,     ///< an unknown kind: nothing is done, the run moves on
            Zero,        ///< a number that does not parse: 0 is used
            Clamped,     ///< a number out of range: `result` is used
            Black,       ///< a colour that is not "#rrggbb": black is waited for
            OtherSide,   ///< a side or direction not known: `result` is used
            NoKey,       ///< a key code without a usable key: nothing is pressed or waited for
            NeverComes,  ///< a clock time that does not exist: the page waits until stopped
            NoPicture,   ///< a picture that cannot be read: it is never found on the screen
        };
        int page = 0;            ///< 1-based
        bool condition = false;  ///< false: the page's operation
        QString kind;            ///< stored kind of the record (may be unknown or empty)
        QString field;           ///< English field name ("x", "colour", ...)
        QString value;           ///< the text as found (empty when missing)
        Action action = Action::Zero;
        QString result;          ///< the value used instead, where there is one

        /// "page 3, Color condition, colour "#zzzzzz": plays as black (#000000)"
        /// in English or Japanese.
        QString describe(bool japanese) const;
        bool operator==(const Finding &) const = default;
    };
    /// Every value of the lists as read from a file (before repair) that
    /// repair changes or that the run cannot play as written, in page order.
    /// The one place that decides it: Open, --play and --check all use it.
    static QList<Finding> check(const RecordList &commands, const RecordList &conditions);

    // ---- Typed views ----


    /// Reads and writes one record's elements by their names. Reading past
    /// the end gives an empty text; writing past the end, or through a view
    /// made on a const record, does nothing: a view never changes a record's
    /// length or kind.
    class View {
    public:
        explicit View(const QStringList &record) : read_(&record) {}
        explicit View(QStringList &record) : read_(&record), write_(&record) {}
        QString kind() const { return element(0); }

    protected:
        QString element(int index) const;
        void setElement(int index, const QString &value) const;
        /// Appends empty elements until the record has `size` (a record of a
        /// file that was not repaired can be short).
        void grow(int size) const;
        void setSeconds(int index, double seconds) const { setElement(index, records::timeText(seconds)); }
        void setInteger(int index, int value) const { setElement(index, records::integerText(value)); }

    private:
        const QStringList *read_;
        QStringList *write_ = nullptr;
    };

    /// Stored Side, Direction or Appearance value to its text in the interface
    /// language; other types as stored.
    static QString displayChoice(Param::Type type, const QString &stored, bool japanese);

    /// Any record's elements by index, for code that follows a kind's params.
    struct ParamView : View {
        using View::View;
        QString at(int index) const { return element(index); }
        void set(int index, const QString &value) const { setElement(index, value); }
        void setSecondsAt(int index, double seconds) const { setSeconds(index, seconds); }
    };

    /// Operation Click: ["クリック", side, seconds held].
    struct ClickOperation : View {
        using View::View;
        QString side() const { return element(1); }
        bool left() const { return side() == kLeft; }
        QString holdText() const { return element(2); }
        void setSide(const QString &stored) const { setElement(1, stored); }
        void setHold(double seconds) const { setSeconds(2, seconds); }
    };

    /// Operation Mouse Pointer: ["マウスポインター", x, y].
    struct PointerOperation : View {
        using View::View;
        QString xText() const { return element(1); }
        QString yText() const { return element(2); }
        void setX(int x) const { setInteger(1, x); }
        void setY(int y) const { setInteger(2, y); }
        /// The whole record for a point.
        static CommandRecord at(int x, int y) { return {kMousePointer, records::integerText(x), records::integerText(y)}; }
    };

    /// Operation Smooth Move (a glide): ["スムーズムーブ", x, y, seconds].
    struct GlideOperation : View {
        using View::View;
        QString xText() const { return element(1); }
        QString yText() const { return element(2); }
        QString durationText() const { return element(3); }
        void setX(int x) const { setInteger(1, x); }
        void setY(int y) const { setInteger(2, y); }
        void setDuration(double seconds) const { setSeconds(3, seconds); }
        /// Sets the target, first growing a short record to hold it.
        void placeTarget(int x, int y) const
        {
            grow(3);
            setX(x);
            setY(y);
        }
    };

    /// Operation Key: ["キー", key-combination code, seconds held].
    struct KeyOperation : View {
        using View::View;
        QString code() const { return element(1); }
        QString holdText() const { return element(2); }
        void setHold(double seconds) const { setSeconds(2, seconds); }
    };

    /// Operation Enter Text: ["入力", text, seconds for the whole text].
    struct TextOperation : View {
        using View::View;
        QString text() const { return View::element(1); }
        QString durationText() const { return View::element(2); }
        void setText(const QString &value) const { View::setElement(1, value); }
        void setDuration(double seconds) const { setSeconds(2, seconds); }
    };

    /// Operation Wheel: ["ホイール", "上" or "下", notches]. Stored in
    /// Japanese like a click's side; "Up" and "Down" are English texts only.
    struct WheelOperation : View {
        using View::View;
        static inline const QString kUp = QStringLiteral("上");
        static inline const QString kDown = QStringLiteral("下");
        /// Most notches one page turns (the editor's limit; a file may say more).
        static constexpr int kMostNotches = 100;
        QString direction() const { return element(1); }
        bool up() const { return direction() == kUp; }
        QString notchesText() const { return element(2); }
        /// Whole notches, positive up, bounded by kMostNotches; 0 for a bad count.
        int signedNotches() const { return std::clamp(notchesText().toInt(), 0, kMostNotches) * (up() ? 1 : -1); }
        void setDirection(const QString &stored) const { setElement(1, stored); }
        void setNotches(int notches) const { setInteger(2, notches); }
        /// Combo text to stored direction: in English "Up" is 上, anything else 下.
        static QString storedDirection(const QString &comboText, bool japanese)
        {
            if (japanese)
                return comboText;
            return comboText == QLatin1String("Up") ? kUp : kDown;
        }
        static QString displayDirection(const QString &stored, bool japanese)
        {
            if (japanese)
                return stored;
            return stored == kUp ? QStringLiteral("Up") : QStringLiteral("Down");
        }
        static QStringList directionItems(bool japanese)
        {
            return {displayDirection(kUp, japanese), displayDirection(kDown, japanese)};
        }
    };

    /// Operation Click Image: ["画像クリック", picture, side, tolerance 0-255,
    /// seconds to wait for the picture].
    struct ImageClickOperation : View {
        using View::View;
        QString pictureText() const { return element(1); }
        QString side() const { return element(2); }
        bool left() const { return side() == kLeft; }
        QString toleranceText() const { return element(3); }
        int tolerance() const { return std::clamp(toleranceText().toInt(), 0, 255); }
        QString waitText() const { return element(4); }
        void setPicture(const QString &text) const { setElement(1, text); }
        void setSide(const QString &stored) const { setElement(2, stored); }
        void setTolerance(int tolerance) const { setInteger(3, tolerance); }
        void setWait(double seconds) const { setSeconds(4, seconds); }
    };

    /// Condition Image: ["画像", "現れる" or "消える", picture, tolerance 0-255].
    /// Stored in Japanese like a click's side.
    struct ImageCondition : View {
        using View::View;
        static inline const QString kAppears = QStringLiteral("現れる");
        static inline const QString kVanishes = QStringLiteral("消える");
        QString appearanceText() const { return element(1); }
        /// Anything but 消える waits for the picture to appear.
        bool vanishes() const { return appearanceText() == kVanishes; }
        QString pictureText() const { return element(2); }
        QString toleranceText() const { return element(3); }
        int tolerance() const { return std::clamp(toleranceText().toInt(), 0, 255); }
        void setAppearance(const QString &stored) const { setElement(1, stored); }
        void setPicture(const QString &text) const { setElement(2, text); }
        void setTolerance(int tolerance) const { setInteger(3, tolerance); }
        static QString displayAppearance(const QString &stored, bool japanese)
        {
            if (japanese)
                return stored;
            return stored == kVanishes ? QStringLiteral("vanishes") : QStringLiteral("appears");
        }
        /// Combo text to stored value: in English "vanishes" is 消える, anything else 現れる.
        static QString storedAppearance(const QString &comboText, bool japanese)
        {
            if (japanese)
                return comboText;
            return comboText == QLatin1String("vanishes") ? kVanishes : kAppears;
        }
        static QStringList appearanceItems(bool japanese)
        {
            return {displayAppearance(kAppears, japanese), displayAppearance(kVanishes, japanese)};
        }
    };

    /// Conditions Wait until over and Time: [kind, seconds].
    struct TimeCondition : View {
        using View::View;
        QString secondsText() const { return element(1); }
        void setSeconds(double seconds) const { View::setSeconds(1, seconds); }
    };

    /// Condition Click: ["クリック", side].
    struct ClickCondition : View {
        using View::View;
        QString side() const { return element(1); }
        bool right() const { return side() == kRight; }
        void setSide(const QString &stored) const { setElement(1, stored); }
    };

    /// Condition Key: ["キー", key-combination code].
    struct KeyCondition : View {
        using View::View;
        QString code() const { return element(1); }
    };

    /// Condition Clock Time: ["時刻", hour, minute].
    struct ClockCondition : View {
        using View::View;
        QString hourText() const { return element(1); }
        QString minuteText() const { return element(2); }
        void setHour(int hour) const { setInteger(1, hour); }
        void setMinute(int minute) const { setInteger(2, minute); }
    };

    /// Condition Color: ["色", x, y, "#rrggbb", tolerance per channel 0-255].
    struct ColorCondition : View {
        using View::View;
        QString xText() const { return element(1); }
        QString yText() const { return element(2); }
        QString colorText() const { return element(3); }
        QString toleranceText() const { return element(4); }
        void setX(int x) const { setInteger(1, x); }
        void setY(int y) const { setInteger(2, y); }
        void setColor(std::uint32_t rgb) const { setElement(3, textOf(rgb)); }
        void setTolerance(int tolerance) const { setInteger(4, tolerance); }
        /// The colour as 0xRRGGBB; black for a text that is not "#rrggbb".
        std::uint32_t color() const;
        /// Whether the text is "#rrggbb" (six hexadecimal digits, any case).
        static bool isColorText(const QString &text);
        /// 0 to 255; a bad text counts as 0.
        int tolerance() const { return std::clamp(toleranceText().toInt(), 0, 255); }
        /// True when every channel of `rgb` is within the tolerance of the colour.
        bool matches(std::uint32_t rgb) const;
        /// "#rrggbb", lower case.
        static QString textOf(std::uint32_t rgb);
    };
};
