#include "gui/mainwindow/tervalo.h"

#include "gui/dialogs/recorddialog.h"
#include "gui/widgets/messagebox.h"
#include "gui/widgets/recordingindicator.h"
#include "record/recordingsession.h"
#include "settings/text.h"

#include <QMessageBox>

void tervalo::recordActions()
{
    RecordDialog dialog(recordValues(), settings_.is_japanese, settings_.is_help, this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    const RecordingOptions v = dialog.values();
    settings_.record_delay = v.startDelay;
    settings_.record_stop_command = v.stopCommand;
    settings_.record_glides = v.options.glides;
    settings_.record_join_text = v.options.joinText;
    settings_.record_keep_pauses = v.options.keepPauses;
    if (!startRecording(v)) {
        // The message ends like a command-line one; as a sentence here.
        messagebox::tell(this, QMessageBox::Warning, Text{"記録できません", "Cannot record"}.in(settings_.is_japanese),
                         RecordingSession::cannotObserveMessage(settings_.is_japanese)
                             + Text{"。", "."}.in(settings_.is_japanese));
    }
}

RecordingOptions tervalo::recordValues() const
{
    RecordingOptions v;
    v.startDelay = settings_.record_delay;
    v.stopCommand = settings_.record_stop_command;
    v.options.glides = settings_.record_glides;
    v.options.joinText = settings_.record_join_text;
    v.options.keepPauses = settings_.record_keep_pauses;
    return v;
}

bool tervalo::startRecording(const RecordingOptions &values)
{
    if (recording)
        return false;
    auto *session = new RecordingSession(values, this);
    if (!session->start()) {
        delete session;
        return false;
    }
    recording = session;
    // The window hides: the tray icon or a corner label says what goes on.
    auto *indicator = new RecordingIndicator(values.stopCommand, settings_.is_japanese, session);
    connect(session, &RecordingSession::recording, indicator, &RecordingIndicator::setRecording);
    connect(indicator, &RecordingIndicator::stopRequested, session, &RecordingSession::stopForIconClick);
    connect(session, &RecordingSession::finished, this,
            [this, session, indicator](bool, const RecordMapping::Pages &pages, double) {
                recording = nullptr;
                delete indicator;
                session->deleteLater();
                insertPages(pages);
                show();
                activateWindow();
            });
    hide();
    return true;
}

void tervalo::insertPages(const RecordMapping::Pages &pages)
{
    if (pages.count() == 0)
        return;
    // After the current page, all at once: one refresh, one undo step (and
    // typing from before the recording a step of its own).
    recordPendingEdit();
    currentProject.insertPages(pages.commands, pages.conditions);
    renderPage();
}
