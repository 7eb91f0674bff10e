#include "gui/dialogs/projectsavedialog.h"

#include "project/projectfile.h"

#include <QFileInfo>

ProjectSaveDialog::ProjectSaveDialog(QWidget *parent, const QString &caption, const QString &directory,
                                     const QString &filter)
    : QFileDialog(parent, caption, directory, filter)
{
    setAcceptMode(QFileDialog::AcceptSave);
    setFileMode(QFileDialog::AnyFile);
    setDefaultSuffix(ProjectFile::kExtension.mid(1));
}

QString ProjectSaveDialog::choose()
{
    if (exec() != QDialog::Accepted)
        return QString();
    return selectedFiles().value(0);
}

void ProjectSaveDialog::accept()
{
    // The default suffix covers names without any extension; a name with
    // another one ("a.json") gets ".cmdat" too, and the name field must say
    // so before the dialog asks about replacing a file. Folders are left to
    // the dialog, which opens them.
    const QString chosen = selectedFiles().value(0);
    if (!chosen.isEmpty() && !QFileInfo(chosen).isDir()) {
        const QString written = ProjectFile::withExtension(chosen);
        if (written != chosen) {
            // selectFile leaves the name field alone while it has the focus.
            if (QWidget *focused = focusWidget())
                focused->clearFocus();
            selectFile(written);
        }
    }
    QFileDialog::accept();
}
