// Class path assembly.
#include "jvm/launch/class_path.h"

#include "config/config_store.h"
#include "config/included_files.h"
#include "config/messages.h"
#include "config/run_settings.h"
#include "config/variable_expansion.h"
#include "format/record_ids.h"
#include "platform/diagnostic_log.h"
#include "platform/paths.h"
#include "platform/text_format.h"

#include <windows.h>

#include <cstring>

std::vector<std::string> listFilesWithExtension(const char* directory, const char* extension)
{
    std::vector<std::string> names;
    std::string pattern = std::string(directory) + "\\*" + (extension[0] == '.' ? "" : ".") + extension;
    WIN32_FIND_DATAA entry;
    HANDLE find = FindFirstFileA(pattern.c_str(), &entry);
    if (find == INVALID_HANDLE_VALUE) {
        return names;
    }
    do {
        names.push_back(entry.cFileName);
    } while (FindNextFileA(find, &entry));
    FindClose(find);
    return names;
}

bool addArchivesInDirectory(std::string& classPath, const char* directory, const char* extension)
{
    if (!fileExists(directory)) {
        return false;
    }
    for (const std::string& name : listFilesWithExtension(directory, extension)) {
        std::string path = std::string(directory) + "\\" + name;
        char resolved[kTextCapacity];
        if (!resolvePath(resolved, sizeof resolved, path.c_str())) {
            continue;  // a cut path is another archive
        }
        classPath += resolved;
        classPath += ';';
    }
    return true;
}

std::string resolvePathList(const char* list)
{
    std::string result;
    std::string element;
    auto add = [&result](const std::string& text) {
        char resolved[kTextCapacity];
        if (text.empty() || !resolvePath(resolved, sizeof resolved, text.c_str())) return;
        if (!result.empty()) result += ';';
        result += resolved;
    };
    for (const char* p = list; *p != '\0'; ++p) {
        if (*p == ';') {
            add(element);
            element.clear();
        } else {
            element += *p;
        }
    }
    add(element);
    return result;
}

void addRuntimeArchive(std::string& classPath)
{
    char installDir[kTextCapacity];
    char full[kTextCapacity];
    if (!getConfigString(cfg::installationDirectory, installDir, sizeof installDir) ||
        !getFullPath(full, sizeof full, installDir, true)) {
        logTooLong("installation directory");
        return;
    }
    classPath += full;
    if (classPath.empty() || classPath.back() != '\\') {
        classPath += '\\';
    }
    classPath += ".deploykit\\dpkruntime.jar;";
}

void addConfiguredClassPath(std::string& classPath)
{
    // Read whole: a cut list would end in a cut entry. Each entry is bounded below.
    const std::string configured = dupConfigString(cfg::classPath);
    logMessage("classpath entry %s", configured.c_str());
    std::vector<std::string> entries;
    std::string entry;
    for (const char* p = configured.c_str();; ++p) {
        if (*p == ';' || *p == '\0') {
            if (!entry.empty()) entries.push_back(entry);
            entry.clear();
            if (*p == '\0') break;
        } else {
            entry += *p;
        }
    }
    logMessage("classpath entries %d", static_cast<int>(entries.size()));

    for (const std::string& item : entries) {
        const char type = item[0];
        const bool mandatory = item.size() > 1 && item[1] == '1';
        char name[kTextCapacity];
        // A cut name is another file or variable: the entry counts as missing.
        const bool whole = copyText(name, sizeof name, item.size() > 2 ? item.c_str() + 2 : "") &&
                           expandVariablesA(name, sizeof name);
        if (!whole) {
            logTooLong("class path entry");
        }
        bool found = false;
        switch (whole ? type : '\0') {
        case 'A':
        case 'D': {
            std::string resolved = resolvePathList(name);
            found = fileExists(resolved.c_str());
            classPath += resolved;
            classPath += ';';
            break;
        }
        case 'E': {
            char value[kTextCapacity];
            SetLastError(ERROR_SUCCESS);
            DWORD n = GetEnvironmentVariableA(name, value, sizeof value);
            if (n >= sizeof value) {
                // A value cut to the buffer would be a wrong class path; it counts as missing.
                logError("environment variable %s too long for the class path", name);
                n = 0;
                SetLastError(ERROR_SUCCESS);
            }
            if (n > 0) {
                std::string text(value, n);
                if (text.size() >= 2 && text.front() == '"' && text.back() == '"') {
                    text = text.substr(1, text.size() - 2);
                }
                classPath += text;
                if (text.empty() || text.back() != ';') classPath += ';';
                found = true;
            } else if (!mandatory) {
                continue;
            } else if (GetLastError() == ERROR_ENVVAR_NOT_FOUND) {
                fatalConfigError(cfg::msgClassPathVariableUndefined, name);
            }
            break;
        }
        case 'S': {
            char directory[kTextCapacity];
            if (resolvePath(directory, sizeof directory, name)) {
                bool jars = addArchivesInDirectory(classPath, directory, "jar");
                bool zips = addArchivesInDirectory(classPath, directory, "zip");
                found = jars || zips;
            }
            break;
        }
        default:
            break;
        }
        if (mandatory && !found) {
            fatalConfigError(cfg::msgClassPathEntryMissing, name);
        }
    }
}

std::string buildClassPathOption(const ClassPathOverrides& overrides)
{
    std::string classPath = "-Djava.class.path=";
    if (overrides.prepend) {
        classPath += *overrides.prepend;
        classPath += ';';
    }
    if (launcherTempDir[0] != '\0') {
        addArchivesInDirectory(classPath, launcherTempDir, "jar");
        addArchivesInDirectory(classPath, launcherTempDir, "zip");
        std::string user = std::string(launcherTempDir) + "\\user";
        addArchivesInDirectory(classPath, user.c_str(), "jar");
        addArchivesInDirectory(classPath, user.c_str(), "zip");
    }
    if (flavour == 'd') {
        addRuntimeArchive(classPath);
    }
    if (overrides.replace) {
        classPath += *overrides.replace;
    } else {
        addConfiguredClassPath(classPath);
    }
    if (overrides.append) {
        if (classPath.back() != ';') classPath += ';';
        classPath += *overrides.append;
    }
    if (!classPath.empty() && classPath.back() == ';') {
        classPath.pop_back();
    }
    return classPath;
}
