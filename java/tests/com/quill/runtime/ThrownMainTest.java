// An application whose main throws, on the real JVM: the exception is printed where the
// application's standard error goes, the shutdown hooks run, a non-daemon thread does not
// keep the process alive, and the exit code is 1.
package com.quill.runtime;

import static com.quill.runtime.AppRun.array;
import static com.quill.runtime.AppRun.options;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.nio.file.Files;
import java.nio.file.Path;

import org.junit.jupiter.api.Test;
import org.junit.jupiter.api.io.TempDir;

class ThrownMainTest {
    @TempDir
    Path temp;

    private static final String PRINTED = "Exception in thread \"main\" java.lang.IllegalStateException: fixture failure";

    @Test
    void exceptionIsPrintedHooksRunAndTheExitCodeIsOne() throws Exception {
        // mode, whether standard error goes to a file, whether a hook and a thread are left
        Object[][] cases = {
                {"throw", false, false},
                {"throw-with-hook", false, true},
                {"throw-with-hook", true, true},
        };
        int i = 0;
        for (Object[] c : cases) {
            String mode = (String) c[0];
            boolean redirected = (Boolean) c[1];
            boolean hook = (Boolean) c[2];
            String name = mode + (redirected ? " with standard error in a file" : "");
            Path dir = Files.createDirectory(temp.resolve("case" + i++));
            Path errorFile = dir.resolve("error.log");
            // waitForEnd fails the test when the process has not ended within its deadline.
            AppRun run = AppRun.run(dir, options("-Dfixture.mode=" + mode),
                    array("false", AppRun.APP, redirected ? errorFile.toString() : "", "", "false"), null);
            assertEquals(1, run.exitCode(), name + ": " + run.describe());
            String printed = redirected ? String.join("\n", AppRun.lines(errorFile)) : run.stderr();
            assertTrue(printed.contains(PRINTED + "\n\tat com.example.demo.Main.main("), name + ": " + run.describe());
            assertEquals(hook, run.report().contains("shutdown hook"), name + ": " + run.describe());
        }
    }
}
