// A typical service configuration.
#include "packaging/example/example_config.h"

#include "format/record_ids.h"

#include <iterator>

namespace packager {

namespace {

// Records that other launcher kinds read and this launcher does not know, so that no
// cfg:: name exists for them: a realistic block carries them all the same.
constexpr int32_t kStatusLineFontName = 10112;
constexpr int32_t kVersionLineFontName = 10119;
const blockformat::NarrowRecord kOtherKindsRecords[] = {
    {141, ""}, {142, "0"}, {143, "0"}, {144, "0"}, {145, "0"}, {150, ""}, {151, "0"}, {153, "0"},
    {154, "0"}, {155, ""}, {156, "0"}, {157, "0"}, {159, "0"}, {161, "0"}, {164, "0"},
};

} // namespace

std::vector<blockformat::NarrowRecord> englishMessages()
{
    return {
        {cfg::msgCaption, "Error"},
        {cfg::msgNoJvm, "No JVM could be found on your system.\nPlease define QUILL_JAVA_HOME to point to an installed JDK or JRE."},
        {cfg::msgJvmDamagedAny, "The JVM found at {0} is damaged.\nPlease reinstall or define QUILL_JAVA_HOME to point to an installed JDK or JRE."},
        {cfg::msgJvmVariableUnusableAny, "The {0} environment variable does not\npoint to a working JDK or JRE."},
        {cfg::msgApplicationNotStarted, "The application could not be started."},
        {cfg::msgJvmNotStartable, "The JVM could not be started. The maximum heap size (-Xmx) might be too large or an antivirus or "
               "firewall tool could block the execution."},
        {cfg::msgClassPathEntryMissing, "File or directory {0} not found or empty\n"},
        {cfg::msgAlreadyRunning, "The application is already running."},
        {cfg::msgClassPathVariableUndefined, "The environment variable {0} has to be defined"},
        {cfg::msgInternalError, "An internal error occurred (error code: {0})"},
        {cfg::msgMainClassNotLoadable, "Couldn't load main class."},
        {cfg::msgMainMethodNotFound, "Main method not found."},
        {cfg::msgNoJvm32, "No 32-bit JVM could be found on your system."},
        {cfg::msgJvmNot32, "The JVM found at {0} is not a 32-bit JVM."},
        {cfg::msgNeedsGraphicalEnvironment, "The application needs a graphical environment."},
        {cfg::msgNoTempDirectory, "You must be at least Poweruser to run this program."},
        {cfg::msgNoJvmFound, "No JVM could be found on your system.\nPlease define the environment variable QUILL_JAVA_HOME to point "
               "to an installed {0}-bit JDK or JRE, or download a JRE and install it."},
        {cfg::msgNoJvm32Found, "No 32-bit JVM could be found on your system.\nPlease define QUILL_JAVA_HOME to point to an installed "
               "32-bit JDK or JRE."},
        {cfg::msgJvmVariableUnusable, "The {0} environment variable does not\npoint to a working 64-bit JDK or JRE."},
        {cfg::msgJvmVariableUnusable32, "The {0} environment variable does not\npoint to a working 32-bit JDK or JRE."},
        {cfg::msgJvmDamaged, "The JVM found at {0} is damaged.\nPlease reinstall or define QUILL_JAVA_HOME\nto point to an installed "
               "64-bit JDK or JRE."},
    };
}

blockformat::ConfigBlock exampleServiceBlock()
{
    blockformat::ConfigBlock block;
    block.narrow = {
        // launcher, service and instance
        {cfg::serviceName, "Demo service"},
        {cfg::launcherKind, "4"},
        {cfg::workingDirectory, ""},
        {cfg::serviceDependencies, ""},
        {cfg::globalInstanceObjects, "0"},
        {cfg::flavourLetter, "d"},
        {cfg::installationDirectory, "..\\"},
        {cfg::nativeLibraryDirectories, ""},
        {cfg::singleInstance, "0"},
        {cfg::bringToFront, "1"},
        // Java runtime selection
        {cfg::minJavaVersion, "1.7"},
        {cfg::maxJavaVersion, "1.8"},
        {cfg::jvmSearchSequence, "B..\\jre;Y;EJAVA_HOME;EJDK_HOME;"},
        {cfg::acceptPreRelease, "0"},
        {cfg::requireJdk, "0"},
        {cfg::preferredJvmDir, ""},
        {cfg::applicationId, ""},
        {cfg::skipJavaSoftKeys, "0"},
        // VM and application start
        {cfg::redirectStderr, "1"},
        // Beside the launcher: a service writes no output into the shared temporary directory.
        {cfg::stderrFile, "logs\\demo_error.log"},
        {cfg::redirectStdout, "0"},
        {cfg::stdoutFile, "output.log"},
        {cfg::redirectAppendFlag, "1"},
        {cfg::splashAfterVm, "0"},
        {cfg::classPath, "S1..\\lib\\demo;"},
        {cfg::mainClass, "com.example.demo.Main"},
        {cfg::vmParameters, "\"-Ddeploykit.launcherId=856\" -Ddeploykit.swt=false"},
        {cfg::defaultArguments, ""},
        {cfg::passJArguments, "1"},
        // splash screen
        {cfg::splashScreen, "1"},
        {cfg::splashSecondFlag, "0"},
        {cfg::statusLineText, ""},
        {cfg::statusLineX, "20"},
        {cfg::statusLineY, "20"},
        {kStatusLineFontName, "Arial"},
        {cfg::statusLineColour, "0,0,0"},
        {cfg::statusLineFontSize, "8"},
        {cfg::statusLineFontWeight, "500"},
        {cfg::versionLineText, "version 2.0.2"},
        {cfg::versionLineX, "20"},
        {cfg::versionLineY, "40"},
        {kVersionLineFontName, "Arial"},
        {cfg::versionLineColour, "0,0,0"},
        {cfg::versionLineFontSize, "8"},
        {cfg::versionLineFontWeight, "500"},
        // included files
        {cfg::includedFileCount, "0"},
        {cfg::includedFileNames, ""},
    };
    block.narrow.insert(block.narrow.end(), std::begin(kOtherKindsRecords), std::end(kOtherKindsRecords));
    for (const blockformat::NarrowRecord& message : englishMessages()) {
        block.narrow.push_back(message);
    }
    block.wide = {{cfg::serviceDescription, u""}};
    return block;
}

} // namespace packager
