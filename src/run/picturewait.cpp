#include "run/picturewait.h"

#include "project/picture.h"
#include "run/picturematch.h"
#include "run/run.h"
#include "settings/text.h"

#include <QImage>

#include <chrono>
#include <optional>

namespace picturewait {

QString notFoundMessage(int page, bool japanese)
{
    return Text{"%1 ページ目の画像が画面に見つからなかったため、実行を終えました。",
                "The picture of page %1 did not appear on the screen; the run ended there."}
        .in(japanese)
        .arg(page);
}

Result wait(Run &run, const QString &pictureText, int tolerance, bool vanish, double seconds)
{
    using Clock = std::chrono::steady_clock;
    const QImage image = picture::decode(pictureText);
    const std::vector<std::uint32_t> pixels = picture::pixelsOf(image);
    std::optional<picturematch::Matcher> matcher;
    if (!image.isNull())
        matcher.emplace(picturematch::View{pixels.data(), image.width(), image.height(), image.width()}, tolerance);

    const auto start = Clock::now();
    const auto limit = std::chrono::duration_cast<Clock::duration>(
        std::chrono::duration<double>(std::min(seconds, Run::kLongestSeconds)));
    auto desktop = platform::currentDesktop();
    platform::ScreenImage screen; // one buffer for every look
    for (;;) {
        const auto lookedAt = Clock::now();
        if (run.isStopRequested())
            return {Result::Outcome::Stopped, {}};
        if (!desktop->grab(desktop->screenRect(), screen))
            return {Result::Outcome::Unreadable, {}};
        std::optional<picturematch::Position> found;
        if (matcher) {
            const platform::Rect &area = screen.area;
            found = matcher->first(picturematch::View{screen.pixels.data(), area.width, area.height, area.width});
        }
        if (found.has_value() != vanish) {
            Result met{Result::Outcome::Met, {}};
            if (found)
                met.centre = platform::Point{screen.area.x + found->x + image.width() / 2,
                                             screen.area.y + found->y + image.height() / 2};
            return met;
        }
        if (seconds >= 0 && Clock::now() - start >= limit)
            return {Result::Outcome::TimedOut, {}};
        // The next look a fixed time after this one began, whatever the
        // search cost, and never past the time limit.
        auto next = lookedAt + std::chrono::milliseconds(kLookEveryMs);
        if (seconds >= 0)
            next = std::min(next, start + limit);
        const double pause = std::chrono::duration<double>(next - Clock::now()).count();
        if (pause > 0 && !run.interruptibleWait(pause))
            return {Result::Outcome::Stopped, {}};
    }
}

} // namespace picturewait
