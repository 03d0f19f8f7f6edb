// One run of the packager: its exit code, its notes, its errors as it reports them
// ("file:line:column: error: ...", or "packager: ..."), and its summary on standard output.
package com.quill.service.maven;

import java.io.File;
import java.io.IOException;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.ArrayList;
import java.util.List;

final class PackagerRun {
    private static final String NOTE = "packager: note: ";
    private static final String PREFIX = "packager: ";

    final int exitCode;
    final List<String> output;
    final List<String> notes = new ArrayList<>();
    final List<String> errors = new ArrayList<>();

    PackagerRun(int exitCode, List<String> output, List<String> errorStream) {
        this.exitCode = exitCode;
        this.output = output;
        boolean usage = false;
        for (String line : errorStream) {
            if (line.startsWith(NOTE)) {
                notes.add(line.substring(NOTE.length()));
            } else if (line.startsWith("usage: ")) {
                // A usage after an error means a wrong call of the plugin's own, said by the error.
                usage = true;
            } else if (!usage && !line.trim().isEmpty()) {
                errors.add(line.startsWith(PREFIX) ? line.substring(PREFIX.length()) : line);
            }
        }
    }

    boolean succeeded() {
        return exitCode == 0;
    }

    /** The errors, one a line, or the exit code when the packager said nothing. */
    String failure() {
        if (errors.isEmpty()) {
            return "the packager ended with exit code " + exitCode + " and no message";
        }
        return String.join(System.lineSeparator(), errors);
    }

    /** Runs `command` in `work` and waits for it to end; its streams go to files there. */
    static PackagerRun run(List<String> command, Path work) throws IOException, InterruptedException {
        Files.createDirectories(work);
        File out = work.resolve("packager-out.txt").toFile();
        File err = work.resolve("packager-err.txt").toFile();
        Process process = new ProcessBuilder(command).directory(work.toFile())
                .redirectInput(ProcessBuilder.Redirect.from(nullDevice()))
                .redirectOutput(out).redirectError(err).start();
        int exitCode = process.waitFor();
        return new PackagerRun(exitCode, lines(out.toPath()), lines(err.toPath()));
    }

    // Names of files come back as the file system has them: bytes that are not UTF-8 are
    // shown as replacement characters rather than lost with the rest of the message.
    private static List<String> lines(Path file) throws IOException {
        String text = new String(Files.readAllBytes(file), StandardCharsets.UTF_8);
        List<String> lines = new ArrayList<>();
        for (String line : text.split("\r?\n")) {
            lines.add(line);
        }
        return lines;
    }

    private static File nullDevice() {
        return new File(File.separatorChar == '\\' ? "NUL" : "/dev/null");
    }
}
