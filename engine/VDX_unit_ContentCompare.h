#pragma once
// Content comparison: reads the files of every Same size group in lockstep,
// one block per file and pass, splits the group into classes of identical
// bytes, and turns every class of two or more files into a Same content
// group; then builds the Same content and Full clones views from them.
//
// A file is read at most once, sequentially, and stops being read as soon
// as no other file of its group has matched it so far. A file that cannot be
// opened or read is set aside at once, recorded in the store with its
// reason and in the error file, and never joins a group; two files
// join one group only when every byte matched and both ended at the same
// length.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/VDX_unit_ScanData.h"

namespace vdx {

// At most this many bytes per file and read.
inline constexpr std::uint32_t kCompareBlockMax = 32768;
// At most this many bytes of read buffers for one group, whatever its size.
inline constexpr std::uint64_t kCompareGroupBuffersMax = 134217728;

// The bytes each file of a group reads per pass: the smallest of the common
// size, kCompareGroupBuffersMax / fileCount and kCompareBlockMax; at least 1.
std::uint32_t CompareBufferSize(std::uint64_t commonSize, std::uint32_t fileCount);

// The error file's line for a file the comparison could not read.
std::u16string UncomparedEntryText(const TUncomparedFile& file);

// Lets the content worker pause, stop and report progress while the
// comparison runs.
class TCompareControl {
public:
    virtual ~TCompareControl() = default;
    // Called before each group and after each pass over a group's blocks;
    // may block while the comparison is paused. false asks it to stop.
    virtual bool Continue() = 0;
    // Called after each pass and each finished group: the counters changed.
    virtual void Progress() {}
};

// What the progress window shows.
struct TCompareCounters {
    std::uint32_t filesCompared = 0;   // sum of the file counts of the finished groups
    std::uint32_t groupsCompared = 0;  // Same size groups finished
    std::uint64_t bytesCompared = 0;   // file count x common size of the finished groups,
                                       // plus the part of the current group passed so far
    std::uint32_t filesUnreadable = 0; // files that could not be opened or read
};

// How the reading went, for tests and benchmarks.
struct TCompareStats {
    std::uint64_t bytesRead = 0;     // bytes the reads returned
    std::uint64_t readCalls = 0;     // reads made, the ones that found the end included
    std::uint64_t opens = 0;         // successful opens, reopens included
    std::uint64_t reopens = 0;       // opens of a file read before (descriptor budget)
    std::uint32_t unreadable = 0;    // files set aside because an open, seek or read failed
    std::uint32_t budgetCuts = 0;    // opens that ran out of descriptors and closed another file
    std::uint32_t peakOpen = 0;      // most descriptors held at once
    std::size_t peakBufferBytes = 0; // largest buffer block of a group
};

class TContentCompare {
public:
    explicit TContentCompare(TScanData& store, TCompareControl* control = nullptr);
    ~TContentCompare(); // closes whatever is still open
    TContentCompare(const TContentCompare&) = delete;
    TContentCompare& operator=(const TContentCompare&) = delete;

    // Compares every Same size group, in the order of the Same size rows, and
    // appends a Same content group for every class of identical files. The
    // content views must have been cleared before. Returns false when the
    // control asked to stop; the groups made so far are then left in place
    // and the caller clears them.
    bool CompareAll();

    // Most descriptors held open at once. A group with more files still
    // being read reopens the others for each block (at the position reached)
    // so that every byte is still read once. Defaults to half the soft limit
    // of open files, at least 16; an open that fails with EMFILE or ENFILE
    // closes another file of the group, lowers the budget and tries again,
    // so that running out of descriptors never leaves a file uncompared.
    void SetDescriptorBudget(std::uint32_t budget) { m_budget = budget < 1 ? 1 : budget; }
    std::uint32_t DescriptorBudget() const { return m_budget; }

    const TCompareCounters& Counters() const { return m_counters; }
    const TCompareStats& Stats() const { return m_stats; }

private:
    enum class TSlotState : std::uint8_t {
        Fresh,   // never opened
        Reading, // opened before; fd may be closed to keep within the budget
        Ended,   // the end of the file was reached; closed
        Failed,  // open, seek or read failed; closed
        Aside,   // no other file matched it; closed
    };
    struct TSlot {
        std::uint32_t file;
        int fd;
        std::uint32_t got; // bytes the last pass read into the slot's buffer
        TSlotState state;
    };
    struct TFolderPath {
        std::size_t offset; // in m_folderBytes
        std::size_t length;
    };
    static constexpr std::size_t kNotEncoded = static_cast<std::size_t>(-1);
    struct TRange {
        std::uint32_t begin; // positions in m_order
        std::uint32_t end;
    };

    // Compares the files in m_slots, which all have commonSize bytes by the
    // scan. false when stopped.
    bool CompareGroup(std::uint64_t commonSize);
    bool AllocateBuffers(std::uint32_t fileCount);
    // Bytes every slot still read asks for in the current pass; one more
    // than the rest of the file for the last block, so that a file that grew
    // since the scan shows it.
    std::uint32_t Want() const;
    void ReadSlot(TSlot& slot, std::uint32_t want);
    // Opens m_path for slot; 0 or the errno.
    int OpenSlotFile(TSlot& slot, int& fd);
    // Splits the class into runs of identical blocks and files each as
    // still active, finished or set aside.
    void SplitRange(std::uint32_t begin, std::uint32_t end, std::uint32_t want);
    // Splits off the files equal to the first, again and again; with
    // hashLarge, hands a large rest to SplitByHash.
    void SplitByReference(std::uint32_t begin, std::uint32_t end, std::uint32_t want,
                          bool hashLarge);
    void SplitByHash(std::uint32_t begin, std::uint32_t end, std::uint32_t want);
    void FileRun(std::uint32_t begin, std::uint32_t end, std::uint32_t want);
    // The file's path, as the system takes it, into m_path.
    void BuildPath(std::uint32_t file);
    bool SameBlock(const TSlot& a, const TSlot& b) const;
    unsigned char* BufferOf(const TSlot& slot);
    const unsigned char* BufferOf(const TSlot& slot) const;
    void CloseSlot(TSlot& slot);
    void CloseAll();
    void MakeGroups();
    bool Continue() { return m_control == nullptr || m_control->Continue(); }
    void Progress() {
        if (m_control != nullptr)
            m_control->Progress();
    }

    TScanData& m_store;
    TCompareControl* m_control;
    std::uint32_t m_budget;
    TCompareCounters m_counters;
    TCompareStats m_stats;

    // The group being compared; reused from group to group.
    std::vector<TSlot> m_slots;
    std::vector<std::uint32_t> m_order; // slot numbers; every class is a range of it
    std::vector<TRange> m_active;       // classes still being read
    std::vector<TRange> m_next;
    std::vector<TRange> m_finished; // classes of two or more files read to their end
    std::vector<std::uint64_t> m_hashes;
    std::string m_path;
    // Folder paths encoded so far, by folder index.
    std::vector<TFolderPath> m_folderPaths;
    std::string m_folderBytes;
    std::uint64_t m_size = 0;   // the group's common size
    std::uint64_t m_offset = 0; // bytes every active slot has read
    std::uint32_t m_block = 0;  // bytes per read
    std::size_t m_stride = 0;   // bytes between two slots' buffers
    std::uint32_t m_openCount = 0;

    unsigned char* m_buffer = nullptr;
    std::size_t m_bufferBytes = 0;
};

// Builds the Same content order table and rows and the whole Full clones
// view from the content groups.
void BuildContentViews(TScanData& store);

} // namespace vdx
