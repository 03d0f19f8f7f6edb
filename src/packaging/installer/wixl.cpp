// Finding and running wixl.
#include "packaging/installer/wixl.h"

#include <cerrno>
#include <cstdlib>
#include <filesystem>

#ifndef _WIN32
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
extern char** environ;
#endif

namespace packager {

namespace fs = std::filesystem;

const char kInstallerCompiler[] = "wixl";
const char kInstallerCompilerPackage[] = "wixl";

std::string findInstallerCompiler()
{
#ifdef _WIN32
    return "";
#else
    const char* path = std::getenv("PATH");
    std::string folders = path != nullptr ? path : "";
    size_t start = 0;
    while (start <= folders.size()) {
        size_t colon = folders.find(':', start);
        std::string folder = folders.substr(start, colon == std::string::npos ? std::string::npos : colon - start);
        std::string candidate = (folder.empty() ? std::string(".") : folder) + "/" + kInstallerCompiler;
        if (access(candidate.c_str(), X_OK) == 0 && fs::is_regular_file(candidate)) {
            return candidate;
        }
        if (colon == std::string::npos) break;
        start = colon + 1;
    }
    return "";
#endif
}

int runInstallerCompiler(const std::string& compiler, const std::vector<std::string>& arguments)
{
#ifdef _WIN32
    (void)compiler;
    (void)arguments;
    return -1;
#else
    std::vector<char*> argv;
    std::vector<std::string> all = {compiler};
    all.insert(all.end(), arguments.begin(), arguments.end());
    for (std::string& argument : all) argv.push_back(&argument[0]);
    argv.push_back(nullptr);
    // Its output joins standard error: standard output is the packager's own summary.
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, STDERR_FILENO, STDOUT_FILENO);
    pid_t child = 0;
    int started = posix_spawn(&child, compiler.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (started != 0) {
        return -1;
    }
    int status = 0;
    while (waitpid(child, &status, 0) < 0) {
        if (errno != EINTR) return -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
#endif
}

} // namespace packager
