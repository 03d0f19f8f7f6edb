// Launches recorded in this test run from packaged launchers under Wine (tests/contract: the
// stand-in jvm.dll records the VM options, the class whose main was called and main's
// argument array) start the real runtime class on the real JVM, and the application sees
// them with the meaning the launcher intends. The situations and how each launcher was run
// are in tests/contract/contract_recorder.cpp, under the same names. Without a recording a
// check fails: the recordings are made by the same test (tests/contract/contract_test.sh).
package com.quill.runtime;

import static org.junit.jupiter.api.Assertions.assertArrayEquals;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertNotNull;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.io.ByteArrayOutputStream;
import java.io.IOException;
import java.nio.charset.Charset;
import java.nio.charset.StandardCharsets;
import java.nio.file.DirectoryStream;
import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.Paths;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.List;

import org.junit.jupiter.api.AfterEach;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.api.io.TempDir;

class ContractTest {
    @TempDir
    Path temp;

    /** What the stand-in recorded for one situation. */
    static final class Recorded {
        final Path dir;
        final List<String> options = new ArrayList<String>();
        final List<String> elements = new ArrayList<String>();
        String launcherClass;

        Recorded(Path dir) {
            this.dir = dir;
        }

        /** The value of the recorded option -D<name>=, or null. */
        String property(String name) {
            for (String option : options) {
                if (option.startsWith("-D" + name + "=")) {
                    return option.substring(name.length() + 3);
                }
            }
            return null;
        }

        /** The launcher's path as Wine showed it: the Linux root is drive Z:. */
        String launcherPath() {
            return "Z:" + dir.resolve("app/bin/app.exe").toString().replace('/', '\\');
        }

        /** A file below the situation's directory, where the launcher's Windows path names it. */
        Path file(String relative) {
            return dir.resolve(relative);
        }
    }

    static Path recordings() {
        String root = System.getProperty("contract.recordings");
        assertNotNull(root, "contract.recordings names no directory of recorded launches (tests/contract)");
        return Paths.get(root);
    }

    /**
     * Reads a situation's record. Its texts are bytes with '%', CR, LF and the other control
     * characters as %XX: the VM options in the code page the launcher wrote them in (that of
     * the file functions, in which a VM reads them), the strings of the call in UTF-8.
     */
    static Recorded read(String situation) throws IOException {
        Path dir = recordings().resolve(situation);
        Path file = dir.resolve("record");
        assertTrue(Files.isRegularFile(file), "missing recording " + file + ": the launcher was not run for it");
        Charset options = optionCharset();
        Recorded recorded = new Recorded(dir);
        for (String line : new String(Files.readAllBytes(file), StandardCharsets.ISO_8859_1).split("\n")) {
            int space = line.indexOf(' ');
            String key = space < 0 ? line : line.substring(0, space);
            byte[] text = unescape(space < 0 ? "" : line.substring(space + 1));
            if (key.equals("option")) {
                recorded.options.add(new String(text, options));
            } else if (key.equals("element")) {
                recorded.elements.add(new String(text, StandardCharsets.UTF_8));
            } else if (key.equals("call")) {
                String call = new String(text, StandardCharsets.UTF_8);
                if (call.endsWith(".main")) {
                    recorded.launcherClass = call.substring(0, call.length() - ".main".length()).replace('/', '.');
                }
            }
        }
        assertFalse(recorded.options.isEmpty(), "no VM options in " + file);
        assertNotNull(recorded.launcherClass, "no call of main in " + file);
        return recorded;
    }

    // Undoes the %XX escapes of a record text read as ISO-8859-1 (one character per byte).
    static byte[] unescape(String text) {
        ByteArrayOutputStream out = new ByteArrayOutputStream();
        for (int i = 0; i < text.length(); i++) {
            if (text.charAt(i) == '%' && i + 2 < text.length()) {
                out.write(Integer.parseInt(text.substring(i + 1, i + 3), 16));
                i += 2;
            } else {
                out.write(text.charAt(i));
            }
        }
        return out.toByteArray();
    }

    static Charset optionCharset() throws IOException {
        Path file = recordings().resolve("option-code-page");
        assertTrue(Files.isRegularFile(file), "missing " + file + ": the launches were not recorded");
        String codePage = new String(Files.readAllBytes(file), StandardCharsets.US_ASCII).trim();
        if (codePage.equals("65001")) {
            return StandardCharsets.UTF_8;
        }
        List<String> names = Arrays.asList("windows-" + codePage, "x-windows-" + codePage, "Cp" + codePage,
                "MS" + codePage);
        for (String name : names) {
            if (Charset.isSupported(name)) {
                return Charset.forName(name);
            }
        }
        throw new AssertionError("no Java charset for the code page " + codePage);
    }

    /**
     * Starts the recording on this JVM: the recorded options and array as they are, except
     * the exit hook and the class path (the launcher's Windows list; the test's jars take its place). The
     * working directory holds "Z:" as a link to the root, as Wine's drive Z: is, so that the
     * launcher's Windows paths name the files it meant.
     */
    private AppRun start(Recorded recorded, String... extra) throws IOException {
        return start(recorded, recorded.elements, temp, extra);
    }

    /** The same with other elements of the array, in a working directory of its own. */
    private AppRun start(Recorded recorded, List<String> elements, Path dir, String... extra) throws IOException {
        Path driveZ = dir.resolve("Z:");
        Files.createSymbolicLink(driveZ, Paths.get("/"));
        drives.add(driveZ);
        List<String> options = new ArrayList<String>();
        for (String option : recorded.options) {
            // "exit" carries the launcher's exit hook, which only a VM created through JNI takes.
            if (!option.startsWith("-Djava.class.path=") && !option.equals("exit")) {
                options.add(option);
            }
        }
        options.addAll(Arrays.asList(extra));
        return AppRun.start(dir, options, recorded.launcherClass, elements);
    }

    private final List<Path> drives = new ArrayList<Path>();

    // The links go before the temporary directory is cleaned up, which then never meets them.
    @AfterEach
    void removeDriveZ() throws IOException {
        for (Path driveZ : drives) {
            Files.deleteIfExists(driveZ);
        }
    }

    private static List<String> properties(AppRun run) {
        List<String> properties = new ArrayList<String>();
        for (String line : run.report()) {
            if (line.startsWith("property ")) {
                properties.add(line.substring("property ".length()));
            }
        }
        return properties;
    }

    // What every application learns of its launcher.
    private static void assertLauncher(Recorded recorded, AppRun run) {
        assertEquals(recorded.launcherPath(), run.reported("launcher"), run.describe());
        assertEquals("null", run.reported("tempDir"), "nothing was extracted");
        String semaphore = recorded.property("quill.semaphoreName");
        assertNotNull(semaphore, "the launcher named no single-instance semaphore");
        assertEquals(semaphore, run.reported("semaphore"));
    }

    @Test
    void consoleRun() throws Exception {
        Recorded recorded = read("console");
        assertEquals(AppRun.QUILL_LAUNCHER, recorded.launcherClass);
        AppRun run = start(recorded);
        run.input(null, true);
        assertEquals(0, run.waitForEnd(), run.describe());

        // The first argument, the default arguments, then the rest without "-J" options and
        // the locale argument; quotes group and are dropped.
        assertEquals(Arrays.asList("first", "--config", "a b", "c d", "two words", "say \"hi\"", "it's", "",
                "gr\u00fc\u00dfe", "\u20ac\u4e2d"), run.arguments(), run.describe());
        // Configured, from the vmoptions file and from "-J" arguments, beyond ASCII too.
        assertEquals(Arrays.asList("contract.configured=a b", "contract.j=1", "contract.text=gr\u00fc\u00dfe",
                "contract.vmoptions=from file"), properties(run), run.describe());
        assertEquals("false", run.reported("service"));
        assertEquals("null", run.reported("serviceName"));
        assertEquals("true", run.reported("graphical"));
        assertEquals("false", run.reported("deploykit"));
        assertLauncher(recorded, run);
        // /run: the console keeps both streams; the configured names, one with a reference
        // the Java side does not know, are not used.
        assertEquals("out-line", run.stdout());
        assertEquals("err-line", run.stderr());
        assertFalse(Files.exists(recorded.file("app/bin/logs")), "an error file was made for /run");
    }

    @Test
    void redirectedRunInTheDeploykitFlavour() throws Exception {
        Recorded recorded = read("redirect-\u00fc");
        assertEquals(AppRun.DEPLOYKIT_LAUNCHER, recorded.launcherClass);
        AppRun run = start(recorded);
        run.input(null, true);
        assertEquals(0, run.waitForEnd(), run.describe());

        assertEquals(Arrays.asList("alpha", "b c"), run.arguments(), run.describe());
        assertEquals("true", run.reported("deploykit"));
        assertEquals("false", run.reported("service"));
        assertEquals("false", run.reported("graphical"));
        assertLauncher(recorded, run);
        // Names relative to the launcher's directory; the error file's directory is made;
        // the output file is appended to.
        assertEquals(Arrays.asList("err-line"), AppRun.lines(recorded.file("app/bin/logs/err.log")), run.describe());
        assertEquals(Arrays.asList("before", "out-line"), AppRun.lines(recorded.file("app/bin/out.log")));
        assertEquals("", run.stdout());
        assertEquals("", run.stderr());
    }

    @Test
    void outputLimitRotatesBothStreamsInOneFile() throws Exception {
        Recorded recorded = read("rotate");
        assertEquals("1048576", recorded.property(OutputLimit.MAX_SIZE_PROPERTY));
        assertEquals("3", recorded.property(OutputLimit.KEEP_PROPERTY));
        String writes = RotationTest.LINE + "x45";
        AppRun run = start(recorded, "-Dfixture.writes=" + writes, "-Dfixture.stream=both");
        run.input(null, true);
        assertEquals(0, run.waitForEnd(), run.describe());

        // 45 lines of 100 KB, 10 to a file of 1 MB: the last 35 in four files.
        Path log = recorded.file("app/bin/logs/app.log");
        List<Path> files = RotationTest.kept(log, 3);
        assertEquals(4, files.size(), files.toString());
        assertArrayEquals(RotationTest.written(writes, 10, 45), RotationTest.concatenation(files));
        assertEquals("", run.stdout());
        assertEquals("", run.stderr());
    }

    @Test
    void dailyRollKeepsThreeCompressedFiles() throws Exception {
        Recorded recorded = read("roll");
        assertEquals("daily", recorded.property(OutputLimit.ROLL_PROPERTY));
        assertEquals("30", recorded.property(OutputLimit.KEEP_DAYS_PROPERTY));
        assertEquals("true", recorded.property(OutputLimit.COMPRESS_PROPERTY));
        String writes = RotationTest.LINE + "x45";
        Path log = recorded.file("app/bin/logs/app.log");
        AppRun run = start(recorded, "-Dfixture.writes=" + writes, "-Dfixture.stream=both",
                "-Dfixture.awaitCompressed=" + log.getParent());
        run.input(null, true);
        assertEquals(0, run.waitForEnd(), run.describe());

        // 45 lines of 100 KB, 10 to a file of 1 MB: four roll overs, of which the newest
        // three are kept, each compressed; their content and the current file's are the
        // last 35 lines.
        List<RollingNames.Rolled> rolled = new ArrayList<RollingNames.Rolled>();
        List<String> names = new ArrayList<String>();
        try (DirectoryStream<Path> entries = Files.newDirectoryStream(log.getParent())) {
            for (Path entry : entries) {
                names.add(entry.getFileName().toString());
            }
        }
        rolled.addAll(RollingNames.rolledFiles("app.log", names));
        assertEquals(3, rolled.size(), names.toString());
        assertEquals(4, names.size(), names.toString());
        ByteArrayOutputStream content = new ByteArrayOutputStream();
        for (int i = rolled.size() - 1; i >= 0; i--) {
            assertTrue(rolled.get(i).compressedThere && !rolled.get(i).plainThere, names.toString());
            try (java.io.InputStream in = new java.util.zip.GZIPInputStream(
                    Files.newInputStream(log.resolveSibling(rolled.get(i).plain + ".gz")))) {
                byte[] buffer = new byte[65536];
                for (int n = in.read(buffer); n >= 0; n = in.read(buffer)) {
                    content.write(buffer, 0, n);
                }
            }
        }
        byte[] current = Files.readAllBytes(log);
        content.write(current, 0, current.length);
        assertArrayEquals(RotationTest.written(writes, 10, 45), content.toByteArray());
        assertEquals("", run.stderr(), run.describe());
    }

    @Test
    void shortestArray() throws Exception {
        Recorded recorded = read("bare");
        assertEquals(5, recorded.elements.size(), "the launcher's array without arguments");
        AppRun run = start(recorded);
        run.input(null, true);
        assertEquals(0, run.waitForEnd(), run.describe());

        assertEquals(Arrays.<String>asList(), run.arguments(), run.describe());
        assertEquals("out-line", run.stdout());
        assertEquals("err-line", run.stderr());
    }

    @Test
    void serviceChild() throws Exception {
        Recorded recorded = read("service-child");
        assertEquals(AppRun.QUILL_LAUNCHER, recorded.launcherClass);
        // Standard error configured into the system's temporary directory, which every user
        // can write to: as a service the runtime library refuses it, touches nothing there,
        // and does not start the application; the message goes to standard error.
        assertEquals("${installer:sys.tempDir}\\demo_error.log", recorded.elements.get(2));
        Path tmp = Files.createDirectory(temp.resolve("systemp"));
        AppRun refused = start(recorded, "-Djava.io.tmpdir=" + tmp, "-Dfixture.mode=service");
        refused.input(null, true);
        assertTrue(refused.waitForEnd() != 0, refused.describe());
        assertTrue(refused.stderr().contains("standard-error file \"${installer:sys.tempDir}\\demo_error.log\" names "
                + "${installer:sys.tempDir}, the system's temporary directory"), refused.describe());
        assertTrue(refused.report().isEmpty(), "the application must not start\n" + refused.describe());
        try (DirectoryStream<Path> entries = Files.newDirectoryStream(tmp)) {
            assertFalse(entries.iterator().hasNext(), "a file was made in the temporary directory");
        }

        // The rest of the service's contract, with the error file beside the launcher.
        List<String> elements = new ArrayList<String>(recorded.elements);
        String launcher = recorded.launcherPath();
        elements.set(2, launcher.substring(0, launcher.lastIndexOf('\\')) + "\\logs\\err.log");
        Path errorFile = recorded.file("app/bin/logs/err.log");
        Files.createDirectories(errorFile.getParent());
        Files.write(errorFile, "stale\n".getBytes(StandardCharsets.US_ASCII));
        AppRun run = start(recorded, elements, Files.createDirectory(temp.resolve("run")), "-Djava.io.tmpdir=" + tmp,
                "-Dfixture.mode=service");
        assertTrue(run.awaitReportLine("started"), run.describe());
        // The service process's stop line.
        run.input("0\n", true);
        assertEquals(0, run.waitForEnd(), run.describe());

        // The service name is the launcher's, not the application's; the default arguments
        // come before the service's own.
        assertEquals(Arrays.asList("from config", "own", "two words"), run.arguments(), run.describe());
        assertEquals("true", run.reported("service"));
        assertEquals("DemoService", run.reported("serviceName"));
        assertEquals("false", run.reported("graphical"));
        assertLauncher(recorded, run);
        // Standard error truncated first; standard output left alone.
        assertEquals(Arrays.asList("err-line"), AppRun.lines(errorFile));
        assertEquals("out-line", run.stdout());
        List<String> report = run.report();
        int listener = report.indexOf("stop listener");
        assertTrue(listener >= 0 && report.indexOf("shutdown hook") > listener, run.describe());
    }
}
