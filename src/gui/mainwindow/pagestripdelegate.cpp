#include "gui/mainwindow/pagestripdelegate.h"

PageStripDelegate::PageStripDelegate(QObject *parent)
    : QStyledItemDelegate(parent)
{
}

QSize PageStripDelegate::sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    QString key = index.data(Qt::DisplayRole).toString();
    for (QChar &c : key) {
        if (c.isDigit())
            c = QLatin1Char('0');
    }
    auto found = sizes_.constFind(key);
    if (found != sizes_.constEnd())
        return *found;
    const QSize size = QStyledItemDelegate::sizeHint(option, index);
    sizes_.insert(key, size);
    return size;
}

void PageStripDelegate::clearSizes()
{
    sizes_.clear();
}
