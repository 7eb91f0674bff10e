#pragma once

// The Save As dialog. It knows the name that will really be written (".cmdat"
// appended unless the name already ends so), so its question about replacing
// an existing file is about that file and not about the name as typed.

#include <QFileDialog>

class ProjectSaveDialog : public QFileDialog {
    Q_OBJECT
public:
    ProjectSaveDialog(QWidget *parent, const QString &caption, const QString &directory, const QString &filter);

    /// Shows the dialog; the path to write, or an empty text when cancelled.
    QString choose();

public slots:
    void accept() override;
};
