#include "gui/widgets/textfit.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QFontInfo>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QStyleOptionComboBox>

#include <cmath>

namespace {
// Dynamic properties that remember a control's designed look while it is
// shrunk: the style sheet it had, the font that sheet gave it, and the sheet
// this unit put in its place.
constexpr const char *kBaseSheet = "textFitBaseSheet";
constexpr const char *kBaseFont = "textFitBaseFont";
constexpr const char *kAppliedSheet = "textFitAppliedSheet";
constexpr const char *kWatched = "textFitWatched";

// The Qt class that the control's style sheet rules name.
const char *qtClassName(const QWidget *w)
{
    const QMetaObject *m = w->metaObject();
    while (m && qstrncmp(m->className(), "Q", 1) != 0)
        m = m->superClass();
    return m ? m->className() : "QWidget";
}

bool fitsIn(const QFont &font, const QStringList &lines, int width)
{
    const QFontMetrics metrics(font);
    for (const QString &line : lines) {
        if (metrics.horizontalAdvance(line) > width)
            return false;
    }
    return true;
}

int pixelSize(const QFont &font)
{
    return font.pixelSize() > 0 ? font.pixelSize() : QFontInfo(font).pixelSize();
}

QFont withPixelSize(QFont font, int pixels)
{
    font.setPixelSize(pixels);
    return font;
}
} // namespace

QStringList TextFit::lines(const QWidget *widget)
{
    QString text;
    if (auto *combo = qobject_cast<const QComboBox *>(widget)) {
        text = combo->currentText();
    } else if (auto *label = qobject_cast<const QLabel *>(widget)) {
        // Rich text and word-wrapped labels lay themselves out.
        if (label->wordWrap() || Qt::mightBeRichText(label->text()))
            return {};
        text = label->text();
    } else if (auto *button = qobject_cast<const QAbstractButton *>(widget)) {
        text = button->text();
        text.remove(QLatin1Char('&'));
    } else if (auto *group = qobject_cast<const QGroupBox *>(widget)) {
        text = group->title();
    } else {
        return {};
    }
    return text.isEmpty() ? QStringList() : text.split(QLatin1Char('\n'));
}

int TextFit::room(const QWidget *widget)
{
    QRect r;
    if (auto *combo = qobject_cast<const QComboBox *>(widget)) {
        QStyleOptionComboBox opt;
        opt.initFrom(combo);
        opt.editable = combo->isEditable();
        opt.frame = combo->hasFrame();
        r = combo->style()->subControlRect(QStyle::CC_ComboBox, &opt, QStyle::SC_ComboBoxEditField, combo);
    } else if (auto *check = qobject_cast<const QCheckBox *>(widget)) {
        QStyleOptionButton opt;
        opt.initFrom(check);
        opt.text = check->text();
        opt.icon = check->icon();
        opt.iconSize = check->iconSize();
        r = check->style()->subElementRect(QStyle::SE_CheckBoxContents, &opt, check);
        if (!check->icon().isNull())
            r.setLeft(r.left() + check->iconSize().width() + 4);
    } else if (auto *button = qobject_cast<const QPushButton *>(widget)) {
        QStyleOptionButton opt;
        opt.initFrom(button);
        opt.text = button->text();
        opt.features = button->isFlat() ? QStyleOptionButton::Flat : QStyleOptionButton::None;
        r = button->style()->subElementRect(QStyle::SE_PushButtonContents, &opt, button);
        if (!button->icon().isNull())
            r.setLeft(r.left() + button->iconSize().width() + 4);
    } else if (auto *label = qobject_cast<const QLabel *>(widget)) {
        r = label->contentsRect().adjusted(label->margin(), 0, -label->margin(), 0);
    } else if (qobject_cast<const QGroupBox *>(widget)) {
        // The title starts 10 px in with 3 px of padding on each side; it
        // must end as far from the right edge.
        r = widget->rect().adjusted(13, 0, -13, 0);
    } else {
        return 0;
    }
    // Whatever lies outside the parent is not seen.
    if (const QWidget *parent = widget->parentWidget()) {
        const QRect inParent = parent->rect().translated(-widget->pos());
        r = r.intersected(inParent);
    }
    return std::max(0, r.width());
}

int TextFit::titleHeightRoom(const QWidget *widget)
{
    auto *group = qobject_cast<const QGroupBox *>(widget);
    if (!group || !group->parentWidget())
        return 0;
    const QRect frame = group->geometry();
    int room = frame.height();
    for (const QObject *o : group->parentWidget()->children()) {
        auto *w = qobject_cast<const QWidget *>(o);
        if (!w || w == group || w->isWindow() || w->isHidden())
            continue;
        const QRect g = w->geometry();
        if (g.top() > frame.top() && frame.intersects(g))
            room = std::min(room, g.top() - frame.top());
    }
    return room;
}

void TextFit::fit(QWidget *widget)
{
    // A closed combo box shows its current item: fitted again whenever the
    // choice changes.
    if (auto *combo = qobject_cast<QComboBox *>(widget); combo && !combo->property(kWatched).toBool()) {
        combo->setProperty(kWatched, true);
        QObject::connect(combo, &QComboBox::currentIndexChanged, combo, [combo] { fit(combo); });
    }
    const QStringList text = lines(widget);
    if (text.isEmpty())
        return;

    // The designed look: taken again whenever someone else set a new sheet.
    const QString sheet = widget->styleSheet();
    const bool ours = widget->property(kAppliedSheet).isValid()
        && widget->property(kAppliedSheet).toString() == sheet;
    if (!ours) {
        widget->ensurePolished();
        widget->setProperty(kBaseSheet, sheet);
        widget->setProperty(kBaseFont, widget->font());
        widget->setProperty(kAppliedSheet, QVariant());
    }
    const QString baseSheet = widget->property(kBaseSheet).toString();
    const QFont baseFont = widget->property(kBaseFont).value<QFont>();

    const int width = room(widget);
    const int heightRoom = titleHeightRoom(widget);
    auto fits = [&](const QFont &font) {
        return fitsIn(font, text, width) && (heightRoom <= 0 || QFontMetrics(font).height() <= heightRoom);
    };

    const int designed = pixelSize(baseFont);
    int pixels = designed;
    if (!fits(baseFont)) {
        const int smallest = int(std::ceil(kMinimumPoints * widget->logicalDpiY() / 72.0));
        while (pixels > smallest && !fits(withPixelSize(baseFont, pixels)))
            --pixels;
    }

    if (baseSheet.isEmpty()) {
        // A control styled by its font alone.
        widget->setFont(pixels == designed ? baseFont : withPixelSize(baseFont, pixels));
        widget->setProperty(kAppliedSheet, sheet);
        return;
    }
    QString wanted = baseSheet;
    if (pixels != designed) {
        // Appended after the designed rules, so it wins over their size.
        wanted += baseSheet.contains(QLatin1Char('{'))
            ? QStringLiteral(" %1 { font-size: %2px; }").arg(QLatin1String(qtClassName(widget))).arg(pixels)
            : QStringLiteral(" font-size: %1px;").arg(pixels);
    }
    if (wanted != sheet)
        widget->setStyleSheet(wanted);
    widget->setProperty(kAppliedSheet, wanted);
}

void TextFit::fitAll(QWidget *root)
{
    fit(root);
    for (QWidget *child : root->findChildren<QWidget *>())
        fit(child);
}
