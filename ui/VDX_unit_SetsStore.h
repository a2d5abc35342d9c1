#pragma once
// The sets store beside the current search set: the list that shows the
// stored sets, and the four commands that save the current set into the
// store, load a stored set into it, rename and delete a stored set. The
// store itself is TSettings::storedSets; the commands change it in memory
// only (it reaches the settings file with the next settings save).

#include <QListView>
#include <QString>
#include <string_view>

namespace vdx {

class TSettings;
class TSearchSet;
class TSetsStoreModel;

// The text of one line of the store list: " [%d paths] in %s".
QString StoreLineText(const TSearchSet& set);
// Sorts the store by name: both names upper-cased, then compared code unit
// by code unit. Equal names keep no particular order.
void SortStore(TSettings& settings);
// The position of the first stored set whose upper-cased name equals the
// upper-cased text (not trimmed), -1 when none does.
int FindStoredName(const TSettings& settings, std::u16string_view text);

// The list of stored sets. It reads the store on every paint and changes
// only its own selection; it is disabled while the store is empty, when it
// shows "There are no stored search sets." instead.
class TSetsStoreList : public QListView {
    Q_OBJECT
public:
    explicit TSetsStoreList(TSettings& settings, QWidget* parent = nullptr);

    // At start-up (after the settings are loaded) and after a save or
    // rename: takes the store's line count, sorts the store, clears the
    // selection, then selects the set that carries the select-after-sort
    // marker and clears that marker.
    void Redisplay();
    // After a set was removed: takes the line count without sorting.
    void Refresh();
    // The selected stored set's position, -1 when none is selected.
    int SelectedIndex() const;
    // Selects the stored set at index (and makes it current); -1 or an index
    // out of range clears the selection.
    void SelectIndex(int index);

signals:
    // A stored set was double-clicked: the main window loads it.
    void LoadRequested(int index);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    TSettings& m_settings;
    TSetsStoreModel* m_model;
};

// The commands, for the main window's actions; owner is the window they are
// centred over. Each returns true when it changed something:
// StoreSave, StoreRename and StoreDelete the store (the list is already
// redisplayed), StoreLoad the current search set (the caller redraws its
// list of the current set).
bool StoreSave(QWidget* owner, TSettings& settings, TSetsStoreList& list);
bool StoreLoad(QWidget* owner, TSettings& settings, TSetsStoreList& list);
bool StoreRename(QWidget* owner, TSettings& settings, TSetsStoreList& list);
bool StoreDelete(QWidget* owner, TSettings& settings, TSetsStoreList& list);

} // namespace vdx
