#pragma once
// What a front end learns of the store's changes. The windows read the
// store while they paint, so they must know when their rows are about to go
// (clearing), when the store is whole again (cleared), when a worker owns it
// (busy: no reads until idle) and when only a view's order or marks changed.
// Every notice reaches the observer on the user-interface thread: the
// controllers give it there, and a worker that re-indexes the store gives
// it through its main-thread caller. Qt-free, so that the engine and the
// command line can use it as well as the window models.

#include <cstdint>

#include "platform/VDX_unit_Threads.h"

namespace vdx {

class TScanData;
enum TViewKind : std::int32_t;

// Why the store's rows are going away.
enum class TStoreChange : std::uint8_t {
    NewSearch, // every table and view emptied for a search
    Content,   // the Same content and Full clones views emptied for a comparison
    Reindex,   // the views rebuilt without the files an operation removed
};

// What changed in one view without any row coming or going.
enum class TViewChange : std::uint8_t {
    Order, // the rows or the navigator were sorted
    Marks, // mark bits and the counts beside them
};

// The front end's side. The default of every notice is to ignore it.
class TStoreObserver {
public:
    virtual ~TStoreObserver() = default;
    // Rows, groups and file indices read so far become invalid: drop them.
    virtual void StoreClearing(TStoreChange /*change*/) {}
    // The store is consistent again and may be read (unless busy).
    virtual void StoreCleared(TStoreChange /*change*/) {}
    // A worker started and writes the store: no reads until StoreIdle.
    virtual void StoreBusy() {}
    // The worker has ended and the store may be read again.
    virtual void StoreIdle() {}
    virtual void ViewChanged(TViewKind /*view*/, TViewChange /*change*/) {}
};

// Re-indexes the store after removals, announcing it before and after on
// the user-interface thread through caller (here without one). For the
// workers, which own the store while they run but whose front end may still
// hold rows of it.
void ReindexAnnounced(TScanData& store, TMainThreadCaller* caller);

} // namespace vdx
