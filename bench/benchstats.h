#pragma once

// Figures shared by the benchmarks: the median and percentiles of samples
// and the median duration of repeated calls.

#include <algorithm>
#include <chrono>
#include <cmath>
#include <ratio>
#include <vector>

namespace benchstats {

using Clock = std::chrono::steady_clock;

/// Median of the samples (mean of the middle two for an even count); 0 for none.
inline double median(std::vector<double> v)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

/// The nearest-rank percentile `p` (0.99: p99) of the samples; 0 for none.
inline double percentile(std::vector<double> v, double p)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    const size_t i = size_t(std::ceil(p * double(v.size()))) - 1;
    return v[std::min(i, v.size() - 1)];
}

/// Median duration of `runs` calls, in the unit given (std::milli: milliseconds).
template <typename Unit, typename F>
double medianOfCalls(int runs, F &&call)
{
    std::vector<double> samples;
    samples.reserve(size_t(runs));
    for (int i = 0; i < runs; ++i) {
        const auto t0 = Clock::now();
        call();
        samples.push_back(std::chrono::duration<double, Unit>(Clock::now() - t0).count());
    }
    return median(std::move(samples));
}

} // namespace benchstats
