#include "cli/VDX_cli_Settings.h"

#include <algorithm>
#include <cerrno>
#include <sys/stat.h>

#include "engine/VDX_unit_Helpers.h"
#include "operations/VDX_unit_OperationLogs.h"
#include "persistence/KLX_unit_Ini.h"
#include "platform/VDX_unit_FileSystem.h"
#include "platform/VDX_unit_Text.h"

namespace vdx::cli {

bool ExtractGlobalOptions(std::vector<std::string>& args, TGlobalOptions& out, std::string& error) {
    std::vector<std::string> rest;
    rest.reserve(args.size());
    bool optionsEnded = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (optionsEnded || arg.rfind("--settings", 0) != 0) {
            optionsEnded = optionsEnded || arg == "--";
            rest.push_back(arg);
            continue;
        }
        std::string value;
        if (arg == "--settings") {
            if (i + 1 >= args.size()) {
                error = "option --settings needs a file";
                return false;
            }
            value = args[++i];
        } else if (arg.rfind("--settings=", 0) == 0) {
            value = arg.substr(11);
        } else {
            // Another option that merely begins the same way.
            rest.push_back(arg);
            continue;
        }
        if (value.empty()) {
            error = "option --settings needs a file";
            return false;
        }
        out.settingsFile = DecodeFileName(value);
    }
    args = std::move(rest);
    return true;
}

TSettingsSource LoadCliSettings(const TGlobalOptions& global, TSettings& settings) {
    // The command line has no toolkit font: an empty name and size make the
    // result font keys read back as absent, so the desktop program keeps its
    // own default font after a file written here.
    InitGlobals(settings, u"", 0);
    TSettingsSource source;
    source.path =
        global.settingsFile.empty() ? ExistingSettingsFile(settings.globals) : global.settingsFile;
    TKLXIni ini;
    if (!source.path.empty())
        source.error = ini.LoadFromFile(source.path);
    if (source.error == 0 && !source.path.empty() && !HoldsProgramSections(ini)) {
        struct stat st {};
        source.foreign = Fs().Stat(NativePath(source.path).c_str(), st) == 0 && st.st_size > 0;
    }
    // After a failed read the store holds what was read before the failure;
    // the caller decides whether it may go on.
    ReadSettings(settings, ini);
    return source;
}

int LockCliSettings(const TGlobalOptions& global, TFileLock& lock, bool create) {
    std::u16string path = global.settingsFile;
    TSettings probe;
    if (path.empty())
        InitGlobals(probe, u"", 0);
    if (!create) {
        // Without a file there is nothing to change, and no folder or lock
        // file is made for it.
        const std::u16string existing = path.empty() ? ExistingSettingsFile(probe.globals) : path;
        struct stat st {};
        if (existing.empty() || Fs().Stat(NativePath(existing).c_str(), st) != 0)
            return 0;
    }
    if (path.empty())
        path = SettingsFileToSave(probe.globals);
    if (path.empty())
        return ENOENT;
    return lock.Acquire(path);
}

int SaveCliSettings(const TGlobalOptions& global, const TSettings& settings, std::u16string& path) {
    path = global.settingsFile.empty() ? SettingsFileToSave(settings.globals) : global.settingsFile;
    if (path.empty())
        return ENOENT;
    TKLXIni ini;
    WriteSettings(settings, ini);
    return ini.SaveToFile(path);
}

int AddLogsToHistory(const TGlobalOptions& global, const std::vector<std::u16string>& logs,
                     std::u16string& path) {
    path.clear();
    if (logs.empty())
        return 0;
    TFileLock lock;
    if (const int rc = LockCliSettings(global, lock, true); rc != 0)
        return rc;
    TSettings settings;
    const TSettingsSource source = LoadCliSettings(global, settings);
    path = source.path;
    // A store partly read must not be written back, nor a file of another
    // program replaced.
    if (source.error != 0 && source.error != ENOENT)
        return source.error;
    if (source.foreign)
        return EINVAL;
    for (const std::u16string& log : logs)
        AddToLogHistory(settings.logFileHistory.items, log);
    return SaveCliSettings(global, settings, path);
}

int FindStoredSet(const TSettings& settings, std::u16string_view name) {
    const std::u16string wanted = UpperCaseText(name);
    for (std::size_t i = 0; i < settings.storedSets.size(); ++i)
        if (UpperCaseText(settings.storedSets[i]->name) == wanted)
            return static_cast<int>(i);
    return -1;
}

void SortStoredSets(TSettings& settings) {
    std::stable_sort(settings.storedSets.begin(), settings.storedSets.end(),
                     [](const auto& a, const auto& b) {
                         return UpperCaseText(a->name) < UpperCaseText(b->name);
                     });
}

std::string StoredSetNames(const TSettings& settings) {
    if (settings.storedSets.empty())
        return "There are no stored search sets.\n";
    std::string text = "Stored search sets:\n";
    for (const auto& set : settings.storedSets) {
        text += "  ";
        text += TerminalName(set->name);
        text += '\n';
    }
    return text;
}

} // namespace vdx::cli
