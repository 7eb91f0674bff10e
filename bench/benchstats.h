#pragma once

// Figures shared by the benchmarks: the median and percentiles of samples,
// the median duration of repeated calls, durations in milliseconds and the
// CPU time of the process.

#include <algorithm>
#include <chrono>
#include <cmath>
#include <ratio>
#include <vector>

#include <sys/resource.h>

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

/// A duration in milliseconds.
inline double ms(Clock::duration d)
{
    return std::chrono::duration<double, std::milli>(d).count();
}

/// CPU seconds this process has used (all threads, user and system).
inline double cpuSeconds()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

} // namespace benchstats
