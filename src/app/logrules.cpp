#include "app/logrules.h"

#include <QLoggingCategory>
#include <QSysInfo>

QString LogRules::defaults(const QProcessEnvironment &env, const QString &kernelType)
{
    // On Windows the debug lines go to a debugger only, which is where a
    // developer wants them.
    if (kernelType != QLatin1String("linux") || env.contains(QStringLiteral("QT_LOGGING_RULES")))
        return QString();
    return QStringLiteral("*.debug=false");
}

void LogRules::apply()
{
    const QString rules = defaults(QProcessEnvironment::systemEnvironment(), QSysInfo::kernelType());
    if (!rules.isEmpty())
        QLoggingCategory::setFilterRules(rules);
}
