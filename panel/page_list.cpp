#include "panel/page_list.h"

#include <QAbstractListModel>

namespace {

class PageNames : public QAbstractListModel
{
public:
    using QAbstractListModel::QAbstractListModel;

    void setNames(QStringList names)
    {
        beginResetModel();
        m_names = std::move(names);
        endResetModel();
    }
    const QStringList &names() const { return m_names; }

    int rowCount(const QModelIndex &parent = {}) const override
    {
        return parent.isValid() ? 0 : int(m_names.size());
    }
    QVariant data(const QModelIndex &index, int role) const override
    {
        if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
            return {};
        if (role == Qt::DisplayRole || role == Qt::EditRole || role == Qt::AccessibleTextRole)
            return m_names.at(index.row());
        return {};
    }
    Qt::ItemFlags flags(const QModelIndex &index) const override
    {
        return index.isValid() ? Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemNeverHasChildren
                               : Qt::NoItemFlags;
    }

private:
    QStringList m_names;
};

PageNames *pageNames(const QAbstractItemModel *model)
{
    return static_cast<PageNames *>(const_cast<QAbstractItemModel *>(model));
}

} // namespace

PageList::PageList(QWidget *parent)
    : QListView(parent)
{
    setModel(new PageNames(this));
}

void PageList::setPages(QStringList names)
{
    pageNames(model())->setNames(std::move(names));
}

int PageList::count() const
{
    return int(pageNames(model())->names().size());
}

QString PageList::text(int row) const
{
    return pageNames(model())->names().value(row);
}

void PageList::setCurrentRow(int row)
{
    const QItemSelectionModel::SelectionFlags command =
        selectionMode() == SingleSelection ? QItemSelectionModel::ClearAndSelect
        : selectionMode() == NoSelection   ? QItemSelectionModel::NoUpdate
                                           : QItemSelectionModel::SelectCurrent;
    selectionModel()->setCurrentIndex(model()->index(row, 0), command);
}
