#include "windowparts.h"

#include "app/tervalo.h"

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

#include <functional>
#include <utility>

namespace {

using Getter = std::function<QObject *(tervalo &)>;

// The kind-specific fields are found by their object names.
#define FIELD(name) std::pair<QString, Getter>{QStringLiteral(#name), [](tervalo &w) -> QObject * { return w.findChild<QObject *>(QStringLiteral(#name)); }}
#define PART(member) std::pair<QString, Getter>{QStringLiteral(#member), [](tervalo &w) -> QObject * { return w.member; }}

const QList<std::pair<QString, Getter>> &parts()
{
    static const QList<std::pair<QString, Getter>> list{
        PART(operationGroup), PART(conditionGroup), PART(pageGroup), PART(newProjectButton),
        PART(loadProjectButton), PART(languageButton), PART(commandKindCombo), PART(addCommandButton),
        FIELD(testButton), FIELD(commandNameLabel), FIELD(textEdit), FIELD(commandSideCombo), FIELD(commandSecLabel),
        FIELD(commandTimeSpin), PART(conditionKindCombo), PART(addConditionButton), FIELD(conditionNameLabel),
        FIELD(conditionSecLabel), FIELD(conditionSideCombo), FIELD(conditionTimeSpin), PART(previousButton),
        PART(runButton), PART(nextButton), PART(deleteButton), PART(pageCounterLabel), PART(pageList),
        PART(copyButton), PART(pasteButton), PART(undoButton), PART(redoButton), PART(fileMenu),
        PART(reportMenu), PART(settingsMenu), PART(versionMenu), PART(helpMenu), PART(otherMenu), PART(newAction),
        PART(openAction), PART(saveAsAction), PART(saveAction), PART(reportBugAction),
        PART(reportImprovementAction), PART(needReplyAction), PART(askSaveAction), PART(askPasteAction),
        PART(askDeleteAction), PART(versionAction), PART(helpModeAction), PART(askHowToUseAction),
        PART(languageAction), PART(termsAction), PART(ossNoticeAction), PART(qtReplaceAction), PART(lgplAction),
        PART(recordMenu), PART(recordAction),
        FIELD(commandKeyLabel), FIELD(conditionKeyLabel), FIELD(xLabel1), FIELD(xSpin1), FIELD(yLabel1), FIELD(ySpin1),
        FIELD(getButton1), FIELD(xLabel2), FIELD(xSpin2), FIELD(yLabel2), FIELD(ySpin2), FIELD(getButton2),
        FIELD(hourSpin), FIELD(colonLabel), FIELD(minuteSpin), FIELD(wheelDirectionCombo), FIELD(wheelNotchesSpin), FIELD(wheelNotchesLabel), FIELD(colorXLabel), FIELD(colorXSpin), FIELD(colorYLabel), FIELD(colorYSpin), FIELD(colorGetButton), FIELD(colorSwatch), FIELD(colorToleranceLabel), FIELD(colorToleranceSpin),
    };
    return list;
}

#undef PART
#undef FIELD

} // namespace

namespace windowparts {

QObject *find(tervalo &window, const QString &name)
{
    for (const auto &[partName, get] : parts()) {
        if (partName == name)
            return get(window);
    }
    return nullptr;
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

QStringList names()
{
    QStringList list;
    for (const auto &part : parts())
        list << part.first;
    return list;
}

} // namespace windowparts
