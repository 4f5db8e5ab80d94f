#include "volume_config.h"

#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>

#include "volumes_command.h"

namespace host_config {
namespace {

TEST(VolumeConfig, NewVolumesAreCheckedAgainstTheConfiguredAndReservedOnes) {
    const std::vector<std::string> configured = {"/srv/data", "/home/ann"};
    const std::vector<std::string> reserved = {"/var/lib/vesk", "/run/vesk"};
    struct Case {
        const char* directory;
        VolumeError expected;
        const char* conflict;
    } cases[] = {
        {"/srv/other", VolumeError::None, ""},
        {"/srv/data2", VolumeError::None, "a shared prefix is not a parent"},
        {"/srv/data", VolumeError::AlreadyConfigured, "/srv/data"},
        {"/srv/data/sub", VolumeError::Overlaps, "/srv/data"},
        {"/home", VolumeError::Overlaps, "/home/ann"},
        {"/", VolumeError::Root, ""},
        {"/var/lib/vesk", VolumeError::Reserved, "/var/lib/vesk"},
        {"/var/lib", VolumeError::Reserved, "/var/lib/vesk"},
        {"/run/vesk/x", VolumeError::Reserved, "/run/vesk"},
    };
    for (const Case& c : cases) {
        std::string conflict;
        EXPECT_EQ(CheckNewVolume(c.directory, configured, reserved, &conflict), c.expected)
            << c.directory;
        if (c.expected != VolumeError::None) {
            EXPECT_EQ(conflict, c.conflict) << c.directory;
        }
    }
}

TEST(VolumeConfig, TheListKeepsItsOrderThroughTheRegistryAndMalformedDataIsRefused) {
    const std::vector<std::string> list = {"/srv/data", "/home/ann/caf\xc3\xa9"};
    std::vector<std::string> back;
    ASSERT_TRUE(DecodeVolumes(EncodeVolumes(list), &back));
    EXPECT_EQ(back, list);
    ASSERT_TRUE(DecodeVolumes(EncodeVolumes({}), &back));
    EXPECT_TRUE(back.empty());
    EXPECT_FALSE(DecodeVolumes({'/', 0, 'a', 0}, &back)) << "no terminator";
    EXPECT_FALSE(DecodeVolumes({'/', 0, 0}, &back)) << "odd length";
}

class VolumeCommandTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (geteuid() != 0) {
            GTEST_SKIP() << "the registry is root's";
        }
        char pattern[] = "/tmp/vesk-volumes-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        root_ = pattern;
        setenv("VESK_ROOT", (root_ + "/vesk").c_str(), 1);
        std::filesystem::create_directories(root_ + "/data/sub");
        std::filesystem::create_directories(root_ + "/other");
        std::filesystem::create_directories(root_ + "/vesk/state");
    }
    void TearDown() override {
        unsetenv("VESK_ROOT");
        if (!root_.empty()) {
            std::filesystem::remove_all(root_);
        }
    }
    int Run(std::vector<const char*> args) {
        args.insert(args.begin(), "volumes");
        out_.str("");
        err_.str("");
        return RunVolumesCommand(static_cast<int>(args.size()), args.data(), out_, err_);
    }

    std::string root_;
    std::ostringstream out_, err_;
};

TEST_F(VolumeCommandTest, AddListAndRemoveWithClearRefusals) {
    EXPECT_EQ(Run({}), 0);
    EXPECT_EQ(out_.str(), "no volumes configured\n");
    const std::string data = root_ + "/data";
    const std::string spelled = root_ + "/other/../data/";  // the same directory
    EXPECT_EQ(Run({"add", spelled.c_str()}), 0) << err_.str();
    EXPECT_EQ(Run({"add", data.c_str()}), 1);
    EXPECT_NE(err_.str().find("already a volume"), std::string::npos) << err_.str();
    const std::string sub = data + "/sub";
    EXPECT_EQ(Run({"add", sub.c_str()}), 1);
    EXPECT_NE(err_.str().find("overlaps the volume " + data), std::string::npos) << err_.str();
    const std::string missing = root_ + "/missing";
    EXPECT_EQ(Run({"add", missing.c_str()}), 1);
    EXPECT_NE(err_.str().find("not an existing directory"), std::string::npos);
    const std::string state = root_ + "/vesk/state";
    EXPECT_EQ(Run({"add", state.c_str()}), 1);
    EXPECT_NE(err_.str().find("keeps its own state"), std::string::npos) << err_.str();
    EXPECT_EQ(Run({"add", "/"}), 1);
    const std::string other = root_ + "/other";
    EXPECT_EQ(Run({"add", other.c_str()}), 0);

    EXPECT_EQ(Run({}), 0);
    EXPECT_EQ(out_.str(), data + "\n" + other + "\n");

    EXPECT_EQ(Run({"remove", spelled.c_str()}), 0) << err_.str();
    EXPECT_EQ(Run({"remove", data.c_str()}), 1);
    EXPECT_NE(err_.str().find("is not a volume"), std::string::npos);
    // A configured directory that has gone can still be removed by its name.
    std::filesystem::remove_all(other);
    EXPECT_EQ(Run({"remove", (other + "/").c_str()}), 0) << err_.str();
    std::vector<std::string> volumes;
    ASSERT_TRUE(ListVolumes(&volumes));
    EXPECT_TRUE(volumes.empty());

    EXPECT_EQ(Run({"frobnicate"}), 2);
    EXPECT_NE(err_.str().find("usage:"), std::string::npos);
}

TEST_F(VolumeCommandTest, OnlyRootMayChangeTheVolumes) {
    const std::string data = root_ + "/data";
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (setresuid(65534, 65534, 65534) != 0) {
            _exit(10);
        }
        std::ostringstream out, err;
        const char* args[] = {"volumes", "add", data.c_str()};
        _exit(RunVolumesCommand(3, args, out, err));
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_EQ(WEXITSTATUS(status), 4);
}

}  // namespace
}  // namespace host_config
