// The run's stimuli: every non-empty line of every "*.txt" file in data/words.
#include <string>

#include "app/experiment.h"
#include "support/files/directory.h"
#include "support/files/text_file.h"
#include "support/process/process.h"
#include "support/text/string_list.h"
#include "support/text/utf8.h"

namespace {
constexpr int32_t FileNumber = 0;
constexpr int32_t ScanNumber = 0;
const char* const WordsDirectory = "data/words";
const char* const ExamplePath = "data/words/example.txt";
const char* const ExampleWordLines[] = {"your", "words", "go", "here"};
constexpr int32_t FirstExampleAssertLine = 178;

// Only together with a newly made directory: an existing one, even an empty
// one, is the experimenter's and stays as it is.
void CreateExampleList() {
    if (MakeDirectory(WordsDirectory) == 0) AssertOrDie(176, AssertionSuffix);
    if (TextFile::Create(FileNumber, ExamplePath) == 0) AssertOrDie(177, AssertionSuffix);
    int32_t assertLine = FirstExampleAssertLine;
    for (const char* word : ExampleWordLines) {
        if (TextFile::WriteLine(FileNumber, word) == 0) AssertOrDie(assertLine, AssertionSuffix);
        ++assertLine;
    }
    // Buffered until the close: its failure is the last line's.
    if (TextFile::Close(FileNumber) == 0) AssertOrDie(assertLine - 1, AssertionSuffix);
}

// Words are kept byte for byte, blanks included; the file's encoding, known
// once its last line is in, goes to each of its words for the display.
// The file stays open; the next open of the number closes it.
void ReadListFile(StringList* list, const std::string& path) {
    if (TextFile::OpenRead(FileNumber, path.c_str()) == 0) return;
    Utf8::FileCheck check{TextFile::Unicode(FileNumber), 0, 0};
    int32_t added = 0;
    while (TextFile::AtEnd(FileNumber) == 0) {
        // Lists of millions of words, or a slow disk, must not hold off a
        // termination signal; one flag read per line costs nothing.
        Process::EndIfStopRequested();
        std::string line = TextFile::ReadLine(FileNumber);
        if (line.empty()) continue;
        Utf8::CheckLine(&check, line.data(), static_cast<int32_t>(line.size()));
        std::string* slot = StringList::Add(list);
        if (slot == nullptr) break;
        *slot = std::move(line);
        ++added;
    }
    // The file's words are the last ones added, each behind the one before.
    const int32_t encoding = Utf8::FileEncoding(check);
    for (StringListElement* word = list->current; word != nullptr && added > 0; word = word->previous, --added)
        word->encoding = encoding;
}
}  // namespace

void LoadWordList(StringList* list) {
    if (PathSize(WordsDirectory) != PathSizeDirectory) CreateExampleList();
    if (list == nullptr) return;

    if (DirectoryScan::Begin(ScanNumber, WordsDirectory, "*.txt") != 0) {
        const std::string prefix = std::string(WordsDirectory) + "/";
        while (DirectoryScan::Next(ScanNumber)) {
            Process::EndIfStopRequested();
            // A directory whose name matches the pattern is not a list.
            if (DirectoryScan::EntryKind(ScanNumber) != DirectoryScan::File) continue;
            ReadListFile(list, prefix + DirectoryScan::EntryName(ScanNumber));
        }
        DirectoryScan::End(ScanNumber);
    }

    if (Settings::RandomizeOrder != 0) StringList::Shuffle(list);
    StringList::Reset(list);
}
