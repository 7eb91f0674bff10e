#pragma once

// The modal dialog shown before every run: seconds until the start, number of
// runs (or repeat until stopped) and the exit command, a key combination that
// the user presses rather than types.

#include "gui/widgets/stopkeyrow.h"
#include "run/run.h"

#include <QDialog>
#include <QString>

class QCheckBox;
class QLabel;
class QPushButton;
class QSpinBox;
class QTimer;

class RunDialog : public QDialog {
    Q_OBJECT
public:
    /// Number of runs that means "repeat until the exit command".
    static constexpr int kRepeatUntilStopped = Run::kRepeatForever;

    RunDialog(int stertTime, int runNumber, QString stopCommand, bool noticeShown, bool japanese,
              QWidget *parent = nullptr);
    ~RunDialog() override;

    /// Ends a running capture and removes the keyboard hook, whatever the
    /// way the dialog is closed.
    void done(int result) override;

    /// The capture instance (tests look at its state).
    const KeyCapture &keyCapture() const { return stopKeys->keyCapture(); }
    /// True while a new exit command is being pressed.
    bool capturing() const { return stopKeys->capturing(); }

public slots:
    void onHotKeyButtonPressed();
    void pollHotKey();
    void updateStartButtonState();
    void changeCheckRunNumber(int state);
    void changeCheckHotKey(int state);

public:
    int reply = 0;
    QLabel *startDelayLabel = nullptr;
    QLabel *secLabel = nullptr;
    QSpinBox *startDelaySpin = nullptr;
    QLabel *runCountLabel = nullptr;
    QLabel *timesLabel = nullptr;
    QSpinBox *runCountSpin = nullptr;
    QPushButton *startButton = nullptr;
    QLabel *exitCommandLabel = nullptr;
    QLabel *hotKeyLabel = nullptr;
    QLabel *pressKeysLabel = nullptr;
    /// Says that characters outside the keyboard layout are pasted; only on
    /// a desktop that types them so (null elsewhere).
    QLabel *pasteNote = nullptr;
    QPushButton *changeButton = nullptr;
    QCheckBox *noExitCommandCheck = nullptr;
    QCheckBox *repeatCheck = nullptr;
    int stertTime = 1;
    int runNumber = 1;
    QString stopCommand;
    bool noticeShown = false;
    bool japanese = true;
    QTimer *pollTimer = nullptr;
    bool stopCommandValid = false;

private:
    void refreshStopCommandValidity();
    void startRequested();
    void capturingChanged(bool capturing);

    StopKeyRow *stopKeys = nullptr;
};
