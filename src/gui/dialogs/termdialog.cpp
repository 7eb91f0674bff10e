#include "gui/dialogs/termdialog.h"

#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QPlainTextEdit>
#include <QTextStream>

TermDialog::TermDialog(const QString &path, QWidget *parent)
    : QDialog(parent)
    , filePath(path)
    , heading(QFileInfo(path).baseName())
{
    setWindowTitle(QStringLiteral("Tervalo Free"));
    setFixedSize(600, 600);

    headingLabel = new QLabel(heading, this);
    headingLabel->setStyleSheet(QStringLiteral("QLabel{font-size:24px;}"));
    headingLabel->setFixedSize(580, 30);
    headingLabel->move(10, 10);
    headingLabel->setAlignment(Qt::AlignCenter);

    QString text;
    QFile file(filePath);
    if (file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        QTextStream stream(&file);
        stream.setEncoding(QStringConverter::Utf8);
        text = stream.readAll();
    }

    textView = new QPlainTextEdit(this);
    textView->setFixedSize(580, 550);
    textView->move(10, 40);
    textView->setReadOnly(true);
    textView->setCursorWidth(0);
    textView->setPlainText(text);
}
