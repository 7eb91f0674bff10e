#include "gui/widgets/recordingindicator.h"

#include "files/datafiles.h"
#include "input/keycombination.h"
#include "run/stoprule.h"

#include <QGuiApplication>
#include <QIcon>
#include <QLabel>
#include <QScreen>
#include <QSystemTrayIcon>

namespace {
// Pixels between the label and the screen's edges.
constexpr int kMargin = 8;
} // namespace

RecordingIndicator::RecordingIndicator(const QString &stopCommand, bool japanese, QObject *parent)
    : QObject(parent)
    , stopLabel_(KeyCombination::label(stopCommand))
    , japanese_(japanese)
{
    if (StopRule::trayAvailable()) {
        tray_ = new QSystemTrayIcon(QIcon(DataFiles::image(QStringLiteral("SystemTrayIcon.png"))), this);
        connect(tray_, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
            // A single click only, as for a run: a context menu or a double
            // click must not end it by accident.
            if (reason == QSystemTrayIcon::Trigger)
                emit stopRequested();
        });
    } else {
        // A tool tip window: no frame, no task bar entry, no focus, above the
        // others; transparent for input, so a click lands below it.
        notice_ = std::make_unique<QLabel>();
        notice_->setObjectName(QStringLiteral("recordingNotice"));
        notice_->setWindowFlags(Qt::ToolTip | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint
                                | Qt::WindowTransparentForInput | Qt::WindowDoesNotAcceptFocus);
        notice_->setAttribute(Qt::WA_ShowWithoutActivating);
        notice_->setAttribute(Qt::WA_TransparentForMouseEvents);
        notice_->setStyleSheet(QStringLiteral("QLabel { background: #202020; color: white; padding: 4px 8px;"
                                              " font-size: 12pt; }"));
    }
    setTexts();
    if (tray_)
        tray_->show();
    else
        notice_->show();
}

RecordingIndicator::~RecordingIndicator() = default;

void RecordingIndicator::setRecording()
{
    recording_ = true;
    setTexts();
}

void RecordingIndicator::setTexts()
{
    QString text;
    if (tray_) {
        if (recording_)
            text = japanese_ ? QStringLiteral("記録中です。\n%1 かこのアイコンのクリックで終了します。")
                             : QStringLiteral("Recording.\n%1 or a click on this icon stops it.");
        else
            text = japanese_ ? QStringLiteral("記録の開始を待っています。\n%1 かこのアイコンのクリックで中止します。")
                             : QStringLiteral("Waiting to start recording.\n%1 or a click on this icon cancels it.");
        tray_->setToolTip(text.arg(stopLabel_));
        return;
    }
    if (recording_)
        text = japanese_ ? QStringLiteral("記録中です。%1 で終了します。") : QStringLiteral("Recording. %1 stops it.");
    else
        text = japanese_ ? QStringLiteral("記録の開始を待っています。%1 で中止します。")
                         : QStringLiteral("Waiting to start recording. %1 cancels it.");
    notice_->setText(text.arg(stopLabel_));
    notice_->adjustSize();
    if (const QScreen *screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        notice_->move(area.right() + 1 - kMargin - notice_->width(), area.top() + kMargin);
    }
}
