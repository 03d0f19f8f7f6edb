// The [installer] section: product, version, upgrade code, installation folder, the files
// with their wildcards expanded, and the service entry from the launcher's block.
#include "packaging/installer/plan.h"

#include "format/record_ids.h"
#include "model/service_entry.h"
#include "packaging/descriptor/sections.h"
#include "packaging/descriptor/text.h"
#include "packaging/installer/guid.h"
#include "packaging/launcher/included_names.h"

#include <algorithm>
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

std::vector<std::string> splitSteps(const std::string& path)
{
    std::vector<std::string> steps;
    std::string step;
    for (char c : path) {
        if (c == '/' || c == '\\') {
            steps.push_back(step);
            step.clear();
        } else {
            step += c;
        }
    }
    steps.push_back(step);
    return steps;
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
const toml::node* stringKey(Builder& b, const toml::table* table, const char* key, std::string* value)
{
    const toml::node* node = table == nullptr ? nullptr : table->get(key);
    if (node == nullptr) {
        return nullptr;
    }
    if (!node->is_string()) {
        wrongType(b, *node, std::string(kSection) + "." + key, "a string");
        return nullptr;
    }
    if (b.reportedAt(node->source())) {
        return nullptr;  // it holds a NUL character
    }
    *value = node->as_string()->get();
    return node;
}

// The folder steps of install_dir, or of the default <manufacturer>\<product name>.
void readInstallFolder(Builder& b, const toml::table* table, const toml::node* manufacturerNode,
                       const toml::node* productNode, InstallerPlan* plan)
{
    std::string given;
    const toml::node* node = stringKey(b, table, "install_dir", &given);
    if (node != nullptr) {
        std::vector<std::string> steps = splitSteps(given);
        if (given.empty() || steps.front().empty() || given.find(':') != std::string::npos) {
            b.error(node->source(), "installer.install_dir " + shownText(given) +
                                        " must be a folder relative to Program Files, such as \"Example\\\\App\"");
            return;
        }
        for (const std::string& step : steps) {
            std::string problem = fileNameStepProblem(step);
            if (!problem.empty()) {
                b.error(node->source(), "installer.install_dir " + shownText(given) + ": the folder name " +
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
            b.error(where != nullptr ? where->source() : toml::source_region{},
                    "the default installation folder " + shownText(plan->manufacturer + "\\" + plan->productName) +
                        " cannot be made: " + shownText(*step) + " " + problem + "; give installer.install_dir");
            return;
        }
    }
    plan->installFolder = {plan->manufacturer, plan->productName};
}

// The paths a pattern names, relative to `base`: each step may hold '*' and '?'.
std::vector<fs::path> expandPattern(const fs::path& base, const std::string& pattern)
{
    fs::path start = fs::u8path(pattern).is_absolute() ? fs::path("/") : base;
    std::vector<fs::path> current = {start};
    for (const std::string& step : splitSteps(pattern)) {
        if (step.empty() || step == ".") {
            continue;
        }
        std::vector<fs::path> next;
        for (const fs::path& folder : current) {
            std::error_code failed;
            if (step.find_first_of("*?") == std::string::npos) {
                fs::path candidate = folder / fs::u8path(step);
                if (fs::exists(candidate, failed)) next.push_back(candidate);
                continue;
            }
            if (!fs::is_directory(folder, failed)) continue;
            std::vector<fs::path> found;
            for (const fs::directory_entry& entry : fs::directory_iterator(folder, failed)) {
                if (matchesWildcard(step, entry.path().filename().u8string())) {
                    found.push_back(entry.path());
                }
            }
            std::sort(found.begin(), found.end());
            next.insert(next.end(), found.begin(), found.end());
        }
        current = next;
    }
    if (current.size() == 1 && current.front() == start) {
        return {};  // an empty pattern names nothing
    }
    return current;
}

// Every regular file of a match: the file itself, or a folder's files below its name.
void filesOfMatch(const fs::path& match, std::vector<std::pair<fs::path, std::vector<std::string>>>* out)
{
    std::error_code failed;
    std::string name = match.filename().u8string();
    if (fs::is_regular_file(match, failed)) {
        out->push_back({match, {name}});
        return;
    }
    if (!fs::is_directory(match, failed)) {
        return;
    }
    std::vector<fs::path> files;
    for (fs::recursive_directory_iterator it(match, failed), end; !failed && it != end; it.increment(failed)) {
        if (it->is_regular_file(failed)) {
            files.push_back(it->path());
        }
    }
    std::sort(files.begin(), files.end());
    for (const fs::path& file : files) {
        std::vector<std::string> steps = {name};
        for (const fs::path& part : file.lexically_relative(match)) {
            steps.push_back(part.u8string());
        }
        out->push_back({file, steps});
    }
}

void readFiles(Builder& b, const toml::table* table, InstallerPlan* plan)
{
    const toml::node* node = table == nullptr ? nullptr : table->get("files");
    if (node == nullptr) {
        return;
    }
    if (!node->is_array()) {
        wrongType(b, *node, "installer.files", "an array");
        return;
    }
    size_t errorsBefore = b.errors->size();
    std::map<std::string, std::string> targets;  // folded target -> what put it there
    targets[foldedName(plan->files.front().target)] = "the launcher";
    size_t index = 0;
    for (const toml::node& item : *node->as_array()) {
        std::string entry = "installer.files[" + std::to_string(index++) + "]";
        const toml::node* sourceNode = &item;
        std::vector<std::string> folder;
        if (const toml::table* file = item.as_table()) {
            checkKeys(b, *file, entry + ".", {"source", "target"});
            sourceNode = file->get("source");
            if (sourceNode == nullptr) {
                b.error(item.source(), entry + " has no source");
                continue;
            }
            if (const toml::node* targetNode = file->get("target")) {
                if (!targetNode->is_string()) {
                    wrongType(b, *targetNode, entry + ".target", "a string");
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
                    b.error(targetNode->source(), entry + ".target " + shownText(target) +
                                                      " must be a folder below the installation folder, such as "
                                                      "\"lib\" or \"conf/local\"");
                    continue;
                }
            }
        }
        if (!sourceNode->is_string()) {
            wrongType(b, *sourceNode, sourceNode == &item ? entry : entry + ".source", "a string or a table");
            continue;
        }
        if (b.reportedAt(sourceNode->source())) {
            continue;
        }
        const std::string pattern = sourceNode->as_string()->get();
        std::vector<std::pair<fs::path, std::vector<std::string>>> found;
        for (const fs::path& match : expandPattern(b.baseDirectory, pattern)) {
            filesOfMatch(match, &found);
        }
        if (found.empty()) {
            b.error(sourceNode->source(), entry + " " + shownText(pattern) + " matches no file");
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
                b.error(sourceNode->source(), entry + ": " + shownText(target) + " cannot be installed: a name " +
                                                  problem);
                break;
            }
            auto [at, added] = targets.insert({foldedName(target), shownText(pattern)});
            if (!added) {
                b.error(sourceNode->source(), entry + " " + shownText(pattern) + " installs " + shownText(target) +
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
    if (!clash.empty() && b.errors->size() == errorsBefore) {
        b.error(node->source(), "installer.files: " + clash + "; no folder can hold both");
    }
}

// The service entry as the launcher's `/install` makes it from the same records.
bool readService(Builder& b, const toml::table& root, const blockformat::ConfigBlock& block, InstallerPlan* plan)
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
        b.error(at("start"), "the service start mode " + shownText(latin1ToUtf8(mode)) + " " + start.reason);
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
        b.error(at("account"), "service.account " + shownAccount + " " + account.reason + "; " +
                                   servicemodel::kAccountForms);
        return false;
    }
    if (account.needsPassword()) {
        // The package would have to carry the password, or take it on the command line
        // where installer logs keep it.
        b.error(at("account"), "service.account " + shownAccount +
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
    return true;
}

} // namespace

bool matchesWildcard(const std::string& pattern, const std::string& name)
{
    // Iterative, with one back-track point: linear in practice, and no recursion depth
    // that a long pattern could exhaust.
    auto same = [](char a, char b) {
        if (a >= 'A' && a <= 'Z') a = static_cast<char>(a - 'A' + 'a');
        if (b >= 'A' && b <= 'Z') b = static_cast<char>(b - 'A' + 'a');
        return a == b;
    };
    size_t p = 0, n = 0, star = std::string::npos, resume = 0;
    while (n < name.size()) {
        if (p < pattern.size() && (pattern[p] == '?' || (pattern[p] != '*' && same(pattern[p], name[n])))) {
            ++p;
            ++n;
        } else if (p < pattern.size() && pattern[p] == '*') {
            star = p++;
            resume = n;
        } else if (star != std::string::npos) {
            p = star + 1;
            n = ++resume;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*') {
        ++p;
    }
    return p == pattern.size();
}

std::string fileNameStepProblem(const std::string& step)
{
    if (step.empty() || step == "." || step == "..") {
        return "is empty, \".\" or \"..\"";
    }
    if (step.find_first_of("/\\:") != std::string::npos) {
        return "holds '/', '\\' or ':'";
    }
    // The other checks are those of an included file's name; the characters and names
    // they refuse are all ASCII, so other characters stand in as '_'.
    std::string ascii;
    for (char c : step) {
        ascii += static_cast<unsigned char>(c) >= 0x80 ? '_' : c;
    }
    return includedNameProblem(ascii);
}

bool readInstallerPlan(const std::string& text, const std::string& path, const blockformat::ConfigBlock& block,
                       InstallerPlan* plan, std::vector<Diagnostic>* errors)
{
    BuildSettings settings;
    Builder b;
    b.file = path;
    b.baseDirectory = fs::path(path).parent_path();
    b.settings = &settings;
    b.errors = errors;
    size_t errorsBefore = errors->size();
    toml::parse_result parsed = toml::parse(text, path);
    if (!parsed) {
        b.error(parsed.error().source(), std::string(parsed.error().description()));
        return false;
    }
    const toml::table* table = section(b, parsed.table(), kSection, kSection);
    if (table == nullptr && errors->size() == errorsBefore) {
        b.error(toml::source_region{}, "[installer] is missing: a package needs at least its manufacturer and "
                                       "version");
        return false;
    }
    if (table == nullptr) {
        return false;
    }
    std::vector<std::string> known;
    for (const DescriptorKey& key : descriptorKeys()) {
        if (key.section == std::string(kSection)) known.push_back(key.key);
    }
    checkKeys(b, *table, "installer.", known);

    InstallerPlan out;
    bool serviceRead = readService(b, parsed.table(), block, &out);
    out.productName = out.service.name;
    const toml::node* productNode = stringKey(b, table, "product_name", &out.productName);
    if (productNode != nullptr && out.productName.empty()) {
        b.error(productNode->source(), "installer.product_name must not be empty");
    }
    const toml::node* manufacturerNode = stringKey(b, table, "manufacturer", &out.manufacturer);
    if (manufacturerNode == nullptr && table->get("manufacturer") == nullptr) {
        b.error(table->source(), "installer.manufacturer is missing: a package names its manufacturer");
    } else if (manufacturerNode != nullptr && out.manufacturer.empty()) {
        b.error(manufacturerNode->source(), "installer.manufacturer must not be empty");
    }
    std::string version;
    const toml::node* versionNode = stringKey(b, table, "version", &version);
    if (versionNode == nullptr && table->get("version") == nullptr) {
        b.error(table->source(), "installer.version is missing: a package has a version such as \"1.0.0\"");
    } else if (versionNode != nullptr && !parseProductVersion(version, &out.version)) {
        b.error(versionNode->source(), "installer.version " + shownText(version) +
                                           " must be three numbers, such as \"1.2.3\" (the first two at most 255, "
                                           "the third at most 65535)");
    }
    std::string upgradeCode;
    const toml::node* upgradeNode = stringKey(b, table, "upgrade_code", &upgradeCode);
    if (upgradeNode != nullptr && !isGuid(upgradeCode)) {
        b.error(upgradeNode->source(), "installer.upgrade_code " + shownText(upgradeCode) +
                                           " is not a GUID (such as \"01234567-89AB-CDEF-0123-456789ABCDEF\")");
    }
    out.upgradeCode = upgradeNode != nullptr && isGuid(upgradeCode)
                          ? canonicalGuid(upgradeCode)
                          : derivedUpgradeCode(out.manufacturer, out.productName);
    if (!out.manufacturer.empty() && !out.productName.empty()) {
        readInstallFolder(b, table, manufacturerNode, productNode, &out);
    }

    out.startAfterInstall = out.service.start == "auto";
    if (const toml::node* start = table->get("start_after_install")) {
        if (!start->is_boolean()) {
            wrongType(b, *start, "installer.start_after_install", "true or false");
        } else {
            out.startAfterInstall = start->as_boolean()->get();
            if (out.startAfterInstall && out.service.start == "disabled") {
                b.error(start->source(), "installer.start_after_install cannot start a service whose start is "
                                         "\"disabled\"");
            }
        }
    }

    // The launcher is named after the service, and comes first.
    std::string launcherName = out.service.name + ".exe";
    std::string problem = fileNameStepProblem(launcherName);
    if (serviceRead && !problem.empty()) {
        b.error(parsed.table().at_path("service.name").node() != nullptr
                    ? parsed.table().at_path("service.name").node()->source()
                    : toml::source_region{},
                "the launcher is installed as the service's name with \".exe\", and " +
                                           shownText(launcherName) + " " + problem);
    }
    out.files.push_back({fs::path(), launcherName});
    readFiles(b, table, &out);

    if (out.service.delayed) {
        out.notes.push_back("the package installs the service with automatic start; its tables cannot say "
                            "\"delayed\" (the launcher's /install does)");
    }
    if (out.service.recovery) {
        out.notes.push_back("the package does not set the service's recovery (failure actions); the launcher's "
                            "/install does");
    }
    if (errors->size() != errorsBefore) {
        return false;
    }
    *plan = std::move(out);
    return true;
}

} // namespace packager
