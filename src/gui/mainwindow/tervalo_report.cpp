#include "gui/mainwindow/tervalo.h"

#include "gui/dialogs/reportdialog.h"
#include "gui/dialogs/reportdialog2.h"

void tervalo::reportBug()
{
    ReportDialog dialog(this);
    dialog.exec();
}

void tervalo::reportImprovementSuggestion()
{
    ReportDialog2 dialog(this);
    dialog.exec();
}
