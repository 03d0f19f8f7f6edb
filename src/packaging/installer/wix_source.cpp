// WiX source from an installer plan.
#include "packaging/installer/wix_source.h"

#include "packaging/installer/guid.h"
#include "packaging/installer/package_actions.h"

#include <map>

namespace packager {

namespace {

// An attribute value: XML's own characters as references, line ends and tabs as character
// references so that the parser keeps them.
std::string attribute(const std::string& text)
{
    std::string out;
    for (char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        case '\n': out += "&#10;"; break;
        case '\r': out += "&#13;"; break;
        case '\t': out += "&#9;"; break;
        case '$': out += "$$"; break;  // the compilers' escape of '$', which starts a variable
        default: out += c;
        }
    }
    return out;
}

bool isAscii(const std::string& text)
{
    for (char c : text) {
        if (static_cast<unsigned char>(c) >= 0x80) return false;
    }
    return true;
}

// Every text of the plan that the package holds, with what it is.
std::vector<std::pair<std::string, std::string>> planTexts(const InstallerPlan& plan)
{
    std::vector<std::pair<std::string, std::string>> texts = {
        {"installer.product_name", plan.productName},
        {"installer.manufacturer", plan.manufacturer},
        {"service.name", plan.service.name},
        {"service.description", plan.service.description},
        {"service.account", plan.service.account},
    };
    for (const std::string& step : plan.installFolder) {
        texts.push_back({"the installation folder", step});
    }
    for (const std::string& dependency : plan.service.dependencies) {
        texts.push_back({"service.dependencies", dependency});
    }
    for (const InstallerFile& file : plan.files) {
        texts.push_back({"the installed file " + file.target, file.target});
        texts.push_back({"the source of " + file.target, file.source.u8string()});
    }
    return texts;
}

std::string textProblem(const std::string& what, const std::string& text)
{
    // A single '$' is written escaped; wixl reads these sequences wrongly even escaped.
    for (const char* sequence : {"$(", "$$", "!("}) {
        if (text.find(sequence) != std::string::npos) {
            return what + " holds \"" + sequence + "\", which the WiX compilers read as part of a variable";
        }
    }
    for (char c : text) {
        unsigned char u = static_cast<unsigned char>(c);
        if (u < 0x20 && c != '\n' && c != '\r' && c != '\t') {
            return what + " holds a control character, which a package cannot hold";
        }
    }
    return "";
}

} // namespace

std::string installerSourceProblem(const InstallerPlan& plan)
{
    for (const auto& [what, text] : planTexts(plan)) {
        std::string problem = textProblem(what, text);
        if (!problem.empty()) {
            return problem;
        }
    }
    return "";
}

const char kStopActionName[] = "StopServiceByLauncher";

int installerCodePage(const InstallerPlan& plan)
{
    for (const auto& text : planTexts(plan)) {
        if (!isAscii(text.second)) return 65001;
    }
    return 0;
}

std::string StandIns::of(const std::string& text)
{
    for (const auto& [standIn, known] : texts) {
        if (known == text) return standIn;
    }
    std::string standIn = marker + std::to_string(texts.size()) + "~";
    texts.push_back({standIn, text});
    return standIn;
}

StandIns standInsFor(const InstallerPlan& plan)
{
    StandIns standIns;
    for (int n = 0;; ++n) {
        standIns.marker = "~pkgtext" + (n == 0 ? std::string() : std::to_string(n) + "-");
        bool held = false;
        for (const auto& text : planTexts(plan)) {
            held = held || text.second.find(standIns.marker) != std::string::npos;
        }
        if (!held) return standIns;
    }
}

std::string standInProblem(const InstallerPlan& plan)
{
    if (installerCodePage(plan) == 0) {
        return "";
    }
    for (const auto& [what, text] : planTexts(plan)) {
        if (text.find_first_of("\t\r\n") != std::string::npos) {
            return what + " holds a tab or line end, which a package whose texts are not all ASCII cannot hold "
                          "(msitools reads a table's rows as lines)";
        }
    }
    return "";
}

std::string installerSource(const InstallerPlan& plan, const std::vector<std::string>& sources, SourceFor compiler,
                            StandIns* standIns)
{
    const bool forWixl = compiler == SourceFor::wixl;
    const InstallerService& service = plan.service;
    // A text of a table, as the source holds it: a stand-in for wixl where it is not ASCII.
    auto attribute = [standIns](const std::string& text) {
        return packager::attribute(standIns != nullptr && !isAscii(text) ? standIns->of(text) : text);
    };
    auto formatted = [&attribute](const std::string& text) { return attribute(formattedLiteral(text)); };
    const int codePage = installerCodePage(plan);
    std::string out;
    out += "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n";
    out += forWixl ? "<!-- Written by packager msi for wixl; what wixl cannot express packager msi adds to its tables."
                   : "<!-- Written by packager msi. Compile with the WiX toolset 3: candle -arch x64 <this file>, then\n"
                     "     light (packager msi compiles the package with wixl and adds to its tables what wixl\n"
                     "     cannot express: the deployment's settings and the launcher's own steps).";
    if (codePage != 0) {
        out += "\n     Its texts are not all ASCII: wixl would leave them out of the package's tables\n"
               "     (packager msi puts them back), the WiX toolset keeps them.";
    }
    out += " -->\n";
    out += "<Wix xmlns=\"http://schemas.microsoft.com/wix/2006/wi\">\n";
    // A new product code for every build: each package is a major upgrade of the ones
    // before it with the same upgrade code.
    // The code page is the database's for the WiX toolset and the summary's for wixl, which
    // writes the summary in UTF-8 whatever it says; the database's is set after it.
    const std::string codePageAttribute = codePage == 0 ? "" : " Codepage=\"" + std::to_string(codePage) + "\"";
    out += "  <Product Id=\"*\" Name=\"" + attribute(plan.productName) + "\" Manufacturer=\"" +
           attribute(plan.manufacturer) + "\" Version=\"" + plan.version + "\" Language=\"1033\"" + codePageAttribute +
           " UpgradeCode=\"" + plan.upgradeCode + "\">\n";
    // The summary's texts are never stand-ins: wixl keeps them.
    out += "    <Package InstallerVersion=\"500\" Compressed=\"yes\" InstallScope=\"perMachine\"" +
           (codePage == 0 ? std::string() : " SummaryCodepage=\"" + std::to_string(codePage) + "\"") +
           " Description=\"" + packager::attribute(plan.productName + " " + plan.version) + "\"" +
           (standIns == nullptr || codePage == 0
                ? std::string()
                : " Comments=\"" + packager::attribute("This installer database contains the logic and data required to "
                                                       "install " + plan.productName + ".") + "\"") +
           "/>\n";
    // The older version goes before anything of the new one is installed: its service is
    // stopped and removed, its files deleted; the new one then installs as on a clean
    // machine, so one service and one set of files remain.
    // The message is a formatted text: a product name with brackets would name properties.
    out += "    <MajorUpgrade DowngradeErrorMessage=\"" +
           formatted("A newer version of " + plan.productName + " is already installed.") + "\"/>\n";
    out += "    <Media Id=\"1\" Cabinet=\"product.cab\" EmbedCab=\"yes\"/>\n";
    // The installer stops a service before it replaces or removes files, and gives up after
    // about 30 s; the launcher's /stop waits as long as the service's stop_timeout. It runs
    // the launcher installed in the installation folder: this package's at a repair or
    // removal, the older version's at an upgrade (before that version is removed). Not in
    // the script: an immediate action, so that it runs at its place in the sequence also
    // under installers that run the script's actions only at its end. Its failure (no
    // launcher there, no such service) leaves the installer's own stop to do the work.
    out += std::string("    <CustomAction Id=\"") + kStopActionName +
           "\" FileKey=\"File_0\" ExeCommand=\"/stop\" Execute=\"immediate\" Impersonate=\"yes\" Return=\"ignore\"/>\n";
    // The settings of a deployment: the VM options of the installed version, found where
    // the package remembers them, and the account of the service entry, the descriptor's
    // unless SERVICE_ACCOUNT chooses another.
    for (const RememberedSetting& setting : kRememberedSettings) {
        out += std::string("    <Property Id=\"") + setting.found + "\">\n";
        out += std::string("      <RegistrySearch Id=\"") + setting.found + "\" Root=\"HKLM\" Key=\"" +
               attribute(settingsKey(plan)) + "\" Name=\"" + setting.valueName + "\" Type=\"raw\" Win64=\"yes\"/>\n";
        out += "    </Property>\n";
    }
    out += std::string("    <Property Id=\"") + kAccountNameProperty + "\" Value=\"" + attribute(service.account) +
           "\"/>\n";
    // What wixl cannot express it gets from packager msi in the compiled tables
    // (package_actions.h); the WiX toolset reads it here.
    std::vector<PackageAction> actions = forWixl ? std::vector<PackageAction>() : packageActions(plan);
    if (!forWixl) {
        for (const char* property : {kVmOptionsProperty, kServiceAccountProperty, kServiceStartProperty}) {
            out += std::string("    <Property Id=\"") + property + "\" Secure=\"yes\"/>\n";
        }
    }
    for (const PackageAction& action : actions) {
        out += "    <CustomAction Id=\"" + action.id + "\"";
        if (action.type == kSetPropertyAction) {
            out += " Property=\"" + action.source + "\" Value=\"" + packager::attribute(action.target) + "\"";
        } else if (action.type == kErrorAction) {
            out += " Error=\"" + packager::attribute(action.target) + "\"";
        } else {
            out += " FileKey=\"" + action.source + "\" ExeCommand=\"" + packager::attribute(action.target) +
                   "\" Execute=\"deferred\" Impersonate=\"no\" Return=\"check\"";
        }
        out += "/>\n";
    }
    out += "    <InstallExecuteSequence>\n";
    out += std::string("      <Custom Action=\"") + kStopActionName +
           "\" After=\"CostFinalize\">Installed OR WIX_UPGRADE_DETECTED</Custom>\n";
    for (const PackageAction& action : actions) {
        out += "      <Custom Action=\"" + action.id + "\" After=\"" + action.after + "\">" +
               packager::attribute(action.condition) + "</Custom>\n";
    }
    if (!forWixl && plan.startAfterInstall) {
        out += std::string("      <StartServices>") + packager::attribute(kStartServicesCondition) +
               "</StartServices>\n";
    }
    out += "    </InstallExecuteSequence>\n";
    out += "    <Directory Id=\"TARGETDIR\" Name=\"SourceDir\">\n";
    out += "      <Directory Id=\"ProgramFiles64Folder\">\n";

    // The folders: the installation folder's steps, then each file's folders below it.
    std::string indent = "        ";
    std::vector<std::string> closing;
    for (size_t i = 0; i < plan.installFolder.size(); ++i) {
        bool last = i + 1 == plan.installFolder.size();
        out += indent + "<Directory Id=\"" + (last ? std::string("INSTALLFOLDER") : "InstallFolder_" + std::to_string(i)) +
               "\" Name=\"" + attribute(plan.installFolder[i]) + "\">\n";
        closing.push_back(indent + "</Directory>\n");
        indent += "  ";
    }

    // Files sorted by target put the files of one folder together; each folder is opened
    // when the first of its files comes and closed when a file of another comes.
    std::vector<std::string> open;  // folder steps below the installation folder
    std::map<std::string, int> folderIds;
    std::vector<std::string> componentIds;
    auto folderOf = [](const std::string& target) {
        std::vector<std::string> steps;
        size_t start = 0;
        for (size_t slash = target.find('\\'); slash != std::string::npos; slash = target.find('\\', start)) {
            steps.push_back(target.substr(start, slash - start));
            start = slash + 1;
        }
        return steps;
    };
    for (size_t i = 0; i < plan.files.size(); ++i) {
        const InstallerFile& file = plan.files[i];
        std::vector<std::string> folder = folderOf(file.target);
        size_t common = 0;
        while (common < open.size() && common < folder.size() && open[common] == folder[common]) {
            ++common;
        }
        while (open.size() > common) {
            open.pop_back();
            indent.resize(indent.size() - 2);
            out += indent + "</Directory>\n";
        }
        while (open.size() < folder.size()) {
            open.push_back(folder[open.size()]);
            std::string key;
            for (const std::string& step : open) key += "\\" + step;
            int id = static_cast<int>(folderIds.size());
            folderIds[key] = id;
            out += indent + "<Directory Id=\"Folder_" + std::to_string(id) + "\" Name=\"" + attribute(open.back()) +
                   "\">\n";
            indent += "  ";
        }
        std::string component = "File_" + std::to_string(i);
        componentIds.push_back(component);
        std::string name = file.target.substr(file.target.rfind('\\') == std::string::npos
                                                  ? 0
                                                  : file.target.rfind('\\') + 1);
        out += indent + "<Component Id=\"" + component + "\" Guid=\"" + componentGuid(plan.upgradeCode, file.target) +
               "\" Win64=\"yes\">\n";
        out += indent + "  <File Id=\"" + component + "\" Name=\"" + attribute(name) + "\" Source=\"" +
               packager::attribute(sources[i]) + "\" KeyPath=\"yes\"/>\n";
        if (i == 0) {
            if (!forWixl) {
                out += indent + "  <RemoveFile Id=\"VmOptionsFile\" Name=\"" + attribute(vmOptionsFileName(plan)) +
                       "\" On=\"uninstall\"/>\n";
            }
            if (service.eventSource) {
                // The event source goes with the package: the installer removes its values,
                // and the key with the last of them.
                out += indent + "  <RegistryKey Root=\"HKLM\" Key=\"" + formatted(eventSourceKey(plan)) + "\">\n";
                out += indent + "    <RegistryValue Type=\"expandable\" Name=\"EventMessageFile\" Value=\"[#" +
                       component + "]\"/>\n";
                out += indent + "    <RegistryValue Type=\"integer\" Name=\"TypesSupported\" Value=\"7\"/>\n";
                out += indent + "  </RegistryKey>\n";
            }
            // The launcher's component registers the service: the entry lives and goes
            // with the executable it runs. Its account is a property that a deployment may
            // set; so the entry is not interactive here (the service manager would refuse
            // that under any account but LocalSystem), and /configure makes it so where
            // the launcher's /install would.
            out += indent + "  <ServiceInstall Id=\"Service\" Name=\"" + formatted(service.name) +
                   "\" DisplayName=\"" + formatted(service.name) + "\"";
            if (!service.description.empty()) {
                out += " Description=\"" + formatted(service.description) + "\"";
            }
            out += " Type=\"ownProcess\"";
            out += " Start=\"" + service.start + "\" ErrorControl=\"normal\" Account=\"[" + kAccountNameProperty +
                   "]\"";
            if (service.dependencies.empty()) {
                out += "/>\n";
            } else {
                out += ">\n";
                // The compilers join the dependencies into one formatted text, separated by
                // [~]: unescaped, "a[~]b" would be two of them and "[WindowsFolder]" a path.
                for (const std::string& dependency : service.dependencies) {
                    out += indent + "    <ServiceDependency Id=\"" + formatted(dependency) + "\"/>\n";
                }
                out += indent + "  </ServiceInstall>\n";
            }
            out += indent + "  <ServiceControl Id=\"ServiceControl\" Name=\"" + formatted(service.name) + "\"" +
                   (plan.startAfterInstall ? " Start=\"install\"" : "") +
                   " Stop=\"both\" Remove=\"uninstall\" Wait=\"yes\"/>\n";
        }
        out += indent + "</Component>\n";
        if (i == 0) {
            // The settings of a deployment, remembered for the next version's AppSearch.
            componentIds.push_back(kSettingsComponent);
            out += indent + "<Component Id=\"" + kSettingsComponent + "\" Guid=\"" +
                   componentGuid(plan.upgradeCode, std::string("|") + kSettingsComponent) + "\" Win64=\"yes\">\n";
            if (!forWixl) {
                out += indent + "  <Condition>" + kSettingsCondition + "</Condition>\n";
            }
            out += indent + "  <RegistryKey Root=\"HKLM\" Key=\"" + attribute(settingsKey(plan)) + "\">\n";
            // The key path is a value that is never empty; a setting may be.
            out += indent + "    <RegistryValue Name=\"Version\" Type=\"string\" Value=\"" + plan.version +
                   "\" KeyPath=\"yes\"/>\n";
            for (const RememberedSetting& setting : kRememberedSettings) {
                out += indent + "    <RegistryValue Name=\"" + setting.valueName + "\" Type=\"string\" Value=\"[" +
                       setting.property + "]\"/>\n";
            }
            out += indent + "  </RegistryKey>\n";
            out += indent + "</Component>\n";
        }
    }
    while (!open.empty()) {
        open.pop_back();
        indent.resize(indent.size() - 2);
        out += indent + "</Directory>\n";
    }
    for (auto it = closing.rbegin(); it != closing.rend(); ++it) {
        out += *it;
    }
    out += "      </Directory>\n";
    out += "    </Directory>\n";
    out += "    <Feature Id=\"Complete\" Level=\"1\">\n";
    for (const std::string& component : componentIds) {
        out += "      <ComponentRef Id=\"" + component + "\"/>\n";
    }
    out += "    </Feature>\n";
    out += "  </Product>\n";
    out += "</Wix>\n";
    return out;
}

} // namespace packager
