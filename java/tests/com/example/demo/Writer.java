// Test application for the output files' size limit: writes numbered lines of given sizes
// and reports "done" in the report file named by fixture.report. Properties:
//   fixture.writes   sizes of the lines in bytes, line end included, as "102400x12,1572864"
//                    (x repeats a size)
//   fixture.stream   out, err, or both (alternately, standard output first)
//   fixture.printf   true: each line by printf("%s%n"), not println
//   fixture.unblock  a directory removed, with its files, once fixture.unblockAfter lines
//                    are written
//   fixture.awaitCompressed  a folder: before "done", waits until no plain file of a daily or
//                    hourly roll is left in it (the compressions have ended), for 30 s at most
package com.example.demo;

import java.io.File;
import java.io.PrintStream;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.List;
import java.util.regex.Pattern;

public class Writer {
    public static void main(String[] args) throws Exception {
        List<Integer> sizes = sizes(System.getProperty("fixture.writes", ""));
        String stream = System.getProperty("fixture.stream", "out");
        String unblock = System.getProperty("fixture.unblock");
        int unblockAfter = Integer.getInteger("fixture.unblockAfter", -1);
        boolean printf = Boolean.getBoolean("fixture.printf");
        for (int i = 0; i < sizes.size(); i++) {
            if (i == unblockAfter && unblock != null) {
                removeAll(new File(unblock));
            }
            boolean error = stream.equals("err") || (stream.equals("both") && i % 2 == 1);
            PrintStream target = error ? System.err : System.out;
            if (printf) {
                target.printf("%s%n", line(i, sizes.get(i)));
            } else {
                target.println(line(i, sizes.get(i)));
            }
        }
        String folder = System.getProperty("fixture.awaitCompressed");
        if (folder != null) {
            awaitCompressed(new File(folder));
        }
        Main.report("done");
    }

    private static final Pattern PLAIN_ROLLED = Pattern.compile(".*\\.\\d{4}-\\d{2}-\\d{2}(_\\d{2})?\\.[1-9]\\d*");

    private static void awaitCompressed(File folder) throws InterruptedException {
        long deadline = System.nanoTime() + 30_000_000_000L;
        for (;;) {
            boolean plain = false;
            String[] names = folder.list();
            for (String name : names == null ? new String[0] : names) {
                plain |= PLAIN_ROLLED.matcher(name).matches();
            }
            if (!plain) {
                return;
            }
            if (System.nanoTime() > deadline) {
                throw new IllegalStateException("rolled files in " + folder + " still plain after 30 s");
            }
            Thread.sleep(20);
        }
    }

    /** The sizes that fixture.writes gives. */
    public static List<Integer> sizes(String writes) {
        List<Integer> sizes = new ArrayList<Integer>();
        for (String part : writes.split(",")) {
            if (part.isEmpty()) {
                continue;
            }
            String[] sizeAndCount = part.split("x");
            int count = sizeAndCount.length > 1 ? Integer.parseInt(sizeAndCount[1]) : 1;
            for (int n = 0; n < count; n++) {
                sizes.add(Integer.parseInt(sizeAndCount[0]));
            }
        }
        return sizes;
    }

    /** Line `index` without its line end ("\n" on this platform): size - 1 characters. */
    public static String line(int index, int size) {
        char[] text = new char[size - 1];
        Arrays.fill(text, (char) ('a' + index % 26));
        String number = String.format("%06d ", index);
        number.getChars(0, Math.min(number.length(), text.length), text, 0);
        return new String(text);
    }

    private static void removeAll(File file) {
        File[] children = file.listFiles();
        if (children != null) {
            for (File child : children) {
                removeAll(child);
            }
        }
        if (!file.delete()) {
            throw new IllegalStateException("cannot remove " + file);
        }
    }
}
