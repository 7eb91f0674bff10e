#pragma once

// The program's own default for Qt's message log. Its debug lines (page
// lists, "言語変更", the letters of the page strip) are for developers: on
// Linux they would go to the terminal the program was started from, so they
// are off there unless QT_LOGGING_RULES asks for them. Warnings stay on.

#include <QProcessEnvironment>
#include <QString>

class LogRules {
public:
    /// Filter rules for QLoggingCategory::setFilterRules, or empty to leave
    /// Qt's defaults alone. `kernelType` as QSysInfo gives it.
    static QString defaults(const QProcessEnvironment &env, const QString &kernelType);
    /// Applies defaults() to this process; call before anything logs.
    static void apply();
};
