#pragma once

// A window for the Wayland tests that keeps what reaches it: typed text
// (pastes as text fields do), the keys pressed and still held, where each
// button went down, the wheel, and the colour it showed when the first key
// came. It fills itself with `background` and shows `picture` at
// `pictureAt` (window pixels).

#include <QClipboard>
#include <QGuiApplication>
#include <QImage>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QSet>
#include <QWheelEvent>
#include <QWidget>

class Receiver : public QWidget {
public:
    QString text;
    int keyPresses = 0;
    QList<int> keys;     // Qt key codes pressed, in order
    QSet<int> held;      // Qt key codes down now
    QList<QPoint> leftPresses;
    QList<QPoint> rightPresses;
    int wheel = 0; // eighths of a degree, positive up
    QColor background{Qt::white};
    QColor atFirstKey; // the background when the first key came
    QImage picture;
    QPoint pictureAt;

    void clear()
    {
        text.clear();
        keys.clear();
        leftPresses.clear();
        rightPresses.clear();
        wheel = 0;
        atFirstKey = QColor();
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.fillRect(rect(), background);
        if (!picture.isNull())
            painter.drawImage(pictureAt, picture);
    }
    void keyPressEvent(QKeyEvent *e) override
    {
        ++keyPresses;
        if (!atFirstKey.isValid())
            atFirstKey = background;
        if (!e->isAutoRepeat()) {
            keys.append(e->key());
            held.insert(e->key());
        }
        if (e->matches(QKeySequence::Paste))
            text += QGuiApplication::clipboard()->text();
        else
            text += e->text();
    }
    void keyReleaseEvent(QKeyEvent *e) override
    {
        if (!e->isAutoRepeat())
            held.remove(e->key());
    }
    void mousePressEvent(QMouseEvent *e) override
    {
        // Within the window: it covers its monitor, so this is the place on it.
        (e->button() == Qt::RightButton ? rightPresses : leftPresses).append(e->position().toPoint());
    }
    void wheelEvent(QWheelEvent *e) override { wheel += e->angleDelta().y(); }
};
