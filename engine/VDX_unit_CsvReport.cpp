#include "engine/VDX_unit_CsvReport.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "engine/VDX_unit_Helpers.h"
#include "engine/VDX_unit_ViewTexts.h"
#include "platform/VDX_unit_AtomicFile.h"
#include "platform/VDX_unit_FileSystem.h"
#include "platform/VDX_unit_Locale.h"
#include "platform/VDX_unit_Text.h"

namespace vdx {
namespace {

// The writer hands its buffer to the sink once it holds this much.
constexpr std::size_t kFlushBytes = std::size_t{1} << 16;

constexpr std::string_view kLineEnd = "\r\n";
// The six empty fields after a first field that stands alone on its line.
constexpr std::string_view kEmptyFields = ",,,,,,";

constexpr int kReportColumns[] = {kGridColGroup, kGridColName, kGridColExt, kGridColPath,
                                  kGridColSize,  kGridColDate, kGridColAttr};

void AppendTwoDigits(std::u16string& text, int value) {
    text += static_cast<char16_t>(u'0' + (value / 10) % 10);
    text += static_cast<char16_t>(u'0' + value % 10);
}

std::u16string Kb(std::uint64_t bytes) {
    return FormatNumber(static_cast<std::int64_t>(bytes / 1024));
}

std::u16string Count(std::uint64_t n) {
    return FormatNumber(static_cast<std::int64_t>(n));
}

// Status panel 0 names some views differently from their tabs.
std::u16string_view StatusViewName(TViewKind view) {
    switch (NormalizeViewKind(view)) {
    case kViewSameNameSize:
        return u"Same name&size";
    case kViewFullClones:
        return u"Full duplicates";
    default:
        return ViewCaption(view);
    }
}

TCalendarTime NowLocal() {
    TCalendarTime now;
    if (!DateTimeToCalendar(NowDateTime(), now))
        now = TCalendarTime{};
    return now;
}

// Collects the report's bytes and passes them on in large pieces; keeps the
// sink's first failure and drops everything after it.
class TReportBuffer {
public:
    explicit TReportBuffer(TByteSink& sink) : m_sink(sink) { m_data.reserve(kFlushBytes * 2); }

    std::string& Data() { return m_data; }

    void EndLine() {
        m_data += kLineEnd;
        if (m_data.size() >= kFlushBytes)
            Flush();
    }

    int Flush() {
        if (m_error == 0 && !m_data.empty())
            m_error = m_sink.Write(m_data);
        m_data.clear();
        return m_error;
    }

    int Error() const { return m_error; }

private:
    TByteSink& m_sink;
    std::string m_data;
    int m_error = 0;
};

// Writes the report straight into a non-regular file (a pipe, a device)
// opened by SaveCsvReport; a failing close can be the first report of a lost
// write (NFS), so it counts as a write error.
int WriteToDescriptor(int fd, const TScanData& store, TViewKind view,
                      const TCsvReportOptions& options) {
    TFdSink sink(fd);
    const int rc = WriteCsvReport(sink, store, view, options);
    const int closeRc = Fs().Close(fd);
    return rc != 0 ? rc : closeRc;
}

} // namespace

int TFdSink::Write(std::string_view bytes) {
    return WriteAll(m_fd, bytes.data(), bytes.size());
}

std::u16string ReportCreatedText(const TCalendarTime& local) {
    std::u16string text = MonthName(local.month);
    text += u' ';
    AppendDecimal(text, local.day);
    text += u' ';
    AppendDecimal(text, local.year);
    text += u" at ";
    AppendTwoDigits(text, local.hour);
    text += u':';
    AppendTwoDigits(text, local.minute);
    return text;
}

std::u16string StatusPanelText(const TScanData& store, TViewKind view, int panel) {
    const TViewCounters& counters = store.Counters(view);
    const bool zeroSize = NormalizeViewKind(view) == kViewZeroSize;
    std::u16string text;
    switch (panel) {
    case 0:
        text = u" Current view: ";
        text += StatusViewName(view);
        text += u" contains ";
        text += Count(store.GroupCount(view));
        text += u" group(s)";
        break;
    case 1:
        text = u" ";
        if (!zeroSize) {
            text += Kb(counters.m_groupBytes);
            text += u" Kb in ";
        }
        text += Count(counters.m_fileRows);
        text += u" file(s)";
        break;
    case 2:
        text = u" ";
        if (!zeroSize) {
            text += Kb(counters.m_markedBytes);
            text += u" Kb in ";
        }
        text += Count(counters.m_markedFiles);
        text += u" marked file(s)";
        break;
    default:
        break;
    }
    return text;
}

void AppendCsvField(std::string& out, std::u16string_view text) {
    const bool quote = text.find_first_of(u",\"\r\n") != std::u16string_view::npos;
    if (!quote) {
        out += ToUtf8(text);
        return;
    }
    out += '"';
    for (char c : ToUtf8(text)) {
        // Bytes of multi-byte sequences are all 0x80 or above, so a plain
        // byte comparison finds only real quote characters.
        if (c == '"')
            out += '"';
        out += c;
    }
    out += '"';
}

int WriteCsvReport(TByteSink& sink, const TScanData& store, TViewKind view,
                   const TCsvReportOptions& options) {
    TReportBuffer buffer(sink);
    std::string& out = buffer.Data();

    if (options.m_summary) {
        const TCalendarTime created = options.m_created.year == 0 ? NowLocal() : options.m_created;
        AppendCsvField(out, u"Report created " + ReportCreatedText(created));
        out += kEmptyFields;
        buffer.EndLine();
        AppendCsvField(out,
                       TrimText(StatusPanelText(store, view, 0) + StatusPanelText(store, view, 1)));
        out += kEmptyFields;
        buffer.EndLine();
        out += kEmptyFields;
        buffer.EndLine();
    }
    out += kCsvHeader;
    buffer.EndLine();

    const TRecordTable<TViewRowItem>& rows = store.Rows(view);
    for (std::uint32_t r = 0; r < rows.Count() && buffer.Error() == 0; ++r) {
        const TViewRowItem row = rows[r];
        if (row.m_file < 0) {
            if (!options.m_groups)
                continue;
            AppendCsvField(out, GroupText(store, view, TGroupIndex{row.m_group}));
            out += kEmptyFields;
        } else {
            const TFileIndex file{row.m_file};
            bool first = true;
            for (int column : kReportColumns) {
                if (!first)
                    out += ',';
                first = false;
                AppendCsvField(out, FileCellText(store, view, file, column));
            }
        }
        buffer.EndLine();
    }
    return buffer.Flush();
}

TCsvSaveResult SaveCsvReport(std::u16string_view path, const TScanData& store, TViewKind view,
                             const TCsvReportOptions& options) {
    TCsvSaveResult result;
    TFileSystem& fs = Fs();
    std::string target = NativePath(LongPathForm(path));
    if (target.empty()) {
        result.m_error = ENOENT;
        return result;
    }

    struct stat st {};
    if (fs.LStat(target.c_str(), st) == 0 && S_ISLNK(st.st_mode)) {
        std::string resolved;
        if (fs.RealPath(target.c_str(), resolved) == 0)
            target = std::move(resolved);
    }

    if (fs.Stat(target.c_str(), st) == 0) {
        if (S_ISDIR(st.st_mode)) {
            result.m_error = EISDIR;
            return result;
        }
        if (!S_ISREG(st.st_mode)) {
            int fd = -1;
            result.m_error = fs.Open(target.c_str(), O_WRONLY | O_TRUNC, 0, fd);
            if (result.m_error != 0)
                return result;
            result.m_created = true;
            result.m_error = WriteToDescriptor(fd, store, view, options);
            return result;
        }
        // Replacing by rename would bypass the file's own permission, which
        // is what keeps a read-only report from being overwritten.
        int probe = -1;
        result.m_error = fs.Open(target.c_str(), O_WRONLY, 0, probe);
        if (result.m_error != 0)
            return result;
        fs.Close(probe);
    }

    // The link was resolved above; a replaced file keeps its mode.
    TAtomicWriteOptions atomic;
    atomic.keepMode = true;
    result.m_error = WriteFileAtomically(
        target,
        [&](int fd) {
            TFdSink sink(fd);
            return WriteCsvReport(sink, store, view, options);
        },
        atomic, &result.m_created);
    return result;
}

std::u16string ProposedReportPath(std::u16string_view folder, TViewKind view,
                                  std::u16string_view stamp) {
    std::u16string path(folder);
    path += u"VDX view '";
    path += ViewCaption(view);
    path += u"' (";
    path += stamp;
    path += u").csv";
    return path;
}

} // namespace vdx
