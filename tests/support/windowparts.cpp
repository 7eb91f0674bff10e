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

#define PART(member) std::pair<QString, Getter>{QStringLiteral(#member), [](tervalo &w) -> QObject * { return w.member; }}

const QList<std::pair<QString, Getter>> &parts()
{
    static const QList<std::pair<QString, Getter>> list{
        PART(operationGroup), PART(conditionGroup), PART(pageGroup), PART(newProjectButton),
        PART(loadProjectButton), PART(languageButton), PART(commandKindCombo), PART(addCommandButton),
        PART(testButton), PART(commandNameLabel), PART(textEdit), PART(commandSideCombo), PART(commandSecLabel),
        PART(commandTimeSpin), PART(conditionKindCombo), PART(addConditionButton), PART(conditionNameLabel),
        PART(conditionSecLabel), PART(conditionSideCombo), PART(conditionTimeSpin), PART(previousButton),
        PART(runButton), PART(nextButton), PART(deleteButton), PART(pageCounterLabel), PART(pageList),
        PART(copyButton), PART(pasteButton), PART(undoButton), PART(redoButton), PART(fileMenu),
        PART(reportMenu), PART(settingsMenu), PART(versionMenu), PART(helpMenu), PART(otherMenu), PART(newAction),
        PART(openAction), PART(saveAsAction), PART(saveAction), PART(reportBugAction),
        PART(reportImprovementAction), PART(needReplyAction), PART(askSaveAction), PART(askPasteAction),
        PART(askDeleteAction), PART(versionAction), PART(helpModeAction), PART(askHowToUseAction),
        PART(languageAction), PART(termsAction), PART(ossNoticeAction), PART(qtReplaceAction), PART(lgplAction),
        PART(recordMenu), PART(recordAction),
        PART(commandKeyLabel), PART(conditionKeyLabel), PART(xLabel1), PART(xSpin1), PART(yLabel1), PART(ySpin1),
        PART(getButton1), PART(xLabel2), PART(xSpin2), PART(yLabel2), PART(ySpin2), PART(getButton2),
        PART(hourSpin), PART(colonLabel), PART(minuteSpin),
    };
    return list;
}

#undef PART

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
