// The table of descriptor keys.
//
// The defaults make a working service launcher: automatic start on install, the
// executable's directory as working directory, any Java 1.8 or later from ..\jre, the
// registry (the JavaSoft keys, then the runtimes installers register), JAVA_HOME or
// JDK_HOME, or the search path, and output that the runtime library leaves alone
// unless the descriptor names files.
#include "packaging/descriptor/keys.h"

#include "format/record_ids.h"
#include "model/service_entry.h"

namespace packager {

namespace {

// "delayed" and "disabled" are automatic-start service launchers whose start mode record
// says more; "auto" and "demand" leave that record out, as launchers have always been.
const ChoiceWord kStartWords[] = {{"auto", "4"},
                                  {"demand", "0"},
                                  {"demand", "1"},
                                  {"demand", "5"},
                                  {"delayed", "4", servicemodel::kStartModeDelayed},
                                  {"disabled", "4", servicemodel::kStartModeDisabled},
                                  {nullptr, nullptr}};
const ChoiceWord kLauncherKindWords[] = {
    {"service", "4"}, {"service", "0"}, {"gui", "1"}, {"message-boxes", "5"}, {nullptr, nullptr}};
const ChoiceWord kFlavourWords[] = {{"quill", "q"}, {"deploykit", "d"}, {nullptr, nullptr}};
const ChoiceWord kLanguageWords[] = {{"en", "en"}, {"de", "de"}, {"fr", "fr"}, {nullptr, nullptr}};
const ChoiceWord kRollWords[] = {{"none", "none"}, {"daily", "daily"}, {"hourly", "hourly"}, {nullptr, nullptr}};
const ChoiceWord kRestartWords[] = {{"never", "0"}, {"on-failure", "1"}, {"always", "2"}, {nullptr, nullptr}};

constexpr KeyCode kTable = KeyCode::table;
constexpr KeyCode kOwnReading = KeyCode::ownReading;
constexpr KeyCode kOwn = KeyCode::own;

const char kMessageDefault[] = "the text of `language`";

constexpr int32_t kDay = 86400;  // seconds

// An integer key with bounds.
DescriptorKey bounded(const char* section, const char* key, int32_t record, const char* defaultValue,
                      int32_t minimum, int32_t maximum, const char* summary)
{
    DescriptorKey entry{section, key, record, KeyKind::integer, defaultValue, summary};
    entry.minimum = minimum;
    entry.maximum = maximum;
    return entry;
}

// A key of [installer]: read by `packager msi` only, never part of the block.
DescriptorKey installerKey(const char* key, KeyKind kind, const char* shownDefault, const char* type,
                           const char* summary)
{
    DescriptorKey entry{"installer", key, 0, kind, nullptr, summary, KeyCode::own};
    entry.defaultText = shownDefault;
    entry.typeText = type;
    return entry;
}

// [environment]: its keys are the names of variables, each one setting of the one record.
DescriptorKey environmentKey(const char* summary)
{
    DescriptorKey entry{"environment", "NAME", cfg::environmentVariables, KeyKind::environment, nullptr, summary,
                        KeyCode::own};
    entry.defaultText = "none";
    entry.typeText = "string, or an inline table `{ prepend = \"...\" }`, `{ append = \"...\" }` or "
                     "`{ remove = true }`";
    return entry;
}

const std::vector<DescriptorKey> kKeys = {
    // [service]
    {"service", "name", cfg::serviceName, KeyKind::text, "",
     "Service name, at most 256 characters and without `/` or `\\` (the service manager refuses them); a name "
     "given on the launcher's command line replaces it", kTable, "a service name"},
    {"service", "start", cfg::launcherKind, KeyKind::choice, "4",
     "How `/install` registers the service: automatic, delayed automatic or demand start, or disabled (only a "
     "`service` launcher starts automatically); `delayed` and `disabled` also write record 30006 "
     "`serviceStartMode`", kOwnReading, nullptr, 0, kStartWords, cfg::serviceStartMode},
    {"service", "dependencies", cfg::serviceDependencies, KeyKind::list, "",
     "Names of the services that must run before this one; `/install` registers them with the service entry",
     kTable, nullptr, servicemodel::kDependencySeparator},
    {"service", "description", cfg::serviceDescription, KeyKind::wideText, "",
     "Description the service manager shows; empty for none", kOwn},
    bounded("service", "stop_timeout", cfg::serviceStopTimeout, "30", 0, kDay,
            "Seconds a stop waits for the application to end; 0 waits for ever"),
    bounded("service", "hang_timeout", cfg::serviceHangTimeout, "0", 0, kDay,
            "Seconds without a sign of life from the application's VM after which the service process takes a "
            "thread dump (if the VM still answers one), ends the application with its processes as at the stop "
            "deadline and lets `restart` decide, the end counting as a failure; the runtime library signals every "
            "second from a thread of its own, and the watch begins with its first signal and pauses while the "
            "service stops. 0 turns the watch off; otherwise at least 10. The `deploykit` flavour's runtime and "
            "runtime library jars older than the watch do not signal and are never watched"),
    {"service", "restart", cfg::serviceRestart, KeyKind::choice, "0",
     "Restart the application when it ends while the service runs: `on-failure` when it ends with an exit code "
     "other than 0, `always` whatever its exit code", kTable, nullptr, 0, kRestartWords},
    bounded("service", "restart_delay", cfg::serviceRestartDelay, "1", 0, kDay, "Seconds before the first restart"),
    bounded("service", "restart_delay_max", cfg::serviceRestartDelayMax, "60", 0, kDay,
            "Longest delay before a restart, in seconds, as the delay grows with repeated restarts; not below "
            "`restart_delay`"),
    bounded("service", "restart_reset", cfg::serviceRestartReset, "300", 0, 10 * kDay,
            "Seconds the application must run for the restart count and delay to begin again"),
    bounded("service", "restart_limit", cfg::serviceRestartLimit, "5", 0, 1000,
            "Most restarts in a row before the service gives up and stops; 0 for no limit"),
    {"service", "account", cfg::serviceAccount, KeyKind::account, "LocalSystem",
     "Account `/install` registers the service with: `\"LocalSystem\"`, `\"LocalService\"`, "
     "`\"NetworkService\"`, `\"virtual\"` (a virtual account of the service's own; these words in any case), a "
     "group managed service account `\"DOMAIN\\\\name$\"`, or a user `\"DOMAIN\\\\user\"` (`\".\\\\user\"` for a "
     "local one) or `\"user@domain\"`, whose password `/install` reads from the environment variable "
     "`QUILL_SERVICE_PASSWORD`; no password is ever stored"},
    {"service", "recovery", cfg::serviceRecovery, KeyKind::recovery, nullptr,
     "What the service manager does when the service process fails: "
     "`{ restart_after = 60, reset_after = 86400, non_crash_failures = true }`, each key optional: restart the "
     "service after `restart_after` seconds (default 60, at most 86400; 0 for no restart), count failures anew "
     "after `reset_after` seconds without one (default 86400, at most 31536000), and act also when the service "
     "stops with an error code (the launcher's 5000 for a start it refused and 5001 for an application ended at "
     "the stop deadline), not only when its process ends unexpectedly (default false). The launcher holds it as "
     "the text `restart;reset;non-crash` in seconds, such as `60;86400;1`, the form `[records]` takes; no record "
     "without the key", kTable, nullptr, 0, nullptr, 0, "none"},
    {"service", "event_log", cfg::serviceEventLog, KeyKind::flag, "1",
     "Report the service's start, stop and failures in the Windows event log"},
    {"service", "grant_logon_right", cfg::serviceGrantLogonRight, KeyKind::flag, "1",
     "Let `/install` grant a user account or a group managed service account the right to log on as a service "
     "(`SeServiceLogonRight`) when it does not hold it yet, and say so; without the right the service fails to "
     "start with error 1069. A grant that fails (no right to change the policy) refuses the install and leaves an "
     "installed service as it was. The built-in and virtual accounts need no grant; `false` leaves the policy "
     "alone"},
    {"service", "preshutdown", cfg::servicePreshutdown, KeyKind::flag, "1",
     "At a system shutdown, stop the application as `/stop` does, with the full `stop_timeout` and the same end: "
     "the service accepts the pre-shutdown notification, and `/install` sets its pre-shutdown timeout to "
     "`stop_timeout` plus 10 seconds (with `stop_timeout = 0` the system's default stays). `false`: the plain "
     "shutdown notification, after which the system waits about 20 seconds for all services together"},
    {"service", "description_translations", cfg::serviceDescription, KeyKind::translations, nullptr,
     "The description by the user's locale: locale code (`\"de\"`, `\"de_CH\"`, `\"\"` for any) = text; the "
     "longest code that starts the user's locale wins", kOwn, nullptr, 0, nullptr, 0, "none"},

    // [application]
    {"application", "main_class", cfg::mainClass, KeyKind::className, "",
     "The application's main class, fully qualified", kTable, "the class that starts the application"},
    {"application", "class_path", cfg::classPath, KeyKind::classPath, "",
     "Class path entries in order: `{ archive = \"app.jar\" }`, `{ directory = \"classes\" }`, "
     "`{ scan = \"lib\" }` (every archive in the directory), `{ environment = \"NAME\" }` (a variable's "
     "class path); each may add `optional = true`, else a missing entry stops the start. A relative `archive`, "
     "`directory` or `scan` is taken from the executable's directory, not the working directory; variables are "
     "expanded. The archives of `[[files]]` come before these entries",
     kTable, "at least one class path entry"},
    {"application", "arguments", cfg::defaultArguments, KeyKind::commandLine, "",
     "Arguments of `main` when the command line gives none; variables are expanded"},

    // [java]
    {"java", "min_version", cfg::minJavaVersion, KeyKind::version, "1.8",
     "Oldest Java version accepted; empty for no bound. For any range but the default one, the built-in "
     "no-runtime messages end with it (\"The application needs Java 11 or later.\")"},
    {"java", "max_version", cfg::maxJavaVersion, KeyKind::version, "",
     "Newest Java version accepted; empty for no bound"},
    {"java", "search", cfg::jvmSearchSequence, KeyKind::searchSequence, "B..\\jre;Y;V;EJAVA_HOME;EJDK_HOME;S;",
     "Where to look for a Java runtime, in order: `{ directory = \"jre\" }` (relative to the executable; "
     "add `fallback = \"relative-only\"` to skip it when it is not relative), `{ environment = \"NAME\" }`, "
     "`{ path = true }`, `{ registry = true }` (the JavaSoft keys), `{ installed = true }` (the runtimes "
     "installers register, newest first); at least one entry. When no runtime in the version range is found, "
     "the relative directory entries (and absolute ones without `fallback = \"relative-only\"`) are tried once "
     "more without the version test, as a runtime shipped with the application is better than none (unless "
     "`strict_version`); `build` notes this for any version range but the default one. The variable "
     "`QUILL_JAVA_HOME` is tried after the sequence"},
    {"java", "strict_version", cfg::strictJavaVersion, KeyKind::flag, "0",
     "Never start a runtime outside `min_version` and `max_version`: the directory entries of `search` are not "
     "tried again without the version test, and when no runtime fits, the start ends with the no-runtime "
     "message, which names the runtimes found and why each was rejected"},
    {"java", "allow_prerelease", cfg::acceptPreRelease, KeyKind::flag, "0",
     "Accept runtimes whose version says beta, ea or rc"},
    {"java", "require_jdk", cfg::requireJdk, KeyKind::flag, "0",
     "Accept only a JDK (a home with `lib\\tools.jar`)"},
    {"java", "jvm_subdirectory", cfg::preferredJvmDir, KeyKind::directoryName, "",
     "Directory of `jvm.dll` under the runtime's `bin`, tried before `hotspot`, `client`, `server`, `classic` "
     "and `jrockit` (such as `\"server\"`); one directory name, empty for the usual order"},
    {"java", "application_id", cfg::applicationId, KeyKind::text, "",
     "Identifier of the application among the installations an installer registered: the runtime an earlier "
     "installation of it used is tried after the search sequence; empty skips that lookup"},
    {"java", "skip_javasoft_registry", cfg::skipJavaSoftKeys, KeyKind::flag, "0",
     "Leave out the JavaSoft registry keys (`HKLM\\SOFTWARE\\JavaSoft`) where the search sequence has "
     "`{ registry = true }`"},

    // [vm]
    {"vm", "options", cfg::vmParameters, KeyKind::commandLine, "",
     "Options of the Java VM, one per array element, each beginning with `-` (a file name may follow "
     "`-include-options`); a string is split at blanks, with a note; variables are expanded. Options from the "
     "vmoptions files beside the launcher (`<name>.vmoptions`, `<name>.exe.vmoptions`) come after them"},
    {"vm", "pass_j_arguments", cfg::passJArguments, KeyKind::flag, "1",
     "Command-line arguments that begin with `-J` go to the VM without the `-J` (`-J-Xmx1g` gives `-Xmx1g`), "
     "not to the application; false passes them to the application"},

    // [environment]
    environmentKey("A variable of the application's environment, by its name: a string sets it (an empty one "
                   "removes it); `prepend` and `append` add their text to its value with `;` between them (none when "
                   "it was empty or not set); `remove = true` removes it. Texts are expanded as the launcher expands "
                   "others: `${launcher:sys.launcherDirectory}`, `${launcher:sys.launcherTempDirectory}`, `${NAME}` "
                   "of the environment, each entry seeing those before it. `build` refuses a name that is empty or "
                   "holds `=`, a value of more than 32767 characters, and `${launcher:sys.jvmHome}`, which is not "
                   "known yet"),

    // [launcher]
    {"launcher", "kind", cfg::launcherKind, KeyKind::choice, nullptr,
     "How the launcher reports errors: `service` on standard error; `gui` and `message-boxes` in message boxes, "
     "and those install with demand start; by default the kind `service.start` gives",
     kOwnReading, nullptr, 0, kLauncherKindWords},
    {"launcher", "flavour", cfg::flavourLetter, KeyKind::choice, "q",
     "Which runtime library classes the launcher calls: `quill` those of the embedded runtime library jar; "
     "`deploykit` the older ones, and also puts its runtime archive on the class path and checks for a first "
     "run", kTable, nullptr, 0,
     kFlavourWords},
    {"launcher", "working_directory", cfg::workingDirectory, KeyKind::text, ".",
     "Working directory, relative to the executable's directory; variables are expanded; empty leaves it "
     "unchanged"},
    {"launcher", "installation_directory", cfg::installationDirectory, KeyKind::text, ".",
     "Installation directory, relative to the executable's directory: where the launcher reads the location "
     "files an installer leaves (the preferred and the installer's runtime) and, for `deploykit`, its runtime "
     "archive"},
    {"launcher", "native_library_directories", cfg::nativeLibraryDirectories, KeyKind::list, "",
     "Directories put in front of `PATH`", kTable, nullptr, ';'},
    {"launcher", "runtime_library", 0, KeyKind::setting, "1",
     "Embed the runtime library jar as an included file (the packager's `--runtime-library`)", kOwn},

    // [output]
    {"output", "stderr", cfg::stderrFile, KeyKind::outputFile, "",
     "File for the application's standard error; a relative name is taken from the executable's directory. "
     "It may use `${launcher:sys.programData}` (the machine's application-data folder, such as "
     "`C:\\ProgramData`, which a service under any account can write to; see the README for each account), "
     "`${launcher:sys.serviceName}` (the service's name, so that two services of one executable write "
     "apart), `${launcher:sys.launcherDirectory}`, `${launcher:sys.launcherTempDirectory}` and "
     "`${launcher:sys.jvmHome}`; `build` refuses any other `${...}`, and a `%NAME%`, which would be taken "
     "literally: environment variables are not replaced, as a service does not see the installing user's "
     "environment. The system's temporary directory "
     "(`${launcher:sys.tempDir}`, `${installer:sys.tempDir}`) is for the `gui` and `message-boxes` kinds "
     "only: every user can write there, so `build` refuses it for a `service` launcher, and the runtime "
     "library refuses any file in it when it runs as a service. The file and its older ones are never "
     "opened, renamed or removed through a link. Without a file the output goes where the launcher's goes: "
     "the console for `/run`, nowhere for a service", kTable, nullptr, 0, nullptr,
     cfg::redirectStderr},
    {"output", "redirect_stderr", cfg::redirectStderr, KeyKind::flag, "0",
     "Send standard error to `stderr` (true when `stderr` names a file)"},
    {"output", "stdout", cfg::stdoutFile, KeyKind::outputFile, "",
     "File for the application's standard output, like `stderr`", kTable, nullptr, 0, nullptr,
     cfg::redirectStdout},
    {"output", "redirect_stdout", cfg::redirectStdout, KeyKind::flag, "0",
     "Send standard output to `stdout` (true when `stdout` names a file)"},
    {"output", "append", cfg::redirectAppendFlag, KeyKind::flag, "1",
     "Append to the output files rather than replace them"},
    {"output", "max_size", cfg::outputMaxSize, KeyKind::byteSize, "10485760",
     "Most bytes an output file holds: a write that would take it further first renames it to `<name>.1` "
     "(`.1` to `.2` and so on, the oldest beyond `keep` removed) and begins a new file; a single larger write "
     "still goes out whole. `KB`, `MB` and `GB` are 1024 bytes, 1024 KB and 1024 MB; 0 for no limit"},
    bounded("output", "keep", cfg::outputKeep, "5", 0, 1000,
            "How many older output files `max_size` keeps beside the current one; with `roll`, how many rolled "
            "files are kept in all (a file and its `.gz` count once), newest first"),
    {"output", "roll", cfg::outputRoll, KeyKind::choice, "none",
     "Roll the output files over at the first write after local midnight (`daily`) or the full hour "
     "(`hourly`): the file becomes `<name>.<YYYY-MM-DD>.<n>` (`<name>.<YYYY-MM-DD_HH>.<n>`), named after the "
     "period it was written in, `n` counting the files of that period (`max_size` still applies within it), "
     "and a new one begins; a restart within a period goes on in the same file. With `none` the files are "
     "numbered as `max_size` says. Only names of this form are counted, rolled, compressed or removed",
     kTable, nullptr, 0, kRollWords},
    bounded("output", "keep_days", cfg::outputKeepDays, "0", 0, 36500,
            "With `roll`: also remove the rolled files whose date is more than this many days before today's, at "
            "the start and at each roll over; 0 for no age limit"),
    {"output", "compress", cfg::outputCompress, KeyKind::flag, "0",
     "With `roll`: compress each rolled file to `<rolled name>.gz` in the background, never holding up a "
     "write; a compression that fails leaves the plain file and is tried again at the next roll over. The "
     "runtime library compresses the application's files, the service process those of `capture`"},
    {"output", "capture", cfg::outputCapture, KeyKind::outputFile, "logs\\${launcher:sys.serviceName}.log",
     "File into which the service process writes everything the service's child prints on its standard output "
     "and error (what the application does not redirect, and whatever the VM prints before and outside the "
     "runtime library's redirection), with a line that marks each start of the child and each end with its "
     "exit code; `max_size`, `keep`, `roll`, `keep_days` and `compress` apply to it as well. A relative name is "
     "taken from the executable's directory; it may use `${launcher:sys.serviceName}`, `${launcher:sys.programData}` and "
     "`${launcher:sys.launcherDirectory}`. `\"\"` discards the output, as a launcher built before this key "
     "does. A file that the service's account cannot write is reported once in the Event Log, and the service "
     "runs all the same"},

    // [instance]
    {"instance", "single", cfg::singleInstance, KeyKind::flag, "0",
     "Allow one running instance only: a second start of the same executable ends at once with exit code 0"},
    {"instance", "bring_to_front", cfg::bringToFront, KeyKind::flag, "1",
     "With `single`: a second start brings the running instance's windows to the front before it ends"},
    {"instance", "global", cfg::globalInstanceObjects, KeyKind::flag, "0",
     "With `single`: one instance per machine (across every user's session) rather than one per session"},

    // [splash]
    {"splash", "enabled", cfg::splashScreen, KeyKind::flag, "0",
     "Splash screen: with `after_vm` too, the launcher hands the splash texts (`[splash.status]`, "
     "`[splash.version]`) to the runtime library once the VM runs; the launcher itself draws no window"},
    {"splash", "after_vm", cfg::splashAfterVm, KeyKind::flag, "0",
     "Hand the splash texts to the Java side after the VM is created (needs `enabled`)"},
    {"splash", "second_flag", cfg::splashSecondFlag, KeyKind::flag, "0",
     "Second switch of the Java side's splash settings, passed on as it stands"},
    {"splash.status", "text", cfg::statusLineText, KeyKind::text, "", "Status line: first text"},
    {"splash.status", "x", cfg::statusLineX, KeyKind::integer, "20", "Status line: x position"},
    {"splash.status", "y", cfg::statusLineY, KeyKind::integer, "20", "Status line: y position"},
    {"splash.status", "colour", cfg::statusLineColour, KeyKind::text, "0,0,0",
     "Status line: colour as red, green and blue, such as `\"0,0,0\"`"},
    {"splash.status", "font_size", cfg::statusLineFontSize, KeyKind::integer, "8", "Status line: font size"},
    {"splash.status", "font_weight", cfg::statusLineFontWeight, KeyKind::integer, "500",
     "Status line: font weight"},
    {"splash.version", "text", cfg::versionLineText, KeyKind::text, "", "Version line: text"},
    {"splash.version", "x", cfg::versionLineX, KeyKind::integer, "20", "Version line: x position"},
    {"splash.version", "y", cfg::versionLineY, KeyKind::integer, "40", "Version line: y position"},
    {"splash.version", "colour", cfg::versionLineColour, KeyKind::text, "0,0,0", "Version line: colour"},
    {"splash.version", "font_size", cfg::versionLineFontSize, KeyKind::integer, "8", "Version line: font size"},
    {"splash.version", "font_weight", cfg::versionLineFontWeight, KeyKind::integer, "500",
     "Version line: font weight"},

    // [messages]: a language's built-in texts, each of which a key of its own replaces.
    // "{0}" stands for the message's argument.
    {"messages", "language", 0, KeyKind::language, "en",
     "Language of the built-in message texts", kOwn, nullptr, 0, kLanguageWords},
    {"messages", "caption", cfg::msgCaption, KeyKind::message, nullptr, "Caption of every error message box",
     kOwn, nullptr, 0, nullptr, 0, kMessageDefault},
    {"messages", "no_jvm", cfg::msgNoJvm, KeyKind::message, nullptr,
     "No runtime found (other launcher kinds)", kOwn, nullptr, 0, nullptr, 0, kMessageDefault},
    {"messages", "jvm_damaged_any", cfg::msgJvmDamagedAny, KeyKind::message, nullptr,
     "The runtime at {0} is damaged (other launcher kinds)", kOwn, nullptr, 0, nullptr, 0, kMessageDefault},
    {"messages", "jvm_variable_unusable_any", cfg::msgJvmVariableUnusableAny, KeyKind::message, nullptr,
     "The runtime that the variable {0} names is unusable (other launcher kinds)", kOwn, nullptr, 0, nullptr, 0,
     kMessageDefault},
    {"messages", "application_not_started", cfg::msgApplicationNotStarted, KeyKind::message, nullptr,
     "The application could not be started (other launcher kinds)", kOwn, nullptr, 0, nullptr, 0,
     kMessageDefault},
    {"messages", "jvm_not_startable", cfg::msgJvmNotStartable, KeyKind::message, nullptr,
     "`jvm.dll` could not be loaded or used", kOwn, nullptr, 0, nullptr, 0, kMessageDefault},
    {"messages", "class_path_entry_missing", cfg::msgClassPathEntryMissing, KeyKind::message, nullptr,
     "A class path entry that is not optional gives nothing; {0} is the entry", kOwn, nullptr, 0, nullptr, 0,
     kMessageDefault},
    {"messages", "already_running", cfg::msgAlreadyRunning, KeyKind::message, nullptr,
     "The application is already running (other launcher kinds)", kOwn, nullptr, 0, nullptr, 0,
     kMessageDefault},
    {"messages", "class_path_variable_undefined", cfg::msgClassPathVariableUndefined, KeyKind::message, nullptr,
     "A class path entry that is not optional names the undefined variable {0}", kOwn, nullptr, 0, nullptr, 0,
     kMessageDefault},
    {"messages", "internal_error", cfg::msgInternalError, KeyKind::message, nullptr,
     "An internal step failed; {0} is its code", kOwn, nullptr, 0, nullptr, 0, kMessageDefault},
    {"messages", "main_class_not_loadable", cfg::msgMainClassNotLoadable, KeyKind::message, nullptr,
     "The main class cannot be loaded", kOwn, nullptr, 0, nullptr, 0, kMessageDefault},
    {"messages", "main_method_not_found", cfg::msgMainMethodNotFound, KeyKind::message, nullptr,
     "The main method cannot be found", kOwn, nullptr, 0, nullptr, 0, kMessageDefault},
    {"messages", "no_jvm_32", cfg::msgNoJvm32, KeyKind::message, nullptr,
     "No 32-bit runtime found (other launcher kinds)", kOwn, nullptr, 0, nullptr, 0, kMessageDefault},
    {"messages", "jvm_not_32", cfg::msgJvmNot32, KeyKind::message, nullptr,
     "The runtime at {0} is no 32-bit runtime (other launcher kinds)", kOwn, nullptr, 0, nullptr, 0,
     kMessageDefault},
    {"messages", "needs_graphical_environment", cfg::msgNeedsGraphicalEnvironment, KeyKind::message, nullptr,
     "The application needs a graphical environment (other launcher kinds)", kOwn, nullptr, 0, nullptr, 0,
     kMessageDefault},
    {"messages", "no_temp_directory", cfg::msgNoTempDirectory, KeyKind::message, nullptr,
     "No usable temporary directory exists", kOwn, nullptr, 0, nullptr, 0, kMessageDefault},
    {"messages", "no_jvm_found", cfg::msgNoJvmFound, KeyKind::message, nullptr,
     "No suitable runtime was found; {0} is the bitness (64)", kOwn, nullptr, 0, nullptr, 0, kMessageDefault},
    {"messages", "no_jvm_32_found", cfg::msgNoJvm32Found, KeyKind::message, nullptr,
     "No suitable 32-bit runtime was found (other launcher kinds)", kOwn, nullptr, 0, nullptr, 0,
     kMessageDefault},
    {"messages", "jvm_variable_unusable", cfg::msgJvmVariableUnusable, KeyKind::message, nullptr,
     "The runtime that the variable {0} names is unusable", kOwn, nullptr, 0, nullptr, 0, kMessageDefault},
    {"messages", "jvm_variable_unusable_32", cfg::msgJvmVariableUnusable32, KeyKind::message, nullptr,
     "The same for a 32-bit runtime (other launcher kinds)", kOwn, nullptr, 0, nullptr, 0, kMessageDefault},
    {"messages", "jvm_damaged", cfg::msgJvmDamaged, KeyKind::message, nullptr,
     "The runtime found at {0} is damaged", kOwn, nullptr, 0, nullptr, 0, kMessageDefault},

    // [[files]]: one entry per included file. The count and names records hold none when
    // there is no entry.
    {"files", "source", cfg::includedFileCount, KeyKind::filePath, "0",
     "The file to include, relative to the descriptor's directory; each entry adds one to the count",
     kOwn, nullptr, 0, nullptr, 0, "required"},
    {"files", "name", cfg::includedFileNames, KeyKind::text, "",
     "Its name in the launcher's temporary directory, at most one directory deep (such as "
     "`\"conf/app.properties\"`)", kOwn, nullptr, 0, nullptr, 0, "the file name of `source`"},

    // [installer]
    installerKey("product_name", KeyKind::text, "the service name", "string",
                 "The product's name, as Apps & features and the package show it"),
    installerKey("manufacturer", KeyKind::text, "required", "string", "Who makes the product"),
    installerKey("version", KeyKind::text, "required", "string (three numbers)",
                 "The product's version, such as `\"1.2.0\"`; the first two numbers at most 255, the third at most "
                 "65535. A package of a higher version replaces an installed lower one"),
    installerKey("upgrade_code", KeyKind::text, "derived from `manufacturer` and `product_name`", "string (GUID)",
                 "The code every version of the product shares, such as "
                 "`\"01234567-89AB-CDEF-0123-456789ABCDEF\"`; the default is the same for every version of one "
                 "manufacturer's product and differs for any other. Keep it when the names change"),
    installerKey("install_dir", KeyKind::text, "`<manufacturer>\\<product_name>`", "string (folder)",
                 "The installation folder, relative to the 64-bit Program Files; the launcher is installed there as "
                 "`<service name>.exe`"),
    installerKey("files", KeyKind::text, "none", "array of strings or tables",
                 "Files installed beside the launcher, not stored in it as `[[files]]` are; the class path and a "
                 "search entry `{ directory = \"jre\" }` find them from the launcher's folder: `\"app.jar\"`, "
                 "`\"lib/*.jar\"`, `\"jre\"` (a folder with everything below it), or `{ source = \"conf/*.properties\", target = \"conf\" }` to install "
                 "into a folder below the installation folder; paths relative to the descriptor's folder, `*` and "
                 "`?` in any step. Each must match something, and no two files may have one target"),
    installerKey("start_after_install", KeyKind::flag, "true when the service starts automatically", "boolean",
                 "Start the service at the end of the installation"),
};

const std::vector<DescriptorSection> kSections = {
    {"service", "[service]", "The Windows service."},
    {"application", "[application]", "The Java application."},
    {"java", "[java]", "Which Java runtime to use, and where to find it."},
    {"vm", "[vm]", "The Java VM."},
    {"environment", "[environment]",
     "The application's environment variables, set in the order written, before the launcher looks for a Java "
     "runtime: the search (`{ environment = \"JAVA_HOME\" }`), the VM and the application's native libraries "
     "see them. For a service they are set in the process that runs the VM; the service process keeps its own "
     "environment. The launcher holds them as they stand, where anyone who can read the executable can read "
     "them: give no secrets here. `QUILL_LOG` here does not turn on the launcher's diagnostic log, which the "
     "launcher decides on before it sets these (for a service, the README says how)."},
    {"launcher", "[launcher]", "The launcher itself."},
    {"output", "[output]", "Where the application's output goes; the runtime library redirects it."},
    {"instance", "[instance]", "Running more than one instance."},
    {"splash", "[splash]", "Splash screen texts for the Java side."},
    {"splash.status", "[splash.status]", "The status line of the splash screen."},
    {"splash.version", "[splash.version]", "The version line of the splash screen."},
    {"messages", "[messages]",
     "The texts of the launcher's error messages, fixed when the launcher is built. `language` picks "
     "built-in texts; each key below replaces one of them."},
    {"records", "[records]",
     "Any record, with its decimal identifier as the key (the *Record* column gives them) and its text, stored "
     "as it stands, as the value; it replaces what a key gives. `packager inspect` writes here the records that "
     "no key can express. The included-file records come from `[[files]]` only."},
    {"files", "[[files]]",
     "Files stored in the launcher and extracted into a folder of each run in its temporary directory "
     "(`${launcher:sys.launcherTempDirectory}`) at each start, removed after the run (at the latest at a later "
     "start). The archives (`.jar`, `.zip`) at the top of that folder or in its `user` folder are on the class "
     "path without an entry. Files to install beside the launcher are `[installer] files`."},
    {"installer", "[installer]",
     "The Windows Installer package that `packager msi` makes: a per-machine, 64-bit product with the "
     "launcher, these files and the service entry as `/install` registers it (name, description, start, "
     "account, dependencies). `packager build` ignores this section, and `inspect` cannot give it back: the "
     "launcher does not hold it."},
};

} // namespace

const std::vector<DescriptorKey>& descriptorKeys()
{
    return kKeys;
}

const std::vector<DescriptorSection>& descriptorSections()
{
    return kSections;
}

const DescriptorKey* findKey(const std::string& section, int32_t record)
{
    for (const DescriptorKey& key : kKeys) {
        if (key.section == section && key.record == record) {
            return &key;
        }
    }
    return nullptr;
}

const DescriptorKey* findKeyOfKind(KeyKind kind)
{
    for (const DescriptorKey& key : kKeys) {
        if (key.kind == kind) {
            return &key;
        }
    }
    return nullptr;
}

const DescriptorKey* keyOfRecord(int32_t record)
{
    for (const DescriptorKey& key : kKeys) {
        if (key.record == record && record != 0) {
            return &key;
        }
    }
    for (const DescriptorKey& key : kKeys) {
        if (key.kind == KeyKind::choice && key.linked == record && record != 0) {
            return &key;
        }
    }
    return nullptr;
}

const char* recordDefault(int32_t record)
{
    for (const DescriptorKey& key : kKeys) {
        if (key.record == record && record != 0 && key.defaultValue != nullptr) {
            return key.defaultValue;
        }
    }
    return nullptr;
}

std::string keyPath(const DescriptorKey& key)
{
    return std::string(key.section) + "." + key.key;
}

const char* flagText(bool on)
{
    return on ? "1" : "0";
}

} // namespace packager
