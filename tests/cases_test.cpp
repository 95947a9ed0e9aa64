// Runs every line of tests/data/cases.txt: the real program in a fresh
// folder, its answers fed on standard input, its output, status and the
// files it leaves compared byte for byte.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <sys/wait.h>

namespace fs = std::filesystem;

namespace {

struct Case {
    std::string name, before, answers, output, status, after, check;
};
void PrintTo(const Case& c, std::ostream* out) { *out << c.name; }

std::string slurp(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// $ZELK_COMMAND (for example "wine zelk.exe"), else the native build.
const std::string zelk = std::getenv("ZELK_COMMAND") ? std::getenv("ZELK_COMMAND") : ZELK_EXE;
const bool windows_build = zelk.size() > 4 && zelk.compare(zelk.size() - 4, 4, ".exe") == 0;

// Expands {word} (the program's text in tests/expected/word.txt), {FILEn.SPL}
// (its progress line), {linux|windows} (the text for this build), {c*N}
// (N times c), \n \t \r \v \f and \xNN.
std::string expand(std::string text)
{
    std::smatch word;
    while (std::regex_search(text, word, std::regex(R"(\{([a-z]+)\})")))
        text.replace(word.position(), word.length(), slurp(DATA_DIR "/../expected/" + word.str(1) + ".txt"));
    text = std::regex_replace(text, std::regex(R"(\{(FILE\d+\.SPL)\})"), "Splitting and writing into file $1\\n");
    // {this|that}: this on Linux, that on Windows, where the system's own words differ.
    text = std::regex_replace(text, std::regex(R"(\{([^{}|]*)\|([^{}|]*)\})"), windows_build ? "$2" : "$1");
    std::smatch many;
    while (std::regex_search(text, many, std::regex(R"(\{(.)\*(\d+)\})")))
        text.replace(many.position(), many.length(), std::stoul(many[2]), many.str(1)[0]);
    std::string plain;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 == text.size())
            plain += text[i];
        else if (text[++i] == 'x')
            plain += static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16)), i += 2;
        else if (const auto k = std::string("ntrvf").find(text[i]); k != std::string::npos)
            plain += "\n\t\r\v\f"[k];
        else
            plain += text[i];
    }
    return plain;
}

std::vector<Case> load()
{
    std::vector<Case> cases;
    std::ifstream table(DATA_DIR "/cases.txt");
    std::vector<std::string> lines;
    for (std::string line; std::getline(table, line);) {
        const auto text = line.find_first_not_of(' ');
        // An indented line that starts with a field's bar goes on the case above.
        if (text != std::string::npos && text > 0 && line.compare(text, 2, "| ") == 0 && !lines.empty())
            lines.back() += " " + line.substr(text);
        else if (!line.empty() && line[0] != '#')
            lines.push_back(line);
    }
    for (std::string line : lines) {
        std::vector<std::string> field;
        for (std::size_t at; (at = line.find(" | ")) != std::string::npos; line.erase(0, at + 3))
            field.push_back(line.substr(0, at));
        field.push_back(line);
        field.resize(7);
        cases.push_back({field[0], field[1], field[2], field[3], field[4], field[5], field[6]});
    }
    return cases;
}

// Every entry of a folder, sorted: "name:size", "name/" for a folder, a
// manifest by its name alone, "name@" for a link, "name|" for a pipe,
// "name=" for a socket.
std::string listing(const fs::path& folder)
{
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) {
        const std::string name = entry.path().filename().string();
        names.insert(name + (entry.is_symlink() ? "@" : entry.is_directory() ? "/" : entry.is_fifo() ? "|" : entry.is_socket() ? "="
                             : name == "FILES.XXH128"  ? ""
                                                       : ":" + std::to_string(fs::file_size(entry))));
    }
    std::string all;
    for (const auto& name : names)
        all += (all.empty() ? "" : " ") + name;
    return all;
}

// Runs `step` (a line of shell from the table), then `rest`, in `folder`.
int shell(const std::string& step, const std::string& rest, const fs::path& folder)
{
    setenv("ZELK_STEP", step.c_str(), 1);
    // A program that hangs must not outlive the test; the bound is for a
    // hang alone, far past what the slowest machine takes.
    setenv("ZELK_SCRIPT", ("cd '" + folder.string() + "' && hang=300 && zelk() { timeout $hang $ZELK_COMMAND; }\n"
                           "mk() { perl -e 'print chr(($_ * 167 + int($_ / 256)) & 255) for 1 .. $ARGV[0]' $2 > \"$1\"; }\n"
                           "poke() { printf %s \"$3\" | dd of=\"$1\" bs=1 seek=\"$2\" conv=notrunc status=none; }\n"
                           "blocks() { stat -c %b \"$@\" | awk '{ s += $1 } END { print s }'; }\n"
                           // LeakSanitizer cannot work under ptrace.
                           "traced() { ASAN_OPTIONS=${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0 timeout $hang strace -f -qq "
                           "\"$@\" $ZELK_COMMAND; }\n"
                           "without_seek_hole() { LD_PRELOAD='" NO_SEEK_HOLE "' "
                           "ASAN_OPTIONS=${ASAN_OPTIONS:+$ASAN_OPTIONS:}verify_asan_link_order=0 timeout $hang $ZELK_COMMAND; }\n"
                           "eval \"$ZELK_STEP\"" + rest).c_str(), 1);
    const int status = std::system("bash -c \"$ZELK_SCRIPT\"");
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

class Table : public testing::TestWithParam<Case> {};

TEST_P(Table, Runs)
{
    Case run = GetParam();
    // Expanded here, not as the table is read: every test process reads it all.
    for (std::string* field : {&run.before, &run.answers, &run.output, &run.status, &run.after, &run.check})
        *field = expand(*field == "." ? "" : *field);
    if (run.name.rfind(windows_build ? "posix_" : "windows_", 0) == 0)
        GTEST_SKIP() << "for the other build";
    std::string root_pattern = (fs::temp_directory_path() / "zelk-XXXXXX").string();
    const fs::path root = mkdtemp(root_pattern.data()), work = root / "work";
    fs::create_directory(work);
    // $ZELK_OTHER_FS: a folder on another file system than the case's own,
    // where the system's copy will not go.
    std::string other_pattern = fs::is_directory("/dev/shm") ? "/dev/shm/zelk-XXXXXX" : root_pattern;
    const fs::path other = mkdtemp(other_pattern.data());
    setenv("ZELK_OTHER_FS", other.c_str(), 1);
    std::ofstream(root / "in", std::ios::binary) << run.answers;
    setenv("ZELK_COMMAND", zelk.c_str(), 1);
    setenv("LC_ALL", "C.UTF-8", 1);  // wine maps file names through the locale
    const int status = shell(run.before, " || exit 99; zelk < ../in > ../out 2> ../err", work);
    std::string out = slurp(root / "out");
    if (windows_build)
        out = std::regex_replace(out, std::regex("\r\n"), "\n");
    EXPECT_EQ(out, run.output);
    EXPECT_EQ(slurp(root / "err"), "");
    EXPECT_EQ(std::to_string(status), run.status);
    EXPECT_EQ(listing(work), run.after);
    EXPECT_EQ(shell(run.check, "", work), 0) << run.check;
    fs::remove_all(root);
    fs::remove_all(other);
}

INSTANTIATE_TEST_SUITE_P(Cases, Table, testing::ValuesIn(load()),
                         [](const testing::TestParamInfo<Case>& c) { return c.param.name; });

}  // namespace
