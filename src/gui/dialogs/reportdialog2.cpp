#include "gui/dialogs/reportdialog2.h"

ReportDialog2::ReportDialog2(QWidget *parent, const QUrl &endpoint)
    : ReportDialogBase(QStringLiteral("改善案報告"), QStringLiteral("改善案:"), QStringLiteral("ソフトからの改善案報告"), endpoint,
                       parent)
{
}
