// The table of rotation cases (tests/model/rotation_cases.txt, which the launcher's tests
// read too) through the output file on this machine's JVM, with a clock the test sets; and
// a compression that fails, which leaves the plain file until it succeeds.
package com.quill.runtime;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertTrue;
import static org.junit.jupiter.api.Assertions.fail;

import java.io.ByteArrayOutputStream;
import java.io.IOException;
import java.io.InputStream;
import java.io.OutputStream;
import java.nio.charset.StandardCharsets;
import java.nio.file.DirectoryStream;
import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.Paths;
import java.nio.file.attribute.FileTime;
import java.time.Clock;
import java.time.Instant;
import java.time.LocalDateTime;
import java.time.ZoneId;
import java.time.ZoneOffset;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.List;
import java.util.TreeMap;
import java.util.concurrent.Executor;
import java.util.zip.GZIPInputStream;
import java.util.zip.GZIPOutputStream;

import org.junit.jupiter.api.Test;
import org.junit.jupiter.api.io.TempDir;

class RotationCasesTest {
    static final String OUTPUT = "app.log";
    // The cases' wall-clock times, in a zone of their own: the periods follow the clock's
    // zone, not the machine's.
    static final ZoneId ZONE = ZoneOffset.ofHours(5);
    // Compressions at once, on the writing thread, so that a case sees them done.
    static final Executor AT_ONCE = new Executor() {
        @Override
        public void execute(Runnable task) {
            task.run();
        }
    };

    @TempDir
    Path temp;

    /** A clock the test sets. */
    static final class SetClock extends Clock {
        Instant now = Instant.EPOCH;

        @Override
        public ZoneId getZone() {
            return ZONE;
        }

        @Override
        public Clock withZone(ZoneId zone) {
            throw new UnsupportedOperationException();
        }

        @Override
        public Instant instant() {
            return now;
        }
    }

    static Instant instant(String time) {
        return LocalDateTime.parse(time.length() == 16 ? time + ":00" : time).atZone(ZONE).toInstant();
    }

    static byte[] bytes(long size) {
        byte[] bytes = new byte[(int) size];
        Arrays.fill(bytes, (byte) 'x');
        return bytes;
    }

    static void gzip(Path file, long size) throws IOException {
        try (OutputStream out = new GZIPOutputStream(Files.newOutputStream(file))) {
            out.write(bytes(size));
        }
    }

    static long gunzippedSize(Path file) throws IOException {
        try (InputStream in = new GZIPInputStream(Files.newInputStream(file))) {
            ByteArrayOutputStream out = new ByteArrayOutputStream();
            byte[] buffer = new byte[4096];
            for (int read = in.read(buffer); read >= 0; read = in.read(buffer)) {
                out.write(buffer, 0, read);
            }
            return out.size();
        }
    }

    /** "name=size" for every file of the folder, by name; "gz:size" for a .gz's content. */
    static String listing(Path folder) throws IOException {
        TreeMap<String, String> files = new TreeMap<String, String>();
        try (DirectoryStream<Path> entries = Files.newDirectoryStream(folder)) {
            for (Path entry : entries) {
                String name = entry.getFileName().toString();
                files.put(name, name.endsWith(".gz") ? "gz:" + gunzippedSize(entry) : String.valueOf(Files.size(entry)));
            }
        }
        return describe(files);
    }

    static String describe(TreeMap<String, String> files) {
        StringBuilder text = new StringBuilder();
        for (String name : files.keySet()) {
            text.append(text.length() == 0 ? "" : " ").append(name).append('=').append(files.get(name));
        }
        return text.toString();
    }

    static OutputLimit settings(String line) {
        String maxSize = null, keep = null, roll = null, keepDays = null, compress = null;
        for (String word : line.trim().split(" +")) {
            String[] pair = word.split("=", 2);
            switch (pair[0]) {
                case "roll": roll = pair[1]; break;
                case "max_size": maxSize = pair[1]; break;
                case "keep": keep = pair[1]; break;
                case "keep_days": keepDays = pair[1]; break;
                case "compress": compress = pair[1]; break;
                default: throw new IllegalArgumentException("unknown setting " + word);
            }
        }
        return OutputLimit.parse(maxSize, keep, roll, keepDays, compress);
    }

    @Test
    void tableOfCases() throws Exception {
        Path table = Paths.get(System.getProperty("launcher.rotationCases", "tests/model/rotation_cases.txt"));
        List<String> lines = Files.readAllLines(table, StandardCharsets.UTF_8);
        List<String> failures = new ArrayList<String>();
        String title = null;
        Path folder = null;
        OutputLimit limit = null;
        SetClock clock = new SetClock();
        RotatingFileOutput output = null;
        int cases = 0;
        for (int number = 1; number <= lines.size(); number++) {
            String line = lines.get(number - 1);
            if (line.isEmpty() || line.startsWith("#")) {
                continue;
            }
            String[] words = line.split(" +");
            String where = table.getFileName() + ":" + number + " (" + title + ")";
            switch (words[0]) {
                case "case":
                    if (output != null) {
                        output.close();
                        output = null;
                    }
                    title = line.substring(5);
                    folder = Files.createDirectory(temp.resolve("case" + ++cases));
                    break;
                case "settings":
                    limit = settings(line.substring(9));
                    break;
                case "file": {
                    Path file = folder.resolve(words[1]);
                    long size = Long.parseLong(words[2]);
                    if (words[1].endsWith(".gz")) {
                        gzip(file, size);
                    } else {
                        Files.write(file, bytes(size));
                    }
                    if (words.length > 3) {
                        Files.setLastModifiedTime(file, FileTime.from(instant(words[3])));
                    }
                    break;
                }
                case "open":
                    clock.now = instant(words[1]);
                    output = new RotatingFileOutput(folder.resolve(OUTPUT), true, limit, clock, AT_ONCE);
                    break;
                case "write":
                    clock.now = instant(words[1]);
                    output.write(bytes(Long.parseLong(words[2])));
                    // The system would give the file the time of the write.
                    Files.setLastModifiedTime(folder.resolve(OUTPUT), FileTime.from(clock.now));
                    break;
                case "close":
                    output.close();
                    output = null;
                    break;
                case "expect": {
                    TreeMap<String, String> expected = new TreeMap<String, String>();
                    for (int i = 1; i < words.length; i++) {
                        String[] pair = words[i].split("=", 2);
                        expected.put(pair[0], pair[1]);
                    }
                    String found = listing(folder);
                    if (!found.equals(describe(expected))) {
                        failures.add(where + "\n  expected: " + describe(expected) + "\n  found:    " + found);
                    }
                    break;
                }
                default:
                    fail(where + ": unknown line " + line);
            }
        }
        if (output != null) {
            output.close();
        }
        assertTrue(cases > 10, "the table at " + table + " holds " + cases + " cases");
        assertEquals("", String.join("\n", failures));
    }

    @Test
    void aCompressionThatFailsLeavesThePlainFileAndIsTriedAgain() throws Exception {
        SetClock clock = new SetClock();
        clock.now = instant("2026-03-01T12:00");
        Path log = temp.resolve(OUTPUT);
        final List<Runnable> handedOver = new ArrayList<Runnable>();
        Executor later = new Executor() {
            @Override
            public void execute(Runnable task) {
                handedOver.add(task);
            }
        };
        RotatingFileOutput output = new RotatingFileOutput(log, true,
                OutputLimit.parse("0", "5", "daily", "0", "true"), clock, later);
        output.write(bytes(10));
        clock.now = instant("2026-03-02T12:00");
        output.write(bytes(20));
        assertEquals(1, handedOver.size(), "the roll over hands the rolled file over, and the write goes on");
        assertEquals("app.log=20 app.log.2026-03-01.1=10", listing(temp));
        // A directory with a file in it where the compression writes cannot be written or removed.
        Path blocker = temp.resolve("app.log.2026-03-01.1.gz.partial");
        Files.createDirectory(blocker);
        Files.write(blocker.resolve("held"), new byte[] {1});
        handedOver.remove(0).run();
        assertEquals(10, Files.size(temp.resolve("app.log.2026-03-01.1")), "the plain file stays");
        assertFalse(Files.exists(temp.resolve("app.log.2026-03-01.1.gz")));
        Files.delete(blocker.resolve("held"));
        Files.delete(blocker);
        clock.now = instant("2026-03-03T12:00");
        output.write(bytes(30));
        output.close();
        while (!handedOver.isEmpty()) {
            handedOver.remove(0).run();
        }
        assertEquals("app.log=30 app.log.2026-03-01.1.gz=gz:10 app.log.2026-03-02.1.gz=gz:20", listing(temp));
    }

    @Test
    void aRollOverLeavesTheCompressionUnderWayAlone() throws Exception {
        SetClock clock = new SetClock();
        clock.now = instant("2026-03-01T12:00");
        Path log = temp.resolve(OUTPUT);
        final List<Runnable> handedOver = new ArrayList<Runnable>();
        Executor later = new Executor() {
            @Override
            public void execute(Runnable task) {
                handedOver.add(task);
            }
        };
        RotatingFileOutput output = new RotatingFileOutput(log, true,
                OutputLimit.parse("0", "5", "daily", "0", "true"), clock, later);
        output.write(bytes(10));
        clock.now = instant("2026-03-02T12:00");
        output.write(bytes(20));
        // The compressor has the first rolled file and is writing its partial file when
        // the next roll over comes: that partial file is no leftover to remove.
        Path underWay = temp.resolve("app.log.2026-03-01.1.gz.partial");
        Files.write(underWay, new byte[] {1, 2, 3});
        clock.now = instant("2026-03-03T12:00");
        output.write(bytes(30));
        assertTrue(Files.exists(underWay), "the partial file of the compression under way stays");
        output.close();
        while (!handedOver.isEmpty()) {
            handedOver.remove(0).run();
        }
        assertEquals("app.log=30 app.log.2026-03-01.1.gz=gz:10 app.log.2026-03-02.1.gz=gz:20", listing(temp));
    }

    @Test
    void rollAgeAndCompressionValues() {
        OutputLimit limit = OutputLimit.parse("0", "30", "hourly", "14", "true");
        assertEquals(RollingNames.Roll.HOURLY, limit.roll);
        assertEquals(14, limit.keepDays);
        assertTrue(limit.compress && limit.limited());
        assertFalse(OutputLimit.parse(null, null, "none", "0", "false").limited());
        String[][] refused = {
            // roll, keep days, compress, message
            {"weekly", null, null, "the output roll quill.outputRoll=\"weekly\" is none of \"none\", \"daily\" and \"hourly\""},
            {"daily", "36501", null, "the output limit quill.outputKeepDays=\"36501\" is above 36500"},
            {"daily", "-1", null, "the output limit quill.outputKeepDays=\"-1\" is not a count of digits 0 to 9"},
            {"daily", null, "yes", "the output compression quill.outputCompress=\"yes\" is neither \"true\" nor \"false\""},
            {"none", "7", null, "the output files do not roll by time (quill.outputRoll is \"none\" or absent), which "
                + "quill.outputKeepDays=7 needs"},
            {null, null, "true", "the output files do not roll by time (quill.outputRoll is \"none\" or absent), which "
                + "quill.outputCompress=true needs"},
        };
        for (String[] c : refused) {
            IllegalArgumentException e = org.junit.jupiter.api.Assertions.assertThrows(IllegalArgumentException.class,
                    () -> OutputLimit.parse(null, null, c[0], c[1], c[2]), Arrays.toString(c));
            assertEquals(c[3], e.getMessage());
        }
    }
}
