#include "PortRegistration.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace quorvel::sim {
namespace {

namespace fs = std::filesystem;

class PortRegistrationTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "kelmar-sim-test-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        root_ = pattern;
    }
    void TearDown() override { fs::remove_all(root_); }

    std::string Folder() const { return (root_ / "quorvel" / "ports").string(); }
    static std::string Target(const std::string& path) { return fs::read_symlink(path).string(); }

    fs::path root_;
};

TEST_F(PortRegistrationTest, CreatesAPrivateFolderAndTheLink) {
    PortRegistration registration;
    ASSERT_TRUE(registration.Register(Folder(), "KELMAR1", "/dev/pts/77")) << registration.Error();
    EXPECT_EQ(registration.LinkPath(), Folder() + "/KELMAR1");
    EXPECT_EQ(Target(registration.LinkPath()), "/dev/pts/77");
    struct stat info {};
    ASSERT_EQ(::stat(Folder().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
}

TEST_F(PortRegistrationTest, RemoveDeletesTheLinkItMade) {
    PortRegistration registration;
    ASSERT_TRUE(registration.Register(Folder(), "KELMAR1", "/dev/pts/77"));
    registration.Remove();
    EXPECT_FALSE(fs::is_symlink(Folder() + "/KELMAR1"));
    EXPECT_TRUE(fs::is_directory(Folder()));
}

TEST_F(PortRegistrationTest, ReplacesAStaleLinkAndLeavesANewerOwnersLinkAlone) {
    PortRegistration older;
    ASSERT_TRUE(older.Register(Folder(), "KELMAR1", "/dev/pts/1"));
    {
        PortRegistration newer;
        ASSERT_TRUE(newer.Register(Folder(), "KELMAR1", "/dev/pts/2"));
        older.Remove(); // must not take the newer simulator's port away
        EXPECT_EQ(Target(Folder() + "/KELMAR1"), "/dev/pts/2");
    } // the newer one's destructor removes its own link
    EXPECT_FALSE(fs::is_symlink(Folder() + "/KELMAR1"));
}

TEST_F(PortRegistrationTest, RefusesNamesThatAreNotOneFileName) {
    for (const std::string name : {"", ".", "..", "a/b", "/abs"}) {
        PortRegistration registration;
        EXPECT_FALSE(registration.Register(Folder(), name, "/dev/pts/1")) << name;
    }
}

TEST_F(PortRegistrationTest, RefusesAFolderOthersCouldRedirect) {
    fs::create_directories(root_ / "elsewhere");
    fs::create_directories(root_ / "quorvel");
    ::chmod((root_ / "quorvel").c_str(), 0700);
    fs::create_directory_symlink(root_ / "elsewhere", root_ / "quorvel" / "ports");
    PortRegistration viaSymlink;
    EXPECT_FALSE(viaSymlink.Register(Folder(), "KELMAR1", "/dev/pts/1"));

    fs::remove(root_ / "quorvel" / "ports");
    fs::create_directory(root_ / "quorvel" / "ports");
    ::chmod(Folder().c_str(), 0777);
    PortRegistration worldWritable;
    EXPECT_FALSE(worldWritable.Register(Folder(), "KELMAR1", "/dev/pts/1"));
    EXPECT_FALSE(fs::is_symlink(Folder() + "/KELMAR1"));
}

} // namespace
} // namespace quorvel::sim
