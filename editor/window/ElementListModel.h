#pragma once
// The element list's rows, read straight from ObjektList: two per element.

#include <QAbstractTableModel>
#include <QString>

class ElementListModel final : public QAbstractTableModel {
public:
    using QAbstractTableModel::QAbstractTableModel;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    // Takes the element list as it is now; no row stays selected.
    void reload();
    // The caption of list row `row` (start rows at even, end rows at odd indexes).
    static QString RowCaption(int row);
};
