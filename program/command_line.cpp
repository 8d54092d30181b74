// The program's few options, one table row each.
#include "program/command_line.h"

#include <algorithm>
#include <cstring>

#include "wordtap_version.h"

namespace CommandLine {
namespace {

const char* const Usage = "Usage: wordtap [--check | --help | --version]\n";

std::string HelpText();

struct Option {
    const char* name;
    const char* alias;  // Windows' own spelling, or none
    const char* summary;
    Decision (*decide)();
};

const Option Options[] = {
    {"--check", nullptr, "check this computer's display timing; writes only a report and a plot",
     [] { return Decision{Check, {}}; }},
    {"--help", "/?", "show this text", [] { return Decision{Print, HelpText()}; }},
    {"--version", nullptr, "show the version", [] { return Decision{Print, "wordtap " WT_VERSION_TEXT "\n"}; }},
};

std::string HelpText() {
    std::string text = Usage;
    text +=
        "\n"
        "Runs a lexical-decision experiment in the current folder. It reads\n"
        "data/settings.ini, data/introduction.txt, data/finalscreen.txt and the\n"
        "word lists data/words/*.txt, creating whatever is missing on the first\n"
        "run, and writes the answers of each run to a new file\n"
        "results_YYYYMMDD-HHMMSS.txt in the current folder.\n"
        "\n";
    for (const Option& option : Options) {
        std::string name = option.name;
        name.resize(std::max<size_t>(name.size() + 2, 12), ' ');
        text += "  " + name + option.summary + "\n";
    }
    text +=
        "\n"
        "The guide: guide.txt beside wordtap.exe, or\n"
        "/usr/share/doc/wordtap/guide.txt and \"man wordtap\" on Linux.\n";
    return text;
}

}  // namespace

Decision Decide(int argc, const char* const* argv) {
    if (argc <= 1) return {Run, {}};
    if (argc > 2) return {Refuse, std::string("wordtap: one option at most\n") + Usage};
    for (const Option& option : Options)
        if (std::strcmp(argv[1], option.name) == 0 || (option.alias && std::strcmp(argv[1], option.alias) == 0))
            return option.decide();
    return {Refuse, std::string("wordtap: unknown option: ") + argv[1] + "\n" + Usage};
}

}  // namespace CommandLine
