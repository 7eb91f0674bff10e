#pragma once

#include <QProcessEnvironment>

// The environment of a program a test starts as a person's desktop would:
// a clean one, so that nothing of the test's own settings leaks in, except
// the sanitizers' options, so that an instrumented child reads the same
// suppressions and writes its reports where the sanitizer stage looks.
namespace childenvironment {

inline void passSanitizerOptions(QProcessEnvironment &env)
{
    const QProcessEnvironment own = QProcessEnvironment::systemEnvironment();
    for (const QString &name : own.keys()) {
        if (name.endsWith(QStringLiteral("SAN_OPTIONS")))
            env.insert(name, own.value(name));
    }
}

/// DISPLAY, HOME and XDG_RUNTIME_DIR (a folder `runtime` in `home`, which the
/// caller makes) and the sanitizers' options.
inline QProcessEnvironment desktopSession(const QString &home)
{
    QProcessEnvironment env;
    env.insert(QStringLiteral("DISPLAY"), qEnvironmentVariable("DISPLAY"));
    env.insert(QStringLiteral("HOME"), home);
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), home + QStringLiteral("/runtime"));
    passSanitizerOptions(env);
    return env;
}

} // namespace childenvironment
