// The node table keeps every known file's path right: directories renamed with what is below
// them, files with several names, names replaced by a rename, exchanged names.
#include <gtest/gtest.h>

#include "../../fltmgr/fltmgr_core.h"
#include "node_table.h"

namespace linux_fuse {
namespace {

class NodeTableTest : public ::testing::Test {
  protected:
    NodeTableTest() {
        flt::core::VolumeSpec spec;
        spec.deviceName = u"/srv/data";
        volume_ = flt::core::AddVolume(spec);
        volume_->reclaim = true;
        table_ = std::make_unique<NodeTable>(volume_, "/srv/data");
    }
    ~NodeTableTest() override {
        table_.reset();
        flt::core::MarkDismounted(volume_);
    }

    std::string Path(std::uint64_t node) {
        std::string path;
        return table_->FullPath(node, &path) ? path : "(unknown)";
    }

    flt::Volume* volume_;
    std::unique_ptr<NodeTable> table_;
};

TEST_F(NodeTableTest, RenamingADirectoryMovesWhatIsBelowIt) {
    const std::uint64_t dir = table_->Remember(kRootNode, "dir", 1, 10);
    const std::uint64_t sub = table_->Remember(dir, "sub", 1, 11);
    const std::uint64_t file = table_->Remember(sub, "f.txt", 1, 12);
    EXPECT_EQ(Path(file), "/srv/data/dir/sub/f.txt");
    std::string relative;
    ASSERT_TRUE(table_->RelativePath(file, &relative));
    EXPECT_EQ(relative, "dir/sub/f.txt");
    ASSERT_TRUE(table_->RelativePath(kRootNode, &relative));
    EXPECT_EQ(relative, ".");

    table_->Renamed(kRootNode, "dir", kRootNode, "moved", false);
    EXPECT_EQ(Path(file), "/srv/data/moved/sub/f.txt");
    EXPECT_EQ(table_->Find(kRootNode, "moved"), dir);
    EXPECT_EQ(table_->Find(kRootNode, "dir"), 0u);
    EXPECT_EQ(table_->StreamOf(file), table_->StreamOf(file)) << "one stream per node";
    EXPECT_NE(table_->StreamOf(file), table_->StreamOf(dir));
}

TEST_F(NodeTableTest, AFileWithSeveralNamesKeepsAPathThatExists) {
    const std::uint64_t file = table_->Remember(kRootNode, "a", 1, 20);
    // A new hard link leaves the path as it was; a look-up under a name makes it the path.
    EXPECT_EQ(table_->Remember(kRootNode, "b", 1, 20, false), file);
    EXPECT_EQ(Path(file), "/srv/data/a");
    EXPECT_EQ(table_->Remember(kRootNode, "b", 1, 20), file);
    EXPECT_EQ(Path(file), "/srv/data/b");
    // Its current name removed: another one it still has.
    table_->Unlinked(kRootNode, "b");
    EXPECT_EQ(Path(file), "/srv/data/a");
    EXPECT_EQ(table_->Find(kRootNode, "b"), 0u);
    // Its last name removed: the file (still open, say) keeps the place it had.
    table_->Unlinked(kRootNode, "a");
    EXPECT_EQ(Path(file), "/srv/data/a");
    EXPECT_EQ(table_->Find(kRootNode, "a"), 0u);
}

TEST_F(NodeTableTest, RenamesOverOtherNamesAndExchanges) {
    const std::uint64_t x = table_->Remember(kRootNode, "x", 1, 30);
    const std::uint64_t y = table_->Remember(kRootNode, "y", 1, 31);
    table_->Renamed(kRootNode, "x", kRootNode, "y", true);
    EXPECT_EQ(Path(x), "/srv/data/y");
    EXPECT_EQ(Path(y), "/srv/data/x");
    table_->Renamed(kRootNode, "y", kRootNode, "x", false);  // x replaces y
    EXPECT_EQ(Path(x), "/srv/data/x");
    EXPECT_EQ(table_->Find(kRootNode, "x"), x);
    EXPECT_EQ(table_->Find(kRootNode, "y"), 0u);
    // A new file at a name another node had takes it over.
    const std::uint64_t z = table_->Remember(kRootNode, "x", 1, 32);
    EXPECT_NE(z, x);
    EXPECT_EQ(table_->Find(kRootNode, "x"), z);
}

TEST_F(NodeTableTest, NodesGoWhenTheKernelForgetsThem) {
    const std::uint64_t file = table_->Remember(kRootNode, "f", 1, 40);
    EXPECT_EQ(table_->Remember(kRootNode, "f", 1, 40), file);  // looked up twice
    const std::size_t known = table_->Size();
    table_->Forget(file, 1);
    EXPECT_EQ(table_->Size(), known);
    table_->Forget(file, 1);
    EXPECT_EQ(table_->Size(), known - 1);
    EXPECT_EQ(table_->StreamOf(file), nullptr);
    EXPECT_EQ(table_->Remember(99, "orphan", 1, 41), 0u) << "an unknown parent";
    table_->Forget(kRootNode, 1);
    EXPECT_EQ(Path(kRootNode), "/srv/data") << "the root stays";
}

}  // namespace
}  // namespace linux_fuse
