#pragma once

// A still of the whole screen, shown over every monitor, on which the person
// drags the rectangle a page should look for, or clicks the point a page
// should use (where no hot key can take the pointer's place). The screen is
// frozen so that a menu or a tooltip that closes when the pointer moves can
// still be taken. Esc or the right button cancels.

#include <QImage>
#include <QPoint>
#include <QRect>
#include <QWidget>

class PictureSelector : public QWidget {
    Q_OBJECT
public:
    enum class Pick { Area, Point };
    /// `still` is the virtual screen's pixels; `origin` where its top-left
    /// lies in the virtual screen's coordinates. A point may be picked
    /// without a still (a screen that cannot be read): the overlay is then
    /// see-through, over the screens as the window system places them.
    PictureSelector(const QImage &still, const QPoint &origin, bool japanese, Pick pick = Pick::Area);

    /// Shows it over the still's area, frameless and on top.
    void showOverScreen();
    /// The rectangle dragged so far, in the still's pixels.
    QRect selection() const;

signals:
    /// The person let go of the button on a rectangle: its pixels.
    void chosen(const QImage &picture);
    /// The person clicked a point: in the virtual screen's pixels.
    void pointChosen(const QPoint &point);
    /// Esc, the right button, or a click without a drag.
    void cancelled();

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    /// A point of the widget in the still's pixels (the two differ when the
    /// desktop scales its windows).
    QPoint toStill(const QPointF &widgetPoint) const;
    void finish(bool take);

    QImage still_;
    QPoint origin_;
    Pick pick_;
    QString hint_;
    QPoint anchor_;
    QPoint current_;
    bool dragging_ = false;
    bool finished_ = false;
};
