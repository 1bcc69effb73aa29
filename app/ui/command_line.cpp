#include "app/ui/command_line.h"

namespace {

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

}  // namespace

bool Path_IsAbsolute(const std::string& path) {
    if (path.empty()) return false;
    if (IsSeparator(path[0])) return true;
    return path.size() >= 2 && path[1] == ':';
}

void App_ParseCommandLine(const std::vector<std::string>& args, const CommandLineEnv& env,
                          EditionFlags& editions, std::string& startupFile) {
    if (env.customer == "Tarrel") editions.tarrel = true;
    if (env.customer == "Pemmler") editions.pemmler = true;
    if (env.fileExists && env.fileExists(env.programFolder + "tarrel.switch")) editions.tarrel = true;

    startupFile.clear();
    size_t fileArgument = 0;
    if (!args.empty() && args[0].size() >= 2 && args[0][0] == '-') {
        const std::string option = args[0].substr(1);
        const bool known = option == "vossen" || option == "pemmler" || option == "tolvaran";
        if (option == "vossen") editions.tarrel = true;
        if (option == "pemmler") editions.pemmler = true;
        if (option == "tolvaran") editions.tarrel = false;
        if (known) fileArgument = 1;
    }
    if (fileArgument >= args.size() || args[fileArgument].empty()) return;
    const std::string& name = args[fileArgument];
    std::string path;
    if (Path_IsAbsolute(name)) {
        path = name;
    } else {
        path = env.currentFolder;
        if (!path.empty() && !IsSeparator(path.back())) path += '\\';
        path += name;
    }
    // A name that does not fit the start-up buffer cannot name the file the
    // user meant; it is dropped rather than cut.
    if (path.size() < kStartupFileSize) startupFile = path;
}
