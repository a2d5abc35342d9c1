#include "engine/VDX_unit_ErrorFile.h"

#include <cerrno>
#include <fcntl.h>
#include <mutex>

#include "engine/VDX_unit_Helpers.h"
#include "platform/VDX_unit_FileSystem.h"
#include "platform/VDX_unit_SpecialFolders.h"
#include "platform/VDX_unit_Text.h"

namespace vdx {

namespace {

std::mutex g_mutex;
std::u16string g_path; // guarded by g_mutex

std::u16string WithTrailingDelim(std::u16string_view folder) {
    std::u16string result(folder);
    if (result.empty() || result.back() != kPathDelim)
        result += kPathDelim;
    return result;
}

std::u16string FileNameForNow() {
    return u"VDXerrors_" + FormatStampNow() + u".log";
}

} // namespace

std::u16string OpenErrorFile() {
    std::u16string folder;
    std::u16string documents = SpecialFolderPath(TSpecialFolder::Documents);
    if (!documents.empty()) {
        std::u16string candidate = WithTrailingDelim(documents) + u"QVD/";
        int errorCode = 0;
        if (FolderExists(candidate) || ForceFolders(candidate, errorCode))
            folder = candidate;
    }
    if (folder.empty()) {
        std::u16string program = SpecialFolderPath(TSpecialFolder::ProgramFolder);
        if (!program.empty() && FolderExists(program))
            folder = WithTrailingDelim(program);
    }
    OpenErrorFileIn(folder);
    return ErrorFilePath();
}

void OpenErrorFileIn(std::u16string_view folder) {
    std::u16string path;
    if (!folder.empty())
        path = WithTrailingDelim(folder) + FileNameForNow();
    std::lock_guard<std::mutex> lock(g_mutex);
    g_path = path;
}

std::u16string ErrorFilePath() {
    std::lock_guard<std::mutex> lock(g_mutex);
    return g_path;
}

void AddErrorEntry(std::u16string_view message) {
    std::lock_guard<std::mutex> lock(g_mutex);
    if (g_path.empty())
        return;
    std::string line = ToUtf8(FormatStampNow()) + " - " + ToUtf8(RemoveLineBreaks(message)) + "\n";
    std::string native = NativePath(g_path);
    int fd = -1;
    std::string text;
    int rc = Fs().Open(native.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_APPEND, 0644, fd);
    if (rc == 0) {
        text = "An unexpected error occured in Vardex.\n"
               "Please email this file to " +
               ToUtf8(kSupportEmail) + "\nThank you.\n\n";
    } else if (rc == EEXIST) {
        rc = Fs().Open(native.c_str(), O_WRONLY | O_APPEND, 0, fd);
    }
    if (rc != 0)
        return;
    text += line;
    (void)WriteAll(fd, text.data(), text.size());
    (void)Fs().Close(fd);
}

} // namespace vdx
