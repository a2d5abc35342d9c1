#include "engine/VDX_unit_StoreObserver.h"

#include "engine/VDX_unit_Grouping.h"
#include "engine/VDX_unit_ScanData.h"
#include "engine/VDX_unit_WorkerRun.h"

namespace vdx {

void ReindexAnnounced(TScanData& store, TMainThreadCaller* caller) {
    CallOnMainThread(caller, [&store] { store.AnnounceClearing(TStoreChange::Reindex); });
    // Guards each of its steps itself, so the announcement after it always
    // comes and no front end is left without rows for good.
    ReindexAfterRemovals(store);
    CallOnMainThread(caller, [&store] { store.AnnounceCleared(TStoreChange::Reindex); });
}

} // namespace vdx
