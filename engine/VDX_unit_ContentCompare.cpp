#include "engine/VDX_unit_ContentCompare.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <numeric>
#include <sys/resource.h>
#include <utility>

#include "engine/VDX_unit_ErrorFile.h"
#include "engine/VDX_unit_Grouping.h"
#include "platform/VDX_unit_FileSystem.h"
#include "platform/VDX_unit_SystemError.h"
#include "platform/VDX_unit_Text.h"

namespace vdx {

// The door through which this unit takes its key to the store's tables
// (TStoreKey).
struct TContentCompareDoor {
    static constexpr TStoreKey Key() noexcept { return TStoreKey{}; }
};

namespace {

constexpr TStoreKey kKey = TContentCompareDoor::Key();

// Classes with more files than this that differ from their reference are
// split by a hash of each block first, so that a large group of files that
// all differ costs one hash per file instead of one comparison per pair.
constexpr std::uint32_t kHashSplitMin = 12;

// When even the smallest buffers cannot be had, the group is not compared.
constexpr std::uint32_t kSmallestBlock = 512;

// Buffers start on cache lines, which keeps the comparisons and the kernel's
// copies on aligned words.
constexpr std::size_t kBufferAlign = 64;

std::uint32_t DefaultDescriptorBudget() {
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0)
        return 256;
    // Half the soft limit leaves the rest of the program (the user interface,
    // the logs) its descriptors while a comparison runs.
    rlim_t soft = limit.rlim_cur;
    if (soft == RLIM_INFINITY || soft > 131072)
        soft = 131072;
    return std::max<std::uint32_t>(16, static_cast<std::uint32_t>(soft / 2));
}

inline std::uint64_t Rotl(std::uint64_t v, int r) {
    return (v << r) | (v >> (64 - r));
}

inline std::uint64_t Load64(const unsigned char* p) {
    std::uint64_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

// A fast 64-bit hash of a block, four independent lanes. Used only to bring
// probably-equal blocks together; equality is always decided byte by byte.
std::uint64_t HashBlock(const unsigned char* p, std::size_t n) {
    constexpr std::uint64_t k1 = 0x9E3779B97F4A7C15ull;
    constexpr std::uint64_t k2 = 0xC2B2AE3D27D4EB4Full;
    std::uint64_t a = n * k1;
    std::uint64_t b = a ^ k2;
    std::uint64_t c = Rotl(a, 23);
    std::uint64_t d = Rotl(b, 41);
    std::size_t i = 0;
    for (; i + 32 <= n; i += 32) {
        a = Rotl(a ^ (Load64(p + i) * k2), 31) * k1;
        b = Rotl(b ^ (Load64(p + i + 8) * k2), 31) * k1;
        c = Rotl(c ^ (Load64(p + i + 16) * k2), 31) * k1;
        d = Rotl(d ^ (Load64(p + i + 24) * k2), 31) * k1;
    }
    std::uint64_t h = a ^ Rotl(b, 17) ^ Rotl(c, 29) ^ Rotl(d, 43);
    for (; i + 8 <= n; i += 8)
        h = Rotl(h ^ (Load64(p + i) * k2), 31) * k1;
    if (i < n) {
        std::uint64_t tail = 0;
        std::memcpy(&tail, p + i, n - i);
        h = Rotl(h ^ (tail * k2), 31) * k1;
    }
    h ^= h >> 33;
    h *= k2;
    h ^= h >> 29;
    return h;
}

} // namespace

std::u16string UncomparedEntryText(const TUncomparedFile& file) {
    return u"TContentThread: cannot read " + file.m_path + u": " + SystemErrorText(file.m_error);
}

std::uint32_t CompareBufferSize(std::uint64_t commonSize, std::uint32_t fileCount) {
    std::uint64_t size = std::min<std::uint64_t>(commonSize, kCompareBlockMax);
    if (fileCount > 0)
        size = std::min<std::uint64_t>(size, kCompareGroupBuffersMax / fileCount);
    return static_cast<std::uint32_t>(std::max<std::uint64_t>(size, 1));
}

TContentCompare::TContentCompare(TScanData& store, TCompareControl* control)
    : m_store(store), m_control(control), m_budget(DefaultDescriptorBudget()) {}

TContentCompare::~TContentCompare() {
    CloseAll();
    std::free(m_buffer);
}

bool TContentCompare::CompareAll() {
    const TRecordTable<TViewRowItem>& rows = m_store.Rows(kViewSameSize);
    const std::uint32_t rowCount = rows.Count();
    const std::uint32_t fileCount = m_store.FileCount();
    std::uint32_t i = 0;
    while (i < rowCount) {
        if (!Continue())
            return false;
        // The rows list each group as one run, its header first; the run's
        // file rows are the group's members.
        const std::int32_t group = rows[i].m_group;
        m_slots.clear();
        for (; i < rowCount && rows[i].m_group == group; ++i) {
            const std::int32_t file = rows[i].m_file;
            if (file < 0 || static_cast<std::uint32_t>(file) >= fileCount)
                continue;
            if (m_store.File(static_cast<std::uint32_t>(file)).m_removed)
                continue;
            m_slots.push_back(TSlot{static_cast<std::uint32_t>(file), -1, 0, TSlotState::Fresh});
        }
        if (group < 0 || static_cast<std::uint32_t>(group) >= m_store.SizeGroups().Count())
            continue;
        if (!CompareGroup(m_store.SizeGroups()[static_cast<std::uint32_t>(group)].m_size))
            return false;
    }
    return true;
}

bool TContentCompare::CompareGroup(std::uint64_t commonSize) {
    const auto n = static_cast<std::uint32_t>(m_slots.size());
    const std::uint64_t before = m_counters.bytesCompared;
    m_size = commonSize;
    m_offset = 0;
    m_openCount = 0;
    m_active.clear();
    m_finished.clear();
    bool stopped = false;
    if (n >= 2 && AllocateBuffers(n)) {
        m_order.resize(n);
        std::iota(m_order.begin(), m_order.end(), 0u);
        m_active.push_back(TRange{0, n});
        while (!m_active.empty()) {
            const std::uint32_t want = Want();
            for (const TRange& range : m_active) {
                for (std::uint32_t i = range.begin; i < range.end; ++i)
                    ReadSlot(m_slots[m_order[i]], want);
            }
            m_next.clear();
            for (const TRange& range : m_active)
                SplitRange(range.begin, range.end, want);
            std::swap(m_active, m_next);
            m_offset += want;
            m_counters.bytesCompared = before + std::uint64_t{n} * std::min(m_offset, m_size);
            Progress();
            if (!m_active.empty() && !Continue()) {
                stopped = true;
                break;
            }
        }
    } else if (n >= 2) {
        AddErrorEntry(u"TContentThread: no memory for the read buffers of a group of " +
                      FromUtf8(std::to_string(n)) + u" files");
    }
    CloseAll();
    if (stopped)
        return false;
    MakeGroups();
    m_counters.filesCompared += n;
    ++m_counters.groupsCompared;
    m_counters.bytesCompared = before + std::uint64_t{n} * commonSize;
    Progress();
    return true;
}

bool TContentCompare::AllocateBuffers(std::uint32_t fileCount) {
    m_block = CompareBufferSize(m_size, fileCount);
    for (;;) {
        // One byte beyond the block lets the last read show a file that grew.
        m_stride = (std::size_t{m_block} + 1 + kBufferAlign - 1) / kBufferAlign * kBufferAlign;
        const std::size_t need = m_stride * fileCount;
        if (need <= m_bufferBytes)
            return true;
        std::free(m_buffer);
        m_buffer = static_cast<unsigned char*>(std::aligned_alloc(kBufferAlign, need));
        m_bufferBytes = m_buffer != nullptr ? need : 0;
        if (m_buffer != nullptr) {
            m_stats.peakBufferBytes = std::max(m_stats.peakBufferBytes, need);
            return true;
        }
        if (m_block <= kSmallestBlock)
            return false;
        m_block /= 2;
    }
}

std::uint32_t TContentCompare::Want() const {
    if (m_offset < m_size && m_size - m_offset <= m_block)
        return static_cast<std::uint32_t>(m_size - m_offset) + 1;
    return m_block;
}

unsigned char* TContentCompare::BufferOf(const TSlot& slot) {
    return m_buffer + m_stride * static_cast<std::size_t>(&slot - m_slots.data());
}

const unsigned char* TContentCompare::BufferOf(const TSlot& slot) const {
    return m_buffer + m_stride * static_cast<std::size_t>(&slot - m_slots.data());
}

int TContentCompare::OpenSlotFile(TSlot& slot, int& fd) {
    for (;;) {
        // The scan took a regular file: a link or a pipe put in its place
        // since then is not followed, and opening it never blocks.
        const int rc =
            Fs().Open(m_path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY, 0, fd);
        if (rc != EMFILE && rc != ENFILE)
            return rc;
        // Out of descriptors is a limit of the process or the system, not a
        // fault of this file: hold fewer files open from now on and try
        // again. A file closed for it is reopened at the offset reached.
        TSlot* victim = nullptr;
        for (TSlot& other : m_slots)
            if (&other != &slot && other.fd >= 0) {
                victim = &other;
                break;
            }
        if (victim == nullptr)
            return rc; // not even one file can be open
        CloseSlot(*victim);
        m_budget = std::max<std::uint32_t>(1, m_openCount);
        ++m_stats.budgetCuts;
    }
}

void TContentCompare::ReadSlot(TSlot& slot, std::uint32_t want) {
    auto fail = [&](int error) {
        CloseSlot(slot);
        slot.state = TSlotState::Failed;
        ++m_stats.unreadable;
        ++m_counters.filesUnreadable;
        m_store.AddUncomparedFile(m_store.FullPath(slot.file), error);
        AddErrorEntry(UncomparedEntryText(m_store.UncomparedFiles().back()));
    };
    if (slot.fd < 0) {
        BuildPath(slot.file);
        int fd = -1;
        if (const int rc = OpenSlotFile(slot, fd); rc != 0) {
            fail(rc);
            return;
        }
        slot.fd = fd;
        ++m_openCount;
        ++m_stats.opens;
        m_stats.peakOpen = std::max(m_stats.peakOpen, m_openCount);
        if (slot.state == TSlotState::Fresh) {
            slot.state = TSlotState::Reading;
            // A file read in one block gains nothing from read-ahead advice.
            if (m_size > m_block)
                (void)Fs().Advise(fd, POSIX_FADV_SEQUENTIAL);
        } else {
            ++m_stats.reopens;
            if (const int rc = Fs().Seek(fd, m_offset); rc != 0) {
                fail(rc);
                return;
            }
        }
    }
    unsigned char* buffer = BufferOf(slot);
    std::uint32_t got = 0;
    while (got < want) {
        std::size_t done = 0;
        ++m_stats.readCalls;
        if (const int rc = Fs().Read(slot.fd, buffer + got, want - got, done); rc != 0) {
            fail(rc);
            return;
        }
        if (done == 0)
            break;
        got += static_cast<std::uint32_t>(done);
        m_stats.bytesRead += done;
    }
    slot.got = got;
    if (got < want) {
        CloseSlot(slot);
        slot.state = TSlotState::Ended;
    } else if (m_openCount > m_budget) {
        CloseSlot(slot); // reopened at this position for the next block
    }
}

void TContentCompare::BuildPath(std::uint32_t file) {
    // Each folder is encoded once: most folders hold several files that
    // are compared, and their paths are long.
    const std::uint32_t folder = m_store.File(file).m_folder;
    if (folder >= m_folderPaths.size())
        m_folderPaths.resize(m_store.FolderCount(), TFolderPath{kNotEncoded, 0});
    TFolderPath& cached = m_folderPaths[folder];
    if (cached.offset == kNotEncoded) {
        const std::size_t offset = m_folderBytes.size();
        AppendEncodedFileName(m_store.FolderPath(folder), m_folderBytes);
        cached.offset = offset;
        cached.length = m_folderBytes.size() - offset;
    }
    m_path.assign(m_folderBytes, cached.offset, cached.length);
    AppendEncodedFileName(m_store.FileName(file), m_path);
}

bool TContentCompare::SameBlock(const TSlot& a, const TSlot& b) const {
    return a.got == b.got && std::memcmp(BufferOf(a), BufferOf(b), a.got) == 0;
}

void TContentCompare::SplitRange(std::uint32_t begin, std::uint32_t end, std::uint32_t want) {
    // Files that failed leave their class at once; they are closed already.
    std::uint32_t* order = m_order.data();
    std::uint32_t kept = begin;
    for (std::uint32_t i = begin; i < end; ++i) {
        if (m_slots[order[i]].state != TSlotState::Failed)
            std::swap(order[i], order[kept++]);
    }
    SplitByReference(begin, kept, want, true);
}

void TContentCompare::SplitByReference(std::uint32_t begin, std::uint32_t end, std::uint32_t want,
                                       bool hashLarge) {
    // The common case, a class whose files still all match, costs one
    // comparison per file against the first.
    std::uint32_t* order = m_order.data();
    while (end - begin > 1) {
        const TSlot& reference = m_slots[order[begin]];
        std::uint32_t same = begin + 1;
        for (std::uint32_t i = begin + 1; i < end; ++i) {
            if (SameBlock(m_slots[order[i]], reference))
                std::swap(order[i], order[same++]);
        }
        FileRun(begin, same, want);
        begin = same;
        if (hashLarge && end - begin > kHashSplitMin) {
            SplitByHash(begin, end, want);
            return;
        }
    }
    if (end - begin == 1)
        FileRun(begin, end, want);
}

void TContentCompare::SplitByHash(std::uint32_t begin, std::uint32_t end, std::uint32_t want) {
    // Many files differ from their reference: bring equal blocks together by
    // their hash, then confirm each run byte by byte.
    std::uint32_t* order = m_order.data();
    if (m_hashes.size() < m_slots.size())
        m_hashes.resize(m_slots.size());
    for (std::uint32_t i = begin; i < end; ++i) {
        const TSlot& slot = m_slots[order[i]];
        m_hashes[order[i]] = HashBlock(BufferOf(slot), slot.got) ^ slot.got;
    }
    const std::uint64_t* hashes = m_hashes.data();
    std::sort(order + begin, order + end, [hashes](std::uint32_t a, std::uint32_t b) {
        return hashes[a] != hashes[b] ? hashes[a] < hashes[b] : a < b;
    });
    for (std::uint32_t run = begin; run < end;) {
        std::uint32_t runEnd = run + 1;
        while (runEnd < end && hashes[order[runEnd]] == hashes[order[run]])
            ++runEnd;
        SplitByReference(run, runEnd, want, false);
        run = runEnd;
    }
}

void TContentCompare::FileRun(std::uint32_t begin, std::uint32_t end, std::uint32_t want) {
    TSlot& first = m_slots[m_order[begin]];
    if (end - begin == 1) {
        // Nothing else in the group matches this file: it is not read on.
        CloseSlot(first);
        first.state = TSlotState::Aside;
    } else if (first.got < want) {
        // Every file of the run ended at this same length: identical.
        m_finished.push_back(TRange{begin, end});
    } else {
        m_next.push_back(TRange{begin, end});
    }
}

void TContentCompare::CloseSlot(TSlot& slot) {
    if (slot.fd < 0)
        return;
    (void)Fs().Close(slot.fd);
    slot.fd = -1;
    --m_openCount;
}

void TContentCompare::CloseAll() {
    for (TSlot& slot : m_slots)
        CloseSlot(slot);
    m_openCount = 0;
}

void TContentCompare::MakeGroups() {
    if (m_finished.empty())
        return;
    // Groups appear in the order of their first file in the Same size rows,
    // and list their files in that order too.
    std::uint32_t* order = m_order.data();
    for (const TRange& range : m_finished)
        std::sort(order + range.begin, order + range.end);
    std::sort(m_finished.begin(), m_finished.end(), [order](const TRange& a, const TRange& b) {
        return order[a.begin] < order[b.begin];
    });
    TRecordTable<TSizeGroupItem>& groups = m_store.ContentGroups(kKey);
    TViewCounters& counters = m_store.Counters(kKey, kViewSameContent);
    const std::uint8_t bit = ViewMarkBit(kViewSameContent);
    for (const TRange& range : m_finished) {
        TSizeGroupItem group{};
        group.m_head.m_navPosition = -1;
        group.m_head.m_headerRow = -1;
        group.m_head.m_fileCount = range.end - range.begin;
        group.m_size = m_size;
        group.m_totalBytes = m_size * group.m_head.m_fileCount;
        for (std::uint32_t i = range.begin; i < range.end; ++i) {
            const TScanFileItem& file = m_store.File(m_slots[order[i]].file);
            if ((file.m_marks & bit) != 0) {
                ++group.m_head.m_markedCount;
                ++counters.m_markedFiles;
                counters.m_markedBytes += file.m_size;
            }
        }
        const std::uint32_t marked = group.m_head.m_markedCount;
        group.m_markState = marked == 0 ? 0 : (marked == group.m_head.m_fileCount ? 1 : 2);
        if (const int rc = groups.Append(group); rc != 0) {
            // The files of this class stay out of the view; the others go on.
            AddErrorEntry(u"TContentThread: " + SystemErrorText(rc));
            continue;
        }
        const auto index = static_cast<std::int32_t>(groups.Count() - 1);
        for (std::uint32_t i = range.begin; i < range.end; ++i)
            m_store.File(kKey, m_slots[order[i]].file).m_contentGroup = index;
    }
}

void BuildContentViews(TScanData& store) {
    BuildOrderTable(store, kViewSameContent);
    BuildRows(store, kViewSameContent);
    BuildFullClones(store);
}

} // namespace vdx
