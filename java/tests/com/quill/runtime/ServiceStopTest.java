// How the application ends: the service's stop line or the end of the input, its own
// exit code, and an exception of its main.
package com.quill.runtime;

import static com.quill.runtime.AppRun.array;
import static com.quill.runtime.AppRun.options;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.nio.file.Files;
import java.nio.file.Path;
import java.util.Arrays;
import java.util.List;

import org.junit.jupiter.api.Test;
import org.junit.jupiter.api.io.TempDir;

class ServiceStopTest {
    @TempDir
    Path temp;

    private static final List<String> SERVICE = options("-Dquill.isService=true", "-Xrs", "-Dfixture.mode=service");

    private AppRun startService(Path dir) throws Exception {
        AppRun run = AppRun.start(dir, SERVICE, AppRun.QUILL_LAUNCHER,
                array("false", AppRun.APP, "", "", "true", "DemoService"));
        assertTrue(run.awaitReportLine("started"), run.describe());
        return run;
    }

    @Test
    void stopLineOrEndOfInputEndsCleanly() throws Exception {
        String[][] cases = {
            // what the service process does: the line it writes, whether it closes the pipe
            {"0\n", "keep open"},
            {"0\n", "close"},
            {"", "close"},
            {"17\r\n", "keep open"},
        };
        int i = 0;
        for (String[] c : cases) {
            String name = "input \"" + c[0].trim() + "\", " + c[1];
            AppRun run = startService(Files.createDirectory(temp.resolve("case" + i++)));
            run.input(c[0], c[1].equals("close"));
            assertEquals(0, run.waitForEnd(), name + "\n" + run.describe());
            List<String> report = run.report();
            int listener = report.indexOf("stop listener");
            int hook = report.indexOf("shutdown hook");
            assertTrue(listener >= 0 && hook > listener, name + ": listener, then hook\n" + run.describe());
        }
    }

    @Test
    void otherLinesDoNotStopTheService() throws Exception {
        AppRun run = startService(temp);
        run.input("hello\n\n-1\n", false);
        assertFalse(run.process.waitFor(500, java.util.concurrent.TimeUnit.MILLISECONDS), run.describe());
        assertFalse(run.report().contains("stop listener"));
        run.input("0\n", false);
        assertEquals(0, run.waitForEnd(), run.describe());
    }

    @Test
    void theApplicationsOwnExitCodePassesThrough() throws Exception {
        for (List<String> service : Arrays.asList(options(), options("-Dquill.isService=true"))) {
            Path dir = Files.createDirectory(temp.resolve(service.isEmpty() ? "run" : "service"));
            List<String> options = new java.util.ArrayList<String>(service);
            options.add("-Dfixture.mode=exit");
            options.add("-Dfixture.exitCode=7");
            AppRun run = AppRun.start(dir, options, AppRun.QUILL_LAUNCHER,
                    array("false", AppRun.APP, "", "", "true", "Svc"));
            // The service's pipe stays open: the exit is the application's own.
            assertEquals(7, run.waitForEnd(), run.describe());
        }
    }

    @Test
    void anExceptionOfMainGivesItsStackTraceAndAFailedEnd() throws Exception {
        for (String launcher : Arrays.asList(AppRun.QUILL_LAUNCHER, AppRun.DEPLOYKIT_LAUNCHER)) {
            Path dir = Files.createDirectory(temp.resolve(launcher));
            AppRun run = AppRun.start(dir, options("-Dfixture.mode=throw"), launcher,
                    array("false", AppRun.APP, "", "", "true"));
            run.input(null, true);
            assertTrue(run.waitForEnd() != 0, run.describe());
            String stderr = run.stderr();
            assertTrue(stderr.contains("java.lang.IllegalStateException: fixture failure"), stderr);
            assertTrue(stderr.contains("at com.example.demo.Main.main"), stderr);
            assertFalse(stderr.contains("InvocationTargetException"), "the application's own exception\n" + stderr);
        }
    }

    @Test
    void aServicesStackTraceGoesToTheErrorFile() throws Exception {
        Path err = temp.resolve("err.log");
        // The test's folder is in this machine's temporary directory, which a service may not
        // write its output to; the service's temporary directory is another one here.
        Path systemTemp = Files.createDirectory(temp.resolve("systemp"));
        AppRun run = AppRun.start(temp, options("-Dquill.isService=true", "-Dfixture.mode=throw",
                "-Djava.io.tmpdir=" + systemTemp),
                AppRun.QUILL_LAUNCHER, array("false", AppRun.APP, err.toString(), "", "true", "Svc"));
        assertTrue(run.waitForEnd() != 0, run.describe());
        String log = AppRun.text(err);
        assertTrue(log.contains("err-line") && log.contains("java.lang.IllegalStateException: fixture failure"), log);
    }
}
