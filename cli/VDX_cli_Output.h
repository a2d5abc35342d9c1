#pragma once
// How `vardex-cli find` writes a view: as text, the group texts and file
// cells of the results grid, or as one JSON object. Everything goes through
// one large buffer to standard output, so that millions of lines cost a few
// hundred writes.

#include <cstdint>
#include <string>
#include <string_view>

#include "engine/VDX_unit_ScanData.h"
#include "platform/VDX_unit_Time.h"

namespace vdx::cli {

// A write-behind buffer over a file descriptor. A failed write is kept (the
// first errno) and later output is dropped, so the caller checks once at
// the end.
class TOutBuffer {
public:
    explicit TOutBuffer(int fd, std::size_t capacity = std::size_t{1} << 20);
    ~TOutBuffer(); // flushes
    TOutBuffer(const TOutBuffer&) = delete;
    TOutBuffer& operator=(const TOutBuffer&) = delete;

    void Put(char c) {
        m_data.push_back(c);
        if (m_data.size() >= m_capacity)
            (void)Flush();
    }
    void Put(std::string_view bytes);
    // UTF-16 as the file system's bytes: the lossless codec's encoding, so a
    // name that was not valid UTF-8 is written back as its raw bytes.
    void PutText(std::u16string_view text);
    // A name, path or text holding one for a terminal: TerminalName's
    // escapes for control characters and raw bytes.
    void PutShown(std::u16string_view text);
    // A JSON string with its quotes: UTF-8, with every lone surrogate
    // (a raw byte of a name that was not valid UTF-8) as its \uDCxx escape.
    void PutJsonString(std::u16string_view text);
    void PutNumber(std::uint64_t value);
    void Pad(std::size_t count) { m_data.append(count, ' '); }

    // Writes what is buffered; returns 0 or the errno of the first failure.
    // A failure is kept, so the writes that flush a full buffer leave it to
    // the last Flush (or Error) to report.
    [[nodiscard]] int Flush();
    int Error() const { return m_error; }
    // For output written around the buffer: flush first, then write to the
    // descriptor, then record the writer's failure (0 keeps the state).
    int Fd() const { return m_fd; }
    void SetError(int error) {
        if (m_error == 0)
            m_error = error;
    }

private:
    int m_fd;
    std::size_t m_capacity;
    std::string m_data;
    int m_error = 0;
};

// The figures of a finished search that both formats report.
struct TFindSummary {
    std::uint64_t filesScanned = 0; // directory entries that are not folders
    std::uint64_t filesTaken = 0;   // files that passed the filters
    std::uint64_t foldersListed = 0;
    std::uint64_t pathsNotFound = 0;
    // Sub-folders not entered because a folder protection skipped them.
    std::uint64_t foldersProtected = 0;
    // Files of Same size groups the comparison could not open or read.
    std::uint64_t filesNotCompared = 0;
    std::uint64_t durationMs = 0;
    // Smart marking ran: the text summary and the CSV report show the marks.
    bool marksShown = false;
};

// The view's short name as the --view option spells it.
std::string_view ViewOptionName(TViewKind view);

// Each group's text, then one line per file: an "M" for a marked file, size,
// date, attributes and full path in aligned columns; then a summary line.
// Names and paths are shown with control characters escaped (TerminalName).
void WriteTextView(TOutBuffer& out, const TScanData& store, TViewKind view,
                   const TFindSummary& summary);

// {"view": NAME, "groups": [{"group": N, "text": GROUP TEXT, "files": [PATH,
// ...], "sizes": [...], "mtimes": [ISO 8601 UTC, ...], "marked": [...]},
// ...], "summary": {...}}; the four lists are parallel, in row order.
void WriteJsonView(TOutBuffer& out, const TScanData& store, TViewKind view,
                   const TFindSummary& summary);

// The comma-separated report of the view in its current row order. Without
// marks it is the main window's report; with summary.marksShown a last
// column "M" holds 1 for a marked file and 0 for another, and the second
// summary line also gives the marked files and their Kb.
void WriteCsvView(TOutBuffer& out, const TScanData& store, TViewKind view,
                  const TFindSummary& summary, bool withSummary, bool withGroups);

// A file time as ISO 8601 in UTC: "2024-05-01T12:30:05Z", with the
// fraction of the second (up to seven digits, trailing zeros left out) when
// there is one.
std::string IsoUtcText(TFileTime time);

// Asks question on standard error and reads the answer from standard input;
// true only for y or yes (any letter case). End of input is a no.
bool AskOnTerminal(const std::string& question);

} // namespace vdx::cli
