#include "gui/dialogs/reportdialog.h"

ReportDialog::ReportDialog(QWidget *parent, const QUrl &endpoint)
    : ReportDialogBase(QStringLiteral("バグ報告"), QStringLiteral("バグ:"), QStringLiteral("ソフトからのバグ報告"), endpoint,
                       parent)
{
}
