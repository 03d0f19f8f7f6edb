// WiX source from an installer plan.
#include "packaging/installer/wix_source.h"

#include "packaging/installer/guid.h"

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

// A value of a column that Windows Installer formats: brackets and braces would name
// properties and conditional groups, so they are escaped as [\x].
std::string formatted(const std::string& text)
{
    std::string out;
    for (char c : text) {
        if (c == '[' || c == ']' || c == '{' || c == '}') {
            out += std::string("[\\") + c + "]";
        } else {
            out += c;
        }
    }
    return attribute(out);
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
    for (const auto& [what, text] : texts) {
        std::string problem = textProblem(what, text);
        if (!problem.empty()) {
            return problem;
        }
    }
    return "";
}

std::string installerSource(const InstallerPlan& plan, const std::vector<std::string>& sources)
{
    const InstallerService& service = plan.service;
    std::string out;
    out += "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n";
    out += "<!-- Written by packager msi. Compile with: wixl -a x64 -o <package.msi> <this file>\n";
    out += "     or with the WiX toolset 3: candle -arch x64 <this file>, then light. -->\n";
    out += "<Wix xmlns=\"http://schemas.microsoft.com/wix/2006/wi\">\n";
    // A new product code for every build: each package is a major upgrade of the ones
    // before it with the same upgrade code.
    out += "  <Product Id=\"*\" Name=\"" + attribute(plan.productName) + "\" Manufacturer=\"" +
           attribute(plan.manufacturer) + "\" Version=\"" + plan.version + "\" Language=\"1033\" UpgradeCode=\"" +
           plan.upgradeCode + "\">\n";
    out += "    <Package InstallerVersion=\"500\" Compressed=\"yes\" InstallScope=\"perMachine\" Description=\"" +
           attribute(plan.productName + " " + plan.version) + "\"/>\n";
    // The older version goes before anything of the new one is installed: its service is
    // stopped and removed, its files deleted; the new one then installs as on a clean
    // machine, so one service and one set of files remain.
    // The message is a formatted text: a product name with brackets would name properties.
    out += "    <MajorUpgrade DowngradeErrorMessage=\"" +
           formatted("A newer version of " + plan.productName + " is already installed.") + "\"/>\n";
    out += "    <Media Id=\"1\" Cabinet=\"product.cab\" EmbedCab=\"yes\"/>\n";
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
               attribute(sources[i]) + "\" KeyPath=\"yes\"/>\n";
        if (i == 0) {
            // The launcher's component registers the service: the entry lives and goes
            // with the executable it runs.
            out += indent + "  <ServiceInstall Id=\"Service\" Name=\"" + formatted(service.name) +
                   "\" DisplayName=\"" + formatted(service.name) + "\"";
            if (!service.description.empty()) {
                out += " Description=\"" + formatted(service.description) + "\"";
            }
            out += " Type=\"ownProcess\"";
            if (service.interactive) {
                out += " Interactive=\"yes\"";
            }
            out += " Start=\"" + service.start + "\" ErrorControl=\"normal\" Account=\"" +
                   formatted(service.account) + "\"";
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
