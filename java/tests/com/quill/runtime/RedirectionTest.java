// Standard error and output sent to the configured files: names, references, the append
// flag, the shared file, and the switch that turns redirection off.
package com.quill.runtime;

import static com.quill.runtime.AppRun.array;
import static com.quill.runtime.AppRun.options;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.Arrays;
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
