#pragma once
// The main window: the program's only modeless window and its hub. It shows
// the current search set, the sets store and the results, owns every user
// command as a named action, and opens every other window modally. Long
// work runs in the controller's workers while a progress window is shown
// modally, so no command reaches the window while a worker owns the store.

#include <QHash>
#include <QMainWindow>
#include <array>
#include <functional>
#include <memory>

#include "engine/VDX_unit_ScanData.h"
#include "engine/VDX_unit_StoreObserver.h"
#include "persistence/VDX_unit_Tools.h"

class QAction;
class QFrame;
class QHeaderView;
class QLabel;
class QMenu;
class QSplitter;
class QTabBar;
class QTableView;
class QToolBar;
class QTreeView;

namespace vdx {

class TSearchRun;
class TMainThreadCaller;
class TSettings;
class TSearchSetModel;
class TSearchData;
class TSetsStoreList;

// Message numbers the main window posts or receives.
inline constexpr int kMsgSetColumnsMoved = 1024 + 5; // a search set header was dragged
inline constexpr int kMsgOptionsLogPage = 1024 + 82; // the log viewer asks for the log options

// The store's view number of a tab (0..5 in tab order).
TViewKind ViewOfTab(int tab);

class Tform_Main : public QMainWindow, public TStoreObserver {
    Q_OBJECT
public:
    // settings and run outlive the window; the window saves settings when it
    // closes.
    Tform_Main(TSettings& settings, TSearchRun& run, QWidget* parent = nullptr);
    ~Tform_Main() override;

    // The action with that name (actSet_AddPath ...), or null.
    QAction* Action(const QString& name) const { return m_actions.value(name, nullptr); }
    // The current view, 0..5 in tab order.
    int CurrentView() const { return m_currentView; }
    // Recomputes the enabled and checked state of every action.
    void UpdateActions();
    // The caller the search and comparison workers get: the progress
    // window's own unless a wrapper is set, which receives it and returns the
    // one to use (tests hold a worker at a chosen point this way).
    using TCallerWrap = std::function<TMainThreadCaller*(TMainThreadCaller*)>;
    void SetWorkerCallerWrap(TCallerWrap wrap) { m_callerWrap = std::move(wrap); }

    // Opens the Customize Toolbar dialog for one of the three bars (also the
    // bars' context menu).
    void CustomizeToolBar(TToolBarKind kind);

    // TStoreObserver: the results display follows the store.
    void StoreClearing(TStoreChange change) override;
    void StoreCleared(TStoreChange change) override;
    void StoreBusy() override;
    void StoreIdle() override;
    void ViewChanged(TViewKind view, TViewChange change) override;

protected:
    bool event(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    class TBarView;

    // Construction (VDX_form_MainActions.cpp).
    void CreateActions();
    void CreateMenus();
    QAction* AddAction(const char* name, const QString& caption, const QKeySequence& shortcut,
                       const QString& hint, int image);
    QIcon ImageIcon(int image) const;
    // Construction (VDX_form_Main.cpp).
    void CreateLayout();
    QFrame* CaptionBar(const char* name, const QString& text, QAction* closeAction);
    void CreateToolBars();
    void RebuildBar(QToolBar* bar, const TTool& tool);
    QList<QAction*> ToolActions() const;
    void ShowToolBarMenu(TToolBarKind kind, const QPoint& globalPos);
    void ApplyPaneMinimums();

    // The search set list.
    void BuildSetColumns();
    void SortSetList();
    void SaveRowStates();
    void RestoreRowStates();
    void AdjustSetColumns();
    void OnSetHeaderClicked(int logical);
    void OnSetColumnsMoved();
    void ShowSetHeaderMenu(const QPoint& pos);
    std::size_t SelectedPathCount() const;

    // Commands (VDX_form_MainCommands.cpp).
    void AddPath();
    void EditPath();
    void DeletePath();
    void SelectAllPaths();
    void StartSearch();
    void ContentCompare();
    void ShowScanInfo();
    void ShowSetStore(bool show);
    void ShowNavigator(bool show);
    void SelectView(int tab);
    void SetColumnsDialog();
    void StoreCommand(int which);
    void OpenWebsite();
    void OpenFeedback();

    // The windows the commands open (VDX_form_MainWindows.cpp).
    // Shows the search path dialog for path; true on OK.
    bool ExecutePathDialog(TSearchData& path, bool adding);
    // Starts the search of the current set with its progress window, and
    // what follows when the window closes.
    void RunSearch();
    // The scan information window; kIdYes when it asked for the comparison.
    int ExecuteScanInfoWindow();

    // Results area.
    void RebuildResults();
    void UpdateTabCaptions();

    // Pane ratios.
    void ApplyRatios();
    void StoreRatio(int which);

    TSettings& m_settings;
    TSearchRun& m_run;
    TCallerWrap m_callerWrap;
    QHash<QString, QAction*> m_actions;
    int m_currentView = 0;
    double m_searchStartDays = 0; // when Start search was last pressed, local days since 1899-12-30
    bool m_busy = false;          // a rebuild of the results display runs
    bool m_storeBusy = false;     // a worker owns the store
    bool m_applyingRatios = false;
    bool m_shownOnce = false;

    // Widgets, owned by the window.
    QSplitter* m_splMain = nullptr;
    QSplitter* m_splSearchSet = nullptr;
    QSplitter* m_splResults = nullptr;
    QWidget* m_pnlSearchSetStore = nullptr;
    QWidget* m_pnlNavigator = nullptr;
    QTreeView* m_lsvCurrentSet = nullptr;
    TSearchSetModel* m_setModel = nullptr;
    TSetsStoreList* m_lbxSetsStore = nullptr;
    QTabBar* m_tabs = nullptr;
    QTableView* m_sgResults = nullptr;
    QTableView* m_sgNavigator = nullptr;
    std::array<QToolBar*, kToolBarCount> m_bars{};
    std::array<std::unique_ptr<TBarView>, kToolBarCount> m_barViews;
    QToolBar* m_tlbFull = nullptr;
    std::array<QLabel*, 3> m_panels{};
    QMenu* m_pupCurrentSetLV = nullptr;
    QMenu* m_pupCurrentSetColumns = nullptr;
    QMenu* m_pupReportMenu = nullptr;
    QMenu* m_pupSetStoreLbx = nullptr;
    int m_headerMenuColumn = -1; // the list column whose header was right-clicked
};

} // namespace vdx
