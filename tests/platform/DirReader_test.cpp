#include "platform/VDX_unit_DirReader.h"

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <set>
#include <string>
#include <vector>

#include "tests/support/VDX_test_FaultFs.h"
#include "tests/support/VDX_test_TempTree.h"

namespace vdx {
namespace {

using test::TFaultFs;
using test::TFaultFsInstall;
using test::TFsOp;
using test::TTempTree;

// One linux_dirent64 record as the kernel writes it: the name, its zero and
// padding to a multiple of eight. length overrides the record length field.
std::string Record(std::string_view name, unsigned char type = DT_REG, int length = -1) {
    std::string record(19, '\0');
    record.append(name);
    record.push_back('\0');
    record.resize((record.size() + 7) / 8 * 8, '\0');
    const auto recordLength =
        static_cast<std::uint16_t>(length < 0 ? static_cast<int>(record.size()) : length);
    std::memcpy(record.data() + 16, &recordLength, sizeof recordLength);
    record[18] = static_cast<char>(type);
    return record;
}

// Hands out the given buffers one per ReadDirEntries call, then either the
// end of the folder or failAtEnd. done may claim more than was written.
class TScriptedFs : public TFileSystem {
public:
    std::vector<std::string> chunks;
    int failAtEnd = 0;
    std::size_t extraDone = 0;
    int calls = 0;

    int ReadDirEntries(int, void* buffer, std::size_t n, std::size_t& done) override {
        done = 0;
        const auto i = static_cast<std::size_t>(calls++);
        if (i >= chunks.size())
            return failAtEnd;
        const std::string& chunk = chunks[i];
        std::memcpy(buffer, chunk.data(), std::min(n, chunk.size()));
        done = chunk.size() + extraDone;
        return 0;
    }
};

struct TListed {
    std::vector<std::string> names;
    std::vector<unsigned char> types;
    int error = 0;
};

TListed ListWith(TFileSystem& fs, std::size_t bufferSize = 4096) {
    TFileSystem* previous = SetFileSystem(&fs);
    std::vector<unsigned char> buffer(bufferSize);
    TDirReader reader(-1, buffer.data(), buffer.size());
    TListed listed;
    TDirEntry entry;
    while (reader.Next(entry)) {
        EXPECT_EQ(std::strlen(entry.name), entry.length) << "a name ends with its zero";
        listed.names.emplace_back(entry.Name());
        listed.types.push_back(entry.type);
    }
    listed.error = reader.Error();
    SetFileSystem(previous);
    return listed;
}

TEST(DirReader, HandsOutEveryNameAndTypeAcrossReadsWithoutDots) {
    TScriptedFs fs;
    fs.chunks = {Record(".", DT_DIR) + Record("..", DT_DIR) + Record("a") + Record("sub", DT_DIR),
                 Record("...", DT_UNKNOWN) + Record(".h", DT_LNK) + Record(std::string(255, 'n'))};
    const TListed listed = ListWith(fs);
    EXPECT_EQ(listed.error, 0);
    EXPECT_EQ(listed.names,
              (std::vector<std::string>{"a", "sub", "...", ".h", std::string(255, 'n')}));
    EXPECT_EQ(listed.types,
              (std::vector<unsigned char>{DT_REG, DT_DIR, DT_UNKNOWN, DT_LNK, DT_REG}));
    EXPECT_EQ(fs.calls, 3) << "reads until the folder says it has no more";
}

// Every record that does not hold together ends the listing with EIO; what
// came before it is kept, nothing after it is handed out, not even from a
// later read.
TEST(DirReader, AMalformedRecordEndsTheListingAsAReadError) {
    struct TCase {
        const char* what;
        std::string bad;
    };
    std::string unterminated = Record("abcde");
    std::memset(unterminated.data() + 19, 'x', unterminated.size() - 19);
    const TCase cases[] = {
        {"record length zero", Record("b", DT_REG, 0)},
        {"record length inside the header", Record("b", DT_REG, 18)},
        {"record length with no room for a name", Record("b", DT_REG, 20)},
        {"record longer than what was read", Record("b", DT_REG, 200)},
        {"record length beyond any record", Record("b", DT_REG, 0xFFFF)},
        {"name without its zero", unterminated},
        {"empty name", Record("")},
        {"header cut short", std::string(12, '\x01')},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.what);
        TScriptedFs fs;
        fs.chunks = {Record("a") + c.bad, Record("later")};
        const TListed listed = ListWith(fs);
        EXPECT_EQ(listed.error, EIO);
        EXPECT_EQ(listed.names, std::vector<std::string>{"a"});
    }
}

TEST(DirReader, AReadThatClaimsMoreThanTheBufferIsAReadError) {
    TScriptedFs fs;
    fs.chunks = {Record("a")};
    fs.extraDone = 4096;
    const TListed listed = ListWith(fs);
    EXPECT_EQ(listed.error, EIO);
    EXPECT_TRUE(listed.names.empty());
}

TEST(DirReader, AFailedReadKeepsTheEntriesBeforeAndGivesItsErrno) {
    TScriptedFs fs;
    fs.chunks = {Record("a") + Record("b")};
    fs.failAtEnd = EACCES;
    const TListed listed = ListWith(fs);
    EXPECT_EQ(listed.error, EACCES);
    EXPECT_EQ(listed.names, (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(fs.calls, 2);
}

TEST(DirReader, ListsARealFolderThroughTheFaultSeam) {
    TTempTree tree;
    std::set<std::string> names = {"caf\xE9", ".hidden", "line\nbreak"};
    for (int i = 0; i < 200; ++i)
        names.insert("file" + std::to_string(i));
    for (const auto& name : names)
        tree.File(name);
    tree.Dir("folder");
    names.insert("folder");

    TFaultFs fs;
    TFaultFsInstall install(fs);
    int fd = -1;
    ASSERT_EQ(Fs().Open(tree.Root().c_str(), O_RDONLY | O_DIRECTORY, 0, fd), 0);
    // A small buffer takes many reads; the second one fails.
    test::TFaultRule rule;
    rule.op = TFsOp::ReadDirEntries;
    rule.error = EIO;
    rule.after = 1;
    rule.times = 1;
    fs.Add(rule);
    std::vector<char> buffer(512);
    std::set<std::string> seen;
    {
        TDirReader reader(fd, buffer.data(), buffer.size());
        TDirEntry entry;
        while (reader.Next(entry))
            seen.insert(std::string(entry.Name()));
        EXPECT_EQ(reader.Error(), EIO);
        EXPECT_FALSE(seen.empty());
        EXPECT_LT(seen.size(), names.size());
    }
    ASSERT_EQ(lseek(fd, 0, SEEK_SET), 0);
    seen.clear();
    TDirReader reader(fd, buffer.data(), buffer.size());
    TDirEntry entry;
    while (reader.Next(entry)) {
        seen.insert(std::string(entry.Name()));
        if (entry.Name() == "folder") {
            EXPECT_EQ(entry.type, DT_DIR);
        }
    }
    EXPECT_EQ(reader.Error(), 0);
    EXPECT_EQ(seen, names);
    (void)Fs().Close(fd);
}

} // namespace
} // namespace vdx
