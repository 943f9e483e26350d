#include "platform/GridModel.h"

#include <algorithm>
#include <charconv>
#include <numeric>

#include "platform/Text8.h"

namespace platform {

namespace {

void appendCleaned(std::string& out, std::string_view cell) {
    const std::size_t at = out.size();
    out.append(cell);
    for (std::size_t i = at; i < out.size(); ++i)
        if (out[i] == '\t' || out[i] == '\r' || out[i] == '\n') out[i] = ' ';
}

double numberOf(std::string_view text) {
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    double value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    (void)end;
    return ec == std::errc() ? value : 0.0;
}

std::string lowerCase(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
}

bool equalCaseless(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
        if (x != y) return false;
    }
    return true;
}

}  // namespace

// --- GridRows ---------------------------------------------------------------------

std::uint16_t GridRows::pictureIndex(std::string_view key) {
    if (key.empty()) return 0;
    for (std::size_t i = 0; i < keys_.size(); ++i)
        if (keys_[i] == key) return static_cast<std::uint16_t>(i + 1);
    if (keys_.size() >= 0xFFFE) return 0;
    keys_.emplace_back(key);
    return static_cast<std::uint16_t>(keys_.size());
}

void GridRows::Add(std::initializer_list<std::string_view> cells, std::string_view pictureKey) {
    std::string text;
    bool first = true;
    for (std::string_view c : cells) {
        if (!first) text += '\t';
        first = false;
        appendCleaned(text, c);
    }
    texts_.push_back(std::move(text));
    pictures_.push_back(pictureIndex(pictureKey));
}

void GridRows::AddFields(int first, std::string_view tabText, std::string_view pictureKey) {
    std::string text;
    text.reserve(static_cast<std::size_t>(std::max(first, 0)) + tabText.size());
    text.append(static_cast<std::size_t>(std::max(first, 0)), '\t');
    text.append(tabText);
    texts_.push_back(std::move(text));
    pictures_.push_back(pictureIndex(pictureKey));
}

void GridRows::Reserve(std::size_t rows) {
    texts_.reserve(rows);
    pictures_.reserve(rows);
}

// --- GridModel --------------------------------------------------------------------

GridModel::GridModel(QObject* parent) : QAbstractTableModel(parent) {}

void GridModel::SetRows(int columns, GridRows rows) { SetRows(columns, std::move(rows), -1, GridSort::TextAscending); }

void GridModel::SetRows(int columns, GridRows rows, int sortCol, GridSort mode) {
    beginResetModel();
    columns_ = std::max(columns, 0);
    texts_ = std::move(rows.texts_);
    pictures_ = std::move(rows.pictures_);
    keys_ = std::move(rows.keys_);
    order_.resize(texts_.size());
    std::iota(order_.begin(), order_.end(), 0u);
    sortKeys_ = Keys{};
    icons_.assign(keys_.size(), QIcon());
    iconsMade_.assign(keys_.size(), false);
    sortRows(sortCol, mode);
    endResetModel();
}

std::string_view GridModel::cell(std::size_t stored, int col) const {
    std::string_view text = texts_[stored];
    for (int c = 0; c < col; ++c) {
        const std::size_t tab = text.find('\t');
        if (tab == std::string_view::npos) return {};
        text.remove_prefix(tab + 1);
    }
    return text.substr(0, text.find('\t'));
}

std::string_view GridModel::Text(int row, int col) const {
    if (row < 0 || row >= Rows() || col < 0 || col >= columns_) return {};
    return cell(order_[static_cast<std::size_t>(row)], col);
}

std::string_view GridModel::PictureKey(int row) const {
    if (row < 0 || row >= Rows()) return {};
    const std::uint16_t p = pictures_[order_[static_cast<std::size_t>(row)]];
    return p == 0 ? std::string_view{} : std::string_view(keys_[p - 1u]);
}

int GridModel::FindRow(int col, std::string_view text) const {
    for (int r = 0; r < Rows(); ++r)
        if (equalCaseless(Text(r, col), text)) return r;
    return -1;
}

void GridModel::SetHeader(int col, const QString& caption) {
    if (col < 0) return;
    while (headers_.size() <= col) headers_.append(QString());
    headers_[col] = caption;
    if (col < columns_) emit headerDataChanged(Qt::Horizontal, col, col);
}

void GridModel::SetHeaders(const QStringList& captions) {
    headers_ = captions;
    if (columns_ > 0) emit headerDataChanged(Qt::Horizontal, 0, columns_ - 1);
}

void GridModel::computeKeys(int col, bool numeric) {
    if (sortKeys_.col == col && sortKeys_.numeric == numeric) return;
    sortKeys_ = Keys{};
    sortKeys_.col = col;
    sortKeys_.numeric = numeric;
    if (numeric) {
        sortKeys_.numbers.resize(texts_.size());
        for (std::size_t i = 0; i < texts_.size(); ++i) sortKeys_.numbers[i] = numberOf(cell(i, col));
    } else {
        sortKeys_.texts.resize(texts_.size());
        for (std::size_t i = 0; i < texts_.size(); ++i) sortKeys_.texts[i] = lowerCase(cell(i, col));
    }
}

void GridModel::Sort(int col, GridSort mode) {
    if (col < 0 || col >= columns_ || texts_.empty()) return;
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    sortRows(col, mode);
    // The selection stays on the same row numbers, as a sort of the grid always did.
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

void GridModel::sortRows(int col, GridSort mode) {
    if (col < 0 || col >= columns_ || texts_.empty()) return;
    const bool numeric = mode == GridSort::NumericAscending || mode == GridSort::NumericDescending;
    const bool descending = mode == GridSort::NumericDescending || mode == GridSort::TextDescending;
    computeKeys(col, numeric);
    // Always from the stored order, so equal keys keep the order of the fill.
    std::iota(order_.begin(), order_.end(), 0u);
    if (numeric) {
        const auto& k = sortKeys_.numbers;
        if (descending)
            std::stable_sort(order_.begin(), order_.end(), [&k](std::uint32_t a, std::uint32_t b) { return k[b] < k[a]; });
        else
            std::stable_sort(order_.begin(), order_.end(), [&k](std::uint32_t a, std::uint32_t b) { return k[a] < k[b]; });
    } else {
        const auto& k = sortKeys_.texts;
        if (descending)
            std::stable_sort(order_.begin(), order_.end(), [&k](std::uint32_t a, std::uint32_t b) { return k[b] < k[a]; });
        else
            std::stable_sort(order_.begin(), order_.end(), [&k](std::uint32_t a, std::uint32_t b) { return k[a] < k[b]; });
    }
}

QIcon GridModel::picture(std::uint16_t index) const {
    if (index == 0 || !pictureSource_) return {};
    const std::size_t i = index - 1u;
    if (!iconsMade_[i]) {
        icons_[i] = pictureSource_(keys_[i]);
        iconsMade_[i] = true;
    }
    return icons_[i];
}

int GridModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : Rows(); }
int GridModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : columns_; }

QVariant GridModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= Rows() || index.column() >= columns_) return {};
    switch (role) {
    case Qt::DisplayRole: {
        const std::string_view t = Text(index.row(), index.column());
        if (t.empty()) return {};
        return FromText8(t);
    }
    case Qt::DecorationRole:
        if (index.column() != 0) return {};
        return picture(pictures_[order_[static_cast<std::size_t>(index.row())]]);
    case Qt::TextAlignmentRole: return QVariant::fromValue(Qt::Alignment(Qt::AlignLeft | Qt::AlignVCenter));
    default: return {};
    }
}

QVariant GridModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal) return {};
    if (role == Qt::DisplayRole) return Header(section);
    if (role == Qt::TextAlignmentRole) return QVariant::fromValue(Qt::Alignment(Qt::AlignLeft | Qt::AlignVCenter));
    return {};
}

}  // namespace platform
