// The keys of [service]: each value's records and no others, wrong values refused at their
// place, and their round trip through inspect, also for launchers without them.
#include "packager_test_support.h"

#include "format/record_ids.h"
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

TEST(ServiceKeys, EachValueGivesItsRecordsAndNoOthers)
{
    const std::map<int32_t, std::string> defaults = {
        {107, "4"}, {30000, "30"}, {30001, "0"}, {30002, "1"}, {30003, "60"}, {30004, "300"}, {30005, "5"},
        {30006, "<absent>"}, {30007, "LocalSystem"}, {30008, "<absent>"}, {30009, "1"}, {30014, "1"}, {30015, "1"},
        {30020, "0"},
    };
    const struct {
        const char* lines;
        std::map<int32_t, std::string> records;  // the others keep their defaults
    } cases[] = {
        {"", {}},
        {"stop_timeout = 0\n", {{30000, "0"}}},
        {"stop_timeout = 86400\n", {{30000, "86400"}}},
        {"restart = \"never\"\n", {{30001, "0"}}},
        {"restart = \"on-failure\"\n", {{30001, "1"}}},
        {"restart = \"always\"\n", {{30001, "2"}}},
        {"restart_delay = 0\nrestart_delay_max = 0\n", {{30002, "0"}, {30003, "0"}}},
        {"restart_delay = 86400\nrestart_delay_max = 86400\n", {{30002, "86400"}, {30003, "86400"}}},
        {"restart_delay = 60\n", {{30002, "60"}}},
        {"restart_reset = 0\n", {{30004, "0"}}},
        {"restart_reset = 864000\n", {{30004, "864000"}}},
        {"restart_limit = 0\n", {{30005, "0"}}},
        {"restart_limit = 1000\n", {{30005, "1000"}}},
        {"start = \"auto\"\n", {}},
        {"start = \"demand\"\n", {{107, "0"}}},
        {"start = \"delayed\"\n", {{30006, "delayed"}}},
        {"start = \"disabled\"\n", {{30006, "disabled"}}},
        {"start = \"delayed\"\n[launcher]\nkind = \"service\"\n", {{30006, "delayed"}}},
        {"start = \"demand\"\n[launcher]\nkind = \"gui\"\n", {{107, "1"}}},
        {"account = \"LocalSystem\"\n", {}},
        {"account = \"LocalService\"\n", {{30007, "LocalService"}}},
        {"account = \"NetworkService\"\n", {{30007, "NetworkService"}}},
        {"account = \"virtual\"\n", {{30007, "virtual"}}},
        {"account = \"CORP\\\\svc-app$\"\n", {{30007, "CORP\\svc-app$"}}},
        {"account = \"CORP\\\\Jane Doe\"\n", {{30007, "CORP\\Jane Doe"}}},
        {"account = \".\\\\jane\"\n", {{30007, ".\\jane"}}},
        {"account = \"corp.example.com\\\\j\\u00f6rg\"\n", {{30007, "corp.example.com\\j\xF6rg"}}},
        {"recovery = {}\n", {{30008, "60;86400;0"}}},
        {"recovery = { restart_after = 0 }\n", {{30008, "0;86400;0"}}},
        {"recovery = { non_crash_failures = true }\n", {{30008, "60;86400;1"}}},
        {"recovery = { restart_after = 86400, reset_after = 31536000, non_crash_failures = false }\n",
         {{30008, "86400;31536000;0"}}},
        {"[service.recovery]\nreset_after = 0\n", {{30008, "60;0;0"}}},
        {"event_log = false\n", {{30009, "0"}}},
        {"event_log = true\n", {}},
        {"grant_logon_right = false\n", {{30014, "0"}}},
        {"grant_logon_right = true\n", {}},
        {"preshutdown = false\n", {{30015, "0"}}},
        {"preshutdown = true\nstop_timeout = 0\n", {{30000, "0"}}},
        {"hang_timeout = 0\n", {}},
        {"hang_timeout = 10\n", {{30020, "10"}}},
        {"hang_timeout = 86400\n", {{30020, "86400"}}},
    };
    for (const auto& c : cases) {
        std::string text = serviceDescriptor(c.lines);
        Built built = build(text);
        ASSERT_TRUE(built.ok) << text << packager::formatDiagnostic(built.errors.front());
        for (auto [id, expected] : defaults) {
            auto given = c.records.find(id);
            EXPECT_EQ(value(built.result.block, id), given != c.records.end() ? given->second : expected)
                << c.lines << "record " << id;
        }
    }
}

TEST(ServiceKeys, WrongValuesAreRefusedWithTheirPlace)
{
    const std::string forms = "; give \"LocalSystem\", \"LocalService\", \"NetworkService\", \"virtual\", a group "
                              "managed service account \"DOMAIN\\name$\" or a user \"DOMAIN\\user\" (\".\\user\" "
                              "for a local one) or \"user@domain\"";
    const struct {
        const char* lines;  // from line 3
        std::string error;  // the one error line
    } cases[] = {
        {"stop_timeout = \"30\"\n", "3:16: error: service.stop_timeout must be an integer, not a string"},
        {"stop_timeout = 1.5\n", "3:16: error: service.stop_timeout must be an integer, not a number"},
        {"stop_timeout = -1\n", "3:16: error: service.stop_timeout must be between 0 and 86400, not -1"},
        {"stop_timeout = 86401\n", "3:16: error: service.stop_timeout must be between 0 and 86400, not 86401"},
        {"stop_timeout = 4294967326\n",
         "3:16: error: service.stop_timeout must be between 0 and 86400, not 4294967326"},
        {"restart_delay = 86401\n", "3:17: error: service.restart_delay must be between 0 and 86400, not 86401"},
        {"restart_delay_max = -5\n", "3:21: error: service.restart_delay_max must be between 0 and 86400, not -5"},
        {"restart_reset = 864001\n",
         "3:17: error: service.restart_reset must be between 0 and 864000, not 864001"},
        {"restart_limit = 1001\n", "3:17: error: service.restart_limit must be between 0 and 1000, not 1001"},
        {"restart = \"sometimes\"\n",
         "3:11: error: service.restart must be one of \"never\", \"on-failure\", \"always\", not \"sometimes\""},
        {"restart = true\n", "3:11: error: service.restart must be a string, not a boolean"},
        {"start = \"manual\"\n",
         "3:9: error: service.start must be one of \"auto\", \"demand\", \"delayed\", \"disabled\", not \"manual\""},
        {"restart_delay = 10\nrestart_delay_max = 5\n",
         "4:21: error: service.restart_delay_max 5 is below service.restart_delay 10: the longest delay before a "
         "restart cannot be shorter than the first"},
        {"restart_delay = 86401\nrestart_delay_max = 0\n",
         "3:17: error: service.restart_delay must be between 0 and 86400, not 86401"},
        {"restart_delay = 61\n",
         "3:17: error: service.restart_delay_max 60 is below service.restart_delay 61: the longest delay before a "
         "restart cannot be shorter than the first"},
        {"hang_timeout = 9\n",
         "3:16: error: service.hang_timeout 9 is below 10 seconds, within which a busy VM's collector may hold every "
         "thread; 0 turns the watch off"},
        {"hang_timeout = 1\n",
         "3:16: error: service.hang_timeout 1 is below 10 seconds, within which a busy VM's collector may hold every "
         "thread; 0 turns the watch off"},
        {"hang_timeout = 86401\n", "3:16: error: service.hang_timeout must be between 0 and 86400, not 86401"},
        {"event_log = \"yes\"\n", "3:13: error: service.event_log must be true or false, not a string"},
        {"grant_logon_right = \"no\"\n",
         "3:21: error: service.grant_logon_right must be true or false, not a string"},
        {"preshutdown = 1\n", "3:15: error: service.preshutdown must be true or false, not an integer"},
        {"recovery = 60\n",
         "3:12: error: service.recovery must be a table such as { restart_after = 60 }, not an integer"},
        {"recovery = { restart = 60 }\n", "3:14: error: unknown key 'service.recovery.restart'"},
        {"recovery = { restart_after = 86401 }\n",
         "3:30: error: service.recovery.restart_after must be between 0 and 86400, not 86401"},
        {"recovery = { restart_after = \"60\" }\n",
         "3:30: error: service.recovery.restart_after must be an integer, not a string"},
        {"recovery = { reset_after = 31536001 }\n",
         "3:28: error: service.recovery.reset_after must be between 0 and 31536000, not 31536001"},
        {"recovery = { non_crash_failures = 1 }\n",
         "3:35: error: service.recovery.non_crash_failures must be true or false, not an integer"},
        {"[service.recovery]\nrestart_after = -1\n",
         "4:17: error: service.recovery.restart_after must be between 0 and 86400, not -1"},
        {"start = \"delayed\"\n[launcher]\nkind = \"gui\"\n",
         "3:9: error: service.start \"delayed\" needs launcher.kind \"service\" (the launcher installs other kinds "
         "with demand start)"},
        {"start = \"disabled\"\n[launcher]\nkind = \"message-boxes\"\n",
         "3:9: error: service.start \"disabled\" needs launcher.kind \"service\" (the launcher installs other kinds "
         "with demand start)"},
        {"account = 5\n", "3:11: error: service.account must be a string, not an integer"},
        {"account = \"\"\n", "3:11: error: service.account \"\" is empty" + forms},
        {"account = \" LocalSystem\"\n",
         "3:11: error: service.account \" LocalSystem\" begins or ends with a blank" + forms},
        {"account = \"CORP\\\\jane \"\n",
         "3:11: error: service.account \"CORP\\jane \" begins or ends with a blank" + forms},
        {"account = \"jane\"\n",
         "3:11: error: service.account \"jane\" is no built-in account and names no domain" + forms},
        {"account = \"CORP\\\\jane@x\"\n",
         "3:11: error: service.account \"CORP\\jane@x\" holds a character no account name may hold (one of "
         "\"/[]:;|=,+*?<>@)" + forms},
        {"account = \"NT AUTHORITY\\\\SYSTEM\"\n",
         "3:11: error: service.account \"NT AUTHORITY\\SYSTEM\" names LocalSystem in a form the service manager does "
         "not take (use \"LocalSystem\")" + forms},
        {"account = \"CORP\\\\a\\\\b\"\n", "3:11: error: service.account \"CORP\\a\\b\" has more than one '\\'" + forms},
        {"account = \"\\\\jane\"\n", "3:11: error: service.account \"\\jane\" has an empty domain or user name" + forms},
        {"account = \"CORP\\\\\"\n", "3:11: error: service.account \"CORP\\\" has an empty domain or user name" + forms},
        {"account = \"CORP\\\\$\"\n",
         "3:11: error: service.account \"CORP\\$\" has an empty domain or user name" + forms},
        {"account = \"CORP \\\\jane\"\n",
         "3:11: error: service.account \"CORP \\jane\" has a blank beside its '\\'" + forms},
        {"account = \"CORP\\\\ja\\tne\"\n",
         "3:11: error: service.account \"CORP\\ja\\tne\" holds a control character" + forms},
        {"account = \"CORP\\\\ja:ne\"\n",
         "3:11: error: service.account \"CORP\\ja:ne\" holds a character no account name may hold (one of "
         "\"/[]:;|=,+*?<>@)" + forms},
        {"account = \"CORP\\\\\\u20acuro\"\n",
         "3:11: error: service.account holds a character the launcher cannot show (only ISO-8859-1 text is "
         "possible)"},
    };
    for (const auto& c : cases) {
        expectTheOneError(serviceDescriptor(c.lines), c.error, c.lines);
    }
}

// A hang timeout that watches nothing (the deploykit flavour, a runtime library jar older
// than the alive signal) or ends a frozen VM sooner than a stop ends one is noted.
TEST(ServiceKeys, AHangTimeoutThatWatchesNothingOrEndsSoonerThanAStopIsNoted)
{
    ScratchDirectory dir;
    const std::string current =
        dir.file("runtime-new.jar", "PK\x03\x04 com/quill/runtime/WinLauncher.class com/quill/runtime/ServiceSignals.class");
    const std::string older = dir.file("runtime-old.jar", "PK\x03\x04 com/quill/runtime/WinLauncher.class");
    const struct {
        const char* lines;
        std::string jar;
        std::string note;  // the one note on the hang timeout; "" for none
    } cases[] = {
        {"hang_timeout = 60\n", current, ""},
        {"hang_timeout = 0\n", older, ""},
        {"hang_timeout = 10\n", current,
         "service.hang_timeout 10 is below service.stop_timeout 30: a VM that gives no sign of life is ended sooner "
         "than one that does not stop"},
        {"hang_timeout = 60\n", older,
         "service.hang_timeout watches nothing here: the runtime library jar " + older +
             " is older than the watch and does not signal that its VM is alive"},
        {"hang_timeout = 60\n[launcher]\nflavour = \"deploykit\"\n", current,
         "service.hang_timeout watches nothing here: the deploykit flavour's runtime does not signal that its VM is "
         "alive, and /dump gets no answer from it"},
        {"hang_timeout = 0\n[launcher]\nflavour = \"deploykit\"\n", current, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.lines + c.jar);
        Built built = build(serviceDescriptor(c.lines), "service.toml", c.jar);
        ASSERT_TRUE(built.ok) << packager::formatDiagnostic(built.errors.front());
        std::vector<std::string> notes;
        for (const std::string& note : built.result.notes) {
            if (note.find("hang_timeout") != std::string::npos) notes.push_back(note);
        }
        EXPECT_EQ(c.note.empty() ? std::vector<std::string>{} : std::vector<std::string>{c.note}, notes);
    }
}

// Inspect of a launcher shows each value under its key, and its build gives the launcher
// again byte for byte.
TEST(RoundTrip, EveryServiceKeyComesBackAsItsKey)
{
    const struct {
        const char* lines;
        std::vector<std::string> inspected;  // lines of the inspected descriptor
    } cases[] = {
        {"start = \"delayed\"\nstop_timeout = 0\nrestart = \"on-failure\"\nrestart_delay = 5\nrestart_delay_max = 600\n"
         "restart_reset = 3600\nrestart_limit = 0\naccount = \"CORP\\\\svc$\"\n"
         "recovery = { restart_after = 120, reset_after = 3600, non_crash_failures = true }\nevent_log = false\n"
         "grant_logon_right = false\npreshutdown = false\nhang_timeout = 60\n",
         {"start = \"delayed\"", "stop_timeout = 0", "hang_timeout = 60", "restart = \"on-failure\"", "restart_delay = 5",
          "restart_delay_max = 600", "restart_reset = 3600", "restart_limit = 0", "account = \"CORP\\\\svc$\"",
          "recovery = { restart_after = 120, reset_after = 3600, non_crash_failures = true }", "event_log = false",
          "grant_logon_right = false", "preshutdown = false"}},
        {"start = \"disabled\"\nrestart = \"always\"\naccount = \".\\\\jane\"\nrecovery = {}\n",
         {"start = \"disabled\"", "restart = \"always\"", "account = \".\\\\jane\"",
          "recovery = { restart_after = 60, reset_after = 86400, non_crash_failures = false }",
          "stop_timeout = 30", "event_log = true", "grant_logon_right = true", "preshutdown = true"}},
        {"start = \"demand\"\naccount = \"virtual\"\n[launcher]\nkind = \"service\"\n",
         {"start = \"demand\"", "kind = \"service\"", "account = \"virtual\"", "restart = \"never\""}},
        {"start = \"auto\"\naccount = \"NetworkService\"\n", {"start = \"auto\"", "account = \"NetworkService\""}},
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
        EXPECT_EQ(description.descriptor.find("[records]"), std::string::npos) << description.descriptor;
        // No key, no record: the inspected descriptor names neither.
        bool recovery = std::string(c.lines).find("recovery") != std::string::npos;
        EXPECT_EQ(description.descriptor.find("\nrecovery = ") != std::string::npos, recovery) << c.lines;
    }
}

TEST(RoundTrip, ServiceRecordsNoKeyCanExpressStayRecords)
{
    const struct {
        const char* lines;
        std::vector<std::string> inspected;
    } cases[] = {
        {"[records]\n30006 = \"later\"\n", {"start = \"auto\"", "\"30006\" = \"later\""}},
        {"start = \"demand\"\n[records]\n30006 = \"delayed\"\n", {"start = \"demand\"", "\"30006\" = \"delayed\""}},
        {"[records]\n30006 = \"\"\n", {"start = \"auto\"", "\"30006\" = \"\""}},
        {"[records]\n30000 = \"90000\"\n", {"\"30000\" = \"90000\""}},
        {"[records]\n30000 = \"030\"\n", {"\"30000\" = \"030\""}},
        {"[records]\n30001 = \"3\"\n", {"\"30001\" = \"3\""}},
        {"[records]\n30007 = \"jane\"\n", {"\"30007\" = \"jane\""}},
        {"[records]\n30008 = \"60;86400\"\n", {"\"30008\" = \"60;86400\""}},
        {"[records]\n30008 = \"60;86400;2\"\n", {"\"30008\" = \"60;86400;2\""}},
        {"[records]\n30008 = \"60;86400;1;\"\n", {"\"30008\" = \"60;86400;1;\""}},
        {"[records]\n30008 = \"60;;1\"\n", {"\"30008\" = \"60;;1\""}},
        {"[records]\n30008 = \"86401;0;0\"\n", {"\"30008\" = \"86401;0;0\""}},
        {"[records]\n30009 = \"yes\"\n", {"\"30009\" = \"yes\""}},
        {"[records]\n30015 = \"2\"\n", {"\"30015\" = \"2\""}},
        // A hang timeout below the shortest the build takes, and one that is no number.
        {"[records]\n30020 = \"5\"\n", {"\"30020\" = \"5\""}},
        {"[records]\n30020 = \"ten\"\n", {"\"30020\" = \"ten\""}},
        // A maximum below the first delay: the key that the build refuses becomes a record.
        {"restart_delay = 10\n[records]\n30003 = \"5\"\n", {"restart_delay = 10", "\"30003\" = \"5\""}},
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
    }
}

TEST(RoundTrip, ALauncherWithoutTheServiceRecordsSaysSoAndStaysWithoutEmptyOnes)
{
    // As an older packager built it: none of the service wrapper's records.
    Built built = build(serviceDescriptor("start = \"demand\"\n"));
    ASSERT_TRUE(built.ok);
    ConfigBlock older = built.result.block;
    std::vector<blockformat::NarrowRecord> kept;
    for (const blockformat::NarrowRecord& record : older.narrow) {
        if (record.id < cfg::kFirstExtensionId || record.id > cfg::kLastExtensionId) {
            kept.push_back(record);
        }
    }
    older.narrow = kept;
    packager::Description description;
    auto [first, second] = roundTrip(older, &description);
    EXPECT_FALSE(description.rebuildsIdentically);
    EXPECT_EQ(description.notes,
              std::vector<std::string>{
                  "this launcher has no records 30000 (service.stop_timeout), 30001 (service.restart), 30002 "
                  "(service.restart_delay), 30003 (service.restart_delay_max), 30004 (service.restart_reset), 30005 "
                  "(service.restart_limit), 30007 (service.account), 30009 (service.event_log), 30014 "
                  "(service.grant_logon_right), 30015 (service.preshutdown), 30010 (output.max_size), 30011 "
                  "(output.keep), 30013 (java.strict_version), 30016 (output.roll), 30017 (output.keep_days), 30018 "
                  "(output.compress), 30019 (output.capture) and 30020 (service.hang_timeout), which this packager "
                  "writes; a build of the descriptor adds them with the packager's defaults, so the launcher it gives "
                  "differs there"});
    const std::string& text = description.descriptor;
    EXPECT_NE(text.find("\n# The launcher's settings as it reads them; `packager build` gives a launcher with other "
                        "bytes.\n"),
              std::string::npos)
        << text;
    for (const char* line : {"# stop_timeout = 30  # not in this launcher; a build writes this default",
                             "# max_size = \"10 MB\"  # not in this launcher; a build writes this default",
                             "# keep = 5  # not in this launcher; a build writes this default",
                             "# restart = \"never\"  # not in this launcher; a build writes this default",
                             "# account = \"LocalSystem\"  # not in this launcher; a build writes this default",
                             "# event_log = true  # not in this launcher; a build writes this default",
                             "# grant_logon_right = true  # not in this launcher; a build writes this default",
                             "# preshutdown = true  # not in this launcher; a build writes this default",
                             "start = \"demand\""}) {
        EXPECT_NE(text.find(std::string("\n") + line + "\n"), std::string::npos) << line << "\n" << text;
    }
    for (const char* absent : {"recovery", "\"300", "[records]"}) {
        EXPECT_EQ(text.find(absent), std::string::npos) << absent << "\n" << text;
    }
    // The build of the descriptor is the older launcher with the defaults added, and no
    // record the older launcher lacks comes back empty.
    packager::PackagedLauncher again;
    std::string error;
    ASSERT_TRUE(packager::readPackagedLauncher(second, &again, &error)) << error;
    EXPECT_EQ(narrowRecords(again.block), narrowRecords(built.result.block));
    EXPECT_EQ(value(again.block, cfg::serviceStartMode), "<absent>");
    EXPECT_EQ(value(again.block, cfg::serviceRecovery), "<absent>");
}

} // namespace
