#include "xdriver.h"

#include <QDeadlineTimer>
#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>
#include <QProcess>
#include <QRegularExpression>
#include <QThread>

namespace {
constexpr int kPollMs = 100;
} // namespace

XDriver::XDriver(QString xdotool)
    : xdotool(std::move(xdotool))
{
}

QString XDriver::run(const QStringList &arguments) const
{
    QProcess process;
    process.start(xdotool, arguments);
    process.waitForFinished(30000);
    return QString::fromUtf8(process.readAllStandardOutput());
}

std::optional<XDriver::Window> XDriver::find(const QString &titlePattern) const
{
    // xdotool matches titles as extended regular expressions.
    const QStringList ids =
        run({QStringLiteral("search"), QStringLiteral("--onlyvisible"), QStringLiteral("--name"), titlePattern})
            .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    static const QRegularExpression shellLine(QStringLiteral("^(X|Y|WIDTH|HEIGHT)=(-?\\d+)$"),
                                              QRegularExpression::MultilineOption);
    for (const QString &id : ids) {
        const QString shell = run({QStringLiteral("getwindowgeometry"), QStringLiteral("--shell"), id});
        int x = 0, y = 0, w = 0, h = 0, seen = 0;
        for (auto it = shellLine.globalMatch(shell); it.hasNext();) {
            const auto m = it.next();
            const int v = m.captured(2).toInt();
            const QString key = m.captured(1);
            if (key == QLatin1String("X"))
                x = v;
            else if (key == QLatin1String("Y"))
                y = v;
            else if (key == QLatin1String("WIDTH"))
                w = v;
            else
                h = v;
            ++seen;
        }
        // Wine keeps 1x1 helper windows (the IME's) that share titles.
        if (seen == 4 && w > 1 && h > 1)
            return Window{id, QRect(x, y, w, h)};
    }
    return std::nullopt;
}

std::optional<XDriver::Window> XDriver::waitFor(const QString &titlePattern, int ms) const
{
    QDeadlineTimer deadline(ms);
    while (true) {
        if (auto w = find(titlePattern))
            return w;
        if (deadline.hasExpired())
            return std::nullopt;
        QThread::msleep(kPollMs);
    }
}

bool XDriver::waitGone(const QString &titlePattern, int ms) const
{
    QDeadlineTimer deadline(ms);
    while (find(titlePattern)) {
        if (deadline.hasExpired())
            return false;
        QThread::msleep(kPollMs);
    }
    return true;
}

void XDriver::moveTo(QPoint screen) const
{
    run({QStringLiteral("mousemove"), QString::number(screen.x()), QString::number(screen.y())});
}

void XDriver::clickAt(QPoint screen) const
{
    run({QStringLiteral("mousemove"), QString::number(screen.x()), QString::number(screen.y()),
         QStringLiteral("click"), QStringLiteral("1")});
}

void XDriver::clickIn(const Window &window, QPoint client) const
{
    clickAt(window.geometry.topLeft() + client);
}

void XDriver::wheelDown() const
{
    run({QStringLiteral("click"), QStringLiteral("5")});
}

void XDriver::key(const QString &combination) const
{
    run({QStringLiteral("key"), QStringLiteral("--delay"), QStringLiteral("40"), combination});
}

void XDriver::keyDown(const QString &combination) const
{
    run({QStringLiteral("keydown"), combination});
}

void XDriver::keyUp(const QString &combination) const
{
    run({QStringLiteral("keyup"), combination});
}

void XDriver::type(const QString &text) const
{
    run({QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("40"), text});
}

QPoint XDriver::pointer() const
{
    const QString shell = run({QStringLiteral("getmouselocation"), QStringLiteral("--shell")});
    static const QRegularExpression x(QStringLiteral("^X=(\\d+)$"), QRegularExpression::MultilineOption);
    static const QRegularExpression y(QStringLiteral("^Y=(\\d+)$"), QRegularExpression::MultilineOption);
    return QPoint(x.match(shell).captured(1).toInt(), y.match(shell).captured(1).toInt());
}

QImage XDriver::grab(const Window &window, QRect client) const
{
    QScreen *screen = QGuiApplication::primaryScreen();
    if (!screen)
        return {};
    return screen->grabWindow(window.id.toULongLong(), client.x(), client.y(), client.width(), client.height())
        .toImage();
}

bool XDriver::waitForChange(const Window &window, QRect client, const QImage &before, int ms) const
{
    QDeadlineTimer deadline(ms);
    while (grab(window, client) == before) {
        if (deadline.hasExpired())
            return false;
        QThread::msleep(kPollMs);
    }
    return true;
}

bool XDriver::waitForLook(const Window &window, QRect client, const QImage &look, int ms) const
{
    QDeadlineTimer deadline(ms);
    while (grab(window, client) != look) {
        if (deadline.hasExpired())
            return false;
        QThread::msleep(kPollMs);
    }
    return true;
}

QString XDriver::describeWindows() const
{
    QStringList out;
    const QStringList ids = run({QStringLiteral("search"), QStringLiteral("--onlyvisible"), QStringLiteral("--name"),
                                 QStringLiteral(".")})
                                .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    for (const QString &id : ids) {
        out << run({QStringLiteral("getwindowname"), id}).trimmed() + QLatin1Char(' ')
                   + run({QStringLiteral("getwindowgeometry"), id}).simplified();
    }
    const QPoint p = pointer();
    return out.join(QStringLiteral("; ")) + QStringLiteral("; pointer %1,%2").arg(p.x()).arg(p.y());
}
