#include "gui/dialogs/formbody.h"

#include <QUrlQuery>

QByteArray FormBody::encode(const Pairs &pairs)
{
    QUrlQuery query;
    for (const auto &[key, value] : pairs)
        query.addQueryItem(key, value);
    // QUrlQuery leaves "+" alone, but form decoders read it as a space.
    QString text = query.toString(QUrl::FullyEncoded);
    text.replace(QLatin1Char('+'), QLatin1String("%2B"));
    return text.toUtf8();
}
