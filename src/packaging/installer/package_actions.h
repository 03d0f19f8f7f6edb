// What an installer package does beyond its file and service tables: the settings an
// administrator chooses at deployment (the public properties VM_OPTIONS, SERVICE_ACCOUNT
// and SERVICE_START), the launcher's /configure after the service is installed and before
// it is started, the VM options written beside the launcher and remembered for an upgrade,
// and the file that goes at the uninstall. The actions and rows are described once here;
// the WiX source writes them as elements for the WiX toolset, and for wixl, which cannot
// express them, they are added to the compiled package's tables (wixl.h). Pure functions,
// internal to the packager.
#pragma once

#include "packaging/installer/plan.h"

#include <map>
#include <string>
#include <vector>

namespace packager {

// The public properties of a package, as `msiexec /i app.msi VM_OPTIONS=...` gives them.
extern const char kVmOptionsProperty[];
extern const char kServiceAccountProperty[];
extern const char kServiceStartProperty[];
// A setting of a deployment that an upgrade keeps when its command line does not give it
// again: the package writes it into a registry value, and the next version's AppSearch
// finds it there.
struct RememberedSetting {
    const char* property;    // "VM_OPTIONS"
    const char* found;       // the property AppSearch fills: "REMEMBERED_VM_OPTIONS"
    const char* valueName;   // "VmOptions"
};
extern const RememberedSetting kRememberedSettings[3];
// The private property whose value the service entry's account is.
extern const char kAccountNameProperty[];

// Windows Installer's custom action types used here.
constexpr int kSetPropertyAction = 51;
constexpr int kErrorAction = 19;
// An executable installed by the package (18), in the script (1024), as the installer's
// own account rather than the installing user (2048): it runs where the service is set up.
constexpr int kDeferredSystemExeAction = 18 | 1024 | 2048;

struct PackageAction {
    std::string id;
    int type = 0;
    std::string source;     // the property of a set, the file key of an executable
    std::string target;     // a formatted text: the value, the message, the command line
    std::string condition;  // when it runs
    std::string after;      // the action it follows in the execute sequence
};

// The package's actions in their order, each after the one it names.
std::vector<PackageAction> packageActions(const InstallerPlan& plan);

// The condition of StartServices: a deployment that chooses a demand or disabled start
// does not have the service started.
extern const char kStartServicesCondition[];

// The launcher's vmoptions file beside it ("<service>.vmoptions").
std::string vmOptionsFileName(const InstallerPlan& plan);

// Where the package remembers the settings of a deployment, below HKEY_LOCAL_MACHINE
// (64-bit view).
std::string settingsKey(const InstallerPlan& plan);
// The component that writes them, installed only when a deployment gives one.
extern const char kSettingsComponent[];
extern const char kSettingsCondition[];

// The event source's key below HKEY_LOCAL_MACHINE ("SYSTEM\...\Application\<name>").
std::string eventSourceKey(const InstallerPlan& plan);

// A formatted text that stands for `text` itself: brackets and braces escaped as [\x].
std::string formattedLiteral(const std::string& text);

// A table as msiinfo exports it: three header lines, then rows of tab-separated fields.
struct TableText {
    std::vector<std::string> header;
    std::vector<std::vector<std::string>> rows;
};
// False when the text is not such a table (a header missing, a row of another width).
bool parseTable(const std::string& text, TableText* table);
std::string tableText(const TableText& table);

// Adds the package's actions, its RemoveFile row, the condition of its settings component
// and of StartServices to the tables wixl wrote (by name: "CustomAction",
// "InstallExecuteSequence", "Component"; "RemoveFile" is made). Each action takes the
// first free sequence number after the one it follows; those after InstallServices must
// come before StartServices. False with the reason when the tables do not allow it.
bool addPackageRows(const InstallerPlan& plan, std::map<std::string, TableText>* tables, std::string* error);

} // namespace packager
