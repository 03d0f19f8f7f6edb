// Descriptor values and record texts, kind by kind, in both directions: a build reads a
// value into the record's text (encodeValue), inspect writes the text back as the value
// that gives it (decodeValue). Each pair sits together so that the two stay inverse.
#include "format/command_line.h"
#include "format/record_ids.h"
#include "format/record_text.h"
#include "model/java_version.h"
#include "model/jvm_directory.h"
#include "model/launcher_variables.h"
#include "model/service_entry.h"
#include "packaging/descriptor/sections.h"
#include "packaging/descriptor/text.h"
#include "packaging/descriptor/values.h"
#include "packaging/descriptor/writer.h"

#include <cctype>
#include <climits>
#include <cstdlib>
#include <iterator>

namespace packager {

namespace {

std::string element(const Path& key, size_t index)
{
    return key + "[" + std::to_string(index) + "]";
}

// --- text, flag, integer -------------------------------------------------------------------

bool encodeFlag(Report& report, const toml::node& node, const Path& key, std::string* record)
{
    if (!node.is_boolean()) {
        wrongType(report, node, key, "true or false");
        return false;
    }
    *record = flagText(node.as_boolean()->get());
    return true;
}

TomlValue decodeFlag(const std::string& record)
{
    if (record == flagText(true)) {
        return std::string("true");
    }
    if (record == flagText(false)) {
        return std::string("false");
    }
    return std::nullopt;
}

bool encodeInteger(Report& report, const toml::node& node, const Path& key, int32_t minimum, int32_t maximum,
                   std::string* record)
{
    if (!node.is_integer()) {
        wrongType(report, node, key, "an integer");
        return false;
    }
    int64_t value = node.as_integer()->get();
    if (minimum == INT32_MIN && maximum == INT32_MAX && (value < INT32_MIN || value > INT32_MAX)) {
        report.error(node.source(), key + " is out of the 32-bit range");
        return false;
    }
    if (value < minimum || value > maximum) {
        report.error(node.source(), key + " must be between " + std::to_string(minimum) + " and " +
                                        std::to_string(maximum) + ", not " + std::to_string(value));
        return false;
    }
    *record = std::to_string(value);
    return true;
}

// The text of an integer as a build writes it, within the bounds; none for any other text
// (leading zeros, a sign on zero, blanks).
TomlValue decodeInteger(const std::string& record, int32_t minimum, int32_t maximum)
{
    char* end = nullptr;
    long long number = std::strtoll(record.c_str(), &end, 10);
    if (record.empty() || *end != 0 || std::to_string(number) != record || number < minimum || number > maximum) {
        return std::nullopt;
    }
    return record;
}

// --- byte sizes ------------------------------------------------------------------------------

struct SizeUnit {
    const char* name;
    int64_t bytes;
};
// Largest first: inspect shows a size in the largest unit that divides it.
const SizeUnit kSizeUnits[] = {{"GB", 1024LL * 1024 * 1024}, {"MB", 1024LL * 1024}, {"KB", 1024}};
constexpr int64_t kMaxByteSize = 1024LL * 1024 * 1024 * 1024;
const char kSizeForms[] = "give bytes, or a number with \"KB\", \"MB\" or \"GB\", such as \"10 MB\"";

bool encodeByteSize(Report& report, const toml::node& node, const Path& key, std::string* record)
{
    int64_t bytes = 0;
    if (node.is_integer()) {
        bytes = node.as_integer()->get();
    } else if (node.is_string()) {
        const std::string& text = node.as_string()->get();
        std::string reason;
        if (!parseByteSize(text, &bytes, &reason)) {
            report.error(node.source(), key + " " + shownText(text) + " " + reason + "; " + kSizeForms);
            return false;
        }
    } else {
        wrongType(report, node, key, "a byte count or a size such as \"10 MB\"");
        return false;
    }
    if (bytes < 0 || bytes > kMaxByteSize) {
        report.error(node.source(), key + " must be between 0 and " + std::to_string(kMaxByteSize) +
                                        " bytes (1024 GB), not " + std::to_string(bytes));
        return false;
    }
    *record = std::to_string(bytes);
    return true;
}

TomlValue decodeByteSize(const std::string& record)
{
    char* end = nullptr;
    long long bytes = std::strtoll(record.c_str(), &end, 10);
    if (record.empty() || *end != 0 || std::to_string(bytes) != record || bytes < 0 || bytes > kMaxByteSize) {
        return std::nullopt;
    }
    for (const SizeUnit& unit : kSizeUnits) {
        if (bytes != 0 && bytes % unit.bytes == 0) {
            return "\"" + std::to_string(bytes / unit.bytes) + " " + unit.name + "\"";
        }
    }
    return record;
}

// --- the service account and recovery: the service model's rules ---------------------------

// The record holds the account as the descriptor gives it; the service model reads it the
// same way at /install and for `packager msi`. The record's empty text means no account
// (LocalSystem, for launchers built before the key), but a descriptor that gives the key
// names one.
std::string accountProblem(const std::string& account)
{
    if (account.empty()) {
        return "is empty";
    }
    // The service name does not change whether an account is valid, only what "virtual" names.
    servicemodel::ServiceAccount parsed = servicemodel::serviceAccountOf(account, std::string());
    return parsed.kind == servicemodel::AccountKind::invalid ? parsed.reason : std::string();
}

bool encodeAccount(Report& report, const toml::node& node, const Path& key, std::string* record)
{
    if (!narrowText(report, node, key, record)) {
        return false;
    }
    std::string reason = accountProblem(*record);
    if (!reason.empty()) {
        report.error(node.source(), key + " " + shownText(node.as_string()->get()) + " " + reason + "; " +
                                        servicemodel::kAccountForms);
        return false;
    }
    return true;
}

// The recovery table's keys are the record's fields, in their order.
bool encodeRecovery(Report& report, const toml::node& node, const Path& key, std::string* record)
{
    if (!node.is_table()) {
        wrongType(report, node, key, "a table such as { restart_after = 60 }");
        return false;
    }
    const toml::table& table = *node.as_table();
    std::vector<std::string> known;
    for (const servicemodel::RecoveryField& field : servicemodel::kRecoveryFields) {
        known.push_back(field.name);
    }
    size_t errorsBefore = report.errorCount();
    checkKeys(report, table, key + ".", known);
    bool ok = report.errorCount() == errorsBefore;
    uint32_t values[servicemodel::kRecoveryFieldCount] = {};
    for (size_t i = 0; i < servicemodel::kRecoveryFieldCount; ++i) {
        const servicemodel::RecoveryField& field = servicemodel::kRecoveryFields[i];
        std::string text = field.flag ? flagText(field.defaultValue != 0) : std::to_string(field.defaultValue);
        const toml::node* value = table.get(field.name);
        const Path name = key + "." + field.name;
        if (value != nullptr &&
            !(field.flag ? encodeFlag(report, *value, name, &text)
                              : encodeInteger(report, *value, name, 0, static_cast<int32_t>(field.maximum), &text))) {
            ok = false;
        }
        values[i] = static_cast<uint32_t>(std::strtoul(text.c_str(), nullptr, 10));
    }
    *record = servicemodel::recoveryText(values[0], values[1], values[2] != 0);
    return ok;
}

// The table that builds exactly this record; none for a record the service model does not
// take, that a build writes otherwise (leading zeros), or beyond a descriptor's bounds.
TomlValue decodeRecovery(const std::string& record)
{
    servicemodel::Recovery recovery = servicemodel::recoveryOf(record);
    if (!recovery.valid ||
        servicemodel::recoveryText(recovery.restartSeconds, recovery.resetSeconds, recovery.onNonCrashFailures) !=
            record) {
        return std::nullopt;
    }
    const uint32_t values[servicemodel::kRecoveryFieldCount] = {recovery.restartSeconds, recovery.resetSeconds,
                                                               recovery.onNonCrashFailures ? 1u : 0u};
    std::string out = "{ ";
    for (size_t i = 0; i < servicemodel::kRecoveryFieldCount; ++i) {
        const servicemodel::RecoveryField& field = servicemodel::kRecoveryFields[i];
        if (values[i] > field.maximum) {
            return std::nullopt;
        }
        std::string value = field.flag ? (values[i] != 0 ? "true" : "false") : std::to_string(values[i]);
        out += std::string(i == 0 ? "" : ", ") + field.name + " = " + value;
    }
    return out + " }";
}

// --- lists and command lines ------------------------------------------------------------

std::string stringArray(const std::vector<std::string>& items)
{
    std::string out = "[";
    for (size_t i = 0; i < items.size(); ++i) {
        out += (i == 0 ? "" : ", ") + tomlText(items[i]);
    }
    return out + "]";
}

// An array of strings joined with a separator that no element may contain.
bool encodeList(Report& report, const toml::node& node, const Path& key, char separator, std::string* record)
{
    if (!node.is_array()) {
        wrongType(report, node, key, "an array of strings");
        return false;
    }
    std::string joined;
    bool ok = true;
    size_t index = 0;
    for (const toml::node& item : *node.as_array()) {
        std::string value;
        Path name = element(key, index++);
        if (!narrowText(report, item, name, &value)) {
            ok = false;
            continue;
        }
        if (value.empty() || value.find(separator) != std::string::npos) {
            report.error(item.source(), name + " must be a non-empty text without '" + std::string(1, separator) + "'");
            ok = false;
            continue;
        }
        joined += (joined.empty() ? "" : std::string(1, separator)) + value;
    }
    *record = joined;
    return ok;
}

TomlValue decodeList(const std::string& record, char separator)
{
    if (record.empty()) {
        return std::string("[]");
    }
    std::vector<std::string> items = blockformat::splitList(record, separator);
    for (const std::string& item : items) {
        if (item.empty()) {
            return std::nullopt;
        }
    }
    return stringArray(items);
}

// Options or arguments: an array (one element per argument, quoted as the launcher's
// splitter needs) or one string taken as it stands.
bool encodeCommandLine(Report& report, const toml::node& node, const Path& key, std::string* record)
{
    if (node.is_string()) {
        return narrowText(report, node, key, record);
    }
    if (!node.is_array()) {
        wrongType(report, node, key, "an array of strings or a string");
        return false;
    }
    std::vector<std::string> arguments;
    std::vector<const toml::node*> nodes;
    bool ok = true;
    size_t index = 0;
    for (const toml::node& item : *node.as_array()) {
        std::string value;
        if (narrowText(report, item, element(key, index), &value)) {
            arguments.push_back(value);
            nodes.push_back(&item);
        } else {
            ok = false;
        }
        ++index;
    }
    size_t bad = 0;
    if (ok && !joinCommandLine(arguments, record, &bad)) {
        report.error(nodes[bad]->source(),
                     element(key, bad) + " holds both kinds of quote, which the launcher's command line cannot carry");
        ok = false;
    }
    return ok;
}

TomlValue decodeCommandLine(const std::string& record)
{
    std::vector<std::string> arguments = splitCommandLine(record);
    std::string joined;
    if (joinCommandLine(arguments, &joined, nullptr) && joined == record) {
        return stringArray(arguments);
    }
    return tomlText(record);  // kept as it stands, quoting and all
}

// --- checked texts ----------------------------------------------------------------------

bool encodeVersion(Report& report, const toml::node& node, const Path& key, std::string* record)
{
    if (!narrowText(report, node, key, record)) {
        return false;
    }
    if (!javaruntime::isWellFormedVersion(*record)) {
        report.error(node.source(), key + " " + shownText(node.as_string()->get()) +
                                        " is no Java version (numbers separated by '.', '_', '-' or '+', such as "
                                        "\"1.8\" or \"17.0.2\")");
        return false;
    }
    return true;
}

bool encodeClassName(Report& report, const toml::node& node, const Path& key, std::string* record)
{
    if (!narrowText(report, node, key, record)) {
        return false;
    }
    if (!isJavaClassName(*record)) {
        report.error(node.source(),
                     key + " " + shownText(node.as_string()->get()) +
                         " is no Java class name (such as \"com.example.Main\")");
        return false;
    }
    return true;
}

bool encodeDirectoryName(Report& report, const toml::node& node, const Path& key, std::string* record)
{
    if (!narrowText(report, node, key, record)) {
        return false;
    }
    if (!isJvmDirectoryName(*record)) {
        report.error(node.source(), key + " must be one directory name of at most " +
                                        std::to_string(javaruntime::kPreferredJvmDirCapacity - 1) + " characters");
        return false;
    }
    return true;
}

// A choice among words; the record text of the word.
bool encodeChoice(Report& report, const toml::node& node, const Path& key, const ChoiceWord* words, std::string* record)
{
    std::string list;
    for (const ChoiceWord* word = words; word->word != nullptr; ++word) {
        if (list.find(std::string("\"") + word->word + "\"") != std::string::npos) {
            continue;  // a word that stands for several texts
        }
        list += std::string(list.empty() ? "" : ", ") + "\"" + word->word + "\"";
        if (node.is_string() && node.as_string()->get() == word->word) {
            *record = word->stored;
            return true;
        }
    }
    if (!node.is_string()) {
        wrongType(report, node, key, "a string");
    } else {
        report.error(node.source(), key + " must be one of " + list + ", not " + shownText(node.as_string()->get()));
    }
    return false;
}

} // namespace

TomlValue decodeChoice(const std::string& record, const ChoiceWord* words, const std::string* linked)
{
    for (const ChoiceWord* word = words; word->word != nullptr; ++word) {
        bool sameLink =
            linked == nullptr ? word->linked == nullptr : word->linked != nullptr && *linked == word->linked;
        if (record == word->stored && sameLink) {
            return tomlString(word->word);
        }
    }
    return std::nullopt;
}

namespace {

// A redirection's file; naming a file switches the redirection on unless the
// descriptor says otherwise.
// The ${...} references an output file name may hold: the launcher's own, which it
// replaces before the name reaches the runtime library, and the one the runtime library
// replaces. Any other reference would reach the runtime library, which refuses it when
// the application starts; an environment variable is no exception, as a service does not
// run with the environment of the user who built or installed it. A %NAME% reference is
// taken literally: only the launcher's own percent forms are replaced.
const char kRuntimeLibraryReference[] = "${installer:sys.tempDir}";

bool isLauncherReference(const std::string& reference)
{
    for (const launchervars::Variable& variable : launchervars::kVariables) {
        if (reference == variable.reference) {
            return true;
        }
    }
    return reference == kRuntimeLibraryReference;
}

// The variables to name in a hint: where a service may keep its files.
std::string outputReferenceHint()
{
    return std::string("use ") + launchervars::kProgramData + " (the machine's application-data folder, which a "
           "service under any account can write to), " + launchervars::kServiceName +
           " (the service's name, so that two services of one executable keep apart), "
           "${launcher:sys.launcherDirectory} or ${launcher:sys.launcherTempDirectory}, or a path relative to the "
           "executable's directory";
}

// The first %NAME% of a text that is none of the launcher's percent forms; "" for none.
// NAME is what a variable's name holds in practice: letters, digits, '_', '(' and ')'.
std::string percentReference(const std::string& name)
{
    for (size_t at = name.find('%'); at != std::string::npos; at = name.find('%', at + 1)) {
        size_t end = at + 1;
        while (end < name.size() && (std::isalnum(static_cast<unsigned char>(name[end])) || name[end] == '_' ||
                                     name[end] == '(' || name[end] == ')')) {
            ++end;
        }
        if (end == at + 1 || end == name.size() || name[end] != '%') {
            continue;
        }
        std::string reference = name.substr(at, end - at + 1);
        if (!isLauncherReference(reference)) {
            return reference;
        }
        at = end;
    }
    return std::string();
}

// The system's temporary directory, which every user of the machine can write to. A
// service's output file there has a fixed name that another user can take first (to read
// or change the output, or to hold the file and stop the start) or turn into a link.
// Desktop applications write to the user's own temporary directory and keep them.
const char* const kSharedTempReferences[] = {"launcher:sys.tempDir", "installer:sys.tempDir"};

// True for the launcher kinds that run as a service (`service`, the default); false for
// the desktop kinds `gui` and `message-boxes`.
bool buildsServiceLauncher(const BlockDraft& block)
{
    const DescriptorKey* kindKey = findKey("launcher", cfg::launcherKind);
    auto kind = block.narrow.find(cfg::launcherKind);
    if (kindKey == nullptr || kind == block.narrow.end()) {
        return true;
    }
    for (const ChoiceWord* word = kindKey->words; word->word != nullptr; ++word) {
        if (kind->second == word->stored) {
            return std::string(word->word) == kindKey->words[0].word;
        }
    }
    return true;
}

bool hasUnclosedReference(const std::string& name)
{
    for (size_t at = name.find("${"); at != std::string::npos; at = name.find("${", at + 2)) {
        if (name.find('}', at + 2) == std::string::npos) {
            return true;
        }
    }
    return false;
}

// Empty when every ${...} reference of an output file name is resolved when the
// application starts, and none names a shared folder for a service; otherwise why not.
std::string outputReferenceProblem(const std::string& name, bool service)
{
    for (size_t at = name.find("${"); at != std::string::npos; at = name.find("${", at + 2)) {
        size_t end = name.find('}', at + 2);
        if (end == std::string::npos) {
            return "has the reference " + shownText(latin1ToUtf8(name.substr(at))) + " without its closing '}'";
        }
        std::string reference = name.substr(at + 2, end - at - 2);
        if (!isLauncherReference("${" + reference + "}")) {
            return "refers to ${" + latin1ToUtf8(reference) +
                   "}, which nothing resolves when the application starts (a service does not see the "
                   "environment of the user who installed it); " + outputReferenceHint();
        }
        bool shared = false;
        for (const char* candidate : kSharedTempReferences) {
            shared = shared || reference == candidate;
        }
        if (shared && service) {
            return "refers to ${" + reference +
                   "}, the system's temporary directory, which every user can write to: another user could "
                   "create the service's file there first to read or change its output or to stop its start, or "
                   "put a link in its place; use a path relative to the executable's directory (only the "
                   "launcher.kind \"gui\" and \"message-boxes\" accept this folder)";
        }
    }
    const std::string percent = percentReference(name);
    if (!percent.empty()) {
        return "holds " + latin1ToUtf8(percent) +
               ", which stays as it is written: neither the launcher nor the runtime library replaces an "
               "environment variable in an output file's name (a service does not see the environment of the user "
               "who installed it); " + outputReferenceHint();
    }
    return std::string();
}

// Empty when the service process resolves every reference of the capture file's name;
// otherwise why not. It writes the file before the child runs, so the child's folder of
// included files and the runtime it chooses are not known there.
std::string captureReferenceProblem(const std::string& name)
{
    for (const launchervars::Variable& variable : launchervars::kVariables) {
        const bool known = variable.meaning == launchervars::Meaning::launcherDirectory ||
                           variable.meaning == launchervars::Meaning::programData ||
                           variable.meaning == launchervars::Meaning::serviceName;
        if (!known && name.find(variable.reference) != std::string::npos) {
            return std::string("refers to ") + variable.reference +
                   ", which the service process does not know when it writes the captured output; it may use "
                   "${launcher:sys.serviceName}, ${launcher:sys.programData} and ${launcher:sys.launcherDirectory}";
        }
    }
    return std::string();
}

bool encodeOutputFile(Build& b, const DescriptorKey& key, const toml::node& node, const toml::table& table,
                      std::string* record)
{
    if (!narrowText(b.report, node, keyPath(key), record)) {
        return false;
    }
    // A descriptor that `inspect` wrote for a launcher from elsewhere is checked by a build
    // too; it must describe that launcher as it is.
    // The service process writes the captured output itself, in every kind of launcher
    // that runs as a service, and knows fewer of the launcher's variables than the child.
    const bool capture = key.record == cfg::outputCapture;
    std::string problem = describesExistingLauncher(b)
                              ? std::string()
                              : outputReferenceProblem(*record, capture || buildsServiceLauncher(b.block));
    if (problem.empty() && capture && !describesExistingLauncher(b)) {
        problem = captureReferenceProblem(*record);
    }
    if (!problem.empty()) {
        b.report.error(node.source(), keyPath(key) + " " + problem);
        return false;
    }
    if (key.linked == 0) {
        return true;
    }
    const DescriptorKey* redirection = findKey(key.section, key.linked);
    if (redirection == nullptr || table.get(redirection->key) == nullptr) {
        b.block.narrow[key.linked] = flagText(!record->empty());
    }
    return true;
}

} // namespace

std::string tomlText(const std::string& latin1)
{
    return tomlString(latin1ToUtf8(latin1));
}

bool isJavaClassName(const std::string& name)
{
    bool atStart = true;
    for (char c : name) {
        unsigned char u = static_cast<unsigned char>(c);
        if (c == '.') {
            if (atStart) {
                return false;
            }
            atStart = true;
        } else if (std::isalpha(u) || c == '_' || c == '$' || u >= 0x80 || (!atStart && std::isdigit(u))) {
            atStart = false;
        } else {
            return false;
        }
    }
    return !atStart;
}

bool isJvmDirectoryName(const std::string& name)
{
    return name.size() < javaruntime::kPreferredJvmDirCapacity && name.find_first_of("\\/") == std::string::npos;
}

bool isServiceAccount(const std::string& account, std::string* reason)
{
    std::string problem = accountProblem(account);
    if (reason != nullptr) {
        *reason = problem;
    }
    return problem.empty();
}

bool parseByteSize(const std::string& text, int64_t* bytes, std::string* reason)
{
    size_t at = 0;
    int64_t number = 0;
    while (at < text.size() && text[at] >= '0' && text[at] <= '9') {
        if (number > (INT64_MAX - (text[at] - '0')) / 10) {
            *reason = "is too large";
            return false;
        }
        number = number * 10 + (text[at] - '0');
        ++at;
    }
    if (at == 0) {
        *reason = "does not begin with a number";
        return false;
    }
    while (at < text.size() && text[at] == ' ') {
        ++at;
    }
    std::string unit = text.substr(at);
    if (unit.empty()) {
        *bytes = number;
        return true;
    }
    for (const SizeUnit& known : kSizeUnits) {
        if (unit.size() == 2 && std::toupper(static_cast<unsigned char>(unit[0])) == known.name[0] &&
            std::toupper(static_cast<unsigned char>(unit[1])) == known.name[1]) {
            if (number > INT64_MAX / known.bytes) {
                *reason = "is too large";
                return false;
            }
            *bytes = number * known.bytes;
            return true;
        }
    }
    *reason = "has no unit the launcher knows";
    return false;
}

bool encodeValue(Build& b, const DescriptorKey& key, const toml::node& node, const toml::table& table,
                 std::string* record)
{
    const Path path = keyPath(key);
    switch (key.kind) {
    case KeyKind::text: return narrowText(b.report, node, path, record);
    case KeyKind::flag: return encodeFlag(b.report, node, path, record);
    case KeyKind::integer: return encodeInteger(b.report, node, path, key.minimum, key.maximum, record);
    case KeyKind::list: return encodeList(b.report, node, path, key.separator, record);
    case KeyKind::commandLine: return encodeCommandLine(b.report, node, path, record);
    case KeyKind::version: return encodeVersion(b.report, node, path, record);
    case KeyKind::choice: return encodeChoice(b.report, node, path, key.words, record);
    case KeyKind::className: return encodeClassName(b.report, node, path, record);
    case KeyKind::directoryName: return encodeDirectoryName(b.report, node, path, record);
    case KeyKind::outputFile: return encodeOutputFile(b, key, node, table, record);
    case KeyKind::classPath: return encodeClassPath(b.report, node, path, record);
    case KeyKind::searchSequence: return encodeSearchSequence(b, node, path, record);
    case KeyKind::account: return encodeAccount(b.report, node, path, record);
    case KeyKind::recovery: return encodeRecovery(b.report, node, path, record);
    case KeyKind::byteSize: return encodeByteSize(b.report, node, path, record);
    default: return false;  // the section's own code reads the others
    }
}

TomlValue decodeValue(const DescriptorKey& key, const std::string& record)
{
    switch (key.kind) {
    case KeyKind::text: return tomlText(record);
    // A name with a reference that never closes is no file name a build takes: kept as the
    // record it is.
    case KeyKind::outputFile:
        return hasUnclosedReference(record) ? std::nullopt : TomlValue(tomlText(record));
    case KeyKind::flag: return decodeFlag(record);
    case KeyKind::integer: return decodeInteger(record, key.minimum, key.maximum);
    case KeyKind::list: return decodeList(record, key.separator);
    case KeyKind::commandLine: return decodeCommandLine(record);
    case KeyKind::version:
        return javaruntime::isWellFormedVersion(record) ? TomlValue(tomlText(record)) : std::nullopt;
    case KeyKind::choice: return decodeChoice(record, key.words, nullptr);
    case KeyKind::className: return isJavaClassName(record) ? TomlValue(tomlText(record)) : std::nullopt;
    case KeyKind::directoryName:
        return isJvmDirectoryName(record) ? TomlValue(tomlText(record)) : std::nullopt;
    case KeyKind::classPath: return decodeClassPath(record);
    case KeyKind::searchSequence: return decodeSearchSequence(record);
    case KeyKind::account: return isServiceAccount(record, nullptr) ? TomlValue(tomlText(record)) : std::nullopt;
    case KeyKind::recovery: return decodeRecovery(record);
    case KeyKind::byteSize: return decodeByteSize(record);
    default: return std::nullopt;
    }
}

void buildKeys(Build& b, const toml::table* table, const std::string& name)
{
    if (table == nullptr) {
        return;
    }
    std::vector<std::string> known;
    for (const DescriptorKey& key : descriptorKeys()) {
        if (key.section == name) {
            known.push_back(key.key);
        }
    }
    std::vector<std::string> below;
    for (const DescriptorSection& section : descriptorSections()) {
        std::string child(section.name);
        if (child.size() > name.size() + 1 && child.compare(0, name.size() + 1, name + ".") == 0) {
            below.push_back(child);
            known.push_back(child.substr(name.size() + 1));
        }
    }
    checkKeys(b.report, *table, name + ".", known);
    for (const DescriptorKey& key : descriptorKeys()) {
        if (key.section != name || key.code != KeyCode::table) {
            continue;
        }
        const toml::node* node = keyNode(table, key);
        std::string record;
        if (node != nullptr && encodeValue(b, key, *node, *table, &record)) {
            b.block.narrow[key.record] = record;
        }
    }
    for (const std::string& child : below) {
        buildKeys(b, section(b.report, *table, child.c_str() + name.size() + 1, child), child);
    }
}

} // namespace packager
