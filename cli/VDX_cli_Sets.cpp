#include "cli/VDX_cli_Sets.h"

#include <cerrno>
#include <cstdio>
#include <memory>

#include "cli/VDX_cli_Find.h"
#include "cli/VDX_cli_Options.h"
#include "cli/VDX_cli_Settings.h"
#include "engine/VDX_unit_Helpers.h"
#include "engine/VDX_unit_SetCheck.h"
#include "persistence/VDX_unit_IniValues.h"
#include "platform/VDX_unit_FileSystem.h"
#include "platform/VDX_unit_SystemError.h"
#include "platform/VDX_unit_Text.h"

namespace vdx::cli {

const char* const kSetsUsage =
    "Usage: vardex-cli sets list\n"
    "       vardex-cli sets save NAME PATH... [FILTER OPTIONS]\n"
    "       vardex-cli sets save NAME --set OTHER | --current-set\n"
    "       vardex-cli sets delete NAME\n"
    "\n"
    "The stored search sets of the settings file, as the sets store of the\n"
    "desktop program keeps them.\n"
    "\n"
    "  list     every stored set by name: its path count, then each path with\n"
    "           the filter columns of the current search set list\n"
    "  save     stores the given folders as the set NAME, each folder with the\n"
    "           filters of the options (as vardex-cli find takes them), or a\n"
    "           copy of the stored set OTHER or of the current search set. A\n"
    "           stored set whose name equals NAME (letter case ignored) is\n"
    "           replaced; the set is stored under NAME without leading and\n"
    "           trailing blanks\n"
    "  delete   removes the stored set NAME (letter case ignored)\n"
    "\n"
    "Only save and delete write the settings file; it is replaced as a whole\n"
    "through a temporary file, so a failed write leaves the old file intact.\n"
    "\n"
    "Options:\n"
    "  --settings FILE  (before or after the command) the settings file to use;\n"
    "                   without it, the default settings file (read only when\n"
    "                   it exists)\n"
    "\n"
    "Filter options of save:\n"
    "%s"
    "\n"
    "save and delete hold a lock (the file FILE.lock beside the settings file)\n"
    "from their read to their write, so that commands run at once never lose\n"
    "each other's sets; they refuse to write over a file that has content but\n"
    "is not a settings file.\n"
    "\n"
    "Exit status: 0 success, 1 the settings file cannot be read or written or is\n"
    "not a settings file, 2 bad arguments or an unknown set name.\n";

namespace {

// Messages end up on a terminal; the store's texts are UTF-16, and a set
// name or path may hold control characters.
std::string Bytes(std::u16string_view text) {
    return TerminalName(text);
}

int PrintUsage(FILE* stream) {
    std::fprintf(stream, kSetsUsage, kSearchOptionsUsage);
    return kExitOk;
}

int UsageError(const std::string& message) {
    std::fprintf(stderr, "vardex-cli sets: %s\n\n", message.c_str());
    PrintUsage(stderr);
    return kExitUsage;
}

// Loads the settings; false after printing why they cannot be used. A
// --settings file that does not exist yet is fine only when the command
// creates it (missingOk). With lock, the settings are read to be changed:
// the lock is taken first and held until the caller has saved, so that
// commands running at once each see the others' changes; and a file that is
// not a settings file is refused, as it would be replaced.
bool Load(const TGlobalOptions& global, TSettings& settings, bool missingOk,
          TFileLock* lock = nullptr) {
    // A missing file is fine only for save, which creates it: only then is
    // the lock (and the folder for it) made for a file not there yet.
    if (lock != nullptr) {
        // No folder to hold the lock file is no folder to save into either:
        // the read or the save says so below.
        if (const int rc = LockCliSettings(global, *lock, missingOk); rc != 0 && rc != ENOENT) {
            std::fprintf(stderr, "vardex-cli sets: cannot lock the settings file: %s\n",
                         ToUtf8(SystemErrorText(rc)).c_str());
            return false;
        }
    }
    const TSettingsSource source = LoadCliSettings(global, settings);
    if (source.error == 0 || (source.error == ENOENT && missingOk)) {
        if (lock != nullptr && source.foreign) {
            std::fprintf(stderr,
                         "vardex-cli sets: '%s' is not a settings file of this program (it holds "
                         "none of its sections); it is left as it is. Name another file with "
                         "--settings, or an empty or missing one to start anew.\n",
                         Bytes(source.path).c_str());
            return false;
        }
        return true;
    }
    // A store partly read must not be written back: the rest of the file
    // would be lost.
    std::fprintf(stderr, "vardex-cli sets: cannot read the settings file '%s': %s\n",
                 Bytes(source.path).c_str(), ToUtf8(SystemErrorText(source.error)).c_str());
    return false;
}

int Save(const TGlobalOptions& global, TSettings& settings, std::u16string& path) {
    SortStoredSets(settings);
    const int rc = SaveCliSettings(global, settings, path);
    if (rc != 0)
        std::fprintf(stderr, "vardex-cli sets: cannot write the settings file '%s': %s\n",
                     Bytes(path).c_str(), ToUtf8(SystemErrorText(rc)).c_str());
    return rc;
}

// "1 path" or "N paths".
std::string PathCount(std::size_t count) {
    return std::to_string(count) + (count == 1 ? " path" : " paths");
}

int RunList(const std::vector<std::string>& args, const TGlobalOptions& global) {
    TArgReader reader(args);
    while (reader.Next()) {
        if (reader.IsOption() && (reader.Name() == "-h" || reader.Name() == "--help"))
            return PrintUsage(stdout);
        return UsageError("list takes no argument, not '" + reader.Arg() + "'");
    }
    TSettings settings;
    if (!Load(global, settings, false))
        return kExitFailed;
    SortStoredSets(settings);
    if (settings.storedSets.empty()) {
        std::fputs("There are no stored search sets.\n", stdout);
        return kExitOk;
    }
    static constexpr int kFilterColumns[] = {kColIncludeMask, kColExcludeMask, kColSizeFilter,
                                             kColDateFilter,  kColAttrFilter,  kColExcludedPaths,
                                             kColSubFolders};
    std::string out;
    for (const auto& set : settings.storedSets) {
        out += Bytes(set->name) + " [" + PathCount(set->Count()) + "]\n";
        for (std::size_t row = 0; row < set->Count(); ++row) {
            out += "  " + Bytes(set->CellText(row, kColSearchPath)) + "\n   ";
            for (int column : kFilterColumns) {
                out += column == kColIncludeMask ? " " : " | ";
                out += Bytes(SetColumnCaption(column)) + ": " + Bytes(set->CellText(row, column));
            }
            out += '\n';
        }
    }
    std::fwrite(out.data(), 1, out.size(), stdout);
    return std::fflush(stdout) == 0 ? kExitOk : kExitFailed;
}

// A text the settings file would give back changed: one holding a line
// break (written empty), or, for folders, one with blanks at either end
// (written trimmed, which names another folder).
bool StoresExactly(std::u16string_view text, bool folder) {
    const std::u16string stored = StoredText(text);
    return folder ? stored == text : stored == TrimText(text);
}

// false after printing the first text of the set the file could not keep.
bool CheckStorable(const TSearchSet& set) {
    for (std::size_t i = 0; i < set.Count(); ++i) {
        const TSearchData& path = *set.Path(i);
        std::u16string_view bad;
        if (!StoresExactly(path.SearchPath, true))
            bad = path.SearchPath;
        for (const TStrItem& item : path.folderFilter.Items())
            if (bad.empty() && !StoresExactly(item.text, true))
                bad = item.text;
        for (const std::u16string* mask :
             {&path.fileFilter.FLT_Include, &path.fileFilter.FLT_Exclude})
            if (bad.empty() && !StoresExactly(*mask, false))
                bad = *mask;
        if (!bad.empty()) {
            std::fprintf(stderr,
                         "vardex-cli sets: '%s' cannot be kept in the settings file: it holds a "
                         "line break or blanks at either end\n",
                         Bytes(bad).c_str());
            return false;
        }
    }
    return true;
}

int RunSave(const std::vector<std::string>& args, const TGlobalOptions& global) {
    std::u16string cwd;
    std::string resolved;
    const int cwdError = Fs().RealPath(".", resolved);
    cwd = cwdError == 0 ? DecodeFileName(resolved) : std::u16string(u"/");

    TSearchOptions options;
    // A stored set keeps its references as typed; they expand when it is used.
    options.resolveReferences = false;
    std::string error;
    bool haveName = false;
    std::u16string name;
    TArgReader reader(args);
    while (reader.Next()) {
        if (!reader.IsOption()) {
            if (!haveName) {
                haveName = true;
                name = DecodeFileName(reader.Arg());
            } else if (!AddSearchPath(reader.Arg(), cwd, options, error)) {
                return UsageError(error);
            }
            continue;
        }
        if (reader.Name() == "-h" || reader.Name() == "--help")
            return PrintUsage(stdout);
        const TParsed parsed = ParseSearchOption(reader, cwd, options, error);
        if (parsed == TParsed::Failed)
            return UsageError(error);
        if (parsed == TParsed::NotMine)
            return UsageError("unknown option '" + reader.Arg() + "'");
    }
    if (!haveName)
        return UsageError("save needs the name of the set");
    // The name dialog accepts a name that is not blank and stores it trimmed.
    const std::u16string trimmed = TrimText(name);
    if (trimmed.empty())
        return UsageError("the name of the set is blank");
    if (StoredText(trimmed) != trimmed)
        return UsageError("the name of the set cannot hold a line break");
    if (!FinishSearchOptions(options, error))
        return UsageError(error);
    if (options.relativeGiven && cwdError != 0) {
        std::fprintf(stderr, "vardex-cli sets: cannot read the current folder: %s\n",
                     ToUtf8(SystemErrorText(cwdError)).c_str());
        return kExitFailed;
    }

    TSettings settings;
    TFileLock lock;
    if (!Load(global, settings, true, &lock))
        return kExitFailed;
    SortStoredSets(settings);

    TSearchSet set;
    if (options.useCurrentSet) {
        set.Assign(settings.currentSet);
        if (set.Count() == 0)
            return UsageError("the current search set holds no path");
    } else if (options.useStoredSet) {
        const int source = FindStoredSet(settings, options.setName);
        if (source < 0) {
            std::fprintf(stderr, "vardex-cli sets: no stored search set is named '%s'\n%s",
                         Bytes(options.setName).c_str(), StoredSetNames(settings).c_str());
            return kExitUsage;
        }
        set.Assign(*settings.storedSets[static_cast<std::size_t>(source)]);
    } else {
        set = BuildSearchSet(options);
        // The same checks as before a search: a set that could never be
        // searched is not stored.
        const TSetCheckResult check = CheckSearchSet(set);
        if (!check.ok) {
            std::string message = ToUtf8(check.title) + "\n" + ToUtf8(check.message);
            std::erase(message, '\r');
            return UsageError(message);
        }
        for (std::size_t i = 0; i < set.Count(); ++i)
            if (!FolderExists(set.Path(i)->SearchPath))
                std::fprintf(stderr, "vardex-cli sets: warning: '%s' is not a folder\n",
                             Bytes(set.Path(i)->SearchPath).c_str());
    }
    if (!CheckStorable(set))
        return kExitUsage;

    // The name is matched as typed (untrimmed, letter case ignored), as the
    // name dialog selects the stored set to replace.
    const int existing = FindStoredSet(settings, name);
    std::string report;
    if (existing >= 0) {
        TSearchSet& stored = *settings.storedSets[static_cast<std::size_t>(existing)];
        report = "Replaced the stored search set '" + Bytes(stored.name) + "' (" +
                 PathCount(stored.Count()) + ") with '" + Bytes(trimmed) + "' (" +
                 PathCount(set.Count()) + ")";
        stored.Paths().Assign(set.Paths());
        stored.name = trimmed;
    } else {
        auto stored = std::make_unique<TSearchSet>();
        stored->name = trimmed;
        stored->Paths().Assign(set.Paths());
        settings.storedSets.push_back(std::move(stored));
        report = "Stored the search set '" + Bytes(trimmed) + "' (" + PathCount(set.Count()) + ")";
    }
    std::u16string path;
    if (Save(global, settings, path) != 0)
        return kExitFailed;
    std::printf("%s in %s\n", report.c_str(), Bytes(path).c_str());
    return kExitOk;
}

int RunDelete(const std::vector<std::string>& args, const TGlobalOptions& global) {
    bool haveName = false;
    std::u16string name;
    TArgReader reader(args);
    while (reader.Next()) {
        if (reader.IsOption()) {
            if (reader.Name() == "-h" || reader.Name() == "--help")
                return PrintUsage(stdout);
            return UsageError("unknown option '" + reader.Arg() + "'");
        }
        if (haveName)
            return UsageError("delete takes one name; put a name with blanks in quotes");
        haveName = true;
        name = DecodeFileName(reader.Arg());
    }
    if (!haveName)
        return UsageError("delete needs the name of the set");

    TSettings settings;
    TFileLock lock;
    if (!Load(global, settings, false, &lock))
        return kExitFailed;
    SortStoredSets(settings);
    const int index = FindStoredSet(settings, name);
    if (index < 0) {
        std::fprintf(stderr, "vardex-cli sets: no stored search set is named '%s'\n%s",
                     Bytes(name).c_str(), StoredSetNames(settings).c_str());
        return kExitUsage;
    }
    const auto it = settings.storedSets.begin() + index;
    const std::string report = "Deleted the stored search set '" + Bytes((*it)->name) + "' (" +
                               PathCount((*it)->Count()) + ")";
    settings.storedSets.erase(it);
    std::u16string path;
    if (Save(global, settings, path) != 0)
        return kExitFailed;
    std::printf("%s from %s\n", report.c_str(), Bytes(path).c_str());
    return kExitOk;
}

} // namespace

int RunSets(const std::vector<std::string>& args, const TGlobalOptions& global) {
    if (args.empty())
        return UsageError("give list, save or delete");
    const std::string& command = args.front();
    const std::vector<std::string> rest(args.begin() + 1, args.end());
    if (command == "-h" || command == "--help")
        return PrintUsage(stdout);
    if (command == "list")
        return RunList(rest, global);
    if (command == "save")
        return RunSave(rest, global);
    if (command == "delete")
        return RunDelete(rest, global);
    return UsageError("unknown sets command '" + command + "' (use list, save or delete)");
}

} // namespace vdx::cli
