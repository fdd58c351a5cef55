#include "ListBox.h"

#include "Failure.h"

ListBox::ListBox(QWidget* parent) : QListView(parent), model_(*this) {
    setUniformItemSizes(true);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
}

QString ListBox::list(int index) const {
    if (index < 0 || index >= count_) {
        throw Failure(381, QStringLiteral("Invalid property array index"));
    }
    return items_[size_t(index)];
}

void ListBox::appendItem(const QString& text) {
    const int row = listCount();
    // A hidden box has no view attached; nobody needs to hear of each row.
    const bool shown = attached_;
    if (shown) {
        model_.beginAppend(row);
    }
    if (size_t(row) == items_.size()) {
        items_.push_back(text);
    } else {
        keepText(items_[size_t(row)], text);
    }
    ++count_;
    if (shown) {
        model_.endAppend();
    }
}

void ListBox::clear() {
    if (count_ == 0) {
        return;
    }
    const bool shown = attached_;
    if (shown) {
        model_.beginClear();
    }
    count_ = 0;
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
    return owner_.items_[size_t(index.row())];
}
