#include "support/files/text_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <vector>

#include "tests/support/scratch.h"

// Long lines, lines across the read-ahead boundary and random bytes are checked
// against a reference split in fuzz_replay_test.cpp.
namespace {

using Lines = std::vector<std::string>;

class TextFileTest : public ::testing::Test {
protected:
    void SetUp() override { TextFile::Startup(); }
    void TearDown() override { TextFile::Shutdown(); }
    Scratch::Folder dir;
    std::string path = dir / "results.txt";
};

TEST_F(TextFileTest, LineEndsOfEveryKind) {
    using namespace std::string_literals;
    const std::pair<std::string, Lines> cases[] = {
        {"", {}}, {"a\r\nb", {"a", "b"}}, {"a\nb\n", {"a", "b"}}, {"a\rb\rc\r", {"a", "b", "c"}},
        {"a\n\rb", {"a", "", "b"}}, {"a\0b\nc"s, {"a", "b", "c"}}, {"cat\r\n\r\n dog ", {"cat", "", " dog "}},
        {"\xEF\xBB\xBFword\r\nnext", {"word", "next"}}, {"\xEF\xBB", {"\xEF\xBB"}},
    };
    for (const auto& [content, expected] : cases) {
        SCOPED_TRACE(testing::PrintToString(content));
        Scratch::Put(path, content);
        ASSERT_NE(TextFile::OpenRead(0, path.c_str()), 0);
        Lines lines;
        while (!TextFile::AtEnd(0)) lines.push_back(TextFile::ReadLine(0));
        EXPECT_EQ(lines, expected);
    }
}

TEST_F(TextFileTest, CreateEmptiesRefusesWhatIsNoFileAndEveryWayOfClosingWritesOut) {
    Scratch::Put(path, "old contents\r\n");
    ASSERT_NE(TextFile::Create(0, path.c_str()), 0);
    EXPECT_EQ(std::filesystem::file_size(path), 0u);
    TextFile::WriteLine(0, "new");
    ASSERT_NE(TextFile::OpenRead(0, path.c_str()), 0);  // reusing the number closes the writer
    EXPECT_EQ(Scratch::Get(path), "new\r\n");
    EXPECT_EQ(TextFile::OpenRead(0, (dir / "missing").c_str()), 0);
    ASSERT_EQ(mkfifo((dir / "pipe").c_str(), 0644), 0);
    EXPECT_EQ(TextFile::OpenRead(0, (dir / "pipe").c_str()), 0);  // refused at once, not waiting for a writer
    EXPECT_EQ(TextFile::Create(0, dir.str().c_str()), 0);

    ASSERT_NE(TextFile::Create(0, path.c_str()), 0);
    TextFile::WriteLine(0, "1.000\tO\tblick");
    TextFile::Shutdown();
    EXPECT_EQ(Scratch::Get(path), "1.000\tO\tblick\r\n");
    TextFile::Startup();
}

TEST_F(TextFileTest, AnOpenWriterKeepsOtherOpenersOut) {
    ASSERT_NE(TextFile::Create(0, path.c_str()), 0);
    TextFile::WriteLine(0, "kept");
    ASSERT_NE(TextFile::Flush(0), 0);
    EXPECT_EQ(TextFile::Create(1, path.c_str()), 0);
    EXPECT_EQ(TextFile::OpenRead(1, path.c_str()), 0);
    // Another process cannot empty it either.
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) _exit(TextFile::Create(5, path.c_str()) == 0 ? 0 : 1);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(Scratch::Get(path), "kept\r\n");
    TextFile::Close(0);
    // Readers share with readers; a writer must wait for both.
    ASSERT_NE(TextFile::OpenRead(0, path.c_str()), 0);
    ASSERT_NE(TextFile::OpenRead(1, path.c_str()), 0);
    EXPECT_EQ(TextFile::Create(2, path.c_str()), 0);
}

}  // namespace
