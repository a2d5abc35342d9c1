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
    m_searchStart = QDateTime::currentDateTime();
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

void Tform_Main::ShowScanInfoAndMaybeCompare() {
    if (ExecuteScanInfoWindow() == kIdYes)
        ContentCompare();
}

void Tform_Main::ShowScanInfo() {
    ShowScanInfoAndMaybeCompare();
}

void Tform_Main::StoreCommand(int which) {
    switch (which) {
    case 0:
        StoreSave(this, m_settings, *m_lbxSetsStore);
        break;
    case 1:
        if (StoreLoad(this, m_settings, *m_lbxSetsStore)) {
            // The set was replaced under the list: its rows are new, and the
            // row states were cleared with the load, so none is saved here.
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
    default:
        break;
    }
    UpdateActions();
}

void Tform_Main::SetColumnsDialog() {
    // The widths the user gave the columns by hand go into the layout first.
    TColumnList& layout = m_settings.Columns(TColumnLayout::SearchSet);
    QHeaderView* header = m_lsvCurrentSet->header();
    for (int logical = 0; logical < header->count(); ++logical)
        if (TColumnBag* bag = layout.FindDefinition(m_setModel->ColumnId(logical)))
            bag->width = header->sectionSize(logical);
    if (!ExecuteColumns(this, layout))
        return;
    BuildSetColumns();
    if (layout.autosize)
        AdjustSetColumns();
    UpdateActions();
}

void Tform_Main::CustomizeToolBar(TToolBarKind kind) {
    ExecuteToolCustom(this, m_settings.Tool(kind), m_actions.values());
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
