// TestAndCreateDirectory against real directories in a fresh temporary folder,
// with the message boxes recorded and answered by the test.
#include <kardo/directories.h>
#include <kardo/message_box.h>

#include <dlfcn.h>
#include <errno.h>
#include <gtest/gtest.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
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

struct Box {
    std::string text, caption;
    unsigned flags;
};

class Directories : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "kardo-dirs-XXXXXX").string();
        ASSERT_NE(nullptr, mkdtemp(pattern.data()));
        root_ = pattern;
        kardo_set_message_box_handler(&Directories::Record, this);
    }
    void TearDown() override {
        kardo_set_message_box_handler(nullptr, nullptr);
        std::error_code ignored;
        fs::permissions(root_, fs::perms::owner_all, ignored);
        for (auto& entry : fs::recursive_directory_iterator(root_, ignored))
            fs::permissions(entry.path(), fs::perms::owner_all, ignored);
        fs::remove_all(root_, ignored);
    }
    static int Record(void* context, const char* text, const char* caption, unsigned flags) {
        auto* self = static_cast<Directories*>(context);
        self->boxes_.push_back(Box{text, caption, flags});
        return self->answer_;
    }
    std::string At(const std::string& relative) const { return root_ + "/" + relative; }
    std::vector<std::string> Texts() const {
        std::vector<std::string> texts;
        for (const Box& box : boxes_) texts.push_back(box.text);
        return texts;
    }

    std::string root_;
    std::vector<Box> boxes_;
    int answer_ = KARDO_IDYES;
};

TEST_F(Directories, InvalidNamesAreRefusedWithTheCharacterMessage) {
    std::vector<std::string> names;
    for (char c : std::string("?*:<>|\"\\")) names.push_back(At(std::string("a") + c + "b"));
    names.push_back(At("a//b"));
    names.push_back(At("a/") + "/");
    names.push_back("C:\\Daten");
    names.push_back("C:\\Daten\\\\Neu");
    names.push_back("///" + root_);
    for (const std::string& name : names) {
        boxes_.clear();
        EXPECT_EQ(0, TestAndCreateDirectory(name.c_str(), 1)) << name;
        ASSERT_EQ(1u, boxes_.size()) << name;
        EXPECT_EQ(kInvalid, boxes_[0].text);
        EXPECT_EQ(std::string(program_invocation_short_name), boxes_[0].caption);
        EXPECT_EQ(KARDO_MB_OK | KARDO_MB_ICONERROR, boxes_[0].flags);
    }
    EXPECT_TRUE(fs::is_empty(root_));
}

TEST_F(Directories, ExistingDirectoryGivesOneWithoutAnyBox) {
    const std::string sub = At("sub");
    ASSERT_TRUE(fs::create_directory(sub));
    // A leading "//" names the root as well; "." and ".." resolve.
    for (const std::string& path : {sub, sub + "/", "/" + sub, At("sub/./../sub"), std::string("/")})
        for (int ask : {0, 1}) EXPECT_EQ(1, TestAndCreateDirectory(path.c_str(), ask)) << path << " ask " << ask;
    EXPECT_TRUE(boxes_.empty());
}

TEST_F(Directories, MissingDirectoryIsCreatedOnlyWhenTheUserSaysYes) {
    const std::string deep = At("one/two/three");
    EXPECT_EQ(0, TestAndCreateDirectory(deep.c_str(), 0));
    EXPECT_TRUE(boxes_.empty());

    answer_ = KARDO_IDNO;
    EXPECT_EQ(0, TestAndCreateDirectory(deep.c_str(), 1));
    ASSERT_EQ(1u, boxes_.size());
    EXPECT_EQ(Question(deep), boxes_[0].text);
    EXPECT_EQ(KARDO_MB_YESNO, boxes_[0].flags);
    EXPECT_TRUE(fs::is_empty(root_));

    boxes_.clear();
    answer_ = KARDO_IDYES;
    EXPECT_EQ(1, TestAndCreateDirectory(deep.c_str(), 1));
    EXPECT_EQ(std::vector<std::string>{Question(deep)}, Texts());
    EXPECT_TRUE(fs::is_directory(deep));
}

TEST_F(Directories, RelativePathsAndDotDotResolveInTheText) {
    const fs::path before = fs::current_path();
    ASSERT_TRUE(fs::create_directory(At("real")));
    ASSERT_EQ(0, symlink((root_ + "/real").c_str(), At("link").c_str()));
    fs::current_path(root_);
    // "link/../made" is "made" beside the link, not beside the link's target.
    EXPECT_EQ(1, TestAndCreateDirectory("link/../made/x", 1));
    EXPECT_EQ(1, TestAndCreateDirectory("./rel/../rel2", 1));
    fs::current_path(before);
    EXPECT_TRUE(fs::is_directory(At("made/x")));
    EXPECT_TRUE(fs::is_directory(At("rel2")));
    EXPECT_FALSE(fs::exists(At("rel")));
    EXPECT_FALSE(fs::exists(fs::path(root_).parent_path() / "made"));
    // ".." above the root stays at the root.
    EXPECT_EQ(1, TestAndCreateDirectory(("/../.." + root_ + "/top").c_str(), 1));
    EXPECT_TRUE(fs::is_directory(At("top")));
}

TEST_F(Directories, PartThatCannotBeCreatedIsNamedAndGivesZero) {
    {
        std::ofstream(At("file")) << "x";
    }
    struct Case {
        std::string path, failing;
    };
    std::vector<Case> cases = {
        {At("file"), At("file")},                  // an existing file: no question
        {At("file/sub/deeper"), At("file/sub")},   // a file where a parent should be
    };
    if (geteuid() != 0) {
        ASSERT_TRUE(fs::create_directory(At("locked")));
        fs::permissions(At("locked"), fs::perms::owner_read | fs::perms::owner_exec);
        cases.push_back({At("locked/a/b"), At("locked/a")});
    }
    for (const Case& c : cases) {
        boxes_.clear();
        EXPECT_EQ(0, TestAndCreateDirectory(c.path.c_str(), 1)) << c.path;
        ASSERT_FALSE(boxes_.empty()) << c.path;
        EXPECT_EQ(CannotCreate(c.failing), boxes_.back().text);
        EXPECT_EQ(KARDO_MB_OK, boxes_.back().flags);
        EXPECT_EQ(c.path == At("file") ? 1u : 2u, boxes_.size()) << c.path;
    }
    EXPECT_FALSE(fs::exists(At("locked/a")));
}

TEST_F(Directories, NullEmptyAndOverlongPaths) {
    EXPECT_EQ(0, TestAndCreateDirectory(nullptr, 1));
    EXPECT_EQ(0, TestAndCreateDirectory("", 1));
    EXPECT_TRUE(boxes_.empty());

    // Fits as written, too long once made absolute, and too long as written.
    const fs::path before = fs::current_path();
    fs::current_path(root_);
    const std::string relative(PATH_MAX - 2, 'n');
    const std::string absolute = root_ + "/" + std::string(PATH_MAX, 'n');
    for (const std::string& path : {relative, absolute}) {
        boxes_.clear();
        EXPECT_EQ(0, TestAndCreateDirectory(path.c_str(), 1));
        EXPECT_EQ(std::vector<std::string>{"ungültiger Verzeichnisname " + path}, Texts());
    }
    fs::current_path(before);
}

TEST(DirectoryExports, PublicFunctionsAreUnmangledAndTheTreeBuilderStaysInside) {
    void* lib = dlopen(KARDO_LIBRARY_FILE, RTLD_NOW | RTLD_NOLOAD);
    ASSERT_NE(nullptr, lib) << dlerror();
    EXPECT_NE(nullptr, dlsym(lib, "TestAndCreateDirectory"));
    EXPECT_NE(nullptr, dlsym(lib, "kardo_set_folder_chooser"));
    EXPECT_EQ(nullptr, dlsym(lib, "CreateDirectoryTree"));
    EXPECT_EQ(nullptr, dlsym(lib, "_Z19CreateDirectoryTreePKc"));
    dlclose(lib);
}

}  // namespace
