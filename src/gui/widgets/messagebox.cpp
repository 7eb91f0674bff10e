#include "gui/widgets/messagebox.h"

namespace messagebox {
namespace {

QMessageBox::StandardButton show(QWidget *parent, QMessageBox::Icon icon, const QString &title,
                                 const QString &text, QMessageBox::StandardButtons buttons,
                                 QMessageBox::StandardButton defaultButton)
{
    switch (icon) {
    case QMessageBox::Warning:
        return QMessageBox::warning(parent, title, text, buttons, defaultButton);
    case QMessageBox::Critical:
        return QMessageBox::critical(parent, title, text, buttons, defaultButton);
    case QMessageBox::Question:
        return QMessageBox::question(parent, title, text, buttons, defaultButton);
    case QMessageBox::Information:
    case QMessageBox::NoIcon:
        break;
    }
    return QMessageBox::information(parent, title, text, buttons, defaultButton);
}

} // namespace

void tell(QWidget *parent, QMessageBox::Icon icon, const QString &title, const QString &text)
{
    show(parent, icon, title, text, QMessageBox::Ok, QMessageBox::NoButton);
}

bool ask(QWidget *parent, QMessageBox::Icon icon, const QString &title, const QString &text, bool yesByDefault)
{
    return show(parent, icon, title, text, QMessageBox::Yes | QMessageBox::No,
                yesByDefault ? QMessageBox::Yes : QMessageBox::No)
        == QMessageBox::Yes;
}

} // namespace messagebox
