// Other holders of a port as /proc shows them: a descriptor on the same
// device in any process we may look into (an ordinary user sees only his
// own), this one included.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cctype>
#include <fstream>
#include <sstream>
#include <string_view>

#include "serial/posix/PortBackend.h"

namespace vemkard::serial_backend {
namespace {

bool IsNumber(const char* text) {
    if (*text == '\0') return false;
    for (; *text != '\0'; ++text) {
        if (!std::isdigit(static_cast<unsigned char>(*text))) return false;
    }
    return true;
}

// Whether one of the process's descriptors is on `device`.
bool HasDescriptorOn(const std::string& fdDirectory, dev_t device) {
    const int dirFd = ::open(fdDirectory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd < 0) return false;  // gone, or not ours to look into
    DIR* dir = ::fdopendir(dirFd);
    if (dir == nullptr) {
        ::close(dirFd);
        return false;
    }
    bool found = false;
    while (const dirent* entry = ::readdir(dir)) {
        char target[64];
        const ssize_t n = ::readlinkat(dirFd, entry->d_name, target, sizeof target);
        // Only files under /dev are looked at: a stat of anything else (a
        // file on a hung network mount) could block.
        if (n < 5 || std::string_view(target, 5) != "/dev/") continue;
        struct stat info {};
        if (::fstatat(dirFd, entry->d_name, &info, 0) == 0 && S_ISCHR(info.st_mode) &&
            info.st_rdev == device) {
            found = true;
            break;
        }
    }
    ::closedir(dir);
    return found;
}

}  // namespace

bool IsTerminalDevice(dev_t device, const std::string& procRoot) {
    // Lines: driver name, node, major, minor or minor range, type.
    std::ifstream drivers(procRoot + "/tty/drivers");
    if (!drivers) return true;  // cannot tell: guard it as a terminal
    std::string line;
    while (std::getline(drivers, line)) {
        std::istringstream fields(line);
        std::string driver, node, minors;
        unsigned major = 0;
        if (!(fields >> driver >> node >> major >> minors) || major != ::major(device)) continue;
        unsigned first = 0, last = 0;
        char dash = 0;
        std::istringstream range(minors);
        range >> first;
        last = (range >> dash >> last) ? last : first;
        if (::minor(device) >= first && ::minor(device) <= last) return true;
    }
    return false;
}

bool FindHolder(dev_t device, const std::string& procRoot, Holder& holder) {
    DIR* proc = ::opendir(procRoot.c_str());
    if (proc == nullptr) return false;
    bool found = false;
    while (const dirent* entry = ::readdir(proc)) {
        if (!IsNumber(entry->d_name)) continue;
        if (HasDescriptorOn(procRoot + "/" + entry->d_name + "/fd", device)) {
            const int pid = std::stoi(entry->d_name);
            holder = {pid, ProcessName(pid, procRoot)};
            found = true;
            break;
        }
    }
    ::closedir(proc);
    return found;
}

std::string ProcessName(int pid, const std::string& procRoot) {
    std::ifstream comm(procRoot + "/" + std::to_string(pid) + "/comm");
    std::string name;
    std::getline(comm, name);
    return name;
}

}  // namespace vemkard::serial_backend
