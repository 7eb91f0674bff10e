#pragma once

// Draws the page strip like the default delegate but measures each distinct
// item shape once. Laying out the strip asks for the size of every item; with
// ten thousand pages measuring each text costs more than the rest of a
// refresh, while the strip only ever holds a handful of different names.

#include <QHash>
#include <QStyledItemDelegate>

class PageStripDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    explicit PageStripDelegate(QObject *parent = nullptr);

    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;

    /// Forgets the measured sizes (the font or the style may have changed).
    void clearSizes();

private:
    // Key: the text with every digit replaced by "0", so "12.キー" and
    // "47.キー" share one measurement.
    mutable QHash<QString, QSize> sizes_;
};
