#include "ListView.h"

#include "Failure.h"

#include <QHeaderView>

ListView::ListView(QWidget* parent) : QTreeView(parent), model_(*this) {
    setRootIsDecorated(false);
    setUniformRowHeights(true);
    setHeaderHidden(true);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    rows_.reserve(1024);
    keyIndex_.reserve(1024);
}

void ListView::clear() {
    if (rows_.empty()) {
        return;
    }
    // Only an attached view needs to hear of the change; a hidden list rebuilt every tick
    // would otherwise pay for model signals nobody receives.
    const bool shown = attached_;
    if (shown) {
        model_.beginClear();
    }
    rows_.clear();
    // QHash::clear() frees its table; keep the room so a full server does not regrow it.
    const qsizetype room = keyIndex_.capacity();
    keyIndex_.clear();
    keyIndex_.reserve(room);
    if (shown) {
        model_.endClear();
    }
}

int ListView::addRow(const QString& text) {
    const int row = rowCount();
    const bool shown = attached_;
    if (shown) {
        model_.beginAppend(row);
    }
    rows_.push_back(Row{text, {}, {}});
    if (shown) {
        model_.endAppend();
    }
    return row;
}

void ListView::setKey(int row, const QString& key) {
    Row& r = at(row);
    if (key == r.key) {
        return;
    }
    if (!key.isEmpty()) {
        // One lookup: a full server sets a thousand keys twenty times a second.
        const qsizetype before = keyIndex_.size();
        int& slot = keyIndex_[key];
        if (keyIndex_.size() == before) {
            throw Failure(35602, QStringLiteral("Key is not unique in collection"));
        }
        slot = row;
    }
    if (!r.key.isEmpty()) {
        keyIndex_.remove(r.key);
    }
    r.key = key;
}

void ListView::setSubItem(int row, int index, const QString& text) {
    if (index < 1 || index > kSubItems) {
        throw Failure(380, QStringLiteral("Invalid property value"));
    }
    at(row).subItems[index - 1] = text;
    if (attached_) {
        model_.rowChanged(row);
    }
}

QString ListView::rowText(int row) const {
    return at(row).text;
}
QString ListView::key(int row) const {
    return at(row).key;
}

QString ListView::subItem(int row, int index) const {
    if (index < 1 || index > kSubItems) {
        throw Failure(380, QStringLiteral("Invalid property value"));
    }
    return at(row).subItems[index - 1];
}

int ListView::findKey(const QString& key) const {
    return keyIndex_.value(key, -1);
}

void ListView::setVisible(bool visible) {
    setModel(visible ? &model_ : nullptr);
    attached_ = visible;
    QTreeView::setVisible(visible);
}

const ListView::Row& ListView::at(int row) const {
    if (row < 0 || row >= rowCount()) {
        throw Failure(35600, QStringLiteral("Index out of bounds"));
    }
    return rows_[row];
}

ListView::Row& ListView::at(int row) {
    return const_cast<Row&>(static_cast<const ListView*>(this)->at(row));
}

int ListView::Model::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : owner_.rowCount();
}

int ListView::Model::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : 1 + kSubItems;
}

QVariant ListView::Model::data(const QModelIndex& index, int role) const {
    if (role != Qt::DisplayRole || !index.isValid() || index.row() >= owner_.rowCount()) {
        return {};
    }
    const Row& r = owner_.rows_[index.row()];
    return index.column() == 0 ? r.text : r.subItems[index.column() - 1];
}

void ListView::reserveTop(int pixels) {
    reservedTop_ = pixels;
    updateGeometries();
}

void ListView::updateGeometries() {
    // The tree view sets its margins from its (hidden) header here; keep the reserved strip.
    QTreeView::updateGeometries();
    setViewportMargins(0, reservedTop_, 0, 0);
}
