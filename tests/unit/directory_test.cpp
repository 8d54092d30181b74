#include "support/files/directory.h"

#include <gtest/gtest.h>

#include <vector>

#include "tests/support/scratch.h"

namespace {

using Listing = std::vector<std::pair<std::string, int32_t>>;  // name, kind

Listing Drain(int32_t number) {
    Listing out;
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
    Scratch::Put(dir / "b.txt", "bb");
    Scratch::Put(dir / "A.TXT", "a");
    std::filesystem::create_directory(dir / "c.txt");
    const std::string cut = dir.str() + "/" + std::string(260 - dir.str().size() - 1, 'n');
    Scratch::Put(cut, "xyz");
    const std::pair<std::string, int64_t> cases[] = {
        {dir / "empty.txt", 0}, {dir / "b.txt", 2}, {dir.str(), PathSizeDirectory},
        {dir.str() + "\\", PathSizeDirectory}, {dir.str() + "\\\\\\", PathSizeDirectory},
        {dir / "missing", PathSizeMissing}, {"", PathSizeMissing},
        {"\\", PathSizeMissing},  // the first character is never removed
        {dir / "*.txt", 1},  // wildcards: the first entry in listing order
        {dir / "b?txt", 2}, {dir / "c*", PathSizeDirectory}, {dir / "*.md", PathSizeMissing},
        {cut + "-ignored-tail", 3},  // paths are cut at 260 characters
    };
    for (const auto& [path, size] : cases) EXPECT_EQ(PathSize(path.c_str()), size) << path;
    EXPECT_EQ(PathSize(nullptr), PathSizeMissing);

    std::error_code noSparseFiles;
    std::filesystem::resize_file(dir / "empty.txt", 5000000000LL, noSparseFiles);
    EXPECT_EQ(PathSize((dir / "empty.txt").c_str()), noSparseFiles ? 0 : 5000000000LL);
}

TEST_F(DirectoryTest, MakeDirectoryCreatesOnlyTheLastComponent) {
    const std::string data = dir / "data";
    EXPECT_EQ(MakeDirectory((data + "/words/").c_str()), 0);  // parent missing
    EXPECT_FALSE(std::filesystem::exists(data));
    EXPECT_NE(MakeDirectory(data.c_str()), 0);
    EXPECT_NE(MakeDirectory((data + "/words/ \\/  ").c_str()), 0);
    EXPECT_EQ(PathSize((data + "/words").c_str()), PathSizeDirectory);
    Scratch::Put(data + "/file", "");
    for (const std::string& refused : {data + "/words", data + "/file", std::string(""), std::string(" /\\ ")})
        EXPECT_EQ(MakeDirectory(refused.c_str()), 0) << refused;
    EXPECT_EQ(MakeDirectory(nullptr), 0);
}

TEST(WildcardMatchTest, CaseInsensitiveStarsAndQuestionMarks) {
    // "*.*" matches names without a dot, and a final ".*" may match nothing.
    const std::tuple<const char*, const char*, bool> cases[] = {{"*.txt", "list.txt.bak", false}, {"a*b*c", "aXbYbZc", true},
        {"a*b*c", "aXbYbZ", false}, {"*.*", "README", true}, {"notes.*", "notes", true}, {"notes.*", "notebook", false}};
    for (const auto& [pattern, name, matches] : cases) EXPECT_EQ(WildcardMatch(pattern, name), matches) << pattern << " " << name;
    // Many stars against a long non-matching name must not explode (it would not finish).
    EXPECT_FALSE(WildcardMatch("*a*a*a*a*a*a*a*b", std::string(5000, 'a').c_str()));
}

TEST_F(DirectoryTest, ScanDeliversMatchesInFixedOrder) {
    for (const char* name : {"b.txt", "a.txt", "A.txt", "_x.txt", "C.TXT", "notes.md", "ab.txt"}) Scratch::Put(dir / name, "w");
    std::filesystem::create_directory(dir / "sub.txt");
    ASSERT_NE(DirectoryScan::Begin(0, dir.str().c_str(), "*.txt"), 0);
    // Letters folded to upper case, then byte order: "_" comes after the letters.
    EXPECT_EQ(Drain(0), (Listing{{"A.txt", 1}, {"a.txt", 1}, {"ab.txt", 1}, {"b.txt", 1}, {"C.TXT", 1}, {"sub.txt", 2}, {"_x.txt", 1}}));
    EXPECT_EQ(DirectoryScan::Next(0), 0);
    // No pattern means "*.*": the dot entries come as directories.
    ASSERT_NE(DirectoryScan::Begin(0, (dir / "sub.txt").c_str(), nullptr), 0);
    EXPECT_EQ(Drain(0), (Listing{{".", 2}, {"..", 2}}));
    ASSERT_NE(DirectoryScan::Begin(0, (dir / "sub.txt").c_str(), "*.txt"), 0);
    EXPECT_EQ(DirectoryScan::Next(0), 0);
    // A missing directory or a file fails and leaves the number without a scan.
    EXPECT_EQ(DirectoryScan::Begin(0, (dir / "missing").c_str(), "*.txt"), 0);
    EXPECT_EQ(DirectoryScan::Next(0), 0);
    EXPECT_EQ(DirectoryScan::Begin(0, (dir / "b.txt").c_str(), "*"), 0);
}

}  // namespace
