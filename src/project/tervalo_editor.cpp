#include "app/tervalo.h"

#include "input/keycombination.h"

#include <QComboBox>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QListWidget>
#include <QMenuBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTextEdit>
#include <QTime>
#include <QTimer>

namespace {
// A key that is still missing: nothing captured yet, or the "none" code.
bool keyMissing(const QStringList &record)
{
    const QString code = records::element(record, 1);
    return code.isEmpty() || code == records::kNone;
}

void showAll(std::initializer_list<QWidget *> widgets)
{
    for (QWidget *w : widgets)
        w->show();
}
} // namespace

void tervalo::changeMenuAddCommand()
{
    selectedCommandKind = records::storedCommandKind(commandKindCombo->currentText(), is_japanese);
}

void tervalo::changeMenuAddCondition()
{
    selectedConditionKind = records::storedConditionKind(conditionKindCombo->currentText(), is_japanese);
}

void tervalo::addCommand()
{
    if (captureWaiting())
        return;
    const CommandRecord created = records::createdCommand(selectedCommandKind);
    if (!created.isEmpty())
        commandList[currentPage - 1] = created;
    if (selectedCommandKind == records::kKey) {
        keyCaptureForCondition = false;
        // Show the page locked with its empty key before the capture starts;
        // the capture refreshes again, which records nothing new.
        renderPage();
        beginKeyCapture(false);
    } else {
        renderPage();
    }
}

void tervalo::addCondition()
{
    if (captureWaiting())
        return;
    const ConditionRecord created = records::createdCondition(selectedConditionKind, QTime::currentTime());
    if (!created.isEmpty())
        conditionList[currentPage - 1] = created;
    if (selectedConditionKind == records::kKey) {
        keyCaptureForCondition = true;
        renderPage();
        beginKeyCapture(true);
    } else {
        renderPage();
    }
}

void tervalo::changeSomeThing()
{
    if (rendering)
        return;
    QStringList &command = commandList[currentPage - 1];
    QStringList &condition = conditionList[currentPage - 1];
    const QString commandKind = records::element(command, 0);
    const QString conditionKind = records::element(condition, 0);
    const QString commandTime = records::timeText(commandTimeSpin->value());

    // Records of a known kind always have their elements (the editor builds
    // them so and loading repairs short ones); the size checks keep a
    // malformed record from being written past its end all the same.
    auto set = [](QStringList &record, int index, const QString &value) {
        if (index < record.size())
            record[index] = value;
    };

    if (commandKind == records::kEnterText) {
        const QString text = textEdit->toPlainText();
        set(command, 1, text);
        setLocked(text.isEmpty());
        set(command, 2, commandTime);
    } else if (commandKind == records::kClick) {
        set(command, 2, commandTime);
        set(command, 1, records::storedSide(commandSideCombo->currentText(), is_japanese));
    } else if (commandKind == records::kSmoothMove) {
        set(command, 1, records::integerText(xSpin2->value()));
        set(command, 2, records::integerText(ySpin2->value()));
        set(command, 3, commandTime);
    } else if (commandKind == records::kKey) {
        set(command, 2, commandTime);
    } else if (commandKind == records::kMousePointer) {
        set(command, 1, records::integerText(xSpin1->value()));
        set(command, 2, records::integerText(ySpin1->value()));
    }

    if (conditionKind == records::kTime || conditionKind == records::kWaitUntilOver) {
        set(condition, 1, records::timeText(conditionTimeSpin->value()));
    } else if (conditionKind == records::kClick) {
        set(condition, 1, records::storedSide(conditionSideCombo->currentText(), is_japanese));
    } else if (conditionKind == records::kClockTime) {
        set(condition, 1, records::integerText(hourSpin->value()));
        set(condition, 2, records::integerText(minuteSpin->value()));
    }
}

void tervalo::showPageFields()
{
    const QStringList &command = commandList.at(currentPage - 1);
    const QStringList &condition = conditionList.at(currentPage - 1);
    const QString commandKind = records::element(command, 0);
    const QString conditionKind = records::element(condition, 0);
    auto seconds = [](const QStringList &record, int index) { return double(records::element(record, index).toFloat()); };
    auto integer = [](const QStringList &record, int index) { return records::element(record, index).toInt(); };

    if (commandKind == records::kClick) {
        showAll({commandSideCombo, commandTimeSpin, commandSecLabel});
        commandSideCombo->setCurrentText(records::displaySide(records::element(command, 1), is_japanese));
        commandTimeSpin->setValue(seconds(command, 2));
    } else if (commandKind == records::kMousePointer) {
        showAll({xLabel1, xSpin1, yLabel1, ySpin1, getButton1, testButton});
        xSpin1->setValue(integer(command, 1));
        ySpin1->setValue(integer(command, 2));
    } else if (commandKind == records::kSmoothMove) {
        showAll({xLabel2, xSpin2, yLabel2, ySpin2, getButton2, commandTimeSpin, commandSecLabel, testButton});
        xSpin2->setValue(integer(command, 1));
        ySpin2->setValue(integer(command, 2));
        commandTimeSpin->setValue(seconds(command, 3));
    } else if (commandKind == records::kKey) {
        showAll({commandKeyLabel, commandTimeSpin, commandSecLabel});
        commandKeyLabel->setText(KeyCombination::label(records::element(command, 1)));
        commandTimeSpin->setValue(seconds(command, 2));
    } else if (commandKind == records::kEnterText) {
        showAll({textEdit, commandTimeSpin, commandSecLabel});
        // Always plain: setText would show a text that looks like HTML as
        // rich text, and the next edit would store it without its tags.
        textEdit->setPlainText(records::element(command, 1));
        commandTimeSpin->setValue(seconds(command, 2));
    }
    if (commandKind == records::kNone || !records::createdCommand(commandKind).isEmpty())
        commandNameLabel->setText(records::commandDisplayName(commandKind, is_japanese));

    if (conditionKind == records::kWaitUntilOver || conditionKind == records::kTime) {
        showAll({conditionTimeSpin, conditionSecLabel});
        conditionTimeSpin->setValue(seconds(condition, 1));
    } else if (conditionKind == records::kClick) {
        conditionSideCombo->show();
        conditionSideCombo->setCurrentText(records::displaySide(records::element(condition, 1), is_japanese));
    } else if (conditionKind == records::kKey) {
        conditionKeyLabel->show();
        conditionKeyLabel->setText(KeyCombination::label(records::element(condition, 1)));
    } else if (conditionKind == records::kClockTime) {
        showAll({hourSpin, colonLabel, minuteSpin});
        hourSpin->setValue(integer(condition, 1));
        minuteSpin->setValue(integer(condition, 2));
    }
    if (!records::createdCondition(conditionKind).isEmpty())
        conditionNameLabel->setText(records::conditionDisplayName(conditionKind, is_japanese));

    // A page whose key or text is still missing cannot be left.
    bool locked = false;
    if (conditionKind == records::kKey)
        locked = keyMissing(condition);
    else if (commandKind == records::kKey)
        locked = keyMissing(command);
    else if (commandKind == records::kEnterText)
        locked = records::element(command, 1).isEmpty();
    if (locked)
        setLocked(true);
}

void tervalo::setLocked(bool locked)
{
    for (QWidget *w : std::initializer_list<QWidget *>{runButton, nextButton, previousButton, deleteButton,
                                                       addCommandButton, addConditionButton, menuBar(), pageList,
                                                       copyButton, pasteButton})
        w->setVisible(!locked);
    if (currentPage <= 1)
        previousButton->hide();
    if (commandList.size() <= 1)
        deleteButton->hide();
    if (copiedCommand.isEmpty())
        pasteButton->hide();
}
