#pragma once

// The small always-on-top notice shown while the user points at the spot whose
// coordinates they want. It gets out of the way when the pointer comes near
// and comes back, at the same place, once the pointer has moved away.

#include <QRect>
#include <QWidget>

class QLabel;
class QTimer;

class HoverHideWindow : public QWidget {
    Q_OBJECT
public:
    /// nearMargin: how close the pointer may come before the window hides;
    /// edgeMargin: gap kept to the edges of the screen's available area.
    HoverHideWindow(int nearMargin, int edgeMargin, QWidget *parent, bool japanese);

    /// Switches the text's language (nothing happens when it is unchanged).
    void setLanguage(bool japanese);
    bool isJapanese() const { return japanese; }
    QString text() const;
    bool isHiddenByCursor() const { return hiddenByCursor; }
    QRect lastGeometry() const { return lastGeom; }

    // Geometry rules, as pure functions of rectangles (all edges inclusive:
    // right() and bottom() are the last pixel inside).

    /// Top-left that puts a window of `size` in the bottom-right corner of
    /// `available`, `edgeMargin` pixels in.
    static QPoint defaultCorner(const QRect &available, const QSize &size, int edgeMargin);
    /// `r` moved inside `available` with `edgeMargin` to spare; when the area
    /// is too small the left and top edges win. A null rectangle is returned
    /// unchanged.
    static QRect keepInside(const QRect &r, const QRect &available, int edgeMargin);
    /// True when `point` lies in `geometry` grown by `nearMargin` on every
    /// side, edges included.
    static bool isNear(const QRect &geometry, const QPoint &point, int nearMargin);
    /// A point of the desktop's input seam (device pixels) in the
    /// device-independent pixels of Qt's geometry, which differ under display
    /// scaling; unchanged when no screen holds it.
    static QPoint fromDevicePixels(const QPoint &devicePoint);
    /// The pointer, in Qt's device-independent pixels.
    static QPoint pointerPos();

public slots:
    void checkCursor();

protected:
    void showEvent(QShowEvent *event) override;

private:
    void refreshText();
    void placeAtDefaultCorner();
    QRect keepInsideAScreen(const QRect &r) const;
    static QRect availableGeometryAt(const QPoint &point);

    QTimer *timer = nullptr;
    QLabel *label = nullptr;
    int nearMargin;
    int edgeMargin;
    QRect lastGeom;
    bool hiddenByCursor = false;
    bool japanese;
};
