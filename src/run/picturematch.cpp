#include "run/picturematch.h"

#include <algorithm>
#include <cstdlib>
#include <type_traits>

// x86-64 only (Linux and Windows alike): byte-wise differences for the
// tolerant scan, about twice as fast as the vectorised per-channel loop.
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

// How a search stays fast: a whole-picture comparison at every place costs
// width * height * pictureWidth * pictureHeight pixel tests (about 4.6
// billion for 48x48 on 1920x1080). Instead one pixel of the picture, the
// anchor, is looked for first with a tight loop over the screen; only where
// it matches are a few more pixels compared, and only where those match the
// whole picture. The anchors (two, tested together) are the picture pixels
// whose colours are rarest on this screen, estimated from a sparse sample of
// the screen, so that on a screen of large plain areas and text the
// candidates are few.

namespace picturematch {

namespace {

constexpr std::uint32_t kRgb = 0x00ffffff;
// Pixels compared before the whole picture: the anchors and the next checks,
// chosen per screen out of more that the picture offers (its rarest colours
// and a grid over it, since neighbouring pixels tend to match together).
// More cost the sampling without sparing much; fewer let more candidates
// through to the whole comparison.
constexpr std::size_t kMaxProbes = 8;
constexpr std::size_t kRareColours = 16;
constexpr int kGrid = 4; // kGrid x kGrid pixels spread over the picture
// Places sampled to choose the probes: about 4000, some 0.2 ms.
constexpr int kSampleRows = 64;
constexpr int kSampleColumns = 64;
// Candidates of the anchor are looked for this many pixels at a time: a
// fixed count the compiler turns into vector instructions.
constexpr int kBlock = 16;

bool valid(const View &v)
{
    return v.pixels && v.width > 0 && v.height > 0 && v.stride >= v.width;
}

const std::uint32_t *rowOf(const View &v, int y)
{
    return v.pixels + std::ptrdiff_t(y) * v.stride;
}

// One colour within the tolerance of another, channel by channel. Written
// without branches so that the loops below vectorise.
struct Near {
    int r, g, b;
    unsigned tolerance, span;
    Near(std::uint32_t rgb, int t)
        : r(int((rgb >> 16) & 0xff)), g(int((rgb >> 8) & 0xff)), b(int(rgb & 0xff)), tolerance(unsigned(t)),
          span(2 * unsigned(t))
    {
    }
    // 1 when near, 0 otherwise: |c - r| <= t  <=>  (c - r + t) in [0, 2t].
    unsigned operator()(std::uint32_t p) const
    {
        const unsigned dr = unsigned(int((p >> 16) & 0xff) - r) + tolerance;
        const unsigned dg = unsigned(int((p >> 8) & 0xff) - g) + tolerance;
        const unsigned db = unsigned(int(p & 0xff) - b) + tolerance;
        return unsigned(dr <= span) & unsigned(dg <= span) & unsigned(db <= span);
    }
};

// Exact comparison: the same answer as Near with tolerance 0, cheaper.
struct Same {
    std::uint32_t rgb;
    explicit Same(std::uint32_t c) : rgb(c & kRgb) {}
    unsigned operator()(std::uint32_t p) const { return unsigned(((p ^ rgb) & kRgb) == 0); }
};

// Whether any of kBlock places from x on may hold: by default test() at each.
template <typename Test>
struct AnyOf {
    const Test &test;
    unsigned operator()(int x) const
    {
        unsigned any = 0;
        for (int i = 0; i < kBlock; ++i)
            any |= test(x + i);
        return any;
    }
};

#if defined(__SSE2__)
// Both rows' pixels within the tolerance of their anchors, four at a time:
// |p - a| per byte as two saturated subtractions, then over the tolerance
// where a saturated subtraction of it leaves anything.
struct AnyNearSse2 {
    const std::uint32_t *rowA, *rowB;
    __m128i a, b, tolerance, rgb;
    AnyNearSse2(const std::uint32_t *ra, const std::uint32_t *rb, std::uint32_t ca, std::uint32_t cb, int t)
        : rowA(ra), rowB(rb), a(_mm_set1_epi32(int(ca))), b(_mm_set1_epi32(int(cb))),
          tolerance(_mm_set1_epi8(char(t))), rgb(_mm_set1_epi32(int(kRgb)))
    {
    }
    static __m128i over(__m128i v, __m128i c, __m128i t)
    {
        return _mm_subs_epu8(_mm_or_si128(_mm_subs_epu8(v, c), _mm_subs_epu8(c, v)), t);
    }
    unsigned operator()(int x) const
    {
        __m128i ok = _mm_setzero_si128();
        for (int i = 0; i < kBlock; i += 4) {
            const __m128i va = _mm_loadu_si128(reinterpret_cast<const __m128i *>(rowA + x + i));
            const __m128i vb = _mm_loadu_si128(reinterpret_cast<const __m128i *>(rowB + x + i));
            const __m128i bad = _mm_and_si128(_mm_or_si128(over(va, a, tolerance), over(vb, b, tolerance)), rgb);
            ok = _mm_or_si128(ok, _mm_cmpeq_epi32(bad, _mm_setzero_si128()));
        }
        return unsigned(_mm_movemask_epi8(ok));
    }
};
#endif

// Calls hit(x) for every x in [0, n) where test(x) holds, in order, until
// hit returns false; `any` tells whether a block of kBlock may hold any.
// Returns false when it was stopped.
template <typename Any, typename Test, typename Hit>
bool scan(int n, const Any &any, const Test &test, Hit &&hit)
{
    int x = 0;
    for (; x + kBlock <= n; x += kBlock) {
        if (!any(x))
            continue;
        for (int i = 0; i < kBlock; ++i)
            if (test(x + i) && !hit(x + i))
                return false;
    }
    for (; x < n; ++x)
        if (test(x) && !hit(x))
            return false;
    return true;
}

} // namespace

Matcher::Matcher(const View &picture, int tolerance)
    : m_tolerance(std::clamp(tolerance, 0, 255))
{
    if (!valid(picture))
        return;
    m_width = picture.width;
    m_height = picture.height;
    m_pixels.reserve(std::size_t(m_width) * std::size_t(m_height));
    for (int y = 0; y < m_height; ++y) {
        const std::uint32_t *row = rowOf(picture, y);
        for (int x = 0; x < m_width; ++x)
            m_pixels.push_back(row[x] & kRgb);
    }

    // The picture's colours, rarest first; ties in reading order of their
    // first pixel.
    struct Colour {
        std::uint32_t rgb;
        std::size_t count;
        std::size_t first;
    };
    std::vector<std::uint32_t> sorted = m_pixels;
    std::sort(sorted.begin(), sorted.end());
    std::vector<Colour> colours;
    for (std::size_t i = 0; i < sorted.size();) {
        std::size_t j = i;
        while (j < sorted.size() && sorted[j] == sorted[i])
            ++j;
        colours.push_back({sorted[i], j - i, 0});
        i = j;
    }
    for (std::size_t i = m_pixels.size(); i-- > 0;) {
        auto c = std::lower_bound(colours.begin(), colours.end(), m_pixels[i],
                                  [](const Colour &a, std::uint32_t v) { return a.rgb < v; });
        c->first = i;
    }
    std::sort(colours.begin(), colours.end(), [](const Colour &a, const Colour &b) {
        return a.count != b.count ? a.count < b.count : a.first < b.first;
    });

    // Candidate probes: a pixel of each of the rarest colours (the middle
    // one of its kind), clearly different colours first, since two colours
    // within the tolerance of each other reject the same screen pixels;
    // then a grid over the picture.
    std::vector<std::size_t> picked;
    auto add = [&](std::size_t at) {
        if (std::find(picked.begin(), picked.end(), at) != picked.end())
            return;
        picked.push_back(at);
        m_probes.push_back({int(at % std::size_t(m_width)), int(at / std::size_t(m_width)), m_pixels[at]});
    };
    auto middleOf = [&](std::uint32_t rgb, std::size_t count) {
        std::size_t seen = 0;
        for (std::size_t i = 0; i < m_pixels.size(); ++i)
            if (m_pixels[i] == rgb && seen++ == count / 2)
                return i;
        return std::size_t(0);
    };
    std::vector<bool> taken(colours.size(), false);
    for (std::size_t i = 0; i < colours.size() && m_probes.size() < kRareColours; ++i) {
        const Near near(colours[i].rgb, m_tolerance);
        if (std::none_of(m_probes.begin(), m_probes.end(), [&](const Probe &p) { return near(p.rgb); })) {
            taken[i] = true;
            add(middleOf(colours[i].rgb, colours[i].count));
        }
    }
    for (std::size_t i = 0; i < colours.size() && m_probes.size() < kRareColours; ++i)
        if (!taken[i])
            add(middleOf(colours[i].rgb, colours[i].count));
    for (int gy = 0; gy < kGrid; ++gy)
        for (int gx = 0; gx < kGrid; ++gx)
            add(std::size_t((2 * gy + 1) * m_height / (2 * kGrid)) * std::size_t(m_width)
                + std::size_t((2 * gx + 1) * m_width / (2 * kGrid)));
}

int Matcher::width() const
{
    return m_width;
}

int Matcher::height() const
{
    return m_height;
}

std::optional<Position> Matcher::first(const View &screen) const
{
    const std::vector<Position> found = search(screen, 1);
    if (found.empty())
        return std::nullopt;
    return found.front();
}

std::vector<Position> Matcher::all(const View &screen, std::size_t limit) const
{
    return search(screen, limit);
}

// The probes to test, best first: on a sample of the places of this screen,
// each next probe is the one that the fewest of the places still left by the
// probes before it match. The first two are the anchors.
std::vector<Matcher::Probe> Matcher::probeOrder(const View &screen) const
{
    const int rows = screen.height - m_height + 1, columns = screen.width - m_width + 1;
    const int rowStep = std::max(1, rows / kSampleRows);
    // Odd, so that the sample does not fall in step with a pattern of even width.
    const int columnStep = std::max(1, columns / kSampleColumns) | 1;
    std::vector<std::uint32_t> places; // screen offsets of sampled top-left corners
    for (int y = rowStep / 2; y < rows; y += rowStep)
        for (int x = (y / rowStep) % columnStep; x < columns; x += columnStep)
            places.push_back(std::uint32_t(std::ptrdiff_t(y) * screen.stride + x));

    // Which sampled places each probe matches, one bit each.
    const std::size_t words = (places.size() + 63) / 64;
    std::vector<std::uint64_t> matches(m_probes.size() * words, 0);
    for (std::size_t k = 0; k < m_probes.size(); ++k) {
        const Near near(m_probes[k].rgb, m_tolerance);
        const std::uint32_t *at = rowOf(screen, m_probes[k].y) + m_probes[k].x;
        std::uint64_t *bits = matches.data() + k * words;
        for (std::size_t i = 0; i < places.size(); ++i)
            bits[i / 64] |= std::uint64_t(near(at[places[i]])) << (i % 64);
    }

    auto count = [](std::uint64_t w) {
        int n = 0;
        for (; w; w &= w - 1)
            ++n;
        return n;
    };
    std::vector<std::uint64_t> left(words, ~std::uint64_t(0));
    std::vector<bool> used(m_probes.size(), false);
    std::vector<Probe> order;
    while (order.size() < std::min(kMaxProbes, m_probes.size())) {
        std::size_t best = 0;
        long bestLeft = -1, bestAlone = 0;
        for (std::size_t k = 0; k < m_probes.size(); ++k) {
            if (used[k])
                continue;
            long both = 0, alone = 0;
            for (std::size_t w = 0; w < words; ++w) {
                both += count(left[w] & matches[k * words + w]);
                alone += count(matches[k * words + w]);
            }
            if (bestLeft < 0 || both < bestLeft || (both == bestLeft && alone < bestAlone)) {
                best = k;
                bestLeft = both;
                bestAlone = alone;
            }
        }
        used[best] = true;
        for (std::size_t w = 0; w < words; ++w)
            left[w] &= matches[best * words + w];
        order.push_back(m_probes[best]);
    }
    return order;
}

bool Matcher::wholeMatch(const View &screen, int x, int y) const
{
    for (int py = 0; py < m_height; ++py) {
        const std::uint32_t *s = rowOf(screen, y + py) + x;
        const std::uint32_t *p = m_pixels.data() + std::size_t(py) * std::size_t(m_width);
        unsigned bad = 0;
        if (m_tolerance == 0) {
            for (int i = 0; i < m_width; ++i)
                bad |= (s[i] ^ p[i]) & kRgb;
        } else {
            for (int i = 0; i < m_width; ++i) {
                const Near pixel(p[i], m_tolerance);
                bad |= pixel(s[i]) ^ 1u;
            }
        }
        if (bad)
            return false;
    }
    return true;
}

std::vector<Position> Matcher::search(const View &screen, std::size_t limit) const
{
    std::vector<Position> found;
    if (limit == 0 || m_pixels.empty() || !valid(screen) || m_width > screen.width || m_height > screen.height)
        return found;
    const std::vector<Probe> probes = probeOrder(screen);
    // The two rarest probes are tested together in the tight loop: a place
    // goes on to the other checks only where both match.
    const Probe &a = probes.front();
    const Probe &b = probes.size() > 1 ? probes[1] : probes.front();
    const int places = screen.width - m_width + 1;

    auto run = [&](const auto &testA, const auto &testB) {
        for (int y = 0; y + m_height <= screen.height; ++y) {
            const std::uint32_t *rowA = rowOf(screen, y + a.y) + a.x;
            const std::uint32_t *rowB = rowOf(screen, y + b.y) + b.x;
            const auto both = [&](int x) { return testA(rowA[x]) & testB(rowB[x]); };
            const auto any = [&] {
#if defined(__SSE2__)
                if constexpr (std::is_same_v<std::decay_t<decltype(testA)>, Near>)
                    return AnyNearSse2(rowA, rowB, a.rgb, b.rgb, m_tolerance);
                else
#endif
                    return AnyOf<decltype(both)>{both};
            }();
            const bool more = scan(places, any, both, [&](int x) {
                for (std::size_t k = 2; k < probes.size(); ++k) {
                    const Probe &p = probes[k];
                    if (!Near(p.rgb, m_tolerance)(rowOf(screen, y + p.y)[x + p.x]))
                        return true;
                }
                if (wholeMatch(screen, x, y))
                    found.push_back({x, y});
                return found.size() < limit;
            });
            if (!more)
                return;
        }
    };
    if (m_tolerance == 0)
        run(Same(a.rgb), Same(b.rgb));
    else
        run(Near(a.rgb, m_tolerance), Near(b.rgb, m_tolerance));
    return found;
}

} // namespace picturematch
