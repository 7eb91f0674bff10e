#pragma once

// A tiny self-checking test runner for programs that cannot use QtTest (the
// Windows backend is cross-compiled without Qt). Cases are named; a
// data-driven case registers one case per row. A failed check ends its case
// (or row) and is reported with the values compared; the program prints
// "N passed, N failed" and exits non-zero when anything failed.

#include <cstdio>
#include <functional>
#include <ostream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace check {

class Runner {
public:
    static Runner &instance()
    {
        static Runner runner;
        return runner;
    }

    void add(std::string name, std::function<void()> body)
    {
        cases_.push_back({std::move(name), std::move(body)});
    }

    /// One case per row, named "case:row"; Row needs a `name` member.
    template<class Row>
    void addRows(const std::string &name, std::vector<Row> rows, std::function<void(const Row &)> body)
    {
        for (const Row &row : rows)
            add(name + ":" + row.name, [row, body] { body(row); });
    }

    void fail(const char *file, int line, const std::string &what)
    {
        if (!failed_)
            std::printf("FAIL %s\n", current_.c_str());
        std::printf("    %s:%d: %s\n", file, line, what.c_str());
        failed_ = true;
    }

    /// Runs every case whose name contains `filter` (all when empty).
    int run(const std::string &filter)
    {
        int passed = 0;
        int failed = 0;
        for (const auto &[name, body] : cases_) {
            if (!filter.empty() && name.find(filter) == std::string::npos)
                continue;
            current_ = name;
            failed_ = false;
            body();
            if (failed_) {
                ++failed;
            } else {
                ++passed;
                std::printf("PASS %s\n", name.c_str());
            }
            std::fflush(stdout);
        }
        std::printf("%d passed, %d failed\n", passed, failed);
        return failed == 0 && passed > 0 ? 0 : 1;
    }

private:
    std::vector<std::pair<std::string, std::function<void()>>> cases_;
    std::string current_;
    bool failed_ = false;
};

template<class T>
std::ostream &operator<<(std::ostream &out, const std::vector<T> &list)
{
    out << "[";
    for (size_t i = 0; i < list.size(); ++i)
        out << (i ? " " : "") << list[i];
    return out << "]";
}

template<class A, class B>
std::string describeMismatch(const char *actualText, const char *expectedText, const A &actual, const B &expected)
{
    std::ostringstream out;
    out << actualText << " == " << expectedText << "\n      actual:   " << actual
        << "\n      expected: " << expected;
    return out.str();
}

} // namespace check

#define CHECK(cond)                                                                    \
    do {                                                                               \
        if (!(cond)) {                                                                 \
            check::Runner::instance().fail(__FILE__, __LINE__, "CHECK(" #cond ")");    \
            return;                                                                    \
        }                                                                              \
    } while (0)

#define CHECK_EQ(actual, expected)                                                     \
    do {                                                                               \
        const auto &check_a_ = (actual);                                               \
        const auto &check_e_ = (expected);                                             \
        if (!(check_a_ == check_e_)) {                                                 \
            check::Runner::instance().fail(                                            \
                __FILE__, __LINE__,                                                    \
                check::describeMismatch(#actual, #expected, check_a_, check_e_));      \
            return;                                                                    \
        }                                                                              \
    } while (0)
