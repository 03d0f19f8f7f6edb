// The keys of [output]: sizes with or without a unit, wrong values refused at their place,
// the system's temporary directory for desktop launchers only, the roll by time, age,
// compression and capture keys, and their round trip.
#include "packager_test_support.h"

#include "format/record_ids.h"
#include "model/launcher_variables.h"
#include "packaging/descriptor/build.h"
#include "packaging/descriptor/writer.h"
#include "packaging/example/example_config.h"
#include "packaging/launcher/reader.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

namespace {

using namespace packagertest;

TEST(OutputKeys, SizesWithOrWithoutAUnitGiveBytes)
{
    const struct {
        const char* lines;  // in [output]
        std::string maxSize;
        std::string keep;
    } cases[] = {
        {"", "10485760", "5"},
        {"max_size = 0\n", "0", "5"},
        {"max_size = 1048576\nkeep = 3\n", "1048576", "3"},
        {"max_size = \"1 MB\"\n", "1048576", "5"},
        {"max_size = \"1MB\"\n", "1048576", "5"},
        {"max_size = \"512 kb\"\n", "524288", "5"},
        {"max_size = \"2  Gb\"\n", "2147483648", "5"},
        {"max_size = \"1024 GB\"\n", "1099511627776", "5"},
        {"max_size = \"1000\"\n", "1000", "5"},
        {"max_size = \"0 MB\"\nkeep = 0\n", "0", "0"},
        {"keep = 1000\n", "10485760", "1000"},
    };
    for (const auto& c : cases) {
        std::string text = serviceDescriptor(std::string("[output]\n") + c.lines);
        Built built = build(text);
        ASSERT_TRUE(built.ok) << text << packager::formatDiagnostic(built.errors.front());
        EXPECT_EQ(value(built.result.block, cfg::outputMaxSize), c.maxSize) << c.lines;
        EXPECT_EQ(value(built.result.block, cfg::outputKeep), c.keep) << c.lines;
    }
}

TEST(OutputKeys, WrongValuesAreRefusedWithTheirPlace)
{
    const std::string forms = "; give bytes, or a number with \"KB\", \"MB\" or \"GB\", such as \"10 MB\"";
    const struct {
        const char* lines;  // in [output], from line 4
        std::string error;
    } cases[] = {
        {"max_size = -1\n", "4:12: error: output.max_size must be between 0 and 1099511627776 bytes (1024 GB), not -1"},
        {"max_size = 1099511627777\n",
         "4:12: error: output.max_size must be between 0 and 1099511627776 bytes (1024 GB), not 1099511627777"},
        {"max_size = \"1025 GB\"\n",
         "4:12: error: output.max_size must be between 0 and 1099511627776 bytes (1024 GB), not 1100585369600"},
        {"max_size = \"99999999999999999999\"\n",
         "4:12: error: output.max_size \"99999999999999999999\" is too large" + forms},
        {"max_size = \"9999999999 GB\"\n", "4:12: error: output.max_size \"9999999999 GB\" is too large" + forms},
        {"max_size = \"10 XB\"\n", "4:12: error: output.max_size \"10 XB\" has no unit the launcher knows" + forms},
        {"max_size = \"10 MB \"\n", "4:12: error: output.max_size \"10 MB \" has no unit the launcher knows" + forms},
        {"max_size = \"10 MiB\"\n", "4:12: error: output.max_size \"10 MiB\" has no unit the launcher knows" + forms},
        {"max_size = \"MB\"\n", "4:12: error: output.max_size \"MB\" does not begin with a number" + forms},
        {"max_size = \"-1 MB\"\n", "4:12: error: output.max_size \"-1 MB\" does not begin with a number" + forms},
        {"max_size = \"\"\n", "4:12: error: output.max_size \"\" does not begin with a number" + forms},
        {"max_size = 1.5\n",
         "4:12: error: output.max_size must be a byte count or a size such as \"10 MB\", not a number"},
        {"max_size = true\n",
         "4:12: error: output.max_size must be a byte count or a size such as \"10 MB\", not a boolean"},
        {"keep = -1\n", "4:8: error: output.keep must be between 0 and 1000, not -1"},
        {"keep = 1001\n", "4:8: error: output.keep must be between 0 and 1000, not 1001"},
        {"keep = \"5\"\n", "4:8: error: output.keep must be an integer, not a string"},
    };
    for (const auto& c : cases) {
        expectTheOneError(serviceDescriptor(std::string("[output]\n") + c.lines), c.error, c.lines);
    }
}

// The system's temporary directory is shared by every user: a service launcher may not name
// its output files there, a desktop launcher (which writes to its user's own) may.
TEST(OutputKeys, TheSystemTemporaryDirectoryIsForDesktopKindsOnly)
{
    const std::string why =
        ", the system's temporary directory, which every user can write to: another user could create the "
        "service's file there first to read or change its output or to stop its start, or put a link in its place; "
        "use a path relative to the executable's directory (only the launcher.kind \"gui\" and \"message-boxes\" "
        "accept this folder)";
    const struct {
        const char* kindLines;  // from line 3; [output] follows
        int outputLine;         // of the first [output] key
        bool service;
    } kinds[] = {
        {"", 4, true},
        {"[launcher]\nkind = \"service\"\n", 6, true},
        {"start = \"demand\"\n", 5, true},
        {"[launcher]\nkind = \"gui\"\n", 6, false},
        {"[launcher]\nkind = \"message-boxes\"\n", 6, false},
    };
    const struct {
        const char* key;
        int32_t record;
        int32_t redirection;
        const char* name;
    } names[] = {
        {"stderr", cfg::stderrFile, cfg::redirectStderr, "${launcher:sys.tempDir}demo_error.log"},
        {"stdout", cfg::stdoutFile, cfg::redirectStdout, "${installer:sys.tempDir}\\logs\\out.log"},
        {"stderr", cfg::stderrFile, cfg::redirectStderr, "${installer:sys.tempDir}"},
        {"stdout", cfg::stdoutFile, cfg::redirectStdout, "${launcher:sys.launcherDirectory}\\${launcher:sys.tempDir}"},
    };
    for (const auto& kind : kinds) {
        for (const auto& name : names) {
            const std::string fileName = name.name;
            std::string quoted;
            for (char c : fileName) {
                quoted += c == '\\' ? std::string("\\\\") : std::string(1, c);
            }
            std::string text = serviceDescriptor(std::string(kind.kindLines) + "[output]\n" + name.key + " = \"" +
                                                 quoted + "\"\n");
            std::string label = std::string(kind.kindLines) + name.key + " = " + fileName;
            if (kind.service) {
                const size_t at = fileName.rfind("${");
                const std::string reference = fileName.substr(at, fileName.find('}', at) + 1 - at);
                expectTheOneError(text,
                                  std::to_string(kind.outputLine) + ":" + std::to_string(std::string(name.key).size() + 4) +
                                      ": error: output." + name.key + " refers to " + reference + why,
                                  label);
            } else {
                Built built = build(text);
                ASSERT_TRUE(built.ok) << label << ": " << packager::formatDiagnostic(built.errors.front());
                EXPECT_EQ(value(built.result.block, name.record), fileName) << label;
                EXPECT_EQ(value(built.result.block, name.redirection), "1") << label;
            }
        }
    }
    // The example service, described and built again as a descriptor of its own, passes the check.
    packager::PackagedLauncher example;
    std::string error;
    ASSERT_TRUE(packager::readPackagedLauncher(launcherBytes(packager::exampleServiceBlock()), &example, &error)) << error;
    Built rebuilt = build(packager::describeLauncher(example, {}, "demo.exe").descriptor);
    EXPECT_TRUE(rebuilt.ok) << (rebuilt.errors.empty() ? "" : packager::formatDiagnostic(rebuilt.errors.front()));
    // The message for a reference nothing resolves no longer recommends the shared folder.
    Built unknown = build(serviceDescriptor("[launcher]\nkind = \"gui\"\n[output]\nstderr = \"${TEMP}\\\\e.log\"\n"));
    ASSERT_EQ(unknown.errors.size(), 1u);
    EXPECT_EQ(unknown.errors[0].message.find("sys.tempDir"), std::string::npos) << unknown.errors[0].message;
}

// An output file's name takes every variable the launcher replaces, in both of its forms;
// a %NAME% that it would take literally is refused with the variables to use instead.
TEST(OutputKeys, NamesTakeTheLauncherVariablesAndRefuseOtherPercentReferences)
{
    for (const launchervars::Variable& variable : launchervars::kVariables) {
        if (variable.meaning == launchervars::Meaning::systemTemp) {
            continue;  // refused for a service above
        }
        const std::string fileName = std::string(variable.reference) + "/out.log";
        Built built = build(serviceDescriptor("[output]\nstdout = \"" + fileName + "\"\n"));
        ASSERT_TRUE(built.ok) << fileName << ": " << packager::formatDiagnostic(built.errors.front());
    }
    for (const char* fileName : {"logs/100%.log", "a%%b.log", "%.log", "50% of %"}) {
        Built built = build(serviceDescriptor(std::string("[output]\nstderr = \"") + fileName + "\"\n"));
        EXPECT_TRUE(built.ok) << fileName << ": " << (built.ok ? "" : packager::formatDiagnostic(built.errors.front()));
    }
    const std::string hint =
        "; use ${launcher:sys.programData} (the machine's application-data folder, which a service under any account "
        "can write to), ${launcher:sys.serviceName} (the service's name, so that two services of one executable keep "
        "apart), ${launcher:sys.launcherDirectory} or ${launcher:sys.launcherTempDirectory}, or a path relative to "
        "the executable's directory";
    const std::string literally =
        ", which stays as it is written: neither the launcher nor the runtime library replaces an environment "
        "variable in an output file's name (a service does not see the environment of the user who installed it)";
    const struct {
        const char* line;  // in [output], line 4
        std::string error;
    } cases[] = {
        {"stdout = \"%ProgramData%\\\\ticker\\\\out.log\"\n",
         "4:10: error: output.stdout holds %ProgramData%" + literally + hint},
        {"stderr = \"${launcher:sys.programData}\\\\%COMPUTERNAME%.log\"\n",
         "4:10: error: output.stderr holds %COMPUTERNAME%" + literally + hint},
        {"stderr = \"%ProgramFiles(x86)%\\\\e.log\"\n", "4:10: error: output.stderr holds %ProgramFiles(x86)%" + literally + hint},
        // The launcher's percent forms are written in capitals.
        {"stderr = \"%quill_exedir%e.log\"\n", "4:10: error: output.stderr holds %quill_exedir%" + literally + hint},
        {"stdout = \"${TEMP}\\\\o.log\"\n",
         "4:10: error: output.stdout refers to ${TEMP}, which nothing resolves when the application starts (a service "
         "does not see the environment of the user who installed it)" + hint},
    };
    for (const auto& c : cases) {
        expectTheOneError(serviceDescriptor(std::string("[output]\n") + c.line), c.error, c.line);
    }
}

// roll, keep_days, compress and capture: their records, the settings that only go with a
// roll by time, and the capture file's variables, which the service process resolves itself.
TEST(OutputKeys, RollAgeCompressionAndCaptureTheirRecordsAndRefusals)
{
    const struct {
        const char* lines;  // in [output]
        std::map<int32_t, std::string> records;
    } accepted[] = {
        {"", {{cfg::outputRoll, "none"}, {cfg::outputKeepDays, "0"}, {cfg::outputCompress, "0"},
              {cfg::outputCapture, "logs\\${launcher:sys.serviceName}.log"}}},
        {"roll = \"daily\"\nkeep_days = 30\ncompress = true\nkeep = 60\n",
         {{cfg::outputRoll, "daily"}, {cfg::outputKeepDays, "30"}, {cfg::outputCompress, "1"}, {cfg::outputKeep, "60"}}},
        {"roll = \"hourly\"\nkeep_days = 36500\n", {{cfg::outputRoll, "hourly"}, {cfg::outputKeepDays, "36500"}}},
        {"capture = \"\"\n", {{cfg::outputCapture, ""}}},
        {"capture = \"${launcher:sys.programData}\\\\Demo\\\\${launcher:sys.serviceName}.out\"\n",
         {{cfg::outputCapture, "${launcher:sys.programData}\\Demo\\${launcher:sys.serviceName}.out"}}},
        {"capture = \"${launcher:sys.launcherDirectory}..\\\\logs\\\\all.log\"\n",
         {{cfg::outputCapture, "${launcher:sys.launcherDirectory}..\\logs\\all.log"}}},
        // The same name as a stream that is not redirected is no conflict.
        {"capture = \"out.log\"\nstdout = \"out.log\"\nredirect_stdout = false\n", {{cfg::outputCapture, "out.log"}}},
        // The capture file switches no redirection of the application's own streams.
        {"capture = \"c.log\"\n", {{cfg::redirectStdout, "0"}, {cfg::redirectStderr, "0"}}},
    };
    for (const auto& c : accepted) {
        std::string text = serviceDescriptor(std::string("[output]\n") + c.lines);
        Built built = build(text);
        ASSERT_TRUE(built.ok) << text << packager::formatDiagnostic(built.errors.front());
        for (const auto& record : c.records) {
            EXPECT_EQ(value(built.result.block, record.first), record.second) << c.lines << record.first;
        }
    }
    const std::string unknownHere =
        ", which the service process does not know when it writes the captured output; it may use "
        "${launcher:sys.serviceName}, ${launcher:sys.programData} and ${launcher:sys.launcherDirectory}";
    const struct {
        const char* lines;  // in [output], from line 4
        std::string error;
    } refused[] = {
        {"roll = \"weekly\"\n", "4:8: error: output.roll must be one of \"none\", \"daily\", \"hourly\", not \"weekly\""},
        {"keep_days = 7\n", "4:13: error: output.keep_days needs roll = \"daily\" or \"hourly\": the numbered names of "
                            "roll = \"none\" carry no date"},
        {"roll = \"none\"\ncompress = true\n",
         "5:12: error: output.compress needs roll = \"daily\" or \"hourly\": a numbered name changes at every "
         "rotation, while its compression may still be reading it"},
        {"keep_days = 36501\n", "4:13: error: output.keep_days must be between 0 and 36500, not 36501"},
        {"capture = \"${launcher:sys.jvmHome}\\\\c.log\"\n",
         "4:11: error: output.capture refers to ${launcher:sys.jvmHome}" + unknownHere},
        {"capture = \"${launcher:sys.launcherTempDirectory}c.log\"\n",
         "4:11: error: output.capture refers to ${launcher:sys.launcherTempDirectory}" + unknownHere},
        {"capture = \"%QUILL_TEMPDIR%c.log\"\n", "4:11: error: output.capture refers to %QUILL_TEMPDIR%" + unknownHere},
        {"capture = \"Logs/App.log\"\nstdout = \"logs\\\\app.log\"\n",
         "4:11: error: output.capture names the file of output.stdout: the service process and the application would "
         "both write it, and each rotate it under the other's writes; name a file of its own"},
    };
    for (const auto& c : refused) {
        expectTheOneError(serviceDescriptor(std::string("[output]\n") + c.lines), c.error, c.lines);
    }
    // The service process writes into a shared folder with its own rights, whatever the kind.
    Built shared = build(serviceDescriptor("[launcher]\nkind = \"gui\"\n[output]\ncapture = \"${launcher:sys.tempDir}c.log\"\n"));
    ASSERT_EQ(shared.errors.size(), 1u);
    EXPECT_NE(shared.errors[0].message.find("output.capture refers to ${launcher:sys.tempDir}, the system's temporary"),
              std::string::npos)
        << shared.errors[0].message;
}

// Inspect shows a size in the largest unit that divides it, and a record no value of the
// key gives stays a record; either way the build gives the launcher again byte for byte.
TEST(RoundTrip, OutputLimitComesBackAsItsKeysOrRecords)
{
    const struct {
        const char* lines;
        std::vector<std::string> inspected;
        bool records;  // the inspected descriptor has a [records] section
    } cases[] = {
        {"", {"max_size = \"10 MB\"", "keep = 5"}, false},
        {"[output]\nmax_size = 0\nkeep = 0\n", {"max_size = 0", "keep = 0"}, false},
        {"[output]\nmax_size = 1000\nkeep = 1000\n", {"max_size = 1000", "keep = 1000"}, false},
        {"[output]\nmax_size = 1536\n", {"max_size = 1536"}, false},
        {"[output]\nmax_size = \"3 kb\"\n", {"max_size = \"3 KB\""}, false},
        {"[output]\nmax_size = 1073741824\n", {"max_size = \"1 GB\""}, false},
        {"[output]\nmax_size = \"2048 MB\"\n", {"max_size = \"2 GB\""}, false},
        {"[output]\nmax_size = \"1024 GB\"\n", {"max_size = \"1024 GB\""}, false},
        {"[records]\n30010 = \"010\"\n", {"\"30010\" = \"010\""}, true},
        {"[records]\n30010 = \"10 MB\"\n", {"\"30010\" = \"10 MB\""}, true},
        {"[records]\n30010 = \"-5\"\n", {"\"30010\" = \"-5\""}, true},
        {"[records]\n30010 = \"1099511627777\"\n", {"\"30010\" = \"1099511627777\""}, true},
        {"[records]\n30011 = \"1001\"\n", {"\"30011\" = \"1001\""}, true},
        {"[output]\nroll = \"hourly\"\nkeep_days = 14\ncompress = true\ncapture = \"\"\n",
         {"roll = \"hourly\"", "keep_days = 14", "compress = true", "capture = \"\""}, false},
        {"", {"roll = \"none\"", "keep_days = 0", "compress = false",
              "capture = \"logs\\\\${launcher:sys.serviceName}.log\""}, false},
        {"[records]\n30016 = \"weekly\"\n", {"\"30016\" = \"weekly\""}, true},
    };
    for (const auto& c : cases) {
        Built built = build(serviceDescriptor(c.lines));
        ASSERT_TRUE(built.ok) << c.lines << packager::formatDiagnostic(built.errors.front());
        packager::Description description;
        auto [first, second] = roundTrip(built.result.block, &description);
        EXPECT_TRUE(description.rebuildsIdentically) << description.descriptor;
        EXPECT_TRUE(description.notes.empty()) << description.notes.front();
        EXPECT_EQ(first, second) << description.descriptor;
        for (const std::string& line : c.inspected) {
            EXPECT_NE(description.descriptor.find("\n" + line + "\n"), std::string::npos)
                << line << "\n" << description.descriptor;
        }
        EXPECT_EQ(description.descriptor.find("[records]") != std::string::npos, c.records) << description.descriptor;
    }
}

} // namespace
