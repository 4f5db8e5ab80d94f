// veskd against the real host: the driver image installed under a private VESK_ROOT, a temporary
// directory offered as a filtered volume and mounted over, and veskd run in a pseudo-terminal
// while another process (sh) works in that directory. What veskd prints is what the real FUSE
// requests of that process became. Root only: the host mounts FUSE file systems.
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace vesk::console {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// The machine has two cores and other builds run beside the tests: waits are long, but each ends
// as soon as what it waits for has arrived.
constexpr auto kDeadline = 30s;

constexpr const char* kReady = "  Press any key to exit...\r\n";
constexpr const char* kLoaded = "Starting engine...\r\nEngine started successfully.\r\n";
constexpr const char* kUnloaded = "Stopping engine...\r\nEngine stopped successfully.\r\n";

bool MountedAt(const std::string& directory) {
    std::ifstream mountinfo("/proc/self/mountinfo");
    std::string line;
    while (std::getline(mountinfo, line)) {
        std::istringstream fields(line);
        std::string id, parent, device, root, point;
        fields >> id >> parent >> device >> root >> point;
        if (point == directory && line.find(" - fuse.vesk ") != std::string::npos) {
            return true;
        }
    }
    return false;
}

// One run of veskd with a pseudo-terminal as its controlling terminal, input and output. Output
// post-processing is off, so the bytes read are the bytes veskd wrote.
class VeskdInTerminal {
  public:
    explicit VeskdInTerminal(const std::vector<std::string>& arguments) {
        std::vector<std::string> keep = arguments;
        keep.insert(keep.begin(), VESKD);
        std::vector<char*> argv;
        for (std::string& a : keep) {
            argv.push_back(a.data());
        }
        argv.push_back(nullptr);
        pid_ = forkpty(&terminal_, nullptr, nullptr, nullptr);
        if (pid_ == 0) {
            termios mode;
            tcgetattr(STDIN_FILENO, &mode);
            mode.c_oflag &= ~static_cast<tcflag_t>(OPOST);
            tcsetattr(STDIN_FILENO, TCSANOW, &mode);
            execve(VESKD, argv.data(), environ);
            _exit(127);
        }
    }
    ~VeskdInTerminal() {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        if (terminal_ >= 0) {
            close(terminal_);
        }
    }
    VeskdInTerminal(const VeskdInTerminal&) = delete;
    VeskdInTerminal& operator=(const VeskdInTerminal&) = delete;

    bool Started() const { return pid_ > 0 && terminal_ >= 0; }

    // Reads until the output so far satisfies done (true), or the deadline passes or the output
    // ends (false).
    bool ReadUntil(const std::function<bool(const std::string&)>& done) {
        const auto until = std::chrono::steady_clock::now() + kDeadline;
        while (!done(output_)) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                until - std::chrono::steady_clock::now());
            pollfd fd{terminal_, POLLIN, 0};
            if (left.count() <= 0 || poll(&fd, 1, static_cast<int>(left.count())) <= 0) {
                return false;
            }
            char buffer[8192];
            const ssize_t got = read(terminal_, buffer, sizeof buffer);
            if (got <= 0) {
                return false;  // EIO: the last holder of the terminal's other end has gone
            }
            output_.append(buffer, static_cast<std::size_t>(got));
        }
        return true;
    }
    bool ReadUntil(const std::string& text) {
        return ReadUntil([&](const std::string& out) { return out.find(text) != std::string::npos; });
    }
    // Everything until the program has closed the terminal.
    void ReadToEnd() { ReadUntil([](const std::string&) { return false; }); }

    bool Send(const char* keys) {
        const auto length = static_cast<ssize_t>(std::strlen(keys));
        return write(terminal_, keys, static_cast<std::size_t>(length)) == length;
    }

    // veskd's exit code, or -1 when it did not end normally before the deadline.
    int ExitCode() {
        const auto until = std::chrono::steady_clock::now() + kDeadline;
        int status = 0;
        while (std::chrono::steady_clock::now() < until) {
            if (waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            }
            std::this_thread::sleep_for(10ms);
        }
        return -1;
    }

    const std::string& Output() const { return output_; }

  private:
    pid_t pid_ = -1;
    int terminal_ = -1;
    std::string output_;
};

// One printed notification: its lines without the empty line that ends it.
struct Block {
    std::vector<std::string> lines;

    const std::string& Title() const { return lines.at(1); }
    // "  File object: 000010AA" -> "000010AA"
    std::string FileObject() const { return lines.at(0).substr(std::strlen("  File object: ")); }
    std::string Volume() const { return lines.at(2).substr(4); }
    std::string Name() const { return lines.at(4).substr(4); }
    bool IsFile() const { return lines.size() >= 5 && lines[0].rfind("  File object: ", 0) == 0; }
    std::string Text() const {
        std::string text;
        for (const std::string& line : lines) {
            text += line + "\r\n";
        }
        return text + "\r\n";
    }
};

// The blocks printed after the monitor said it was ready, each ended by its empty line.
std::vector<Block> BlocksOf(const std::string& output) {
    std::vector<Block> blocks;
    std::size_t at = output.find(kReady);
    if (at == std::string::npos) {
        return blocks;
    }
    at += std::strlen(kReady);
    Block current;
    while (true) {
        const std::size_t end = output.find("\r\n", at);
        if (end == std::string::npos) {
            break;
        }
        std::string line = output.substr(at, end - at);
        at = end + 2;
        if (line.empty()) {
            if (!current.lines.empty()) {
                blocks.push_back(current);
            }
            current = Block{};
        } else if (line.rfind("  ", 0) == 0) {
            current.lines.push_back(line);
        } else {
            break;  // "Performing cleanup..." and the rest of the ending
        }
    }
    return blocks;
}

std::vector<Block> BlocksNamed(const std::string& output, const std::string& name) {
    std::vector<Block> named;
    for (const Block& b : BlocksOf(output)) {
        if (b.IsFile() && b.Name() == name) {
            named.push_back(b);
        }
    }
    return named;
}

// Blocks grouped by file object, in the order each object first appears.
std::vector<std::vector<Block>> ByFileObject(const std::vector<Block>& blocks) {
    std::vector<std::vector<Block>> objects;
    for (const Block& b : blocks) {
        auto it = std::find_if(objects.begin(), objects.end(), [&](const auto& o) {
            return o.front().FileObject() == b.FileObject();
        });
        if (it == objects.end()) {
            objects.push_back({b});
        } else {
            it->push_back(b);
        }
    }
    return objects;
}

// The output without its file blocks: the lines of the program itself.
std::string WithoutFileBlocks(std::string output) {
    for (std::size_t at; (at = output.find("  File object: ")) != std::string::npos;) {
        const std::size_t end = output.find("\r\n\r\n", at);
        output.erase(at, end == std::string::npos ? std::string::npos : end + 4 - at);
    }
    return output;
}

// The whole text a file block has, built from its file object and volume as printed.
std::string FileBlock(const std::string& fileObject, const std::string& volume,
                      const std::string& title, const std::string& name,
                      const std::string& details) {
    return "  File object: " + fileObject + "\r\n  " + title + ":\r\n    " + volume +
           "\r\n    Status: 00000000\r\n    " + name + "\r\n" + details + "\r\n";
}

// Runs a shell script as its own process; the test reads veskd's output while it runs.
pid_t StartShell(const std::string& script) {
    const pid_t pid = fork();
    if (pid == 0) {
        execl("/bin/sh", "sh", "-c", script.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    return pid;
}

int ShellExitCode(pid_t pid) {
    int status = 0;
    if (waitpid(pid, &status, 0) != pid) {
        return -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

class VeskdEndToEnd : public ::testing::Test {
  protected:
    void SetUp() override {
        if (geteuid() != 0 || access("/dev/fuse", R_OK | W_OK) != 0) {
            GTEST_SKIP() << "needs root and /dev/fuse";
        }
        char pattern[] = "/tmp/vesk-e2e-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        root_ = pattern;
        data_ = root_ + "/data";
        fs::create_directories(data_);
        setenv("VESK_ROOT", (root_ + "/vesk").c_str(), 1);
        setenv("VESK_HOST", VESK_HOST_PROGRAM, 1);
        ASSERT_EQ(std::system((std::string(VESK_HOST_PROGRAM) + " volumes add " + data_ +
                               " >/dev/null")
                                  .c_str()),
                  0);
        const std::string install = Run({"install", fs::path(VESK_DRIVER_IMAGE).parent_path().string()});
        ASSERT_TRUE(install.ends_with("Success.\r\n")) << install;
        ASSERT_EQ(Run({"load"}), kLoaded);
        ASSERT_TRUE(MountedAt(data_));
    }

    void TearDown() override {
        if (root_.empty()) {
            return;
        }
        EXPECT_EQ(Run({"unload"}), kUnloaded);
        EXPECT_FALSE(MountedAt(data_)) << "a mount stayed behind";
        unsetenv("VESK_ROOT");
        unsetenv("VESK_HOST");
        fs::remove_all(root_);
    }

    // A command that ends by itself: all it printed (its exit code must be 0).
    static std::string Run(const std::vector<std::string>& arguments) {
        VeskdInTerminal veskd(arguments);
        EXPECT_TRUE(veskd.Started());
        veskd.ReadToEnd();
        EXPECT_EQ(veskd.ExitCode(), 0);
        return veskd.Output();
    }

    std::string In(const std::string& file) const { return data_ + "/" + file; }

    std::string root_;
    std::string data_;
};

TEST_F(VeskdEndToEnd, LoadAndUnloadReportSuccessAgainstTheRealHost) {
    EXPECT_EQ(Run({"load"}), kLoaded) << "loading a loaded driver succeeds";
    EXPECT_TRUE(MountedAt(data_));
    EXPECT_EQ(Run({"unload"}), kUnloaded);
    EXPECT_FALSE(MountedAt(data_));
    EXPECT_EQ(Run({"unload"}), kUnloaded) << "unloading what is not loaded succeeds";
    EXPECT_EQ(Run({"load"}), kLoaded);
    EXPECT_TRUE(MountedAt(data_));
}

// The file is new, so sh's "> file" reaches the volume as a FUSE create (opened for writing,
// created), and cat's open as a FUSE open. A later file marks the end: everything sh did before
// has been printed by the time its create is, so a read that was not printed was left out.
TEST_F(VeskdEndToEnd, CreatesAndClosesOfAnotherProcessAreShownButNotItsReads) {
    VeskdInTerminal veskd({"mon", "c"});
    ASSERT_TRUE(veskd.ReadUntil(kReady)) << veskd.Output();
    const std::string file = In("fresh.txt");
    const std::string marker = In("marker");
    const pid_t sh = StartShell("printf 'hello' > " + file + " && cat " + file +
                                " >/dev/null && : > " + marker);
    // Releases reach the volume after the closes that caused them, in no fixed order with what
    // follows: wait for every close of both files.
    ASSERT_TRUE(veskd.ReadUntil([&](const std::string& out) {
        return BlocksNamed(out, marker).size() >= 3 && BlocksNamed(out, file).size() >= 6;
    })) << veskd.Output();
    EXPECT_EQ(ShellExitCode(sh), 0);
    ASSERT_TRUE(veskd.Send("q"));
    ASSERT_TRUE(veskd.ReadUntil("Done.\r\n")) << veskd.Output();
    EXPECT_EQ(veskd.ExitCode(), 0);

    // sh's create and its two closes, and cat's open and its two closes, each on its own file
    // object. The kernel sends a release without waiting for it, so sh's closes may come after
    // cat's open: the order is kept within each file object only.
    const std::vector<std::vector<Block>> objects =
        ByFileObject(BlocksNamed(veskd.Output(), file));
    ASSERT_EQ(objects.size(), 2u) << veskd.Output();
    const std::string volume = objects[0].at(0).Volume();
    EXPECT_TRUE(std::regex_match(volume, std::regex("[0-9A-F]{8}"))) << volume;
    const std::string createDetails[] = {
        "    Account = root, SID size = 16\r\n"
        "    Type = Normal, result = Created\r\n"
        "    Share access = 7, desired access = 120116\r\n"
        "    Disposition = Overwrite if, options = 82, attributes = 1\r\n",
        "    Account = root, SID size = 16\r\n"
        "    Type = Normal, result = Opened\r\n"
        "    Share access = 7, desired access = 120089\r\n"
        "    Disposition = Open, options = 82, attributes = 0\r\n",
    };
    for (std::size_t i = 0; i < objects.size(); ++i) {
        SCOPED_TRACE(i == 0 ? "sh's create" : "cat's open");
        const std::vector<Block>& blocks = objects[i];
        ASSERT_EQ(blocks.size(), 3u) << veskd.Output();
        const std::string object = blocks[0].FileObject();
        EXPECT_EQ(blocks[0].Text(), FileBlock(object, volume, "Create", file, createDetails[i]));
        EXPECT_EQ(blocks[1].Text(),
                  FileBlock(object, volume, "Close", file, "    Type: Handles closed\r\n"));
        EXPECT_EQ(blocks[2].Text(),
                  FileBlock(object, volume, "Close", file, "    Type: Object destroyed\r\n"));
    }
    // The write of sh and the reads of cat happened in the same files, and none was printed.
    for (const Block& b : BlocksOf(veskd.Output())) {
        EXPECT_TRUE(b.Title() == "  Create:" || b.Title() == "  Close:") << b.Text();
    }
}

TEST_F(VeskdEndToEnd, ReadsAndWritesOfTextFilesOnly) {
    VeskdInTerminal veskd({"mon", "rw", "*.txt"});
    ASSERT_TRUE(veskd.ReadUntil(kReady)) << veskd.Output();
    // A name with spaces and letters outside ASCII comes back exactly as the file system has it.
    const std::string text = In("r\u00e9sum\u00e9 \u2013 notes.txt");
    const std::string log = In("build.log");
    const std::string last = In("last.txt");
    // 19 bytes: the data line shows the first 16 and then "...".
    const pid_t sh = StartShell("printf 'a log line' > " + log +
                                " && printf '0123456789abcdefXYZ' > '" + text + "' && cat '" +
                                text + "' " + log + " >/dev/null && printf 'end' > " + last);
    ASSERT_TRUE(veskd.ReadUntil(
        [&](const std::string& out) { return !BlocksNamed(out, last).empty(); }))
        << veskd.Output();
    EXPECT_EQ(ShellExitCode(sh), 0);
    ASSERT_TRUE(veskd.Send("q"));
    ASSERT_TRUE(veskd.ReadUntil("Done.\r\n")) << veskd.Output();
    EXPECT_EQ(veskd.ExitCode(), 0);

    const std::vector<Block> blocks = BlocksNamed(veskd.Output(), text);
    ASSERT_EQ(blocks.size(), 3u) << veskd.Output();
    const std::string volume = blocks[0].Volume();
    EXPECT_EQ(blocks[0].Text(),
              FileBlock(blocks[0].FileObject(), volume, "Write", text,
                        "    Type = Normal, flags = 8\r\n"
                        "    Offset = 0, size = 19, key = 00000000\r\n"
                        "    Data = 30 31 32 33 34 35 36 37 38 39 61 62 63 64 65 66 ...\r\n"));
    EXPECT_EQ(blocks[1].Text(),
              FileBlock(blocks[1].FileObject(), volume, "Read", text,
                        "    Type = Normal, flags = 8\r\n"
                        "    Offset = 0, size = 19, key = 00000000\r\n"
                        "    Data = 30 31 32 33 34 35 36 37 38 39 61 62 63 64 65 66 ...\r\n"));
    EXPECT_EQ(blocks[2].Text(), FileBlock(blocks[1].FileObject(), volume, "Read", text,
                                          "    Type = Normal, flags = 0\r\n"
                                          "    Offset = 19, size = 0, key = 00000000\r\n"))
        << "the read at the end of the file transferred nothing";
    // Nothing of the log file, and nothing but reads and writes.
    for (const Block& b : BlocksOf(veskd.Output())) {
        ASSERT_TRUE(b.IsFile()) << b.Text();
        EXPECT_TRUE(b.Name() == text || b.Name() == last) << b.Text();
        EXPECT_TRUE(b.Title() == "  Read:" || b.Title() == "  Write:") << b.Text();
    }
}

// The counters of one screen of the statistics mode.
struct Counters {
    unsigned long long read = 0, written = 0, readOps = 0, writeOps = 0, createOps = 0;
    bool lastWrittenKnown = false;
};

// The screens drawn so far: the first after the header, every later one after the cursor went
// back up over the previous one. Only complete screens count.
std::vector<Counters> ScreensOf(const std::string& output) {
    static const std::regex screen(
        "    Data read:\t\t(\\d+) bytes\r\n"
        "    Data written:\t(\\d+) bytes\r\n"
        "    Read ops:\t\t(\\d+) succeeded, \\d+ failed\r\n"
        "    Write ops:\t\t(\\d+) succeeded, \\d+ failed\r\n"
        "    Create ops:\t\t(\\d+) succeeded, \\d+ failed\r\n"
        "    Started:\t\t[^\r]*\r\n"
        "    Last read:\t\t[^\r]*\r\n"
        "    Last written:\t([^\r]*)\r\n"
        "\r\n");
    std::vector<Counters> screens;
    for (auto it = std::sregex_iterator(output.begin(), output.end(), screen);
         it != std::sregex_iterator(); ++it) {
        const std::smatch& m = *it;
        screens.push_back({std::stoull(m[1]), std::stoull(m[2]), std::stoull(m[3]),
                           std::stoull(m[4]), std::stoull(m[5]), m[6] != "Waiting..."});
    }
    return screens;
}

TEST_F(VeskdEndToEnd, TheStatisticsScreenShowsTheCountersMoving) {
    VeskdInTerminal veskd({"stat"});
    ASSERT_TRUE(veskd.ReadUntil([](const std::string& out) { return !ScreensOf(out).empty(); }))
        << veskd.Output();
    EXPECT_NE(veskd.Output().find("  Time format is h:m:s d.m.y.\r\n  Press any key to exit...\r\n\r\n"),
              std::string::npos)
        << veskd.Output();
    const Counters first = ScreensOf(veskd.Output()).front();

    const std::string file = In("counted.txt");
    const pid_t sh = StartShell("printf '0123456789' > " + file + " && cat " + file + " >/dev/null");
    EXPECT_EQ(ShellExitCode(sh), 0);
    const auto moved = [&](const std::string& out) {
        const Counters now = ScreensOf(out).back();
        return now.written >= first.written + 10 && now.read >= first.read + 10 &&
               now.writeOps > first.writeOps && now.readOps > first.readOps &&
               now.createOps >= first.createOps + 2 && now.lastWrittenKnown;
    };
    ASSERT_TRUE(veskd.ReadUntil(moved)) << veskd.Output();
    EXPECT_NE(veskd.Output().find("\x1b[9A    Data read:"), std::string::npos)
        << "later screens are drawn over the first";
    ASSERT_TRUE(veskd.Send(" "));
    ASSERT_TRUE(veskd.ReadUntil("Performing cleanup...\r\nDone.\r\n")) << veskd.Output();
    EXPECT_EQ(veskd.ExitCode(), 0);
}

// A rule saved in the database comes back at the next load and makes the table an allow-list
// again: creates and closes of .log files in the directory, nothing else (no writes, no other
// names, no process records). A rule only in memory is gone after the unload.
TEST_F(VeskdEndToEnd, ASavedRuleIsInForceAfterUnloadAndLoad) {
    const std::string saved = Run({"rule", "add", "c", data_ + "/*.log", "/s"});
    EXPECT_EQ(saved, "New rule:\r\n  Name pattern:\r\n    " + data_ +
                         "/*.log\r\n  Specified filter options:\r\n    create\r\nSuccess.\r\n");
    const std::string inMemory = Run({"rule", "add", "w", data_ + "/*.txt"});
    EXPECT_TRUE(inMemory.ends_with("Success.\r\n")) << inMemory;
    ASSERT_EQ(Run({"unload"}), kUnloaded);
    ASSERT_FALSE(MountedAt(data_));
    ASSERT_EQ(Run({"load"}), kLoaded);
    ASSERT_TRUE(MountedAt(data_));

    VeskdInTerminal veskd({"mon"});
    ASSERT_TRUE(veskd.ReadUntil(kReady)) << veskd.Output();
    const std::string kept = In("kept.log");
    const std::string dropped = In("dropped.txt");
    const std::string last = In("last.log");
    const pid_t sh = StartShell("printf x > " + kept + " && printf y > " + dropped +
                                " && cat " + kept + " >/dev/null && printf z > " + last);
    // cat's release may reach the volume after sh went on: wait for every close.
    ASSERT_TRUE(veskd.ReadUntil([&](const std::string& out) {
        return BlocksNamed(out, last).size() >= 3 && BlocksNamed(out, kept).size() >= 6;
    })) << veskd.Output();
    EXPECT_EQ(ShellExitCode(sh), 0);
    ASSERT_TRUE(veskd.Send("q"));
    ASSERT_TRUE(veskd.ReadUntil("Done.\r\n")) << veskd.Output();
    EXPECT_EQ(veskd.ExitCode(), 0);

    const std::vector<std::vector<Block>> keptObjects =
        ByFileObject(BlocksNamed(veskd.Output(), kept));
    ASSERT_EQ(keptObjects.size(), 2u) << "sh's create and cat's open\n" << veskd.Output();
    for (const std::vector<Block>& blocks : keptObjects) {
        ASSERT_EQ(blocks.size(), 3u) << veskd.Output();
        EXPECT_EQ(blocks[0].Title(), "  Create:");
        EXPECT_EQ(blocks[2].Text(), FileBlock(blocks[0].FileObject(), blocks[0].Volume(), "Close",
                                              kept, "    Type: Object destroyed\r\n"));
    }
    for (const Block& b : BlocksOf(veskd.Output())) {
        ASSERT_TRUE(b.IsFile()) << "no process records\n" << b.Text();
        EXPECT_TRUE(b.Name() == kept || b.Name() == last) << b.Text();
        EXPECT_TRUE(b.Title() == "  Create:" || b.Title() == "  Close:") << b.Text();
    }
}

// Each way of ending the monitor leaves the driver loaded and its volume mounted: the next
// monitor connects and sees the next file.
TEST_F(VeskdEndToEnd, CtrlCAndAKeyEndTheMonitorButNotTheDriver) {
    const struct {
        const char* name;
        const char* keys;
        const char* ending;
    } cases[] = {
        {"ctrl-c", "\x03", "Closing console...\r\nPerforming cleanup tasks...\r\nDone.\r\n"},
        {"key", "k", "Performing cleanup...\r\nDone.\r\n"},
        {"after both", nullptr, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string file = In(std::string(c.name) + ".txt");
        VeskdInTerminal veskd({"mon", "c", data_ + "/*"});
        ASSERT_TRUE(veskd.ReadUntil(kReady)) << veskd.Output();
        const pid_t sh = StartShell(": > '" + file + "'");
        ASSERT_TRUE(veskd.ReadUntil(
            [&](const std::string& out) { return !BlocksNamed(out, file).empty(); }))
            << veskd.Output();
        EXPECT_EQ(ShellExitCode(sh), 0);
        if (c.keys == nullptr) {
            break;
        }
        ASSERT_TRUE(veskd.Send(c.keys));
        ASSERT_TRUE(veskd.ReadUntil("Done.\r\n")) << veskd.Output();
        EXPECT_EQ(veskd.ExitCode(), 0);
        // A record already on its way may still be printed while the engine stops.
        const std::string& out = veskd.Output();
        EXPECT_EQ(WithoutFileBlocks(out.substr(out.find(kReady))), kReady + std::string(c.ending))
            << out;
        EXPECT_TRUE(MountedAt(data_));
    }
}

}  // namespace
}  // namespace vesk::console
