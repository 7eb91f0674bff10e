#include "gui/mainwindow/tervalo.h"

#include "gui/dialogs/recorddialog.h"
#include "gui/widgets/recordingindicator.h"
#include "record/recordingsession.h"

void tervalo::recordActions()
{
    RecordDialog dialog(recordValues(), is_japanese, is_help, this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    const RecordingOptions v = dialog.values();
    record_delay = v.startDelay;
    record_stop_command = v.stopCommand;
    record_glides = v.options.glides;
    record_join_text = v.options.joinText;
    record_keep_pauses = v.options.keepPauses;
    startRecording(v);
}

RecordingOptions tervalo::recordValues() const
{
    RecordingOptions v;
    v.startDelay = record_delay;
    v.stopCommand = record_stop_command;
    v.options.glides = record_glides;
    v.options.joinText = record_join_text;
    v.options.keepPauses = record_keep_pauses;
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
    auto *indicator = new RecordingIndicator(values.stopCommand, is_japanese, session);
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
