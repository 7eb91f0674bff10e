#pragma once

// What the harnesses share: a check that turns a broken invariant into a
// crash libFuzzer records, and a message handler that keeps the program's
// diagnostics out of the fuzzer's output while still letting qFatal abort.

#include <QDebug>
#include <QLoggingCategory>
#include <QString>
#include <QtGlobal>

#include <cstdio>
#include <cstdlib>

#define FUZZ_CHECK(condition)                                                                  \
    do {                                                                                       \
        if (!(condition)) {                                                                    \
            std::fprintf(stderr, "%s:%d: invariant broken: %s\n", __FILE__, __LINE__, #condition); \
            std::abort();                                                                      \
        }                                                                                      \
    } while (false)

namespace fuzzsupport {

inline void quietMessages(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type == QtFatalMsg) {
        std::fprintf(stderr, "qFatal: %s\n", qPrintable(message));
        std::abort();
    }
}

/// Silences debug and warning lines (every load and save logs some). Debug
/// lines are switched off at their source, so the editor's bulky dumps are
/// not even formatted.
inline void silenceLog()
{
    QLoggingCategory::setFilterRules(QStringLiteral("*.debug=false"));
    qInstallMessageHandler(quietMessages);
}

/// Printable form of a value for the message before an abort.
inline void dump(const char *what, const QString &value)
{
    std::fprintf(stderr, "%s: %s\n", what, qPrintable(value));
}

} // namespace fuzzsupport
