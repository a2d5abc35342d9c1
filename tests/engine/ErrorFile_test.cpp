#include "engine/VDX_unit_ErrorFile.h"

#include <fstream>
#include <gtest/gtest.h>
#include <string>

#include "platform/VDX_unit_SpecialFolders.h"
#include "platform/VDX_unit_Text.h"
#include "tests/support/VDX_test_FaultFs.h"
#include "tests/support/VDX_test_Files.h"
#include "tests/support/VDX_test_TempTree.h"

namespace vdx {
namespace {

using test::ReadAll;
using test::TEnvGuard;

TEST(ErrorFile, FirstEntryCreatesTheFileWithItsPreamble) {
    test::TTempTree tree;
    OpenErrorFileIn(FromUtf8(tree.Root()));
    std::string path = ToUtf8(ErrorFilePath());
    std::string name = path.substr(path.rfind('/') + 1);
    EXPECT_EQ(name.rfind("VDXerrors_", 0), 0u) << name;
    EXPECT_EQ(name.substr(name.size() - 4), ".log");
    // Nothing is written before the first entry.
    EXPECT_FALSE(std::ifstream(path).good());

    AddErrorEntry(u"DoScanning: PrepareIndexA");
    AddErrorEntry(u"second\r\nline");
    std::string text = ReadAll(path);
    const std::string preamble = "An unexpected error occured in Vardex.\n"
                                 "Please email this file to " +
                                 ToUtf8(kSupportEmail) + "\nThank you.\n\n";
    ASSERT_EQ(text.substr(0, preamble.size()), preamble);
    std::istringstream lines(text.substr(preamble.size()));
    std::string first, second, extra;
    std::getline(lines, first);
    std::getline(lines, second);
    EXPECT_FALSE(std::getline(lines, extra));
    EXPECT_NE(first.find(" - DoScanning: PrepareIndexA"), std::string::npos) << first;
    EXPECT_GT(first.find(" - "), 0u); // starts with the stamp
    EXPECT_NE(second.find(" - second"), std::string::npos) << second;
    OpenErrorFileIn(u"");
}

TEST(ErrorFile, WithoutAFolderOrOnWriteFailureEntriesAreDropped) {
    OpenErrorFileIn(u"");
    EXPECT_TRUE(ErrorFilePath().empty());
    AddErrorEntry(u"dropped"); // must simply do nothing

    test::TTempTree tree;
    OpenErrorFileIn(FromUtf8(tree.Root()));
    {
        test::TFaultFs fs;
        fs.Fail(test::TFsOp::Open, "VDXerrors_", EACCES);
        test::TFaultFsInstall install(fs);
        AddErrorEntry(u"lost");
    }
    EXPECT_FALSE(std::ifstream(ToUtf8(ErrorFilePath())).good());
    OpenErrorFileIn(u"");
}

TEST(ErrorFile, LivesInTheDocumentsFolderUnderQvd) {
    test::TTempTree tree;
    TEnvGuard home("HOME", tree.Root());
    TEnvGuard config("XDG_CONFIG_HOME", tree.Path("config"));
    std::u16string path = OpenErrorFile();
    EXPECT_EQ(ToUtf8(path).rfind(tree.Root() + "/Documents/QVD/VDXerrors_", 0), 0u) << ToUtf8(path);
    std::ifstream probe(tree.Path("Documents/QVD"));
    EXPECT_TRUE(probe.good()); // the folder was created
    OpenErrorFileIn(u"");
}

TEST(ErrorFile, FallsBackToTheProgramFolder) {
    test::TTempTree tree;
    tree.File("notafolder", "x");
    TEnvGuard home("HOME", tree.Path("notafolder"));
    TEnvGuard config("XDG_CONFIG_HOME", tree.Path("config"));
    std::u16string path = OpenErrorFile();
    std::u16string program = SpecialFolderPath(TSpecialFolder::ProgramFolder);
    EXPECT_EQ(path.rfind(program + u"/VDXerrors_", 0), 0u) << ToUtf8(path);
    OpenErrorFileIn(u"");
}

} // namespace
} // namespace vdx
