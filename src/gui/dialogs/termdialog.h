#pragma once

// Read-only viewer for one of the text documents shipped beside the program.

#include <QDialog>
#include <QString>

class QLabel;
class QPlainTextEdit;

class TermDialog : public QDialog {
    Q_OBJECT

public:
    /// Shows the UTF-8 text file at `path`; a file that cannot be read gives
    /// an empty view under its heading.
    explicit TermDialog(const QString &path, QWidget *parent = nullptr);

    QString filePath;
    QString heading; ///< file name without folder and without anything from its first dot
    QLabel *headingLabel = nullptr;
    QPlainTextEdit *textView = nullptr;
};
