#pragma once

#include "gui/dialogs/reportdialogbase.h"

/// The bug report dialog ("バグ報告").
class ReportDialog : public ReportDialogBase {
    Q_OBJECT

public:
    explicit ReportDialog(QWidget *parent = nullptr, const QUrl &endpoint = defaultEndpoint());
};
