#include "gui/mainwindow/editorlog.h"

Q_LOGGING_CATEGORY(lcEditorDump, "tervalo.editor.dump", QtInfoMsg)
