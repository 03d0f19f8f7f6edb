// Test support: starts the launcher runtime class on this machine's JVM in a process of its
// own, as the launcher does after creating the VM, with the test application as main class.
package com.quill.runtime;

import java.io.File;
import java.io.IOException;
import java.io.OutputStream;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.Collections;
import java.util.List;
import java.util.concurrent.TimeUnit;

final class AppRun {
    static final String QUILL_LAUNCHER = "com.quill.runtime.WinLauncher";
    static final String DEPLOYKIT_LAUNCHER = "com.deploykit.runtime.launcher.WinLauncher";
    static final String APP = "com.example.demo.Main";

    final Path dir;
    final Path report;
    final Process process;

    private AppRun(Path dir, Process process) {
        this.dir = dir;
        this.report = dir.resolve("report.txt");
        this.process = process;
    }

    static String classPath() {
        return System.getProperty("launcher.runtimeJar") + File.pathSeparator + System.getProperty("launcher.testJar");
    }

    /** Starts `java <options> -cp <jars> <launcherClass> <array>` in dir; the report file is dir/report.txt. */
    static AppRun start(Path dir, List<String> options, String launcherClass, List<String> array) throws IOException {
        List<String> command = new ArrayList<String>();
        command.add(System.getProperty("java.home") + File.separator + "bin" + File.separator + "java");
        command.add("-Dfixture.report=" + dir.resolve("report.txt"));
        command.addAll(options);
        command.add("-cp");
        command.add(classPath());
        command.add(launcherClass);
        command.addAll(array);
        ProcessBuilder builder = new ProcessBuilder(command).directory(dir.toFile());
        builder.redirectOutput(dir.resolve("stdout.txt").toFile());
        builder.redirectError(dir.resolve("stderr.txt").toFile());
        return new AppRun(dir, builder.start());
    }

    /**
     * A run of the quill launcher class that gets `input` and the end of its input; with
     * null its input stays open, as a service's does until the service stops.
     */
    static AppRun run(Path dir, List<String> options, List<String> array, String input) throws Exception {
        AppRun run = start(dir, options, QUILL_LAUNCHER, array);
        if (input != null) {
            run.input(input, true);
        }
        run.waitForEnd();
        return run;
    }

    static List<String> array(String... elements) {
        return Arrays.asList(elements);
    }

    static List<String> options(String... options) {
        return Arrays.asList(options);
    }

    void input(String text, boolean close) throws IOException {
        OutputStream in = process.getOutputStream();
        if (text != null) {
            in.write(text.getBytes(StandardCharsets.US_ASCII));
            in.flush();
        }
        if (close) {
            in.close();
        }
    }

    int waitForEnd() throws InterruptedException {
        // Longer than any wait of the fixture's own (30 s for compressed files), so that the
        // fixture's reason, not this deadline, is what a slow machine shows.
        if (!process.waitFor(60, TimeUnit.SECONDS)) {
            process.destroyForcibly();
            throw new AssertionError("the application did not end; report:\n" + String.join("\n", report()));
        }
        return process.exitValue();
    }

    /** Waits until the report has this line; false after a few seconds without it. */
    boolean awaitReportLine(String line) throws InterruptedException {
        for (int i = 0; i < 200; i++) {
            if (report().contains(line)) {
                return true;
            }
            Thread.sleep(25);
        }
        return false;
    }

    int exitCode() {
        return process.exitValue();
    }

    List<String> report() {
        return lines(report);
    }

    String stdout() {
        return text(dir.resolve("stdout.txt"));
    }

    String stderr() {
        return text(dir.resolve("stderr.txt"));
    }

    /** The application's arguments as it reported them. */
    List<String> arguments() {
        List<String> arguments = new ArrayList<String>();
        for (String line : report()) {
            if (line.startsWith("arg ")) {
                arguments.add(line.substring(4));
            }
        }
        return arguments;
    }

    /** The reported value of a key ("serviceName", "tempDir", ...). */
    String reported(String key) {
        for (String line : report()) {
            if (line.startsWith(key + " ")) {
                return line.substring(key.length() + 1);
            }
        }
        return "<not reported>";
    }

    String describe() {
        return "exit code " + (process.isAlive() ? "(running)" : String.valueOf(process.exitValue()))
                + "\n--- report\n" + String.join("\n", report()) + "\n--- stdout\n" + stdout()
                + "\n--- stderr\n" + stderr();
    }

    static List<String> lines(Path file) {
        try {
            return Files.exists(file) ? Files.readAllLines(file, StandardCharsets.UTF_8) : Collections.<String>emptyList();
        } catch (IOException e) {
            throw new RuntimeException(e);
        }
    }

    static String text(Path file) {
        return String.join("\n", lines(file));
    }
}
