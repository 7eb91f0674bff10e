#pragma once

// Makes every write past `bytes` fail for as long as the object lives
// (RLIMIT_FSIZE works for root too, unlike permission tricks).

#include <csignal>
#include <sys/resource.h>

struct FileSizeLimit {
    explicit FileSizeLimit(rlim_t bytes)
    {
        getrlimit(RLIMIT_FSIZE, &old);
        previous = std::signal(SIGXFSZ, SIG_IGN);
        rlimit r = old;
        r.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &r);
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &old);
        std::signal(SIGXFSZ, previous);
    }
    rlimit old{};
    void (*previous)(int) = nullptr;
};
