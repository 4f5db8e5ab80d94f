// install, uninstall, load and unload against the registry under a private VESK_ROOT and the
// stand-in host program, which writes down every load it is asked for.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "command_line.h"
#include "vesk/vesklib.h"

namespace vesk::console {
namespace {

class DriverCommands : public ::testing::Test {
  protected:
    void SetUp() override {
        if (geteuid() != 0) {
            GTEST_SKIP() << "the service registry and the host need root";
        }
        char pattern[] = "/tmp/vesk-console-install-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        root_ = pattern;
        setenv("VESK_ROOT", root_.c_str(), 1);
        setenv("VESK_HOST", VESK_TEST_HOST, 1);
        setenv("VESK_HOST_START_TIMEOUT_MS", "3000", 1);
        engineDirectory_ = root_ + "/engine files";
        std::filesystem::create_directories(engineDirectory_ + "/sub");
        std::ofstream(engineDirectory_ + "/vesk.sys") << "image";
        previousDirectory_ = std::filesystem::current_path();
    }
    void TearDown() override {
        if (root_.empty()) {
            return;
        }
        std::filesystem::current_path(previousDirectory_);
        VeskUnload();
        unsetenv("VESK_ROOT");
        unsetenv("VESK_HOST");
        unsetenv("VESK_HOST_START_TIMEOUT_MS");
        std::filesystem::remove_all(root_);
    }

    static std::string Veskd(const std::vector<std::string>& arguments) {
        StringOutput out;
        RunCommandLine(arguments, ConsoleIo{out, -1, -1, false});
        return out.Text();
    }
    std::string HostCalls() {
        std::ifstream file(root_ + "/run/test-host.calls");
        return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    }
    static std::string Installed(const std::string& typed, const std::string& canonical) {
        return "Installing...\r\n  Searching for files...\r\n  Directory path is:\r\n    " + typed +
               "\r\n  Canonicalized path is:\r\n    " + canonical +
               "\r\n  Filter driver found:\r\n    vesk.sys\r\n  Installing modules...\r\n"
               "Success.\r\n";
    }

    std::string root_;
    std::string engineDirectory_;
    std::filesystem::path previousDirectory_;
};

TEST_F(DriverCommands, InstallDotUsesTheCurrentDirectoryAndLoadFindsTheDriverThere) {
    std::filesystem::current_path(engineDirectory_);
    EXPECT_EQ(Veskd({"install", "."}), Installed(".", engineDirectory_));

    EXPECT_EQ(Veskd({"load"}), "Starting engine...\r\nEngine started successfully.\r\n");
    EXPECT_EQ(HostCalls(), "load TallowmereVesk|" + engineDirectory_ +
                               "/vesk.sys|\\REGISTRY\\MACHINE\\System\\CurrentControlSet\\Services"
                               "\\TallowmereVesk\n");
    EXPECT_EQ(Veskd({"load"}), "Starting engine...\r\nEngine started successfully.\r\n")
        << "already loaded";
    EXPECT_EQ(Veskd({"unload"}), "Stopping engine...\r\nEngine stopped successfully.\r\n");
    EXPECT_EQ(Veskd({"unload"}), "Stopping engine...\r\nEngine stopped successfully.\r\n")
        << "not loaded";
    EXPECT_EQ(Veskd({"uninstall"}), "Uninstalling...\r\n  Uninstalling modules...\r\nSuccess.\r\n");
    EXPECT_EQ(Veskd({"uninstall"}), "Uninstalling...\r\n  Uninstalling modules...\r\nSuccess.\r\n")
        << "nothing left to remove";
}

TEST_F(DriverCommands, PathsAreMadeAbsoluteAndCanonical) {
    std::filesystem::current_path(engineDirectory_ + "/sub");
    EXPECT_EQ(Veskd({"install", ".."}), Installed("..", engineDirectory_));
    EXPECT_EQ(Veskd({"install", "./../sub/./.."}), Installed("./../sub/./..", engineDirectory_));
    EXPECT_EQ(Veskd({"install", engineDirectory_ + "//sub/../"}),
              Installed(engineDirectory_ + "//sub/../", engineDirectory_));
}

TEST_F(DriverCommands, AMissingDriverFileStopsTheInstallation) {
    const std::string missing = engineDirectory_ + "/sub";
    EXPECT_EQ(Veskd({"install", missing + "/."}),
              "Installing...\r\n  Searching for files...\r\n  Directory path is:\r\n    " +
                  missing + "/.\r\n  Canonicalized path is:\r\n    " + missing +
                  "\r\n  ERROR: engine .sys file couldn't be found:\r\n         " + missing +
                  "/vesk.sys\r\n");
    const std::string tooLong = "/" + std::string(5000, 'a');
    EXPECT_EQ(Veskd({"install", tooLong}),
              "Installing...\r\n  Searching for files...\r\n  Directory path is:\r\n    " +
                  tooLong + "\r\n  ERROR: couldn't canonicalize directory path.\r\n");
}

TEST_F(DriverCommands, LoadWithoutAServiceReportsTheCodeAndItsHresult) {
    EXPECT_EQ(Veskd({"load"}),
              "Starting engine...\r\nERROR: filtering engine couldn't be loaded.\r\n"
              "       Win32 error code = 1060, HRESULT = 0x80070424\r\n");
}

TEST_F(DriverCommands, AFailedInstallationReportsTheCode) {
    // A state directory that cannot be created: the service registry cannot be opened.
    std::ofstream(root_ + "/blocked") << "a file, not a directory";
    setenv("VESK_ROOT", (root_ + "/blocked").c_str(), 1);
    const std::string output = Veskd({"install", engineDirectory_});
    const std::string head = Installed(engineDirectory_, engineDirectory_);
    const std::string before = head.substr(0, head.find("Success."));
    ASSERT_EQ(output.substr(0, before.size()), before);
    const std::string failure = output.substr(before.size());
    EXPECT_EQ(failure.substr(0, failure.find('=') + 2),
              "  ERROR: modules couldn't be installed into the system.\r\n"
              "         Win32 error code = ")
        << failure;
    unsigned code = 0;
    unsigned hex = 0;
    ASSERT_EQ(std::sscanf(failure.c_str() + failure.find('=') + 2, "%u (0x%X).\r\n", &code, &hex),
              2);
    EXPECT_NE(code, 0u);
    EXPECT_EQ(code, hex);
}

}  // namespace
}  // namespace vesk::console
