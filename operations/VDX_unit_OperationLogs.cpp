#include "operations/VDX_unit_OperationLogs.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>

#include "engine/VDX_unit_ViewTexts.h"
#include "platform/VDX_unit_AtomicFile.h"
#include "platform/VDX_unit_FileSystem.h"
#include "platform/VDX_unit_Locale.h"
#include "platform/VDX_unit_Text.h"

namespace vdx {

namespace {

constexpr std::size_t kNoHeading = static_cast<std::size_t>(-1);
constexpr std::u16string_view kLogPrefix = u"VDX";
constexpr std::u16string_view kLogTempName = u"~$tempfile";
// Encoded lines are handed to the file in blocks of about this size.
constexpr std::size_t kWriteBlock = 64 * 1024;
// Never the last character of a path, so history entries keep every one.
constexpr char16_t kNoIgnoredChar = u'\u0401';

std::u16string Quoted(std::u16string_view text) {
    std::u16string result;
    result.reserve(text.size() + 2);
    result += u'\'';
    result += text;
    result += u'\'';
    return result;
}

std::u16string Num(std::uint64_t value) {
    return FormatNumber(static_cast<std::int64_t>(value));
}

std::u16string Count(std::size_t value) {
    return FormatPlainNumber(static_cast<std::int64_t>(value));
}

std::u16string ViewLine(std::u16string_view caption, const TLogViewLine& v) {
    return std::u16string(caption) + u": " + Num(v.groups) + u" groups contain " + Num(v.bytes) +
           u" bytes in " + Num(v.files) + u" files";
}

std::u16string Duration(double span) {
    return FormatDuration(kDurHours | kDurMinutes | kDurSeconds | kDurMilliseconds, span);
}

TLogViewLine ViewLineOf(const TScanData& store, TViewKind view) {
    const TViewCounters& c = store.Counters(view);
    return TLogViewLine{store.GroupCount(view), c.m_groupBytes, c.m_groupFiles};
}

// The verb forms of one operation kind.
struct TKindTexts {
    std::u16string_view title;     // "Deleting files from view "
    std::u16string_view fullHead;  // "*** Deleted files ***"
    std::u16string_view errorHead; // "*** Deleting errors ***"
};

TKindTexts KindTexts(TOperationKind kind) {
    switch (kind) {
    case TOperationKind::Copy:
        return {u"Copying files from view ", u"*** Copied files ***", u"*** Copying errors ***"};
    case TOperationKind::Move:
        return {u"Moving files from view ", u"*** Moved files ***", u"*** Moving errors ***"};
    default:
        return {u"Deleting files from view ", u"*** Deleted files ***", u"*** Deleting errors ***"};
    }
}

std::u16string FolderOf(std::u16string_view path) {
    const std::size_t slash = path.rfind(kPathDelim);
    if (slash == std::u16string_view::npos)
        return {};
    return std::u16string(path.substr(0, slash + 1));
}

// Encodes the lines into fd, each ended by CR LF.
int WriteLines(int fd, const TStrList& lines) {
    std::string block;
    block.reserve(kWriteBlock + 1024);
    for (const TStrItem& line : lines) {
        AppendEncodedFileName(line.text, block);
        block += "\r\n";
        if (block.size() >= kWriteBlock) {
            if (const int rc = WriteAll(fd, block.data(), block.size()); rc != 0)
                return rc;
            block.clear();
        }
    }
    return block.empty() ? 0 : WriteAll(fd, block.data(), block.size());
}

// Copies every byte of the file at native to the end of fd. A file that is
// gone has nothing to keep; any other failure means its content could not
// be kept, so the caller must not replace it.
int AppendFileBytes(int fd, const std::string& native) {
    int in = -1;
    int rc = Fs().Open(native.c_str(), O_RDONLY, 0, in);
    if (rc == ENOENT)
        return 0;
    if (rc != 0)
        return rc;
    std::vector<char> buffer(kWriteBlock);
    for (;;) {
        std::size_t done = 0;
        rc = Fs().Read(in, buffer.data(), buffer.size(), done);
        if (rc != 0 || done == 0)
            break;
        rc = WriteAll(fd, buffer.data(), done);
        if (rc != 0)
            break;
    }
    (void)Fs().Close(in);
    return rc;
}

// true when the existing log must be started afresh rather than extended.
bool ReplaceMode(const std::string& native, const TLogSettings& settings) {
    if (settings.createNew || settings.overwrite)
        return true;
    struct stat st {};
    const int rc = Fs().Stat(native.c_str(), st);
    if (rc == ENOENT)
        return true;
    if (rc != 0)
        // Unknown state: extending it reads the file first, and a file that
        // cannot be read is then left as it is.
        return false;
    // A size equal to the limit still extends the file.
    const std::int64_t limit = static_cast<std::int64_t>(settings.maxSize) * 1024;
    return static_cast<std::int64_t>(st.st_size) > limit;
}

} // namespace

// ---------------------------------------------------------------------------
// Header figures

TLogHeaderFigures HeaderFiguresOf(const TScanData& store, const TSearchDataList& searchSet) {
    TLogHeaderFigures f;
    f.searchPaths.reserve(searchSet.Count());
    for (std::size_t i = 0; i < searchSet.Count(); ++i)
        f.searchPaths.push_back(searchSet.Item(i)->SearchPath);
    f.scannedFolders = store.SubFoldersAddedSum();
    f.foundFiles = store.FilesFoundSum();
    f.filteredFiles = store.FileCount();
    f.sameName = ViewLineOf(store, kViewSameName);
    f.sameSize = ViewLineOf(store, kViewSameSize);
    f.sameNameSize = ViewLineOf(store, kViewSameNameSize);
    f.sameContent = ViewLineOf(store, kViewSameContent);
    f.fullClones = ViewLineOf(store, kViewFullClones);
    f.zeroSizeFiles = store.ZeroSizeFiles();
    f.searchDuration = store.m_durationSearch;
    f.contentCompared = store.Status().m_contentDone;
    f.contentDuration = store.m_durationContent;
    return f;
}

// ---------------------------------------------------------------------------
// Texts

std::u16string FormatLineStamp(const TCalendarTime& local) {
    std::u16string text = FormatShortDate(local);
    if (local.hour == 0 && local.minute == 0 && local.second == 0 && local.milliseconds == 0)
        return text;
    text += u' ';
    text += FormatLongTime(local);
    return text;
}

std::u16string LineStampNow() {
    TCalendarTime local;
    if (!FileTimeToLocalCalendar(NowFileTime(), local))
        return u"??";
    return FormatLineStamp(local);
}

std::u16string LineOkDeleting(std::u16string_view stamp, std::u16string_view path) {
    return std::u16string(stamp) + u" - Ok deleting: " + Quoted(path);
}

std::u16string LineFailedToDelete(std::u16string_view stamp, std::u16string_view path) {
    return std::u16string(stamp) + u" - Failed to delete: " + Quoted(path);
}

std::u16string LineFailedToDeleteCode(std::u16string_view stamp, int code,
                                      std::u16string_view path) {
    return std::u16string(stamp) + u" - Failed to delete (error " + FormatPlainNumber(code) +
           u"): " + Quoted(path);
}

std::u16string LineUnableToLocate(std::u16string_view stamp, std::u16string_view path) {
    return std::u16string(stamp) + u" - Unable to locate: " + Quoted(path);
}

std::u16string LineFailedToDeleteReason(std::u16string_view stamp, std::u16string_view path,
                                        int code) {
    return LineFailedToDelete(stamp, path) + u" " + SystemErrorText(code);
}

std::u16string LineCannotCreateMainFolder(std::u16string_view stamp, std::u16string_view folder,
                                          int code) {
    return std::u16string(stamp) + u" - Cannot create the main destination folder: " +
           Quoted(folder) + u" " + SystemErrorText(code) + u"\r\n";
}

std::u16string LineCannotCreateFolder(std::u16string_view stamp, std::u16string_view folder,
                                      int code) {
    return std::u16string(stamp) + u" - Cannot create the destination folder: " + Quoted(folder) +
           u" " + SystemErrorText(code);
}

std::u16string LineFailedTransfer(TOperationKind kind, std::u16string_view stamp,
                                  std::u16string_view source, std::u16string_view target,
                                  int code) {
    const std::u16string_view verb =
        kind == TOperationKind::Move ? u" failed to move file " : u" failed to copy file ";
    return std::u16string(stamp) + std::u16string(verb) + Quoted(source) + u" -> " +
           Quoted(target) + u": " + SystemErrorText(code);
}

namespace {

std::u16string TransferLine(std::u16string_view stamp, std::u16string_view what,
                            std::u16string_view source, std::uint64_t size,
                            std::u16string_view target) {
    return std::u16string(stamp) + u" - " + std::u16string(what) + u": " + Quoted(source) + u" (" +
           Num(size) + u" bytes) -> " + Quoted(target);
}

} // namespace

std::u16string LineSkip(TOperationKind kind, std::u16string_view stamp, std::u16string_view source,
                        std::uint64_t size, std::u16string_view target) {
    return TransferLine(stamp, kind == TOperationKind::Move ? u"Skip move" : u"Skip copy", source,
                        size, target);
}

std::u16string LineRenamed(TOperationKind kind, std::u16string_view stamp,
                           std::u16string_view source, std::uint64_t size,
                           std::u16string_view target) {
    return TransferLine(stamp,
                        kind == TOperationKind::Move ? u"Move and rename" : u"Copy and rename",
                        source, size, target);
}

std::u16string LineOkTransfer(TOperationKind kind, std::u16string_view stamp,
                              std::u16string_view source, std::uint64_t size,
                              std::u16string_view target) {
    return TransferLine(stamp, kind == TOperationKind::Move ? u"Ok Moving" : u"Ok Copying", source,
                        size, target);
}

TLogSummary SummaryOf(const TOperationCounters& counters, std::uint64_t files,
                      std::uint64_t bytes) {
    TLogSummary summary;
    summary.filesToProcess = files;
    summary.bytesToProcess = bytes;
    summary.filesDone = counters.doneCount;
    summary.bytesDone = counters.doneBytes;
    summary.filesInError = static_cast<std::uint64_t>(counters.failedCount);
    summary.bytesInError = counters.failedBytes;
    return summary;
}

std::u16string SummaryBlock(TOperationKind kind, const TLogSummary& f) {
    // A run never succeeds with more than it was given; should the figures
    // disagree, "failed" stays at zero instead of wrapping round.
    const std::uint64_t failedFiles =
        f.filesToProcess > f.filesDone ? f.filesToProcess - f.filesDone : 0;
    const std::uint64_t failedBytes =
        f.bytesToProcess > f.bytesDone ? f.bytesToProcess - f.bytesDone : 0;
    const char16_t* const* texts = nullptr;
    static const char16_t* const kDelete[] = {u"*** Deleting information ***", u"Files to delete: ",
                                              u"Successfully deleted files: ",
                                              u"Failed to delete files: ", u"Delete errors: "};
    static const char16_t* const kCopy[] = {u"*** Copying information ***", u"Files to copy: ",
                                            u"Successfully copied files: ",
                                            u"Failed to copy files: ", u"Copying errors: "};
    static const char16_t* const kMove[] = {u"*** Moving information ***", u"Files to move: ",
                                            u"Successfully moved files: ",
                                            u"Failed to move files: ", u"Moving errors: "};
    switch (kind) {
    case TOperationKind::Copy:
        texts = kCopy;
        break;
    case TOperationKind::Move:
        texts = kMove;
        break;
    default:
        texts = kDelete;
        break;
    }
    auto line = [](const char16_t* label, std::uint64_t count, std::uint64_t bytes) {
        return label + Num(count) + u" [" + Num(bytes) + u" bytes]\r\n";
    };
    std::u16string block = std::u16string(texts[0]) + u"\r\n";
    block += line(texts[1], f.filesToProcess, f.bytesToProcess);
    block += line(texts[2], f.filesDone, f.bytesDone);
    block += line(texts[3], failedFiles, failedBytes);
    block += line(texts[4], f.filesInError, f.bytesInError);
    return block;
}

std::u16string ClosingLine(TOperationKind kind, bool aborted, std::u16string_view stamp) {
    std::u16string_view text;
    switch (kind) {
    case TOperationKind::Copy:
        text = aborted ? u"File copying was aborted at " : u"File copying was finished at ";
        break;
    case TOperationKind::Move:
        text = aborted ? u"File moving was aborted at " : u"File moving was finished at ";
        break;
    default:
        text = aborted ? u"File deleting was aborted at " : u"Files deleting was finished at ";
        break;
    }
    return std::u16string(text) + std::u16string(stamp);
}

// ---------------------------------------------------------------------------
// TLogLines

void TLogLines::Add(std::u16string text) {
    std::lock_guard<std::mutex> lock(m_lock);
    m_lines.push_back(TStrItem{std::move(text)});
}

void TLogLines::Insert(std::size_t index, std::u16string text) {
    std::lock_guard<std::mutex> lock(m_lock);
    if (index > m_lines.size())
        index = m_lines.size();
    m_lines.insert(m_lines.begin() + static_cast<std::ptrdiff_t>(index), TStrItem{std::move(text)});
}

std::size_t TLogLines::Count() const {
    std::lock_guard<std::mutex> lock(m_lock);
    return m_lines.size();
}

void TLogLines::Clear() {
    std::lock_guard<std::mutex> lock(m_lock);
    m_lines.clear();
}

TStrList TLogLines::Lines() const {
    std::lock_guard<std::mutex> lock(m_lock);
    return m_lines;
}

// ---------------------------------------------------------------------------
// TOperationLogs

void TOperationLogs::BeginRun(bool fullLogOn, bool errorLogOn, TViewKind view, TOperationKind kind,
                              const TLogHeaderFigures& f) {
    // Lines left by a run whose logs were never written must not leak into
    // this run's header.
    m_full.Clear();
    m_error.Clear();
    m_fullOn = fullLogOn;
    m_errorOn = errorLogOn;
    m_fullHeading = kNoHeading;
    m_errorHeading = kNoHeading;
    if (!fullLogOn && !errorLogOn)
        return;

    const TKindTexts texts = KindTexts(kind);
    TStrList header;
    auto add = [&header](std::u16string text) { header.push_back(TStrItem{std::move(text)}); };
    add(std::u16string(kLogSeparator));
    add(std::u16string(texts.title) + Quoted(ViewCaption(view)) + u" at " + LineStampNow());
    add(u"");
    add(u"*** Scanning information ***");
    add(u"Search set contains " + Count(f.searchPaths.size()) +
        (f.searchPaths.size() == 1 ? u" folder for scanning:" : u" folders for scanning:"));
    for (const std::u16string& path : f.searchPaths)
        add(Quoted(path));
    add(u"");
    add(u"*** Scanning results ***");
    add(u"Scanned folders: " + Num(f.scannedFolders));
    add(u"Found files: " + Num(f.foundFiles));
    add(u"Filtered files by search criteria: " + Num(f.filteredFiles));
    add(u"");
    add(ViewLine(u"Same name", f.sameName));
    add(ViewLine(u"Same size", f.sameSize));
    add(ViewLine(u"Same name and size", f.sameNameSize));
    add(u"Zero size: " + Num(f.zeroSizeFiles) + u" files");
    add(u"Search taken: " + Duration(f.searchDuration));
    add(u"");
    if (f.contentCompared) {
        add(u"*** Content comparison results ***");
        add(ViewLine(u"Same content", f.sameContent));
        add(ViewLine(u"Full clones", f.fullClones));
        add(u"Content comparison taken: " + Duration(f.contentDuration));
        add(u"");
    }

    m_full.Locked([&](TStrList& lines) {
        lines = header;
        m_fullHeading = lines.size();
        lines.push_back(TStrItem{std::u16string(texts.fullHead)});
    });
    m_error.Locked([&](TStrList& lines) {
        lines = std::move(header);
        m_errorHeading = lines.size();
        lines.push_back(TStrItem{std::u16string(texts.errorHead)});
    });
}

void TOperationLogs::AddFull(std::u16string text) {
    if (m_fullOn)
        m_full.Add(std::move(text));
}

void TOperationLogs::AddError(std::u16string text, bool anyFailure) {
    if (m_errorOn && anyFailure)
        m_error.Add(std::move(text));
}

void TOperationLogs::AddBoth(const std::u16string& text, bool anyFailure) {
    AddFull(text);
    AddError(text, anyFailure);
}

void TOperationLogs::AddFolderError(const std::u16string& text) {
    AddFull(text);
    AddError(text, true);
}

void TOperationLogs::AddSummary(const std::u16string& block, bool anyFailure) {
    // Inserting at the heading is the same as appending and then moving the
    // block in front of the heading.
    if (m_fullOn)
        m_full.Insert(m_fullHeading, block);
    if (m_errorOn && anyFailure)
        m_error.Insert(m_errorHeading, block);
}

void TOperationLogs::FinishRun(TOperationKind kind, bool aborted, bool anyFailure) {
    const std::u16string closing = ClosingLine(kind, aborted, LineStampNow());
    AddBoth(closing, anyFailure);
    AddBoth(std::u16string(kLogSeparator), anyFailure);
    AddBoth(u"", anyFailure);
    if (!anyFailure)
        m_error.Clear();
}

TLogWriteResult TOperationLogs::WriteLogs(std::u16string_view logFolder, const TLogSettings& full,
                                          const TLogSettings& error, TStrList* history) {
    TLogWriteResult result;
    const std::u16string folder = PrepareLogFolder(logFolder);
    auto writeOne = [&](TLogLines& list, const TLogSettings& settings, bool errorLog, bool& written,
                        std::u16string& path) {
        if (!settings.use || folder.empty())
            return;
        const std::u16string candidate = folder + LogFileName(errorLog, settings.createNew);
        list.Locked([&](TStrList& lines) {
            if (lines.empty())
                return;
            const bool replace = ReplaceMode(NativePath(candidate), settings);
            if (WriteLinesToFile(candidate, folder + std::u16string(kLogTempName), lines,
                                 !replace) != 0)
                return;
            written = true;
            path = candidate;
        });
        if (written && history != nullptr)
            AddToLogHistory(*history, path);
    };
    writeOne(m_full, full, false, result.fullWritten, result.fullPath);
    writeOne(m_error, error, true, result.errorWritten, result.errorPath);
    m_full.Clear();
    m_error.Clear();
    return result;
}

// ---------------------------------------------------------------------------
// Files

std::u16string PrepareLogFolder(std::u16string_view logFolder) {
    const std::u16string folder = TrimText(ExpandEnvVars(TrimText(logFolder)));
    if (folder.empty())
        return {};
    return AddTrailingBackslash(folder);
}

std::u16string LogFileName(bool errorLog, bool createNew) {
    std::u16string name(kLogPrefix);
    name += errorLog ? u"_error" : u"_full";
    if (createNew)
        name += u" (" + FormatStampNow() + u")";
    name += u".log";
    return name;
}

int WriteLinesToFile(std::u16string_view path, std::u16string_view tempPath, const TStrList& lines,
                     bool prepend) {
    const std::u16string folder = FolderOf(path);
    if (!folder.empty() && !FolderExists(folder)) {
        int errorCode = 0;
        if (!ForceFolders(folder, errorCode))
            return errorCode != 0 ? errorCode : ENOENT;
    }
    TAtomicWriteOptions options;
    options.fixedTemp = NativePath(tempPath);
    const std::string native = NativePath(path);
    return WriteFileAtomically(
        native,
        [&](int fd) {
            int rc = WriteLines(fd, lines);
            if (rc == 0 && prepend)
                rc = AppendFileBytes(fd, native);
            return rc;
        },
        options);
}

void AddToLogHistory(TStrList& history, std::u16string_view path) {
    history.insert(history.begin(), TStrItem{std::u16string(path)});
    TidyHistory(history, kNoIgnoredChar, kLogHistoryLimit, THistoryCompare::Exact);
}

} // namespace vdx
