#include "support/files/directory.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <vector>

#include "tests/unit/files_scratch.h"

namespace {

struct Listed {
    std::string name;
    int32_t kind;
    bool operator==(const Listed&) const = default;
};
std::ostream& operator<<(std::ostream& out, const Listed& l) { return out << l.name << ":" << l.kind; }

std::vector<Listed> Drain(int32_t number) {
    std::vector<Listed> out;
    while (DirectoryScan::Next(number)) out.push_back({DirectoryScan::EntryName(number), DirectoryScan::EntryKind(number)});
    return out;
}

class DirectoryTest : public ::testing::Test {
protected:
    void TearDown() override { DirectoryScan::Shutdown(); }
    Scratch::Folder dir;
};

TEST_F(DirectoryTest, PathSizeOfFilesDirectoriesAndNothing) {
    Scratch::Put(dir / "empty.txt", "");
    Scratch::Put(dir / "four.txt", "abcd");
    EXPECT_EQ(PathSize((dir / "empty.txt").c_str()), 0);
    EXPECT_EQ(PathSize((dir / "four.txt").c_str()), 4);
    EXPECT_EQ(PathSize(dir.str().c_str()), PathSizeDirectory);
    EXPECT_EQ(PathSize((dir.str() + "\\").c_str()), PathSizeDirectory);
    EXPECT_EQ(PathSize((dir.str() + "\\\\\\").c_str()), PathSizeDirectory);
    EXPECT_EQ(PathSize((dir / "missing").c_str()), PathSizeMissing);
    EXPECT_EQ(PathSize(""), PathSizeMissing);
    EXPECT_EQ(PathSize(nullptr), PathSizeMissing);
    EXPECT_EQ(PathSize("\\"), PathSizeMissing);  // the first character is never removed
}

TEST_F(DirectoryTest, PathSizeBeyondThirtyTwoBits) {
    const std::string path = dir / "huge.bin";
    int fd = ::open(path.c_str(), O_CREAT | O_WRONLY, 0644);
    ASSERT_GE(fd, 0);
    bool sparse = ::ftruncate(fd, 5000000000LL) == 0;
    ::close(fd);
    if (!sparse) GTEST_SKIP() << "the file system cannot hold a sparse 5 GB file";
    EXPECT_EQ(PathSize(path.c_str()), 5000000000LL);
}

TEST_F(DirectoryTest, PathSizeWithWildcardsTakesTheFirstEntryInListingOrder) {
    Scratch::Put(dir / "b.txt", "bb");
    Scratch::Put(dir / "A.TXT", "a");
    std::filesystem::create_directory(dir / "c.txt");
    EXPECT_EQ(PathSize((dir / "*.txt").c_str()), 1);
    EXPECT_EQ(PathSize((dir / "b?txt").c_str()), 2);
    EXPECT_EQ(PathSize((dir / "c*").c_str()), PathSizeDirectory);
    EXPECT_EQ(PathSize((dir / "*.md").c_str()), PathSizeMissing);
}

TEST_F(DirectoryTest, PathsAreCutAt260Characters) {
    std::string base = dir.str() + "/";
    ASSERT_LT(base.size(), 200u);
    std::string name(260 - base.size(), 'n');
    Scratch::Put(base + name, "xyz");
    EXPECT_EQ(PathSize((base + name + "-ignored-tail").c_str()), 3);
}

TEST_F(DirectoryTest, MakeDirectoryCreatesOnlyTheLastComponent) {
    const std::string data = dir / "data";
    EXPECT_EQ(MakeDirectory((data + "/words/").c_str()), 0);  // parent missing
    EXPECT_FALSE(Scratch::Exists(data));
    EXPECT_NE(MakeDirectory(data.c_str()), 0);
    EXPECT_NE(MakeDirectory((data + "/words/ \\/  ").c_str()), 0);
    EXPECT_EQ(PathSize((data + "/words").c_str()), PathSizeDirectory);
    EXPECT_EQ(MakeDirectory((data + "/words").c_str()), 0);  // exists already
    Scratch::Put(data + "/file", "");
    EXPECT_EQ(MakeDirectory((data + "/file").c_str()), 0);
    EXPECT_EQ(MakeDirectory(""), 0);
    EXPECT_EQ(MakeDirectory(" /\\ "), 0);
    EXPECT_EQ(MakeDirectory(nullptr), 0);
}

TEST(WildcardMatchTest, CaseInsensitiveStarsAndQuestionMarks) {
    EXPECT_TRUE(WildcardMatch("*.txt", "LIST.TXT"));
    EXPECT_TRUE(WildcardMatch("*.txt", ".txt"));
    EXPECT_FALSE(WildcardMatch("*.txt", "list.txt.bak"));
    EXPECT_FALSE(WildcardMatch("*.txt", "list.tx"));
    EXPECT_FALSE(WildcardMatch("*.txt", ".."));
    EXPECT_TRUE(WildcardMatch("?.txt", "a.txt"));
    EXPECT_FALSE(WildcardMatch("?.txt", "ab.txt"));
    EXPECT_TRUE(WildcardMatch("*", ""));
    EXPECT_TRUE(WildcardMatch("a*b*c", "aXXbYYbZZc"));
    EXPECT_FALSE(WildcardMatch("a*b*c", "aXXbYYbZZ"));
    // "*.*" matches names without a dot, and a final ".*" may match nothing.
    EXPECT_TRUE(WildcardMatch("*.*", "README"));
    EXPECT_TRUE(WildcardMatch("*.*", "."));
    EXPECT_TRUE(WildcardMatch("notes.*", "notes"));
    EXPECT_FALSE(WildcardMatch("notes.*", "notebook"));
    // Many stars against a long non-matching name must not explode.
    std::string name(5000, 'a');
    auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(WildcardMatch("*a*a*a*a*a*a*a*b", name.c_str()));
    EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 1.0);
}

TEST_F(DirectoryTest, ScanDeliversMatchesInFixedOrder) {
    for (const char* name : {"b.txt", "a.txt", "A.txt", "_x.txt", "C.TXT", "notes.md", "ab.txt"})
        Scratch::Put(dir / name, "w");
    std::filesystem::create_directory(dir / "sub.txt");
    ASSERT_NE(DirectoryScan::Begin(0, dir.str().c_str(), "*.txt"), 0);
    // Letters folded to upper case, then byte order: "_" comes after the letters.
    EXPECT_EQ(Drain(0), (std::vector<Listed>{{"A.txt", 1}, {"a.txt", 1}, {"ab.txt", 1}, {"b.txt", 1},
                                             {"C.TXT", 1}, {"sub.txt", 2}, {"_x.txt", 1}}));
    EXPECT_EQ(DirectoryScan::EntryName(0), "_x.txt");  // the last entry stays current
    EXPECT_EQ(DirectoryScan::Next(0), 0);
    DirectoryScan::End(0);
    EXPECT_EQ(DirectoryScan::EntryKind(0), DirectoryScan::NoScan);
    EXPECT_EQ(DirectoryScan::EntryName(0), "");

    // A directory ending in "/" gets no second separator.
    ASSERT_NE(DirectoryScan::Begin(0, (dir.str() + "/").c_str(), "b*"), 0);
    EXPECT_EQ(Drain(0), (std::vector<Listed>{{"b.txt", 1}}));
}

TEST_F(DirectoryTest, DotEntriesAndDefaultPattern) {
    std::filesystem::create_directory(dir / "words");
    Scratch::Put(dir / "words/README", "");
    ASSERT_NE(DirectoryScan::Begin(0, (dir / "words").c_str(), nullptr), 0);
    EXPECT_EQ(Drain(0), (std::vector<Listed>{{".", 2}, {"..", 2}, {"README", 1}}));
    ASSERT_NE(DirectoryScan::Begin(0, (dir / "words").c_str(), "*.txt"), 0);
    EXPECT_EQ(Drain(0), std::vector<Listed>{});
}

TEST_F(DirectoryTest, EmptyDirectoryMeansTheCurrentOne) {
    Scratch::Put(dir / "here.txt", "");
    auto previous = std::filesystem::current_path();
    std::filesystem::current_path(dir.str());
    int32_t begun = DirectoryScan::Begin(0, "", "*.txt");
    std::vector<Listed> listed = Drain(0);
    std::filesystem::current_path(previous);
    ASSERT_NE(begun, 0);
    EXPECT_EQ(listed, (std::vector<Listed>{{"here.txt", 1}}));
}

TEST_F(DirectoryTest, FailedAndRestartedScans) {
    Scratch::Put(dir / "one.txt", "");
    Scratch::Put(dir / "file", "");
    ASSERT_NE(DirectoryScan::Begin(0, dir.str().c_str(), "*.txt"), 0);
    // A missing directory fails and leaves the number without a scan.
    EXPECT_EQ(DirectoryScan::Begin(0, (dir / "missing").c_str(), "*.txt"), 0);
    EXPECT_EQ(DirectoryScan::Next(0), 0);
    EXPECT_EQ(DirectoryScan::EntryKind(0), DirectoryScan::NoScan);
    EXPECT_EQ(DirectoryScan::Begin(0, (dir / "file").c_str(), "*"), 0);
    EXPECT_EQ(DirectoryScan::Begin(-1, (dir / "missing").c_str(), "*"), 0);

    // Begin on a running scan starts over.
    ASSERT_NE(DirectoryScan::Begin(1, dir.str().c_str(), "*.txt"), 0);
    EXPECT_NE(DirectoryScan::Next(1), 0);
    EXPECT_EQ(DirectoryScan::Next(1), 0);
    ASSERT_NE(DirectoryScan::Begin(1, dir.str().c_str(), "*.txt"), 0);
    EXPECT_EQ(Drain(1), (std::vector<Listed>{{"one.txt", 1}}));

    int32_t id = DirectoryScan::Begin(-1, dir.str().c_str(), "one*");
    ASSERT_LT(id, -1);
    EXPECT_EQ(Drain(id), (std::vector<Listed>{{"one.txt", 1}}));
    DirectoryScan::End(id);
    EXPECT_EQ(DirectoryScan::Next(id), 0);
    EXPECT_EQ(DirectoryScan::Next(55), 0);
    DirectoryScan::End(55);
}

TEST(DirectoryScanSizeTest, HundredThousandFiles) {
    // Creating this many files is slow on disk-backed temporary folders.
    Scratch::Folder dir(Scratch::Exists("/dev/shm") ? "/dev/shm" : "");
    const int count = 100000;
    char name[32];
    for (int i = 0; i < count; ++i) {
        std::snprintf(name, sizeof name, "/w%06d.txt", (i * 7919) % count);
        int fd = ::open((dir.str() + name).c_str(), O_CREAT | O_WRONLY, 0644);
        ASSERT_GE(fd, 0);
        ::close(fd);
    }
    auto start = std::chrono::steady_clock::now();
    ASSERT_NE(DirectoryScan::Begin(0, dir.str().c_str(), "*.TXT"), 0);
    int seen = 0;
    std::string previous;
    while (DirectoryScan::Next(0)) {
        std::string current = DirectoryScan::EntryName(0);
        ASSERT_LT(previous, current);
        previous = current;
        ++seen;
    }
    DirectoryScan::Shutdown();
    EXPECT_EQ(seen, count);
    EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 3.0);
}

TEST_F(DirectoryTest, ShutdownEndsEveryScan) {
    Scratch::Put(dir / "one.txt", "");
    ASSERT_NE(DirectoryScan::Begin(0, dir.str().c_str(), "*.txt"), 0);
    DirectoryScan::Shutdown();
    EXPECT_EQ(DirectoryScan::Next(0), 0);
    ASSERT_NE(DirectoryScan::Begin(0, dir.str().c_str(), "*.txt"), 0);
    EXPECT_NE(DirectoryScan::Next(0), 0);
}

}  // namespace
