#include "app/TickTableModel.h"

#include <nlohmann/json.hpp>

#include "app/SearchText.h"
#include "platform/PreferencesStore.h"

using namespace kelvara;

TickTableModel::TickTableModel(const char* ticksKey, int columns, QObject* parent)
    : QAbstractTableModel(parent), ticksKey_(ticksKey), columns_(columns) {}

void TickTableModel::setSearch(const QString& search) {
    const std::string part = SearchText::fold(search);
    beginResetModel();
    shown_.clear();
    for (std::size_t entry = 0; entry < folded_.size(); ++entry)
        if (part.empty() || folded_[entry].find(part) != std::string::npos) shown_.push_back(entry);
    endResetModel();
}

void TickTableModel::setSearchTexts(const std::vector<std::string>& texts) {
    folded_.clear();
    folded_.reserve(texts.size());
    for (const std::string& text : texts) folded_.push_back(SearchText::fold(text));
    shown_.clear();
    for (std::size_t entry = 0; entry < folded_.size(); ++entry) shown_.push_back(entry);
}

bool TickTableModel::isChecked(int row) const {
    return row >= 0 && row < rowCount() && canTick() && rowChecked(row);
}

void TickTableModel::setCheckedRows(int from, int to, bool checked) {
    if (!canTick() || rowCount() == 0) return;
    from = qBound(0, from, rowCount() - 1);
    to = qBound(0, to, rowCount() - 1);
    for (int row = from; row <= to; ++row) setRowChecked(row, checked);
    Q_EMIT dataChanged(index(from, 0), index(to, 0), {Qt::CheckStateRole});
}

void TickTableModel::persistTicks() const {
    nlohmann::json names = nlohmann::json::array();
    for (int row = 0; row < rowCount(); ++row)
        if (isChecked(row)) names.push_back(tickName(row));
    PreferencesStore& preferences = PreferencesStore::standardUserDefaults();
    preferences.setObject(ticksKey_, std::move(names));
    preferences.flush();
}

int TickTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(shown_.size());
}

int TickTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : columns_;
}

bool TickTableModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    const int row = index.row();
    if (row < 0 || row >= rowCount() || !canTick() || role != Qt::CheckStateRole ||
        index.column() != 0)
        return false;
    setRowChecked(row, value.toInt() == Qt::Checked);
    Q_EMIT dataChanged(index, index, {Qt::CheckStateRole});
    Q_EMIT ticked();
    return true;
}

Qt::ItemFlags TickTableModel::flags(const QModelIndex& index) const {
    Qt::ItemFlags result = QAbstractTableModel::flags(index);
    if (index.column() == 0) result |= Qt::ItemIsUserCheckable;
    return result;
}
