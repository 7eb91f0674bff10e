#include "gui/widgets/pictureselector.h"

#include "settings/text.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QScreen>

PictureSelector::PictureSelector(const QImage &still, const QPoint &origin, bool japanese, Pick pick)
    : QWidget(nullptr, Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::Tool)
    , still_(still)
    , origin_(origin)
    , pick_(pick)
    , hint_(pick == Pick::Area ? Text{"探す範囲をドラッグで選んでください。Esc で取り消します。",
                                      "Drag over the area to look for. Esc cancels."}.in(japanese)
                               : Text{"取得する位置をクリックしてください。Esc で取り消します。",
                                      "Click the position to take. Esc cancels."}.in(japanese))
{
    if (still_.isNull())
        setAttribute(Qt::WA_TranslucentBackground);
    setObjectName(QStringLiteral("pictureSelector"));
    setAttribute(Qt::WA_DeleteOnClose);
    setCursor(Qt::CrossCursor);
    setMouseTracking(true);
}

void PictureSelector::showOverScreen()
{
    // Logical pixels: the still holds physical ones, which paintEvent scales.
    const QScreen *primary = QGuiApplication::primaryScreen();
    const qreal scale = primary ? primary->devicePixelRatio() : 1.0;
    if (still_.isNull() && primary)
        setGeometry(primary->virtualGeometry());
    else
        setGeometry(QRect(QPoint(qRound(origin_.x() / scale), qRound(origin_.y() / scale)), still_.size() / scale));
    show();
    raise();
    activateWindow();
    setFocus();
}

QRect PictureSelector::selection() const
{
    if (!dragging_)
        return QRect();
    return QRect(anchor_, current_).normalized().intersected(still_.rect());
}

QPoint PictureSelector::toStill(const QPointF &p) const
{
    if (still_.isNull()) {
        const qreal scale = devicePixelRatioF();
        return QPoint(qRound(p.x() * scale), qRound(p.y() * scale));
    }
    if (width() <= 0 || height() <= 0)
        return p.toPoint();
    return QPoint(int(p.x() * still_.width() / width()), int(p.y() * still_.height() / height()));
}

void PictureSelector::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    if (!still_.isNull())
        painter.drawImage(rect(), still_);
    // Everything but the rectangle dimmed, so that what is taken stands out.
    const QRect chosen = selection();
    const qreal sx = width() > 0 ? qreal(width()) / still_.width() : 1;
    const qreal sy = height() > 0 ? qreal(height()) / still_.height() : 1;
    const QRectF shown(chosen.x() * sx, chosen.y() * sy, chosen.width() * sx, chosen.height() * sy);
    QPainterPath dim;
    dim.addRect(rect());
    if (!chosen.isEmpty()) {
        QPainterPath hole;
        hole.addRect(shown);
        dim = dim.subtracted(hole);
    }
    painter.fillPath(dim, QColor(0, 0, 0, 90));
    if (!chosen.isEmpty()) {
        painter.setPen(QPen(QColor(255, 60, 60), 1));
        painter.drawRect(shown.adjusted(-1, -1, 0, 0));
        painter.drawText(shown.bottomLeft() + QPointF(0, 16), QStringLiteral("%1 × %2").arg(chosen.width()).arg(chosen.height()));
    }
    painter.setPen(Qt::white);
    QFont font = painter.font();
    font.setPointSize(14);
    painter.setFont(font);
    const QRect band(0, 0, width(), 40);
    painter.fillRect(band, QColor(0, 0, 0, 160));
    painter.drawText(band, Qt::AlignCenter, hint_);
}

void PictureSelector::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::RightButton) {
        finish(false);
        return;
    }
    if (event->button() != Qt::LeftButton)
        return;
    if (pick_ == Pick::Point) {
        const QPoint point = toStill(event->position());
        finished_ = true;
        hide();
        // Without a still the overlay lies where the window system put it.
        emit pointChosen(still_.isNull() ? point + mapToGlobal(QPoint(0, 0)) * devicePixelRatioF() : point + origin_);
        close();
        return;
    }
    anchor_ = current_ = toStill(event->position());
    dragging_ = true;
    update();
}

void PictureSelector::mouseMoveEvent(QMouseEvent *event)
{
    if (!dragging_)
        return;
    current_ = toStill(event->position());
    update();
}

void PictureSelector::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton || !dragging_)
        return;
    current_ = toStill(event->position());
    finish(true);
}

void PictureSelector::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape)
        finish(false);
    else
        QWidget::keyPressEvent(event);
}

void PictureSelector::finish(bool take)
{
    if (finished_)
        return;
    finished_ = true;
    const QRect area = selection();
    hide();
    if (take && !area.isEmpty() && anchor_ != current_)
        emit chosen(still_.copy(area));
    else
        emit cancelled();
    close();
}
