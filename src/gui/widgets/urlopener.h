#pragma once

// Opens web pages in the desktop's default browser. The opener is held in one
// replaceable function so that tests can see which address would be opened
// without starting a browser.

#include <QUrl>

#include <functional>

class UrlOpener {
public:
    using Function = std::function<bool(const QUrl &)>;

    /// Hands the address to the current opener; true when it says it started.
    static bool open(const QUrl &url);
    /// Replaces the opener; an empty function brings back the desktop's browser.
    static void setOpener(Function opener);

private:
    static Function &current();
};
