// The package's deployment settings and the launcher's own steps, as actions and rows.
#include "packaging/installer/package_actions.h"

#include "packaging/installer/guid.h"
#include "packaging/installer/wixl.h"

#include <cstdlib>
#include <set>

namespace packager {

const char kVmOptionsProperty[] = "VM_OPTIONS";
const char kServiceAccountProperty[] = "SERVICE_ACCOUNT";
const char kServiceStartProperty[] = "SERVICE_START";
const RememberedSetting kRememberedSettings[3] = {
    {"VM_OPTIONS", "REMEMBERED_VM_OPTIONS", "VmOptions"},
    {"SERVICE_ACCOUNT", "REMEMBERED_SERVICE_ACCOUNT", "ServiceAccount"},
    {"SERVICE_START", "REMEMBERED_SERVICE_START", "ServiceStart"},
};
const char kAccountNameProperty[] = "QuillServiceAccount";
const char kSettingsComponent[] = "Settings";
const char kSettingsCondition[] = "VM_OPTIONS OR SERVICE_ACCOUNT OR SERVICE_START";
const char kStartServicesCondition[] = "NOT (SERVICE_START~=\"demand\" OR SERVICE_START~=\"disabled\")";

namespace {

std::vector<std::string> splitFields(const std::string& line);

// Not at an uninstall (of this product, or of an older one that an upgrade removes).
const char kNotRemoved[] = "NOT REMOVE~=\"ALL\"";
// A group managed account: a domain, '\' and a name that ends in '$'.
const char kManagedAccount[] = "(SERVICE_ACCOUNT >< \"\\\" AND SERVICE_ACCOUNT >> \"$\")";

} // namespace

std::string formattedLiteral(const std::string& text)
{
    std::string out;
    for (char c : text) {
        if (c == '[' || c == ']' || c == '{' || c == '}') {
            out += std::string("[\\") + c + "]";
        } else {
            out += c;
        }
    }
    return out;
}

std::string vmOptionsFileName(const InstallerPlan& plan)
{
    return plan.service.name + ".vmoptions";
}

std::string settingsKey(const InstallerPlan& plan)
{
    return "SOFTWARE\\tarnwell\\quill\\packages\\" + plan.upgradeCode;
}

std::string eventSourceKey(const InstallerPlan& plan)
{
    return "SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\" + plan.service.name;
}

std::vector<PackageAction> packageActions(const InstallerPlan& plan)
{
    const std::string name = formattedLiteral(plan.service.name);
    std::vector<PackageAction> actions;
    auto add = [&actions](const std::string& id, int type, const std::string& source, const std::string& target,
                          const std::string& condition, const std::string& after) {
        actions.push_back({id, type, source, target, condition,
                           after.empty() ? actions.back().id : after});
    };
    // The settings of the installed version, unless the command line gives others.
    for (const RememberedSetting& setting : kRememberedSettings) {
        std::string id = "Remember";
        for (const char* c = setting.valueName; *c != '\0'; ++c) id += *c;
        add(id, kSetPropertyAction, setting.property, std::string("[") + setting.found + "]",
            std::string("NOT ") + setting.property + " AND " + setting.found, actions.empty() ? "AppSearch" : "");
    }
    // Refused values end the installation before anything is changed, with the reason.
    add("RefuseServiceAccount", kErrorAction, "",
        "SERVICE_ACCOUNT=[SERVICE_ACCOUNT] is not an account this package installs the service under: LocalSystem, "
        "LocalService, NetworkService, virtual, or a group managed account such as EXAMPLE\\name$ (a user account "
        "would need its password, which installer logs keep)",
        "SERVICE_ACCOUNT AND NOT (SERVICE_ACCOUNT~=\"LocalSystem\" OR SERVICE_ACCOUNT~=\"LocalService\" OR "
        "SERVICE_ACCOUNT~=\"NetworkService\" OR SERVICE_ACCOUNT~=\"virtual\" OR " + std::string(kManagedAccount) + ")",
        "");
    add("RefuseServiceStart", kErrorAction, "",
        "SERVICE_START=[SERVICE_START] is not a start this package knows: auto, delayed, demand or disabled",
        "SERVICE_START AND NOT (SERVICE_START~=\"auto\" OR SERVICE_START~=\"delayed\" OR SERVICE_START~=\"demand\" OR "
        "SERVICE_START~=\"disabled\")",
        "");
    // The account as the service manager takes it; without SERVICE_ACCOUNT the
    // descriptor's, the property's value in the Property table.
    add("AccountLocalSystem", kSetPropertyAction, kAccountNameProperty, "LocalSystem",
        "SERVICE_ACCOUNT~=\"LocalSystem\"", "");
    add("AccountLocalService", kSetPropertyAction, kAccountNameProperty, "NT AUTHORITY\\LocalService",
        "SERVICE_ACCOUNT~=\"LocalService\"", "");
    add("AccountNetworkService", kSetPropertyAction, kAccountNameProperty, "NT AUTHORITY\\NetworkService",
        "SERVICE_ACCOUNT~=\"NetworkService\"", "");
    add("AccountVirtual", kSetPropertyAction, kAccountNameProperty, "NT SERVICE\\" + name,
        "SERVICE_ACCOUNT~=\"virtual\"", "");
    add("AccountManaged", kSetPropertyAction, kAccountNameProperty, "[SERVICE_ACCOUNT]", kManagedAccount, "");
    // After the entry exists and before it is started: the launcher's own steps, as its
    // /install takes them, on the entry the installer wrote.
    add("WriteVmOptions", kDeferredSystemExeAction, "File_0", "/vmoptions [VM_OPTIONS]",
        std::string("VM_OPTIONS AND ") + kNotRemoved, "InstallServices");
    add("ConfigureService", kDeferredSystemExeAction, "File_0", "/configure",
        std::string("NOT SERVICE_START AND ") + kNotRemoved, "");
    add("ConfigureServiceStart", kDeferredSystemExeAction, "File_0", "/configure /start=[SERVICE_START]",
        std::string("SERVICE_START AND ") + kNotRemoved, "");
    return actions;
}

bool parseTable(const std::string& text, TableText* table)
{
    TableText out;
    const std::vector<std::string> lines = outputLines(text);
    if (lines.size() < 3) return false;
    out.header.assign(lines.begin(), lines.begin() + 3);
    const size_t columns = splitFields(out.header[0]).size();
    for (size_t i = 3; i < lines.size(); ++i) {
        std::vector<std::string> fields = splitFields(lines[i]);
        if (fields.size() != columns) return false;
        out.rows.push_back(fields);
    }
    *table = out;
    return true;
}

std::string tableText(const TableText& table)
{
    std::string out;
    for (const std::string& line : table.header) out += line + "\r\n";
    for (const std::vector<std::string>& row : table.rows) {
        for (size_t i = 0; i < row.size(); ++i) out += (i == 0 ? "" : "\t") + row[i];
        out += "\r\n";
    }
    return out;
}

namespace {

std::vector<std::string> splitFields(const std::string& line)
{
    std::vector<std::string> fields;
    size_t start = 0;
    for (size_t tab = line.find('\t'); ; tab = line.find('\t', start)) {
        fields.push_back(line.substr(start, tab == std::string::npos ? std::string::npos : tab - start));
        if (tab == std::string::npos) break;
        start = tab + 1;
    }
    return fields;
}

} // namespace

bool addPackageRows(const InstallerPlan& plan, std::map<std::string, TableText>* tables, std::string* error)
{
    for (const char* name : {"CustomAction", "InstallExecuteSequence", "Component"}) {
        if (tables->find(name) == tables->end()) {
            *error = std::string("the package has no ") + name + " table";
            return false;
        }
    }
    TableText& actions = (*tables)["CustomAction"];
    TableText& sequence = (*tables)["InstallExecuteSequence"];
    std::map<std::string, long> numbers;
    std::set<long> used;
    for (const std::vector<std::string>& row : sequence.rows) {
        long number = std::atol(row[2].c_str());
        numbers[row[0]] = number;
        used.insert(number);
    }
    const bool starts = numbers.count("StartServices") != 0;
    for (const PackageAction& action : packageActions(plan)) {
        for (const std::string& text : {action.target, action.condition}) {
            if (text.find_first_of("\t\r\n") != std::string::npos) {
                *error = "the action " + action.id + " would hold a tab or line end, which a table's row cannot hold";
                return false;
            }
        }
        auto after = numbers.find(action.after);
        if (after == numbers.end()) {
            *error = "the package's execute sequence has no " + action.after;
            return false;
        }
        long number = after->second + 1;
        while (used.count(number) != 0) ++number;
        if (starts && action.type == kDeferredSystemExeAction && number >= numbers["StartServices"]) {
            *error = "no place for " + action.id + " between InstallServices and StartServices";
            return false;
        }
        used.insert(number);
        numbers[action.id] = number;
        actions.rows.push_back({action.id, std::to_string(action.type), action.source, action.target, ""});
        sequence.rows.push_back({action.id, action.condition, std::to_string(number)});
    }
    for (std::vector<std::string>& row : sequence.rows) {
        if (row[0] == "StartServices") row[1] = kStartServicesCondition;
    }
    bool settings = false;
    for (std::vector<std::string>& row : (*tables)["Component"].rows) {
        if (row[0] == kSettingsComponent) {
            row[4] = kSettingsCondition;
            settings = true;
        }
    }
    if (!settings) {
        *error = std::string("the package has no component ") + kSettingsComponent;
        return false;
    }
    // The vmoptions file is no file of the package: the installer removes it by name.
    TableText removeFile;
    removeFile.header = {"FileKey\tComponent_\tFileName\tDirProperty\tInstallMode", "s72\ts72\tL255\ts72\ti2",
                         "RemoveFile\tFileKey"};
    removeFile.rows.push_back({"VmOptionsFile", "File_0", vmOptionsFileName(plan), "INSTALLFOLDER", "2"});
    (*tables)["RemoveFile"] = removeFile;
    return true;
}

} // namespace packager
