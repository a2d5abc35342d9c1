#include "ui/VDX_unit_SearchSetModel.h"

#include "engine/VDX_unit_SearchData.h"
#include "persistence/VDX_unit_Columns.h"
#include "platform/qt/VDX_unit_QtText.h"

namespace vdx {

TSearchSetModel::TSearchSetModel(TSearchSet& set, TColumnList& layout, QObject* parent)
    : QAbstractTableModel(parent), m_set(set), m_layout(layout) {}

int TSearchSetModel::rowCount(const QModelIndex& parent) const {
    if (parent.isValid() || !m_guard)
        return 0;
    return static_cast<int>(m_set.Count());
}

int TSearchSetModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_layout.ShownCount());
}

int TSearchSetModel::ColumnId(int column) const {
    if (column < 0)
        return -1;
    return m_layout.ShownId(static_cast<std::size_t>(column));
}

QVariant TSearchSetModel::data(const QModelIndex& index, int role) const {
    if (!m_guard || !index.isValid())
        return {};
    if (role == Qt::DisplayRole || role == Qt::ToolTipRole) {
        const std::u16string text =
            m_set.CellText(static_cast<std::size_t>(index.row()), ColumnId(index.column()));
        if (role == Qt::ToolTipRole && text.empty())
            return {};
        return ToQString(text);
    }
    return {};
}

QVariant TSearchSetModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    const TColumnBag* bag = m_layout.ShownDefinition(static_cast<std::size_t>(section));
    if (!bag)
        return {};
    QString caption = ToQString(bag->caption);
    if (bag->id == m_layout.sortColumn)
        caption.prepend(m_layout.ascending ? QStringLiteral("< ") : QStringLiteral("> "));
    return caption;
}

void TSearchSetModel::SetGuard(bool on) {
    if (!on) {
        if (m_guard && !m_resetOpen) {
            beginResetModel();
            m_resetOpen = true;
        }
        m_guard = false;
        return;
    }
    m_guard = true;
    if (m_resetOpen) {
        m_resetOpen = false;
        endResetModel();
    } else {
        beginResetModel();
        endResetModel();
    }
}

void TSearchSetModel::ColumnsChanged() {
    beginResetModel();
    endResetModel();
}

} // namespace vdx
