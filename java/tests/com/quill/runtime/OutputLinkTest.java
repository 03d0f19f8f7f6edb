// Links where the output files go, made with real symbolic links on this machine: a link at
// the file's name, in place of its folder or of a folder made for it, or at an older file's
// name is never written, truncated, moved or removed through, and stays as it was.
package com.quill.runtime;

import static com.quill.runtime.AppRun.array;
import static com.quill.runtime.AppRun.options;
import static org.junit.jupiter.api.Assertions.assertArrayEquals;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.nio.charset.StandardCharsets;
import java.nio.file.DirectoryStream;
import java.nio.file.Files;
import java.nio.file.LinkOption;
import java.nio.file.Path;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.List;

import org.junit.jupiter.api.Test;
import org.junit.jupiter.api.io.TempDir;

class OutputLinkTest {
    static final byte[] VICTIM = "a file the service must not change\n".getBytes(StandardCharsets.US_ASCII);

    @TempDir
    Path temp;

    /** Where the links point: a file and a folder outside the application's. */
    private static final class Elsewhere {
        final Path file;
        final Path folder;

        Elsewhere(Path dir) throws Exception {
            folder = Files.createDirectories(dir.resolve("elsewhere"));
            file = folder.resolve("victim.txt");
            Files.write(file, VICTIM);
        }

        void assertUntouched(String label) throws Exception {
            assertArrayEquals(VICTIM, Files.readAllBytes(file), label);
            List<String> names = new ArrayList<String>();
            try (DirectoryStream<Path> entries = Files.newDirectoryStream(folder)) {
                for (Path entry : entries) {
                    names.add(entry.getFileName().toString());
                }
            }
            assertEquals(Arrays.asList("victim.txt"), names, label);
        }
    }

    @Test
    void aLinkOnTheWayToTheFileEndsTheStartAndStaysAsItWas() throws Exception {
        final String[] limits = {"", "-D" + OutputLimit.MAX_SIZE_PROPERTY + "=1048576"};
        Object[][] cases = {
            // what, the link (below the application's folder), it points to the victim file
            // (else the folder), the output file's name below the application's folder
            {"at the name, appending", "app.log", true, "app.log", "true"},
            {"at the name, truncating", "app.log", true, "app.log", "false"},
            {"at the name, pointing nowhere", "app.log", false, "app.log", "true"},
            {"in place of the file's folder", "logs", false, "logs/app.log", "true"},
            {"in place of the folder a missing one is made in", "logs", false, "logs/day/app.log", "true"},
        };
        int i = 0;
        for (Object[] c : cases) {
            for (String limit : limits) {
                String label = c[0] + (limit.isEmpty() ? "" : ", with a size limit");
                Path dir = Files.createDirectory(temp.resolve("case" + i++));
                Path app = Files.createDirectory(dir.resolve("app"));
                Elsewhere elsewhere = new Elsewhere(dir);
                Path link = app.resolve((String) c[1]);
                Path target = c[1].equals("app.log") && !(Boolean) c[2] ? elsewhere.folder.resolve("made.txt")
                        : (Boolean) c[2] ? elsewhere.file : elsewhere.folder;
                Files.createSymbolicLink(link, target);
                Path file = app.resolve((String) c[3]);
                List<String> options = limit.isEmpty() ? options() : options(limit);
                AppRun run = AppRun.run(dir, options, array("false", AppRun.APP, file.toString(), "", (String) c[4]),
                        null);
                assertTrue(run.exitCode() != 0, label + "\n" + run.describe());
                assertTrue(run.stderr().contains("link"), label + "\n" + run.describe());
                assertTrue(run.report().isEmpty(), label + ": the application must not start\n" + run.describe());
                elsewhere.assertUntouched(label);
                assertTrue(Files.isSymbolicLink(link), label);
                assertEquals(target, Files.readSymbolicLink(link), label);
            }
        }
    }

    @Test
    void aRotationLeavesALinkAtAnOlderNameAloneAndKeepsWriting() throws Exception {
        Object[][] cases = {
            // the older file that is a link, kept files, it points to the victim file (else
            // to a name that does not exist)
            {2, 3, true},
            {3, 3, true},
            {1, 1, true},
            {1, 3, false},
        };
        String writes = RotationTest.LINE + "x25";
        int i = 0;
        for (Object[] c : cases) {
            String label = "." + c[0] + " a link, " + c[1] + " kept, "
                    + ((Boolean) c[2] ? "to a file" : "to nothing");
            Path dir = Files.createDirectory(temp.resolve("case" + i++));
            Path app = Files.createDirectory(dir.resolve("app"));
            Elsewhere elsewhere = new Elsewhere(dir);
            Path log = app.resolve("app.log");
            Path link = RotatingFileOutput.older(log, (Integer) c[0]);
            Path target = (Boolean) c[2] ? elsewhere.file : elsewhere.folder.resolve("made.txt");
            Files.createSymbolicLink(link, target);
            AppRun run = AppRun.run(dir, RotationTest.limitOptions("1048576", String.valueOf(c[1]), writes),
                    array("false", RotationTest.WRITER, "", log.toString(), "true"), null);
            assertEquals(0, run.exitCode(), label + "\n" + run.describe());
            // Every line went on into the current file, none into or through the link.
            assertArrayEquals(RotationTest.written(writes, 0, 25), Files.readAllBytes(log), label);
            elsewhere.assertUntouched(label);
            assertTrue(Files.isSymbolicLink(link), label);
            assertEquals(target, Files.readSymbolicLink(link), label);
            for (int number = 1; number <= 5; number++) {
                Path older = RotatingFileOutput.older(log, number);
                assertFalse(!older.equals(link) && Files.exists(older, LinkOption.NOFOLLOW_LINKS), label + ": " + older);
            }
        }
    }
}
