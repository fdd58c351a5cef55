#pragma once

#include "SharedText.h"

#include <QAbstractTableModel>
#include <QString>
#include <QTreeView>
#include <array>
#include <cstdint>
#include <vector>

// A report-style list view: rows with a text, a unique key and four sub-items.
// Rows are found by key through an index, never by scanning. As with ListBox, the view
// is connected to the rows only while visible.
class ListView : public QTreeView {
    Q_OBJECT

public:
    static constexpr int kSubItems = 4;

    // A row key with its hash, made once: a caller that sets and looks up the same keys at
    // every refresh keeps these rather than hashing each text again.
    class Key {
    public:
        Key() : Key(QString()) {}
        explicit Key(const QString& text);
        const QString& text() const { return text_; }
        uint32_t hash() const { return hash_; }

    private:
        QString text_;
        uint32_t hash_;
    };

    explicit ListView(QWidget* parent = nullptr);

    int rowCount() const { return count_; }
    void clear();
    // Appends a row with that text and returns its index.
    int addRow(const QString& text) {
        // A hidden list refilling a row kept from before: what a rebuild does a thousand times.
        if (!attached_ && size_t(count_) < rows_.size()) {
            Row& r = rows_[size_t(count_)];
            keepText(r.text, text);
            r.filled = 0;
            return count_++;
        }
        return appendRow(text);
    }
    // A key already used by another row is refused (failure 35602).
    void setKey(int row, const QString& key) { setKey(row, Key(key)); }
    void setKey(int row, const Key& key);
    // index 1..4
    void setSubItem(int row, int index, const QString& text) {
        if (index < 1 || index > kSubItems) {
            invalidSubItem();
        }
        Row& r = at(row);
        keepText(r.subItems[size_t(index - 1)], text);
        r.filled |= subItemFilled(index - 1);
        if (attached_) {
            model_.rowChanged(row);
        }
    }

    const QString& rowText(int row) const { return at(row).text; }
    const QString& key(int row) const;
    const QString& subItem(int row, int index) const;
    // The row with that key, or -1.
    int findKey(const QString& key) const { return findKey(Key(key)); }
    int findKey(const Key& key) const {
        if (key.text().isEmpty()) {
            return -1;
        }
        const size_t mask = slots_.size() - 1;
        for (size_t i = key.hash() & mask;; i = (i + 1) & mask) {
            const Slot& s = slots_[i];
            if (s.stamp != stamp_) {
                return -1;
            }
            if (s.hash == key.hash() && sameText(rows_[size_t(s.row)].key, key.text())) {
                return s.row;
            }
        }
    }

    void setVisible(bool visible) override;
    // Keeps a strip of that many pixels at the top free of rows (for a caption over it).
    void reserveTop(int pixels);

protected:
    void updateGeometries() override;

private:
    int reservedTop_ = 0;
    // Rows past count_ are kept after a clear with their texts: a list rebuilt with the same
    // texts at every refresh then only compares pointers instead of swapping references.
    // filled says which of a row's key and sub-items belong to it; the others are left over
    // from an earlier row and read as empty.
    struct Row {
        QString text;
        QString key;
        std::array<QString, kSubItems> subItems;
        unsigned filled = 0;
    };
    static constexpr unsigned kKeyFilled = 1;
    static constexpr unsigned subItemFilled(int index) { return 2u << index; }

    class Model : public QAbstractTableModel {
    public:
        explicit Model(ListView& owner) : owner_(owner) {}
        int rowCount(const QModelIndex& parent = {}) const override;
        int columnCount(const QModelIndex& parent = {}) const override;
        QVariant data(const QModelIndex& index, int role) const override;
        void beginAppend(int row) { beginInsertRows({}, row, row); }
        void endAppend() { endInsertRows(); }
        void beginClear() { beginResetModel(); }
        void endClear() { endResetModel(); }
        void rowChanged(int row);

    private:
        ListView& owner_;
    };

    const Row& at(int row) const {
        if (row < 0 || row >= count_) {
            outOfBounds();
        }
        return rows_[size_t(row)];
    }
    Row& at(int row) { return const_cast<Row&>(static_cast<const ListView*>(this)->at(row)); }
    [[noreturn]] static void outOfBounds();
    [[noreturn]] static void invalidSubItem();
    int appendRow(const QString& text);
    // What an unfilled key or sub-item reads as.
    static const QString kNoText;
    static const QString& keyText(const Row& r) { return r.filled & kKeyFilled ? r.key : kNoText; }

    // The key index: open addressing over the rows' own key texts. A slot is in use only
    // when it carries the current stamp, so a clear is one increment however many keys
    // there were.
    struct Slot {
        uint32_t stamp = 0;
        uint32_t hash = 0;
        int row = -1;
    };
    // False when another row has that key.
    bool indexKey(int row, const Key& key);
    void clearIndex();
    void reindex(size_t slotCount);

    std::vector<Row> rows_;
    int count_ = 0;
    std::vector<Slot> slots_;
    uint32_t stamp_ = 1;
    int indexed_ = 0;
    Model model_;
    // Whether the view shows model_: asked for every row, cheaper than model().
    bool attached_ = false;
};
