#include "platform/users/LocalUsers.h"

#include <pwd.h>
#include <stdio.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <sstream>

#include "platform/systemroot/SystemRoot.h"

namespace standin {

namespace {

constexpr uid_t kDefaultUidMin = 1000;
constexpr uid_t kDefaultUidMax = 60000;

// getpwent and fgetpwent share static state.
std::mutex& passwdMutex() {
    static std::mutex mutex;
    return mutex;
}

uid_t loginDefsValue(const std::string& key, uid_t fallback) {
    std::ifstream in(SystemRoot::resolve("/etc/login.defs").string());
    std::string line;
    uid_t value = fallback;
    while (std::getline(in, line)) {
        std::istringstream words(line);
        std::string name;
        std::string number;
        if (!(words >> name >> number) || name != key) {
            continue;
        }
        errno = 0;
        char* end = nullptr;
        const unsigned long parsed = std::strtoul(number.c_str(), &end, 10);
        if (errno == 0 && end != number.c_str() && *end == '\0' && number[0] != '-' &&
            parsed <= static_cast<unsigned long>(static_cast<uid_t>(-1))) {
            value = static_cast<uid_t>(parsed);
        }
    }
    return value;
}

// Keeps the first account of each name (a name may come from more than one database).
void addUnique(std::vector<LocalUser>& users, LocalUser user) {
    for (const auto& known : users) {
        if (known.name == user.name) {
            return;
        }
    }
    users.push_back(std::move(user));
}

LocalUser fromEntry(const passwd& entry) {
    LocalUser user;
    user.name = entry.pw_name != nullptr ? entry.pw_name : "";
    user.uid = entry.pw_uid;
    user.home = entry.pw_dir != nullptr ? entry.pw_dir : "";
    user.shell = entry.pw_shell != nullptr ? entry.pw_shell : "";
    return user;
}

}  // namespace

uid_t LocalUsers::uidMin() {
    return loginDefsValue("UID_MIN", kDefaultUidMin);
}

uid_t LocalUsers::uidMax() {
    return loginDefsValue("UID_MAX", kDefaultUidMax);
}

bool LocalUsers::isLoginUser(const LocalUser& user, uid_t uidMin, uid_t uidMax) {
    if (user.name.empty() || user.uid < uidMin || user.uid > uidMax) {
        return false;
    }
    // An empty shell field stands for /bin/sh.
    const auto slash = user.shell.find_last_of('/');
    const std::string shell =
        slash == std::string::npos ? user.shell : user.shell.substr(slash + 1);
    return shell != "nologin" && shell != "false";
}

std::vector<LocalUser> LocalUsers::fromPasswdFile(const boost::filesystem::path& file) {
    const uid_t low = uidMin();
    const uid_t high = uidMax();
    std::vector<LocalUser> users;
    FILE* stream = fopen(file.c_str(), "re");
    if (stream == nullptr) {
        return users;
    }
    {
        std::lock_guard<std::mutex> lock(passwdMutex());
        while (passwd* entry = fgetpwent(stream)) {
            LocalUser user = fromEntry(*entry);
            if (isLoginUser(user, low, high)) {
                addUnique(users, std::move(user));
            }
        }
    }
    fclose(stream);
    return users;
}

std::vector<LocalUser> LocalUsers::list() {
    if (SystemRoot::path() != "/") {
        return fromPasswdFile(SystemRoot::resolve("/etc/passwd"));
    }
    const uid_t low = uidMin();
    const uid_t high = uidMax();
    std::vector<LocalUser> users;
    std::lock_guard<std::mutex> lock(passwdMutex());
    setpwent();
    while (passwd* entry = getpwent()) {
        LocalUser user = fromEntry(*entry);
        if (isLoginUser(user, low, high)) {
            addUnique(users, std::move(user));
        }
    }
    endpwent();
    return users;
}

std::vector<std::string> LocalUsers::names() {
    std::vector<std::string> names;
    for (auto& user : list()) {
        names.push_back(std::move(user.name));
    }
    return names;
}

}  // namespace standin
