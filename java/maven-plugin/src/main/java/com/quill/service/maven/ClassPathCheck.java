// Whether the launcher's class path takes every jar the plugin lays out in lib/: a jar
// that the class path misses would fail the application at its first use of a class, on
// the machine it was installed on.
package com.quill.service.maven;

import java.util.List;
import java.util.Locale;

final class ClassPathCheck {
    private static final String LAUNCHER_DIRECTORY = "${launcher:sys.launcherdirectory}";

    private ClassPathCheck() {
    }

    /**
     * The first of `jars` (paths relative to the launcher's folder, such as "lib/app.jar")
     * that no entry of the class path names, or null when the class path takes them all.
     */
    static String firstMissing(List<InspectedLauncher.Entry> classPath, List<String> jars) {
        for (String jar : jars) {
            if (!takes(classPath, jar)) {
                return jar;
            }
        }
        return null;
    }

    static boolean takes(List<InspectedLauncher.Entry> classPath, String jar) {
        String wanted = normalized(jar);
        int slash = wanted.lastIndexOf('/');
        String folder = slash < 0 ? "" : wanted.substring(0, slash);
        for (InspectedLauncher.Entry entry : classPath) {
            String named = normalized(entry.value);
            if (entry.kind.equals("archive") && named.equals(wanted)) {
                return true;
            }
            if (entry.kind.equals("scan") && named.equals(folder)) {
                return true;
            }
        }
        return false;
    }

    /**
     * A path relative to the launcher's folder, as the launcher on Windows takes it: either
     * separator, no "." steps, the launcher's folder variable dropped, letters in one case.
     */
    static String normalized(String path) {
        String text = path.replace('\\', '/').toLowerCase(Locale.ROOT);
        if (text.startsWith(LAUNCHER_DIRECTORY)) {
            text = text.substring(LAUNCHER_DIRECTORY.length());
        }
        StringBuilder out = new StringBuilder();
        for (String step : text.split("/")) {
            if (step.isEmpty() || step.equals(".")) {
                continue;
            }
            if (out.length() > 0) {
                out.append('/');
            }
            out.append(step);
        }
        return out.toString();
    }

    /** The line that says what to write when `jar` is not on the class path. */
    static String missingLine(String jar, String descriptor) {
        return "the launcher's class path does not take " + jar + ", which this plugin lays out for the application: "
                + "add { scan = \"lib\" } to class_path in [application] of " + descriptor;
    }
}
