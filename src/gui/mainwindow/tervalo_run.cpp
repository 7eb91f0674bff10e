#include "gui/mainwindow/tervalo.h"

#include "gui/dialogs/rundialog.h"
#include "gui/widgets/messagebox.h"
#include "project/projectfile.h"
#include "run/picturewait.h"
#include "run/run.h"
#include "run/runthread.h"
#include "settings/settingsfile.h"

#include <QFileInfo>
#include <QMessageBox>

#include <atomic>
#include <memory>

void tervalo::stertRun()
{
    if (const QString refusal = Run::untypableRefusal(currentProject.commands(), settings_.is_japanese); !refusal.isEmpty()) {
        messagebox::tell(this, QMessageBox::Warning, Text{"実行エラー", "Run error"}.in(settings_.is_japanese), refusal);
        return;
    }
    {
        RunDialog dialog(settings_.stertTime, settings_.runNumber, settings_.stopCommand, settings_.is_used_stert, settings_.is_japanese, this);
        if (dialog.exec() != QDialog::Accepted)
            return;
        settings_.stertTime = dialog.stertTime;
        settings_.runNumber = dialog.runNumber;
        settings_.stopCommand = dialog.stopCommand;
        settings_.is_used_stert = dialog.noticeShown;
        settings_.is_japanese = dialog.japanese;
    }
    // The dialog is destroyed before the window hides: destroyed after, it
    // hands the activation back to its hidden owner, which Wine then shows
    // again for the first seconds of the run.
    explainConsent();
    launchRun();
}

void tervalo::explainConsent()
{
    if (const QString explanation = Run::consentExplanation(settings_.is_japanese); !explanation.isEmpty())
        messagebox::tell(this, QMessageBox::Information,
                         Text{"リモート操作の許可", "Allowing remote interaction"}.in(settings_.is_japanese), explanation);
}

void tervalo::launchRun()
{
    auto *run = new Run();
    // The run gets copies: the project may change once the window is back.
    run->setup(settings_.stertTime, settings_.runNumber, settings_.stopCommand, currentProject.commands(), currentProject.conditions(), ProjectFile::runProjectName(settings_.projectPath));
    // Hidden before the run's clock starts: hiding the active window moves
    // the activation, and under Wine hide() alone takes about 2 s; a run
    // started first played its first pages meanwhile, and the
    // activation change landing between them took a later click, key and
    // text away from the window they were meant for.
    hide();
    // Noted in the runner thread as the run finishes, while it surely exists.
    auto failed = std::make_shared<std::atomic<bool>>(false);
    auto pictureMissing = std::make_shared<std::atomic<int>>(0);
    connect(run, &Run::finished, run, [run, failed, pictureMissing] {
        failed->store(run->inputFailed());
        pictureMissing->store(run->pictureNotFoundPage());
    }, Qt::DirectConnection);
    // The run and its thread delete themselves; the window keeps only that.
    runthread::start(run, this, [this, failed, pictureMissing] {
        onRunFinished();
        if (const int page = pictureMissing->load()) {
            messagebox::tell(this, QMessageBox::Warning, Text{"実行エラー", "Run error"}.in(settings_.is_japanese),
                             picturewait::notFoundMessage(page, settings_.is_japanese));
        } else if (failed->load()) {
            // A run that could not play what was built must not look played.
            messagebox::tell(this, QMessageBox::Warning, Text{"実行エラー", "Run error"}.in(settings_.is_japanese),
                             Text{"入力をデスクトップに送れなかったため、実行を途中で終えました。",
                                  "The run could not send its input to the desktop and ended early."}
                                 .in(settings_.is_japanese));
        }
    });
}

void tervalo::onRunFinished()
{
    show();
    activateWindow();
}
