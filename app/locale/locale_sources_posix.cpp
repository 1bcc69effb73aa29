// Natively the locale is found beside the program; there is no built-in
// locale (the Windows program carries it as a resource).
#include "app/locale/locale_loader.h"

#include <dirent.h>
#include <fnmatch.h>

#include <string>

bool Locale_FindFileIn(const std::string& folder, const std::string& pattern, std::string& name,
                       std::string& path) {
    DIR* directory = opendir(folder.empty() ? "." : folder.c_str());
    if (!directory)
        return false;
    // The order of directory entries is the file system's: take the first
    // match by name, so that the choice does not change from run to run.
    std::string best;
    while (dirent* entry = readdir(directory)) {
        if (fnmatch(pattern.c_str(), entry->d_name, FNM_PERIOD) == 0 &&
            (best.empty() || entry->d_name < best))
            best = entry->d_name;
    }
    closedir(directory);
    if (best.empty())
        return false;
    name = best;
    path = folder + best;
    return true;
}

bool Locale_LoadBuiltInData(std::vector<char>& data) {
    data.clear();
    return false;
}
