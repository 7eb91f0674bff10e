#include "platform/textruns.h"

namespace platform {

std::vector<std::pair<char32_t, size_t>> codePoints(const std::u16string &text)
{
    std::vector<std::pair<char32_t, size_t>> points;
    for (size_t i = 0; i < text.size(); ++i) {
        const char16_t u = text[i];
        if (u >= 0xD800 && u <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            points.emplace_back(0x10000 + ((char32_t(u) - 0xD800) << 10) + (char32_t(text[i + 1]) - 0xDC00), i);
            ++i;
        } else {
            points.emplace_back(u, i);
        }
    }
    return points;
}

void appendCodePoint(std::u16string &text, char32_t cp)
{
    if (cp >= 0x10000) {
        text += char16_t(0xD800 + ((cp - 0x10000) >> 10));
        text += char16_t(0xDC00 + ((cp - 0x10000) & 0x3FF));
    } else {
        text += char16_t(cp);
    }
}

std::u16string untypableIn(const std::u16string &text, const std::function<bool(char32_t)> &typable)
{
    std::u16string missing;
    for (const auto &[cp, index] : codePoints(text)) {
        std::u16string one;
        appendCodePoint(one, cp);
        if (!typable(cp) && missing.find(one) == std::u16string::npos)
            missing += one;
    }
    return missing;
}

void TextRuns::begin(const std::u16string &text, const std::atomic<bool> *stop)
{
    text_ = text;
    next_ = 0;
    skip_ = 0;
    stop_ = stop;
}

void TextRuns::done()
{
    text_.clear();
    stop_ = nullptr;
}

TextRuns::Step TextRuns::down(char16_t unit, const std::function<bool(char32_t)> &typable)
{
    Step step;
    // Within the text announced, where the caller is in it.
    const bool inText = next_ < text_.size() && text_[next_] == unit;
    const size_t at = next_;
    if (inText)
        ++next_;
    if (inText && skip_ > 0) {
        --skip_;
        return step;
    }
    char32_t codePoint = unit;
    size_t start = at;
    if (unit >= 0xD800 && unit <= 0xDBFF) {
        highSurrogate_ = unit;
        return step;
    }
    if (unit >= 0xDC00 && unit <= 0xDFFF) {
        const char16_t high = std::exchange(highSurrogate_, 0);
        if (!high)
            return step;
        codePoint = 0x10000 + ((char32_t(high) - 0xD800) << 10) + (char32_t(unit) - 0xDC00);
        start = at - 1;
    }
    if (typable(codePoint)) {
        step.kind = Step::Kind::Key;
        step.codePoint = codePoint;
        return step;
    }
    step.kind = Step::Kind::Paste;
    step.stop = stop_;
    if (inText && start < text_.size()) {
        // The run reaches to the next character the layout has.
        for (const auto &[cp, index] : codePoints(text_.substr(start))) {
            if (typable(cp))
                break;
            appendCodePoint(step.run, cp);
        }
        skip_ = start + step.run.size() - next_;
    } else {
        appendCodePoint(step.run, codePoint);
    }
    return step;
}

} // namespace platform
