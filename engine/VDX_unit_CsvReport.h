#pragma once
// The comma-separated report of a result view: optional summary lines, the
// fixed column header, then every row of the view in its current order with
// the texts the results grid shows. The writer produces bytes into any sink,
// so the command line streams a report to standard output and the main
// window saves it to a file with the same code.

#include <cstdint>
#include <string>
#include <string_view>

#include "engine/VDX_unit_ScanData.h"
#include "platform/VDX_unit_Time.h"

namespace vdx {

// Takes the bytes of a report in order. Implementations write them to a
// descriptor, a file or memory.
class TByteSink {
public:
    virtual ~TByteSink() = default;
    // Takes the next bytes. Returns 0, or the errno that ends the report;
    // nothing more is written after a failure.
    virtual int Write(std::string_view bytes) = 0;
};

// A sink over an open descriptor (standard output for the command line).
// The descriptor stays the caller's.
class TFdSink : public TByteSink {
public:
    explicit TFdSink(int fd) : m_fd(fd) {}
    int Write(std::string_view bytes) override;

private:
    int m_fd;
};

// The two report switches and the moment the report names.
struct TCsvReportOptions {
    bool m_summary = true; // the three summary lines at the top
    bool m_groups = true;  // a title row before each group's file rows
    // Local time written in the first summary line; a year of 0 takes the
    // present moment when the report is written.
    TCalendarTime m_created{};
};

// The header line's captions, in the fixed order of the report.
inline constexpr std::string_view kCsvHeader = "Grp,Name,Ext,Path,Size,Date,Attr";

// "March 9 2018 at 15:28": the locale's full month name, the day without
// leading zero, the year, and the time as two-digit hours and minutes.
std::u16string ReportCreatedText(const TCalendarTime& local);

// The texts of the main window's status panels 0, 1 and 2 for the view
// (group count; files and their Kb; marked files and their Kb). Empty for
// any other panel number.
std::u16string StatusPanelText(const TScanData& store, TViewKind view, int panel);

// Appends text as one field, as UTF-8 (a name that was not valid UTF-8 gets
// its original bytes back). A field holding a comma, a double quote or a
// line break is put in double quotes with each inner quote doubled, so that
// every line keeps exactly seven fields.
void AppendCsvField(std::string& out, std::u16string_view text);

// Writes the whole report of the view to sink. Returns 0, or the errno of
// the sink's first failure (nothing is written after it).
int WriteCsvReport(TByteSink& sink, const TScanData& store, TViewKind view,
                   const TCsvReportOptions& options);

// Outcome of saving a report to a file. m_created tells a file that could
// not be made at all (the main window then stays silent) from a failure
// while writing it (reported as an input/output error).
struct TCsvSaveResult {
    int m_error = 0; // 0 or errno
    bool m_created = false;
};

// Saves the report to path through the file-system seam. A regular file is
// written beside the target and renamed over it once complete and flushed,
// so a failure leaves any earlier file whole; a replaced file keeps its
// permission bits, and a target that is a symbolic link stays a link. An
// existing file that the user may not write is refused (EACCES), as the
// save dialog refuses read-only files; a folder gives EISDIR. A target that
// is not a regular file (a pipe, a device) is written in place.
TCsvSaveResult SaveCsvReport(std::u16string_view path, const TScanData& store, TViewKind view,
                             const TCsvReportOptions& options);

// The file name the save dialog proposes: folder (ending in the separator)
// followed by "VDX view '<view name>' (<stamp>).csv".
std::u16string ProposedReportPath(std::u16string_view folder, TViewKind view,
                                  std::u16string_view stamp);

} // namespace vdx
