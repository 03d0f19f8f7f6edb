// Configuration identifiers read by the launcher. Values reach the launcher only through
// the configuration block appended to its executable; the store holds them as strings.
#pragma once

namespace cfg {

// Launcher, service and instance.
constexpr int serviceName = 101;           // str: default service name
constexpr int launcherKind = 107;          // int: 1 graphical, 5 message boxes, 4 automatic start
constexpr int workingDirectory = 146;      // wstr: relative to the executable, expanded
constexpr int serviceDependencies = 149;   // str: comma-separated
constexpr int globalInstanceObjects = 158; // flag: "Global\" (on) or "Local\" namespace
constexpr int flavourLetter = 2001;        // str: 'q' or 'd'
constexpr int installationDirectory = 10003;
constexpr int nativeLibraryDirectories = 10004;
constexpr int singleInstance = 10005;
constexpr int bringToFront = 10007;
constexpr int serviceDescription = 20017;  // text (wide table)

// Java runtime selection.
constexpr int minJavaVersion = 126;
constexpr int maxJavaVersion = 127;
constexpr int jvmSearchSequence = 128;
constexpr int acceptPreRelease = 130;
constexpr int requireJdk = 131;
constexpr int preferredJvmDir = 152;
constexpr int applicationId = 160;
constexpr int skipJavaSoftKeys = 165;

// VM and application start.
constexpr int redirectStderr = 102;
constexpr int stderrFile = 103;
constexpr int redirectStdout = 104;
constexpr int stdoutFile = 105;
constexpr int redirectAppendFlag = 106;
constexpr int splashAfterVm = 108;
constexpr int classPath = 121;
constexpr int mainClass = 122;
constexpr int vmParameters = 123;
constexpr int defaultArguments = 124;
constexpr int passJArguments = 125;

// Splash screen texts for the Java side.
constexpr int splashScreen = 10123;
constexpr int splashSecondFlag = 163;
constexpr int statusLineText = 10111;
constexpr int statusLineX = 10109;
constexpr int statusLineY = 10110;
constexpr int statusLineColour = 10114;
constexpr int statusLineFontSize = 10113;
constexpr int statusLineFontWeight = 10115;
constexpr int versionLineText = 10118;
constexpr int versionLineX = 10116;
constexpr int versionLineY = 10117;
constexpr int versionLineColour = 10121;
constexpr int versionLineFontSize = 10120;
constexpr int versionLineFontWeight = 10122;

// Included files.
constexpr int includedFileCount = 2002;
constexpr int includedFileNames = 2003;

// Message texts ("{0}" takes the caller's argument).
constexpr int msgCaption = 1000;
constexpr int msgJvmNotStartable = 1005;
constexpr int msgClassPathEntryMissing = 1006;
constexpr int msgClassPathVariableUndefined = 1008;
constexpr int msgInternalError = 1009;
constexpr int msgMainClassNotLoadable = 1010;
constexpr int msgMainMethodNotFound = 1011;
constexpr int msgNoTempDirectory = 1015;
constexpr int msgNoJvmFound = 1016;
constexpr int msgJvmVariableUnusable = 1018;
constexpr int msgJvmDamaged = 1020;

} // namespace cfg
