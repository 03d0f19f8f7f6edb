// A typical service configuration.
#include "packaging/example_config.h"

namespace packager {

std::vector<blockformat::NarrowRecord> englishMessages()
{
    return {
        {1000, "Error"},
        {1001, "No JVM could be found on your system.\nPlease define QUILL_JAVA_HOME to point to an installed JDK or JRE."},
        {1002, "The JVM found at {0} is damaged.\nPlease reinstall or define QUILL_JAVA_HOME to point to an installed JDK or JRE."},
        {1003, "The {0} environment variable does not\npoint to a working JDK or JRE."},
        {1004, "The application could not be started."},
        {1005, "The JVM could not be started. The maximum heap size (-Xmx) might be too large or an antivirus or "
               "firewall tool could block the execution."},
        {1006, "File or directory {0} not found or empty\n"},
        {1007, "The application is already running."},
        {1008, "The environment variable {0} has to be defined"},
        {1009, "An internal error occurred (error code: {0})"},
        {1010, "Couldn't load main class."},
        {1011, "Main method not found."},
        {1012, "No 32-bit JVM could be found on your system."},
        {1013, "The JVM found at {0} is not a 32-bit JVM."},
        {1014, "The application needs a graphical environment."},
        {1015, "You must be at least Poweruser to run this program."},
        {1016, "No JVM could be found on your system.\nPlease define the environment variable QUILL_JAVA_HOME to point "
               "to an installed {0}-bit JDK or JRE, or download a JRE and install it."},
        {1017, "No 32-bit JVM could be found on your system.\nPlease define QUILL_JAVA_HOME to point to an installed "
               "32-bit JDK or JRE."},
        {1018, "The {0} environment variable does not\npoint to a working 64-bit JDK or JRE."},
        {1019, "The {0} environment variable does not\npoint to a working 32-bit JDK or JRE."},
        {1020, "The JVM found at {0} is damaged.\nPlease reinstall or define QUILL_JAVA_HOME\nto point to an installed "
               "64-bit JDK or JRE."},
    };
}

blockformat::ConfigBlock exampleServiceBlock()
{
    blockformat::ConfigBlock block;
    block.narrow = {
        // launcher, service and instance
        {101, "Demo service"},
        {107, "4"},
        {146, ""},
        {149, ""},
        {158, "0"},
        {2001, "d"},
        {10003, "..\\"},
        {10004, ""},
        {10005, "0"},
        {10007, "1"},
        // Java runtime selection
        {126, "1.7"},
        {127, "1.8"},
        {128, "B..\\jre;Y;EJAVA_HOME;EJDK_HOME;"},
        {130, "0"},
        {131, "0"},
        {152, ""},
        {160, ""},
        {165, "0"},
        // VM and application start
        {102, "1"},
        {103, "${installer:sys.tempDir}\\demo_error.log"},
        {104, "0"},
        {105, "output.log"},
        {106, "1"},
        {108, "0"},
        {121, "S1..\\lib\\demo;"},
        {122, "com.example.demo.Main"},
        {123, "\"-Ddeploykit.launcherId=856\" -Ddeploykit.swt=false"},
        {124, ""},
        {125, "1"},
        // splash screen
        {10123, "1"},
        {163, "0"},
        {10111, ""},
        {10109, "20"},
        {10110, "20"},
        {10112, "Arial"},
        {10114, "0,0,0"},
        {10113, "8"},
        {10115, "500"},
        {10118, "version 2.0.2"},
        {10116, "20"},
        {10117, "40"},
        {10119, "Arial"},
        {10121, "0,0,0"},
        {10120, "8"},
        {10122, "500"},
        // included files
        {2002, "0"},
        {2003, ""},
        // carried for other launcher kinds; not read by the service launcher
        {141, ""},
        {142, "0"},
        {143, "0"},
        {144, "0"},
        {145, "0"},
        {150, ""},
        {151, "0"},
        {153, "0"},
        {154, "0"},
        {155, ""},
        {156, "0"},
        {157, "0"},
        {159, "0"},
        {161, "0"},
        {164, "0"},
    };
    for (const blockformat::NarrowRecord& message : englishMessages()) {
        block.narrow.push_back(message);
    }
    block.wide = {{20017, u""}};
    return block;
}

} // namespace packager
