// Finding and running wixl and msitools' table tools; the texts put back into a package.
#include "packaging/installer/wixl.h"

#include "packaging/installer/package_actions.h"
#include "packaging/installer/wix_source.h"

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>

#ifndef _WIN32
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
extern char** environ;
#endif

namespace packager {

namespace fs = std::filesystem;

const char kInstallerCompiler[] = "wixl";
const char kInstallerCompilerPackage[] = "wixl";
const char kTableReader[] = "msiinfo";
const char kTableWriter[] = "msibuild";
const char kTableToolsPackage[] = "msitools";

namespace {

std::string fileText(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

} // namespace

std::string findProgram(const std::string& name)
{
#ifdef _WIN32
    (void)name;
    return "";
#else
    const char* path = std::getenv("PATH");
    std::string folders = path != nullptr ? path : "";
    size_t start = 0;
    while (start <= folders.size()) {
        size_t colon = folders.find(':', start);
        std::string folder = folders.substr(start, colon == std::string::npos ? std::string::npos : colon - start);
        std::string candidate = (folder.empty() ? std::string(".") : folder) + "/" + name;
        if (access(candidate.c_str(), X_OK) == 0 && fs::is_regular_file(candidate)) {
            return candidate;
        }
        if (colon == std::string::npos) break;
        start = colon + 1;
    }
    return "";
#endif
}

std::string findInstallerCompiler()
{
    return findProgram(kInstallerCompiler);
}

int runProgram(const std::string& program, const std::vector<std::string>& arguments, const fs::path& output)
{
#ifdef _WIN32
    (void)program;
    (void)arguments;
    (void)output;
    return -1;
#else
    std::vector<char*> argv;
    std::vector<std::string> all = {program};
    all.insert(all.end(), arguments.begin(), arguments.end());
    for (std::string& argument : all) argv.push_back(&argument[0]);
    argv.push_back(nullptr);
    // Without a file for it, its output joins standard error: standard output is the
    // packager's own summary.
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (output.empty()) {
        posix_spawn_file_actions_adddup2(&actions, STDERR_FILENO, STDOUT_FILENO);
    } else {
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    }
    pid_t child = 0;
    int started = posix_spawn(&child, program.c_str(), &actions, nullptr, argv.data(), environ);
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

int runInstallerCompiler(const std::string& compiler, const std::vector<std::string>& arguments)
{
    return runProgram(compiler, arguments);
}

bool restoreTexts(const fs::path& package, const StandIns& standIns, int codePage, const std::string& subject,
                  const std::string& author, const fs::path& work, std::string* error)
{
    const std::string reader = findProgram(kTableReader);
    const std::string writer = findProgram(kTableWriter);
    if (reader.empty() || writer.empty()) {
        *error = std::string("a package whose texts are not all ASCII needs ") + kTableReader + " and " +
                 kTableWriter + ", which are not installed (Debian package " + kTableToolsPackage + ")";
        return false;
    }
    auto failed = [error](const std::string& what, int code) {
        *error = what + " failed (" + (code < 0 ? std::string("it did not run to its end")
                                                 : "exit code " + std::to_string(code)) + ")";
        return false;
    };
    const fs::path listed = work / "tables.txt";
    int code = runProgram(reader, {"tables", package.string()}, listed);
    if (code != 0) return failed(std::string(kTableReader) + " tables", code);
    std::vector<std::string> tables;
    for (const std::string& table : outputLines(fileText(listed))) {
        // The summary and the code page are no tables of rows; streams hold no texts.
        if (!table.empty() && table[0] != '_') tables.push_back(table);
    }

    // Each table that holds a stand-in, exported, its stand-ins replaced, imported again
    // after the code page that holds its texts.
    const fs::path codePageFile = work / "_ForceCodepage.idt";
    std::ofstream(codePageFile, std::ios::binary) << "\r\n\r\n" << codePage << "\t_ForceCodepage\r\n";
    std::vector<std::string> imports = {package.string(), "-i", codePageFile.string()};
    for (const std::string& table : tables) {
        const fs::path exported = work / (table + ".idt");
        code = runProgram(reader, {"export", package.string(), table}, exported);
        if (code != 0) return failed(std::string(kTableReader) + " export " + table, code);
        std::string rows = fileText(exported);
        if (rows.find(standIns.marker) == std::string::npos) continue;
        for (const auto& [standIn, text] : standIns.texts) {
            for (size_t at = rows.find(standIn); at != std::string::npos; at = rows.find(standIn, at + text.size())) {
                rows.replace(at, standIn.size(), text);
            }
        }
        std::ofstream(exported, std::ios::binary | std::ios::trunc) << rows;
        imports.push_back("-i");
        imports.push_back(exported.string());
    }
    code = runProgram(writer, imports);
    if (code != 0) return failed(std::string(kTableWriter) + " (the tables' texts)", code);

    // The summary keeps its package code and template; only its subject and author change.
    const fs::path summaryFile = work / "summary.txt";
    code = runProgram(reader, {"suminfo", package.string()}, summaryFile);
    if (code != 0) return failed(std::string(kTableReader) + " suminfo", code);
    std::string packageCode, templateText;
    for (const std::string& line : outputLines(fileText(summaryFile))) {
        const std::string revision = "Revision number (UUID): ";
        const std::string platform = "Template: ";
        if (line.compare(0, revision.size(), revision) == 0) packageCode = line.substr(revision.size());
        if (line.compare(0, platform.size(), platform) == 0) templateText = line.substr(platform.size());
    }
    if (packageCode.empty() || templateText.empty()) {
        *error = std::string(kTableReader) + " suminfo shows no package code or template";
        return false;
    }
    code = runProgram(writer, {package.string(), "-s", subject, author, templateText, packageCode});
    if (code != 0) return failed(std::string(kTableWriter) + " (the summary)", code);

    // Read back: a text lost on the way is an error, not a package.
    std::string all;
    for (const std::string& table : tables) {
        const fs::path exported = work / (table + ".check");
        code = runProgram(reader, {"export", package.string(), table}, exported);
        if (code != 0) return failed(std::string(kTableReader) + " export " + table, code);
        all += fileText(exported);
    }
    code = runProgram(reader, {"suminfo", package.string()}, summaryFile);
    if (code != 0) return failed(std::string(kTableReader) + " suminfo", code);
    all += fileText(summaryFile);
    if (all.find(standIns.marker) != std::string::npos) {
        *error = "a text of the package is still a stand-in after " + std::string(kTableWriter);
        return false;
    }
    for (const auto& [standIn, text] : standIns.texts) {
        if (all.find(text) == std::string::npos) {
            *error = "the text \"" + text + "\" is not in the package after " + std::string(kTableWriter);
            return false;
        }
    }
    for (const std::string& text : {subject, author}) {
        if (all.find(text) == std::string::npos) {
            *error = "the summary's text \"" + text + "\" is not in the package";
            return false;
        }
    }
    return true;
}

bool addPackageActions(const fs::path& package, const InstallerPlan& plan, const fs::path& work, std::string* error)
{
    const std::string reader = findProgram(kTableReader);
    const std::string writer = findProgram(kTableWriter);
    if (reader.empty() || writer.empty()) {
        *error = std::string("a package needs ") + kTableReader + " and " + kTableWriter +
                 " for its deployment settings, which are not installed (Debian package " + kTableToolsPackage + ")";
        return false;
    }
    std::map<std::string, TableText> tables;
    for (const char* name : {"CustomAction", "InstallExecuteSequence", "Component"}) {
        const fs::path exported = work / (std::string(name) + ".idt");
        int code = runProgram(reader, {"export", package.string(), name}, exported);
        if (code != 0 || !parseTable(fileText(exported), &tables[name])) {
            *error = std::string(kTableReader) + " export " + name + " failed";
            return false;
        }
    }
    if (!addPackageRows(plan, &tables, error)) {
        return false;
    }
    std::vector<std::string> imports = {package.string()};
    for (const auto& [name, table] : tables) {
        const fs::path file = work / (name + ".idt");
        std::ofstream(file, std::ios::binary | std::ios::trunc) << tableText(table);
        imports.push_back("-i");
        imports.push_back(file.string());
    }
    int code = runProgram(writer, imports);
    if (code != 0) {
        *error = std::string(kTableWriter) + " could not add the package's actions (" +
                 (code < 0 ? std::string("it did not run to its end") : "exit code " + std::to_string(code)) + ")";
        return false;
    }
    return true;
}

std::vector<std::string> outputLines(const std::string& text)
{
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        std::string line = text.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
        if (end == std::string::npos) break;
        start = end + 1;
    }
    return lines;
}

} // namespace packager
