#include "app/tervalo.h"

#include "project/editorlog.h"
#include "project/pagestripdelegate.h"
#include "settings/settingsfile.h"
#include "ui/textfit.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QDebug>
#include <QDoubleSpinBox>
#include <QFileInfo>
#include <QLabel>
#include <QListWidget>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QSpinBox>
#include <QTextEdit>

namespace {
const QString kPlus = QStringLiteral("+");
}

void tervalo::renderPage()
{
    rendering = true;

    // Every kind-specific field starts hidden; showPageFields shows the ones
    // the current records need.
    for (QWidget *w : std::initializer_list<QWidget *>{
             commandSecLabel, conditionSecLabel, commandSideCombo, conditionSideCombo, textEdit, commandTimeSpin,
             conditionTimeSpin, commandKeyLabel, conditionKeyLabel, xLabel1, xSpin1, yLabel1, ySpin1, getButton1,
             xLabel2, xSpin2, yLabel2, ySpin2, getButton2, testButton, hourSpin, colonLabel, minuteSpin,
             undoButton, redoButton})
        w->hide();

    const int pages = int(commandList.size());
    if (currentPage > pages)
        currentPage = pages;
    if (currentPage < 1)
        currentPage = 1;

    setLocked(false);
    showPageFields();
    // setLocked has applied the page rules for ←, Delete and Paste already.

    // Page strip: every page, with a "+" just above and just below the
    // current one. Its selection signals are ignored while rendering.
    QStringList items;
    items.reserve(pages);
    for (int i = 0; i < pages; ++i) {
        items.append(QString::number(i + 1) + QLatin1Char('.')
                     + records::stripName(records::element(commandList.at(i), 0), is_japanese));
    }
    qCDebug(lcEditorDump) << items;
    if (auto *delegate = qobject_cast<PageStripDelegate *>(pageList->itemDelegate()))
        delegate->clearSizes();
    pageList->clear();
    pageList->addItems(items);
    pageList->insertItem(currentPage - 1, kPlus);
    pageList->insertItem(currentPage + 1, kPlus);
    pageList->setCurrentRow(currentPage);
    pageList->scrollToItem(pageList->item(currentPage), QAbstractItemView::PositionAtCenter);

    pageCounterLabel->setText(QStringLiteral("%1/%2").arg(currentPage).arg(pages));

    if (projectPath == SettingsFile::desktopPath())
        setWindowTitle(QStringLiteral("新規プロジェクト"));
    else
        setWindowTitle(QFileInfo(projectPath).baseName());

    qCDebug(lcEditorDump) << commandList;
    qCDebug(lcEditorDump) << conditionList;

    recordHistory();
    // Names, keys and the controls shown change with the page.
    TextFit::fitAll(this);

    rendering = false;
}

void tervalo::nextPage()
{
    if (captureWaiting())
        return;
    ++currentPage;
    if (currentPage > commandList.size()) {
        currentPage = int(commandList.size()) + 1;
        commandList.append(records::blankCommand());
        conditionList.append(records::blankCondition());
    }
    renderPage();
}

void tervalo::returnPage()
{
    if (captureWaiting())
        return;
    // The button is hidden on page 1; a stray call must still not leave the list.
    if (currentPage > 1)
        --currentPage;
    renderPage();
}

void tervalo::changeWidgetPage()
{
    if (rendering || captureWaiting())
        return;
    qDebug() << "z";
    QListWidgetItem *item = pageList->currentItem();
    if (!item)
        return;
    const int row = pageList->currentRow();
    qDebug() << row;
    if (item->text() == kPlus) {
        qDebug() << "y";
        if (currentPage == row + 1) {
            qDebug() << "a";
            commandList.insert(currentPage - 1, records::blankCommand());
            conditionList.insert(currentPage - 1, records::blankCondition());
        } else {
            qDebug() << "b";
            commandList.insert(currentPage, records::blankCommand());
            conditionList.insert(currentPage, records::blankCondition());
            qDebug() << "c";
            ++currentPage;
        }
    } else {
        qDebug() << "d";
        const int page = item->text().section(QLatin1Char('.'), 0, 0).toInt();
        if (page >= 1 && page <= commandList.size())
            currentPage = page;
    }
    renderPage();
}

void tervalo::deletePage()
{
    if (captureWaiting())
        return;
    // Removing the only page would leave nothing to show or run.
    if (commandList.size() <= 1)
        return;
    if (is_message_delete) {
        if (is_japanese) {
            messageTitle = QStringLiteral("最終確認");
            messageText = QStringLiteral("%1ページ目を削除しますか？").arg(currentPage);
        } else {
            messageTitle = QStringLiteral("Warning");
            messageText = QStringLiteral("Do you want to delete page %1?").arg(currentPage);
        }
        if (QMessageBox::warning(this, messageTitle, messageText, QMessageBox::Yes | QMessageBox::No,
                                 QMessageBox::No)
            != QMessageBox::Yes)
            return;
    }
    commandList.removeAt(currentPage - 1);
    conditionList.removeAt(currentPage - 1);
    if (currentPage != 1)
        --currentPage;
    renderPage();
}

void tervalo::copy()
{
    if (captureWaiting())
        return;
    copiedCommand = commandList.at(currentPage - 1);
    copiedCondition = conditionList.at(currentPage - 1);
    renderPage();
}

void tervalo::paste()
{
    if (captureWaiting())
        return;
    if (copiedCommand.isEmpty())
        return;
    const bool empty = records::element(commandList.at(currentPage - 1), 0) == records::kNone
        && conditionList.at(currentPage - 1) == QStringList{records::kTime, QStringLiteral("0.1")};
    if (!empty && is_message_paste) {
        if (is_japanese) {
            messageTitle = QStringLiteral("最終確認");
            messageText = QStringLiteral("%1 ページ目を置き換えますか？").arg(currentPage);
        } else {
            messageTitle = QStringLiteral("Warning");
            messageText = QStringLiteral("Do you want to replace page %1?").arg(currentPage);
        }
        if (QMessageBox::warning(this, messageTitle, messageText, QMessageBox::Yes | QMessageBox::No,
                                 QMessageBox::No)
            != QMessageBox::Yes) {
            renderPage();
            return;
        }
    }
    commandList[currentPage - 1] = copiedCommand;
    conditionList[currentPage - 1] = copiedCondition;
    renderPage();
}
