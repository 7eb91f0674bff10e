#include "project/records.h"

namespace records {

QString timeText(double seconds)
{
    return QString::number(seconds, 'g', 6);
}

QString integerText(int value)
{
    return QString::number(value, 10);
}

} // namespace records
