// Checking a directory name and creating a directory with all its missing
// parents, asking the user first.
#include <kardo/directories.h>

#include <errno.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include "platform/message_box.h"
#include "util/directories.h"

namespace {

const char kInvalidCharacters[] = "Ein Verzeichnisname darf keines der folgenden Zeichen enthalten :\n\t\t\\/:*?\"<>|";

// The boxes appear under the program's name, as a dialog of the program.
int Box(const std::string& text, unsigned flags) {
    return platform::MessageBox(text, program_invocation_short_name, flags);
}

void CannotCreate(const std::string& path) {
    Box("Verzeichnis " + path + " kann nicht angelegt werden", platform::MB_OK);
}

void InvalidName(const char* path) { Box(std::string("ungültiger Verzeichnisname ") + path, platform::MB_OK); }

// Two separators in a row make a name invalid, except a leading "//"; so do
// the characters Windows refuses in names, the backslash and the colon of a
// drive letter included.
bool ValidName(const char* path) {
    for (const char* p = path; *p; ++p) {
        if (p != path && p[0] == '/' && p[1] == '/') return false;
        if (std::strchr("?*:<>|\"\\", *p)) return false;
    }
    return true;
}

enum class Kind { Missing, Directory, Other };

Kind KindOf(const std::string& path) {
    struct stat st;
    if (stat(path.c_str(), &st) != 0) return Kind::Missing;
    return S_ISDIR(st.st_mode) ? Kind::Directory : Kind::Other;
}

}  // namespace

bool AbsoluteDirectoryPath(const char* path, std::string& absolute) {
    if (!path || !*path) return false;
    std::string text;
    if (path[0] != '/') {
        char cwd[PATH_MAX];
        if (!getcwd(cwd, sizeof cwd)) return false;
        text = cwd;
        text += '/';
    }
    text += path;
    // Rebuilt component by component: empty parts and "." vanish, ".." drops
    // the part before it and stays at the root.
    absolute.clear();
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find('/', start);
        if (end == std::string::npos) end = text.size();
        const std::string part = text.substr(start, end - start);
        if (part == "..") {
            absolute.erase(absolute.empty() ? 0 : absolute.rfind('/'));
        } else if (!part.empty() && part != ".") {
            absolute += '/';
            absolute += part;
        }
        start = end + 1;
    }
    if (absolute.empty()) absolute = "/";
    return absolute.size() < PATH_MAX;
}

int CreateDirectoryTree(const char* path) {
    std::string target;
    if (!AbsoluteDirectoryPath(path, target)) {
        InvalidName(path ? path : "");
        return 0;
    }
    // The deepest part of the path that exists; the root always does.
    std::string current = target;
    while (current != "/" && KindOf(current) == Kind::Missing) {
        const size_t cut = current.rfind('/');
        current.erase(cut == 0 ? 1 : cut);
    }
    // Downwards, one component at a time. A part that is no directory fails
    // at the mkdir of the part below it (ENOTDIR), or at the end when it is
    // the target itself.
    while (current.size() < target.size()) {
        const size_t next = target.find('/', current.size() + 1);
        current = target.substr(0, next);
        if (mkdir(current.c_str(), 0777) != 0 && !(errno == EEXIST && KindOf(current) == Kind::Directory)) {
            CannotCreate(current);
            return 0;
        }
    }
    if (KindOf(target) != Kind::Directory) {
        CannotCreate(target);
        return 0;
    }
    return 1;
}

int TestAndCreateDirectory(const char* path, int ask) {
    if (!path || !*path) return 0;
    if (!ValidName(path)) {
        Box(kInvalidCharacters, platform::MB_OK | platform::MB_ICONSTOP);
        return 0;
    }
    std::string absolute;
    if (std::strlen(path) >= PATH_MAX || !AbsoluteDirectoryPath(path, absolute)) {
        InvalidName(path);
        return 0;
    }
    switch (KindOf(absolute)) {
        case Kind::Directory:
            return 1;
        case Kind::Other:
            CannotCreate(path);
            return 0;
        case Kind::Missing:
            break;
    }
    if (!ask) return 0;
    const std::string question =
        std::string("Das Verzeichnis ") + path + " existiert nicht. Soll es angelegt werden ?";
    if (Box(question, platform::MB_YESNO) != platform::IDYES) return 0;
    return CreateDirectoryTree(path);
}
