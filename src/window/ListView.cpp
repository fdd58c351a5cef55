#include "ListView.h"

#include "Failure.h"

#include <QHashFunctions>
#include <QHeaderView>
#include <algorithm>

namespace {

// Room for twice the keys a full server has, so that a rebuild never grows the index.
constexpr size_t kInitialSlots = 2048;

} // namespace

ListView::Key::Key(const QString& text)
    : text_(text), hash_(uint32_t(qHash(QStringView(text), QHashSeed::globalSeed()))) {}

ListView::ListView(QWidget* parent) : QTreeView(parent), model_(*this) {
    setRootIsDecorated(false);
    setUniformRowHeights(true);
    setHeaderHidden(true);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    rows_.reserve(1024);
    slots_.resize(kInitialSlots);
}

void ListView::clear() {
    if (count_ == 0) {
        return;
    }
    // Only an attached view needs to hear of the change; a hidden list rebuilt every tick
    // would otherwise pay for model signals nobody receives.
    const bool shown = attached_;
    if (shown) {
        model_.beginClear();
    }
    count_ = 0;
    clearIndex();
    if (shown) {
        model_.endClear();
    }
}

int ListView::appendRow(const QString& text) {
    const int row = rowCount();
    const bool shown = attached_;
    if (shown) {
        model_.beginAppend(row);
    }
    if (size_t(row) == rows_.size()) {
        rows_.emplace_back();
    }
    Row& r = rows_[size_t(row)];
    keepText(r.text, text);
    r.filled = 0;
    ++count_;
    if (shown) {
        model_.endAppend();
    }
    return row;
}

void ListView::setKey(int row, const Key& key) {
    Row& r = at(row);
    const QString& current = keyText(r);
    if (sameText(key.text(), current)) {
        return;
    }
    if (!key.text().isEmpty() && !indexKey(row, key)) {
        throw Failure(35602, QStringLiteral("Key is not unique in collection"));
    }
    const bool replaced = !current.isEmpty();
    keepText(r.key, key.text());
    r.filled |= kKeyFilled;
    if (replaced) {
        // Rare: the old key's slot may sit in the middle of other keys' probe runs, so the
        // index is made again from the rows as they now are.
        reindex(slots_.size());
    }
}

const QString& ListView::key(int row) const {
    return keyText(at(row));
}

const QString& ListView::subItem(int row, int index) const {
    if (index < 1 || index > kSubItems) {
        invalidSubItem();
    }
    const Row& r = at(row);
    return r.filled & subItemFilled(index - 1) ? r.subItems[size_t(index - 1)] : kNoText;
}

bool ListView::indexKey(int row, const Key& key) {
    // At most half full, so that probe runs stay short.
    if (size_t(indexed_ + 1) * 2 > slots_.size()) {
        reindex(slots_.size() * 2);
    }
    const size_t mask = slots_.size() - 1;
    for (size_t i = key.hash() & mask;; i = (i + 1) & mask) {
        Slot& s = slots_[i];
        if (s.stamp != stamp_) {
            s = {stamp_, key.hash(), row};
            ++indexed_;
            return true;
        }
        if (s.hash == key.hash() && sameText(rows_[size_t(s.row)].key, key.text())) {
            return false;
        }
    }
}

void ListView::clearIndex() {
    indexed_ = 0;
    if (++stamp_ == 0) {
        // Once in four billion clears the stamps start over.
        std::fill(slots_.begin(), slots_.end(), Slot{});
        stamp_ = 1;
    }
}

void ListView::reindex(size_t slotCount) {
    slots_.assign(slotCount, Slot{});
    stamp_ = 1;
    indexed_ = 0;
    for (int row = 0; row < count_; ++row) {
        const Row& r = rows_[size_t(row)];
        if (!keyText(r).isEmpty()) {
            indexKey(row, Key(r.key));
        }
    }
}

const QString ListView::kNoText;

void ListView::outOfBounds() {
    throw Failure(35600, QStringLiteral("Index out of bounds"));
}

void ListView::invalidSubItem() {
    throw Failure(380, QStringLiteral("Invalid property value"));
}

void ListView::Model::rowChanged(int row) {
    emit dataChanged(index(row, 0), index(row, kSubItems));
}

void ListView::setVisible(bool visible) {
    setModel(visible ? &model_ : nullptr);
    attached_ = visible;
    QTreeView::setVisible(visible);
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
    return index.column() == 0 ? owner_.rowText(index.row())
                               : owner_.subItem(index.row(), index.column());
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
