#include "gui/widgets/hoverhidewindow.h"

#include "platform/desktop.h"

#include <QGuiApplication>
#include <QLabel>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>
#include <QtDebug>

#include <cmath>

QPoint HoverHideWindow::fromDevicePixels(const QPoint &p)
{
    // Qt places each screen at its device-pixel origin and scales what lies
    // inside it by the screen's device pixel ratio.
    for (QScreen *screen : QGuiApplication::screens()) {
        const QRect g = screen->geometry();
        const qreal ratio = screen->devicePixelRatio();
        const QRect devicePixels(g.topLeft(), QSize(qRound(g.width() * ratio), qRound(g.height() * ratio)));
        if (devicePixels.contains(p)) {
            const QPointF inside = QPointF(p - g.topLeft()) / ratio;
            return g.topLeft() + QPoint(int(std::floor(inside.x())), int(std::floor(inside.y())));
        }
    }
    return p;
}

QPoint HoverHideWindow::pointerPos()
{
    const platform::Point p = platform::desktop().cursorPos();
    return fromDevicePixels(QPoint(p.x, p.y));
}

HoverHideWindow::HoverHideWindow(int nearMargin, int edgeMargin, QWidget *parent, bool japanese)
    : QWidget(parent)
    , nearMargin(nearMargin)
    , edgeMargin(edgeMargin)
    , japanese(japanese)
{
    setWindowFlags(windowFlags() | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::Tool);
    resize(320, 100);

    label = new QLabel(this);
    label->setAlignment(Qt::AlignCenter);
    label->setStyleSheet(QStringLiteral("font-size:24px;"));
    refreshText();

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(10, 10, 10, 10);
    layout->addWidget(label);

    // Runs for the window's whole life, shown or hidden: it is what brings
    // the window back.
    timer = new QTimer(this);
    connect(timer, &QTimer::timeout, this, &HoverHideWindow::checkCursor);
    timer->start(100);

    placeAtDefaultCorner();
}

void HoverHideWindow::setLanguage(bool value)
{
    if (value == japanese)
        return;
    japanese = value;
    refreshText();
}

QString HoverHideWindow::text() const
{
    return label ? label->text() : QString();
}

void HoverHideWindow::refreshText()
{
    if (!label)
        return;
    label->setText(japanese ? QStringLiteral("マウスポインターの座標を取得中\nCtrl+Alt+Gを押してください。")
                            : QStringLiteral("Getting mouse pointer coordinates\nPress Ctrl+Alt+G."));
}

QPoint HoverHideWindow::defaultCorner(const QRect &available, const QSize &size, int edgeMargin)
{
    return QPoint(available.right() - size.width() - edgeMargin,
                  available.bottom() - size.height() - edgeMargin);
}

QRect HoverHideWindow::keepInside(const QRect &r, const QRect &available, int edgeMargin)
{
    if (r.isNull())
        return r;
    int x = r.x();
    int y = r.y();
    const int w = r.width();
    const int h = r.height();
    if (available.right() < x + w + edgeMargin)
        x = available.right() - w - edgeMargin;
    if (x < available.left() + edgeMargin)
        x = available.left() + edgeMargin;
    if (available.bottom() < y + h + edgeMargin)
        y = available.bottom() - h - edgeMargin;
    if (y < available.top() + edgeMargin)
        y = available.top() + edgeMargin;
    return QRect(x, y, w, h);
}

bool HoverHideWindow::isNear(const QRect &geometry, const QPoint &point, int nearMargin)
{
    return geometry.adjusted(-nearMargin, -nearMargin, nearMargin, nearMargin).contains(point);
}

QRect HoverHideWindow::availableGeometryAt(const QPoint &point)
{
    QScreen *screen = QGuiApplication::screenAt(point);
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    return screen ? screen->availableGeometry() : QRect();
}

void HoverHideWindow::placeAtDefaultCorner()
{
    move(defaultCorner(availableGeometryAt(pointerPos()), size(), edgeMargin));
}

QRect HoverHideWindow::keepInsideAScreen(const QRect &r) const
{
    if (r.isNull())
        return r;
    return keepInside(r, availableGeometryAt(r.center()), edgeMargin);
}

void HoverHideWindow::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (!lastGeom.isNull())
        move(keepInsideAScreen(lastGeom).topLeft());
    else
        placeAtDefaultCorner();
}

void HoverHideWindow::checkCursor()
{
    const QPoint p = pointerPos();
    if (isVisible()) {
        const QRect g = frameGeometry();
        if (isNear(g, p, nearMargin)) {
            lastGeom = g;
            hiddenByCursor = true;
            hide();
            qDebug() << "hidden (cursor near)";
        }
    } else if (hiddenByCursor) {
        // Measured from where the window was, not where it is now, so it
        // comes back in the same place.
        if (!isNear(lastGeom, p, nearMargin)) {
            move(keepInsideAScreen(lastGeom).topLeft());
            show();
            hiddenByCursor = false;
            qDebug() << "shown (cursor moved away from last position)";
        }
    }
}
