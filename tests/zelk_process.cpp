#include "zelk_process.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

std::string slurp(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void spill(const fs::path& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out.flush())
        throw std::runtime_error("cannot write " + path.string());
}

std::string fold_crlf(const std::string& bytes)
{
    std::string folded;
    for (std::size_t i = 0; i < bytes.size(); ++i)
        if (!(bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n'))
            folded += bytes[i];
    return folded;
}

// Runs in the child between fork and exec: only plain system calls.
[[noreturn]] void become_zelk(const fs::path& work, const fs::path& in, const fs::path& out,
                              const fs::path& err, const Launch& launch, char* const* argv)
{
    if (chdir(work.c_str()) != 0)
        _exit(126);
    const int in_fd = open(in.c_str(), O_RDONLY);
    const int out_fd = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int err_fd = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (in_fd < 0 || out_fd < 0 || err_fd < 0 || dup2(in_fd, 0) < 0 || dup2(out_fd, 1) < 0
        || dup2(err_fd, 2) < 0)
        _exit(126);
    if (launch.file_size_limit >= 0) {
        // The limit stands in for a full disk: writes past it fail with EFBIG
        // instead of killing the process.
        signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{static_cast<rlim_t>(launch.file_size_limit),
                           static_cast<rlim_t>(launch.file_size_limit)};
        if (setrlimit(RLIMIT_FSIZE, &limit) != 0)
            _exit(126);
    }
    for (const auto& [name, value] : launch.environment) {
        if (value)
            setenv(name.c_str(), value->c_str(), 1);
        else
            unsetenv(name.c_str());
    }
    execvp(argv[0], argv);
    _exit(127);
}

// The child may run with another PATH, so the program is looked up here.
std::string find_program(const std::string& name)
{
    if (name.find('/') != std::string::npos)
        return name;
    std::istringstream path(std::getenv("PATH") ? std::getenv("PATH") : "");
    for (std::string dir; std::getline(path, dir, ':');)
        if (!dir.empty() && access((fs::path(dir) / name).c_str(), X_OK) == 0)
            return (fs::path(dir) / name).string();
    return name;
}

}  // namespace

Scratch::Scratch()
{
    std::string pattern = (fs::temp_directory_path() / "zelk-test-XXXXXX").string();
    if (!mkdtemp(pattern.data()))
        throw std::runtime_error("cannot make a temporary folder");
    root_ = pattern;
    work_ = root_ / "work";
    fs::create_directory(work_);
}

Scratch::~Scratch()
{
    std::error_code ignored;
    fs::permissions(work_, fs::perms::owner_all, fs::perm_options::add, ignored);
    fs::remove_all(root_, ignored);
}

void Scratch::write(const std::string& name, const std::string& bytes) const { spill(work_ / name, bytes); }

std::string Scratch::read(const std::string& name) const { return slurp(work_ / name); }

bool Scratch::exists(const std::string& name) const { return fs::exists(fs::symlink_status(work_ / name)); }

std::vector<std::string> Scratch::names() const
{
    std::vector<std::string> found;
    for (const auto& entry : fs::directory_iterator(work_))
        found.push_back(entry.path().filename().string());
    std::sort(found.begin(), found.end());
    return found;
}

Outcome Scratch::run(const std::string& input) const
{
    Launch launch;
    launch.input = input;
    return run(launch);
}

Outcome Scratch::run(const Launch& launch) const
{
    const fs::path in = launch.input ? root_ / "stdin" : fs::path("/dev/null");
    const fs::path out = root_ / "stdout";
    const fs::path err = root_ / "stderr";
    if (launch.input)
        spill(in, *launch.input);

    std::vector<std::string> words = launch.command.empty() ? zelk_command() : launch.command;
    words.front() = find_program(words.front());
    std::vector<char*> argv;
    for (auto& word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);

    const pid_t child = fork();
    if (child < 0)
        throw std::runtime_error("cannot fork");
    if (child == 0)
        become_zelk(work_, in, out, err, launch, argv.data());
    int wait_status = 0;
    if (waitpid(child, &wait_status, 0) != child)
        throw std::runtime_error("cannot wait for the program");

    Outcome outcome;
    outcome.out = slurp(out);
    outcome.err = slurp(err);
    // The Windows console writes text mode: newlines come out as CR LF.
    if (testing_windows_build())
        outcome.out = fold_crlf(outcome.out);
    outcome.status = WIFEXITED(wait_status) ? WEXITSTATUS(wait_status) : 128 + WTERMSIG(wait_status);
    return outcome;
}

std::vector<std::string> zelk_command()
{
    const char* command = std::getenv("ZELK_COMMAND");
    if (!command || !*command)
        return {ZELK_EXE};
    std::istringstream words(command);
    return {std::istream_iterator<std::string>(words), std::istream_iterator<std::string>()};
}

bool testing_windows_build()
{
    const auto command = zelk_command();
    return command.back().size() > 4 && command.back().substr(command.back().size() - 4) == ".exe";
}

std::string every_byte_value(std::size_t length)
{
    std::string bytes(length, '\0');
    for (std::size_t i = 0; i < length; ++i)
        bytes[i] = static_cast<char>((i * 167 + i / 256) & 0xFF);
    return bytes;
}

namespace text {

const std::string banner =
    "\t************************************************\n"
    "\t*                Z E L K   Ver Beta            *\n"
    "\t*              Split and Join Utility          *\n"
    "\t*            by the zelk developers            *\n"
    "\t************************************************\n\n\n\n";
const std::string question = "Do you want to split or join or need help(1 or 2 or 3)) ?";
const std::string farewell = "\n\nThanks for using zelk....\n";
const std::string split_name_prompt = "Enter the file name to split : ";
const std::string split_size_prompt = "Enter the size of each splitted files in multiples of 1KB : ";
const std::string join_prompt = "File name to write (Warning : This file will be overwritten) : ";
const std::string help_page =
    "\t-------------------------------------------------------\n"
    "\tZELK can split a big files into small files of size    \n"
    "\tmultiples of 1K. These files are created in the current \n"
    "\tdirectory.\n\n"
    "\tTo Split the files select option 1 and enter the filename\n"
    "\tAnd the size of the small files in Kilobytes             \n"
    "\n"
    "\tTo join the splitted files go to the directory in which \n"
    "\tthe splitted files are present and run ZELK and select \n"
    "\toption 2 and give the filename to write into.\n"
    "\n\n"
    "\tNote : While splitting the files ZELK forms the filenames\n"
    "\tstarting from FILE1.SPL If these files exists it simply \n"
    "\toverwrites them without any warning.\n"
    "\n\n"
    "\tIf you have any questions or comments contact\n"
    "\t                             -zelk@example.org\n"
    "\t-------------------------------------------------------\n";

std::string progress(const std::string& piece) { return "Splitting and writing into file " + piece + "\n"; }

}  // namespace text
