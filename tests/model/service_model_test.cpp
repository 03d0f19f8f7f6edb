// The rules of a service entry through every path that reads them: the service model as
// the launcher's /install plans with it, `packager build` (the descriptor key, and the
// value `inspect` gives back for a record) and the service entry of `packager msi`'s plan.
// Each row runs through all of them, and a row fails when two of them disagree about it:
// one accepts what another refuses, or they read a different start, account, recovery or
// list of dependencies out of it.
#include "format/record_ids.h"
#include "model/service_entry.h"
#include "packaging/descriptor/build.h"
#include "packaging/descriptor/keys.h"
#include "packaging/descriptor/parse.h"
#include "packaging/descriptor/text.h"
#include "packaging/descriptor/values.h"
#include "packaging/installer/plan.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

namespace {

using servicemodel::AccountKind;
using servicemodel::StartType;

const char kApplication[] = "[application]\nmain_class = \"a.B\"\nclass_path = [ { archive = \"a.jar\" } ]\n";
const char kInstaller[] = "[installer]\nmanufacturer = \"M\"\nversion = \"1.0.0\"\n";

std::string descriptor(const std::string& serviceLines, const std::string& more = "")
{
    return "[service]\nname = \"Demo\"\n" + serviceLines + kApplication + more;
}

// A narrow text (ISO-8859-1) as a TOML basic string, every character that is not
// printable ASCII escaped.
std::string tomlString(const std::string& latin1)
{
    std::string out = "\"";
    for (char c : latin1) {
        unsigned char u = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (u < 0x20 || u >= 0x7F) {
            char escaped[8];
            snprintf(escaped, sizeof escaped, "\\u%04X", u);
            out += escaped;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

// `packager build` of a descriptor: its block, or its errors.
struct Build {
    bool ok = false;
    blockformat::ConfigBlock block;
    std::string errors;  // one line each
};

Build build(const std::string& text)
{
    Build out;
    packager::BuildSettings settings;
    packager::BuildResult result;
    std::vector<packager::Diagnostic> errors;
    out.ok = packager::buildFromDescriptor(text, "service.toml", settings, &result, &errors);
    out.block = result.block;
    for (const packager::Diagnostic& error : errors) {
        out.errors += packager::formatDiagnostic(error) + "\n";
    }
    return out;
}

std::string record(const blockformat::ConfigBlock& block, int32_t id)
{
    const std::string* value = block.findNarrow(id);
    return value != nullptr ? *value : std::string();
}

// `packager msi`'s plan of a launcher block, as a package is planned for the launcher built
// from the same descriptor.
struct Msi {
    bool ok = false;
    packager::InstallerService service;
    std::string errors;
};

Msi msi(const blockformat::ConfigBlock& block, const std::string& serviceLines = "")
{
    Msi out;
    packager::InstallerPlan plan;
    std::vector<packager::Diagnostic> errors;
    packager::ParsedDescriptor parsed;
    out.ok = packager::parseDescriptor(descriptor(serviceLines, kInstaller), "service.toml", &parsed, &errors) &&
             packager::readInstallerPlan(parsed, block, &plan, &errors);
    out.service = plan.service;
    for (const packager::Diagnostic& error : errors) {
        out.errors += packager::formatDiagnostic(error) + "\n";
    }
    return out;
}

// The block of a plain descriptor with one record set as a launcher from elsewhere may
// hold it (a build writes it through [records] too).
blockformat::ConfigBlock blockWith(int32_t id, const std::string& value)
{
    Build plain = build(descriptor(""));
    EXPECT_TRUE(plain.ok) << plain.errors;
    plain.block.set(id, value);
    return plain.block;
}

packager::TomlValue inspected(int32_t id, const std::string& text)
{
    return packager::decodeValue(*packager::findKey("service", id), text);
}

// --- accounts ----------------------------------------------------------------------------

TEST(ServiceModel, AccountsAgreeInEveryPath)
{
    struct Case {
        const char* text;      // the account record, and the descriptor's value
        AccountKind kind;
        const char* shown;     // the name the service manager shows; for a refusal, its reason
    };
    const Case cases[] = {
        // LocalSystem: no record, its keyword in any case, and the service manager's own name.
        {"", AccountKind::localSystem, "LocalSystem"},
        {"LocalSystem", AccountKind::localSystem, "LocalSystem"},
        {"localsystem", AccountKind::localSystem, "LocalSystem"},
        {"LOCALSYSTEM", AccountKind::localSystem, "LocalSystem"},
        {".\\LocalSystem", AccountKind::localSystem, "LocalSystem"},
        {".\\localSystem", AccountKind::localSystem, "LocalSystem"},
        // The built-in and virtual accounts: keywords and their full names.
        {"LocalService", AccountKind::builtIn, "NT AUTHORITY\\LocalService"},
        {"networkservice", AccountKind::builtIn, "NT AUTHORITY\\NetworkService"},
        {"NT AUTHORITY\\LocalService", AccountKind::builtIn, "NT AUTHORITY\\LocalService"},
        {"nt authority\\networkservice", AccountKind::builtIn, "nt authority\\networkservice"},
        {"virtual", AccountKind::virtualAccount, "NT SERVICE\\Demo"},
        {"Virtual", AccountKind::virtualAccount, "NT SERVICE\\Demo"},
        {"NT SERVICE\\Other", AccountKind::virtualAccount, "NT SERVICE\\Other"},
        // Group managed service accounts and users.
        {"CORP\\web01$", AccountKind::managed, "CORP\\web01$"},
        {"corp.example\\app$", AccountKind::managed, "corp.example\\app$"},
        {"CORP\\alice", AccountKind::user, "CORP\\alice"},
        {".\\svcuser", AccountKind::user, ".\\svcuser"},
        {"CORP\\first last", AccountKind::user, "CORP\\first last"},
        {"CORP\\pay$roll", AccountKind::user, "CORP\\pay$roll"},
        {"corp.example.com\\j\xF6rg", AccountKind::user, "corp.example.com\\j\xF6rg"},
        {"alice@corp.example", AccountKind::user, "alice@corp.example"},
        {"first.last@corp.example.com", AccountKind::user, "first.last@corp.example.com"},
        // Refused, with the reason every path gives.
        {"NT AUTHORITY\\SYSTEM", AccountKind::invalid,
         "names LocalSystem in a form the service manager does not take (use \"LocalSystem\")"},
        {"nt authority\\LocalSystem", AccountKind::invalid,
         "names LocalSystem in a form the service manager does not take (use \"LocalSystem\")"},
        {"NT AUTHORITY\\Anonymous", AccountKind::invalid,
         "is no account of NT AUTHORITY that a service runs as (LocalService or NetworkService)"},
        {"CORP\\user@x", AccountKind::invalid, "holds a character no account name may hold (one of \"/[]:;|=,+*?<>@)"},
        {"alice", AccountKind::invalid, "is no built-in account and names no domain"},
        {"Local Service", AccountKind::invalid, "is no built-in account and names no domain"},
        {"virtual ", AccountKind::invalid, "begins or ends with a blank"},
        {" CORP\\alice", AccountKind::invalid, "begins or ends with a blank"},
        {"CORP\\alice\xA0", AccountKind::invalid, "begins or ends with a blank"},
        {"CORP \\alice", AccountKind::invalid, "has a blank beside its '\\'"},
        {"CORP\\ alice", AccountKind::invalid, "has a blank beside its '\\'"},
        {"CORP\\", AccountKind::invalid, "has an empty domain or user name"},
        {"\\alice", AccountKind::invalid, "has an empty domain or user name"},
        {"CORP\\$", AccountKind::invalid, "has an empty domain or user name"},
        {"CORP\\a\\b", AccountKind::invalid, "has more than one '\\'"},
        {"CORP\\a:b", AccountKind::invalid, "holds a character no account name may hold (one of \"/[]:;|=,+*?<>@)"},
        {"CORP\\a*b", AccountKind::invalid, "holds a character no account name may hold (one of \"/[]:;|=,+*?<>@)"},
        {"CORP\\a\"b", AccountKind::invalid, "holds a character no account name may hold (one of \"/[]:;|=,+*?<>@)"},
        {"CORP\\a\tb", AccountKind::invalid, "holds a control character"},
        {"CORP\\a\x7F", AccountKind::invalid, "holds a control character"},
        {"a@b@c", AccountKind::invalid, "has more than one '@'"},
        {"@corp.example", AccountKind::invalid, "has an empty user or domain name"},
        {"alice@", AccountKind::invalid, "has an empty user or domain name"},
        {"alice @corp.example", AccountKind::invalid, "has a blank beside its '@'"},
        {"al:ice@corp.example", AccountKind::invalid,
         "holds a character no account name may hold (one of \"/[]:;|=,+*?<>@)"},
        {"web01$@corp.example", AccountKind::invalid,
         "names a group managed service account by a user principal name (its form is \"DOMAIN\\name$\")"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const bool valid = c.kind != AccountKind::invalid;

        // The launcher's /install.
        servicemodel::ServiceAccount account = servicemodel::serviceAccountOf(c.text, "Demo");
        EXPECT_EQ(static_cast<int>(c.kind), static_cast<int>(account.kind)) << account.reason;
        if (valid) {
            EXPECT_EQ(c.shown, account.shownName());
            EXPECT_EQ(c.kind == AccountKind::localSystem, account.name.empty());  // CreateService gets no name
        } else {
            EXPECT_EQ(c.shown, account.reason);
        }
        EXPECT_EQ(c.kind == AccountKind::user, account.needsPassword());

        // `packager build` takes the account as it stands, and refuses with the same reason;
        // a descriptor that gives the key names an account, so "" is refused there.
        const bool given = c.text[0] != '\0';
        Build built = build(descriptor("account = " + tomlString(c.text) + "\n"));
        EXPECT_EQ(valid && given, built.ok) << built.errors;
        if (built.ok) {
            EXPECT_EQ(c.text, record(built.block, cfg::serviceAccount));
        } else if (!valid) {
            EXPECT_NE(std::string::npos, built.errors.find(account.reason)) << built.errors;
        }
        // `inspect` gives the record back as the key exactly when a build takes the key.
        EXPECT_EQ(valid && given, inspected(cfg::serviceAccount, c.text).has_value());

        // `packager msi`: the same account, except a user's, whose password a package
        // cannot carry.
        Msi planned = msi(blockWith(cfg::serviceAccount, c.text));
        EXPECT_EQ(valid && !account.needsPassword(), planned.ok) << planned.errors;
        if (planned.ok) {
            EXPECT_EQ(packager::latin1ToUtf8(account.shownName()), planned.service.account);
            EXPECT_EQ(account.mayInteract(), planned.service.interactive);
        } else {
            EXPECT_NE(std::string::npos,
                      planned.errors.find(valid ? std::string("is a user account") : account.reason))
                << planned.errors;
        }
    }
}

// --- start --------------------------------------------------------------------------------

TEST(ServiceModel, StartsAgreeInEveryPath)
{
    struct Case {
        const char* lines;  // [service] start and [launcher] kind, as a descriptor gives them
        StartType type;
        bool delayed;
    };
    const Case cases[] = {
        {"", StartType::automatic, false},
        {"start = \"auto\"\n", StartType::automatic, false},
        {"start = \"demand\"\n", StartType::demand, false},
        {"start = \"delayed\"\n", StartType::automatic, true},
        {"start = \"disabled\"\n", StartType::disabled, false},
        {"[launcher]\nkind = \"gui\"\n", StartType::demand, false},
        {"start = \"demand\"\n[launcher]\nkind = \"message-boxes\"\n", StartType::demand, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.lines);
        Build built = build(descriptor(c.lines));
        ASSERT_TRUE(built.ok) << built.errors;
        const std::string kind = record(built.block, cfg::launcherKind);
        const std::string mode = record(built.block, cfg::serviceStartMode);

        servicemodel::Start start = servicemodel::startOf(servicemodel::StartChoice::configured, kind, mode);
        ASSERT_TRUE(start.valid) << start.reason;
        EXPECT_EQ(static_cast<int>(c.type), static_cast<int>(start.type));
        EXPECT_EQ(c.delayed, start.delayed);

        Msi planned = msi(built.block);
        ASSERT_TRUE(planned.ok) << planned.errors;
        const char* word = c.type == StartType::automatic ? "auto" : c.type == StartType::disabled ? "disabled" : "demand";
        EXPECT_EQ(word, planned.service.start);
        EXPECT_EQ(c.delayed, planned.service.delayed);
    }

    // Start mode records that no build writes: any case is the same mode, anything else is
    // refused by /install and by the package alike.
    const struct {
        const char* mode;
        bool valid;
        StartType type;
        bool delayed;
    } records[] = {
        {"Delayed", true, StartType::automatic, true},
        {"DISABLED", true, StartType::disabled, false},
        {"delayed ", false, StartType::demand, false},
        {"auto", false, StartType::demand, false},
        {"2", false, StartType::demand, false},
    };
    for (const auto& r : records) {
        SCOPED_TRACE(r.mode);
        servicemodel::Start start = servicemodel::startOf(servicemodel::StartChoice::configured, "4", r.mode);
        EXPECT_EQ(r.valid, start.valid);
        Msi planned = msi(blockWith(cfg::serviceStartMode, r.mode));
        EXPECT_EQ(r.valid, planned.ok) << planned.errors;
        if (r.valid) {
            EXPECT_EQ(static_cast<int>(r.type), static_cast<int>(start.type));
            EXPECT_EQ(r.delayed, start.delayed);
            EXPECT_EQ(r.delayed, planned.service.delayed);
        } else {
            EXPECT_EQ("is not known (delayed or disabled)", start.reason);
            EXPECT_NE(std::string::npos, planned.errors.find("the service start mode " +
                                                             packager::shownText(r.mode) + " " + start.reason))
                << planned.errors;
        }
        // /install-auto and /install-demand choose the start whatever the record says.
        servicemodel::Start automatic = servicemodel::startOf(servicemodel::StartChoice::automatic, "1", r.mode);
        servicemodel::Start demand = servicemodel::startOf(servicemodel::StartChoice::demand, "4", r.mode);
        EXPECT_TRUE(automatic.valid && automatic.type == StartType::automatic && !automatic.delayed);
        EXPECT_TRUE(demand.valid && demand.type == StartType::demand && !demand.delayed);
    }
}

// --- recovery -----------------------------------------------------------------------------

TEST(ServiceModel, RecoveryAgreesInEveryPath)
{
    struct Case {
        const char* table;  // the descriptor's value; null: only a launcher from elsewhere holds the record
        const char* text;   // the record
        bool valid;
        uint32_t restartSeconds;
        uint32_t resetSeconds;
        bool nonCrash;
        bool inspectable;  // inspect gives a table that builds this very record
    };
    const Case cases[] = {
        {"{}", "60;86400;0", true, 60, 86400, false, true},
        {"{ restart_after = 0 }", "0;86400;0", true, 0, 86400, false, true},
        {"{ non_crash_failures = true }", "60;86400;1", true, 60, 86400, true, true},
        {"{ restart_after = 86400, reset_after = 31536000, non_crash_failures = false }", "86400;31536000;0", true,
         86400, 31536000, false, true},
        {"{ reset_after = 0, restart_after = 5 }", "5;0;0", true, 5, 0, false, true},
        // Beyond a descriptor's bounds or not as a build writes it: /install still takes it.
        {nullptr, "90000;1;1", true, 90000, 1, true, false},
        {nullptr, "4294967;4294967295;1", true, 4294967, 4294967295u, true, false},
        {nullptr, "007;010;1", true, 7, 10, true, false},
        // Not understood: /install leaves the entry without failure actions.
        {nullptr, "4294968;1;0", false, 0, 0, false, false},
        {nullptr, "1;4294967296;0", false, 0, 0, false, false},
        {nullptr, "60;86400;2", false, 0, 0, false, false},
        {nullptr, "60;86400", false, 0, 0, false, false},
        {nullptr, "60;86400;1;", false, 0, 0, false, false},
        {nullptr, "60;;1", false, 0, 0, false, false},
        {nullptr, "-1;86400;1", false, 0, 0, false, false},
        {nullptr, "+60;86400;1", false, 0, 0, false, false},
        {nullptr, " 60;86400;1", false, 0, 0, false, false},
        {nullptr, "60,86400,1", false, 0, 0, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        blockformat::ConfigBlock block;
        if (c.table != nullptr) {
            Build built = build(descriptor(std::string("recovery = ") + c.table + "\n"));
            ASSERT_TRUE(built.ok) << built.errors;
            EXPECT_EQ(c.text, record(built.block, cfg::serviceRecovery));
            block = built.block;
        } else {
            block = blockWith(cfg::serviceRecovery, c.text);
        }

        servicemodel::Recovery recovery = servicemodel::recoveryOf(c.text);
        EXPECT_TRUE(recovery.present);
        EXPECT_EQ(c.valid, recovery.valid);
        if (c.valid) {
            EXPECT_EQ(c.restartSeconds, recovery.restartSeconds);
            EXPECT_EQ(c.resetSeconds, recovery.resetSeconds);
            EXPECT_EQ(c.nonCrash, recovery.onNonCrashFailures);
        } else {
            EXPECT_EQ("is not understood (restart;reset;non-crash, in seconds)", recovery.reason);
        }

        // The package notes that /install sets failure actions exactly when it does.
        Msi planned = msi(block);
        ASSERT_TRUE(planned.ok) << planned.errors;
        EXPECT_EQ(c.valid, planned.service.recovery);

        // What inspect gives back builds the same record again.
        packager::TomlValue table = inspected(cfg::serviceRecovery, c.text);
        EXPECT_EQ(c.inspectable, table.has_value());
        if (table) {
            Build again = build(descriptor("recovery = " + *table + "\n"));
            ASSERT_TRUE(again.ok) << again.errors;
            EXPECT_EQ(c.text, record(again.block, cfg::serviceRecovery));
        }
    }
    EXPECT_FALSE(servicemodel::recoveryOf("").present);
}

// --- the logon right and the system's shutdown ---------------------------------------------

// The grant and pre-shutdown records as a build writes them from the keys, and as older
// launchers or [records] may hold them: what /install and the service process make of
// them, and that inspect gives a key back exactly for the texts a build writes.
TEST(ServiceModel, LogonRightAndShutdownAgreeInEveryPath)
{
    struct Case {
        const char* lines;        // [service] keys; null: the records below, from elsewhere
        const char* grant;        // the records; "" for absent
        const char* preshutdown;
        const char* stopTimeout;
        bool grants;              // for a user account
        bool accepts;             // the pre-shutdown notification
        uint32_t timeoutMs;       // 0: the system's default
    };
    const Case cases[] = {
        {"", "1", "1", "30", true, true, 40000},
        {"stop_timeout = 0\n", "1", "1", "0", true, true, 0},
        {"stop_timeout = 86400\n", "1", "1", "86400", true, true, 86410000},
        {"preshutdown = false\ngrant_logon_right = false\n", "0", "0", "30", false, false, 0},
        // A launcher built before the records: no grant, the plain shutdown notification.
        {nullptr, "", "", "30", false, false, 0},
        {nullptr, "", "", "", false, false, 0},
        // Records no build writes, read as the service process reads its integers.
        {nullptr, "2", "1", "", true, true, 0},
        {nullptr, "yes", "1", "-5", false, true, 0},
        {nullptr, "1", "1", "99999999", true, true, 2592010000u},
        {nullptr, "1", "1", "2592000", true, true, 2592010000u},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.lines != nullptr ? c.lines : std::string(c.grant) + "|" + c.preshutdown + "|" + c.stopTimeout);
        if (c.lines != nullptr) {
            Build built = build(descriptor(c.lines));
            ASSERT_TRUE(built.ok) << built.errors;
            EXPECT_EQ(c.grant, record(built.block, cfg::serviceGrantLogonRight));
            EXPECT_EQ(c.preshutdown, record(built.block, cfg::servicePreshutdown));
            EXPECT_EQ(c.stopTimeout, record(built.block, cfg::serviceStopTimeout));
        }
        for (int32_t id : {cfg::serviceGrantLogonRight, cfg::servicePreshutdown}) {
            const std::string text = id == cfg::serviceGrantLogonRight ? c.grant : c.preshutdown;
            EXPECT_EQ(text == "0" || text == "1", inspected(id, text).has_value()) << id;
        }

        servicemodel::ServiceAccount user = servicemodel::serviceAccountOf("CORP\\alice", "Demo");
        EXPECT_EQ(c.grants, servicemodel::grantsLogonRight(c.grant, user));
        servicemodel::Shutdown shutdown = servicemodel::shutdownOf(c.preshutdown, c.stopTimeout);
        EXPECT_EQ(c.accepts, shutdown.preshutdown);
        EXPECT_EQ(c.timeoutMs, shutdown.timeoutMs);
    }

    // Only the accounts that log on as themselves need the right.
    const struct {
        const char* account;
        bool needs;
    } accounts[] = {
        {"", false},         {"LocalService", false}, {"NetworkService", false}, {"virtual", false},
        {"NT SERVICE\\x", false}, {".\\LocalSystem", false}, {"CORP\\web01$", true}, {".\\svcuser", true},
        {"alice@corp.example", true},
    };
    for (const auto& a : accounts) {
        SCOPED_TRACE(a.account);
        servicemodel::ServiceAccount account = servicemodel::serviceAccountOf(a.account, "Demo");
        EXPECT_EQ(a.needs, servicemodel::needsLogonRight(account));
        EXPECT_EQ(a.needs, servicemodel::grantsLogonRight("1", account));
        EXPECT_FALSE(servicemodel::grantsLogonRight("0", account));
    }
}

// --- dependencies -----------------------------------------------------------------------

TEST(ServiceModel, DependenciesAgreeInEveryPath)
{
    struct Case {
        const char* array;  // the descriptor's value; null: only a launcher from elsewhere holds the record
        const char* text;   // the record; for a refused array, null
        std::vector<std::string> names;
    };
    const Case cases[] = {
        {"[]", "", {}},
        {"[\"Tcpip\"]", "Tcpip", {"Tcpip"}},
        {"[\"Tcpip\", \"Dnscache\"]", "Tcpip,Dnscache", {"Tcpip", "Dnscache"}},
        {"[\"a b\", \" c\"]", "a b, c", {"a b", " c"}},  // blanks are part of a name
        {"[\"+NetworkProvider\"]", "+NetworkProvider", {"+NetworkProvider"}},
        {"[\"a,b\"]", nullptr, {}},  // the separator cannot be part of a name
        {"[\"\"]", nullptr, {}},
        {nullptr, ",Tcpip,,Afd,", {"Tcpip", "Afd"}},  // empty pieces name nothing
        {nullptr, ",,,", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.array != nullptr ? c.array : c.text);
        blockformat::ConfigBlock block;
        if (c.array != nullptr) {
            Build built = build(descriptor(std::string("dependencies = ") + c.array + "\n"));
            EXPECT_EQ(c.text != nullptr, built.ok) << built.errors;
            if (c.text == nullptr) {
                EXPECT_NE(std::string::npos, built.errors.find("must be a non-empty text without ','"))
                    << built.errors;
                continue;
            }
            EXPECT_EQ(c.text, record(built.block, cfg::serviceDependencies));
            block = built.block;
        } else {
            block = blockWith(cfg::serviceDependencies, c.text);
        }
        EXPECT_EQ(c.names, servicemodel::dependenciesOf(c.text));
        Msi planned = msi(block);
        ASSERT_TRUE(planned.ok) << planned.errors;
        EXPECT_EQ(c.names, planned.service.dependencies);
    }
}

} // namespace
