// Restores the jar files of a runtime shipped in packed form by running the runtime's own
// unpacker on every "X.jar.pack" that has no "X.jar" yet, one at a time. Every path is
// built in a bounded buffer; a path that does not fit is refused, never used cut, because a
// cut path names some other file (or a pattern that matches every file of a directory).
#include "jvm/discovery/packed_jre.h"

#include "config/messages.h"
#include "format/record_ids.h"
#include "platform/diagnostic_log.h"
#include "platform/handle.h"
#include "platform/paths.h"
#include "platform/text_format.h"

#include <windows.h>

#include <cstdio>
#include <cstring>

namespace {

// "-r", two quoted paths and the blanks between them.
constexpr size_t kArgumentsCapacity = 2 * kTextCapacity + 16;
// The quoted program path, a blank and the arguments; well below the 32767 characters
// that CreateProcessA accepts.
constexpr size_t kCommandLineCapacity = kTextCapacity + kArgumentsCapacity + 4;

const char kPackSuffix[] = ".pack";
const char kPackedJarSuffix[] = ".jar.pack";

bool endsWithIgnoringCase(const char* text, size_t length, const char* suffix)
{
    size_t suffixLength = std::strlen(suffix);
    return length >= suffixLength && _stricmp(text + length - suffixLength, suffix) == 0;
}

// Keeps the packed file when the unpacker did not produce the jar: it is then the only
// copy of the jar's contents, and a later start can try again. A jar left by a failed run
// is incomplete; removing it keeps a later start from taking it for a finished one.
bool unpackSucceeded(HANDLE process, const char* jarPath)
{
    DWORD exitCode = 0;
    if (!GetExitCodeProcess(process, &exitCode)) {
        logMessage("could not get the exit code of unpack200 (error %d)", static_cast<int>(GetLastError()));
        return false;
    }
    if (exitCode == 0 && fileExists(jarPath)) {
        return true;
    }
    logMessage("unpack200 failed (exit code %d), packed file kept", static_cast<int>(exitCode));
    if (fileExists(jarPath)) {
        logMessage("removing incomplete %s", jarPath);
        DeleteFileA(jarPath);
    }
    return false;
}

} // namespace

void unpackJre(const char* javaHome)
{
    if (javaHome == nullptr || javaHome[0] == '\0') {
        return;
    }
    bool started = false;
    unpackJarsIn(javaHome, "lib", &started);
    unpackJarsIn(javaHome, "lib\\ext", &started);
    if (started) {
        logMessage("Unpacking JRE done");
    }
}

void unpackJarsIn(const char* javaHome, const char* subdirectory, bool* started)
{
    bool localStarted = false;
    if (started == nullptr) {
        started = &localStarted;
    }
    char pattern[kTextCapacity];
    if (!formatText(pattern, sizeof pattern, "%s\\%s\\*%s", javaHome, subdirectory, kPackedJarSuffix)) {
        logMessage("path too long, packed files not searched in %s\\%s", javaHome, subdirectory);
        return;
    }
    WIN32_FIND_DATAA entry;
    UniqueFind find(FindFirstFileA(pattern, &entry));
    if (!find) {
        return;
    }
    do {
        size_t nameLength = std::strlen(entry.cFileName);
        // The search also matches directories, and matches through the short 8.3 names;
        // only a file whose own name ends in ".jar.pack" names a jar to restore.
        if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ||
            !endsWithIgnoringCase(entry.cFileName, nameLength, kPackedJarSuffix)) {
            continue;
        }
        int jarNameLength = static_cast<int>(nameLength - (sizeof kPackSuffix - 1));
        char jarPath[kTextCapacity];
        char packedPath[kTextCapacity];
        if (!formatText(jarPath, sizeof jarPath, "%s\\%s\\%.*s", javaHome, subdirectory, jarNameLength,
                        entry.cFileName) ||
            !formatText(packedPath, sizeof packedPath, "%s\\%s\\%s", javaHome, subdirectory, entry.cFileName)) {
            logMessage("path too long, not unpacked: %s\\%s\\%s", javaHome, subdirectory, entry.cFileName);
            continue;
        }
        logMessage("checking %s", jarPath);
        if (fileExists(jarPath)) {
            continue;
        }
        if (!*started) {
            logMessage("Unpacking JRE");
            // Once per start, however many files follow: unpacking takes a while and
            // the user should know why nothing seems to happen.
            fputs("Preparing JRE ...\n", stdout);
            fflush(stdout);
            *started = true;
        }
        unpackOneFile(javaHome, packedPath);
    } while (FindNextFileA(find.get(), &entry));
}

void unpackOneFile(const char* javaHome, const char* packedPath)
{
    size_t packedLength = std::strlen(packedPath);
    // Cutting ".pack" off anything else would name the wrong output, and the unpacker
    // removes its input.
    if (!endsWithIgnoringCase(packedPath, packedLength, kPackSuffix)) {
        logMessage("not a packed file: %s", packedPath);
        return;
    }
    char jarPath[kTextCapacity];
    if (!formatText(jarPath, sizeof jarPath, "%.*s", static_cast<int>(packedLength - (sizeof kPackSuffix - 1)),
                    packedPath)) {
        logMessage("path too long, not unpacked: %s", packedPath);
        return;
    }
    if (!fileExists(packedPath)) {
        logMessage("pack path doesn't exists");
        return;
    }

    char program[kTextCapacity];
    char arguments[kArgumentsCapacity];
    char commandLine[kCommandLineCapacity];
    if (!formatText(program, sizeof program, "%s\\bin\\unpack200.exe", javaHome) ||
        !formatText(arguments, sizeof arguments, "-r \"%s\" \"%s\"", packedPath, jarPath) ||
        !formatText(commandLine, sizeof commandLine, "\"%s\" %s", program, arguments)) {
        logMessage("path too long, not unpacked: %s", packedPath);
        return;
    }
    logMessage("%s", program);
    logMessage("%s", arguments);

    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
    PROCESS_INFORMATION info{};
    // The unpacker inherits the launcher's inheritable handles, so that in the service
    // child its output goes where the launcher's own goes.
    if (!CreateProcessA(nullptr, commandLine, nullptr, nullptr, TRUE, NORMAL_PRIORITY_CLASS, nullptr, nullptr,
                        &startup, &info)) {
        logMessage("could not create unpack process");
        fatalConfigError(cfg::msgInternalError, "20");
    }
    UniqueHandleNull process(info.hProcess);
    UniqueHandleNull thread(info.hThread);

    logMessage("waiting for unpack200 to finish");
    WaitForSingleObject(process.get(), INFINITE);
    logMessage("unpack done");

    if (!unpackSucceeded(process.get(), jarPath)) {
        return;
    }
    // The unpacker normally removed its input already (-r).
    if (!DeleteFileA(packedPath)) {
        DWORD error = GetLastError();
        if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND) {
            logMessage("could not delete packed file (error %d)", static_cast<int>(error));
        }
    }
}
