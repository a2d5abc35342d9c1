#pragma once
// The error file: one text file per program run, in the user's documents
// folder, into which unexpected failures of background work (a grouping step
// that threw, for instance) are appended so that the user can send it to
// support. Writing it never fails visibly.

#include <string>
#include <string_view>

namespace vdx {

inline constexpr std::u16string_view kSupportEmail = u"support@quillborne.example";

// Fixes this run's error file: "<Documents>/QVD/VDXerrors_<stamp>.log", the
// folder created when missing, or the program's own folder when that fails.
// Call once at program start. Returns the path; empty when neither folder can
// be used, in which case entries are dropped.
std::u16string OpenErrorFile();

// Fixes the error file in folder instead (an empty folder means no error
// file). For tests and callers that choose the folder themselves.
void OpenErrorFileIn(std::u16string_view folder);

// The path fixed by the last open; empty before any open.
std::u16string ErrorFilePath();

// Appends the line "<stamp> - <message>"; the file is created with its
// four-line preamble by the first entry. Thread-safe; failures are ignored.
void AddErrorEntry(std::u16string_view message);

} // namespace vdx
