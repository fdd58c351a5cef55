#pragma once

#include <QAbstractTableModel>
#include <QHash>
#include <QTreeView>
#include <array>
#include <vector>

// A report-style list view: rows with a text, a unique key and four sub-items.
// Rows are found by key through an index, never by scanning. As with ListBox, the view
// is connected to the rows only while visible.
class ListView : public QTreeView {
    Q_OBJECT

public:
    static constexpr int kSubItems = 4;

    explicit ListView(QWidget* parent = nullptr);

    int rowCount() const { return static_cast<int>(rows_.size()); }
    void clear();
    // Appends a row with that text and returns its index.
    int addRow(const QString& text);
    // A key already used by another row is refused (failure 35602).
    void setKey(int row, const QString& key);
    // index 1..4
    void setSubItem(int row, int index, const QString& text);

    QString rowText(int row) const;
    QString key(int row) const;
    QString subItem(int row, int index) const;
    // The row with that key, or -1.
    int findKey(const QString& key) const;

    void setVisible(bool visible) override;
    // Keeps a strip of that many pixels at the top free of rows (for a caption over it).
    void reserveTop(int pixels);

protected:
    void updateGeometries() override;

private:
    int reservedTop_ = 0;
    struct Row {
        QString text;
        QString key;
        std::array<QString, kSubItems> subItems;
    };

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
        void rowChanged(int row) { emit dataChanged(index(row, 0), index(row, kSubItems)); }

    private:
        ListView& owner_;
    };

    const Row& at(int row) const;
    Row& at(int row);

    std::vector<Row> rows_;
    QHash<QString, int> keyIndex_;
    Model model_;
    // Whether the view shows model_: asked for every row, cheaper than model().
    bool attached_ = false;
};
