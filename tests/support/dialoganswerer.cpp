#include "dialoganswerer.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLineEdit>
#include <QPushButton>

DialogAnswerer::DialogAnswerer(QObject *parent)
    : QObject(parent)
{
    timer_.setInterval(10);
    connect(&timer_, &QTimer::timeout, this, &DialogAnswerer::poll);
}

DialogAnswerer::~DialogAnswerer() = default;

void DialogAnswerer::answerMessageBox(QMessageBox::StandardButton button)
{
    answers_.enqueue(Answer{Answer::Button, button, {}});
    timer_.start();
}

void DialogAnswerer::answerFileDialog(const QString &path)
{
    answers_.enqueue(Answer{Answer::File, QMessageBox::NoButton, path});
    timer_.start();
}

void DialogAnswerer::closeMessageBox()
{
    answers_.enqueue(Answer{Answer::Close, QMessageBox::NoButton, {}});
    timer_.start();
}

void DialogAnswerer::poll()
{
    if (answers_.isEmpty()) {
        timer_.stop();
        return;
    }
    QWidget *modal = QApplication::activeModalWidget();
    if (!modal)
        return;
    const Answer answer = answers_.head();
    if (auto *box = qobject_cast<QMessageBox *>(modal)) {
        if (answer.kind == Answer::File)
            return;
        if (skipButtonlessBoxes && box->buttons().isEmpty())
            return;
        answers_.dequeue();
        Seen s;
        s.title = box->windowTitle();
        s.text = box->text();
        s.icon = box->icon();
        s.buttons = box->standardButtons();
        if (auto *def = box->defaultButton())
            s.defaultButton = box->standardButton(def);
        seen.append(s);
        if (answer.kind == Answer::Close) {
            box->reject();
        } else if (QAbstractButton *b = box->button(answer.button)) {
            b->click();
        } else {
            // The wanted button is not there: record it and close the box so
            // the test fails on its checks instead of hanging.
            seen.last().text += QStringLiteral(" [no such button]");
            box->reject();
        }
        return;
    }
    if (auto *dialog = qobject_cast<QFileDialog *>(modal)) {
        if (answer.kind != Answer::File)
            return;
        answers_.dequeue();
        Seen s;
        s.fileDialog = true;
        s.title = dialog->windowTitle();
        s.directory = dialog->directory().absolutePath();
        if (auto *name = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit")))
            s.fileName = name->text();
        s.nameFilters = dialog->nameFilters();
        s.acceptMode = dialog->acceptMode();
        seen.append(s);
        if (answer.path.isEmpty()) {
            dialog->reject();
        } else {
            // selectFile leaves the name field alone while it has the focus,
            // which it gets as soon as the dialog is activated.
            if (QWidget *focused = dialog->focusWidget())
                focused->clearFocus();
            dialog->selectFile(answer.path);
            // Queued: accepting may open a box of its own (the question about
            // replacing a file), which this timer must be free to answer.
            QMetaObject::invokeMethod(dialog, "accept", Qt::QueuedConnection);
        }
    }
}
