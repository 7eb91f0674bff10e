#include "gui/mainwindow/editorfields.h"

#include "gui/widgets/controlstyles.h"
#include "gui/widgets/textfit.h"
#include "input/keycombination.h"
#include "project/pagekinds.h"
#include "project/picture.h"
#include "settings/text.h"

#include <QComboBox>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QTextEdit>

using namespace controlstyles;


/// The controls of one panel that the kinds of that panel share; a kind's
/// parameters show in them (a Seconds parameter in the time box, a Side in
/// the button box, and so on).
struct PanelControls {
    QLabel *name = nullptr;
    QDoubleSpinBox *time = nullptr;
    QLabel *sec = nullptr;
    QComboBox *side = nullptr;
    QLabel *key = nullptr;
    QTextEdit *text = nullptr; // made only when a kind of the panel holds a text
};

/// The controls that several kinds share, plus every kind-specific control
/// for hiding them all at once.
struct EditorFields::Controls {
    EditorFields *owner = nullptr;
    QWidget *window = nullptr;
    QList<QWidget *> all; // every kind-specific control

    QPushButton *testButton = nullptr;
    PanelControls command;
    PanelControls condition;

    PanelControls &panel(bool forCondition) { return forCondition ? condition : command; }

    /// Places, names and files a kind-specific control.
    template<typename W>
    W *add(const char *name, W *w, int x, int y, int width, int height, const QString &style)
    {
        place(w, x, y, width, height, style);
        w->setObjectName(QString::fromLatin1(name));
        all.append(w);
        return w;
    }
    /// Every change of a field reaches the window as one edit.
    template<typename W, typename Signal>
    void watch(W *w, Signal signal)
    {
        QObject::connect(w, signal, owner, [o = owner] { emit o->edited(); });
    }
    /// A Get button of one panel.
    void getButton(QPushButton *button, bool forCondition)
    {
        QObject::connect(button, &QPushButton::clicked, owner, [o = owner, forCondition] {
            o->pointForCondition_ = forCondition;
            emit o->getRequested();
        });
    }
    /// The Capture or Load button of a panel's picture.
    void pictureButton(QPushButton *button, bool forCondition, bool load)
    {
        QObject::connect(button, &QPushButton::clicked, owner, [o = owner, forCondition, load] {
            o->pictureForCondition_ = forCondition;
            if (load)
                emit o->pictureLoadRequested();
            else
                emit o->pictureCaptureRequested();
        });
    }
    void showAll(std::initializer_list<QWidget *> widgets)
    {
        for (QWidget *w : widgets)
            w->show();
    }
    void tip(QWidget *w, bool japanese, bool help, const Text &text)
    {
        w->setToolTip(help ? text.in(japanese) : QString());
    }
};

/// One kind's (or a few alike kinds') fields in one panel.
class EditorFields::Fields {
public:
    Fields(QStringList kinds, bool forCondition) : kinds_(std::move(kinds)), forCondition_(forCondition) {}
    virtual ~Fields() = default;

    bool serves(const QString &kind, bool forCondition) const
    {
        return forCondition == forCondition_ && kinds_.contains(kind);
    }
    /// Shows the kind's controls with the record's values.
    virtual void show(const QStringList &record, bool japanese) = 0;
    /// Writes the controls back; returns a lock decision, if the kind makes one.
    virtual std::optional<bool> store(QStringList &record, bool japanese) const = 0;
    /// Set when the kind decides the completion lock: true while incomplete.
    virtual std::optional<bool> incomplete(const QStringList &) const { return std::nullopt; }
    virtual void setTexts(bool) {}
    virtual void setTooltips(bool, bool) {}
    /// Takes a picture (a record's text for it); false when the kind has none.
    virtual bool takePicture(QStringList &, const QString &) { return false; }
    /// Takes a captured pointer position; false when the kind has none.
    virtual bool takePoint(QStringList &, platform::Point) { return false; }
    virtual std::optional<platform::Point> testTarget(const QStringList &) const { return std::nullopt; }

private:
    QStringList kinds_;
    bool forCondition_;
};

namespace {

using Controls = EditorFields::Controls;
using Fields = EditorFields::Fields;

double secondsOf(const QString &text)
{
    return double(text.toFloat());
}

// A click-side combo box ("左"/"右", in English "Left"/"Right").
QComboBox *sideCombo(Controls &c, const char *name, int y)
{
    auto *combo = c.add(name, comboBox(c.window, PageKinds::sideItems(true)), 20, y, 90, 40, kComboStyle);
    combo->setCurrentIndex(0);
    c.watch(combo, &QComboBox::currentIndexChanged);
    return combo;
}

// The box that holds a text a kind of the panel stores.
QTextEdit *textBox(Controls &c, const char *name, int y)
{
    auto *box = c.add(name, new QTextEdit(c.window), 20, y, 380, 73, kTextStyle);
    // The box holds the text a run types: a paste keeps only its plain text.
    box->setAcceptRichText(false);
    c.watch(box, &QTextEdit::textChanged);
    return box;
}

bool holdsText(const QList<PageKinds::Kind> &kinds)
{
    return std::any_of(kinds.begin(), kinds.end(), [](const PageKinds::Kind &k) {
        return std::any_of(k.params.begin(), k.params.end(),
                           [](const PageKinds::Param &p) { return p.type == PageKinds::Param::Type::Text; });
    });
}

// The fields of a kind made from its parameters alone: each parameter shows
// in its panel's shared control for its type. A kind with parameters of other
// types (coordinates, a colour, a count) has fields of its own below.
class ParamFields : public Fields {
public:
    using Type = PageKinds::Param::Type;

    ParamFields(const PageKinds::Kind &kind, bool forCondition, Controls &c)
        : Fields({kind.stored}, forCondition), kind_(kind), c_(c), p_(c.panel(forCondition))
    {
    }
    void show(const QStringList &record, bool japanese) override
    {
        const PageKinds::ParamView view(record);
        forEach([&](int i, const PageKinds::Param &param) {
            const QString value = view.at(i);
            switch (param.type) {
            case Type::Seconds:
                c_.showAll({p_.time, p_.sec});
                p_.time->setValue(secondsOf(value));
                break;
            case Type::Side:
                p_.side->show();
                p_.side->setCurrentText(PageKinds::displaySide(value, japanese));
                break;
            case Type::Key:
                p_.key->show();
                p_.key->setText(KeyCombination::label(value));
                break;
            case Type::Text:
                p_.text->show();
                // Always plain: setText would show a text that looks like HTML as
                // rich text, and the next edit would store it without its tags.
                p_.text->setPlainText(value);
                break;
            default:
                break;
            }
        });
    }
    std::optional<bool> store(QStringList &record, bool japanese) const override
    {
        const PageKinds::ParamView view(record);
        std::optional<bool> lock;
        forEach([&](int i, const PageKinds::Param &param) {
            switch (param.type) {
            case Type::Seconds:
                view.setSecondsAt(i, p_.time->value());
                break;
            case Type::Side:
                view.set(i, PageKinds::storedSide(p_.side->currentText(), japanese));
                break;
            case Type::Text:
                view.set(i, p_.text->toPlainText());
                // The text decides whether the page can be left: ask the lock again.
                lock = p_.text->toPlainText().isEmpty();
                break;
            default:
                break; // a key is set only by a capture
            }
        });
        return lock;
    }
    std::optional<bool> incomplete(const QStringList &record) const override
    {
        const PageKinds::ParamView view(record);
        std::optional<bool> missing;
        forEach([&](int i, const PageKinds::Param &param) {
            if (param.type == Type::Key)
                missing = missing.value_or(false) || PageKinds::keyMissing(view.at(i));
            else if (param.type == Type::Text)
                missing = missing.value_or(false) || view.at(i).isEmpty();
        });
        return missing;
    }
    void setTexts(bool japanese) override
    {
        forEach([&](int, const PageKinds::Param &param) {
            if (param.type == Type::Side) {
                const QStringList items = PageKinds::sideItems(japanese);
                for (int i = 0; i < items.size() && i < p_.side->count(); ++i)
                    p_.side->setItemText(i, items.at(i));
            }
        });
    }
    void setTooltips(bool ja, bool help) override
    {
        forEach([&](int, const PageKinds::Param &param) {
            QWidget *own = param.type == Type::Side ? static_cast<QWidget *>(p_.side)
                         : param.type == Type::Text ? static_cast<QWidget *>(p_.text)
                                                    : nullptr;
            if (own)
                c_.tip(own, ja, help, param.help);
        });
    }

private:
    template<typename F>
    void forEach(F f) const
    {
        for (int i = 0; i < kind_.params.size(); ++i)
            f(i + 1, kind_.params.at(i));
    }

    const PageKinds::Kind &kind_;
    Controls &c_;
    PanelControls &p_;
};

// A row of X and Y boxes with a Get button (Mouse Pointer, Smooth Move).
struct CoordinateRow {
    QLabel *xLabel = nullptr;
    QSpinBox *xSpin = nullptr;
    QLabel *yLabel = nullptr;
    QSpinBox *ySpin = nullptr;
    QPushButton *getButton = nullptr;

    void create(Controls &c, const char *const names[5])
    {
        xLabel = c.add(names[0], new QLabel(QStringLiteral("X:"), c.window), 20, 133, 24, 60, kSmallLabelStyle);
        xSpin = c.add(names[1], spinBox(c.window, -9999999, 9999999, false), 40, 145, 120, 40, kSpinStyle);
        yLabel = c.add(names[2], new QLabel(QStringLiteral("Y:"), c.window), 170, 133, 24, 60, kSmallLabelStyle);
        ySpin = c.add(names[3], spinBox(c.window, -9999999, 99999999, false), 190, 145, 120, 40, kSpinStyle);
        getButton = c.add(names[4], new QPushButton(QStringLiteral("取得"), c.window), 320, 144, 80, 43, kButtonStyle);
        c.watch(xSpin, &QSpinBox::valueChanged);
        c.watch(ySpin, &QSpinBox::valueChanged);
        c.getButton(getButton, false);
    }
    QList<QWidget *> widgets() const { return {xLabel, xSpin, yLabel, ySpin, getButton}; }
    void set(const QString &x, const QString &y)
    {
        xSpin->setValue(x.toInt());
        ySpin->setValue(y.toInt());
    }
    void setTexts(bool japanese)
    {
        xLabel->setText(QStringLiteral("X:"));
        yLabel->setText(QStringLiteral("Y:"));
        getButton->setText(Text{"取得", "Get"}.in(japanese));
    }
    void setTooltips(Controls &c, bool ja, bool help)
    {
        c.tip(xSpin, ja, help, Text{"マウスポインターのX座標です。\n自分で入力するか「取得」ボタンで簡単に取得できます。",
              "The X coordinate of the mouse pointer.\nYou can enter it manually or easily get it with the \"Get\" button."});
        c.tip(ySpin, ja, help, Text{"マウスポインターのY座標です。\n自分で入力するか「取得」ボタンで簡単に取得できます。",
              "The Y coordinate of the mouse pointer.\nYou can enter it manually or easily get it with the \"Get\" button."});
        c.tip(getButton, ja, help, Text{"マウスポインターの座標を簡単に取得できます。",
              "Easily gets the mouse pointer coordinates."});
    }
};

// ---- Kinds with fields of their own ----

// An operation with a coordinate row and the Test button; V is its view.
template<typename V>
class PointFields : public Fields {
public:
    PointFields(const QString &kind, Controls &c, const char *const names[5]) : Fields({kind}, false), c_(c)
    {
        row_.create(c, names);
    }
    void show(const QStringList &record, bool) override
    {
        const V view(record);
        c_.showAll({row_.xLabel, row_.xSpin, row_.yLabel, row_.ySpin, row_.getButton, c_.testButton});
        row_.set(view.xText(), view.yText());
    }
    std::optional<bool> store(QStringList &record, bool) const override
    {
        const V view(record);
        view.setX(row_.xSpin->value());
        view.setY(row_.ySpin->value());
        return std::nullopt;
    }
    void setTexts(bool japanese) override { row_.setTexts(japanese); }
    void setTooltips(bool ja, bool help) override { row_.setTooltips(c_, ja, help); }
    std::optional<platform::Point> testTarget(const QStringList &record) const override
    {
        const V view(record);
        return platform::Point{view.xText().toInt(), view.yText().toInt()};
    }

protected:
    Controls &c_;
    CoordinateRow row_;
};

class PointerFields : public PointFields<PageKinds::PointerOperation> {
public:
    static constexpr const char *kNames[5] = {"xLabel1", "xSpin1", "yLabel1", "ySpin1", "getButton1"};
    PointerFields(Controls &c) : PointFields(PageKinds::kMousePointer, c, kNames) {}
    bool takePoint(QStringList &record, platform::Point p) override
    {
        record = PageKinds::PointerOperation::at(p.x, p.y);
        return true;
    }
};

// A glide: the pointer's fields plus its duration.
class GlideFields : public PointFields<PageKinds::GlideOperation> {
public:
    static constexpr const char *kNames[5] = {"xLabel2", "xSpin2", "yLabel2", "ySpin2", "getButton2"};
    GlideFields(Controls &c) : PointFields(PageKinds::kSmoothMove, c, kNames) {}
    void show(const QStringList &record, bool japanese) override
    {
        PointFields::show(record, japanese);
        c_.showAll({c_.command.time, c_.command.sec});
        c_.command.time->setValue(secondsOf(PageKinds::GlideOperation(record).durationText()));
    }
    std::optional<bool> store(QStringList &record, bool japanese) const override
    {
        PointFields::store(record, japanese);
        PageKinds::GlideOperation(record).setDuration(c_.command.time->value());
        return std::nullopt;
    }
    bool takePoint(QStringList &record, platform::Point p) override
    {
        PageKinds::GlideOperation(record).placeTarget(p.x, p.y);
        return true;
    }
};

class WheelFields : public Fields {
public:
    WheelFields(Controls &c) : Fields({PageKinds::kWheel}, false), c_(c)
    {
        using Wheel = PageKinds::WheelOperation;
        direction_ = c.add("wheelDirectionCombo", comboBox(c.window, Wheel::directionItems(true)), 20, 150, 90, 40,
                           kComboStyle);
        c.watch(direction_, &QComboBox::currentIndexChanged);
        notches_ = c.add("wheelNotchesSpin", spinBox(c.window, 1, Wheel::kMostNotches, true), 120, 150, 90, 40,
                         kSpinStyle);
        c.watch(notches_, &QSpinBox::valueChanged);
        unit_ = c.add("wheelNotchesLabel", new QLabel(c.window), 220, 150, 170, 40, kSmallLabelStyle);
    }
    void show(const QStringList &record, bool japanese) override
    {
        using Wheel = PageKinds::WheelOperation;
        const Wheel wheel(record);
        c_.showAll({direction_, notches_, unit_});
        direction_->setCurrentText(Wheel::displayDirection(wheel.direction(), japanese));
        notches_->setValue(wheel.notchesText().toInt());
    }
    std::optional<bool> store(QStringList &record, bool japanese) const override
    {
        using Wheel = PageKinds::WheelOperation;
        const Wheel wheel(record);
        wheel.setDirection(Wheel::storedDirection(direction_->currentText(), japanese));
        wheel.setNotches(notches_->value());
        return std::nullopt;
    }
    void setTexts(bool japanese) override
    {
        const QStringList items = PageKinds::WheelOperation::directionItems(japanese);
        for (int i = 0; i < items.size(); ++i)
            direction_->setItemText(i, items.at(i));
        unit_->setText(Text{"ノッチ", "notches"}.in(japanese));
    }
    void setTooltips(bool ja, bool help) override
    {
        c_.tip(direction_, ja, help, Text{"ホイールを回す向きを上か下で設定します。",
               "Sets which way the wheel turns: up or down."});
        for (QWidget *w : {static_cast<QWidget *>(notches_), static_cast<QWidget *>(unit_)})
            c_.tip(w, ja, help, Text{"ホイールを回すノッチ数です。（1〜100）", "How many notches the wheel turns. (1 to 100)"});
    }

private:
    Controls &c_;
    QComboBox *direction_ = nullptr;
    QSpinBox *notches_ = nullptr;
    QLabel *unit_ = nullptr;
};

class ClockFields : public Fields {
public:
    ClockFields(Controls &c) : Fields({PageKinds::kClockTime}, true), c_(c)
    {
        hour_ = c.add("hourSpin", spinBox(c.window, 0, 24, true), 20, 390, 70, 40, kSpinStyle);
        colon_ = c.add("colonLabel", new QLabel(QStringLiteral(":"), c.window), 100, 395, 24, 24, kSmallLabelStyle);
        minute_ = c.add("minuteSpin", spinBox(c.window, 0, 59, true), 114, 390, 70, 40, kSpinStyle);
        c.watch(hour_, &QSpinBox::valueChanged);
        c.watch(minute_, &QSpinBox::valueChanged);
    }
    void show(const QStringList &record, bool) override
    {
        const PageKinds::ClockCondition clock(record);
        c_.showAll({hour_, colon_, minute_});
        hour_->setValue(clock.hourText().toInt());
        minute_->setValue(clock.minuteText().toInt());
    }
    std::optional<bool> store(QStringList &record, bool) const override
    {
        const PageKinds::ClockCondition clock(record);
        clock.setHour(hour_->value());
        clock.setMinute(minute_->value());
        return std::nullopt;
    }
    void setTooltips(bool ja, bool help) override
    {
        c_.tip(hour_, ja, help, Text{"操作が次へ進む時刻の設定です。何時かを設定します。",
               "This is where you set the time for the command to advance to the next step. Set the time."});
        c_.tip(minute_, ja, help, Text{"操作が次へ進む時刻の設定です。何分かを設定します。",
               "This sets the time for the command to advance to the next step. You can set the number of minutes."});
    }

private:
    Controls &c_;
    QSpinBox *hour_ = nullptr;
    QLabel *colon_ = nullptr;
    QSpinBox *minute_ = nullptr;
};

class ColorFields : public Fields {
public:
    ColorFields(Controls &c) : Fields({PageKinds::kColor}, true), c_(c)
    {
        QWidget *w = c.window;
        xLabel_ = c.add("colorXLabel", new QLabel(QStringLiteral("X:"), w), 20, 378, 24, 60, kSmallLabelStyle);
        x_ = c.add("colorXSpin", spinBox(w, -9999999, 9999999, false), 40, 390, 100, 40, kSpinStyle);
        yLabel_ = c.add("colorYLabel", new QLabel(QStringLiteral("Y:"), w), 150, 378, 24, 60, kSmallLabelStyle);
        y_ = c.add("colorYSpin", spinBox(w, -9999999, 99999999, false), 170, 390, 100, 40, kSpinStyle);
        get_ = c.add("colorGetButton", new QPushButton(QStringLiteral("取得"), w), 280, 389, 70, 43, kButtonStyle);
        swatch_ = c.add("colorSwatch", new QLabel(w), 360, 390, 40, 40, kSmallLabelStyle);
        toleranceLabel_ = c.add("colorToleranceLabel", new QLabel(w), 20, 440, 130, 40, kSmallLabelStyle);
        tolerance_ = c.add("colorToleranceSpin", spinBox(w, 0, 255, true), 150, 440, 90, 40, kSpinStyle);
        c.watch(x_, &QSpinBox::valueChanged);
        c.watch(y_, &QSpinBox::valueChanged);
        c.watch(tolerance_, &QSpinBox::valueChanged);
        c.getButton(get_, true);
    }
    void show(const QStringList &record, bool) override
    {
        const PageKinds::ColorCondition color(record);
        c_.showAll({xLabel_, x_, yLabel_, y_, get_, swatch_, toleranceLabel_, tolerance_});
        x_->setValue(color.xText().toInt());
        y_->setValue(color.yText().toInt());
        tolerance_->setValue(color.tolerance());
        // The swatch shows the colour the record holds, and its text.
        const QString rgb = PageKinds::ColorCondition::textOf(color.color());
        swatch_->setStyleSheet(QStringLiteral("QLabel{background-color:%1; border:1px solid black;} "
                                              "QToolTip { font-size: 14pt; }").arg(rgb));
        swatch_->setAccessibleName(rgb);
    }
    std::optional<bool> store(QStringList &record, bool) const override
    {
        const PageKinds::ColorCondition color(record);
        color.setX(x_->value());
        color.setY(y_->value());
        color.setTolerance(tolerance_->value());
        return std::nullopt;
    }
    bool takePoint(QStringList &record, platform::Point p) override
    {
        // The colour is read at the point the hot key was pressed.
        const PageKinds::ColorCondition color(record);
        color.setX(p.x);
        color.setY(p.y);
        if (const std::optional<std::uint32_t> rgb = platform::currentDesktop()->pixel(p.x, p.y))
            color.setColor(*rgb);
        return true;
    }
    void setTexts(bool japanese) override
    {
        get_->setText(Text{"取得", "Get"}.in(japanese));
        toleranceLabel_->setText(Text{"許容差", "Tolerance"}.in(japanese));
    }
    void setTooltips(bool ja, bool help) override
    {
        c_.tip(x_, ja, help, Text{"色を調べる画面のX座標です。", "The X coordinate of the screen point whose color is checked."});
        c_.tip(y_, ja, help, Text{"色を調べる画面のY座標です。", "The Y coordinate of the screen point whose color is checked."});
        c_.tip(get_, ja, help, Text{"マウスポインターの座標とその場所の色を取得します。",
               "Gets the mouse pointer coordinates and the color at that point."});
        c_.tip(swatch_, ja, help, Text{"次の操作に進む色です。「取得」ボタンで設定します。",
               "The color that lets the run proceed. Set it with the \"Get\" button."});
        for (QWidget *w : {static_cast<QWidget *>(toleranceLabel_), static_cast<QWidget *>(tolerance_)})
            c_.tip(w, ja, help, Text{"赤・緑・青それぞれの値がこの差までなら同じ色とみなします。（0〜255）",
                   "Each of red, green and blue may differ by this much and still count as the color. (0 to 255)"});
    }

private:
    Controls &c_;
    QLabel *xLabel_ = nullptr;
    QSpinBox *x_ = nullptr;
    QLabel *yLabel_ = nullptr;
    QSpinBox *y_ = nullptr;
    QPushButton *get_ = nullptr;
    QLabel *swatch_ = nullptr;
    QLabel *toleranceLabel_ = nullptr;
    QSpinBox *tolerance_ = nullptr;
};

// The picture a page looks for, with its preview, its size, the Capture and
// Load buttons and the tolerance (Click Image, Image). Placed by the kind:
// `at` holds the top-left of the capture row and of the preview.
struct PictureRow {
    QLabel *preview = nullptr;
    QLabel *size = nullptr;
    QPushButton *capture = nullptr;
    QPushButton *load = nullptr;
    QLabel *toleranceLabel = nullptr;
    QSpinBox *tolerance = nullptr;

    struct Places {
        QPoint buttons;     ///< Capture, Load and the size, side by side
        int buttonWidth;
        QPoint preview;     ///< the preview, then the tolerance to its right
        int previewSide;
        QPoint tolerance;   ///< label above or beside the spin box, as `stacked` says
        bool stacked;
    };

    void create(Controls &c, const char *prefix, const Places &at, bool forCondition)
    {
        auto name = [prefix](const char *part) { return QByteArray(prefix) + part; };
        QWidget *w = c.window;
        const int bw = at.buttonWidth;
        capture = c.add(name("CaptureButton").constData(), new QPushButton(w), at.buttons.x(), at.buttons.y(), bw, 43, kButtonStyle);
        load = c.add(name("LoadButton").constData(), new QPushButton(w), at.buttons.x() + bw + 5, at.buttons.y(), bw, 43, kButtonStyle);
        size = c.add(name("SizeLabel").constData(), new QLabel(w), at.buttons.x() + 2 * (bw + 5), at.buttons.y(),
                     380 + 20 - (at.buttons.x() + 2 * (bw + 5)), 43, kSmallLabelStyle);
        preview = c.add(name("Preview").constData(), new QLabel(w), at.preview.x(), at.preview.y(), at.previewSide, at.previewSide,
                        kSmallLabelStyle);
        preview->setAlignment(Qt::AlignCenter);
        preview->setStyleSheet(QStringLiteral("QLabel{border:1px solid gray;} QToolTip { font-size: 14pt; }"));
        const QPoint t = at.tolerance;
        toleranceLabel = c.add(name("ToleranceLabel").constData(), new QLabel(w), t.x(), t.y(), at.stacked ? 130 : 100,
                               at.stacked ? 28 : 40, kSmallLabelStyle);
        tolerance = c.add(name("ToleranceSpin").constData(), spinBox(w, 0, 255, true), at.stacked ? t.x() : t.x() + 100,
                          at.stacked ? t.y() + 30 : t.y(), 90, 40, kSpinStyle);
        c.watch(tolerance, &QSpinBox::valueChanged);
        c.pictureButton(capture, forCondition, false);
        c.pictureButton(load, forCondition, true);
    }
    QList<QWidget *> widgets() const { return {preview, size, capture, load, toleranceLabel, tolerance}; }
    void set(const QString &pictureText, int toleranceValue, bool japanese)
    {
        const QImage image = picture::decode(pictureText);
        if (image.isNull()) {
            preview->setPixmap(QPixmap());
            size->setText(Text{"画像なし", "No picture"}.in(japanese));
        } else {
            // Shrunk to fit, never enlarged: a small picture shows as it is.
            QPixmap pixmap = QPixmap::fromImage(image);
            const QSize room = preview->size() - QSize(4, 4);
            if (pixmap.width() > room.width() || pixmap.height() > room.height())
                pixmap = pixmap.scaled(room, Qt::KeepAspectRatio, Qt::SmoothTransformation);
            preview->setPixmap(pixmap);
            size->setText(QStringLiteral("%1 × %2").arg(image.width()).arg(image.height()));
        }
        tolerance->setValue(toleranceValue);
    }
    void setTexts(bool japanese)
    {
        capture->setText(Text{"取り込み", "Capture"}.in(japanese));
        load->setText(Text{"読み込み…", "Load…"}.in(japanese));
        toleranceLabel->setText(Text{"許容差", "Tolerance"}.in(japanese));
    }
    void setTooltips(Controls &c, bool ja, bool help, const Text &previewHelp)
    {
        c.tip(preview, ja, help, previewHelp);
        c.tip(size, ja, help, Text{"画像の幅と高さ（ピクセル）です。", "The picture's width and height in pixels."});
        c.tip(capture, ja, help, Text{"ウィンドウを隠して画面を写し、探す範囲をドラッグで選びます。Esc で取り消します。",
              "Hides the window, freezes the screen and lets you drag the area to look for. Esc cancels."});
        load->setToolTip(help ? Text{"画像ファイル（PNG）を読み込みます。%1×%1 ピクセルまでです。",
                                     "Loads a picture file (PNG), at most %1 × %1 pixels."}.in(ja).arg(picture::kLargest)
                              : QString());
        for (QWidget *w : {static_cast<QWidget *>(toleranceLabel), static_cast<QWidget *>(tolerance)})
            c.tip(w, ja, help, Text{"赤・緑・青それぞれの値がこの差までなら同じ画像とみなします。（0〜255）",
                   "Each of red, green and blue of every pixel may differ by this much and still count as the picture. (0 to 255)"});
    }
};

// Click Image: the picture, the panel's button box and its time box (the
// longest wait).
class ClickImageFields : public Fields {
public:
    ClickImageFields(Controls &c) : Fields({PageKinds::kClickImage}, false), c_(c)
    {
        row_.create(c, "clickImage",
                    {.buttons = {120, 144}, .buttonWidth = 90, .preview = {200, 197}, .previewSide = 62,
                     .tolerance = {270, 192}, .stacked = true},
                    false);
    }
    void show(const QStringList &record, bool japanese) override
    {
        const PageKinds::ImageClickOperation op(record);
        const PanelControls &p = c_.command;
        c_.showAll({p.side, p.time, p.sec});
        for (QWidget *w : row_.widgets())
            w->show();
        p.side->setCurrentText(PageKinds::displaySide(op.side(), japanese));
        p.time->setValue(secondsOf(op.waitText()));
        row_.set(op.pictureText(), op.tolerance(), japanese);
    }
    std::optional<bool> store(QStringList &record, bool japanese) const override
    {
        const PageKinds::ImageClickOperation op(record);
        op.setSide(PageKinds::storedSide(c_.command.side->currentText(), japanese));
        op.setWait(c_.command.time->value());
        op.setTolerance(row_.tolerance->value());
        return std::nullopt; // the picture is set only by Capture or Load
    }
    std::optional<bool> incomplete(const QStringList &record) const override
    {
        return picture::decode(PageKinds::ImageClickOperation(record).pictureText()).isNull();
    }
    bool takePicture(QStringList &record, const QString &text) override
    {
        PageKinds::ImageClickOperation(record).setPicture(text);
        return true;
    }
    void setTexts(bool japanese) override { row_.setTexts(japanese); }
    void setTooltips(bool ja, bool help) override
    {
        row_.setTooltips(c_, ja, help, Text{"クリックする画像です。見つかった所の中央をクリックします。",
                         "The picture to click. Its center is clicked where it is found."});
    }

private:
    Controls &c_;
    PictureRow row_;
};

// Image: appears or vanishes, and the picture.
class ImageFields : public Fields {
public:
    ImageFields(Controls &c) : Fields({PageKinds::kImage}, true), c_(c)
    {
        using Image = PageKinds::ImageCondition;
        appearance_ = c.add("imageAppearanceCombo", comboBox(c.window, Image::appearanceItems(true)), 20, 390, 120, 40,
                            kComboStyle);
        c.watch(appearance_, &QComboBox::currentIndexChanged);
        row_.create(c, "image",
                    {.buttons = {150, 389}, .buttonWidth = 85, .preview = {20, 438}, .previewSide = 72,
                     .tolerance = {110, 450}, .stacked = false},
                    true);
    }
    void show(const QStringList &record, bool japanese) override
    {
        using Image = PageKinds::ImageCondition;
        const Image image(record);
        appearance_->show();
        for (QWidget *w : row_.widgets())
            w->show();
        appearance_->setCurrentText(Image::displayAppearance(image.vanishes() ? Image::kVanishes : Image::kAppears, japanese));
        row_.set(image.pictureText(), image.tolerance(), japanese);
    }
    std::optional<bool> store(QStringList &record, bool japanese) const override
    {
        using Image = PageKinds::ImageCondition;
        const Image image(record);
        image.setAppearance(Image::storedAppearance(appearance_->currentText(), japanese));
        image.setTolerance(row_.tolerance->value());
        return std::nullopt;
    }
    std::optional<bool> incomplete(const QStringList &record) const override
    {
        // Only a missing picture decides; with one, the operation has its say.
        if (picture::decode(PageKinds::ImageCondition(record).pictureText()).isNull())
            return true;
        return std::nullopt;
    }
    bool takePicture(QStringList &record, const QString &text) override
    {
        PageKinds::ImageCondition(record).setPicture(text);
        return true;
    }
    void setTexts(bool japanese) override
    {
        const QStringList items = PageKinds::ImageCondition::appearanceItems(japanese);
        for (int i = 0; i < items.size(); ++i)
            appearance_->setItemText(i, items.at(i));
        row_.setTexts(japanese);
    }
    void setTooltips(bool ja, bool help) override
    {
        c_.tip(appearance_, ja, help, Text{"画像が画面に現れた時と消えた時のどちらで次の操作に進むかを設定します。",
               "Sets whether the run proceeds when the picture appears on the screen or when it vanishes."});
        row_.setTooltips(c_, ja, help, Text{"待つ画像です。「取り込み」か「読み込み…」で設定します。",
                         "The picture to wait for. Set it with \"Capture\" or \"Load…\"."});
    }

private:
    Controls &c_;
    QComboBox *appearance_ = nullptr;
    PictureRow row_;
};

} // namespace

EditorFields::EditorFields(QWidget *window)
    : QObject(window), controls_(std::make_unique<Controls>())
{
    Controls &c = *controls_;
    c.owner = this;
    c.window = window;

    // Drawing order matters where controls overlap: the name labels lie
    // below the fields, and everything here below the page panel's buttons,
    // which the window creates afterwards.
    c.testButton = c.add("testButton", new QPushButton(QStringLiteral("テスト"), window), 310, 220, 90, 38, kButtonStyle);
    connect(c.testButton, &QPushButton::clicked, this, &EditorFields::testRequested);
    PanelControls &op = c.command;
    op.name = place(new QLabel(QStringLiteral("X"), window), 20, 110, 300, 30, kLabelStyle);
    op.name->setObjectName(QStringLiteral("commandNameLabel"));
    op.name->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    if (holdsText(PageKinds::operations()))
        op.text = textBox(c, "textEdit", 142);
    op.side = sideCombo(c, "commandSideCombo", 150);
    op.sec = c.add("commandSecLabel", new QLabel(QStringLiteral("秒"), window), 140, 210, 60, 60, kSecondsStyle);
    op.time = c.add("commandTimeSpin", secondsSpin(window, 0.01), 20, 220, 110, 40, kDoubleSpinStyle);
    c.watch(op.time, &QDoubleSpinBox::valueChanged);

    PanelControls &cond = c.condition;
    cond.name = place(new QLabel(QStringLiteral("時間"), window), 20, 360, 400, 60, kLabelStyle);
    cond.name->setObjectName(QStringLiteral("conditionNameLabel"));
    cond.name->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    cond.sec = c.add("conditionSecLabel", new QLabel(QStringLiteral("秒"), window), 140, 380, 400, 60, kSecondsStyle);
    cond.side = sideCombo(c, "conditionSideCombo", 390);
    cond.time = c.add("conditionTimeSpin", secondsSpin(window, 0.1), 20, 390, 120, 40, kDoubleSpinStyle);
    c.watch(cond.time, &QDoubleSpinBox::valueChanged);

    op.key = c.add("commandKeyLabel", new QLabel(window), 20, 145, 380, 40, kSmallLabelStyle);
    cond.key = c.add("conditionKeyLabel", new QLabel(window), 20, 385, 380, 40, kSmallLabelStyle);
    if (holdsText(PageKinds::conditions()))
        cond.text = textBox(c, "conditionTextEdit", 385);

    // Kinds with fields of their own; every other kind shows its parameters
    // in the shared controls above.
    kinds_.push_back(std::make_unique<PointerFields>(c));
    // Its coordinate row lies where the pointer's does; never shown together.
    kinds_.push_back(std::make_unique<GlideFields>(c));
    kinds_.push_back(std::make_unique<WheelFields>(c));
    kinds_.push_back(std::make_unique<ClockFields>(c));
    kinds_.push_back(std::make_unique<ColorFields>(c));
    kinds_.push_back(std::make_unique<ClickImageFields>(c));
    kinds_.push_back(std::make_unique<ImageFields>(c));
    for (bool forCondition : {false, true}) {
        for (const PageKinds::Kind &kind : forCondition ? PageKinds::conditions() : PageKinds::operations()) {
            if (!fieldsFor(kind.stored, forCondition))
                kinds_.push_back(std::make_unique<ParamFields>(kind, forCondition, c));
        }
    }
}

EditorFields::~EditorFields() = default;

const EditorFields::Fields *EditorFields::fieldsFor(const QString &kind, bool forCondition) const
{
    for (const auto &f : kinds_) {
        if (f->serves(kind, forCondition))
            return f.get();
    }
    return nullptr;
}

void EditorFields::hideAll()
{
    for (QWidget *w : controls_->all)
        w->hide();
}

void EditorFields::show(const CommandRecord &command, const ConditionRecord &condition, bool japanese)
{
    const QString commandKind = PageKinds::kindOf(command);
    const QString conditionKind = PageKinds::kindOf(condition);
    if (auto *f = const_cast<Fields *>(fieldsFor(commandKind, false)))
        f->show(command, japanese);
    if (const PageKinds::Kind *k = PageKinds::operation(commandKind))
        controls_->command.name->setText(k->name(japanese));
    if (auto *f = const_cast<Fields *>(fieldsFor(conditionKind, true)))
        f->show(condition, japanese);
    if (const PageKinds::Kind *k = PageKinds::condition(conditionKind))
        controls_->condition.name->setText(k->name(japanese));
}

std::optional<bool> EditorFields::store(CommandRecord &command, ConditionRecord &condition, bool japanese) const
{
    std::optional<bool> lock;
    if (const Fields *f = fieldsFor(PageKinds::kindOf(command), false))
        lock = f->store(command, japanese);
    if (const Fields *f = fieldsFor(PageKinds::kindOf(condition), true)) {
        if (const std::optional<bool> asked = f->store(condition, japanese))
            lock = asked;
    }
    // One rule for the lock: an edit locks the page exactly when leaving it
    // and coming back would (a Key condition with its key set lets an empty
    // text go; one without its key holds the page whatever is typed).
    if (lock)
        lock = incomplete(command, condition);
    return lock;
}

bool EditorFields::incomplete(const CommandRecord &command, const ConditionRecord &condition) const
{
    // The condition's key comes first: a page whose key condition is set is
    // not held back by its operation.
    if (const Fields *f = fieldsFor(PageKinds::kindOf(condition), true)) {
        if (const auto missing = f->incomplete(condition))
            return *missing;
    }
    if (const Fields *f = fieldsFor(PageKinds::kindOf(command), false)) {
        if (const auto missing = f->incomplete(command))
            return *missing;
    }
    return false;
}

bool EditorFields::takePoint(CommandRecord &command, ConditionRecord &condition, platform::Point point)
{
    QStringList &record = pointForCondition_ ? condition : command;
    auto *f = const_cast<Fields *>(fieldsFor(PageKinds::kindOf(record), pointForCondition_));
    return f && f->takePoint(record, point);
}

bool EditorFields::takePicture(CommandRecord &command, ConditionRecord &condition, const QString &pictureText)
{
    QStringList &record = pictureForCondition_ ? condition : command;
    auto *f = const_cast<Fields *>(fieldsFor(PageKinds::kindOf(record), pictureForCondition_));
    return f && f->takePicture(record, pictureText);
}

std::optional<platform::Point> EditorFields::testTarget(const CommandRecord &command) const
{
    const Fields *f = fieldsFor(PageKinds::kindOf(command), false);
    return f ? f->testTarget(command) : std::nullopt;
}

void EditorFields::showCapturePrompt(bool forCondition, const QString &prompt)
{
    Controls &c = *controls_;
    PanelControls &p = c.panel(forCondition);
    p.key->setText(prompt);
    p.key->show();
    TextFit::fit(p.key);
    p.sec->hide();
    p.time->hide();
}

QLabel *EditorFields::nameLabel(bool forCondition) const
{
    return forCondition ? controls_->condition.name : controls_->command.name;
}

void EditorFields::setTexts(bool japanese)
{
    Controls &c = *controls_;
    c.testButton->setText(Text{"テスト", "Test"}.in(japanese));
    c.command.name->setText(QStringLiteral("X"));
    c.condition.name->setText(Text{"時間", "Time"}.in(japanese));
    for (QLabel *sec : {c.command.sec, c.condition.sec})
        sec->setText(Text{"秒", "sec"}.in(japanese));
    for (const auto &f : kinds_)
        f->setTexts(japanese);
}

void EditorFields::setTooltips(bool ja, bool help)
{
    Controls &c = *controls_;
    c.tip(c.testButton, ja, help, Text{"設定している座標にマウスポインターを移動します。",
          "Moves the mouse pointer to the configured coordinates."});
    c.tip(c.command.name, ja, help, Text{"設定中の操作です。", "The action currently being configured."});
    c.tip(c.command.time, ja, help, Text{
          "時間を指定します。\n"
          "操作によって意味が変わります。\n"
          "クリック:クリックする時間を指定します。\n"
          "スムーズムーブ:マウスポインターが指定した座標に着くまでにかかる時間を指定します。\n"
          "キー:キーを入力する時間を指定します。\n"
          "入力:文章全体を入力し終えるまでにかかる時間を指定します。\n"
          "単位は秒です。",
          "Specifies the time.\n"
          "Its meaning depends on the action.\n"
          "Click: Specifies the duration of the click.\n"
          "Smooth Move: Specifies the time it takes for the mouse pointer to reach the specified coordinates.\n"
          "Key: Specifies the duration for pressing the key(s).\n"
          "Input: Specifies the time it takes to type the whole text.\n"
          "The unit is seconds."});
    c.tip(c.condition.name, ja, help, Text{"設定中の条件です。", "The condition currently being configured."});
    c.tip(c.condition.time, ja, help, Text{
          "時間を指定します。\n"
          "条件によって意味が変わります。\n"
          "時間:次の操作に進むまでの時間を指定します。\n"
          "終わるまで待つ:操作が終わってから、次の操作に進むまでの時間を指定します。",
          "Specifies the time.\n"
          "The meaning changes depending on the condition.\n"
          "Time: Specifies the time before proceeding to the next operation.\n"
          "Wait until over: Specifies the time after the operation finishes before proceeding to the next operation."});
    for (const auto &f : kinds_)
        f->setTooltips(ja, help);
}
