#include "engine/VDX_unit_WorkerShell.h"

#include <exception>
#include <string>

#include "engine/VDX_unit_ErrorFile.h"
#include "platform/VDX_unit_Text.h"

namespace vdx {

TWorkerShell::~TWorkerShell() {
    // A worker freed without its destructor joining (it never started, or
    // a test ended it early) must not leave a thread behind.
    Join();
    if (m_window != nullptr && m_codes.endCode != 0)
        m_window->Post(m_codes.endCode, m_endParam, 0);
}

void TWorkerShell::Execute() {
    bool failed = false;
    try {
        Work();
    } catch (const std::exception& e) {
        AddErrorEntry(std::u16string(m_name) + u": " + FromUtf8(e.what()));
        failed = true;
    } catch (...) {
        AddErrorEntry(std::u16string(m_name) + u": unknown exception");
        failed = true;
    }
    // An exception escaping the thread would end the process; the run is
    // left as far as it got.
    try {
        Close(failed);
    } catch (const std::exception& e) {
        AddErrorEntry(std::u16string(m_name) + u": the run could not be closed: " +
                      FromUtf8(e.what()));
    } catch (...) {
        AddErrorEntry(std::u16string(m_name) + u": the run could not be closed");
    }
}

} // namespace vdx
