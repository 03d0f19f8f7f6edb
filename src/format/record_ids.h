// The identifiers of the configuration records: the one list that the launcher reads and
// the packager writes by. Portable C++.
//
// Kinds say how the launcher reads a record:
//   text        narrow text, used as it is (system code page)
//   widenedText narrow text, widened byte by byte where the launcher needs wide text
//   integer     narrow text holding a base-10 number (parseRecordInt)
//   flag        an integer; 0 is off, anything else on
//   wideText    a wide record; the locale groups of the block may replace it
//
// New records take identifiers from kFirstExtensionId to kLastExtensionId, a range no
// other record uses; a launcher that does not know an identifier never reads it, so a
// block with extension records still starts an older launcher, and a launcher whose block
// holds none of them behaves as before they existed. Add a record with one line below.
#pragma once

#include <cstddef>
#include <cstdint>

// X(name, identifier, kind)
#define LAUNCHER_CONFIG_RECORDS(X)                  \
    /* launcher, service and instance */            \
    X(serviceName, 101, text)                       \
    X(launcherKind, 107, integer)                   \
    X(workingDirectory, 146, widenedText)           \
    X(serviceDependencies, 149, text)               \
    X(globalInstanceObjects, 158, flag)             \
    X(flavourLetter, 2001, text)                    \
    X(installationDirectory, 10003, widenedText)    \
    X(nativeLibraryDirectories, 10004, text)        \
    X(singleInstance, 10005, flag)                  \
    X(bringToFront, 10007, flag)                    \
    X(serviceDescription, 20017, wideText)          \
    /* Java runtime selection */                    \
    X(minJavaVersion, 126, text)                    \
    X(maxJavaVersion, 127, text)                    \
    X(jvmSearchSequence, 128, text)                 \
    X(acceptPreRelease, 130, flag)                  \
    X(requireJdk, 131, flag)                        \
    X(preferredJvmDir, 152, text)                   \
    X(applicationId, 160, text)                     \
    X(skipJavaSoftKeys, 165, flag)                  \
    /* VM and application start */                 \
    X(redirectStderr, 102, flag)                    \
    X(stderrFile, 103, widenedText)                 \
    X(redirectStdout, 104, flag)                    \
    X(stdoutFile, 105, widenedText)                 \
    X(redirectAppendFlag, 106, flag)                \
    X(splashAfterVm, 108, flag)                     \
    X(classPath, 121, text)                         \
    X(mainClass, 122, widenedText)                  \
    X(vmParameters, 123, widenedText)               \
    X(defaultArguments, 124, widenedText)           \
    X(passJArguments, 125, flag)                    \
    /* splash screen texts for the Java side */     \
    X(splashScreen, 10123, flag)                    \
    X(splashSecondFlag, 163, flag)                  \
    X(statusLineText, 10111, text)                  \
    X(statusLineX, 10109, integer)                  \
    X(statusLineY, 10110, integer)                  \
    X(statusLineColour, 10114, text)                \
    X(statusLineFontSize, 10113, integer)           \
    X(statusLineFontWeight, 10115, integer)         \
    X(versionLineText, 10118, text)                 \
    X(versionLineX, 10116, integer)                 \
    X(versionLineY, 10117, integer)                 \
    X(versionLineColour, 10121, text)               \
    X(versionLineFontSize, 10120, integer)          \
    X(versionLineFontWeight, 10122, integer)        \
    /* included files */                            \
    X(includedFileCount, 2002, integer)             \
    X(includedFileNames, 2003, text)                \
    /* message texts ("{0}" takes the argument) */  \
    X(msgCaption, 1000, text)                       \
    X(msgNoJvm, 1001, text)                         \
    X(msgJvmDamagedAny, 1002, text)                 \
    X(msgJvmVariableUnusableAny, 1003, text)        \
    X(msgApplicationNotStarted, 1004, text)         \
    X(msgJvmNotStartable, 1005, widenedText)        \
    X(msgClassPathEntryMissing, 1006, text)         \
    X(msgAlreadyRunning, 1007, text)                \
    X(msgClassPathVariableUndefined, 1008, text)    \
    X(msgInternalError, 1009, text)                 \
    X(msgMainClassNotLoadable, 1010, widenedText)   \
    X(msgMainMethodNotFound, 1011, widenedText)     \
    X(msgNoJvm32, 1012, text)                       \
    X(msgJvmNot32, 1013, text)                      \
    X(msgNeedsGraphicalEnvironment, 1014, text)     \
    X(msgNoTempDirectory, 1015, widenedText)        \
    X(msgNoJvmFound, 1016, text)                    \
    X(msgNoJvm32Found, 1017, text)                  \
    X(msgJvmVariableUnusable, 1018, text)           \
    X(msgJvmVariableUnusable32, 1019, text)         \
    X(msgJvmDamaged, 1020, text)                    \
    /* extensions (kFirstExtensionId..kLastExtensionId): the service wrapper */ \
    X(serviceStopTimeout, 30000, integer)           \
    X(serviceRestart, 30001, integer)               \
    X(serviceRestartDelay, 30002, integer)          \
    X(serviceRestartDelayMax, 30003, integer)       \
    X(serviceRestartReset, 30004, integer)          \
    X(serviceRestartLimit, 30005, integer)          \
    X(serviceStartMode, 30006, text)                \
    X(serviceAccount, 30007, text)                  \
    X(serviceRecovery, 30008, text)                 \
    X(serviceEventLog, 30009, flag)                 \
    X(serviceGrantLogonRight, 30014, flag)          \
    X(servicePreshutdown, 30015, flag)              \
    /* extensions: the size limit of the output files, for the runtime library */ \
    X(outputMaxSize, 30010, text)                   \
    X(outputKeep, 30011, integer)                   \
    X(environmentVariables, 30012, wideText)        \
    /* extensions: the runtime search */            \
    X(strictJavaVersion, 30013, flag)               \
    /* extensions: output files rolled by time and age, compressed; the captured output */ \
    X(outputRoll, 30016, text)                      \
    X(outputKeepDays, 30017, integer)               \
    X(outputCompress, 30018, flag)                  \
    X(outputCapture, 30019, widenedText)            \
    /* extensions: the watch of the VM's alive signal */ \
    X(serviceHangTimeout, 30020, integer)

namespace cfg {

enum class RecordKind { text, widenedText, integer, flag, wideText };

#define LAUNCHER_DECLARE_RECORD(name, id, kind) constexpr int32_t name = id;
LAUNCHER_CONFIG_RECORDS(LAUNCHER_DECLARE_RECORD)
#undef LAUNCHER_DECLARE_RECORD

// The message texts are the records from msgCaption to msgJvmDamaged.
constexpr int32_t kFirstMessageId = msgCaption;
constexpr int32_t kLastMessageId = msgJvmDamaged;

// Identifiers of records added to the original set.
constexpr int32_t kFirstExtensionId = 30000;
constexpr int32_t kLastExtensionId = 30999;

struct RecordInfo {
    int32_t id;
    const char* name;  // as in code: "serviceName"
    RecordKind kind;
};

// Every record, in the order of the list above.
const RecordInfo* recordTable();
size_t recordCount();
// The entry of an identifier; null for one the launcher does not read.
const RecordInfo* findRecord(int32_t id);

} // namespace cfg
