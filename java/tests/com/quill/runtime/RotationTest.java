// The size limit of the output files on this machine's JVM: what is kept, in which files,
// in append mode, for both streams in one file, when a rotation fails, and the limit's
// values as the launcher passes them.
package com.quill.runtime;

import static com.quill.runtime.AppRun.array;
import static com.quill.runtime.AppRun.options;
import static org.junit.jupiter.api.Assertions.assertArrayEquals;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;

import com.example.demo.Writer;

import java.io.ByteArrayOutputStream;
import java.io.IOException;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.List;

import org.junit.jupiter.api.Test;
import org.junit.jupiter.api.io.TempDir;

class RotationTest {
    static final String WRITER = "com.example.demo.Writer";
    static final int MB = 1024 * 1024;
    static final int LINE = 100 * 1024;

    @TempDir
    Path temp;

    /** What the writer writes for fixture.writes, lines start..end (exclusive). */
    static byte[] written(String writes, int start, int end) {
        List<Integer> sizes = Writer.sizes(writes);
        ByteArrayOutputStream out = new ByteArrayOutputStream();
        for (int i = start; i < end; i++) {
            byte[] line = (Writer.line(i, sizes.get(i)) + "\n").getBytes(StandardCharsets.US_ASCII);
            out.write(line, 0, line.length);
        }
        return out.toByteArray();
    }

    static byte[] concatenation(List<Path> files) throws IOException {
        ByteArrayOutputStream out = new ByteArrayOutputStream();
        for (Path file : files) {
            byte[] bytes = Files.readAllBytes(file);
            out.write(bytes, 0, bytes.length);
        }
        return out.toByteArray();
    }

    /** The file and its older ones that exist, oldest first, up to .(keep + 5). */
    static List<Path> kept(Path file, int keep) {
        List<Path> files = new ArrayList<Path>();
        for (int number = keep + 5; number >= 1; number--) {
            Path older = RotatingFileOutput.older(file, number);
            if (Files.exists(older)) {
                files.add(older);
            }
        }
        if (Files.exists(file)) {
            files.add(file);
        }
        return files;
    }

    static List<String> limitOptions(String maxSize, String keep, String writes, String... more) {
        List<String> options = new ArrayList<String>(Arrays.asList(more));
        options.add("-Dfixture.writes=" + writes);
        if (maxSize != null) {
            options.add("-D" + OutputLimit.MAX_SIZE_PROPERTY + "=" + maxSize);
        }
        if (keep != null) {
            options.add("-D" + OutputLimit.KEEP_PROPERTY + "=" + keep);
        }
        return options;
    }

    @Test
    void rotationKeepsTheTailOfWhatWasWrittenWithinTheLimit() throws Exception {
        final int oversized = MB + MB / 2;
        Object[][] cases = {
            // name, max size, keep, writes, stream, files at the end, first line kept
            {"100 KB lines, 1 MB, 3 kept", "1048576", "3", LINE + "x60", "out", 4, 20},
            {"both streams in one file", "1048576", "3", LINE + "x45", "both", 4, 10},
            // The limit falls between the text of a line and its end: one write keeps them together.
            {"lines by printf", "1023999", "3", LINE + "x45", "printf", 4, 9},
            {"one write above the limit gets a file of its own", "1048576", "3",
                LINE + "x12," + oversized + "," + LINE + "x5", "out", 4, 0},
            {"none kept", "1048576", "0", LINE + "x25", "out", 1, 20},
            {"one kept, standard error", "1048576", "1", LINE + "x25", "err", 2, 10},
            {"no limit without the properties", null, null, LINE + "x12", "out", 1, 0},
            {"0 is no limit", "0", "3", LINE + "x12", "out", 1, 0},
        };
        for (Object[] c : cases) {
            String name = (String) c[0];
            String writes = (String) c[3];
            Path dir = Files.createDirectory(temp.resolve("case" + Arrays.asList(cases).indexOf(c)));
            Path log = dir.resolve("logs").resolve("app.log");
            String stream = c[4].equals("printf") ? "-Dfixture.printf=true" : "-Dfixture.stream=" + c[4];
            AppRun run = AppRun.run(dir, limitOptions((String) c[1], (String) c[2], writes, stream),
                    array("false", WRITER, log.toString(), log.toString(), "true"), null);
            assertEquals(0, run.exitCode(), name + "\n" + run.describe());
            assertEquals(Arrays.asList("done"), run.report(), name);
            int keep = c[2] == null ? 0 : Integer.parseInt((String) c[2]);
            List<Path> files = kept(log, keep);
            assertEquals(c[5], files.size(), name + ": " + files);
            int total = Writer.sizes(writes).size();
            assertArrayEquals(written(writes, (Integer) c[6], total), concatenation(files), name);
            long limit = c[1] == null || c[1].equals("0") ? Long.MAX_VALUE : Long.parseLong((String) c[1]);
            for (Path file : files) {
                long size = Files.size(file);
                assertTrue(size <= limit || size == oversized, name + ": " + file + " holds " + size + " bytes");
                byte[] bytes = Files.readAllBytes(file);
                assertEquals('\n', bytes[bytes.length - 1], name + ": " + file + " ends within a line");
            }
        }
    }

    @Test
    void appendModeContinuesTheFileAndRotatesItWhenDue() throws Exception {
        Path log = temp.resolve("app.log");
        byte[] old = new byte[9 * LINE];
        Arrays.fill(old, (byte) 'o');
        Files.write(log, old);
        byte[] previous = "rotated by an earlier run\n".getBytes(StandardCharsets.US_ASCII);
        Files.write(RotatingFileOutput.older(log, 1), previous);
        String writes = LINE + "x5";
        AppRun run = AppRun.run(temp, limitOptions("1048576", "3", writes),
                array("false", WRITER, "", log.toString(), "true"), null);
        assertEquals(0, run.exitCode(), run.describe());
        // The old content and the first line fit; the second line begins a new file.
        ByteArrayOutputStream first = new ByteArrayOutputStream();
        first.write(old, 0, old.length);
        byte[] line = written(writes, 0, 1);
        first.write(line, 0, line.length);
        assertArrayEquals(first.toByteArray(), Files.readAllBytes(RotatingFileOutput.older(log, 1)));
        assertArrayEquals(previous, Files.readAllBytes(RotatingFileOutput.older(log, 2)));
        assertArrayEquals(written(writes, 1, 5), Files.readAllBytes(log));
        assertFalse(Files.exists(RotatingFileOutput.older(log, 3)));
    }

    @Test
    void aRotationThatFailsKeepsWritingAndIsTriedAgain() throws Exception {
        Path log = temp.resolve("app.log");
        // A directory with a file in it where the older file must go cannot be removed, as
        // a file that another process holds cannot; the writer removes it after 15 lines.
        Path blocker = RotatingFileOutput.older(log, 1);
        Files.createDirectory(blocker);
        Files.write(blocker.resolve("held"), new byte[] {1});
        String writes = LINE + "x20";
        AppRun run = AppRun.run(temp, limitOptions("1048576", "1", writes, "-Dfixture.unblock=" + blocker,
                "-Dfixture.unblockAfter=15"), array("false", WRITER, "", log.toString(), "false"), null);
        assertEquals(0, run.exitCode(), run.describe());
        assertEquals("", run.stderr(), run.describe());
        // Lines 11 to 15 went on into the full file; line 16 found the way free.
        assertArrayEquals(written(writes, 0, 15), Files.readAllBytes(blocker));
        assertArrayEquals(written(writes, 15, 20), Files.readAllBytes(log));
    }

    @Test
    void limitValues() {
        Object[][] accepted = {
            // max size, keep, expected max size, expected keep
            {null, null, 0L, OutputLimit.DEFAULT_KEEP},
            {"", "0", 0L, 0},
            {"10485760", "5", 10485760L, 5},
            {"9223372036854775807", "1000", Long.MAX_VALUE, 1000},
            {"1", null, 1L, OutputLimit.DEFAULT_KEEP},
        };
        for (Object[] c : accepted) {
            OutputLimit limit = OutputLimit.parse((String) c[0], (String) c[1]);
            assertEquals(c[2], limit.maxSize, Arrays.toString(c));
            assertEquals(c[3], limit.keep, Arrays.toString(c));
        }
        String[][] refused = {
            // max size, keep, message
            {"10 MB", "5", "the output limit quill.outputMaxSize=\"10 MB\" is not a count of digits 0 to 9"},
            {"-1", "5", "the output limit quill.outputMaxSize=\"-1\" is not a count of digits 0 to 9"},
            {"+5", "5", "the output limit quill.outputMaxSize=\"+5\" is not a count of digits 0 to 9"},
            {"9223372036854775808", "5",
                "the output limit quill.outputMaxSize=\"9223372036854775808\" is above 9223372036854775807"},
            {"100", "1001", "the output limit quill.outputKeep=\"1001\" is above 1000"},
            {"100", "-1", "the output limit quill.outputKeep=\"-1\" is not a count of digits 0 to 9"},
            {"100", "", "the output limit quill.outputKeep is empty"},
        };
        for (String[] c : refused) {
            IllegalArgumentException e = assertThrows(IllegalArgumentException.class,
                    () -> OutputLimit.parse(c[0], c[1]), Arrays.toString(c));
            assertEquals(c[2], e.getMessage());
        }
    }

    @Test
    void aLimitThatIsNoCountEndsTheStartBeforeAnyFileChanges() throws Exception {
        Path log = temp.resolve("app.log");
        Files.write(log, "kept\n".getBytes(StandardCharsets.US_ASCII));
        AppRun run = AppRun.run(temp, limitOptions("10MB", "5", LINE + "x1"),
                array("false", WRITER, "", log.toString(), "false"), null);
        assertTrue(run.exitCode() != 0, run.describe());
        assertTrue(run.stderr().contains("quill.outputMaxSize=\"10MB\" is not a count"), run.describe());
        assertTrue(run.report().isEmpty(), "the application must not start\n" + run.describe());
        assertEquals(Arrays.asList("kept"), AppRun.lines(log));
    }
}
