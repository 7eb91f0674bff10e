#pragma once

// Passes the keys pressed in this program's windows to the key captures that
// listen there (desktops that let no program hear other windows' keys). A
// key a capture takes goes no further: Enter must not press a button while
// it is being captured.

#include <QObject>

class OwnWindowKeys : public QObject {
    Q_OBJECT
public:
    /// Starts listening for the whole application, once; later calls do
    /// nothing.
    static void install();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    using QObject::QObject;
};
