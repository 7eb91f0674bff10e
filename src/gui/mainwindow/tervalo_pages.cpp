#include "gui/mainwindow/tervalo.h"

#include "gui/mainwindow/editorfields.h"
#include "gui/mainwindow/editorlog.h"
#include "gui/mainwindow/pagestripdelegate.h"
#include "gui/widgets/messagebox.h"
#include "gui/widgets/textfit.h"
#include "project/projectfile.h"
#include "settings/settingsfile.h"

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

    const RecordList &commandList = currentProject.commands();
    const int pages = currentProject.pageCount();
    const int currentPage = currentProject.currentPage();

    setLocked(false);
    // Read through the const project: the writable accessors would copy both
    // lists (10,000 pages: 240 KB each) whenever an undo step shares them.
    const Project &shown = currentProject;
    const CommandRecord &command = shown.currentCommand();
    const ConditionRecord &condition = shown.currentCondition();
    fields->show(command, condition, settings_.is_japanese);
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
                     + PageKinds::stripName(PageKinds::kindOf(commandList.at(i)), settings_.is_japanese));
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

    setWindowTitle(ProjectFile::runProjectName(settings_.projectPath));

    qCDebug(lcEditorDump) << commandList;
    qCDebug(lcEditorDump) << currentProject.conditions();

    recordHistory();
    noteChange();
    // Names, keys and the controls shown change with the page.
    TextFit::fitAll(this);

    rendering = false;
}

void tervalo::nextPage()
{
    if (captureWaiting())
        return;
    currentProject.nextPage();
    renderPage();
}

void tervalo::returnPage()
{
    if (captureWaiting())
        return;
    // The button is hidden on page 1; a stray call must still not leave the list.
    currentProject.previousPage();
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
        // The "+" rows stand just above and just below the current page.
        if (currentProject.currentPage() == row + 1) {
            qDebug() << "a";
            currentProject.insertBlankBefore();
        } else {
            qDebug() << "b";
            currentProject.insertBlankAfter();
            qDebug() << "c";
        }
    } else {
        qDebug() << "d";
        currentProject.showPage(item->text().section(QLatin1Char('.'), 0, 0).toInt());
    }
    renderPage();
}

void tervalo::deletePage()
{
    if (captureWaiting())
        return;
    // Removing the only page would leave nothing to show or run.
    if (!currentProject.canDelete())
        return;
    recordPendingEdit();
    const int currentPage = currentProject.currentPage();
    if (settings_.is_message_delete) {
        if (!messagebox::ask(this, QMessageBox::Warning, kConfirmTitle.in(settings_.is_japanese),
                             Text{"%1ページ目を削除しますか？", "Do you want to delete page %1?"}.in(settings_.is_japanese).arg(
                                 currentPage)))
            return;
    }
    currentProject.deleteCurrentPage();
    renderPage();
}

void tervalo::copy()
{
    if (captureWaiting())
        return;
    currentProject.copyCurrentPage();
    renderPage();
}

void tervalo::paste()
{
    if (captureWaiting())
        return;
    if (!currentProject.hasCopy())
        return;
    recordPendingEdit();
    const int currentPage = currentProject.currentPage();
    if (!currentProject.currentPageIsEmpty() && settings_.is_message_paste) {
        if (!messagebox::ask(this, QMessageBox::Warning, kConfirmTitle.in(settings_.is_japanese),
                             Text{"%1 ページ目を置き換えますか？", "Do you want to replace page %1?"}.in(settings_.is_japanese).arg(
                                 currentPage))) {
            renderPage();
            return;
        }
    }
    currentProject.pasteOverCurrentPage();
    renderPage();
}
