#pragma once
// The search definition: search paths with their file and folder filters, the
// lists and named sets that hold them, the prepared testers the scan asks for
// every file and sub-folder, and the texts of the current-set list.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "engine/VDX_unit_Drives.h" // kNoVolume: a path whose volume is not registered
#include "engine/VDX_unit_FileSpec.h"
#include "engine/VDX_unit_Helpers.h"
#include "platform/VDX_unit_Time.h"

namespace vdx {

// File attribute bits as the scan reports them (derived from Linux metadata).
inline constexpr std::uint32_t kAttrReadOnly = 0x01;
inline constexpr std::uint32_t kAttrHidden = 0x02;
inline constexpr std::uint32_t kAttrSystem = 0x04;
inline constexpr std::uint32_t kAttrArchive = 0x20;

// Condition numbers of FLT_SizePos.
enum TSizePos : std::int32_t {
    kSizeMoreThanA = 0, // size >= A
    kSizeLessThanA = 1, // size <= A
    kSizeBetween = 2,   // A <= size <= B
    kSizeBeyond = 3,    // size <= A or size >= B
};

// Condition numbers of FLT_DatePos.
enum TDatePos : std::int32_t {
    kDateOlderThanA = 0, // time <= A
    kDateNewerThanA = 1, // time >= A
    kDateBetween = 2,    // A <= time <= B
    kDateBeyond = 3,     // time <= A or time >= B
};

// Units of FLT_SizeDegreeA/B; any other value counts as bytes.
enum TSizeDegree : std::int32_t {
    kDegreeBytes = 0,
    kDegreeKb = 1,
    kDegreeMb = 2,
    kDegreeGb = 3,
};

// Column identifiers of the current-set list and their captions.
enum TSetColumn : int {
    kColSearchPath = 20,
    kColIncludeMask = 21,
    kColExcludeMask = 22,
    kColSizeFilter = 23,
    kColDateFilter = 24,
    kColAttrFilter = 25,
    kColExcludedPaths = 26,
    kColSubFolders = 27,
};
inline constexpr std::u16string_view kCaptionSearchPath = u"Search path";
inline constexpr std::u16string_view kCaptionIncludeMask = u"Include mask";
inline constexpr std::u16string_view kCaptionExcludeMask = u"Exclude mask";
inline constexpr std::u16string_view kCaptionSizeFilter = u"Size filter";
inline constexpr std::u16string_view kCaptionDateFilter = u"Date filter";
inline constexpr std::u16string_view kCaptionAttrFilter = u"Attr filter";
inline constexpr std::u16string_view kCaptionExcludedPaths = u"Excluded paths";
inline constexpr std::u16string_view kCaptionSubFolders = u"SF";
// The caption of a current-set column; empty for an identifier outside 20..27.
std::u16string_view SetColumnCaption(int columnId);

// The byte value of an entered size: value times its unit, in 64-bit
// arithmetic so that sizes of 2 Gb and more (and negative entries) stay exact.
std::int64_t SizeInBytes(std::int32_t value, std::int32_t degree);
// "%d %s": the entered number and the unit name ("bytes", "Kb", "Mb", "Gb").
std::u16string SizeText(std::int32_t value, std::int32_t degree);
// The letters of the set bits in the order A, R, H, S, without separators.
std::u16string AttributeText(std::uint32_t attributes);

// The file filter of one search path. Field names are the settings keys.
struct TFileFilter {
    // Both dates start at the moment of creation.
    TFileFilter();

    std::u16string FLT_Include = u"*.*";
    std::u16string FLT_Exclude;
    bool FLT_bUseExclude = false;
    bool FLT_bUseDate = false;
    bool FLT_bUseSize = false;
    bool FLT_bUseAttr = false;
    double FLT_DateTimeA = 0; // local date-time (days since 1899-12-30)
    double FLT_DateTimeB = 0;
    std::int32_t FLT_DatePos = kDateOlderThanA;
    std::int32_t FLT_SizeA = 0;
    std::int32_t FLT_SizeB = 0;
    std::int32_t FLT_SizeDegreeA = kDegreeBytes;
    std::int32_t FLT_SizeDegreeB = kDegreeBytes;
    std::int32_t FLT_SizePos = kSizeMoreThanA;
    std::uint32_t FLT_Attr_IncMask = 0;
    std::uint32_t FLT_Attr_ExcMask = 0;

    // Derived values, computed on request so they can never go stale.
    std::int64_t SizeABytes() const { return SizeInBytes(FLT_SizeA, FLT_SizeDegreeA); }
    std::int64_t SizeBBytes() const { return SizeInBytes(FLT_SizeB, FLT_SizeDegreeB); }
    // True when a two-bound size condition had A above B, so the bounds swap.
    bool SizesSwapped() const;
};

// The excluded folders of one search path, each as the user entered it
// (environment-variable references included).
class TFolderFilter {
public:
    std::size_t Count() const { return m_items.size(); }
    const TStrList& Items() const { return m_items; }
    void Add(std::u16string_view text);
    // Takes the text over without copying it.
    void AddOwned(std::u16string&& text);
    void Reserve(std::size_t count) { m_items.reserve(count); }
    // Ignores an index out of range.
    void Delete(std::size_t index);
    void Clear() { m_items.clear(); }
    // Empty text for an index out of range.
    std::u16string Text(std::size_t index) const;
    void Assign(const TFolderFilter& other) { m_items = other.m_items; }
    // Drops blank entries, sorts by the expanded text and drops duplicates.
    void Normalize();
    // The first entry whose expanded text equals that of text, or -1. Folders
    // are compared exactly: Linux names /a and /A are two different folders.
    int IndexOf(std::u16string_view text) const;

private:
    TStrList m_items;
};

// The prepared size, date and attribute tests of one file filter.
class TFilterExtProcessor {
public:
    void Prepare(const TFileFilter& filter);
    // True when the file passes every stage that is switched on.
    bool Passes(std::uint32_t attributes, TFileTime lastWrite, std::int64_t size) const;

    bool AnyOn() const { return m_anyOn; }
    bool DateOn() const { return m_dateOn; }
    bool SizeOn() const { return m_sizeOn; }
    bool AttrOn() const { return m_attrOn; }
    std::int64_t SizeA() const { return m_sizeA; }
    std::int64_t SizeB() const { return m_sizeB; }
    bool SizesSwapped() const { return m_sizesSwapped; }
    TFileTime DateA() const { return m_dateA; }
    TFileTime DateB() const { return m_dateB; }

private:
    std::int64_t m_sizeA = 0;
    std::int64_t m_sizeB = 0;
    bool m_sizesSwapped = false;
    TFileTime m_dateA = 0;
    TFileTime m_dateB = 0;
    bool m_anyOn = false;
    bool m_dateOn = false;
    bool m_sizeOn = false;
    bool m_attrOn = false;
    double m_dateTimeA = 0;
    double m_dateTimeB = 0;
    std::int32_t m_datePos = 0;
    std::int32_t m_sizeAValue = 0;
    std::int32_t m_sizeBValue = 0;
    std::int32_t m_sizeDegreeA = 0;
    std::int32_t m_sizeDegreeB = 0;
    std::int32_t m_sizePos = 0;
    std::uint32_t m_attrIncMask = 0;
    std::uint32_t m_attrExcMask = 0;
};

// The prepared excluded folders of one search path: expanded, one trailing
// "/" removed. An absolute entry must stand at the start of a folder's path;
// any other entry may occur anywhere in it.
class TPathProcessor {
public:
    // expand false takes the entries as final paths, without expanding
    // environment references in them.
    void Prepare(const TFolderFilter& filter, bool expand = true);
    // True when the folder may be entered: no prepared entry matches fullPath
    // (the folder's path without a trailing "/"). Allocates nothing.
    bool Passes(std::u16string_view fullPath) const;
    const TStrList& Items() const { return m_items; }

private:
    TStrList m_items;
};

// One search path: the folder, its filters, the list-row state and the
// testers prepared for a scan. Not copyable; Assign copies the definition.
class TSearchData {
public:
    std::u16string SearchPath;
    bool bSubFolders = true;
    TFileFilter fileFilter;
    TFolderFilter folderFilter;
    // Transient row state of the current-set list; Assign does not copy it.
    bool removeMark = false;
    bool selected = false;
    bool focused = false;
    std::uint16_t volumeIndex = kNoVolume;
    // SearchPath and the excluded folders are final paths: whoever built the
    // path already expanded the references that were meant (a folder whose
    // name holds "%USER%" is not someone else's folder), so neither the
    // controller nor the scan expands them again. Not stored; Assign copies it.
    bool pathsFinal = false;

    TSearchData() = default;
    TSearchData(const TSearchData&) = delete;
    TSearchData& operator=(const TSearchData&) = delete;

    // Copies path, sub-folder switch, volume index, final-paths flag and both
    // filters; neither
    // the row state nor the prepared testers.
    void Assign(const TSearchData& other);
    // Compiles the masks and prepares the size/date/attribute and folder
    // testers; PassesFile and PassesFolder are valid only afterwards.
    void Prepare();
    bool PassesFile(std::uint32_t attributes, TFileTime lastWrite, std::int64_t size,
                    std::u16string_view name) const;
    bool PassesFolder(std::u16string_view fullPath) const {
        return m_pathProcessor.Passes(fullPath);
    }

    const TFilterExtProcessor& FilterExt() const { return m_filterExt; }
    const TFileSpecProcessor& IncludeMatcher() const { return m_include; }
    const TFileSpecProcessor& ExcludeMatcher() const { return m_exclude; }
    const TPathProcessor& PathProcessor() const { return m_pathProcessor; }

    // The text of a current-set column (20..27); empty for another identifier.
    std::u16string CellText(int columnId) const;

private:
    TFilterExtProcessor m_filterExt;
    TFileSpecProcessor m_include;
    TFileSpecProcessor m_exclude;
    TPathProcessor m_pathProcessor;
    // The exclude switch as it stood at Prepare, so the matcher and the test
    // agree even if the filter is edited afterwards.
    bool m_useExclude = false;
};

// An ordered list of search paths that owns them.
class TSearchDataList {
public:
    std::size_t Count() const { return m_items.size(); }
    // nullptr for an index out of range.
    TSearchData* Item(std::size_t index);
    const TSearchData* Item(std::size_t index) const;
    // Empty text for an index out of range.
    std::u16string PathText(std::size_t index) const;
    // Takes ownership; a null path is ignored.
    void AddOwned(std::unique_ptr<TSearchData> path);
    TSearchData& AddCopy(const TSearchData& path);
    // Frees the path; ignores an index out of range.
    void Delete(std::size_t index);
    void Clear() { m_items.clear(); }
    // A deep copy of every path of other, in order.
    void Assign(const TSearchDataList& other);
    void RemoveMarked();
    void ClearRowFlags();
    // Ascending by the trimmed, upper-cased path with a trailing "/"; paths of
    // equal key keep their order.
    void SortByPath();
    // Orders the paths as the current-set list shows them sorted by a
    // column (20..27): each column has its comparison, ties go by the
    // upper-cased path, and descending reverses the whole order. An unknown
    // column sorts by path.
    void SortByColumn(int columnId, bool ascending);

private:
    std::vector<std::unique_ptr<TSearchData>> m_items;
};

// A named search set: the current set or one of the stored sets.
class TSearchSet {
public:
    std::u16string name;
    // Set by the sets store on the set just stored or renamed, so it can find
    // and select it again after sorting.
    bool selectAfterSort = false;

    TSearchDataList& Paths() { return m_paths; }
    const TSearchDataList& Paths() const { return m_paths; }

    // Name, marker and a deep copy of the paths.
    void Assign(const TSearchSet& other);
    void AddOwned(std::unique_ptr<TSearchData> path) { m_paths.AddOwned(std::move(path)); }
    std::size_t Count() const { return m_paths.Count(); }
    TSearchData* Path(std::size_t index) { return m_paths.Item(index); }
    const TSearchData* Path(std::size_t index) const { return m_paths.Item(index); }
    // The text of row row and column columnId; empty when either is unknown.
    std::u16string CellText(std::size_t row, int columnId) const;
    void RemoveMarked() { m_paths.RemoveMarked(); }
    void ClearRowFlags() { m_paths.ClearRowFlags(); }

private:
    TSearchDataList m_paths;
};

} // namespace vdx
