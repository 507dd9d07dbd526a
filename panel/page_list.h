#pragma once
// The page list: a list box that can tell where Page Down would take it, so that the
// page there can be decoded before the key comes.

#include <QListWidget>

class PageList : public QListWidget
{
public:
    using QListWidget::QListWidget;
    // The entry Page Down would make current, as the list's own key handling finds it
    // (it depends on the style's row and frame sizes).
    QModelIndex pageDownEntry() { return moveCursor(MovePageDown, Qt::NoModifier); }
};
