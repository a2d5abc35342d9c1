#pragma once
// Reads the entries of an open folder in the records getdents64 fills a
// buffer with, through Fs() so that a test file system sees (and can fail)
// every call. Names are handed out in place, so reading allocates nothing per
// entry: a walk over millions of entries reuses one buffer for every folder.

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "platform/VDX_unit_FileSystem.h"

namespace vdx {

// One entry: its name (not "." or ".."), zero-terminated in the reader's
// buffer so that it can go straight to the *at calls, and its DT_* type
// (DT_UNKNOWN where the file system does not tell). Valid until the next
// call to Next.
struct TDirEntry {
    const char* name = nullptr;
    std::size_t length = 0;
    unsigned char type = 0;

    std::string_view Name() const { return {name, length}; }
};

class TDirReader {
public:
    // Reads the folder open as fd into buffer, which the caller owns (and may
    // reuse for the next folder); it needs room for the longest record, a
    // little over 256 bytes, and takes a few hundred at 32 KiB. The reader
    // neither closes fd nor rewinds it.
    TDirReader(int fd, void* buffer, std::size_t size) noexcept
        : m_fd(fd), m_buffer(static_cast<unsigned char*>(buffer)), m_size(size) {}
    TDirReader(const TDirReader&) = delete;
    TDirReader& operator=(const TDirReader&) = delete;

    // The next entry: true with entry filled, false at the end of the
    // folder or when reading failed (then Error() tells why).
    [[nodiscard]] bool Next(TDirEntry& entry) noexcept {
        for (;;) {
            if (m_pos == m_filled && !Refill())
                return false;
            if (!Take(entry))
                return false;
            if (!IsDotOrDotDot(entry))
                return true;
        }
    }

    // 0 after the whole folder was read, else the errno of the read that
    // failed, or EIO when the records read do not hold together; the entries
    // handed out before are real, the rest of the folder is unknown.
    [[nodiscard]] int Error() const noexcept { return m_error; }

private:
    // Layout of struct linux_dirent64: d_ino (8), d_off (8), d_reclen (2),
    // d_type (1), then the name with its terminating zero.
    static constexpr std::size_t kRecLenOffset = 16;
    static constexpr std::size_t kTypeOffset = 18;
    static constexpr std::size_t kNameOffset = 19;

    static bool IsDotOrDotDot(const TDirEntry& entry) noexcept {
        return entry.name[0] == '.' &&
               (entry.length == 1 || (entry.length == 2 && entry.name[1] == '.'));
    }

    bool Refill() noexcept {
        if (m_error != 0)
            return false;
        std::size_t filled = 0;
        if (const int rc = Fs().ReadDirEntries(m_fd, m_buffer, m_size, filled); rc != 0)
            return Fail(rc);
        if (filled > m_size)
            return Fail(EIO);
        m_pos = 0;
        m_filled = filled;
        return filled != 0;
    }

    // The one validity rule: a record holds its header and a non-empty
    // name with its terminating zero, and lies wholly within the bytes read.
    // Anything else ends the listing as a read error rather than let a name
    // run into the next record or past the buffer.
    bool Take(TDirEntry& entry) noexcept {
        const std::size_t left = m_filled - m_pos;
        if (left <= kNameOffset)
            return Fail(EIO);
        const unsigned char* record = m_buffer + m_pos;
        std::uint16_t recordLength = 0;
        std::memcpy(&recordLength, record + kRecLenOffset, sizeof recordLength);
        if (recordLength <= kNameOffset + 1 || recordLength > left)
            return Fail(EIO);
        const char* name = reinterpret_cast<const char*>(record + kNameOffset);
        const std::size_t room = recordLength - kNameOffset;
        const std::size_t length = ::strnlen(name, room);
        if (length == 0 || length == room)
            return Fail(EIO);
        m_pos += recordLength;
        entry.name = name;
        entry.length = length;
        entry.type = record[kTypeOffset];
        return true;
    }

    bool Fail(int error) noexcept {
        m_error = error;
        m_pos = m_filled = 0;
        return false;
    }

    int m_fd;
    unsigned char* m_buffer;
    std::size_t m_size;
    std::size_t m_pos = 0;
    std::size_t m_filled = 0;
    int m_error = 0;
};

} // namespace vdx
