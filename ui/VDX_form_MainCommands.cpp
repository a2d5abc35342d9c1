// The main window's commands: the search set, searching and comparing, the
// store, the dialogs it opens.

#include <QAction>
#include <QDesktopServices>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QListView>
#include <QTreeView>
#include <QUrl>
#include <memory>

#include "engine/VDX_unit_SearchRun.h"
#include "engine/VDX_unit_SetCheck.h"
#include "persistence/VDX_unit_Settings.h"
#include "platform/VDX_unit_Time.h"
#include "platform/qt/VDX_unit_MessageBox.h"
#include "platform/qt/VDX_unit_QtText.h"
#include "ui/VDX_form_Columns.h"
#include "ui/VDX_form_Main.h"
#include "ui/VDX_form_ToolCustom.h"
#include "ui/VDX_unit_SearchSetModel.h"
#include "ui/VDX_unit_SetsStore.h"

namespace vdx {

namespace {

constexpr const char* kWebsite = "https://vardex.example.org/";
constexpr const char* kSupportMail = "support@vardex.example.org";

} // namespace

void Tform_Main::AddPath() {
    auto path = std::make_unique<TSearchData>();
    if (!ExecutePathDialog(*path, true))
        return;
    SaveRowStates();
    m_setModel->SetGuard(false);
    TSearchSet& set = m_settings.currentSet;
    for (std::size_t i = 0; i < set.Count(); ++i) {
        set.Path(i)->selected = false;
        set.Path(i)->focused = false;
    }
    path->selected = true;
    path->focused = true;
    set.AddOwned(std::move(path));
    const TColumnList& layout = m_settings.Columns(TColumnLayout::SearchSet);
    set.Paths().SortByColumn(layout.sortColumn, layout.ascending);
    m_setModel->SetGuard(true);
    RestoreRowStates();
    UpdateActions();
}

void Tform_Main::EditPath() {
    const QModelIndexList rows = m_lsvCurrentSet->selectionModel()->selectedRows();
    if (rows.size() != 1)
        return;
    TSearchData* path = m_settings.currentSet.Path(static_cast<std::size_t>(rows.front().row()));
    if (!path || !ExecutePathDialog(*path, false))
        return;
    SortSetList();
    SaveSettings(m_settings);
    m_lsvCurrentSet->viewport()->update();
}

void Tform_Main::DeletePath() {
    const QModelIndexList rows = m_lsvCurrentSet->selectionModel()->selectedRows();
    if (rows.isEmpty())
        return;
    TSearchSet& set = m_settings.currentSet;
    QString question;
    if (rows.size() == 1) {
        const TSearchData* path = set.Path(static_cast<std::size_t>(rows.front().row()));
        question = tr("Do you really want to remove from search the selected path '%1'?")
                       .arg(ToQString(path ? path->SearchPath : std::u16string()));
    } else {
        question = tr("You have %1 selected paths. Do you really want to remove them from search?")
                       .arg(rows.size());
    }
    if (MessageBoxCentered(this, ToU16(question), u"Confirm path deleting", TMsgButtons::YesNo,
                           TMsgIcon::Question) != kIdYes)
        return;
    SaveRowStates();
    for (std::size_t i = 0; i < set.Count(); ++i)
        set.Path(i)->removeMark = set.Path(i)->selected;
    m_setModel->SetGuard(false);
    set.RemoveMarked();
    m_setModel->SetGuard(true);
    RestoreRowStates();
    UpdateActions();
}

void Tform_Main::SelectAllPaths() {
    QItemSelectionModel* selection = m_lsvCurrentSet->selectionModel();
    const int count = m_setModel->rowCount();
    if (count == 0)
        return;
    if (selection->selectedRows().size() == count) {
        selection->clearSelection();
    } else {
        selection->select(
            QItemSelection(m_setModel->index(0, 0),
                           m_setModel->index(count - 1, m_setModel->columnCount() - 1)),
            QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
    UpdateActions();
}

void Tform_Main::StartSearch() {
    m_searchStartDays = NowDateTime();
    const TSetCheckResult check = CheckSearchSet(m_settings.currentSet);
    if (!check.ok) {
        // The refused pair is selected so that the user sees which paths clash.
        QItemSelectionModel* selection = m_lsvCurrentSet->selectionModel();
        selection->clearSelection();
        for (std::size_t index : check.selectIndexes) {
            const QModelIndex row = m_setModel->index(static_cast<int>(index), 0);
            selection->select(row, QItemSelectionModel::Select | QItemSelectionModel::Rows);
        }
        MessageBoxCentered(this, check.message, check.title, TMsgButtons::Ok, TMsgIcon::Warning);
        UpdateActions();
        return;
    }
    RunSearch();
}

// The scan information, and the comparison when its button asked for it.
void Tform_Main::ShowScanInfo() {
    if (ExecuteScanInfoWindow() == kIdYes)
        ContentCompare();
}

void Tform_Main::StoreCommand(int which) {
    // The commands refuse quietly when their action is disabled (a key
    // that reached them through the list, a double click on an empty list).
    static const char* const kActions[] = {"actStore_Save", "actStore_Load", "actStore_Rename",
                                           "actStore_Delete"};
    UpdateActions();
    if (which < 0 || which > 3 || !Action(QString::fromLatin1(kActions[which]))->isEnabled())
        return;
    switch (which) {
    case 0:
        SaveRowStates();
        StoreSave(this, m_settings, *m_lbxSetsStore);
        break;
    case 1:
        SaveRowStates();
        if (StoreLoad(this, m_settings, *m_lbxSetsStore)) {
            // The loaded set's rows carry no selection; show it sorted.
            m_setModel->SetGuard(false);
            const TColumnList& layout = m_settings.Columns(TColumnLayout::SearchSet);
            m_settings.currentSet.Paths().SortByColumn(layout.sortColumn, layout.ascending);
            m_setModel->SetGuard(true);
            RestoreRowStates();
        }
        break;
    case 2:
        StoreRename(this, m_settings, *m_lbxSetsStore);
        break;
    case 3:
        StoreDelete(this, m_settings, *m_lbxSetsStore);
        break;
    }
    UpdateActions();
}

void Tform_Main::SetColumnsDialog() {
    TColumnList& layout = m_settings.Columns(TColumnLayout::SearchSet);
    // The present widths go into the layout first, so the dialog shows them.
    QHeaderView* header = m_lsvCurrentSet->header();
    for (int logical = 0; logical < header->count(); ++logical)
        if (TColumnBag* bag = layout.FindDefinition(m_setModel->ColumnId(logical)))
            bag->width = header->sectionSize(logical);
    if (!ExecuteColumns(this, layout))
        return;
    SaveRowStates();
    m_setModel->SetGuard(false);
    BuildSetColumns();
    m_setModel->SetGuard(true);
    RestoreRowStates();
    if (layout.autosize)
        AdjustSetColumns();
    UpdateActions();
}

void Tform_Main::CustomizeToolBar(TToolBarKind kind) {
    ExecuteToolCustom(this, m_settings.Tool(kind), ToolActions());
    ApplyPaneMinimums();
}

void Tform_Main::OpenWebsite() {
    QDesktopServices::openUrl(QUrl(QString::fromLatin1(kWebsite)));
}

void Tform_Main::OpenFeedback() {
    QUrl mail(QStringLiteral("mailto:") + QString::fromLatin1(kSupportMail));
    mail.setQuery(QStringLiteral("subject=Support inquiry for VXL ver 1.0.1"));
    QDesktopServices::openUrl(mail);
}

} // namespace vdx
