#pragma once
// The descriptor this process holds open on a device path, found through
// /proc/self/fd; for tests that must reach a port a driver keeps behind its
// own handles.
#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

namespace testsupport {

// The newest (highest) descriptor whose target is `path`, -1 when none is: a
// simulator in the same process may hold the device open as well, from before.
inline int DescriptorOf(const std::string& path) {
    DIR* dir = opendir("/proc/self/fd");
    if (!dir) return -1;
    int found = -1;
    while (dirent* entry = readdir(dir)) {
        if (entry->d_name[0] == '.') continue;
        std::string link = std::string("/proc/self/fd/") + entry->d_name;
        char target[4096];
        ssize_t n = readlink(link.c_str(), target, sizeof target - 1);
        if (n <= 0) continue;
        target[n] = '\0';
        if (path == target && std::atoi(entry->d_name) > found) found = std::atoi(entry->d_name);
    }
    closedir(dir);
    return found;
}

// Points the newest descriptor on `path` at /dev/null opened for reading, so
// that the next write through it fails as on a pulled cable. False when
// there is no such descriptor.
inline bool BreakWritesTo(const std::string& path) {
    const int fd = DescriptorOf(path);
    if (fd < 0) return false;
    const int readOnly = open("/dev/null", O_RDONLY | O_CLOEXEC);
    if (readOnly < 0) return false;
    const bool done = dup2(readOnly, fd) == fd;
    close(readOnly);
    return done;
}

}  // namespace testsupport
