// `packager msi` and what it is made of: the GUIDs (stable, distinct), the wildcards of
// [installer] files, the package's tables as Windows Installer reads them (through
// msiinfo, not as WiX text) and every refused descriptor with its one-line error. The
// packager is run as a user runs it (PACKAGER), with wixl from the machine.
#include "format/record_ids.h"
#include "model/service_entry.h"
#include "packaging/descriptor/build.h"
#include "packaging/descriptor/parse.h"
#include "packaging/installer/guid.h"
#include "packaging/installer/file_patterns.h"
#include "packaging/installer/plan.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;

std::string hex(const std::string& bytes)
{
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (unsigned char c : bytes) {
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

struct Scratch {
    fs::path path;
    Scratch()
    {
        path = fs::temp_directory_path() /
               ("installer_test_" + std::to_string(getpid()) + "_" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(path);
        fs::create_directories(path);
    }
    ~Scratch() { fs::remove_all(path); }
    std::string file(const std::string& name, const std::string& content) const
    {
        fs::path target = path / name;
        fs::create_directories(target.parent_path());
        std::ofstream(target, std::ios::binary) << content;
        return target.string();
    }
};

std::string fileText(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

struct CommandRun {
    int code;
    std::string out;
    std::string err;
};

CommandRun run(const std::string& command, const Scratch& scratch)
{
    fs::path out = scratch.path / "stdout.txt";
    fs::path err = scratch.path / "stderr.txt";
    int status = std::system((command + " >" + out.string() + " 2>" + err.string()).c_str());
    CommandRun result{WIFEXITED(status) ? WEXITSTATUS(status) : -1, fileText(out), fileText(err)};
    fs::remove(out);
    fs::remove(err);
    return result;
}

// A PE32+ image of one section that ends the file: enough for the packager to append a block.
std::string syntheticImage()
{
    std::string image(0x600, '\0');
    auto put = [&image](size_t at, uint32_t value, int bytes) {
        for (int i = 0; i < bytes; ++i) image[at + i] = static_cast<char>(value >> (8 * i));
    };
    image[0] = 'M';
    image[1] = 'Z';
    put(60, 0x80, 4);
    put(0x80, 0x00004550u, 4);
    put(0x86, 1, 2);
    put(0x94, 240, 2);
    size_t entry = 0x80 + 24 + 240;
    put(entry + 16, 0x200, 4);
    put(entry + 20, 0x400, 4);
    return image;
}

std::string packagerPath()
{
    const char* path = std::getenv("PACKAGER");
    return path != nullptr ? path : "packager";
}

// The rows of one table as msiinfo exports them, without its three header lines.
std::vector<std::string> tableRows(const fs::path& package, const std::string& table, const Scratch& scratch)
{
    CommandRun exported = run("msiinfo export '" + package.string() + "' " + table, scratch);
    EXPECT_EQ(0, exported.code) << exported.err;
    std::vector<std::string> rows;
    size_t start = 0;
    int line = 0;
    for (size_t end = exported.out.find("\r\n"); end != std::string::npos; end = exported.out.find("\r\n", start)) {
        if (line++ >= 3) rows.push_back(exported.out.substr(start, end - start));
        start = end + 2;
    }
    return rows;
}

// The database's code page, as the first line of its _ForceCodepage table says.
std::string codePageOf(const fs::path& package, const Scratch& scratch);

const char kServiceKeys[] = R"toml([service]
name = "Demo"
description = "Counts [things] {quickly} for $5"
dependencies = ["Tcpip", "Dnscache"]
)toml";
const char kApplication[] = R"toml([application]
main_class = "com.example.Main"
class_path = [ { archive = "app.jar" } ]
)toml";
const std::string kService = std::string(kServiceKeys) + kApplication;

struct Package {
    Scratch scratch;
    std::string image;
    Package() { image = scratch.file("launcher.exe", syntheticImage()); }
    // packager msi of `descriptor` (written as service.toml with the given files).
    CommandRun make(const std::string& descriptor, const std::string& extra = "")
    {
        std::string path = scratch.file("service.toml", descriptor);
        return run(packagerPath() + " msi " + path + " " + image + " " + (scratch.path / "out.msi").string() +
                       " --no-runtime-library " + extra,
                   scratch);
    }
    fs::path output() const { return scratch.path / "out.msi"; }
};

std::string codePageOf(const fs::path& package, const Scratch& scratch)
{
    CommandRun exported = run("msiinfo export '" + package.string() + "' _ForceCodepage", scratch);
    size_t tab = exported.out.find("\t_ForceCodepage");
    size_t start = exported.out.rfind('\n', tab);
    return tab == std::string::npos ? "" : exported.out.substr(start + 1, tab - start - 1);
}

} // namespace

TEST(InstallerGuids, Sha1AndNameBasedGuidsMatchTheirPublishedValues)
{
    EXPECT_EQ("da39a3ee5e6b4b0d3255bfef95601890afd80709", hex(packager::sha1("")));
    EXPECT_EQ("a9993e364706816aba3e25717850c26c9cd0d89d", hex(packager::sha1("abc")));
    // Two blocks of padding: 56 bytes and more.
    EXPECT_EQ("84983e441c3bd26ebaae4aa1f95129e5e54670f1",
              hex(packager::sha1("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq")));
    // The DNS namespace's version 5 GUID of "www.example.com".
    EXPECT_EQ("2ED6657D-E927-568B-95E1-2665A8AEA6A2",
              packager::nameBasedGuid("6ba7b810-9dad-11d1-80b4-00c04fd430c8", "www.example.com"));
}

TEST(InstallerGuids, UpgradeAndComponentCodesAreStableAndDistinct)
{
    const std::string code = packager::derivedUpgradeCode("Example Ltd", "Demo");
    EXPECT_TRUE(packager::isGuid(code));
    EXPECT_EQ(code, packager::derivedUpgradeCode("Example Ltd", "Demo"));
    // Another manufacturer, product, or the same letters split differently: another product.
    std::set<std::string> codes = {code,
                                   packager::derivedUpgradeCode("Example Ltd", "Demo2"),
                                   packager::derivedUpgradeCode("Example Lt", "dDemo"),
                                   packager::derivedUpgradeCode("Other Ltd", "Demo"),
                                   packager::derivedUpgradeCode("", "Example LtdDemo")};
    EXPECT_EQ(5u, codes.size());

    // A component keeps its GUID across versions (same product, same path); Windows
    // ignores the case of paths, and so does the GUID.
    const std::string other = packager::derivedUpgradeCode("Other Ltd", "Demo");
    EXPECT_EQ(packager::componentGuid(code, "lib\\app.jar"), packager::componentGuid(code, "LIB\\App.jar"));
    std::set<std::string> components = {packager::componentGuid(code, "lib\\app.jar"),
                                        packager::componentGuid(code, "lib\\app2.jar"),
                                        packager::componentGuid(code, "app.jar"),
                                        packager::componentGuid(other, "lib\\app.jar")};
    EXPECT_EQ(4u, components.size());

    struct Case {
        const char* text;
        bool guid;
    };
    const Case cases[] = {
        {"01234567-89AB-CDEF-0123-456789abcdef", true}, {"{01234567-89AB-CDEF-0123-456789ABCDEF}", true},
        {"01234567-89AB-CDEF-0123-456789ABCDE", false}, {"0123456789AB-CDEF-0123-456789ABCDEF0", false},
        {"01234567-89AB-CDEF-0123-456789ABCDEG", false}, {"{01234567-89AB-CDEF-0123-456789ABCDEF", false},
        {"", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.guid, packager::isGuid(c.text)) << c.text;
    }
    EXPECT_EQ("01234567-89AB-CDEF-0123-456789ABCDEF",
              packager::canonicalGuid("{01234567-89ab-cdef-0123-456789abcdef}"));
}

TEST(InstallerFiles, WildcardsMatchWholeNamesIgnoringCase)
{
    struct Case {
        const char* pattern;
        const char* name;
        bool matches;
    };
    const Case cases[] = {
        {"*.jar", "app.jar", true},     {"*.jar", "app.jar.bak", false}, {"*.JAR", "App.jar", true},
        {"a?c", "abc", true},           {"a?c", "ac", false},            {"*", "", true},
        {"a*b*c", "aXbYbZc", true},     {"a*b*c", "aXbYbZ", false},      {"app.jar", "app.jar", true},
        {"**x", "yyx", true},           {"", "a", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.matches, packager::matchesWildcard(c.pattern, c.name)) << c.pattern << " " << c.name;
    }
}

// `packager msi d.toml ...` in the descriptor's own folder: the folder of a bare name is the
// current folder, for a wildcard in the first step as for a plain name.
TEST(InstallerFiles, PatternsOfADescriptorNamedWithoutAFolder)
{
    Scratch scratch;
    for (const char* name : {"a.jar", "b.jar", "notes.txt", "lib/c.jar"}) {
        scratch.file(name, name);
    }
    const std::string installer = "[installer]\nmanufacturer = \"M\"\nversion = \"1.0.0\"\nfiles = [";
    struct Case {
        const char* pattern;
        std::vector<std::string> targets;  // after the launcher
    };
    const Case cases[] = {
        {"*.jar", {"a.jar", "b.jar"}},
        {"./*.jar", {"a.jar", "b.jar"}},
        {"*", {"a.jar", "b.jar", "d.toml", "lib\\c.jar", "notes.txt"}},
        {"?.jar", {"a.jar", "b.jar"}},
        {"lib/*.jar", {"c.jar"}},
        {"./d.toml", {"d.toml"}},
        {"*/c.jar", {"c.jar"}},
    };
    const fs::path before = fs::current_path();
    fs::current_path(scratch.path);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pattern);
        const std::string text = kService + installer + "\"" + c.pattern + "\"]\n";
        std::ofstream("d.toml", std::ios::binary | std::ios::trunc) << text;
        packager::ParsedDescriptor descriptor;
        packager::BuildResult built;
        packager::InstallerPlan plan;
        std::vector<packager::Diagnostic> errors;
        ASSERT_TRUE(packager::parseDescriptor(text, "d.toml", &descriptor, &errors));
        ASSERT_TRUE(packager::buildFromDescriptor(descriptor, packager::BuildSettings(), &built, &errors));
        EXPECT_TRUE(packager::readInstallerPlan(descriptor, built.block, &plan, &errors))
            << (errors.empty() ? "" : packager::formatDiagnostic(errors.front()));
        std::vector<std::string> targets;
        for (size_t i = 1; i < plan.files.size(); ++i) {
            targets.push_back(plan.files[i].target);
            EXPECT_EQ(fileText(scratch.path / plan.files[i].source), fileText(plan.files[i].source));
        }
        EXPECT_EQ(c.targets, targets);
    }
    fs::current_path(before);
}

TEST(InstallerPackage, TablesHoldTheFilesTheServiceAndTheUpgrade)
{
    Package p;
    p.scratch.file("app.jar", "jar");
    p.scratch.file("lib/one.jar", "1");
    p.scratch.file("lib/two.jar", "2");
    p.scratch.file("lib/notes.txt", "no");
    p.scratch.file("jre/bin/java.exe", "java");
    p.scratch.file("jre/release", "JAVA_VERSION=\"17\"");
    p.scratch.file("conf/app.properties", "a=1");
    CommandRun made = p.make(std::string(kServiceKeys) + "start = \"auto\"\naccount = \"virtual\"\n" + kApplication +
                             R"toml([installer]
manufacturer = "Example Ltd"
version = "1.02.3"
files = ["app.jar", "lib/*.jar", "jre", { source = "conf/app.properties", target = "conf/local" }]
)toml");
    ASSERT_EQ(0, made.code) << made.err;
    EXPECT_EQ("packaged " + p.output().string() + ": Demo 1.2.3, 7 file(s), service 'Demo'\n", made.out);

    const std::string code = packager::derivedUpgradeCode("Example Ltd", "Demo");
    const std::vector<std::pair<std::string, std::string>> files = {
        {"Demo.exe", "INSTALLFOLDER"},   {"app.jar", "INSTALLFOLDER"}, {"app.properties", "conf\\local"},
        {"java.exe", "jre\\bin"},         {"release", "jre"},           {"one.jar", "INSTALLFOLDER"},
        {"two.jar", "INSTALLFOLDER"},
    };
    std::vector<std::string> fileRows = tableRows(p.output(), "File", p.scratch);
    std::vector<std::string> componentRows = tableRows(p.output(), "Component", p.scratch);
    // The files' components; the settings' component has a test of its own.
    componentRows.erase(std::remove_if(componentRows.begin(), componentRows.end(),
                                       [](const std::string& row) { return row.rfind("Settings\t", 0) == 0; }),
                        componentRows.end());
    std::vector<std::string> directoryRows = tableRows(p.output(), "Directory", p.scratch);
    ASSERT_EQ(files.size(), fileRows.size());
    ASSERT_EQ(files.size(), componentRows.size());
    // Folder id -> its path below the installation folder.
    std::map<std::string, std::string> folders = {{"INSTALLFOLDER", "INSTALLFOLDER"}};
    for (int pass = 0; pass < 4; ++pass) {
        for (const std::string& row : directoryRows) {
            std::string id = row.substr(0, row.find('\t'));
            std::string parent = row.substr(id.size() + 1, row.find('\t', id.size() + 1) - id.size() - 1);
            std::string name = row.substr(row.rfind('\t') + 1);
            if (folders.count(parent) != 0 && folders.count(id) == 0) {
                folders[id] = parent == "INSTALLFOLDER" ? name : folders[parent] + "\\" + name;
            }
        }
    }
    EXPECT_NE(directoryRows.end(), std::find(directoryRows.begin(), directoryRows.end(),
                                             "INSTALLFOLDER\tInstallFolder_0\tDemo"));
    EXPECT_NE(directoryRows.end(), std::find(directoryRows.begin(), directoryRows.end(),
                                             "InstallFolder_0\tProgramFiles64Folder\tExample Ltd"));
    for (size_t i = 0; i < files.size(); ++i) {
        const std::string id = "File_" + std::to_string(i);
        const std::string& name = files[i].first;
        const std::string& folder = folders[files[i].second == "INSTALLFOLDER" ? "INSTALLFOLDER" : ""];
        (void)folder;
        // One component per file, 64-bit, keyed by its file, with the GUID of its path.
        std::string row = componentRows[i];
        std::string folderId = row.substr(row.find('\t', id.size() + 1) + 1);
        folderId = folderId.substr(0, folderId.find('\t'));
        std::string path = folders[folderId] == "INSTALLFOLDER" ? name : folders[folderId] + "\\" + name;
        EXPECT_EQ(files[i].second == "INSTALLFOLDER" ? "INSTALLFOLDER" : files[i].second,
                  folders[folderId]) << name;
        EXPECT_EQ(id + "\t{" + packager::componentGuid(code, path) + "}\t" + folderId + "\t256\t\t" + id, row);
        EXPECT_EQ(0u, fileRows[i].find(id + "\t" + id + "\t" + name + "\t")) << fileRows[i];
    }
    EXPECT_EQ(1u, folders.count("ProgramFiles64Folder") == 0 ? 1u : 0u);

    // The service as /install registers a virtual account's service, started after
    // install, stopped at install and uninstall, removed at uninstall.
    EXPECT_EQ((std::vector<std::string>{"Service\tDemo\tDemo\t16\t2\t1\t\tTcpip[~]Dnscache[~][~]\t[QuillServiceAccount]\t\t\t"
                                        "File_0\tCounts [\\[]things[\\]] [\\{]quickly[\\}] for $5"}),
              tableRows(p.output(), "ServiceInstall", p.scratch));
    EXPECT_EQ((std::vector<std::string>{"ServiceControl\tDemo\t163\t\t1\tFile_0"}),
              tableRows(p.output(), "ServiceControl", p.scratch));

    // A major upgrade of every lower version; a higher one installed is refused.
    EXPECT_EQ((std::vector<std::string>{"{" + code + "}\t\t1.2.3\t\t1\t\tWIX_UPGRADE_DETECTED",
                                        "{" + code + "}\t1.2.3\t\t\t2\t\tWIX_DOWNGRADE_DETECTED"}),
              tableRows(p.output(), "Upgrade", p.scratch));
    std::vector<std::string> properties = tableRows(p.output(), "Property", p.scratch);
    for (const std::string& property : {std::string("ALLUSERS\t1"), std::string("ProductName\tDemo"),
                                        std::string("QuillServiceAccount\tNT SERVICE\\Demo"),
                                        std::string("Manufacturer\tExample Ltd"),
                                        std::string("ProductVersion\t1.2.3"), "UpgradeCode\t{" + code + "}"}) {
        EXPECT_NE(properties.end(), std::find(properties.begin(), properties.end(), property)) << property;
    }
    std::vector<std::string> sequence = tableRows(p.output(), "InstallExecuteSequence", p.scratch);
    EXPECT_NE(sequence.end(), std::find(sequence.begin(), sequence.end(), "RemoveExistingProducts\t\t1401"));
    // The launcher's /stop, waiting as long as the service's stop_timeout, before the
    // installer's own stop (which gives up after about 30 s) and before an upgrade removes
    // the older version: an immediate EXE action (18) of the installed launcher whose
    // failure is ignored (64), where the launcher is there.
    EXPECT_EQ("StopServiceByLauncher\t82\tFile_0\t/stop\t", tableRows(p.output(), "CustomAction", p.scratch).at(0));
    EXPECT_NE(sequence.end(), std::find(sequence.begin(), sequence.end(),
                                        "StopServiceByLauncher\tInstalled OR WIX_UPGRADE_DETECTED\t1001"));
    EXPECT_EQ("0", codePageOf(p.output(), p.scratch));
    CommandRun summary = run("msiinfo suminfo '" + p.output().string() + "'", p.scratch);
    EXPECT_NE(std::string::npos, summary.out.find("Template: x64;1033")) << summary.out;
}

// What a deployment chooses and what the launcher sets up, in the tables wixl cannot
// write: each action with its type, in an order the installer runs it in (the remembered
// settings before they are checked, the checks before the account is chosen, the
// launcher's steps after the entry is installed and before it is started), the settings
// remembered where the next version looks for them, the event source with the package,
// the vmoptions file removed at uninstall. The kept source holds the same for the WiX
// toolset.
TEST(InstallerPackage, DeploymentSettingsAndTheLaunchersStepsAreInTheTables)
{
    for (const bool eventLog : {true, false}) {
        SCOPED_TRACE(eventLog ? "event log" : "no event log");
        Package p;
        fs::create_directories(p.scratch.path / "kept");
        CommandRun made = p.make(std::string(kServiceKeys) + "event_log = " + (eventLog ? "true" : "false") + "\n" +
                                     kApplication + "[installer]\nmanufacturer = \"M\"\nversion = \"1.0.0\"\n",
                                 "--wxs " + (p.scratch.path / "kept" / "demo.wxs").string());
        ASSERT_EQ(0, made.code) << made.err;
        const std::string code = packager::derivedUpgradeCode("M", "Demo");

        std::map<std::string, std::string> actions;  // id -> type, source, target
        for (const std::string& row : tableRows(p.output(), "CustomAction", p.scratch)) {
            actions[row.substr(0, row.find('\t'))] = row.substr(row.find('\t') + 1);
        }
        const std::map<std::string, std::string> expectedActions = {
            {"RememberVmOptions", "51\tVM_OPTIONS\t[REMEMBERED_VM_OPTIONS]\t"},
            {"RememberServiceAccount", "51\tSERVICE_ACCOUNT\t[REMEMBERED_SERVICE_ACCOUNT]\t"},
            {"RememberServiceStart", "51\tSERVICE_START\t[REMEMBERED_SERVICE_START]\t"},
            {"AccountLocalSystem", "51\tQuillServiceAccount\tLocalSystem\t"},
            {"AccountLocalService", "51\tQuillServiceAccount\tNT AUTHORITY\\LocalService\t"},
            {"AccountNetworkService", "51\tQuillServiceAccount\tNT AUTHORITY\\NetworkService\t"},
            {"AccountVirtual", "51\tQuillServiceAccount\tNT SERVICE\\Demo\t"},
            {"AccountManaged", "51\tQuillServiceAccount\t[SERVICE_ACCOUNT]\t"},
            // Deferred (1024), as the installer's own account (2048), the installed launcher (18).
            {"WriteVmOptions", "3090\tFile_0\t/vmoptions [VM_OPTIONS]\t"},
            {"ConfigureService", "3090\tFile_0\t/configure\t"},
            {"ConfigureServiceStart", "3090\tFile_0\t/configure /start=[SERVICE_START]\t"},
        };
        for (const auto& [id, row] : expectedActions) {
            EXPECT_EQ(row, actions[id]) << id;
        }
        // The refusals are error actions (19) whose message names the value given.
        EXPECT_EQ(0u, actions["RefuseServiceAccount"].find("19\t\tSERVICE_ACCOUNT=[SERVICE_ACCOUNT] is not an account"));
        EXPECT_EQ(0u, actions["RefuseServiceStart"].find("19\t\tSERVICE_START=[SERVICE_START] is not a start"));

        std::map<std::string, std::pair<std::string, long>> sequence;  // action -> condition, number
        for (const std::string& row : tableRows(p.output(), "InstallExecuteSequence", p.scratch)) {
            size_t first = row.find('\t');
            size_t second = row.find('\t', first + 1);
            sequence[row.substr(0, first)] = {row.substr(first + 1, second - first - 1),
                                              std::atol(row.c_str() + second + 1)};
        }
        const std::vector<std::vector<std::string>> order = {
            {"AppSearch"},
            {"RememberVmOptions", "RememberServiceAccount", "RememberServiceStart"},
            {"RefuseServiceAccount", "RefuseServiceStart"},
            {"AccountLocalSystem", "AccountLocalService", "AccountNetworkService", "AccountVirtual", "AccountManaged"},
            {"InstallValidate"},
            {"InstallServices"},
            {"WriteVmOptions", "ConfigureService", "ConfigureServiceStart"},
            {"StartServices"},
        };
        for (size_t step = 1; step < order.size(); ++step) {
            for (const std::string& before : order[step - 1]) {
                for (const std::string& after : order[step]) {
                    ASSERT_EQ(1u, sequence.count(before)) << before;
                    EXPECT_LT(sequence[before].second, sequence[after].second) << before << " before " << after;
                }
            }
        }
        EXPECT_EQ("NOT (SERVICE_START~=\"demand\" OR SERVICE_START~=\"disabled\")", sequence["StartServices"].first);
        EXPECT_EQ("SERVICE_START AND NOT REMOVE~=\"ALL\"", sequence["ConfigureServiceStart"].first);
        EXPECT_EQ("NOT VM_OPTIONS AND REMEMBERED_VM_OPTIONS", sequence["RememberVmOptions"].first);

        // The settings written where the next version's AppSearch finds them, by a
        // component that is there only when a deployment gave one.
        const std::string settingsKey = "SOFTWARE\\tarnwell\\quill\\packages\\" + code + "\\";
        std::vector<std::string> registry = tableRows(p.output(), "Registry", p.scratch);
        std::set<std::string> values;  // root, key, name, value, component
        for (const std::string& row : registry) values.insert(row.substr(row.find('\t') + 1));
        for (const std::string& value :
             {"2\t" + settingsKey + "\tVmOptions\t[VM_OPTIONS]\tSettings",
              "2\t" + settingsKey + "\tServiceAccount\t[SERVICE_ACCOUNT]\tSettings",
              "2\t" + settingsKey + "\tServiceStart\t[SERVICE_START]\tSettings",
              "2\t" + settingsKey + "\tVersion\t1.0.0\tSettings"}) {
            EXPECT_EQ(1u, values.count(value)) << value;
        }
        const std::string source = "SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\Demo\\";
        EXPECT_EQ(eventLog ? 1u : 0u, values.count("2\t" + source + "\tEventMessageFile\t[#File_0]\tFile_0"));
        EXPECT_EQ(eventLog ? 1u : 0u, values.count("2\t" + source + "\tTypesSupported\t#7\tFile_0"));
        EXPECT_EQ(eventLog ? 6u : 4u, registry.size());
        std::vector<std::string> components = tableRows(p.output(), "Component", p.scratch);
        EXPECT_NE(components.end(),
                  std::find_if(components.begin(), components.end(), [](const std::string& row) {
                      return row.rfind("Settings\t", 0) == 0 &&
                             row.find("\t260\tVM_OPTIONS OR SERVICE_ACCOUNT OR SERVICE_START\t") != std::string::npos;
                  }));
        std::vector<std::string> searches = tableRows(p.output(), "RegLocator", p.scratch);
        EXPECT_NE(searches.end(), std::find(searches.begin(), searches.end(),
                                            "REMEMBERED_VM_OPTIONS\t2\t" + settingsKey.substr(0, settingsKey.size() - 1) +
                                                "\tVmOptions\t18"));
        EXPECT_EQ((std::vector<std::string>{"VmOptionsFile\tFile_0\tDemo.vmoptions\tINSTALLFOLDER\t2"}),
                  tableRows(p.output(), "RemoveFile", p.scratch));

        // The WiX toolset reads the same from the kept source.
        const std::string kept = fileText(p.scratch.path / "kept" / "demo.wxs");
        for (const char* element :
             {"<Property Id=\"SERVICE_ACCOUNT\" Secure=\"yes\"/>",
              "<CustomAction Id=\"ConfigureService\" FileKey=\"File_0\" ExeCommand=\"/configure\" Execute=\"deferred\" "
              "Impersonate=\"no\" Return=\"check\"/>",
              "<Custom Action=\"ConfigureService\" After=\"WriteVmOptions\">NOT SERVICE_START AND NOT "
              "REMOVE~=&quot;ALL&quot;</Custom>",
              "<RemoveFile Id=\"VmOptionsFile\" Name=\"Demo.vmoptions\" On=\"uninstall\"/>",
              "<Condition>VM_OPTIONS OR SERVICE_ACCOUNT OR SERVICE_START</Condition>",
              "<StartServices>NOT (SERVICE_START~=&quot;demand&quot; OR "
              "SERVICE_START~=&quot;disabled&quot;)</StartServices>"}) {
            EXPECT_NE(std::string::npos, kept.find(element)) << element;
        }
        EXPECT_EQ(eventLog, kept.find("Name=\"EventMessageFile\"") != std::string::npos);
    }
}

// The package's ServiceInstall row is the entry /install registers from the same launcher:
// its type, start and account as the service model reads the built block's records.
TEST(InstallerPackage, ServiceEntryFollowsStartAndAccountAsInstallDoes)
{
    struct Case {
        const char* keys;       // [service] keys
        const char* installer;  // more [installer] keys
        const char* controlEvents;
    };
    const Case cases[] = {
        // Automatic start is started after install, unless told otherwise; a demand start
        // is not started unless asked.
        {"", "", "163"},
        {"", "start_after_install = false\n", "162"},
        {"start = \"demand\"\n", "", "162"},
        {"start = \"demand\"\n", "start_after_install = true\n", "163"},
        {"start = \"delayed\"\naccount = \"LocalService\"\n", "", "163"},
        {"start = \"disabled\"\naccount = \"NetworkService\"\n", "", "162"},
        {"start = \"demand\"\naccount = \"EXAMPLE\\\\svc$\"\n", "", "162"},
        {"account = \"localsystem\"\n", "", "163"},
        {"account = \".\\\\LocalSystem\"\n", "", "163"},
        {"account = \"nt authority\\\\localservice\"\n", "", "163"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.keys) + c.installer);
        const std::string text = std::string("[service]\nname = \"Demo\"\n") + c.keys +
                                 "[application]\nmain_class = \"a.B\"\nclass_path = [ { archive = \"a.jar\" } ]\n"
                                 "[installer]\nmanufacturer = \"M\"\nversion = \"1.0.0\"\n" + c.installer;
        packager::BuildSettings settings;
        packager::BuildResult built;
        std::vector<packager::Diagnostic> errors;
        ASSERT_TRUE(packager::buildFromDescriptor(text, "service.toml", settings, &built, &errors));
        auto record = [&built](int32_t id) {
            const std::string* value = built.block.findNarrow(id);
            return value != nullptr ? *value : std::string();
        };
        servicemodel::Start start = servicemodel::startOf(servicemodel::StartChoice::configured,
                                                          record(cfg::launcherKind), record(cfg::serviceStartMode));
        servicemodel::ServiceAccount account = servicemodel::serviceAccountOf(record(cfg::serviceAccount), "Demo");
        ASSERT_TRUE(start.valid);
        ASSERT_NE(servicemodel::AccountKind::invalid, account.kind);
        // Windows Installer's start types: 2 automatic, 3 demand, 4 disabled; an own process
        // (16), never interactive in the table (a deployment may choose another account
        // than LocalSystem): /configure makes it so where /install would. The account is
        // the property a deployment may set, the descriptor's by default.
        const char* startColumn = start.type == servicemodel::StartType::automatic  ? "2"
                                  : start.type == servicemodel::StartType::disabled ? "4"
                                                                                    : "3";
        const std::string expected = std::string("16\t") + startColumn + "\t1\t\t\t[QuillServiceAccount]\t";

        Package p;
        CommandRun made = p.make(text);
        ASSERT_EQ(0, made.code) << made.err;
        std::vector<std::string> service = tableRows(p.output(), "ServiceInstall", p.scratch);
        ASSERT_EQ(1u, service.size());
        // Type, start, error control, load order group, dependencies, account.
        std::string row = service[0].substr(std::string("Service\tDemo\tDemo\t").size());
        EXPECT_EQ(expected, row.substr(0, expected.size()));
        EXPECT_EQ((std::vector<std::string>{std::string("ServiceControl\tDemo\t") + c.controlEvents + "\t\t1\tFile_0"}),
                  tableRows(p.output(), "ServiceControl", p.scratch));
        std::vector<std::string> properties = tableRows(p.output(), "Property", p.scratch);
        EXPECT_NE(properties.end(), std::find(properties.begin(), properties.end(),
                                              "QuillServiceAccount\t" + account.shownName()));
        // Delayed start and recovery are /configure's: nothing to note.
        EXPECT_EQ("", made.err);
    }
}

TEST(InstallerPackage, DependenciesAndTheDowngradeMessageAreTakenAsTheyStand)
{
    // Both land in columns that Windows Installer formats at install time: a bracket would
    // name a property, and "[~]" separates dependencies.
    struct Case {
        const char* dependencies;  // the TOML array
        const char* productName;
        const char* dependencyColumn;
        const char* downgradeMessage;
    };
    const Case cases[] = {
        {R"(["Tcpip[WindowsFolder]"])", "Demo", "Tcpip[\\[]WindowsFolder[\\]][~][~]",
         "A newer version of Demo is already installed."},
        {R"(["a[~]b"])", "Big [ProductVersion]", "a[\\[]~[\\]]b[~][~]",
         "A newer version of Big [\\[]ProductVersion[\\]] is already installed."},
        {R"(["c{d}", "Plain"])", "{[~]}", "c[\\{]d[\\}][~]Plain[~][~]",
         "A newer version of [\\{][\\[]~[\\]][\\}] is already installed."},
    };
    for (const Case& c : cases) {
        Package p;
        CommandRun made = p.make(std::string("[service]\nname = \"Demo\"\ndependencies = ") + c.dependencies + "\n" +
                                 kApplication + "[installer]\nmanufacturer = \"M\"\nversion = \"1.0.0\"\n" +
                                 "product_name = \"" + c.productName + "\"\n");
        ASSERT_EQ(0, made.code) << c.dependencies << made.err;
        std::vector<std::string> service = tableRows(p.output(), "ServiceInstall", p.scratch);
        ASSERT_EQ(1u, service.size());
        // Name, display name, type, start, error control, load order group, dependencies.
        std::string dependencies = service[0];
        for (int column = 0; column < 7; ++column) {
            dependencies = dependencies.substr(dependencies.find('\t') + 1);
        }
        EXPECT_EQ(c.dependencyColumn, dependencies.substr(0, dependencies.find('\t'))) << c.dependencies;
        EXPECT_EQ((std::vector<std::string>{std::string("NOT WIX_DOWNGRADE_DETECTED\t") + c.downgradeMessage}),
                  tableRows(p.output(), "LaunchCondition", p.scratch))
            << c.productName;
    }
}

TEST(InstallerPackage, KeptSourceCompilesBesideItsLauncher)
{
    Package p;
    p.scratch.file("app.jar", "jar");
    fs::create_directories(p.scratch.path / "kept");
    fs::path source = p.scratch.path / "kept" / "demo.wxs";
    CommandRun made = p.make(std::string(kService) + "[installer]\nmanufacturer = \"M\"\nversion = \"2.0.0\"\n"
                                              "files = [\"app.jar\"]\n",
                      "--wxs " + source.string());
    ASSERT_EQ(0, made.code) << made.err;
    ASSERT_TRUE(fs::is_regular_file(source));
    ASSERT_TRUE(fs::is_regular_file(p.scratch.path / "kept" / "Demo.exe"));
    // Moved with its folder and the files it names, the source still finds every file:
    // each Source is relative to the source's folder. (The kept source is for the WiX
    // toolset; wixl cannot read the elements packager msi adds to wixl's tables.)
    fs::rename(p.scratch.path / "kept", p.scratch.path / "moved");
    const std::string text = fileText(p.scratch.path / "moved" / "demo.wxs");
    size_t found = 0;
    for (size_t at = text.find(" Source=\""); at != std::string::npos; at = text.find(" Source=\"", at + 1)) {
        const size_t start = at + 9;
        const std::string named = text.substr(start, text.find('"', start) - start);
        EXPECT_TRUE(fs::path(named).is_relative()) << named;
        EXPECT_TRUE(fs::is_regular_file(p.scratch.path / "moved" / named)) << named;
        ++found;
    }
    EXPECT_EQ(tableRows(p.output(), "File", p.scratch).size(), found);
}

TEST(InstallerPackage, BadDescriptorsGetOneLineAtTheirPlaceAndNoPackage)
{
    struct Case {
        const char* descriptor;  // after kService
        const char* error;       // the line, after "<path>:"
    };
    const Case cases[] = {
        {"[installer]\nmanufacturer = \"M\"\nversion = \"1.0\"\n",
         "10:11: error: installer.version \"1.0\" must be three numbers, such as \"1.2.3\" (the first two at most 255, "
         "the third at most 65535)"},
        {"[installer]\nmanufacturer = \"M\"\nversion = \"1.256.0\"\n",
         "10:11: error: installer.version \"1.256.0\" must be three numbers, such as \"1.2.3\" (the first two at most "
         "255, the third at most 65535)"},
        {"[installer]\nmanufacturer = \"M\"\nversion = \"1.0.0\"\nupgrade_code = \"12345\"\n",
         "11:16: error: installer.upgrade_code \"12345\" is not a GUID (such as \"01234567-89AB-CDEF-0123-456789ABCDEF\")"},
        {"[installer]\nmanufacturer = \"M\"\nversion = \"1.0.0\"\nfiles = [\"lib/*.jar\"]\n",
         "11:10: error: installer.files[0] \"lib/*.jar\" matches no file"},
        {"[installer]\nmanufacturer = \"M\"\nversion = \"1.0.0\"\nfiles = [\"app.jar\", { source = \"sub/*.jar\" }]\n",
         "11:32: error: installer.files[1] \"sub/*.jar\" installs \"app.jar\", which \"app.jar\" installs already"},
        {"[installer]\nmanufacturer = \"M\"\nversion = \"1.0.0\"\nfiles = [\"sub/Demo.EXE\"]\n",
         "11:10: error: installer.files[0] \"sub/Demo.EXE\" installs \"Demo.EXE\", which the launcher installs already"},
        {"[installer]\nversion = \"1.0.0\"\n",
         "8:1: error: installer.manufacturer is missing: a package names its manufacturer"},
        {"[installer]\nmanufacturer = \"M\"\n",
         "8:1: error: installer.version is missing: a package has a version such as \"1.0.0\""},
        {"[installer]\nmanufacturer = \"M\"\nversion = \"1.0.0\"\ninstall_dir = \"C:\\\\Apps\"\n",
         "11:15: error: installer.install_dir \"C:\\Apps\" must be a folder relative to Program Files, such as "
         "\"Example\\\\App\""},
        {"[installer]\nmanufacturer = \"M\"\nversion = \"1.0.0\"\nfiles = [{ source = \"app.jar\", target = \"../x\" }]\n",
         "11:41: error: installer.files[0].target \"../x\" must be a folder below the installation folder, such as "
         "\"lib\" or \"conf/local\""},
        {"[installer]\nmanufacturer = \"A<B\"\nversion = \"1.0.0\"\n",
         "9:16: error: the default installation folder \"A<B\\Demo\" cannot be made: \"A<B\" "},
        {"[installer]\nmanufacturer = \"M\"\nversion = \"1.0.0\"\nrelease = 1\n",
         "11:1: error: unknown key 'installer.release'"},
        {"[installer]\nmanufacturer = \"M\"\nversion = \"1.0.0\"\nstart_after_install = true\n",
         ""},  // a demand-start service may be started after install
        {"", "1:1: error: [installer] is missing: a package needs at least its manufacturer and version"},
    };
    for (const Case& c : cases) {
        Package p;
        p.scratch.file("app.jar", "jar");
        p.scratch.file("sub/app.jar", "jar");
        p.scratch.file("sub/Demo.EXE", "exe");
        CommandRun made = p.make(std::string(kService) + c.descriptor);
        std::string path = (p.scratch.path / "service.toml").string();
        if (std::string(c.error).empty()) {
            EXPECT_EQ(0, made.code) << made.err;
            continue;
        }
        EXPECT_EQ(2, made.code) << c.descriptor;
        // One line, that line (or its start when the end names a system's reason).
        EXPECT_EQ(path + ":" + c.error, made.err.substr(0, path.size() + 1 + std::string(c.error).size()))
            << c.descriptor;
        EXPECT_EQ(1, std::count(made.err.begin(), made.err.end(), '\n')) << made.err;
        EXPECT_FALSE(fs::exists(p.output()));
        EXPECT_FALSE(fs::exists(p.scratch.path / "out.msi.partial"));
    }

    // The service settings a package cannot carry, at the key that sets them.
    const Case service[] = {
        {"[service]\nname = \"Demo\"\naccount = \".\\\\svc\"\n",
         "3:11: error: service.account \".\\svc\" is a user account, whose password a package cannot keep safe; a "
         "package installs a service under a built-in, virtual or group managed account"},
        {"[service]\nname = \"Demo\"\naccount = \"alice@corp.example\"\n",
         "3:11: error: service.account \"alice@corp.example\" is a user account, whose password a package cannot "
         "keep safe; a package installs a service under a built-in, virtual or group managed account"},
        {"[service]\nname = \"Demo\"\nstart = \"disabled\"\n",
         "10:23: error: installer.start_after_install cannot start a service whose start is \"disabled\""},
    };
    for (const Case& c : service) {
        Package p;
        std::string installer = std::string(c.descriptor).find("disabled") != std::string::npos
                                    ? "start_after_install = true\n"
                                    : "";
        CommandRun made = p.make(std::string(c.descriptor) +
                          "[application]\nmain_class = \"a.B\"\nclass_path = [ { archive = \"a.jar\" } ]\n"
                          "[installer]\nmanufacturer = \"M\"\nversion = \"1.0.0\"\n" + installer);
        std::string path = (p.scratch.path / "service.toml").string();
        EXPECT_EQ(2, made.code);
        EXPECT_EQ(path + ":" + c.error + "\n", made.err);
        EXPECT_FALSE(fs::exists(p.output()));
    }
}

TEST(InstallerPackage, WithoutWixlNothingIsWritten)
{
    Package p;
    fs::create_directories(p.scratch.path / "kept");
    std::string descriptor = p.scratch.file("service.toml", std::string(kService) +
                                                                "[installer]\nmanufacturer = \"M\"\nversion = \"1.0.0\"\n");
    CommandRun made = run("PATH=/nonexistent " + packagerPath() + " msi " + descriptor + " " + p.image + " " +
                       p.output().string() + " --wxs " + (p.scratch.path / "kept" / "a.wxs").string(),
                   p.scratch);
    EXPECT_EQ(2, made.code);
    EXPECT_EQ("packager: msi needs wixl, which is not installed (Debian package wixl); nothing was written\n",
              made.err);
    EXPECT_FALSE(fs::exists(p.output()));
    EXPECT_TRUE(fs::is_empty(p.scratch.path / "kept"));
}

TEST(InstallerPackage, BuildIgnoresTheSectionAndInspectLeavesItOut)
{
    // Even values `msi` refuses: the section is not the launcher's.
    const std::string with = kService + "[installer]\nversion = \"not a version\"\nfiles = [\"nothing/*\"]\n";
    packager::BuildSettings settings;
    packager::BuildResult plain;
    packager::BuildResult withSection;
    std::vector<packager::Diagnostic> errors;
    ASSERT_TRUE(packager::buildFromDescriptor(kService, "service.toml", settings, &plain, &errors));
    ASSERT_TRUE(packager::buildFromDescriptor(with, "service.toml", settings, &withSection, &errors))
        << (errors.empty() ? "" : packager::formatDiagnostic(errors.front()));
    ASSERT_EQ(plain.block.narrow.size(), withSection.block.narrow.size());
    for (size_t i = 0; i < plain.block.narrow.size(); ++i) {
        EXPECT_EQ(plain.block.narrow[i].id, withSection.block.narrow[i].id);
        EXPECT_EQ(plain.block.narrow[i].value, withSection.block.narrow[i].value);
    }

    Package p;
    std::string descriptor = p.scratch.file("service.toml", with);
    std::string launcher = (p.scratch.path / "demo.exe").string();
    ASSERT_EQ(0, run(packagerPath() + " build " + descriptor + " " + p.image + " " + launcher + " --no-runtime-library",
                     p.scratch).code);
    CommandRun inspected = run(packagerPath() + " inspect " + launcher, p.scratch);
    ASSERT_EQ(0, inspected.code) << inspected.err;
    EXPECT_EQ(std::string::npos, inspected.out.find("installer")) << inspected.out;
}

TEST(InstallerPackage, TextsTheCompilersWouldReadAsVariablesAreRefused)
{
    for (const char* text : {"costs $(price)", "two $$", "!(loc.Name)"}) {
        Package p;
        CommandRun made = p.make(std::string("[service]\nname = \"Demo\"\ndescription = \"") + text + "\"\n" +
                                 kApplication + "[installer]\nmanufacturer = \"M\"\nversion = \"1.0.0\"\n");
        EXPECT_EQ(2, made.code) << text;
        EXPECT_NE(std::string::npos, made.err.find("service.description holds")) << made.err;
        EXPECT_NE(std::string::npos, made.err.find("nothing was written")) << made.err;
        EXPECT_FALSE(fs::exists(p.output())) << text;
    }
}

// The signing options of build and msi, each mistake refused before anything is written,
// with the option it concerns: an option without --sign, a key that is not there, a token's
// key without its library and the other way round, a password variable that is not set, a
// timestamp that is no URL, and no osslsigncode on the PATH.
TEST(InstallerPackage, SigningOptionsAreCheckedBeforeAnythingIsWritten)
{
    Package p;
    const std::string descriptor = p.scratch.file("service.toml", kService + "[installer]\nmanufacturer = \"M\"\n"
                                                                           "version = \"1.0.0\"\n");
    const std::string pfx = p.scratch.file("signer.pfx", "not read before the checks");
    const std::string module = p.scratch.file("token.so", "a library");
    const std::string missing = (p.scratch.path / "missing.pfx").string();
    const std::string nothing = "; nothing was written";
    struct Case {
        std::string options;
        std::string error;
        std::string path = "";  // PATH for the packager; empty for the test's own
    };
    const Case cases[] = {
        {"--timestamp http://ts.example", "packager: --timestamp signs nothing without --sign"},
        {"--pkcs11-module " + module, "packager: --pkcs11-module signs nothing without --sign"},
        {"--sign-password-env PFX_PASSWORD", "packager: --sign-password-env signs nothing without --sign"},
        {"--sign " + missing, "packager: the certificate file " + missing + " is not there" + nothing},
        {"--sign 'pkcs11:token=build;object=code'",
         "packager: --sign pkcs11:token=build;object=code names a key in a token: give its library with "
         "--pkcs11-module" + nothing},
        {"--pkcs11-module " + module + " --sign " + pfx,
         "packager: with --pkcs11-module, --sign takes the key's PKCS#11 URI (\"pkcs11:...\"), not " + pfx + nothing},
        {"--pkcs11-module " + missing + " --sign pkcs11:object=code",
         "packager: the PKCS#11 library " + missing + " is not there" + nothing},
        {"--sign " + pfx + " --sign-password-env PACKAGER_TEST_UNSET_PASSWORD",
         "packager: the environment variable PACKAGER_TEST_UNSET_PASSWORD (--sign-password-env) is not set" + nothing},
        {"--sign " + pfx + " --timestamp ts.example",
         "packager: --timestamp takes the URL of a timestamp server (http:// or https://), not ts.example" + nothing},
        {"--sign " + pfx,
         "packager: --sign needs osslsigncode, which is not installed (Debian package osslsigncode)" + nothing,
         (p.scratch.path / "no-tools").string()},
    };
    unsetenv("PACKAGER_TEST_UNSET_PASSWORD");
    // A PATH with the compiler, for msi, and without osslsigncode.
    fs::create_directories(p.scratch.path / "no-tools");
    fs::create_symlink(run("command -v wixl", p.scratch).out.substr(0, run("command -v wixl", p.scratch).out.find('\n')),
                       p.scratch.path / "no-tools" / "wixl");
    for (const char* command : {"build", "msi"}) {
        const fs::path output = p.scratch.path / (std::string("out.") + (command == std::string("msi") ? "msi" : "exe"));
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(command) + " " + c.options);
            const std::string prefix = c.path.empty() ? std::string() : "PATH='" + c.path + "' ";
            CommandRun made = run(prefix + packagerPath() + " " + command + " " + descriptor + " " + p.image + " " +
                                      output.string() + " --no-runtime-library " + c.options,
                                  p.scratch);
            EXPECT_EQ(2, made.code);
            EXPECT_EQ(c.error, made.err.substr(0, made.err.find('\n')));
            EXPECT_FALSE(fs::exists(output));
            EXPECT_FALSE(fs::exists(output.string() + ".partial"));
        }
    }
}

TEST(InstallerPackage, CommandLineMistakesAreNamedAndWriteNothing)
{
    Package p;
    std::string descriptor = p.scratch.file("service.toml", kService + "[installer]\nmanufacturer = \"M\"\n"
                                                                      "version = \"1.0.0\"\n");
    const std::string common = packagerPath() + " msi " + descriptor + " " + p.image + " ";
    struct Case {
        std::string arguments;
        std::string error;  // the first line
    };
    const Case cases[] = {
        {(p.scratch.path / "missing" / "out.msi").string(),
         "packager: cannot create " + (p.scratch.path / "missing" / "out.msi").string() + ": the folder " +
             (p.scratch.path / "missing").string() + " does not exist; nothing was written"},
        {p.output().string() + " --wxs", "packager: --wxs needs a path"},
        {p.output().string() + " --sign", "packager: --sign needs a certificate file or a PKCS#11 URI"},
        {p.output().string() + " --signature x", "packager: unknown option --signature"},
        {"", "packager: msi needs a descriptor, a launcher image and an output file"},
        {p.output().string() + " --runtime-library " + (p.scratch.path / "nope.jar").string(),
         "packager: the runtime library jar " + (p.scratch.path / "nope.jar").string() +
             " does not exist; nothing was written"},
        {p.output().string() + " --runtime-library " + descriptor,
         "packager: the runtime library " + descriptor + " is not a jar (no zip archive header); nothing was written"},
        {descriptor, "packager: the output file " + descriptor + " is the descriptor " + descriptor +
                         "; name another output file (nothing was written)"},
    };
    const std::string descriptorText = kService + "[installer]\nmanufacturer = \"M\"\nversion = \"1.0.0\"\n";
    for (const Case& c : cases) {
        CommandRun made = run(common + c.arguments, p.scratch);
        EXPECT_EQ(2, made.code) << c.arguments;
        EXPECT_EQ(c.error, made.err.substr(0, made.err.find('\n'))) << c.arguments;
        EXPECT_FALSE(fs::exists(p.output()));
        std::ifstream kept(descriptor, std::ios::binary);
        EXPECT_EQ(descriptorText, std::string(std::istreambuf_iterator<char>(kept), {})) << c.arguments;
    }
}

// The package replaces its output, and the launcher and a kept source replace theirs: none
// may be a file the package is made from (it would be gone) or another of them.
TEST(InstallerPackage, NoOutputReplacesAFileThePackageIsMadeFrom)
{
    Package p;
    std::string jar = p.scratch.file("app.jar", "jar");
    std::string conf = p.scratch.file("conf.txt", "x=1");
    std::string descriptor = p.scratch.file(
        "service.toml", kService + "[[files]]\nsource = \"conf.txt\"\n[installer]\nmanufacturer = \"M\"\n"
                                   "version = \"1.0.0\"\nfiles = [\"app.jar\"]\n");
    // The launcher image under the name the launcher is installed as, beside a kept source.
    std::string image = p.scratch.file("Demo.exe", syntheticImage());
    const std::string common = packagerPath() + " msi " + descriptor + " " + image + " ";
    const std::string source = (p.scratch.path / "demo.wxs").string();
    const std::string output = p.output().string();
    const std::string remedy = "; name another output file (nothing was written)";
    const struct {
        std::string arguments;
        std::string error;
    } cases[] = {
        {jar, "packager: the output file " + jar + " is an installed file " + jar + remedy},
        {conf, "packager: the output file " + conf + " is an included file " + conf + remedy},
        {output + " --wxs " + output, "packager: the WiX source " + output + " is the output file " + output + remedy},
        {output + " --wxs " + source,
         "packager: the launcher beside the WiX source " + (p.scratch.path / "Demo.exe").string() +
             " is the launcher image " + image + "; keep the WiX source (--wxs) in another folder (nothing was "
             "written)"},
    };
    std::map<std::string, std::string> inputs;
    for (const std::string& input : {jar, conf, descriptor, image}) {
        inputs[input] = fileText(input);
    }
    for (const auto& c : cases) {
        CommandRun made = run(common + c.arguments + " --no-runtime-library", p.scratch);
        EXPECT_EQ(2, made.code) << c.arguments;
        EXPECT_EQ(c.error + "\n", made.err) << c.arguments;
        for (const auto& [input, text] : inputs) {
            EXPECT_EQ(text, fileText(input)) << c.arguments << ": " << input;
            EXPECT_FALSE(fs::exists(input + ".partial")) << c.arguments << ": " << input;
        }
        EXPECT_FALSE(fs::exists(p.output()));
        EXPECT_FALSE(fs::exists(source));
    }
}

// Texts outside Windows-1252 (Cyrillic, a dash, a check mark) in every place a descriptor
// puts them: the package's tables and summary hold each as given, in code page 65001.
TEST(InstallerPackage, TextsOutsideAsciiAreHeldInEveryTable)
{
    Package p;
    p.scratch.file("данные/отчёт.txt", "x");
    CommandRun made = p.make(R"toml([service]
name = "Tickér"
description = "Тикер — служба ✓ [1]"
dependencies = ["Réseau"]
[application]
main_class = "a.B"
class_path = [ { archive = "a.jar" } ]
[installer]
manufacturer = "Фирма ✓"
product_name = "Тикер"
version = "1.0.0"
install_dir = "Фирма\\Тикер"
files = ["данные"]
)toml");
    ASSERT_EQ(0, made.code) << made.err;
    EXPECT_EQ("packaged " + p.output().string() + ": Тикер 1.0.0, 2 file(s), service 'Tickér'\n", made.out);
    EXPECT_EQ("65001", codePageOf(p.output(), p.scratch));
    std::vector<std::string> properties = tableRows(p.output(), "Property", p.scratch);
    for (const char* property : {"ProductName\tТикер", "Manufacturer\tФирма ✓"}) {
        EXPECT_NE(properties.end(), std::find(properties.begin(), properties.end(), property)) << property;
    }
    std::vector<std::string> service = tableRows(p.output(), "ServiceInstall", p.scratch);
    ASSERT_EQ(1u, service.size());
    EXPECT_EQ("Service\tTickér\tTickér\t16\t2\t1\t\tRéseau[~][~]\t[QuillServiceAccount]\t\t\tFile_0\t"
              "Тикер — служба ✓ [\\[]1[\\]]",
              service[0]);
    EXPECT_EQ((std::vector<std::string>{"ServiceControl\tTickér\t163\t\t1\tFile_0"}),
              tableRows(p.output(), "ServiceControl", p.scratch));
    // The rows added after wixl are in the same code page: the virtual account by name.
    std::vector<std::string> actions = tableRows(p.output(), "CustomAction", p.scratch);
    EXPECT_NE(actions.end(), std::find(actions.begin(), actions.end(),
                                       "AccountVirtual\t51\tQuillServiceAccount\tNT SERVICE\\Tickér\t"));
    EXPECT_EQ((std::vector<std::string>{"NOT WIX_DOWNGRADE_DETECTED\tA newer version of Тикер is already installed."}),
              tableRows(p.output(), "LaunchCondition", p.scratch));
    std::vector<std::string> folders = tableRows(p.output(), "Directory", p.scratch);
    for (const char* folder : {"InstallFolder_0\tProgramFiles64Folder\tФирма", "INSTALLFOLDER\tInstallFolder_0\tТикер",
                               "Folder_0\tINSTALLFOLDER\tданные"}) {
        EXPECT_NE(folders.end(), std::find(folders.begin(), folders.end(), folder)) << folder;
    }
    std::vector<std::string> files = tableRows(p.output(), "File", p.scratch);
    ASSERT_EQ(2u, files.size());
    EXPECT_EQ(0u, files[0].find("File_0\tFile_0\tTickér.exe\t")) << files[0];
    EXPECT_EQ(0u, files[1].find("File_1\tFile_1\tотчёт.txt\t")) << files[1];
    CommandRun summary = run("msiinfo suminfo '" + p.output().string() + "'", p.scratch);
    EXPECT_NE(std::string::npos, summary.out.find("Subject: Тикер 1.0.0\nAuthor: Фирма ✓\n")) << summary.out;
    EXPECT_NE(std::string::npos, summary.out.find("install Тикер.\n")) << summary.out;
    // The file is in the package under its name.
    fs::path extracted = p.scratch.path / "extracted";
    fs::create_directories(extracted);
    EXPECT_EQ(0, run("msiextract -C '" + extracted.string() + "' '" + p.output().string() + "'", p.scratch).code);
    EXPECT_EQ("x", fileText(extracted / "Фирма" / "Тикер" / "данные" / "отчёт.txt"));

    // What msitools cannot carry in such a package is refused, not lost.
    Package q;
    made = q.make("[service]\nname = \"Demo\"\ndescription = \"Тикер\\nслужба\"\n" + std::string(kApplication) +
                  "[installer]\nmanufacturer = \"M\"\nversion = \"1.0.0\"\n");
    EXPECT_EQ(2, made.code);
    EXPECT_EQ("packager: " + (q.scratch.path / "service.toml").string() +
                  ": service.description holds a tab or line end, which a package whose texts are not all ASCII cannot "
                  "hold (msitools reads a table's rows as lines); nothing was written\n",
              made.err);
    EXPECT_FALSE(fs::exists(q.output()));
}

// Once written, the kept source and its launcher stay, whatever the compiler does next;
// the package is not written.
TEST(InstallerPackage, KeptSourceStaysWhenTheCompilerFails)
{
    Package p;
    p.scratch.file("bin/wixl", "#!/bin/sh\necho 'wixl: cannot compile' >&2\nexit 3\n");
    fs::permissions(p.scratch.path / "bin" / "wixl", fs::perms::owner_all);
    fs::create_directories(p.scratch.path / "kept");
    fs::path source = p.scratch.path / "kept" / "demo.wxs";
    std::string descriptor = p.scratch.file("service.toml", std::string(kService) +
                                                                "[installer]\nmanufacturer = \"Фирма\"\nversion = \"1.0.0\"\n");
    CommandRun made = run("PATH='" + (p.scratch.path / "bin").string() + "':\"$PATH\" " + packagerPath() + " msi " +
                              descriptor + " " + p.image + " " + p.output().string() + " --no-runtime-library --wxs " +
                              source.string(),
                          p.scratch);
    EXPECT_EQ(2, made.code);
    EXPECT_EQ("wixl: cannot compile\npackager: wixl could not compile the package (exit code 3); the package was not "
              "written; the WiX source " + source.string() + " is kept\n",
              made.err);
    EXPECT_FALSE(fs::exists(p.output()));
    EXPECT_FALSE(fs::exists(p.output().string() + ".partial"));
    EXPECT_TRUE(fs::is_regular_file(p.scratch.path / "kept" / "Demo.exe"));
    // The kept source holds the texts themselves, and says in which code page, for the
    // WiX toolset.
    std::string kept = fileText(source);
    EXPECT_NE(std::string::npos, kept.find("Manufacturer=\"Фирма\" Version=\"1.0.0\" Language=\"1033\" Codepage=\"65001\""))
        << kept;
    EXPECT_EQ(std::string::npos, kept.find("~pkgtext")) << kept;
}
