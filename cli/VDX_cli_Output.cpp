#include "cli/VDX_cli_Output.h"

#include <cstdio>
#include <iostream>

#include "engine/VDX_unit_CsvReport.h"
#include "engine/VDX_unit_Helpers.h"
#include "engine/VDX_unit_ViewTexts.h"
#include "engine/VDX_unit_Views.h"
#include "platform/VDX_unit_FileSystem.h"
#include "platform/VDX_unit_Text.h"

namespace vdx::cli {
namespace {

bool IsHighSurrogate(char16_t c) {
    return c >= 0xD800 && c <= 0xDBFF;
}
bool IsLowSurrogate(char16_t c) {
    return c >= 0xDC00 && c <= 0xDFFF;
}

void PutHex4(std::string& out, unsigned value) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    out += "\\u";
    for (int shift = 12; shift >= 0; shift -= 4)
        out.push_back(kHex[(value >> shift) & 0xF]);
}

// A date text as wide as most dates of the locale, so the path column lines
// up (the locale's formats have fixed-width fields nearly everywhere).
std::size_t TypicalDateWidth() {
    TCalendarTime probe;
    probe.year = 2000;
    probe.month = 12;
    probe.day = 28;
    probe.hour = 22;
    probe.minute = 58;
    probe.second = 58;
    TFileTime ft = 0;
    if (!LocalCalendarToFileTime(probe, ft))
        return 0;
    return FormatFileTime(ft).size();
}

TCalendarTime NowLocal() {
    TCalendarTime now;
    if (!DateTimeToCalendar(NowDateTime(), now))
        now = TCalendarTime{};
    return now;
}

// Display width of a UTF-16 text made only of the characters a number or a
// date uses: one column per code unit.
std::size_t Width(std::u16string_view text) {
    return text.size();
}

} // namespace

TOutBuffer::TOutBuffer(int fd, std::size_t capacity) : m_fd(fd), m_capacity(capacity) {
    m_data.reserve(capacity + 4096);
}

TOutBuffer::~TOutBuffer() {
    (void)Flush();
}

void TOutBuffer::Put(std::string_view bytes) {
    m_data.append(bytes);
    if (m_data.size() >= m_capacity)
        (void)Flush();
}

int TOutBuffer::Flush() {
    if (!m_data.empty() && m_error == 0)
        m_error = WriteAll(m_fd, m_data.data(), m_data.size());
    m_data.clear();
    return m_error;
}

void TOutBuffer::PutText(std::u16string_view text) {
    AppendEncodedFileName(text, m_data);
    if (m_data.size() >= m_capacity)
        (void)Flush();
}

void TOutBuffer::PutShown(std::u16string_view text) {
    AppendTerminalName(text, m_data);
    if (m_data.size() >= m_capacity)
        (void)Flush();
}

void TOutBuffer::PutJsonString(std::u16string_view text) {
    m_data.push_back('"');
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        switch (c) {
        case u'"':
            m_data += "\\\"";
            continue;
        case u'\\':
            m_data += "\\\\";
            continue;
        case u'\n':
            m_data += "\\n";
            continue;
        case u'\r':
            m_data += "\\r";
            continue;
        case u'\t':
            m_data += "\\t";
            continue;
        default:
            break;
        }
        if (c < 0x20) {
            PutHex4(m_data, c);
        } else if (IsHighSurrogate(c) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) {
            AppendUtf8(m_data, 0x10000 + ((char32_t{c} - 0xD800) << 10) + (text[i + 1] - 0xDC00));
            ++i;
        } else if (IsHighSurrogate(c) || IsLowSurrogate(c)) {
            // A reader that decodes with surrogate escapes turns \uDCxx back
            // into the raw byte xx of the name.
            PutHex4(m_data, c);
        } else {
            AppendUtf8(m_data, c);
        }
    }
    m_data.push_back('"');
    if (m_data.size() >= m_capacity)
        (void)Flush();
}

void TOutBuffer::PutNumber(std::uint64_t value) {
    AppendDecimal(m_data, value);
}

std::string_view ViewOptionName(TViewKind view) {
    switch (NormalizeViewKind(view)) {
    case kViewSameName:
        return "name";
    case kViewSameSize:
        return "size";
    case kViewSameContent:
        return "content";
    case kViewFullClones:
        return "clones";
    case kViewZeroSize:
        return "zero";
    default:
        return "name-size";
    }
}

void WriteTextView(TOutBuffer& out, const TScanData& store, TViewKind view,
                   const TFindSummary& summary) {
    const std::uint64_t largest = WidestValues(store, view).m_fileSize;
    const std::size_t sizeWidth = Width(FormatNumber(static_cast<std::int64_t>(largest)));
    const std::size_t dateWidth = TypicalDateWidth();

    bool firstGroup = true;
    const std::uint32_t rowCount = RowCount(store, view);
    for (std::uint32_t row = 0; row < rowCount; ++row) {
        const TFileIndex fileIndex = RowFile(store, view, TRow{row});
        if (fileIndex == TFileIndex::kNone) {
            if (!firstGroup)
                out.Put('\n');
            firstGroup = false;
            out.PutShown(RowGroupText(store, view, TRow{row}));
            out.Put('\n');
            continue;
        }
        const auto file = static_cast<std::uint32_t>(fileIndex.Value());
        const std::u16string size = FileCellText(store, view, fileIndex, kGridColSize);
        const std::u16string date = FileCellText(store, view, fileIndex, kGridColDate);
        out.Put(RowMark(store, view, TRow{row}) ? 'M' : ' ');
        out.Pad(1 + (sizeWidth > Width(size) ? sizeWidth - Width(size) : 0));
        out.PutText(size);
        out.Pad(2);
        out.PutText(date);
        out.Pad(2 + (dateWidth > Width(date) ? dateWidth - Width(date) : 0));
        out.PutText(FileCellText(store, view, fileIndex, kGridColAttr));
        out.Pad(2);
        out.PutShown(store.FolderPathOfFile(file));
        out.PutShown(store.FileName(file));
        out.Put('\n');
    }

    const TViewFigures counters = ViewFigures(store, view);
    if (!firstGroup)
        out.Put('\n');
    out.PutText(ViewCaption(view));
    out.Put(": ");
    out.PutText(FormatNumber(counters.m_groups));
    out.Put(" groups, ");
    out.PutText(FormatNumber(counters.m_groupFiles));
    out.Put(" files, ");
    out.PutText(FormatNumber(static_cast<std::int64_t>(counters.m_groupBytes)));
    out.Put(" bytes; ");
    if (summary.marksShown) {
        out.Put("marked ");
        out.PutText(FormatNumber(counters.m_markedFiles));
        out.Put(" files");
        if (NormalizeViewKind(view) != kViewZeroSize) {
            out.Put(", ");
            out.PutText(FormatNumber(static_cast<std::int64_t>(counters.m_markedBytes)));
            out.Put(" bytes");
        }
        out.Put("; ");
    }
    out.PutText(FormatNumber(static_cast<std::int64_t>(summary.filesTaken)));
    out.Put(" of ");
    out.PutText(FormatNumber(static_cast<std::int64_t>(summary.filesScanned)));
    out.Put(" files taken in ");
    out.PutText(FormatNumber(static_cast<std::int64_t>(summary.foldersListed)));
    out.Put(" folders");
    if (summary.foldersProtected > 0) {
        out.Put(", ");
        out.PutText(FormatNumber(static_cast<std::int64_t>(summary.foldersProtected)));
        out.Put(summary.foldersProtected == 1 ? " folder skipped by protections"
                                              : " folders skipped by protections");
    }
    if (summary.pathsNotFound > 0) {
        out.Put(", ");
        out.PutNumber(summary.pathsNotFound);
        out.Put(summary.pathsNotFound == 1 ? " path not found" : " paths not found");
    }
    if (summary.filesNotCompared > 0) {
        out.Put(", ");
        out.PutText(FormatNumber(static_cast<std::int64_t>(summary.filesNotCompared)));
        out.Put(summary.filesNotCompared == 1 ? " file could not be compared"
                                              : " files could not be compared");
    }
    out.Put(", ");
    out.PutNumber(summary.durationMs);
    out.Put(" ms\n");
}

void WriteJsonView(TOutBuffer& out, const TScanData& store, TViewKind view,
                   const TFindSummary& summary) {
    out.Put("{\"view\": \"");
    out.Put(ViewOptionName(view));
    out.Put("\", \"groups\": [");
    const std::uint32_t rowCount = RowCount(store, view);
    bool firstGroup = true;
    std::uint32_t header = 0;
    while (header < rowCount) {
        if (RowFile(store, view, TRow{header}) !=
            TFileIndex::kNone) { // a file row outside a group: never made
            ++header;
            continue;
        }
        // The group's files are the rows after its header up to the next one.
        const std::uint32_t begin = header + 1;
        std::uint32_t end = begin;
        while (end < rowCount && RowFile(store, view, TRow{end}) != TFileIndex::kNone)
            ++end;
        const std::int32_t groupNumber = RowGroupNumber(store, view, TRow{header});
        out.Put(firstGroup ? "\n" : ",\n");
        firstGroup = false;
        out.Put("{\"group\": ");
        out.PutNumber(static_cast<std::uint64_t>(groupNumber));
        out.Put(", \"text\": ");
        out.PutJsonString(RowGroupText(store, view, TRow{header}));
        auto list = [&](const char* name, auto&& item) {
            out.Put(name);
            for (std::uint32_t r = begin; r < end; ++r) {
                if (r != begin)
                    out.Put(", ");
                item(static_cast<std::uint32_t>(RowFile(store, view, TRow{r}).Value()));
            }
            out.Put(']');
        };
        list(", \"files\": [",
             [&](std::uint32_t file) { out.PutJsonString(store.FullPath(file)); });
        list(", \"sizes\": [", [&](std::uint32_t file) { out.PutNumber(store.FileSize(file)); });
        list(", \"mtimes\": [", [&](std::uint32_t file) {
            out.Put('"');
            out.Put(IsoUtcText(store.FileLastWrite(file)));
            out.Put('"');
        });
        list(", \"marked\": [",
             [&](std::uint32_t file) { out.Put(store.IsMarked(file, view) ? "true" : "false"); });
        out.Put('}');
        header = end;
    }
    if (!firstGroup)
        out.Put('\n');

    const TViewFigures counters = ViewFigures(store, view);
    out.Put("], \"summary\": {\"files_scanned\": ");
    out.PutNumber(summary.filesScanned);
    out.Put(", \"files_taken\": ");
    out.PutNumber(summary.filesTaken);
    out.Put(", \"folders_listed\": ");
    out.PutNumber(summary.foldersListed);
    out.Put(", \"groups\": ");
    out.PutNumber(counters.m_groups);
    out.Put(", \"files_in_groups\": ");
    out.PutNumber(counters.m_groupFiles);
    out.Put(", \"bytes_in_groups\": ");
    out.PutNumber(counters.m_groupBytes);
    out.Put(", \"marked_files\": ");
    out.PutNumber(counters.m_markedFiles);
    out.Put(", \"marked_bytes\": ");
    out.PutNumber(counters.m_markedBytes);
    out.Put(", \"paths_not_found\": ");
    out.PutNumber(summary.pathsNotFound);
    out.Put(", \"folders_skipped_by_protections\": ");
    out.PutNumber(summary.foldersProtected);
    out.Put(", \"files_not_compared\": ");
    out.PutNumber(summary.filesNotCompared);
    out.Put(", \"duration_ms\": ");
    out.PutNumber(summary.durationMs);
    out.Put("}}\n");
}

void WriteCsvView(TOutBuffer& out, const TScanData& store, TViewKind view,
                  const TFindSummary& summary, bool withSummary, bool withGroups) {
    if (!summary.marksShown) {
        // Exactly the report the main window saves.
        if (out.Flush() != 0)
            return;
        TCsvReportOptions options;
        options.m_summary = withSummary;
        options.m_groups = withGroups;
        TFdSink sink(out.Fd());
        out.SetError(WriteCsvReport(sink, store, view, options));
        return;
    }

    // The same lines with an eighth field, the mark.
    static constexpr std::string_view kEmptyFields = ",,,,,,,";
    static constexpr int kColumns[] = {kGridColGroup, kGridColName, kGridColExt, kGridColPath,
                                       kGridColSize,  kGridColDate, kGridColAttr};
    std::string line;
    auto endLine = [&] {
        line += "\r\n";
        out.Put(line);
        line.clear();
    };
    if (withSummary) {
        AppendCsvField(line, u"Report created " + ReportCreatedText(NowLocal()));
        line += kEmptyFields;
        endLine();
        AppendCsvField(line,
                       TrimText(StatusPanelText(store, view, 0) + StatusPanelText(store, view, 1) +
                                StatusPanelText(store, view, 2)));
        line += kEmptyFields;
        endLine();
        line += kEmptyFields;
        endLine();
    }
    line += kCsvHeader;
    line += ",M";
    endLine();
    const std::uint32_t rowCount = RowCount(store, view);
    for (std::uint32_t row = 0; row < rowCount; ++row) {
        const TFileIndex file = RowFile(store, view, TRow{row});
        if (file == TFileIndex::kNone) {
            if (!withGroups)
                continue;
            AppendCsvField(line, RowGroupText(store, view, TRow{row}));
            line += kEmptyFields;
        } else {
            for (int column : kColumns) {
                AppendCsvField(line, FileCellText(store, view, file, column));
                line += ',';
            }
            line += RowMark(store, view, TRow{row}) ? '1' : '0';
        }
        endLine();
    }
}

std::string IsoUtcText(TFileTime time) {
    constexpr std::int64_t kTicksPerSecond = 10'000'000;
    std::int64_t seconds = time / kTicksPerSecond;
    std::int64_t ticks = time % kTicksPerSecond;
    if (ticks < 0) {
        ticks += kTicksPerSecond;
        --seconds;
    }
    std::int64_t days = seconds / 86400;
    std::int64_t secondOfDay = seconds % 86400;
    if (secondOfDay < 0) {
        secondOfDay += 86400;
        --days;
    }
    // Civil date from days since 1970-01-01 (proleptic Gregorian calendar).
    const std::int64_t z = days - kUnixEpochOffsetSeconds / 86400 + 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const std::int64_t doe = z - era * 146097;
    const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const std::int64_t mp = (5 * doy + 2) / 153;
    const std::int64_t day = doy - (153 * mp + 2) / 5 + 1;
    const std::int64_t month = mp < 10 ? mp + 3 : mp - 9;
    const std::int64_t year = yoe + era * 400 + (month <= 2 ? 1 : 0);

    char text[48];
    int n = std::snprintf(text, sizeof text, "%04lld-%02lld-%02lldT%02lld:%02lld:%02lld",
                          static_cast<long long>(year), static_cast<long long>(month),
                          static_cast<long long>(day), static_cast<long long>(secondOfDay / 3600),
                          static_cast<long long>(secondOfDay / 60 % 60),
                          static_cast<long long>(secondOfDay % 60));
    std::string result(text, static_cast<std::size_t>(n));
    if (ticks != 0) {
        char fraction[8];
        std::snprintf(fraction, sizeof fraction, "%07lld", static_cast<long long>(ticks));
        std::string_view digits = fraction;
        while (digits.back() == '0')
            digits.remove_suffix(1);
        result += '.';
        result += digits;
    }
    result += 'Z';
    return result;
}

bool AskOnTerminal(const std::string& question) {
    std::fprintf(stderr, "%s [y/N] ", question.c_str());
    std::fflush(stderr);
    std::string answer;
    if (!std::getline(std::cin, answer))
        return false;
    std::string lower;
    for (char c : answer)
        if (c != ' ' && c != '\t' && c != '\r')
            lower.push_back(static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c));
    return lower == "y" || lower == "yes";
}

} // namespace vdx::cli
