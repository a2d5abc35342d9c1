#pragma once
// A temporary folder tree for tests: created under $TMPDIR, removed with
// everything in it when the object goes away.

#include <cstdint>
#include <string>
#include <string_view>

namespace vdx::test {

class TTempTree {
public:
    TTempTree();
    ~TTempTree();
    TTempTree(const TTempTree&) = delete;
    TTempTree& operator=(const TTempTree&) = delete;

    // The root folder, without a trailing "/".
    const std::string& Root() const { return m_root; }
    // Root() + "/" + rel.
    std::string Path(std::string_view rel) const;

    // Creates the folder rel and its parents.
    void Dir(std::string_view rel) const;
    // Creates the file rel (and its folders) with the given content.
    void File(std::string_view rel, std::string_view content = {}) const;
    // Creates the file rel with size bytes of a repeated byte.
    void FileOfSize(std::string_view rel, std::uint64_t size, char fill = 'x') const;
    // Sets the last-write time of rel, in seconds since 1970.
    void SetMTime(std::string_view rel, std::int64_t unixSeconds) const;
    void Symlink(std::string_view target, std::string_view rel) const;

private:
    std::string m_root;
};

} // namespace vdx::test
