#pragma once

// The texts the typing benchmarks type, and how a received text is timed
// and scored against them, so that every typist is measured on the same
// characters in the same way.

#include "platform/desktop.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QList>
#include <QPlainTextEdit>
#include <QRandomGenerator>
#include <QString>

#include <algorithm>
#include <atomic>
#include <functional>
#include <thread>
#include <vector>

namespace benchtexts {

// Characters that differ between the typed and the received text, counted
// as an edit distance (a lost character counts once, not for the whole tail).
inline int differences(const QString &a, const QString &b)
{
    const auto ua = a.toUcs4();
    const auto ub = b.toUcs4();
    std::vector<int> prev(size_t(ub.size()) + 1), cur(size_t(ub.size()) + 1);
    for (int j = 0; j <= ub.size(); ++j)
        prev[size_t(j)] = j;
    for (int i = 1; i <= ua.size(); ++i) {
        cur[0] = i;
        for (int j = 1; j <= ub.size(); ++j) {
            const int subst = prev[size_t(j - 1)] + (ua[i - 1] == ub[j - 1] ? 0 : 1);
            cur[size_t(j)] = std::min({subst, prev[size_t(j)] + 1, cur[size_t(j - 1)] + 1});
        }
        std::swap(prev, cur);
    }
    return prev[size_t(ub.size())];
}

inline QString asciiText(int n)
{
    QRandomGenerator random(42);
    QString s;
    for (int i = 0; i < n; ++i)
        s += QChar(char16_t(0x20 + random.bounded(0x7f - 0x20)));
    return s;
}

inline QString japaneseText(int n)
{
    // Hiragana, katakana and common kanji: far more distinct characters than
    // a keymap has spare keys, with repeats as real text has.
    const QString pool = QStringLiteral(
        "あいうえおかきくけこさしすせそたちつてとなにぬねのはひふへほまみむめもやゆよらりるれろわをん"
        "アイウエオカキクケコサシスセソタチツテトナニヌネノ日本語文字入力速度試験東京大阪時間今年月火水木金土");
    QRandomGenerator random(7);
    QString s;
    for (int i = 0; i < n; ++i)
        s += pool.at(int(random.bounded(pool.size())));
    return s;
}

// Kana from a pool of 30: every distinct one fits the spare keys of a
// common keymap at once, so no key is rebound while the text types.
inline QString fewKanaText(int n)
{
    QRandomGenerator random(11);
    QString s;
    for (int i = 0; i < n; ++i)
        s += QChar(char16_t(0x3042 + random.bounded(30)));
    return s;
}

/// One typist's run of a text.
struct Outcome {
    double seconds = 0; ///< until the whole text had arrived (or the last change)
    int lost = 0;       ///< characters missing, extra or wrong
};

/// Waits until the field holds the text, or nothing has changed for 3 s
/// after the typist finished (2 minutes at most), handling the field's
/// events meanwhile; the time counts from `clock`'s start.
inline Outcome waitForText(QPlainTextEdit &field, const QString &expected, QElapsedTimer &clock,
                           const std::function<bool()> &typistDone)
{
    QString last;
    qint64 lastChange = clock.elapsed();
    qint64 arrival = -1;
    for (;;) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
        const QString now = field.toPlainText();
        if (now != last) {
            last = now;
            lastChange = clock.elapsed();
        }
        if (now == expected && arrival < 0)
            arrival = clock.elapsed();
        if ((arrival >= 0 && typistDone()) || (typistDone() && clock.elapsed() - lastChange > 3000)
            || clock.elapsed() > 120000)
            break;
    }
    return Outcome{(arrival >= 0 ? arrival : lastChange) / 1000.0, differences(expected, field.toPlainText())};
}

/// Empties the field, then times our backend typing the text into it as the
/// engine does at its shortest: the text announced first (`announce`),
/// every unit down and up without a pause, then the end of the text.
inline Outcome typeWithDesktop(platform::Desktop &desktop, QPlainTextEdit &field, const QString &text, bool announce)
{
    field.clear();
    QCoreApplication::processEvents();
    QElapsedTimer clock;
    clock.start();
    std::atomic<bool> done{false};
    const std::atomic<bool> stop{false};
    std::thread typist([&] {
        if (announce)
            desktop.textBegins(text.toStdU16String(), &stop);
        for (QChar c : text) {
            desktop.unicodeUnit(c.unicode(), true);
            desktop.unicodeUnit(c.unicode(), false);
        }
        desktop.textDone();
        done = true;
    });
    const Outcome out = waitForText(field, text, clock, [&] { return done.load(); });
    typist.join();
    return out;
}

} // namespace benchtexts
