// Live launches for the Java side's contract test. Each situation is a launcher packaged
// from a configuration block and run under Wine the way a user or the service process runs
// it, next to a stand-in runtime whose jvm.dll records the VM options, the class whose main
// was called and main's argument array. java/contract/com/quill/runtime/ContractTest.java
// then starts each recording on the real JVM with the runtime library and checks what the
// application sees there; contract_test.sh runs the two one after the other.
//
// CONTRACT_RECORDINGS (a Linux path, drive Z: to Wine) receives:
//   option-code-page              the code page of the VM options' bytes in the records
//   <situation>\record            what the stand-in recorded
//   <situation>\app\bin\app.exe   the launcher, with the files the situation put beside it
//   <situation>\app\jre\          the stand-in runtime
//   <situation>\dpk_nlog_*        the launcher's diagnostic log
// A situation's name is the Java test's name for it; the expectations live there.
#include "format/record_ids.h"
#include "support/launch_environment.h"  // forgetRegistryEntries
#include "packaging/launcher/writer.h"
#include "support/jni_standin.h"
#include "support/test_launcher.h"
#include "support/test_runtime.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

namespace {

struct Situation {
    std::wstring name;
    std::vector<std::pair<int32_t, std::string>> config;      // over the base block
    std::vector<std::pair<std::wstring, std::string>> files;  // written into app\bin first
    std::wstring commandLine;                                 // after the launcher's path
    std::string input;                                        // standard input; empty: none
};

// The example service, quill flavour, its runtime found in ..\jre, nothing redirected, no
// options, class path or default arguments: each situation adds what it is about.
blockformat::ConfigBlock baseBlock()
{
    blockformat::ConfigBlock block = serviceBlock();
    for (const auto& [id, value] : std::vector<std::pair<int32_t, std::string>>{
             {cfg::flavourLetter, "q"}, {cfg::jvmSearchSequence, "B..\\jre;"}, {cfg::minJavaVersion, "1.7"},
             {cfg::maxJavaVersion, "1.8"}, {cfg::mainClass, "com.example.demo.Main"}, {cfg::classPath, ""},
             {cfg::vmParameters, ""}, {cfg::defaultArguments, ""}, {cfg::redirectStderr, "0"},
             {cfg::stderrFile, ""}, {cfg::redirectStdout, "0"}, {cfg::stdoutFile, ""}}) {
        block.set(id, value);
    }
    return block;
}

const std::vector<Situation>& situations()
{
    static const std::vector<Situation> list = {
        // "/run" of a graphical launcher: redirection configured but left to the console (one
        // name holds a reference only the Java side could resolve), configured options, a
        // vmoptions file, default arguments, "-J" options, a locale argument, and arguments
        // with blanks, both quotes, an empty one and text beyond ASCII.
        {L"console",
         {{cfg::launcherKind, "1"},
          {cfg::redirectStderr, "1"},
          {cfg::stderrFile, "logs\\err.log"},
          {cfg::redirectStdout, "1"},
          {cfg::stdoutFile, "${installer:app.dir}\\out.log"},
          {cfg::vmParameters, "\"-Dcontract.configured=a b\" -Xmx64m"},
          {cfg::defaultArguments, "--config 'a b' \"c d\""},
          {cfg::passJArguments, "1"}},
         {{L"app.vmoptions", "-Dcontract.vmoptions=from file\n"}},
         L"/run first -J-Dcontract.j=1 -Dsun.locale.formatasdefault=false \"two words\" 'say \"hi\"' \"it's\" \"\" "
         L"gr\u00fc\u00dfe \u20ac\u4e2d -J-Dcontract.text=gr\u00fc\u00dfe",
         ""},
        // "/run-redirect" in the deploykit flavour from a directory whose name is beyond
        // ASCII: both streams into files beside the launcher, appended to what is there.
        {L"redirect-\u00fc",
         {{cfg::flavourLetter, "d"},
          {cfg::redirectStderr, "1"},
          {cfg::stderrFile, "logs\\err.log"},
          {cfg::redirectStdout, "1"},
          {cfg::stdoutFile, "out.log"},
          {cfg::redirectAppendFlag, "1"}},
         {{L"out.log", "before\n"}},
         L"/run-redirect alpha \"b c\"",
         ""},
        // "/run-redirect" with nothing redirected and no arguments: the shortest array.
        {L"bare", {}, {}, L"/run-redirect", ""},
        // "/run-redirect" with both streams into one file under a size limit of 1 MB, three
        // older files kept, as the packager writes them; the writer application is given
        // its lines on the Java side.
        {L"rotate",
         {{cfg::mainClass, "com.example.demo.Writer"},
          {cfg::redirectStderr, "1"},
          {cfg::stderrFile, "logs\\app.log"},
          {cfg::redirectStdout, "1"},
          {cfg::stdoutFile, "logs\\app.log"},
          {cfg::redirectAppendFlag, "1"},
          {cfg::outputMaxSize, "1048576"},
          {cfg::outputKeep, "3"}},
         {},
         L"/run-redirect",
         ""},
        // The same file rolled by day as well, the rolled files kept for 30 days and
        // compressed.
        {L"roll",
         {{cfg::mainClass, "com.example.demo.Writer"},
          {cfg::redirectStderr, "1"},
          {cfg::stderrFile, "logs\\app.log"},
          {cfg::redirectStdout, "1"},
          {cfg::stdoutFile, "logs\\app.log"},
          {cfg::redirectAppendFlag, "1"},
          {cfg::outputMaxSize, "1048576"},
          {cfg::outputKeep, "3"},
          {cfg::outputRoll, "daily"},
          {cfg::outputKeepDays, "30"},
          {cfg::outputCompress, "1"}},
         {},
         L"/run-redirect",
         ""},
        // The service's child as the service process starts it (the service name, the
        // service's own arguments, the marker), standard input the service's stop pipe:
        // standard error into the system's temporary directory, default arguments.
        {L"service-child",
         {{cfg::redirectStderr, "1"},
          {cfg::stderrFile, "${installer:sys.tempDir}\\demo_error.log"},
          {cfg::redirectAppendFlag, "0"},
          {cfg::defaultArguments, "'from config'"}},
         {},
         L"DemoService own \"two words\" __dpk_restart",
         "0\n"},
    };
    return list;
}

// Removes the version cache entry and recorded process id of a situation's launcher, also
// when the recording fails.
class RegistryCleanup {
public:
    explicit RegistryCleanup(std::wstring directory) : directory_(std::move(directory))
    {
        forgetRegistryEntries(directory_);
    }
    ~RegistryCleanup() { forgetRegistryEntries(directory_); }
    RegistryCleanup(const RegistryCleanup&) = delete;
    RegistryCleanup& operator=(const RegistryCleanup&) = delete;

private:
    std::wstring directory_;
};

void record(const std::wstring& root, const Situation& situation)
{
    const std::wstring dir = root + L"\\" + situation.name;
    const std::wstring bin = dir + L"\\app\\bin";
    RegistryCleanup cleanup(dir);
    RuntimeLayout layout;
    layout.jvmDll = "jvm.dll";
    ASSERT_FALSE(layOutRuntime(dir + L"\\app\\jre", layout).empty()) << "stand-ins missing (STANDIN_DIR)";
    ASSERT_TRUE(makeDirectories(bin));

    blockformat::ConfigBlock block = baseBlock();
    for (const auto& [id, value] : situation.config) block.set(id, value);
    const std::wstring exe = bin + L"\\app.exe";
    std::string error;
    // The packager's paths are narrow: in the ANSI code page under Windows.
    ASSERT_TRUE(packager::writeLauncher(narrowPath(launcherImage()), block, narrowPath(exe), &error)) << error;
    for (const auto& [name, text] : situation.files) ASSERT_TRUE(writeTextFile(bin + L"\\" + name, text));

    const std::wstring recordPath = dir + L"\\record";
    jnistandin::Behaviour behaviour;
    behaviour.record = toUtf8(recordPath);
    // The service child's Java side reads its stop line, as the runtime library does.
    behaviour.main = situation.input.empty() ? "return" : "stdin";
    ASSERT_TRUE(jnistandin::writeControl(jnistandin::controlBeside(dir + L"\\app\\jre\\bin\\server\\jvm.dll"),
                                         behaviour));

    ProcessOptions options;
    options.input = situation.input;
    options.unsetEnv = {L"JAVA_HOME", L"JDK_HOME", L"QUILL_JAVA_HOME", L"DEPLOYKIT_JAVA_HOME",
                        L"STANDIN_JVM_CONTROL", L"STANDIN_JVM_RECORD"};
    // The whole tail as one piece: the command line is exactly what the situation says.
    LauncherRun run = runLauncherIn(exe, {situation.commandLine}, dir, true, options);
    jnistandin::Record recorded = jnistandin::readRecord(recordPath);
    const std::string described = "exit code " + std::to_string(run.result.exitCode) + "\n--- stderr\n" + run.err +
                                  "\n--- record\n" + recorded.dump() + "\n--- log\n" + run.log;
    EXPECT_EQ(0u, run.result.exitCode) << described;
    EXPECT_EQ(1u, recorded.count("main")) << "main of the runtime class was not called once\n" << described;
}

TEST(ContractRecordings, EachSituation)
{
    const char* root = std::getenv("CONTRACT_RECORDINGS");
    ASSERT_NE(nullptr, root) << "CONTRACT_RECORDINGS names no directory";
    ASSERT_FALSE(launcherImage().empty()) << "LAUNCHER_IMAGE names no launcher image";
    const std::wstring rootPath = winePathOf(root);
    ASSERT_TRUE(makeDirectories(rootPath));
    // The launcher passes VM options in the code page of the file functions, as a VM reads them.
    const UINT codePage = AreFileApisANSI() ? GetACP() : GetOEMCP();
    ASSERT_TRUE(writeTextFile(rootPath + L"\\option-code-page", std::to_string(codePage) + "\n"));
    for (const Situation& situation : situations()) {
        SCOPED_TRACE(toUtf8(situation.name));
        record(rootPath, situation);
    }
}

} // namespace
