#pragma once

// What the benchmarks that measure the Windows program under Wine share:
// where Wine and the built Windows programs are (built in by CMake, the
// environment may say otherwise) and their own Wine prefix.

#include "../tests/win32/wineprefix.h"

#include <QCoreApplication>
#include <QString>

namespace benchwine {

/// The environment variable `name` when set, otherwise the path CMake built in.
inline QString setting(const char *name, const char *builtIn)
{
    const QString v = qEnvironmentVariable(name);
    return v.isEmpty() ? QString::fromUtf8(builtIn) : v;
}

inline QString wine()
{
    return setting("TERVALO_WINE", TERVALO_WINE_BUILT_IN);
}

inline QString wineserver()
{
    return setting("TERVALO_WINESERVER", TERVALO_WINESERVER_BUILT_IN);
}

/// The benchmarks' prefix, beside them in build/bin: the first one to run
/// makes it (wineboot, up to a minute), the others reuse it.
inline QString prefixFolder()
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/bench-wineprefix");
}

} // namespace benchwine
