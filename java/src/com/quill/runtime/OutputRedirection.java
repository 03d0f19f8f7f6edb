// Standard error and standard output of the application, sent to the configured files.
package com.quill.runtime;

import java.io.File;
import java.io.IOException;
import java.io.PrintStream;
import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.Paths;

/**
 * The launcher passes the file names unchanged when they still begin with "$" after its own
 * expansion; the references it leaves are ours, resolved here before the files are opened.
 */
final class OutputRedirection {
    static final String TEMP_DIR_REFERENCE = "installer:sys.tempDir";
    // The system's temporary directory under both of its names: the runtime library's and
    // the launcher's (which the launcher replaces, unless the name comes from elsewhere).
    static final String[] SHARED_TEMP_REFERENCES = {"launcher:sys.tempDir", TEMP_DIR_REFERENCE};
    // The launcher replaces these itself; a launcher from before them leaves them here.
    static final String PROGRAM_DATA_REFERENCE = "launcher:sys.programData";
    static final String SERVICE_NAME_REFERENCE = "launcher:sys.serviceName";

    private OutputRedirection() {
    }

    /**
     * Replaces each "${name}" in the path and turns the launcher's backslashes into the
     * platform's separator, so that the same names work where the separator is '/'.
     *
     * @throws IllegalArgumentException for a reference that is unknown or not closed,
     *         naming it
     */
    static String resolvePath(String path, String tempDir, char separator) {
        return resolvePath(path, tempDir, programDataFolder(), null, separator);
    }

    /**
     * The same with the machine's application-data folder and the service's name, each
     * null when it is not known: a name that refers to an unknown one is refused, never
     * resolved to some other folder.
     */
    static String resolvePath(String path, String tempDir, String programData, String serviceName, char separator) {
        StringBuilder out = new StringBuilder(path.length() + 32);
        int at = 0;
        while (at < path.length()) {
            int start = path.indexOf("${", at);
            if (start < 0) {
                out.append(path, at, path.length());
                break;
            }
            out.append(path, at, start);
            int end = path.indexOf('}', start + 2);
            if (end < 0) {
                throw new IllegalArgumentException("unclosed variable reference " + path.substring(start)
                        + " in the output file name \"" + path + "\"");
            }
            String name = path.substring(start + 2, end);
            if (TEMP_DIR_REFERENCE.equals(name)) {
                out.append(withoutTrailingSeparators(tempDir));
            } else if (PROGRAM_DATA_REFERENCE.equals(name)) {
                if (programData == null) {
                    throw new IllegalArgumentException("${" + name + "} in the output file name \"" + path
                            + "\" stands for the machine's application-data folder, which is not known here");
                }
                out.append(withoutTrailingSeparators(programData));
            } else if (SERVICE_NAME_REFERENCE.equals(name)) {
                if (serviceName == null || serviceName.isEmpty()) {
                    throw new IllegalArgumentException("${" + name + "} in the output file name \"" + path
                            + "\" stands for the service's name, which is known only when the application runs "
                            + "as a service");
                }
                out.append(serviceName);
            } else {
                throw new IllegalArgumentException("unknown variable ${" + name + "} in the output file name \""
                        + path + "\"");
            }
            at = end + 1;
        }
        String resolved = out.toString();
        return separator == '/' ? resolved.replace('\\', '/') : resolved;
    }

    /**
     * The machine's application-data folder for a name the launcher left: the ProgramData
     * variable when it names an absolute folder (the launcher itself reads the folder from
     * the system, and has replaced the reference before it comes here); null otherwise.
     */
    static String programDataFolder() {
        String value = System.getenv("ProgramData");
        if (value == null || value.isEmpty() || !Paths.get(value).isAbsolute()) {
            return null;
        }
        return value;
    }

    // The system's temporary directory usually ends with a separator, and the configured
    // names put one after the reference; keep one of them.
    private static String withoutTrailingSeparators(String dir) {
        int end = dir.length();
        while (end > 1 && (dir.charAt(end - 1) == '/' || dir.charAt(end - 1) == '\\')) {
            end--;
        }
        return dir.substring(0, end);
    }

    /**
     * Why a service must not write to this file name, or null when it may. The system's
     * temporary directory is shared by every user of the machine: another user could create
     * a file of a fixed name there before the service does, to read or change what it writes
     * or to hold it and stop the start, or put a link in its place. The launcher replaces
     * ${launcher:sys.tempDir} itself before the name arrives here, so the resolved name is
     * checked as well; the launcher's own folder for this run (quill.tempDir, made private
     * for its account) is inside the temporary directory and stays usable.
     *
     * @param name the name as the launcher passed it
     * @param systemTemp java.io.tmpdir
     * @param launcherTemp the launcher's folder for this run, or empty
     * @param separator the platform's separator
     */
    static String serviceRefusal(String name, String systemTemp, String launcherTemp, char separator) {
        return serviceRefusal(name, systemTemp, launcherTemp, programDataFolder(), null, separator);
    }

    /** The same with the values of the launcher's references that {@link #resolvePath} takes. */
    static String serviceRefusal(String name, String systemTemp, String launcherTemp, String programData,
            String serviceName, char separator) {
        for (String reference : SHARED_TEMP_REFERENCES) {
            if (name.contains("${" + reference + "}")) {
                return "names ${" + reference + "}, the system's temporary directory";
            }
        }
        if (systemTemp.isEmpty()) {
            return null;
        }
        Path file = absolute(Paths.get(resolvePath(name, systemTemp, programData, serviceName, separator)));
        Path temp = absolute(Paths.get(systemTemp));
        Path own = launcherTemp.isEmpty() ? null : absolute(Paths.get(launcherTemp));
        if (inside(file, temp, own) || inside(canonical(file), canonical(temp), own == null ? null : canonical(own))) {
            return "is in the system's temporary directory " + temp;
        }
        return null;
    }

    // Within `dir` and not within `exempt` (the launcher's own folder, not the folder itself).
    private static boolean inside(Path file, Path dir, Path exempt) {
        if (!file.startsWith(dir)) {
            return false;
        }
        return exempt == null || exempt.equals(dir) || !file.startsWith(exempt) || file.equals(exempt);
    }

    private static Path absolute(Path path) {
        return path.toAbsolutePath().normalize();
    }

    // The form the file system itself uses (letter case and short names on Windows, links
    // on other systems), for the comparison with the temporary directory only.
    private static Path canonical(Path path) {
        try {
            return path.toFile().getCanonicalFile().toPath();
        } catch (IOException | RuntimeException e) {
            return path;
        }
    }

    /**
     * Sends System.err and System.out to the named files; an empty name leaves that stream
     * alone. Both files are opened before either stream changes, so that a failure is still
     * reported on the original standard error. When both names denote one file, both
     * streams share one stream to it; two streams would write over each other, and one
     * stream also rotates the file once for both. The size limit comes from the launcher's
     * system properties ({@link OutputLimit}). In service mode a name in the system's
     * temporary directory ends the start before any file is touched.
     */
    static void redirect(String errorName, String outputName, boolean append) throws IOException {
        redirect(errorName, outputName, append, null);
    }

    /** The same, with the service's name for ${launcher:sys.serviceName} (null when none). */
    static void redirect(String errorName, String outputName, boolean append, String serviceName) throws IOException {
        if (errorName.isEmpty() && outputName.isEmpty()) {
            return;
        }
        OutputLimit limit = OutputLimit.fromSystemProperties();
        String tempDir = System.getProperty("java.io.tmpdir", "");
        boolean service = LauncherEnvironment.isService();
        Path errorFile = errorName.isEmpty() ? null
                : fileOf(errorName, tempDir, service, serviceName, "standard-error");
        Path outputFile = outputName.isEmpty() ? null
                : fileOf(outputName, tempDir, service, serviceName, "standard-output");
        PrintStream error = errorFile == null ? null : open(errorFile, append, limit, "standard-error");
        PrintStream output;
        if (outputFile == null) {
            output = null;
        } else if (error != null && sameFile(errorFile, outputFile)) {
            output = error;
        } else {
            try {
                output = open(outputFile, append, limit, "standard-output");
            } catch (IOException e) {
                if (error != null) {
                    error.close();
                }
                throw e;
            }
        }
        if (error != null) {
            System.setErr(error);
        }
        if (output != null) {
            System.setOut(output);
        }
    }

    private static Path fileOf(String name, String tempDir, boolean service, String serviceName, String what) {
        String programData = programDataFolder();
        if (service) {
            String refusal = serviceRefusal(name, tempDir,
                    System.getProperty(LauncherEnvironment.TEMP_DIR_PROPERTY, ""), programData, serviceName,
                    File.separatorChar);
            if (refusal != null) {
                throw new IllegalArgumentException("the " + what + " file \"" + name + "\" " + refusal
                        + ", where every user can create files: a service does not write its output there, as "
                        + "another user could create the file first to read or change it, or put a link in its "
                        + "place. Name a file in a folder that only administrators can change, such as one "
                        + "relative to the launcher's directory, or none to keep the output on standard error. "
                        + "Nothing was redirected and the application was not started");
            }
        }
        return absolute(Paths.get(resolvePath(name, tempDir, programData, serviceName, File.separatorChar)));
    }

    // One file under two names: the same name once the path is normalised (the comparison
    // ignores letter case on Windows), or, the first one now existing, the same file
    // under another spelling. A link is never taken for the file it points to.
    private static boolean sameFile(Path first, Path second) {
        if (first.equals(second)) {
            return true;
        }
        try {
            return OutputFiles.isRotatable(first) && OutputFiles.isRotatable(second) && Files.isSameFile(first, second);
        } catch (IOException e) {
            return false;
        }
    }

    private static PrintStream open(Path file, boolean append, OutputLimit limit, String what) throws IOException {
        Path parent = file.getParent();
        if (parent != null) {
            OutputFiles.makeDirectory(parent, file, what);
        }
        try {
            // Unbuffered below the PrintStream: a service is often ended hard, and what it
            // wrote must be in the file by then.
            if (limit.limited()) {
                return new WholeWritePrintStream(new RotatingFileOutput(file, append, limit,
                        java.time.Clock.systemDefaultZone(), Compression.BACKGROUND));
            }
            return new PrintStream(new RotatingFileOutput(file, append, Long.MAX_VALUE, 0), true);
        } catch (IOException e) {
            throw new IOException("cannot open the " + what + " file " + file + ": " + e.getMessage(), e);
        }
    }
}
