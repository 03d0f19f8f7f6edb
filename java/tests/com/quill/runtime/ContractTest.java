// Launches recorded from the packaged launcher by the stand-in VM (option list and the
// argument array of main) start the real runtime class on the real JVM with the meaning
// the launcher intends.
package com.quill.runtime;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.io.IOException;
import java.io.InputStream;
import java.io.UnsupportedEncodingException;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.List;
import java.util.Scanner;

import org.junit.jupiter.api.Test;
import org.junit.jupiter.api.io.TempDir;

class ContractTest {
    @TempDir
    Path temp;

    /** What the stand-in recorded: the VM options, the class whose main was called, its array. */
    static final class Recorded {
        final List<String> options = new ArrayList<String>();
        final List<String> elements = new ArrayList<String>();
        String launcherClass;
    }

    static Recorded read(String resource) throws IOException {
        Recorded recorded = new Recorded();
        try (InputStream in = ContractTest.class.getResourceAsStream("/contract/" + resource)) {
            assertTrue(in != null, "missing recording " + resource);
            Scanner lines = new Scanner(in, "UTF-8").useDelimiter("\n");
            while (lines.hasNext()) {
                String line = lines.next();
                int space = line.indexOf(' ');
                String key = space < 0 ? line : line.substring(0, space);
                String text = space < 0 ? "" : unescape(line.substring(space + 1));
                if (key.equals("option")) {
                    recorded.options.add(text);
                } else if (key.equals("element")) {
                    recorded.elements.add(text);
                } else if (key.equals("call") && text.endsWith(".main")) {
                    recorded.launcherClass = text.substring(0, text.length() - ".main".length()).replace('/', '.');
                }
            }
        }
        return recorded;
    }

    // The record writes '%' and control characters as %XX.
    static String unescape(String text) throws UnsupportedEncodingException {
        byte[] raw = text.getBytes(StandardCharsets.UTF_8);
        java.io.ByteArrayOutputStream out = new java.io.ByteArrayOutputStream();
        for (int i = 0; i < raw.length; i++) {
            if (raw[i] == '%' && i + 2 < raw.length) {
                out.write(Integer.parseInt(new String(raw, i + 1, 2, StandardCharsets.US_ASCII), 16));
                i += 2;
            } else {
                out.write(raw[i]);
            }
        }
        return out.toString("UTF-8");
    }

    // The recorded options as they are, except the class path, which names the launcher's
    // directory on Windows; the test's jars take its place.
    private AppRun start(Path dir, Recorded recorded, String... extra) throws IOException {
        List<String> options = new ArrayList<String>();
        for (String option : recorded.options) {
            if (!option.startsWith("-Djava.class.path=")) {
                options.add(option);
            }
        }
        options.addAll(Arrays.asList(extra));
        return AppRun.start(dir, options, recorded.launcherClass, recorded.elements);
    }

    @Test
    void serviceChildRecording() throws Exception {
        Recorded recorded = read("service-child.record");
        assertEquals("com.quill.runtime.WinLauncher", recorded.launcherClass);
        Path tmp = Files.createDirectory(temp.resolve("systemp"));
        AppRun run = start(temp, recorded, "-Djava.io.tmpdir=" + tmp, "-Dfixture.mode=service");
        assertTrue(run.awaitReportLine("started"), run.describe());
        run.input("0\n", true);
        assertEquals(0, run.waitForEnd(), run.describe());

        assertEquals(Arrays.asList("plain"), run.arguments(), run.describe());
        assertEquals("true", run.reported("service"));
        assertEquals("DemoService", run.reported("serviceName"));
        assertEquals("C:\\users\\builder\\Temp\\launch_5f2a\\app\\bin\\app.exe", run.reported("launcher"));
        assertEquals("Local\\c:_users_builder_temp_launch_5f2a_app_bin_app.exe0", run.reported("semaphore"));
        assertEquals("null", run.reported("tempDir"));
        assertEquals("false", run.reported("graphical"));
        // Standard error into the system temporary directory, standard output left alone.
        assertEquals(Arrays.asList("err-line"), AppRun.lines(tmp.resolve("demo_error.log")));
        assertEquals("out-line", run.stdout());
        List<String> report = run.report();
        assertTrue(report.indexOf("shutdown hook") > report.indexOf("stop listener")
                && report.indexOf("stop listener") >= 0, run.describe());
    }

    @Test
    void consoleRunRecording() throws Exception {
        Recorded recorded = read("console-run.record");
        AppRun run = start(temp, recorded);
        run.input(null, true);
        assertEquals(0, run.waitForEnd(), run.describe());

        assertEquals(Arrays.asList("first", "--config", "a b", "c d", "two words"), run.arguments(), run.describe());
        assertEquals("false", run.reported("service"));
        assertEquals("null", run.reported("serviceName"));
        assertEquals("true", run.reported("graphical"));
        // /run: no redirection, so neither the configured names nor their unknown reference matter.
        assertEquals("out-line", run.stdout());
        assertEquals("err-line", run.stderr());
        try (java.util.stream.Stream<Path> files = Files.list(temp)) {
            assertFalse(files.anyMatch(p -> p.getFileName().toString().endsWith(".log")));
        }
    }
}
