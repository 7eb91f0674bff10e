#pragma once

// Typing a text on a Wayland desktop whose keyboard layout lacks some of its
// characters: the layout's characters go as keys, a run of the others is
// pasted at its first one, as a whole, and its other units are passed over.
// The caller sends the text a UTF-16 unit at a time (down and up), after
// announcing it whole (Desktop::textBegins); this follows where it is.

#include <atomic>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace platform {

/// The code points of UTF-16 text, with the unit index each starts at; a
/// lone surrogate stands for itself.
std::vector<std::pair<char32_t, size_t>> codePoints(const std::u16string &text);

/// Appends a code point as UTF-16.
void appendCodePoint(std::u16string &text, char32_t cp);

/// The characters of `text` for which `typable` is false, each once, in
/// the order found.
std::u16string untypableIn(const std::u16string &text, const std::function<bool(char32_t)> &typable);

class TextRuns {
public:
    /// What a unit's down asks for.
    struct Step {
        enum class Kind { Nothing, Key, Paste } kind = Kind::Nothing;
        char32_t codePoint = 0;     ///< Key: the character to press
        std::u16string run;         ///< Paste: the characters to paste
        const std::atomic<bool> *stop = nullptr; ///< Paste: the caller's stop flag
    };

    /// The text the next units come from, and the caller's stop flag.
    void begin(const std::u16string &text, const std::atomic<bool> *stop);
    /// The text is over.
    void done();
    /// A unit went down: press a key for one character, paste a run (that
    /// reaches to the next character `typable` accepts), or nothing (half a
    /// surrogate pair, a unit of a run pasted already).
    Step down(char16_t unit, const std::function<bool(char32_t)> &typable);

private:
    std::u16string text_;
    size_t next_ = 0; // unit of text_ the next down is
    size_t skip_ = 0; // units still to pass over: pasted already
    const std::atomic<bool> *stop_ = nullptr;
    char16_t highSurrogate_ = 0;
};

} // namespace platform
