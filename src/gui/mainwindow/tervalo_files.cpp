#include "gui/mainwindow/tervalo.h"

#include "gui/dialogs/projectsavedialog.h"
#include "gui/widgets/messagebox.h"
#include "project/projectfile.h"
#include "settings/settingsfile.h"

#include <QApplication>
#include <QDebug>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>

namespace {
// Where Open and Save As start for a project without a file. Qt names a
// desktop folder even where none was ever made, and a file dialog given a
// missing folder opens its parent with the folder's name as the file name.
QString noFileFolder()
{
    const QString desktop = SettingsFile::desktopPath();
    return !desktop.isEmpty() && QFileInfo(desktop).isDir() ? desktop : QDir::homePath();
}
} // namespace

bool tervalo::confirmReplace(const QString &japaneseText, const QString &englishText)
{
    if (!hasUnsavedChanges() || !settings_.is_message_file)
        return true;
    return messagebox::ask(this, QMessageBox::Warning, kConfirmTitle.in(settings_.is_japanese),
                           settings_.is_japanese ? japaneseText : englishText);
}

void tervalo::newFile()
{
    if (!confirmReplace(QStringLiteral("プロジェクトが保存されていません。\n新規作成しますか？"),
                        QStringLiteral("The project has not been saved.\nDo you want to create a new one?")))
        return;
    settings_.projectPath = SettingsFile::desktopPath();
    showProject(RecordList{PageKinds::blankCommand()}, RecordList{PageKinds::blankCondition()});
}

void tervalo::loadFile1()
{
    if (!confirmReplace(QStringLiteral("プロジェクトが保存されていません。\n新しいプロジェクトを読み込みますか？"),
                        QStringLiteral("The project has not been saved.\nDo you want to load a new project?")))
        return;
    // Without a file: the file opened last time, if it is still there.
    QString start = settings_.projectPath;
    if (settings_.projectPath == SettingsFile::desktopPath())
        start = !settings_.lastUsedPath.isEmpty() && QFileInfo::exists(settings_.lastUsedPath) ? settings_.lastUsedPath : noFileFolder();
    QString selectedFilter;
    const QString path = QFileDialog::getOpenFileName(this, tr("コマンドデータを読み込み"), start, tr("Command Data (*.cmdat);;All Files (*)"),
                                                      &selectedFilter);
    if (path.isEmpty())
        return;
    // A file that cannot be read must not become the project's file: the
    // next Save would write the old project over it without a question.
    const QString previousPath = settings_.projectPath;
    settings_.projectPath = path;
    if (!readProjectFile())
        settings_.projectPath = previousPath;
}

void tervalo::saveFile1()
{
    const QString start = settings_.projectPath == SettingsFile::desktopPath() ? noFileFolder() : settings_.projectPath;
    ProjectSaveDialog dialog(this, tr("名前を付けて保存"), start, tr("Command Data (*.cmdat);;All Files (*)"));
    const QString path = dialog.choose();
    if (path.isEmpty())
        return;
    settings_.projectPath = ProjectFile::withExtension(path);
    writeProjectFile();
}

void tervalo::saveFile3()
{
    if (settings_.projectPath == SettingsFile::desktopPath())
        saveFile1();
    else
        writeProjectFile();
}

void tervalo::writeProjectFile()
{
    const ProjectFile::Result result = ProjectFile::write(settings_.projectPath, currentProject.commands(), currentProject.conditions());
    if (!result.ok) {
        messagebox::tell(this, QMessageBox::Warning, result.errorTitle, result.errorText);
        return;
    }
    currentProject.markSaved();
    dropRecoveryCopy();
    QApplication::beep();
    emit projectFileBeeped();
    renderPage();
}

bool tervalo::readProjectFile()
{
    ProjectFile::ReadResult result = ProjectFile::read(settings_.projectPath);
    if (!result.ok) {
        messagebox::tell(this, QMessageBox::Warning, result.errorTitle, result.errorText);
        return false;
    }
    if (result.repaired)
        qWarning() << "Project file repaired on load:" << settings_.projectPath;
    showProject(std::move(result.commands), std::move(result.conditions));
    QApplication::beep();
    emit projectFileBeeped();
    if (!result.findings.isEmpty())
        tellFindings(result.findings);
    return true;
}

void tervalo::tellFindings(const QList<PageKinds::Finding> &findings)
{
    // One box for the whole file; a file broken everywhere would otherwise
    // make a box taller than the screen.
    constexpr qsizetype kMostLines = 20;
    QStringList lines;
    lines << Text{"このファイルには、読み込むときに直した値や、書かれたとおりには実行できない値があります。",
                  "Some values of this file were repaired on loading or cannot run as written."}
                 .in(settings_.is_japanese);
    lines << QString();
    for (qsizetype i = 0; i < findings.size() && i < kMostLines; ++i)
        lines << findings.at(i).describe(settings_.is_japanese);
    if (findings.size() > kMostLines) {
        const QString more = QString::number(findings.size() - kMostLines);
        lines << Text{"ほか %1 件", "and %1 more"}.in(settings_.is_japanese).arg(more);
    }
    messagebox::tell(this, QMessageBox::Information, Text{"読み込み時の確認", "Checked on loading"}.in(settings_.is_japanese),
                     lines.join(QLatin1Char('\n')));
}

void tervalo::showProject(RecordList commands, RecordList conditions)
{
    currentProject.replace(std::move(commands), std::move(conditions));
    // New or opened: the work it replaced was left knowingly (or saved).
    dropRecoveryCopy();
    renderPage();
}
