#pragma once

#include "gui/dialogs/reportdialogbase.h"

/// The improvement suggestion dialog ("改善案報告").
class ReportDialog2 : public ReportDialogBase {
    Q_OBJECT

public:
    explicit ReportDialog2(QWidget *parent = nullptr, const QUrl &endpoint = defaultEndpoint());
};
