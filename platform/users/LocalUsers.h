#pragma once

#include <sys/types.h>

#include <boost/filesystem/path.hpp>
#include <string>
#include <vector>

namespace standin {

struct LocalUser {
    std::string name;
    uid_t uid = 0;
    std::string home;
    std::string shell;
};

// The machine's local, non-hidden users: accounts with a login shell (neither nologin nor
// false; an empty shell field means /bin/sh) whose uid lies in UID_MIN..UID_MAX of
// <root>/etc/login.defs (1000..60000 when not set there). When the system root is "/", the accounts
// come from the user database (getpwent); below any other system root, from <root>/etc/passwd,
// which is how tests give their own list.
class LocalUsers {
public:
    // The users in the order of the user database.
    static std::vector<LocalUser> list();
    // Their names.
    static std::vector<std::string> names();

    // The users of a passwd-format file, filtered as above; empty when it cannot be read.
    static std::vector<LocalUser> fromPasswdFile(const boost::filesystem::path& file);

    // UID_MIN and UID_MAX from <root>/etc/login.defs, with their defaults.
    static uid_t uidMin();
    static uid_t uidMax();

    // Whether an account with this shell and uid counts as a local user.
    static bool isLoginUser(const LocalUser& user, uid_t uidMin, uid_t uidMax);
};

}  // namespace standin
