#pragma once

// Bulky editor dumps (page lists, record lists, the whole edit history) go
// to this category. Its debug output is off unless switched on with
// QT_LOGGING_RULES="tervalo.editor.dump.debug=true": with ten thousand pages
// and a long history, building those lines on every refresh would cost more
// than the refresh itself.

#include <QLoggingCategory>

Q_DECLARE_LOGGING_CATEGORY(lcEditorDump)
