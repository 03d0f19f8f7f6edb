// The [installer] section: product, version, upgrade code, installation folder, the files
// with their wildcards expanded, and the service entry from the launcher's block.
#include "packaging/installer/plan.h"

#include "format/record_ids.h"
#include "model/service_entry.h"
#include "packaging/descriptor/nodes.h"
#include "packaging/descriptor/parse.h"
#include "packaging/descriptor/report.h"
#include "packaging/descriptor/text.h"
#include "packaging/installer/file_patterns.h"
#include "packaging/installer/guid.h"
#include "packaging/launcher/included_names.h"

#include <algorithm>
#include <cstdlib>
#include <map>

namespace packager {

namespace {

namespace fs = std::filesystem;

const char kSection[] = "installer";

// Windows Installer compares product versions by these fields, each within its bound.
constexpr long kVersionLimits[3] = {255, 255, 65535};

// A record's text as the launcher reads it (the last of its identifier wins); "" when absent.
std::string narrowRecord(const blockformat::ConfigBlock& block, int32_t id)
{
    const std::string* value = block.findNarrow(id);
    return value != nullptr ? *value : std::string();
}

std::string joinSteps(const std::vector<std::string>& steps)
{
    std::string out;
    for (const std::string& step : steps) {
        out += (out.empty() ? "" : "\\") + step;
    }
    return out;
}

// "3", not "03": Windows Installer compares the numbers, so the text says what it compares.
bool parseProductVersion(const std::string& text, std::string* canonical)
{
    std::vector<std::string> parts;
    size_t start = 0;
    for (size_t dot = text.find('.'); ; dot = text.find('.', start)) {
        parts.push_back(text.substr(start, dot == std::string::npos ? std::string::npos : dot - start));
        if (dot == std::string::npos) break;
        start = dot + 1;
    }
    if (parts.size() != 3) {
        return false;
    }
    std::string out;
    for (size_t i = 0; i < 3; ++i) {
        const std::string& part = parts[i];
        if (part.empty() || part.size() > 5 || part.find_first_not_of("0123456789") != std::string::npos) {
            return false;
        }
        long value = std::stol(part);
        if (value > kVersionLimits[i]) {
            return false;
        }
        out += (i == 0 ? "" : ".") + std::to_string(value);
    }
    *canonical = out;
    return true;
}

// A string key of [installer]; null when absent or refused (with its error).
const toml::node* stringKey(Report& report, const toml::table* table, const char* key, std::string* value)
{
    const toml::node* node = table == nullptr ? nullptr : table->get(key);
    if (node == nullptr) {
        return nullptr;
    }
    if (!node->is_string()) {
        wrongType(report, *node, std::string(kSection) + "." + key, "a string");
        return nullptr;
    }
    *value = node->as_string()->get();
    return node;
}

// The folder steps of install_dir, or of the default <manufacturer>\<product name>.
void readInstallFolder(Report& report, const toml::table* table, const toml::node* manufacturerNode,
                       const toml::node* productNode, InstallerPlan* plan)
{
    std::string given;
    const toml::node* node = stringKey(report, table, "install_dir", &given);
    if (node != nullptr) {
        std::vector<std::string> steps = splitSteps(given);
        if (given.empty() || steps.front().empty() || given.find(':') != std::string::npos) {
            report.error(node->source(), "installer.install_dir " + shownText(given) +
                                             " must be a folder relative to Program Files, such as \"Example\\\\App\"");
            return;
        }
        for (const std::string& step : steps) {
            std::string problem = fileNameStepProblem(step);
            if (!problem.empty()) {
                report.error(node->source(), "installer.install_dir " + shownText(given) + ": the folder name " +
                                                 shownText(step) + " " + problem);
                return;
            }
        }
        plan->installFolder = steps;
        return;
    }
    if (table != nullptr && table->get("install_dir") != nullptr) {
        return;  // refused above
    }
    const std::pair<const toml::node*, const std::string*> parts[] = {{manufacturerNode, &plan->manufacturer},
                                                                     {productNode, &plan->productName}};
    for (const auto& [where, step] : parts) {
        std::string problem = fileNameStepProblem(*step);
        if (!problem.empty()) {
            report.error(where != nullptr ? where->source() : toml::source_region{},
                         "the default installation folder " + shownText(plan->manufacturer + "\\" + plan->productName) +
                             " cannot be made: " + shownText(*step) + " " + problem + "; give installer.install_dir");
            return;
        }
    }
    plan->installFolder = {plan->manufacturer, plan->productName};
}

void readFiles(Report& report, const fs::path& baseDirectory, const toml::table* table, InstallerPlan* plan)
{
    const toml::node* node = table == nullptr ? nullptr : table->get("files");
    if (node == nullptr) {
        return;
    }
    if (!node->is_array()) {
        wrongType(report, *node, "installer.files", "an array");
        return;
    }
    size_t errorsBefore = report.errorCount();
    std::map<std::string, std::string> targets;  // folded target -> what put it there
    targets[foldedName(plan->files.front().target)] = "the launcher";
    size_t index = 0;
    for (const toml::node& item : *node->as_array()) {
        std::string entry = "installer.files[" + std::to_string(index++) + "]";
        const toml::node* sourceNode = &item;
        std::vector<std::string> folder;
        if (const toml::table* file = item.as_table()) {
            checkKeys(report, *file, entry + ".", {"source", "target"});
            sourceNode = file->get("source");
            if (sourceNode == nullptr) {
                report.error(item.source(), entry + " has no source");
                continue;
            }
            if (const toml::node* targetNode = file->get("target")) {
                if (!targetNode->is_string()) {
                    wrongType(report, *targetNode, entry + ".target", "a string");
                    continue;
                }
                std::string target = targetNode->as_string()->get();
                if (!target.empty()) {
                    folder = splitSteps(target);
                }
                bool bad = target.find(':') != std::string::npos || (!folder.empty() && folder.front().empty());
                for (const std::string& step : folder) {
                    bad = bad || !fileNameStepProblem(step).empty();
                }
                if (bad) {
                    report.error(targetNode->source(), entry + ".target " + shownText(target) +
                                                           " must be a folder below the installation folder, such as "
                                                           "\"lib\" or \"conf/local\"");
                    continue;
                }
            }
        }
        if (!sourceNode->is_string()) {
            wrongType(report, *sourceNode, sourceNode == &item ? entry : entry + ".source", "a string or a table");
            continue;
        }
        const std::string pattern = sourceNode->as_string()->get();
        std::vector<PatternFile> found = filesOfPattern(baseDirectory, pattern);
        if (found.empty()) {
            report.error(sourceNode->source(), entry + " " + shownText(pattern) + " matches no file");
            continue;
        }
        for (const auto& [source, below] : found) {
            std::vector<std::string> steps = folder;
            steps.insert(steps.end(), below.begin(), below.end());
            std::string target = joinSteps(steps);
            std::string problem;
            for (const std::string& step : below) {
                problem = problem.empty() ? fileNameStepProblem(step) : problem;
            }
            if (!problem.empty()) {
                report.error(sourceNode->source(), entry + ": " + shownText(target) + " cannot be installed: a name " +
                                                       problem);
                break;
            }
            auto [at, added] = targets.insert({foldedName(target), shownText(pattern)});
            if (!added) {
                report.error(sourceNode->source(), entry + " " + shownText(pattern) + " installs " + shownText(target) +
                                                       ", which " + at->second + " installs already");
                break;
            }
            plan->files.push_back({source, target});
        }
    }
    std::sort(plan->files.begin() + 1, plan->files.end(),
              [](const InstallerFile& x, const InstallerFile& y) { return x.target < y.target; });
    std::vector<std::string> all;
    for (const InstallerFile& file : plan->files) {
        all.push_back(file.target);
    }
    std::string clash = includedNameClash(all);
    if (!clash.empty() && report.errorCount() == errorsBefore) {
        report.error(node->source(), "installer.files: " + clash + "; no folder can hold both");
    }
}

// The service entry as the launcher's `/install` makes it from the same records.
bool readService(Report& report, const toml::table& root, const blockformat::ConfigBlock& block, InstallerPlan* plan)
{
    // Where a refused value was given: the [service] key, else the top of the file.
    auto at = [&root](const char* key) {
        const toml::node* node = root.at_path(std::string("service.") + key).node();
        return node != nullptr ? node->source() : toml::source_region{};
    };
    InstallerService& service = plan->service;
    service.name = latin1ToUtf8(narrowRecord(block, cfg::serviceName));
    for (const blockformat::WideRecord& record : block.wide) {
        if (record.id == cfg::serviceDescription) {
            utf16ToUtf8(record.value, &service.description);
        }
    }
    // The records as the service model reads them at /install, with the start the
    // configuration gives (/install without /install-auto or /install-demand).
    std::string mode = narrowRecord(block, cfg::serviceStartMode);
    servicemodel::Start start =
        servicemodel::startOf(servicemodel::StartChoice::configured, narrowRecord(block, cfg::launcherKind), mode);
    if (!start.valid) {
        report.error(at("start"), "the service start mode " + shownText(latin1ToUtf8(mode)) + " " + start.reason);
        return false;
    }
    service.start = start.type == servicemodel::StartType::automatic ? "auto"
                    : start.type == servicemodel::StartType::disabled ? "disabled"
                                                                      : "demand";
    service.delayed = start.delayed;

    std::string accountText = narrowRecord(block, cfg::serviceAccount);
    servicemodel::ServiceAccount account =
        servicemodel::serviceAccountOf(accountText, narrowRecord(block, cfg::serviceName));
    std::string shownAccount = shownText(latin1ToUtf8(accountText));
    if (account.kind == servicemodel::AccountKind::invalid) {
        report.error(at("account"), "service.account " + shownAccount + " " + account.reason + "; " +
                                        servicemodel::kAccountForms);
        return false;
    }
    if (account.needsPassword()) {
        // The package would have to carry the password, or take it on the command line
        // where installer logs keep it.
        report.error(at("account"), "service.account " + shownAccount +
                                        " is a user account, whose password a package cannot keep safe; a package "
                                        "installs a service under a built-in, virtual or group managed account");
        return false;
    }
    service.account = latin1ToUtf8(account.shownName());
    service.interactive = account.mayInteract();
    for (const std::string& name : servicemodel::dependenciesOf(narrowRecord(block, cfg::serviceDependencies))) {
        service.dependencies.push_back(latin1ToUtf8(name));
    }
    service.recovery = servicemodel::recoveryOf(narrowRecord(block, cfg::serviceRecovery)).valid;
    // A flag as the launcher reads it: a number, 0 off.
    service.eventSource = std::atol(narrowRecord(block, cfg::serviceEventLog).c_str()) != 0;
    return true;
}

} // namespace

bool readInstallerPlan(const ParsedDescriptor& descriptor, const blockformat::ConfigBlock& block,
                       InstallerPlan* plan, std::vector<Diagnostic>* errors)
{
    Report report(descriptor.path);
    const toml::table& root = descriptor.root;
    auto failed = [&report, errors] {
        errors->insert(errors->end(), report.errors().begin(), report.errors().end());
        return false;
    };
    const toml::table* table = section(report, root, kSection, kSection);
    if (table == nullptr && report.errorCount() == 0) {
        report.error(toml::source_region{}, "[installer] is missing: a package needs at least its manufacturer and "
                                            "version");
    }
    if (table == nullptr) {
        return failed();
    }
    std::vector<std::string> known;
    for (const DescriptorKey& key : descriptorKeys()) {
        if (key.section == std::string(kSection)) known.push_back(key.key);
    }
    checkKeys(report, *table, "installer.", known);

    InstallerPlan out;
    bool serviceRead = readService(report, root, block, &out);
    out.productName = out.service.name;
    const toml::node* productNode = stringKey(report, table, "product_name", &out.productName);
    if (productNode != nullptr && out.productName.empty()) {
        report.error(productNode->source(), "installer.product_name must not be empty");
    }
    const toml::node* manufacturerNode = stringKey(report, table, "manufacturer", &out.manufacturer);
    if (manufacturerNode == nullptr && table->get("manufacturer") == nullptr) {
        report.error(table->source(), "installer.manufacturer is missing: a package names its manufacturer");
    } else if (manufacturerNode != nullptr && out.manufacturer.empty()) {
        report.error(manufacturerNode->source(), "installer.manufacturer must not be empty");
    }
    std::string version;
    const toml::node* versionNode = stringKey(report, table, "version", &version);
    if (versionNode == nullptr && table->get("version") == nullptr) {
        report.error(table->source(), "installer.version is missing: a package has a version such as \"1.0.0\"");
    } else if (versionNode != nullptr && !parseProductVersion(version, &out.version)) {
        report.error(versionNode->source(), "installer.version " + shownText(version) +
                                                " must be three numbers, such as \"1.2.3\" (the first two at most 255, "
                                                "the third at most 65535)");
    }
    std::string upgradeCode;
    const toml::node* upgradeNode = stringKey(report, table, "upgrade_code", &upgradeCode);
    if (upgradeNode != nullptr && !isGuid(upgradeCode)) {
        report.error(upgradeNode->source(), "installer.upgrade_code " + shownText(upgradeCode) +
                                                " is not a GUID (such as \"01234567-89AB-CDEF-0123-456789ABCDEF\")");
    }
    out.upgradeCode = upgradeNode != nullptr && isGuid(upgradeCode)
                          ? canonicalGuid(upgradeCode)
                          : derivedUpgradeCode(out.manufacturer, out.productName);
    if (!out.manufacturer.empty() && !out.productName.empty()) {
        readInstallFolder(report, table, manufacturerNode, productNode, &out);
    }

    out.startAfterInstall = out.service.start == "auto";
    if (const toml::node* start = table->get("start_after_install")) {
        if (!start->is_boolean()) {
            wrongType(report, *start, "installer.start_after_install", "true or false");
        } else {
            out.startAfterInstall = start->as_boolean()->get();
            if (out.startAfterInstall && out.service.start == "disabled") {
                report.error(start->source(), "installer.start_after_install cannot start a service whose start is "
                                              "\"disabled\"");
            }
        }
    }

    // The launcher is named after the service, and comes first.
    std::string launcherName = out.service.name + ".exe";
    std::string problem = fileNameStepProblem(launcherName);
    if (serviceRead && !problem.empty()) {
        const toml::node* nameNode = root.at_path("service.name").node();
        report.error(nameNode != nullptr ? nameNode->source() : toml::source_region{},
                     "the launcher is installed as the service's name with \".exe\", and " +
                                                shownText(launcherName) + " " + problem);
    }
    out.files.push_back({fs::path(), launcherName});
    readFiles(report, fs::path(descriptor.path).parent_path(), table, &out);

    if (report.errorCount() != 0) {
        return failed();
    }
    *plan = std::move(out);
    return true;
}

} // namespace packager
