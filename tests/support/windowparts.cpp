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

// Every part, in the order of the header: the window's own controls and
// actions, then the kind-specific fields. Each one has its name as object name.
const QStringList &parts()
{
    static const QStringList list{
        "operationGroup", "conditionGroup", "pageGroup", "newProjectButton",
        "loadProjectButton", "languageButton", "commandKindCombo", "addCommandButton",
        "testButton", "commandNameLabel", "textEdit", "commandSideCombo", "commandSecLabel",
        "commandTimeSpin", "conditionKindCombo", "addConditionButton", "conditionNameLabel",
        "conditionSecLabel", "conditionSideCombo", "conditionTimeSpin", "previousButton",
        "runButton", "nextButton", "deleteButton", "pageCounterLabel", "pageList",
        "copyButton", "pasteButton", "undoButton", "redoButton", "fileMenu",
        "reportMenu", "settingsMenu", "versionMenu", "helpMenu", "otherMenu", "newAction",
        "openAction", "saveAsAction", "saveAction", "reportBugAction",
        "reportImprovementAction", "needReplyAction", "askSaveAction", "askPasteAction",
        "askDeleteAction", "versionAction", "helpModeAction", "askHowToUseAction",
        "languageAction", "termsAction", "ossNoticeAction", "qtReplaceAction", "lgplAction",
        "recordMenu", "recordAction", "pollTimer",
        "commandKeyLabel", "conditionKeyLabel", "xLabel1", "xSpin1", "yLabel1", "ySpin1",
        "getButton1", "xLabel2", "xSpin2", "yLabel2", "ySpin2", "getButton2",
        "hourSpin", "colonLabel", "minuteSpin", "wheelDirectionCombo", "wheelNotchesSpin", "wheelNotchesLabel", "colorXLabel", "colorXSpin", "colorYLabel", "colorYSpin", "colorGetButton", "colorSwatch", "colorToleranceLabel", "colorToleranceSpin",
    };
    return list;
}

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
    if (!parts().contains(name))
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

QStringList names()
{
    return parts();
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
