#pragma once
// Runs a program for end-to-end tests and captures what it wrote.

#include <string>
#include <vector>

namespace vdx::test {

struct TProcessResult {
    // The exit status; 128 + the signal number when a signal ended it; -1
    // when it could not be started.
    int status = -1;
    std::string out; // standard output
    std::string err; // standard error
};

// Runs program with args (not counting argv[0]) in folder cwd (empty: the
// test's own current folder), with standard input from an empty file.
TProcessResult RunProcess(const std::string& program, const std::vector<std::string>& args,
                          const std::string& cwd = {});

} // namespace vdx::test
