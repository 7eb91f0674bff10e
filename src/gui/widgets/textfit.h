#pragma once

// Shrinks a control's font just enough for its text to fit the place the
// window's fixed geometry gives it. The geometry was drawn for the Japanese
// texts; some English ones are longer. A text that fits keeps the designed
// font, so nothing changes where nothing is cut off.

#include <QFont>
#include <QString>
#include <QStringList>

class QWidget;

class TextFit {
public:
    /// No text is shrunk below this size, in points.
    static constexpr qreal kMinimumPoints = 9;

    /// Fits every label, button, check box, combo box and group-box title
    /// under `root` (root included), visible or not.
    static void fitAll(QWidget *root);
    /// Fits one control; other widgets are left alone.
    static void fit(QWidget *widget);

    /// The texts the control shows, one entry per line (a combo box: its
    /// current item); empty for other widgets.
    static QStringList lines(const QWidget *widget);
    /// Pixels the control has for one line of its text (its contents, cut to
    /// its parent's rectangle); 0 for other widgets.
    static int room(const QWidget *widget);
    /// Pixels of height a group box has for its title: from its top edge to
    /// the first control placed over its frame below the title; 0 otherwise.
    static int titleHeightRoom(const QWidget *widget);
};
