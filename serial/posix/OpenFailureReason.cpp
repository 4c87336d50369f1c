#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include "serial/OpenFailurePlatform.h"

namespace vemkard {
namespace {

// The group entry of `gid` with its member list, or nothing.
struct TGroupEntry {
    std::string Name;
    std::vector<std::string> Members;
};

std::optional<TGroupEntry> GroupOf(gid_t gid) {
    std::vector<char> buffer(16384);
    group entry{};
    group* found = nullptr;
    if (::getgrgid_r(gid, &entry, buffer.data(), buffer.size(), &found) != 0 || !found)
        return std::nullopt;
    TGroupEntry group{found->gr_name, {}};
    for (char** member = found->gr_mem; member && *member; ++member)
        group.Members.emplace_back(*member);
    return group;
}

std::string UserName() {
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* found = nullptr;
    if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) != 0 || !found)
        return {};
    return found->pw_name;
}

bool ProcessHasGroup(gid_t gid) {
    if (::getegid() == gid) return true;
    const int count = ::getgroups(0, nullptr);
    if (count <= 0) return false;
    std::vector<gid_t> groups(static_cast<std::size_t>(count));
    const int got = ::getgroups(count, groups.data());
    return got > 0 && std::find(groups.begin(), groups.begin() + got, gid) != groups.begin() + got;
}

std::string Quoted(const std::string& text) {
    return "«" + text + "»";
}

std::string AccessDenied(const TOpenFailureFacts& facts) {
    const std::string start = "Нет доступа к " + facts.Port;
    // A group that only root is in leaves nothing for the user to join.
    if (facts.Group.empty() || facts.Group == "root")
        return start +
               ": недостаточно прав; запустите программу от имени пользователя, "
               "которому доступен порт.";
    if (facts.GroupNeedsNewLogin)
        return start + ": вы уже в группе " + Quoted(facts.Group) +
               ", но этот вход в систему был раньше; выйдите из системы и войдите снова.";
    return start + ": порт доступен группе " + Quoted(facts.Group) +
           ". Добавьте себя в неё (sudo adduser $USER " + facts.Group +
           "), затем выйдите из системы и войдите снова.";
}

std::string Busy(const TOpenFailureFacts& facts) {
    std::string text = "Порт " + facts.Port + " занят другой программой";
    if (facts.Holder) {
        text += " (" +
                (facts.Holder->Name.empty() ? std::string("без имени") : facts.Holder->Name) +
                ", pid " + std::to_string(facts.Holder->Pid) + ")";
    }
    return text + "; закройте её и повторите.";
}

}  // namespace

void AddSystemFacts(TOpenFailureFacts& facts) {
    struct stat info {};
    if (::stat(facts.Port.c_str(), &info) != 0) return;
    if (const auto group = GroupOf(info.st_gid)) {
        facts.Group = group->Name;
        const std::string user = UserName();
        const bool listed = !user.empty() && std::find(group->Members.begin(), group->Members.end(),
                                                       user) != group->Members.end();
        facts.GroupNeedsNewLogin = listed && !ProcessHasGroup(info.st_gid);
    }
}

std::string CannotOpenReason(const TOpenFailureFacts& facts) {
    switch (facts.SystemError) {
        case ENOENT:
            return "Устройства " + facts.Port +
                   " нет: проверьте имя порта и что адаптер подключён.";
        case ENXIO:
        case ENODEV:
            return "За " + facts.Port + " нет устройства: адаптер отключён или порт отсутствует.";
        case EACCES:
        case EPERM:
            return AccessDenied(facts);
        case EBUSY:
        case EWOULDBLOCK:
            return Busy(facts);
        case EISDIR:
            return facts.Port + " — каталог, а не порт.";
        case 0:
            return "Порт " + facts.Port + " не открывается.";
        default:
            return "Порт " + facts.Port + " не открывается: " + std::strerror(facts.SystemError) +
                   " (код " + std::to_string(facts.SystemError) + ").";
    }
}

}  // namespace vemkard
