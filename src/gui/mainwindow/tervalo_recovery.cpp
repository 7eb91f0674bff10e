#include "gui/mainwindow/tervalo.h"

#include "gui/widgets/messagebox.h"
#include "project/recoverycopy.h"
#include "record/recordingsession.h"
#include "settings/settingsfile.h"

#include <QDebug>
#include <QMessageBox>
#include <QTimer>

namespace {
// A change reaches the copy at most this long after it was made, and the
// copy is written at most once in this time however fast the user edits.
constexpr int kRecoveryDelayMs = 5000;
} // namespace

void tervalo::noteChange()
{
    if (!recoveryTimer) {
        recoveryTimer = new QTimer(this);
        recoveryTimer->setSingleShot(true);
        recoveryTimer->setInterval(kRecoveryDelayMs);
        connect(recoveryTimer, &QTimer::timeout, this, &tervalo::keepRecoveryCopy);
    }
    if (!recoveryTimer->isActive())
        recoveryTimer->start();
}

void tervalo::keepRecoveryCopy()
{
    if (recoveryTimer)
        recoveryTimer->stop();
    if (!hasUnsavedChanges()) {
        dropRecoveryCopy();
        return;
    }
    if (!recoveryCopy)
        recoveryCopy = std::make_unique<RecoveryCopy>();
    const RecordList &commands = currentProject.commands();
    const RecordList &conditions = currentProject.conditions();
    if (!recoveryCopy->path().isEmpty() && commands == copiedCommands && conditions == copiedConditions
        && settings_.projectPath == copiedPath)
        return;
    if (recoveryCopy->write(commands, conditions, settings_.projectPath)) {
        copiedCommands = commands;
        copiedConditions = conditions;
        copiedPath = settings_.projectPath;
    }
}

void tervalo::dropRecoveryCopy()
{
    if (recoveryTimer)
        recoveryTimer->stop();
    if (recoveryCopy)
        recoveryCopy->remove();
    copiedCommands.clear();
    copiedConditions.clear();
    copiedPath.clear();
}

bool tervalo::offerRecovery()
{
    if (editorShown)
        return false;
    auto copy = std::make_unique<RecoveryCopy>();
    if (!copy->claimLeftover())
        return false;
    const ProjectFile::RecoveryResult found = copy->read();
    if (!found.ok) {
        qWarning() << "Recovery copy unreadable:" << copy->path() << found.errorText;
        copy->remove();
        return false;
    }
    if (!messagebox::ask(this, QMessageBox::Question, Text{"復元", "Restore"}.in(settings_.is_japanese),
                         Text{"保存されていないプロジェクトが残っています。\n復元しますか？",
                              "A project that was not saved has been kept.\nDo you want to restore it?"}
                             .in(settings_.is_japanese),
                         true)) {
        copy->remove();
        return false;
    }
    // The copy is this program's now: it stays while the project is unsaved.
    recoveryCopy = std::move(copy);
    copiedCommands = found.commands;
    copiedConditions = found.conditions;
    settings_.projectPath = found.projectPath.isEmpty() ? SettingsFile::desktopPath() : found.projectPath;
    copiedPath = settings_.projectPath;
    // Unsaved: the saved copy stays the blank project of the start.
    currentProject.restore(found.commands, found.conditions);
    currentProject.setCurrentPage(1);
    showEditor();
    return true;
}

void tervalo::endSession()
{
    if (recording)
        recording->finishNow(); // its pages come into the project first
    endingSession = true;
    keepRecoveryCopy();
    close();
}
