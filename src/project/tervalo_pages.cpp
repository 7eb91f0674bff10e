#include "app/tervalo.h"

#include "project/editorfields.h"
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

    // Every kind-specific field starts hidden; the fields of the current
    // records' kinds come back below.
    fields->hideAll();
    undoButton->hide();
    redoButton->hide();

    const int pages = int(commandList.size());
    if (currentPage > pages)
        currentPage = pages;
    if (currentPage < 1)
        currentPage = 1;

    setLocked(false);
    const CommandRecord &command = commandList.at(currentPage - 1);
    const ConditionRecord &condition = conditionList.at(currentPage - 1);
    fields->show(command, condition, is_japanese);
    // A page whose key or text is still missing cannot be left.
    if (fields->incomplete(command, condition))
        setLocked(true);
    // setLocked has applied the page rules for ←, Delete and Paste already.

    // Page strip: every page, with a "+" just above and just below the
    // current one. Its selection signals are ignored while rendering.
    QStringList items;
    items.reserve(pages);
    for (int i = 0; i < pages; ++i) {
        items.append(QString::number(i + 1) + QLatin1Char('.')
                     + PageKinds::stripName(PageKinds::kindOf(commandList.at(i)), is_japanese));
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

    setWindowTitle(runProjectName(projectPath));

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
        commandList.append(PageKinds::blankCommand());
        conditionList.append(PageKinds::blankCondition());
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
            commandList.insert(currentPage - 1, PageKinds::blankCommand());
            conditionList.insert(currentPage - 1, PageKinds::blankCondition());
        } else {
            qDebug() << "b";
            commandList.insert(currentPage, PageKinds::blankCommand());
            conditionList.insert(currentPage, PageKinds::blankCondition());
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
    // Empty: no operation and a Time condition of 0.1 s (not the blank page).
    const bool empty = PageKinds::kindOf(commandList.at(currentPage - 1)) == PageKinds::kNone
        && conditionList.at(currentPage - 1) == PageKinds::createdCondition(PageKinds::kTime);
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
