#pragma once
// The page list: a list box over the folder's names. The names are kept as one list
// rather than one item object each, which a folder of 20,000 pages made felt at start-up;
// and it can tell where Page Down would take it, so that the page there can be decoded
// before the key comes.

#include <QListView>
#include <QStringList>

class PageList : public QListView
{
public:
    explicit PageList(QWidget *parent = nullptr);

    void setPages(QStringList names);
    int count() const;
    QString text(int row) const;
    int currentRow() const { return currentIndex().row(); }
    // As a list box does it: the row becomes current and the only one selected; -1 clears.
    void setCurrentRow(int row);
    // The entry Page Down would make current, as the list's own key handling finds it
    // (it depends on the style's row and frame sizes).
    QModelIndex pageDownEntry() { return moveCursor(MovePageDown, Qt::NoModifier); }
};
