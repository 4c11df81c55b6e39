#include "platform/serial_devices.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/serial.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <fstream>

namespace platform {
namespace {

std::vector<std::string> Entries(const std::string& dir) {
    std::vector<std::string> names;
    DIR* d = opendir(dir.c_str());
    if (d == nullptr) return names;
    while (dirent* e = readdir(d)) {
        const std::string name = e->d_name;
        if (name != "." && name != "..") names.push_back(name);
    }
    closedir(d);
    return names;
}

bool StartsWith(const std::string& text, const std::string& prefix) { return text.rfind(prefix, 0) == 0; }

// ttyS2 before ttyS10: runs of digits compare by value.
bool NaturalLess(const std::string& a, const std::string& b) {
    size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (std::isdigit(static_cast<unsigned char>(a[i])) && std::isdigit(static_cast<unsigned char>(b[j]))) {
            size_t ei = i, ej = j;
            while (ei < a.size() && std::isdigit(static_cast<unsigned char>(a[ei]))) ++ei;
            while (ej < b.size() && std::isdigit(static_cast<unsigned char>(b[ej]))) ++ej;
            const std::string na = a.substr(i, ei - i), nb = b.substr(j, ej - j);
            if (na.size() != nb.size()) return na.size() < nb.size();
            if (na != nb) return na < nb;
            i = ei;
            j = ej;
        } else {
            if (a[i] != b[j]) return a[i] < b[j];
            ++i;
            ++j;
        }
    }
    return a.size() - i < b.size() - j;
}

// A ttyS device is a port when the kernel knows a UART type for it: from
// sysfs, or, where that is missing, from the device itself.
bool IsRealPort(const std::string& devPath, const std::string& sysDir) {
    std::ifstream type(sysDir + "/type");
    int value = -1;
    if (type >> value) return value != 0;
    const int fd = open(devPath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return false;
    serial_struct info{};
    const bool port = ioctl(fd, TIOCGSERIAL, &info) == 0 && info.type != PORT_UNKNOWN;
    close(fd);
    return port;
}

void AddGroup(std::vector<std::string>& out, std::vector<std::string> names, const std::string& dir) {
    std::sort(names.begin(), names.end(), NaturalLess);
    for (const std::string& name : names) out.push_back(dir + "/" + name);
}

}  // namespace

std::vector<std::string> ListSerialDevices(const std::string& devDir, const std::string& sysTtyDir) {
    std::vector<std::string> ports, usb, acm;
    for (const std::string& name : Entries(devDir)) {
        if (StartsWith(name, "ttyS") && name.size() > 4 &&
            std::all_of(name.begin() + 4, name.end(), [](char c) { return std::isdigit(static_cast<unsigned char>(c)); })) {
            if (IsRealPort(devDir + "/" + name, sysTtyDir + "/" + name)) ports.push_back(name);
        } else if (StartsWith(name, "ttyUSB")) {
            usb.push_back(name);
        } else if (StartsWith(name, "ttyACM")) {
            acm.push_back(name);
        }
    }
    std::vector<std::string> out;
    AddGroup(out, ports, devDir);
    AddGroup(out, usb, devDir);
    AddGroup(out, acm, devDir);
    AddGroup(out, Entries(devDir + "/serial/by-id"), devDir + "/serial/by-id");
    return out;
}

}  // namespace platform
