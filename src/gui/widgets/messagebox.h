#pragma once

// The one way the window and its dialogs tell or ask something in a message
// box. Titles and texts come in the interface's language (Text::in).

#include <QMessageBox>
#include <QString>

class QWidget;

namespace messagebox {

/// Shows the message with an OK button and waits for it.
void tell(QWidget *parent, QMessageBox::Icon icon, const QString &title, const QString &text);
/// Asks Yes or No and waits; true for Yes. No is the default button unless
/// `yesByDefault`, so that Enter does nothing that cannot be taken back.
bool ask(QWidget *parent, QMessageBox::Icon icon, const QString &title, const QString &text,
         bool yesByDefault = false);

} // namespace messagebox
