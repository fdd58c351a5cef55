#pragma once

#include "SharedText.h"

#include <QAbstractListModel>
#include <QListView>
#include <QString>
#include <vector>

// A list box of single-line texts. The entries live in the box's own model; the view is
// connected to it only while visible, so rebuilding a hidden list costs no view updates.
class ListBox : public QListView {
    Q_OBJECT

public:
    explicit ListBox(QWidget* parent = nullptr);

    int listCount() const { return count_; }
    // The entry at index, from 0; an index outside the list is refused (failure 381).
    QString list(int index) const;
    void addItem(const QString& text) {
        // A hidden box refilling an entry kept from before: what a rebuild does most.
        if (!attached_ && size_t(count_) < items_.size()) {
            keepText(items_[size_t(count_++)], text);
            return;
        }
        appendItem(text);
    }
    void clear();

    void setVisible(bool visible) override;

private:
    class Model : public QAbstractListModel {
    public:
        explicit Model(ListBox& owner) : owner_(owner) {}
        int rowCount(const QModelIndex& parent = {}) const override;
        QVariant data(const QModelIndex& index, int role) const override;
        void beginAppend(int row) { beginInsertRows({}, row, row); }
        void endAppend() { endInsertRows(); }
        void beginClear() { beginResetModel(); }
        void endClear() { endResetModel(); }

    private:
        ListBox& owner_;
    };

    // Entries past count_ are kept after a clear: a list rebuilt with the same texts at every
    // refresh then only compares pointers instead of swapping references.
    void appendItem(const QString& text);

    std::vector<QString> items_;
    int count_ = 0;
    Model model_;
    // Whether the view shows model_: asked for every row, cheaper than model().
    bool attached_ = false;
};
