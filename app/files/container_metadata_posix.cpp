// Metadata defaults natively: the program's path from /proc, the user from
// the password database; the system is no Windows version.
#include <pwd.h>
#include <unistd.h>

#include <climits>

#include "app/files/container_metadata.h"

std::string ItemMeta_PlatformProgramPath() {
    char buffer[PATH_MAX];
    ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    return n > 0 ? std::string(buffer, static_cast<std::size_t>(n)) : std::string();
}

std::string ItemMeta_PlatformUserName() {
    const passwd* entry = ::getpwuid(::getuid());
    return entry && entry->pw_name ? std::string(entry->pw_name) : std::string();
}

bool ItemMeta_PlatformVersion(int*, int*, bool*, std::string*) { return false; }
