// Standard error and standard output of the application, sent to the configured files.
package com.quill.runtime;

import java.io.File;
import java.io.FileOutputStream;
import java.io.IOException;
import java.io.PrintStream;

/**
 * The launcher passes the file names unchanged when they still begin with "$" after its own
 * expansion; the references it leaves are ours, resolved here before the files are opened.
 */
final class OutputRedirection {
    static final String TEMP_DIR_REFERENCE = "installer:sys.tempDir";

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
            if (!TEMP_DIR_REFERENCE.equals(name)) {
                throw new IllegalArgumentException("unknown variable ${" + name + "} in the output file name \""
                        + path + "\"");
            }
            out.append(withoutTrailingSeparators(tempDir));
            at = end + 1;
        }
        String resolved = out.toString();
        return separator == '/' ? resolved.replace('\\', '/') : resolved;
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
     * Sends System.err and System.out to the named files; an empty name leaves that stream
     * alone. Both files are opened before either stream changes, so that a failure is still
     * reported on the original standard error. When both names denote one file, both
     * streams share one stream to it; two streams would write over each other, and one
     * stream also rotates the file once for both. The size limit comes from the launcher's
     * system properties ({@link OutputLimit}).
     */
    static void redirect(String errorName, String outputName, boolean append) throws IOException {
        if (errorName.isEmpty() && outputName.isEmpty()) {
            return;
        }
        OutputLimit limit = OutputLimit.fromSystemProperties();
        String tempDir = System.getProperty("java.io.tmpdir", "");
        File errorFile = errorName.isEmpty() ? null : fileOf(errorName, tempDir);
        File outputFile = outputName.isEmpty() ? null : fileOf(outputName, tempDir);
        PrintStream error = errorFile == null ? null : open(errorFile, append, limit, "standard-error");
        PrintStream output;
        if (outputFile == null) {
            output = null;
        } else if (error != null && errorFile.equals(outputFile)) {
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

    private static File fileOf(String name, String tempDir) throws IOException {
        return new File(resolvePath(name, tempDir, File.separatorChar)).getCanonicalFile();
    }

    private static PrintStream open(File file, boolean append, OutputLimit limit, String what) throws IOException {
        File parent = file.getParentFile();
        if (parent != null && !parent.isDirectory() && !parent.mkdirs() && !parent.isDirectory()) {
            throw new IOException("cannot create the directory of the " + what + " file " + file);
        }
        try {
            // Unbuffered below the PrintStream: a service is often ended hard, and what it
            // wrote must be in the file by then.
            if (limit.limited()) {
                return new WholeWritePrintStream(
                        new RotatingFileOutput(file.toPath(), append, limit.maxSize, limit.keep));
            }
            return new PrintStream(new FileOutputStream(file, append), true);
        } catch (IOException e) {
            throw new IOException("cannot open the " + what + " file " + file + ": " + e.getMessage(), e);
        }
    }
}
