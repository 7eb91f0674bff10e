#include "app/tervalo.h"

#include "report/reportdialog.h"
#include "report/reportdialog2.h"

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
