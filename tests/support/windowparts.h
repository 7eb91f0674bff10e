#pragma once

// Looks up the main window's controls and actions by their object names
// (each is named as its member), and reads the one text each of them shows,
// so data-driven tests can name controls in their rows.

#include <QApplication>
#include <QList>
#include <QObject>
#include <QString>

class tervalo;

namespace windowparts {

/// The control or action held by the member `name`; null for an unknown name.
QObject *find(tervalo &window, const QString &name);

/// Button, label and action text, group box and menu title, or the text of
/// combo box item `item`.
QString text(QObject *part, int item = -1);

/// Every object name among the window's controls and actions, sorted.
QStringList names(tervalo &window);

/// Chooses the kind stored as `kind` in the operation (condition) kind
/// combo box, as a person picks it, so that Add makes that kind.
void chooseOperation(tervalo &window, const QString &kind);
void chooseCondition(tervalo &window, const QString &kind);

} // namespace windowparts

namespace windowparts {

/// The part called `name`, as the type it has; fails the calling test
/// function (and returns null) when there is no such part of that type.
template<typename T>
T *get(tervalo &window, const char *name)
{
    T *part = qobject_cast<T *>(find(window, QString::fromLatin1(name)));
    if (!part)
        qWarning("windowparts: no part %s of the asked type", name);
    return part;
}

/// The application's top-level widgets of type T (e.g. a notice the window
/// shows), including hidden ones not yet deleted.
template<typename T>
QList<T *> topLevels()
{
    QList<T *> found;
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        if (auto *t = qobject_cast<T *>(widget))
            found.append(t);
    }
    return found;
}

} // namespace windowparts
