#include "ListBox.h"

#include "Failure.h"

ListBox::ListBox(QWidget* parent) : QListView(parent), model_(*this) {
    setUniformItemSizes(true);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
}

QString ListBox::list(int index) const {
    if (index < 0 || index >= items_.size()) {
        throw Failure(381, QStringLiteral("Invalid property array index"));
    }
    return items_[index];
}

void ListBox::addItem(const QString& text) {
    const int row = listCount();
    // A hidden box has no view attached; nobody needs to hear of each row.
    const bool shown = attached_;
    if (shown) {
        model_.beginAppend(row);
    }
    items_.append(text);
    if (shown) {
        model_.endAppend();
    }
}

void ListBox::clear() {
    if (items_.isEmpty()) {
        return;
    }
    const bool shown = attached_;
    if (shown) {
        model_.beginClear();
    }
    items_.clear();
    if (shown) {
        model_.endClear();
    }
}

void ListBox::setVisible(bool visible) {
    setModel(visible ? &model_ : nullptr);
    attached_ = visible;
    QListView::setVisible(visible);
}

int ListBox::Model::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : owner_.listCount();
}

QVariant ListBox::Model::data(const QModelIndex& index, int role) const {
    if (role != Qt::DisplayRole || !index.isValid() || index.row() >= owner_.listCount()) {
        return {};
    }
    return owner_.items_[index.row()];
}
