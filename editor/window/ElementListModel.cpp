#include "editor/window/ElementListModel.h"

#include "app/gui/ShiftJisText.h"
#include "editor/model/MainUnit.h"

int ElementListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ObjektList.Count * 2;
}

int ElementListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : 1;
}

QVariant ElementListModel::data(const QModelIndex& index, int role) const {
    // The tooltip holds the whole caption, which a narrow column cuts.
    if ((role != Qt::DisplayRole && role != Qt::ToolTipRole) || !index.isValid()) return {};
    // The view may ask for rows of a list that changed before its rebuild.
    if (index.row() / 2 >= ObjektList.Count) return {};
    return RowCaption(index.row());
}

QVariant ElementListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role == Qt::DisplayRole && orientation == Qt::Horizontal && section == 0)
        return QStringLiteral("要素の名前");
    return {};
}

void ElementListModel::reload() {
    beginResetModel();
    endResetModel();
}

QString ElementListModel::RowCaption(int row) {
    // Read the element without making it current: painting the list must not
    // move CurObjekt under a handler.
    const Objekt& o = ObjektAt(RowObjekt(row));
    const bool end = row % 2 != 0;
    switch (o.Kind) {
    case okText: {
        const QString text = FromCp932(o.Text);
        return end ? QStringLiteral("  テキスト: '") + text + QStringLiteral("'の 終わり")
                   : QStringLiteral("テキスト: '") + text + QStringLiteral("'の スタート");
    }
    case okDrawing:
        return end ? QStringLiteral("  描画の 終わり") : QStringLiteral("描画の スタート");
    case okPicture:
        return end ? QStringLiteral("  ピクチャの 終わり") : QStringLiteral("ピクチャの スタート");
    case okButton:
        return end ? QStringLiteral("  Button: 終わり") : QStringLiteral("Button: スタート");
    default:
        return {};
    }
}
