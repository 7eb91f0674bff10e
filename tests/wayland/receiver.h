#pragma once

// A full-screen Wayland window of a test's own that keeps what reaches it:
// the text typed (pasting as text fields do), the buttons pressed and where,
// the wheel, and the keys held now. It paints itself in one colour.

#include <QClipboard>
#include <QGuiApplication>
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
    QList<QPoint> leftPresses;
    QList<QPoint> rightPresses;
    int wheel = 0; // eighths of a degree, positive up
    QSet<int> held; // native key codes down now
    QColor background = Qt::white;

protected:
    void keyPressEvent(QKeyEvent *e) override
    {
        ++keyPresses;
        held.insert(int(e->nativeScanCode()));
        if (e->matches(QKeySequence::Paste))
            text += QGuiApplication::clipboard()->text();
        else
            text += e->text();
    }
    void keyReleaseEvent(QKeyEvent *e) override
    {
        if (!e->isAutoRepeat())
            held.remove(int(e->nativeScanCode()));
    }
    void mousePressEvent(QMouseEvent *e) override
    {
        (e->button() == Qt::RightButton ? rightPresses : leftPresses).append(e->globalPosition().toPoint());
    }
    void wheelEvent(QWheelEvent *e) override { wheel += e->angleDelta().y(); }
    void paintEvent(QPaintEvent *) override { QPainter(this).fillRect(rect(), background); }
};
