#include "tests/support/VDX_test_Process.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace vdx::test {
namespace {

// A temporary file that is already unlinked: the child writes to it and the
// parent reads it back from the start.
int AnonymousFile() {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/vdx-out-XXXXXX";
    const int fd = ::mkstemp(pattern.data());
    if (fd >= 0)
        ::unlink(pattern.c_str());
    return fd;
}

std::string ReadBack(int fd) {
    std::string text;
    ::lseek(fd, 0, SEEK_SET);
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n <= 0)
            break;
        text.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return text;
}

} // namespace

TProcessResult RunProcess(const std::string& program, const std::vector<std::string>& args,
                          const std::string& cwd) {
    TProcessResult result;
    const int outFd = AnonymousFile();
    const int errFd = AnonymousFile();
    // Standard input is an empty file rather than /dev/null, which a
    // sandbox may keep from users other than root.
    const int inFd = AnonymousFile();
    if (outFd < 0 || errFd < 0 || inFd < 0) {
        for (int fd : {outFd, errFd, inFd})
            if (fd >= 0)
                ::close(fd);
        return result;
    }

    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, inFd, 0);
    posix_spawn_file_actions_adddup2(&actions, outFd, 1);
    posix_spawn_file_actions_adddup2(&actions, errFd, 2);
    if (!cwd.empty())
        posix_spawn_file_actions_addchdir_np(&actions, cwd.c_str());
    pid_t pid = 0;
    const int rc = ::posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc == 0) {
        int status = 0;
        pid_t waited = 0;
        do
            waited = ::waitpid(pid, &status, 0);
        while (waited < 0 && errno == EINTR);
        if (waited < 0)
            status = 0xFF00; // seen as exit status 255
        if (WIFEXITED(status))
            result.status = WEXITSTATUS(status);
        else if (WIFSIGNALED(status))
            result.status = 128 + WTERMSIG(status);
    }
    ::close(inFd);
    result.out = ReadBack(outFd);
    result.err = ReadBack(errFd);
    return result;
}

} // namespace vdx::test
