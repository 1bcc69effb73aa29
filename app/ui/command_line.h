// The edition flags and the scan file named on the command line.
#pragma once

#include <functional>
#include <string>
#include <vector>

// Two editions change menus, panels and settings defaults; both may be set.
struct EditionFlags {
    bool tarrel = false;
    bool pemmler = false;
};

// What the parse looks at besides the arguments.
struct CommandLineEnv {
    std::string customer;        // the branding record's customer name
    std::string programFolder;   // with a trailing separator
    std::string currentFolder;   // the process's current folder
    std::function<bool(const std::string& path)> fileExists;
};

constexpr size_t kStartupFileSize = 1024;  // the name with its terminator

// Sets the edition flags from the customer name, the switch file
// "tarrel.switch" beside the program and a first argument "-vossen",
// "-pemmler" or "-tolvaran"; gives the start-up scan file (absolute, or
// joined to the current folder), empty when none was named. `args` are the
// arguments after the program's name.
void App_ParseCommandLine(const std::vector<std::string>& args, const CommandLineEnv& env,
                          EditionFlags& editions, std::string& startupFile);

// True for "C:\x", "C:x", "\x" and "\\server\x" (and '/' for '\').
bool Path_IsAbsolute(const std::string& path);
