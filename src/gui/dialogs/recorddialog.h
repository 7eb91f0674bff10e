#pragma once

// The modal dialog before a recording, in the style of the run settings
// dialog: seconds until the recording starts, the exit command that ends it
// (captured from the keyboard, never "none") and the three recording
// switches. Accepted with Start; the values are then read back.

#include "gui/widgets/stopkeyrow.h"
#include "input/keycombination.h"
#include "record/recordingoptions.h"
#include "record/recordmapping.h"

#include <QDialog>
#include <QString>

class QCheckBox;
class QLabel;
class QPushButton;
class QSpinBox;
class QTimer;

class RecordDialog : public QDialog {
    Q_OBJECT
public:
    /// What the dialog shows and, once accepted, returns.
    using Values = RecordingOptions;

    RecordDialog(const Values &values, bool japanese, bool help, QWidget *parent = nullptr);
    ~RecordDialog() override;

    Values values() const { return values_; }
    /// Ends a running capture and removes the keyboard hook however the
    /// dialog is closed.
    void done(int result) override;

public slots:
    /// The change button: starts capturing a new exit command, or cancels.
    void onChangePressed();
    /// Every 50 ms while capturing: takes the captured combination.
    void pollCapture();

public:
    QLabel *startDelayLabel = nullptr;
    QSpinBox *startDelaySpin = nullptr;
    QLabel *secLabel = nullptr;
    QLabel *exitCommandLabel = nullptr;
    QLabel *hotKeyLabel = nullptr;
    QPushButton *changeButton = nullptr;
    QLabel *pressKeysLabel = nullptr;
    QCheckBox *glidesCheck = nullptr;
    QCheckBox *joinTextCheck = nullptr;
    QCheckBox *keepPausesCheck = nullptr;
    QPushButton *startButton = nullptr;
    QTimer *pollTimer = nullptr;

private:
    void startRequested();

    Values values_;
    bool japanese_ = true;
    StopKeyRow *stopKeys_ = nullptr;
};
