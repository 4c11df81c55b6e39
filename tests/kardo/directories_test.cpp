// TestAndCreateDirectory against real directories in a fresh temporary
// folder, with the message boxes recorded and answered by the test.
#include <kardo/directories.h>
#include <kardo/message_box.h>

#include <dlfcn.h>
#include <errno.h>
#include <gtest/gtest.h>
#include <limits.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

const std::string kInvalid = "Ein Verzeichnisname darf keines der folgenden Zeichen enthalten :\n\t\t\\/:*?\"<>|";
std::string Question(const std::string& path) {
    return "Das Verzeichnis " + path + " existiert nicht. Soll es angelegt werden ?";
}
std::string CannotCreate(const std::string& path) { return "Verzeichnis " + path + " kann nicht angelegt werden"; }

class Directories : public ::testing::Test {
protected:
    struct Box {
        std::string text, caption;
        unsigned flags;
    };
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "kardo-dirs-XXXXXX").string();
        ASSERT_NE(nullptr, mkdtemp(pattern.data()));
        root_ = pattern;
        kardo_set_message_box_handler(
            [](void* self, const char* text, const char* caption, unsigned flags) {
                static_cast<Directories*>(self)->boxes_.push_back(Box{text, caption, flags});
                return static_cast<Directories*>(self)->answer_;
            },
            this);
    }
    void TearDown() override {
        kardo_set_message_box_handler(nullptr, nullptr);
        fs::permissions(At("locked"), fs::perms::owner_all, ec_);
        fs::remove_all(root_, ec_);
    }
    std::string At(const std::string& relative) const { return root_ + "/" + relative; }
    // Runs the call; the texts of the boxes it showed.
    std::vector<std::string> Texts(const std::string& path, int ask, int expected) {
        boxes_.clear();
        EXPECT_EQ(expected, TestAndCreateDirectory(path.c_str(), ask)) << path;
        std::vector<std::string> texts;
        for (const Box& box : boxes_) texts.push_back(box.text);
        return texts;
    }

    std::string root_;
    std::vector<Box> boxes_;
    int answer_ = KARDO_IDYES;
    std::error_code ec_;
};

TEST_F(Directories, InvalidNamesAreRefusedWithTheCharacterMessage) {
    std::vector<std::string> names = {At("a//b"), At("a//"), "///" + root_, "C:\\Daten", "C:\\Daten\\\\Neu"};
    for (char c : std::string("?*:<>|\"\\")) names.push_back(At(std::string("a") + c + "b"));
    for (const std::string& name : names) {
        EXPECT_EQ(std::vector<std::string>{kInvalid}, Texts(name, 1, 0));
        EXPECT_EQ(program_invocation_short_name, boxes_.at(0).caption);
        EXPECT_EQ(KARDO_MB_OK | KARDO_MB_ICONERROR, boxes_.at(0).flags);
    }
    EXPECT_TRUE(fs::is_empty(root_));
    EXPECT_TRUE(Texts("", 1, 0).empty());
    EXPECT_EQ(0, TestAndCreateDirectory(nullptr, 1));
}

TEST_F(Directories, ExistingDirectoryGivesOneWithoutAnyBox) {
    ASSERT_TRUE(fs::create_directory(At("sub")));
    // A leading "//" is allowed; "." and ".." resolve.
    for (const std::string& path : {At("sub"), At("sub/"), "/" + At("sub"), At("sub/./../sub"), std::string("/")})
        for (int ask : {0, 1}) EXPECT_TRUE(Texts(path, ask, 1).empty());
}

TEST_F(Directories, MissingDirectoryIsCreatedOnlyWhenTheUserSaysYes) {
    const std::string deep = At("one/two/three");
    EXPECT_TRUE(Texts(deep, 0, 0).empty());
    answer_ = KARDO_IDNO;
    EXPECT_EQ(std::vector<std::string>{Question(deep)}, Texts(deep, 1, 0));
    EXPECT_EQ(KARDO_MB_YESNO, boxes_.at(0).flags);
    EXPECT_TRUE(fs::is_empty(root_));
    answer_ = KARDO_IDYES;
    EXPECT_EQ(std::vector<std::string>{Question(deep)}, Texts(deep, 1, 1));
    EXPECT_TRUE(fs::is_directory(deep));
}

TEST_F(Directories, RelativePathsAndDotDotResolveInTheText) {
    const fs::path before = fs::current_path();
    ASSERT_TRUE(fs::create_directory(At("real")));
    ASSERT_EQ(0, symlink(At("real").c_str(), At("link").c_str()));
    fs::current_path(root_);
    // "link/../made" is "made" beside the link, not beside its target.
    EXPECT_EQ(1, TestAndCreateDirectory("link/../made/x", 1));
    EXPECT_EQ(1, TestAndCreateDirectory("./rel/../rel2", 1));
    fs::current_path(before);
    EXPECT_TRUE(fs::is_directory(At("made/x")));
    EXPECT_TRUE(fs::is_directory(At("rel2")));
    EXPECT_FALSE(fs::exists(At("rel")));
    EXPECT_EQ(1, TestAndCreateDirectory(("/../.." + At("top")).c_str(), 1));  // stays at the root
    EXPECT_TRUE(fs::is_directory(At("top")));
}

TEST_F(Directories, PartThatCannotBeCreatedIsNamedAndGivesZero) {
    std::ofstream(At("file")) << "x";
    // An existing file: no question. A file where a parent should be.
    EXPECT_EQ(std::vector<std::string>{CannotCreate(At("file"))}, Texts(At("file"), 1, 0));
    EXPECT_EQ(KARDO_MB_OK, boxes_.at(0).flags);
    EXPECT_EQ((std::vector<std::string>{Question(At("file/a/b")), CannotCreate(At("file/a"))}),
              Texts(At("file/a/b"), 1, 0));
    if (geteuid() == 0) GTEST_SKIP() << "root writes into read-only folders";
    ASSERT_TRUE(fs::create_directory(At("locked")));
    fs::permissions(At("locked"), fs::perms::owner_read | fs::perms::owner_exec);
    EXPECT_EQ((std::vector<std::string>{Question(At("locked/a/b")), CannotCreate(At("locked/a"))}),
              Texts(At("locked/a/b"), 1, 0));
}

TEST_F(Directories, OverlongPathsAreInvalidNames) {
    // Too long as written, and fitting as written but too long once absolute.
    const fs::path before = fs::current_path();
    fs::current_path(root_);
    for (const std::string& path : {At(std::string(PATH_MAX, 'n')), std::string(PATH_MAX - 2, 'n')})
        EXPECT_EQ(std::vector<std::string>{"ungültiger Verzeichnisname " + path}, Texts(path, 1, 0));
    fs::current_path(before);
}

TEST(DirectoryExports, TestAndCreateDirectoryIsUnmangledAndTheTreeBuilderStaysInside) {
    void* lib = dlopen(KARDO_LIBRARY_FILE, RTLD_NOW | RTLD_NOLOAD);
    ASSERT_NE(nullptr, lib) << dlerror();
    EXPECT_NE(nullptr, dlsym(lib, "TestAndCreateDirectory"));
    EXPECT_NE(nullptr, dlsym(lib, "kardo_set_folder_chooser"));
    EXPECT_EQ(nullptr, dlsym(lib, "_Z19CreateDirectoryTreePKc"));
    dlclose(lib);
}

}  // namespace
