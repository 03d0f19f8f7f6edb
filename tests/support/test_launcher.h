// Test support: packaged launchers in fresh directories, run as a user would, and the
// files they leave (the diagnostic log above all).
#pragma once

#include "packaging/launcher/writer.h"
#include "support/process_runner.h"
#include "support/scratch_directory.h"

#include <string>
#include <thread>
#include <vector>

// The built launcher image (LAUNCHER_IMAGE, a Linux path, seen through Wine's Z: drive).
std::wstring launcherImage();
std::wstring winePathOf(const std::string& unixPath);

std::string toUtf8(const std::wstring& text);
std::wstring fromUtf8(const std::string& text);

std::vector<uint8_t> readBytes(const std::wstring& path);
std::string readText(const std::wstring& path);
bool writeBytes(const std::wstring& path, const std::vector<uint8_t>& bytes);
bool pathExists(const std::wstring& path);
// Names (not paths) of the entries matching a pattern such as L"dpk_nlog_*".
std::vector<std::wstring> listNames(const std::wstring& directory, const std::wstring& pattern);

// The launcher image with `block` appended, written as `name` into `directory`.
std::wstring packageLauncher(const ScratchDirectory& directory, const blockformat::ConfigBlock& block,
                             const std::wstring& name = L"app.exe");
// The example service configuration with errors on standard error.
blockformat::ConfigBlock serviceBlock();

struct LauncherRun {
    ProcessResult result;   // raw output: a console shows every line end as CR LF
    std::string out;        // standard output and error with CR LF turned into LF
    std::string err;
    std::string shown;      // err without the "\n\nLog: <log path>" that follows each message
    std::string log;        // the diagnostic log, "" when none was written
    std::wstring logPath;
};

// Runs a launcher with TMP pointing at `tmpDirectory`; with `log` the diagnostic log is
// on (QUILL_LOG=yes) and read back afterwards.
LauncherRun runLauncherIn(const std::wstring& exe, const std::vector<std::wstring>& arguments,
                          const std::wstring& tmpDirectory, bool log = true, ProcessOptions options = {});
LauncherRun runLauncher(const std::wstring& exe, const std::vector<std::wstring>& arguments,
                        const ScratchDirectory& directory, bool log = true, ProcessOptions options = {});
// Several runs at once, each in a thread with a temporary directory of its own inside
// `directory` ("run<n>"). Wine's service dispatcher takes seconds to give up in a process
// that the service manager did not start, so such runs are worth overlapping.
class LaunchersTogether {
public:
    LaunchersTogether(const std::wstring& exe, const std::vector<std::vector<std::wstring>>& commandLines,
                      const ScratchDirectory& directory, const ProcessOptions& options = {});
    ~LaunchersTogether();  // joins
    LaunchersTogether(const LaunchersTogether&) = delete;
    LaunchersTogether& operator=(const LaunchersTogether&) = delete;

    // A semaphore (a HANDLE) released once as each run ends, for a test that waits for
    // runs to end while others are still running.
    HANDLE endings() const { return endings_; }
    // Waits for every run to end; the runs in the order of their command lines.
    std::vector<LauncherRun> join();

private:
    std::vector<LauncherRun> runs_;
    HANDLE endings_;
    std::vector<std::thread> threads_;
};
std::vector<LauncherRun> runLaunchersTogether(const std::wstring& exe,
                                              const std::vector<std::vector<std::wstring>>& commandLines,
                                              const ScratchDirectory& directory);

std::string withoutCarriageReturns(const std::string& text);

// The lines of a log, without their CR LF ends.
std::vector<std::string> linesOf(const std::string& text);
bool containsLine(const std::string& text, const std::string& line);
