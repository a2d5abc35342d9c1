#pragma once
// The current search set as the main window's list shows it: one row per
// search path, one column per shown column of the list's layout. The model
// holds nothing of its own; each cell asks the set for its text. While the
// list-update guard is off (the set is being rebuilt, sorted or loaded) it
// answers no data requests.

#include <QAbstractTableModel>

namespace vdx {

class TSearchSet;
class TColumnList;

class TSearchSetModel : public QAbstractTableModel {
    Q_OBJECT
public:
    TSearchSetModel(TSearchSet& set, TColumnList& layout, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    // The list-update guard: false while the set is rebuilt.
    bool Guard() const { return m_guard; }
    // Turning the guard off begins a model reset, turning it on ends it (or
    // resets at once when none was begun): the view drops every row it knew
    // and asks again once the set is whole.
    void SetGuard(bool on);
    // The column identifier shown at a logical column, -1 outside.
    int ColumnId(int column) const;
    // The columns or their captions changed (layout edited, sort column).
    void ColumnsChanged();

private:
    TSearchSet& m_set;
    TColumnList& m_layout;
    bool m_guard = false;
    bool m_resetOpen = false; // a reset begun by turning the guard off
};

} // namespace vdx
