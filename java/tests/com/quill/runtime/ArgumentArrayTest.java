// The launcher's argument array in, the application's arguments and settings out, on the
// real JVM. (The test application's class is not public, as a main class may be.)
package com.quill.runtime;

import static com.quill.runtime.AppRun.array;
import static com.quill.runtime.AppRun.options;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.nio.file.Files;
import java.nio.file.Path;
import java.util.Arrays;
import java.util.Collections;
import java.util.List;

import org.junit.jupiter.api.Test;
import org.junit.jupiter.api.io.TempDir;

class ArgumentArrayTest {
    @TempDir
    Path temp;

    private static final class Case {
        final String name;
        final List<String> options;
        final List<String> array;
        final List<String> expected;
        final String serviceName;

        Case(String name, List<String> options, List<String> array, List<String> expected, String serviceName) {
            this.name = name;
            this.options = options;
            this.array = array;
            this.expected = expected;
            this.serviceName = serviceName;
        }
    }

    @Test
    void applicationArgumentsPerMode() throws Exception {
        List<String> none = Collections.emptyList();
        List<String> service = options("-Dquill.isService=true", "-Xrs");
        List<Case> cases = Arrays.asList(
                new Case("/run: the first launcher argument is the application's first", none,
                        array("false", AppRun.APP, "", "", "true", "first", "--config", "a b", "", "last"),
                        Arrays.asList("first", "--config", "a b", "", "last"), "null"),
                new Case("/run without arguments", none,
                        array("false", AppRun.APP, "", "", "false"), none, "null"),
                new Case("service: the service name is taken out", service,
                        array("false", AppRun.APP, "", "", "true", "Demo Svc", "-x", "y"),
                        Arrays.asList("-x", "y"), "Demo Svc"),
                new Case("service with no arguments after the name", service,
                        array("false", AppRun.APP, "", "", "true", "Svc"), none, "Svc"),
                new Case("text beyond ASCII", none,
                        array("false", AppRun.APP, "", "", "true", "gr\u00fc\u00dfe", "\u20ac\u4e2d"),
                        Arrays.asList("gr\u00fc\u00dfe", "\u20ac\u4e2d"), "null"));
        int i = 0;
        for (Case c : cases) {
            Path dir = Files.createDirectory(temp.resolve("case" + i++));
            AppRun run = AppRun.run(dir, c.options, c.array, null);
            assertEquals(0, run.exitCode(), c.name + "\n" + run.describe());
            assertEquals(c.expected, run.arguments(), c.name + "\n" + run.describe());
            assertEquals(c.serviceName, run.reported("serviceName"), c.name);
            assertEquals(String.valueOf(!c.serviceName.equals("null")), run.reported("service"), c.name);
        }
    }

    @Test
    void launcherPropertiesReachTheApplication() throws Exception {
        AppRun run = AppRun.run(temp, options("-Dquill.moduleName=C:\\apps\\demo\\bin\\demo.exe",
                "-Dquill.tempDir=C:\\Temp\\launch_7c1.tmp", "-Dquill.semaphoreName=Local\\c:_apps_demo0"),
                array("true", AppRun.APP, "", "", "true"), null);
        assertEquals(0, run.exitCode(), run.describe());
        assertEquals("C:\\apps\\demo\\bin\\demo.exe", run.reported("launcher"));
        assertEquals("C:\\Temp\\launch_7c1.tmp", run.reported("tempDir"));
        assertEquals("Local\\c:_apps_demo0", run.reported("semaphore"));
        assertEquals("true", run.reported("graphical"));

        // The launcher passes an empty temporary directory when it extracted nothing.
        Path second = Files.createDirectory(temp.resolve("empty"));
        run = AppRun.run(second, options("-Dquill.tempDir="), array("false", AppRun.APP, "", "", "true"), null);
        assertEquals("null", run.reported("tempDir"), run.describe());
        assertEquals("false", run.reported("graphical"));
    }

    @Test
    void malformedArraysAreRefusedWithAReason() throws Exception {
        AppRun run = AppRun.run(temp, options(), array("false", AppRun.APP, "", ""), null);
        assertTrue(run.exitCode() != 0, run.describe());
        assertTrue(run.stderr().contains("the launcher passed 4 arguments; at least 5 are needed"), run.describe());
        assertTrue(run.report().isEmpty(), run.describe());

        Path second = Files.createDirectory(temp.resolve("missing"));
        run = AppRun.run(second, options(), array("false", "com.example.demo.Missing", "", "", "true"), null);
        assertTrue(run.exitCode() != 0, run.describe());
        assertTrue(run.stderr().contains("com.example.demo.Missing"), run.describe());
    }
}
