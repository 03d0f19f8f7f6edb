// Standard error and output sent to the configured files: names, references, the append
// flag, the shared file, and the switch that turns redirection off.
package com.quill.runtime;

import static com.quill.runtime.AppRun.array;
import static com.quill.runtime.AppRun.options;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.io.IOException;
import java.nio.charset.StandardCharsets;
import java.nio.file.DirectoryStream;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.Collections;
import java.util.List;

import org.junit.jupiter.api.Test;
import org.junit.jupiter.api.io.TempDir;

class RedirectionTest {
    @TempDir
    Path temp;

    @Test
    void pathResolution() {
        String[][] cases = {
            // path, temporary directory, separator, expected
            {"${installer:sys.tempDir}\\demo_error.log", "/tmp", "/", "/tmp/demo_error.log"},
            {"${installer:sys.tempDir}\\demo_error.log", "/tmp/", "/", "/tmp/demo_error.log"},
            {"${installer:sys.tempDir}\\logs\\x.log", "C:\\Users\\u\\AppData\\Local\\Temp\\", "\\",
                "C:\\Users\\u\\AppData\\Local\\Temp\\logs\\x.log"},
            {"C:\\apps\\demo\\logs\\err.log", "/tmp", "\\", "C:\\apps\\demo\\logs\\err.log"},
            {"C:\\apps\\$dollar\\err.log", "/tmp", "\\", "C:\\apps\\$dollar\\err.log"},
            {"/srv/a\\b.log", "/tmp", "/", "/srv/a/b.log"},
            {"${installer:sys.tempDir}", "/", "/", "/"},
        };
        for (String[] c : cases) {
            assertEquals(c[3], OutputRedirection.resolvePath(c[0], c[1], c[2].charAt(0)), c[0] + " with " + c[1]);
        }
        IllegalArgumentException unknown = assertThrows(IllegalArgumentException.class,
                () -> OutputRedirection.resolvePath("${installer:app.dir}\\out.log", "/tmp", '/'));
        assertTrue(unknown.getMessage().contains("${installer:app.dir}"), unknown.getMessage());
        IllegalArgumentException unclosed = assertThrows(IllegalArgumentException.class,
                () -> OutputRedirection.resolvePath("${installer:sys.tempDir\\x.log", "/tmp", '/'));
        assertTrue(unclosed.getMessage().contains("${installer:sys.tempDir\\x.log"), unclosed.getMessage());
    }

    // The machine's application-data folder and the service's name, which a launcher from
    // before them leaves in the name: resolved when known, refused by name when not.
    @Test
    void programDataAndServiceNameReferences() {
        String[][] cases = {
            // path, programData, serviceName, separator, expected
            {"${launcher:sys.programData}\\${launcher:sys.serviceName}\\out.log", "C:\\ProgramData", "Ticker", "\\",
                "C:\\ProgramData\\Ticker\\out.log"},
            {"${launcher:sys.programData}\\logs\\${launcher:sys.serviceName}.log", "/var/lib/", "Tick\u00e9r", "/",
                "/var/lib/logs/Tick\u00e9r.log"},
            {"${installer:sys.tempDir}\\${launcher:sys.serviceName}-err.log", null, "A", "/", "/tmp/A-err.log"},
        };
        for (String[] c : cases) {
            assertEquals(c[4], OutputRedirection.resolvePath(c[0], "/tmp", c[1], c[2], c[3].charAt(0)), c[0]);
        }
        String[][] refused = {
            {"${launcher:sys.programData}\\out.log", null, "Ticker", "the machine's application-data folder"},
            {"logs\\${launcher:sys.serviceName}.log", "C:\\ProgramData", null, "known only when the application runs as a service"},
            {"logs\\${launcher:sys.serviceName}.log", "C:\\ProgramData", "", "known only when the application runs as a service"},
            {"${launcher:sys.ProgramData}\\out.log", "C:\\ProgramData", "Ticker", "unknown variable ${launcher:sys.ProgramData}"},
        };
        for (String[] c : refused) {
            IllegalArgumentException e = assertThrows(IllegalArgumentException.class,
                    () -> OutputRedirection.resolvePath(c[0], "/tmp", c[1], c[2], '/'), c[0]);
            assertTrue(e.getMessage().contains(c[3]) && e.getMessage().contains(c[0]), e.getMessage());
        }
        // A service's file under the application-data folder is not in the temporary directory.
        assertEquals(null, OutputRedirection.serviceRefusal("${launcher:sys.programData}/${launcher:sys.serviceName}/o.log",
                temp.toString(), "", temp.resolveSibling("data").toString(), "Ticker", '/'));
        assertTrue(OutputRedirection.serviceRefusal("${launcher:sys.programData}/${launcher:sys.serviceName}/o.log",
                temp.toString(), "", temp.toString(), "Ticker", '/').startsWith("is in the system's temporary directory"));
    }

    @Test
    void separateFilesAppendOrTruncateByTheFlag() throws Exception {
        for (String flag : Arrays.asList("true", "false")) {
            Path dir = Files.createDirectory(temp.resolve(flag));
            Path err = dir.resolve("logs").resolve("err.log");   // its directory does not exist yet
            Path out = dir.resolve("out.log");
            Files.write(out, "old\n".getBytes(StandardCharsets.UTF_8));
            AppRun run = AppRun.run(dir, options(), array("false", AppRun.APP, err.toString(), out.toString(), flag),
                    null);
            assertEquals(0, run.exitCode(), run.describe());
            assertEquals(Arrays.asList("err-line"), AppRun.lines(err), flag);
            List<String> expected = flag.equals("true") ? Arrays.asList("old", "out-line") : Arrays.asList("out-line");
            assertEquals(expected, AppRun.lines(out), flag);
            assertEquals("", run.stdout(), run.describe());
            assertEquals("", run.stderr(), run.describe());
        }
    }

    @Test
    void oneFileForBothStreamsKeepsEveryLine() throws Exception {
        Path both = temp.resolve("both.log");
        Files.write(both, "old line that is longer than what follows\n".getBytes(StandardCharsets.UTF_8));
        // The same file under two spellings.
        String other = temp.resolve(".").resolve("both.log").toString();
        AppRun run = AppRun.run(temp, options(), array("false", AppRun.APP, both.toString(), other, "false"), null);
        assertEquals(0, run.exitCode(), run.describe());
        assertEquals(Arrays.asList("out-line", "err-line"), AppRun.lines(both), run.describe());
    }

    @Test
    void systemTempDirReferenceAndOnlyOneStream() throws Exception {
        Path tmp = Files.createDirectory(temp.resolve("systemp"));
        AppRun run = AppRun.run(temp, options("-Djava.io.tmpdir=" + tmp + "/"),
                array("false", AppRun.APP, "${installer:sys.tempDir}\\demo\\demo_error.log", "", "true"), null);
        assertEquals(0, run.exitCode(), run.describe());
        assertEquals(Arrays.asList("err-line"), AppRun.lines(tmp.resolve("demo").resolve("demo_error.log")));
        assertEquals("out-line", run.stdout(), "an empty name leaves the stream alone");
    }

    @Test
    void unknownReferenceEndsTheStartNamingIt() throws Exception {
        AppRun run = AppRun.run(temp, options(),
                array("false", AppRun.APP, "", "${installer:app.dir}\\out.log", "true"), null);
        assertTrue(run.exitCode() != 0, run.describe());
        assertTrue(run.stderr().contains("unknown variable ${installer:app.dir}"), run.describe());
        assertTrue(run.report().isEmpty(), "the application must not start\n" + run.describe());
    }

    @Test
    void serviceRefusalOfTheSystemTemporaryDirectory() throws Exception {
        Path systemTemp = Files.createDirectory(temp.resolve("systemp"));
        String tmp = systemTemp.toString();
        String own = systemTemp.resolve("qll1f.tmp_dir1700000000_m").toString();
        String shared = "is in the system's temporary directory " + tmp;
        String[][] cases = {
            // name, system temporary directory, launcher's folder, refusal (null: accepted)
            {"${installer:sys.tempDir}\\demo_error.log", tmp, "", "names ${installer:sys.tempDir}, the system's"},
            {"${launcher:sys.tempDir}out.log", tmp, own, "names ${launcher:sys.tempDir}, the system's"},
            {"/srv/app/${installer:sys.tempDir}", "", "", "names ${installer:sys.tempDir}"},
            // The launcher's own expansion of ${launcher:sys.tempDir}, and other spellings.
            {tmp + "/demo_error.log", tmp + "/", "", shared},
            {tmp + "\\logs\\out.log", tmp, own, shared},
            {temp + "/x/../systemp/out.log", tmp, "", shared},
            {tmp, tmp, "", shared},
            {own + "/../out.log", tmp, own, shared},
            // The launcher's private folder of this run is no shared place.
            {own + "/logs/out.log", tmp, own, null},
            {temp + "/systemp-other/out.log", tmp, "", null},
            {temp + "/logs/out.log", tmp, own, null},
            {"/srv/app/out.log", "", "", null},
        };
        for (String[] c : cases) {
            String refusal = OutputRedirection.serviceRefusal(c[0], c[1], c[2], '/');
            if (c[3] == null) {
                assertEquals(null, refusal, c[0]);
            } else {
                assertTrue(refusal != null && refusal.startsWith(c[3]), c[0] + ": " + refusal);
            }
        }
    }

    @Test
    void aServiceWritesNothingToTheSystemTemporaryDirectory() throws Exception {
        String[][] cases = {
            // standard-error name, standard-output name (under the system's temporary
            // directory "<tmp>" and the launcher's folder "<own>"), what the refusal says
            {"${installer:sys.tempDir}\\demo_error.log", "", "standard-error file \"${installer:sys.tempDir}"},
            {"", "<tmp>/logs/out.log", "standard-output file \"<tmp>/logs/out.log\" is in the system's temporary"},
            {"<own>/../err.log", "<own>/out.log", "standard-error file \"<own>/../err.log\" is in the system's"},
            {"<own>/err.log", "<own>/out.log", null},
        };
        int i = 0;
        for (String[] c : cases) {
            Path dir = Files.createDirectory(temp.resolve("case" + i++));
            Path systemTemp = Files.createDirectory(dir.resolve("systemp"));
            Path own = Files.createDirectory(systemTemp.resolve("qll1f.tmp_dir1700000000_m"));
            String[] names = new String[3];
            for (int n = 0; n < 3; n++) {
                names[n] = c[n] == null ? null : c[n].replace("<tmp>", systemTemp.toString()).replace("<own>", own.toString());
            }
            AppRun run = AppRun.run(dir, options("-Dquill.isService=true", "-Djava.io.tmpdir=" + systemTemp,
                    "-Dquill.tempDir=" + own), array("false", AppRun.APP, names[0], names[1], "true", "Svc"), null);
            if (names[2] == null) {
                assertEquals(0, run.exitCode(), run.describe());
                assertEquals(Arrays.asList("err-line"), AppRun.lines(own.resolve("err.log")), run.describe());
                assertEquals(Arrays.asList("out-line"), AppRun.lines(own.resolve("out.log")), run.describe());
                continue;
            }
            assertTrue(run.exitCode() != 0, run.describe());
            assertTrue(run.stderr().contains(names[2]), run.describe());
            assertTrue(run.stderr().contains("or none to keep the output on standard error"), run.describe());
            assertTrue(run.report().isEmpty(), "the application must not start\n" + run.describe());
            assertEquals(Arrays.asList(own.getFileName().toString()), names(systemTemp), "nothing was made there");
            assertEquals(Arrays.asList(), names(own), "nothing was made there");
        }
    }

    private static List<String> names(Path dir) throws IOException {
        List<String> names = new ArrayList<String>();
        try (DirectoryStream<Path> entries = Files.newDirectoryStream(dir)) {
            for (Path entry : entries) {
                names.add(entry.getFileName().toString());
            }
        }
        Collections.sort(names);
        return names;
    }

    // A write from a thread whose interrupt status is set neither fails nor closes the file
    // for the writes after it, and the status stays set for the application.
    @Test
    void anInterruptedWriterLosesNoOutput() throws Exception {
        String[][] cases = {
            // limit options
            {},
            {"-D" + OutputLimit.MAX_SIZE_PROPERTY + "=1048576"},
        };
        int i = 0;
        for (String[] limit : cases) {
            Path dir = Files.createDirectory(temp.resolve("case" + i++));
            Path out = dir.resolve("out.log");
            List<String> options = new ArrayList<String>(Arrays.asList(limit));
            options.add("-Dfixture.mode=interrupted");
            AppRun run = AppRun.run(dir, options, array("false", AppRun.APP, "", out.toString(), "true"), null);
            String label = Arrays.toString(limit);
            assertEquals(0, run.exitCode(), label + "\n" + run.describe());
            assertEquals(Arrays.asList("out-line", "written while interrupted", "written after"), AppRun.lines(out),
                    label);
            assertEquals("true", run.reported("still interrupted"), label);
        }
    }

    @Test
    void noRedirectionForTheConsoleRun() throws Exception {
        Path err = temp.resolve("err.log");
        AppRun run = AppRun.run(temp, options("-Ddeploykit.noRedir=true"),
                array("false", AppRun.APP, err.toString(), temp.resolve("out.log").toString(), "true"), null);
        assertEquals(0, run.exitCode(), run.describe());
        assertFalse(Files.exists(err));
        assertEquals("out-line", run.stdout());
        assertEquals("err-line", run.stderr());
    }
}
