#include "support/files/text_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <vector>

#include "support/files/file_platform.h"
#include "tests/unit/files_scratch.h"

namespace {

using Lines = std::vector<std::string>;

class TextFileTest : public ::testing::Test {
protected:
    void SetUp() override { TextFile::Startup(); }
    void TearDown() override { TextFile::Shutdown(); }

    static Lines ReadAll(const std::string& path, int32_t number = 0) {
        Lines lines;
        EXPECT_NE(TextFile::OpenRead(number, path.c_str()), 0) << path;
        while (!TextFile::AtEnd(number)) lines.push_back(TextFile::ReadLine(number));
        return lines;
    }

    Scratch::Folder dir;
};

TEST_F(TextFileTest, LineEndsOfEveryKind) {
    const std::string lines = std::string(WT_FIXTURES) + "/lines/";
    EXPECT_EQ(ReadAll(lines + "lone_cr_endings.txt"), (Lines{"a", "b", "c"}));
    EXPECT_EQ(ReadAll(lines + "lf_cr_two_line_ends.txt"), (Lines{"a", "", "b"}));
    EXPECT_EQ(ReadAll(lines + "nul_inside_line.txt"), (Lines{"a", "b", "c"}));
    EXPECT_EQ(ReadAll(lines + "bom_before_first_line.txt"), (Lines{"\xEF\xBB\xBFword", "next"}));
    EXPECT_EQ(ReadAll(lines + "no_final_line_end.txt"), (Lines{"a", "b"}));
    EXPECT_EQ(ReadAll(lines + "blank_line_and_padded_word.txt"), (Lines{"cat", "", " dog "}));

    Scratch::Put(dir / "lf", "a\nb\n");
    Scratch::Put(dir / "crlf", "a\r\nb\r\n");
    EXPECT_EQ(ReadAll(dir / "lf"), (Lines{"a", "b"}));
    EXPECT_EQ(ReadAll(dir / "crlf"), (Lines{"a", "b"}));

    Scratch::Put(dir / "empty", "");
    ASSERT_NE(TextFile::OpenRead(0, (dir / "empty").c_str()), 0);
    EXPECT_NE(TextFile::AtEnd(0), 0);
    EXPECT_EQ(TextFile::ReadLine(0), "");
}

TEST_F(TextFileTest, LineEndsAcrossTheReadAheadBoundary) {
    const std::string x(4095, 'x');
    // CR as the last byte of one read-ahead block, LF as the first of the next.
    Scratch::Put(dir / "split_crlf", x + "\r\nnext");
    EXPECT_EQ(ReadAll(dir / "split_crlf"), (Lines{x, "next"}));
    // A lone CR at the block's end: the byte after it is put back into the new block.
    Scratch::Put(dir / "split_cr", x + "\rnext\r");
    EXPECT_EQ(ReadAll(dir / "split_cr"), (Lines{x, "next"}));
    const std::string y(10000, 'y');
    Scratch::Put(dir / "long", y + "\r\n" + y);
    EXPECT_EQ(ReadAll(dir / "long"), (Lines{y, y}));
}

TEST_F(TextFileTest, TenMegabyteLineIsReadWholeInLinearTime) {
    std::string line(10 * 1024 * 1024, 'w');
    line[12345] = 'q';
    ASSERT_NE(TextFile::Create(0, (dir / "big").c_str()), 0);
    EXPECT_EQ(TextFile::WriteLine(0, line), static_cast<int32_t>(line.size() + 2));
    TextFile::Close(0);
    auto start = std::chrono::steady_clock::now();
    ASSERT_NE(TextFile::OpenRead(0, (dir / "big").c_str()), 0);
    std::string back = TextFile::ReadLine(0);
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_TRUE(back == line);
    EXPECT_NE(TextFile::AtEnd(0), 0);
    EXPECT_LT(seconds, 2.0);
}

TEST_F(TextFileTest, WritesStayBufferedUntilTheBufferWouldFill) {
    const std::string path = dir / "results.txt";
    ASSERT_NE(TextFile::Create(0, path.c_str()), 0);
    EXPECT_EQ(TextFile::WriteLine(0, "0.512\tW\tcat"), 13);
    EXPECT_EQ(std::filesystem::file_size(path), 0u);

    // 13 + 4082 = 4095 bytes: one free byte left, still nothing on disk.
    std::string fill(4082, 'f');
    EXPECT_EQ(TextFile::WriteBytes(0, fill.data(), static_cast<int32_t>(fill.size())), 4082);
    EXPECT_EQ(std::filesystem::file_size(path), 0u);
    // A write that would exactly fill the buffer writes the old contents first.
    EXPECT_EQ(TextFile::WriteBytes(0, "z", 1), 1);
    EXPECT_EQ(std::filesystem::file_size(path), 4095u);
    EXPECT_NE(TextFile::Flush(0), 0);
    EXPECT_EQ(std::filesystem::file_size(path), 4096u);
    // A block of the buffer's size or more goes straight through.
    std::string block(5000, 'b');
    EXPECT_EQ(TextFile::WriteBytes(0, block.data(), 5000), 5000);
    EXPECT_EQ(std::filesystem::file_size(path), 9096u);

    EXPECT_EQ(TextFile::WriteLine(0, ""), 2);
    TextFile::Close(0);
    std::string content = Scratch::Get(path);
    EXPECT_EQ(content, "0.512\tW\tcat\r\n" + fill + "z" + block + "\r\n");
}

TEST_F(TextFileTest, ReadBytesThroughTheBufferAndAroundIt) {
    std::string data;
    for (int i = 0; i < 20000; ++i) data.push_back(static_cast<char>('a' + i % 26));
    Scratch::Put(dir / "data", data);
    ASSERT_NE(TextFile::OpenRead(0, (dir / "data").c_str()), 0);
    std::vector<char> out(20000);
    EXPECT_EQ(TextFile::ReadBytes(0, out.data(), 10), 10);
    EXPECT_EQ(TextFile::ReadBytes(0, out.data() + 10, 9000), 9000);  // 4086 buffered + 4914 direct
    EXPECT_EQ(TextFile::ReadBytes(0, out.data() + 9010, 100), 100);
    EXPECT_EQ(TextFile::ReadBytes(0, out.data() + 9110, 20000 - 9110), 20000 - 9110);
    EXPECT_EQ(std::string(out.begin(), out.end()), data);
    EXPECT_EQ(TextFile::ReadBytes(0, out.data(), 1), 0);
    EXPECT_NE(TextFile::AtEnd(0), 0);
}

TEST_F(TextFileTest, CreateEmptiesAndReopeningANumberClosesItsFile) {
    const std::string a = dir / "a.txt", b = dir / "b.txt";
    Scratch::Put(a, "old contents\r\n");
    ASSERT_NE(TextFile::Create(0, a.c_str()), 0);
    EXPECT_EQ(std::filesystem::file_size(a), 0u);
    TextFile::WriteLine(0, "new");
    Scratch::Put(b, "x");
    ASSERT_NE(TextFile::OpenRead(0, b.c_str()), 0);  // writes out and closes a.txt
    EXPECT_EQ(Scratch::Get(a), "new\r\n");
    EXPECT_EQ(TextFile::OpenRead(0, (dir / "missing").c_str()), 0);
    EXPECT_EQ(TextFile::ReadLine(0), "");  // the failed open left the number free
}

TEST_F(TextFileTest, NumbersWithoutAFileDoNothing) {
    char byte = 0;
    EXPECT_EQ(TextFile::WriteLine(7, "x"), 0);
    EXPECT_EQ(TextFile::ReadLine(7), "");
    EXPECT_EQ(TextFile::AtEnd(7), 0);
    EXPECT_EQ(TextFile::Flush(7), 0);
    EXPECT_EQ(TextFile::WriteBytes(7, "x", 1), 0);
    EXPECT_EQ(TextFile::ReadBytes(7, &byte, 1), 0);
    EXPECT_EQ(TextFile::WriteLine(-9, "x"), 0);
    EXPECT_EQ(TextFile::WriteLine(100000, "x"), 0);
    TextFile::Close(7);
    TextFile::Close(-9);
}

TEST_F(TextFileTest, UnnumberedFilesAndCloseAll) {
    const std::string u = dir / "u.txt", n = dir / "n.txt";
    int32_t id = TextFile::Create(-1, u.c_str());
    ASSERT_LT(id, -1);
    ASSERT_NE(TextFile::Create(3, n.c_str()), 0);
    EXPECT_EQ(TextFile::WriteLine(id, "unnumbered"), 12);
    EXPECT_EQ(TextFile::WriteLine(3, "numbered"), 10);
    EXPECT_EQ(TextFile::Create(-1, (dir / "no/such/dir").c_str()), 0);
    TextFile::Close(-1);
    EXPECT_EQ(Scratch::Get(u), "unnumbered\r\n");
    EXPECT_EQ(Scratch::Get(n), "numbered\r\n");
    EXPECT_EQ(TextFile::WriteLine(id, "x"), 0);
    EXPECT_EQ(TextFile::WriteLine(3, "x"), 0);
}

TEST_F(TextFileTest, ShutdownWritesOutWhatIsBuffered) {
    const std::string path = dir / "results.txt";
    ASSERT_NE(TextFile::Create(0, path.c_str()), 0);
    TextFile::WriteLine(0, "1.000\tO\tblick");
    TextFile::Shutdown();
    EXPECT_EQ(Scratch::Get(path), "1.000\tO\tblick\r\n");
    TextFile::Startup();
}

TEST_F(TextFileTest, NamedPipesAndDirectoriesAreRefusedWithoutWaiting) {
    const std::string pipe = dir / "pipe.txt";
    ASSERT_EQ(mkfifo(pipe.c_str(), 0644), 0);
    EXPECT_EQ(TextFile::OpenRead(0, pipe.c_str()), 0);  // would block for a writer otherwise
    EXPECT_EQ(TextFile::Create(0, pipe.c_str()), 0);
    EXPECT_EQ(TextFile::OpenRead(0, dir.str().c_str()), 0);
    EXPECT_EQ(TextFile::Create(0, dir.str().c_str()), 0);
    if (Scratch::Exists("/dev/null")) {
        ASSERT_NE(TextFile::OpenRead(0, "/dev/null"), 0);  // devices still open, blocking
        EXPECT_NE(TextFile::AtEnd(0), 0);
    }
}

TEST_F(TextFileTest, FailedWritesAreReported) {
    if (!Scratch::Exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
    ASSERT_NE(TextFile::Create(0, "/dev/full"), 0);
    EXPECT_EQ(TextFile::WriteLine(0, "buffered"), 10);  // not yet written
    EXPECT_EQ(TextFile::Flush(0), 0);
    std::string big(4000, 'x');
    EXPECT_EQ(TextFile::WriteLine(0, big), 4002);
    // This line makes the buffer go out, and that write fails.
    EXPECT_EQ(TextFile::WriteLine(0, std::string(200, 'y')), 0);
    EXPECT_EQ(TextFile::WriteLine(0, std::string(5000, 'z')), 0);
    TextFile::Close(0);
}

TEST_F(TextFileTest, AnOpenWriterKeepsOtherOpenersOut) {
    const std::string path = dir / "results.txt";
    ASSERT_NE(TextFile::Create(0, path.c_str()), 0);
    TextFile::WriteLine(0, "kept");
    ASSERT_NE(TextFile::Flush(0), 0);

    // Neither a second Create (nor its fallback) nor a plain reader gets in,
    // and the refused Create leaves the data alone.
    EXPECT_EQ(TextFile::Create(1, path.c_str()), 0);
    EXPECT_EQ(TextFile::OpenRead(1, path.c_str()), 0);
    EXPECT_EQ(Scratch::Get(path), "kept\r\n");
    // An opener that lets others write may read it.
    FilePlatform::Handle reader = FilePlatform::Open(path.c_str(), FilePlatform::Access::Read,
                                                     FilePlatform::ShareRead | FilePlatform::ShareWrite,
                                                     FilePlatform::OpenExisting);
    EXPECT_NE(reader, 0);
    FilePlatform::Close(reader);

    // Another process started at the same moment cannot empty it either.
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
    TextFile::Close(-1);
    EXPECT_NE(TextFile::Create(2, path.c_str()), 0);
}

}  // namespace
