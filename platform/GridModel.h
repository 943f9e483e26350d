#pragma once
// GridModel: the rows of a grid control, held as a model of our own.
//
// A fill builds a GridRows (plain 8-bit texts, no Qt objects per cell) and hands it
// over with SetRows: the model then resets once. Each row owns one copy of its
// texts (the cells joined by TAB) and a picture index for column 0; pictures are
// shared by key and drawn by the model's picture source at most once per key.
//
// Rows are the data rows only: the header is the view's header, never a row. The
// Sort keeps rows with equal keys in their order; its keys (a number, or the text
// in lower case) are computed once per column and fill.
//
// Only the user-interface thread uses it.

#include <QAbstractTableModel>
#include <QIcon>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// How a column is sorted; the numbers are the grid's sort modes.
enum class GridSort : int { NumericAscending = 3, NumericDescending = 4, TextAscending = 5, TextDescending = 6 };

// Rows under construction for one fill.
class GridRows {
public:
    // A row of cells from column 0 on; TAB, CR and LF in a cell become blanks.
    void Add(std::initializer_list<std::string_view> cells, std::string_view pictureKey = {});
    // A row whose cells from column `first` on are the TAB-separated fields of
    // `tabText` (no CR or LF expected); the columns before it are empty.
    void AddFields(int first, std::string_view tabText, std::string_view pictureKey = {});
    void Reserve(std::size_t rows);
    std::size_t Count() const { return texts_.size(); }
    bool Empty() const { return texts_.empty(); }

private:
    friend class GridModel;
    std::uint16_t pictureIndex(std::string_view key);

    std::vector<std::string> texts_;
    std::vector<std::uint16_t> pictures_;  // 0: none, else 1 + index into keys_
    std::vector<std::string> keys_;
};

class GridModel : public QAbstractTableModel {
    Q_OBJECT

public:
    using PictureSource = std::function<QIcon(std::string_view key)>;

    explicit GridModel(QObject* parent = nullptr);

    void SetPictureSource(PictureSource source) { pictureSource_ = std::move(source); }

    // Replaces every row and the column count with one model reset.
    void SetRows(int columns, GridRows rows);
    // The same, the rows sorted on one column inside the one reset.
    void SetRows(int columns, GridRows rows, int sortCol, GridSort mode);
    void Clear(int columns) { SetRows(columns, GridRows{}); }

    int Cols() const { return columns_; }
    int Rows() const { return static_cast<int>(order_.size()); }
    // The cell's text as stored (8-bit); "" outside the grid.
    std::string_view Text(int row, int col) const;
    // The picture key of the row, "" for none.
    std::string_view PictureKey(int row) const;
    // The first row whose cell in col equals text (letter case ignored); -1 when none.
    int FindRow(int col, std::string_view text) const;

    void SetHeader(int col, const QString& caption);
    void SetHeaders(const QStringList& captions);
    QString Header(int col) const { return col >= 0 && col < headers_.size() ? headers_[col] : QString(); }

    // Stable sort of all rows on one column.
    void Sort(int col, GridSort mode);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    struct Keys {
        int col = -1;
        bool numeric = false;
        std::vector<double> numbers;
        std::vector<std::string> texts;  // lower case
    };
    std::string_view cell(std::size_t stored, int col) const;
    void computeKeys(int col, bool numeric);
    void sortRows(int col, GridSort mode);
    QIcon picture(std::uint16_t index) const;

    int columns_ = 0;
    std::vector<std::string> texts_;
    std::vector<std::uint16_t> pictures_;
    std::vector<std::string> keys_;
    std::vector<std::uint32_t> order_;  // shown row -> stored row
    Keys sortKeys_;
    QStringList headers_;
    PictureSource pictureSource_;
    mutable std::vector<QIcon> icons_;
    mutable std::vector<bool> iconsMade_;
};

}  // namespace platform
