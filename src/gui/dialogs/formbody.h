#pragma once

// Builds the body of an HTML-form submission
// (application/x-www-form-urlencoded) from key/value pairs.

#include <QByteArray>
#include <QList>
#include <QString>

#include <utility>

class FormBody {
public:
    using Pairs = QList<std::pair<QString, QString>>;

    /// Pairs joined with "&", key and value with "="; everything outside the
    /// URL-safe characters is percent-encoded UTF-8, a space is "%20" and a
    /// plus sign "%2B", so a form decoder gives back exactly the text given.
    static QByteArray encode(const Pairs &pairs);
};
