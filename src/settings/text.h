#pragma once

// A text the program shows, written once in both its languages. The one
// shown follows the interface language (Japanese unless the person switched
// to English; the command line follows the locale).

#include <QString>

struct Text {
    const char *ja; // UTF-8
    const char *en;
    QString in(bool japanese) const { return QString::fromUtf8(japanese ? ja : en); }
};
