#include "windowparts.h"

#include "gui/mainwindow/tervalo.h"
#include "project/pagekinds.h"

#include <QAbstractButton>
#include <QAction>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QSpinBox>
#include <QTextEdit>

#include <algorithm>

namespace {

// The combo box lists the kinds in table order, in either language.
void chooseKind(QComboBox *combo, const QList<PageKinds::Kind> &kinds, const QString &kind)
{
    const auto row = std::find_if(kinds.begin(), kinds.end(), [&](const PageKinds::Kind &k) { return k.stored == kind; });
    if (!combo || row == kinds.end()) {
        qWarning("windowparts: no kind %s to choose", qPrintable(kind));
        return;
    }
    combo->setCurrentIndex(int(row - kinds.begin()));
}

} // namespace

namespace windowparts {

QObject *find(tervalo &window, const QString &name)
{
    if (name.isEmpty())
        return nullptr;
    return window.findChild<QObject *>(name);
}

QString text(QObject *part, int item)
{
    if (auto *combo = qobject_cast<QComboBox *>(part))
        return combo->itemText(item);
    if (auto *button = qobject_cast<QAbstractButton *>(part))
        return button->text();
    if (auto *label = qobject_cast<QLabel *>(part))
        return label->text();
    if (auto *group = qobject_cast<QGroupBox *>(part))
        return group->title();
    if (auto *menu = qobject_cast<QMenu *>(part))
        return menu->title();
    if (auto *action = qobject_cast<QAction *>(part))
        return action->text();
    return QStringLiteral("<no text: %1>").arg(part ? part->metaObject()->className() : "null");
}

QStringList names(tervalo &window)
{
    QStringList found;
    for (QObject *part : window.findChildren<QObject *>()) {
        const QString name = part->objectName();
        // Qt names some of its own helpers (qt_scrollarea_viewport, ...).
        if (!name.isEmpty() && !name.startsWith(QLatin1String("qt_")))
            found << name;
    }
    found.sort();
    found.removeDuplicates();
    return found;
}

void chooseOperation(tervalo &window, const QString &kind)
{
    chooseKind(get<QComboBox>(window, "commandKindCombo"), PageKinds::operations(), kind);
}

void chooseCondition(tervalo &window, const QString &kind)
{
    chooseKind(get<QComboBox>(window, "conditionKindCombo"), PageKinds::conditions(), kind);
}

} // namespace windowparts
