// The names of an output file's rolled files and what is kept of them, when the files roll
// over by day or by hour. The launcher's service process follows the same rules for the
// output it captures; one table of cases runs through both.
package com.quill.runtime;

import java.time.LocalDate;
import java.time.LocalDateTime;
import java.util.ArrayList;
import java.util.Collections;
import java.util.Comparator;
import java.util.LinkedHashMap;
import java.util.List;
import java.util.Map;

/**
 * For an output file {@code <name>}, a rolled file is {@code <name>.<YYYY-MM-DD>.<n>}
 * ({@code <name>.<YYYY-MM-DD_HH>.<n>} hourly): the period it was written in, and n = 1, 2,
 * ... for the files rolled within that period, the next above every number that period
 * has. Sorted by period and then number, the names are in the order written. Its compressed
 * form is {@code <rolled name>.gz}; a compression writes {@code <rolled name>.gz.partial}
 * first. Only names of exactly these forms, with digits where digits are and a real date,
 * are this output's own: nothing else in the folder is counted, renamed or removed.
 */
final class RollingNames {
    static final String COMPRESSED = ".gz";
    static final String PARTIAL = ".gz.partial";

    enum Roll {
        NONE("none"), DAILY("daily"), HOURLY("hourly");

        final String text;

        Roll(String text) {
            this.text = text;
        }

        /** The roll of a text; null for any other than "none", "daily" and "hourly". */
        static Roll of(String text) {
            for (Roll roll : values()) {
                if (roll.text.equals(text)) {
                    return roll;
                }
            }
            return null;
        }
    }

    /** A rolled file of this output: its plain name, its period's order and its number. */
    static final class Rolled {
        final String plain;
        final String period;
        final long day;
        final int hour;
        final long number;
        boolean plainThere;
        boolean compressedThere;
        boolean partialThere;

        Rolled(String plain, String period, long day, int hour, long number) {
            this.plain = plain;
            this.period = period;
            this.day = day;
            this.hour = hour;
            this.number = number;
        }
    }

    /** What a retention does: names to remove, then plain names to compress. */
    static final class Retention {
        final List<String> removals = new ArrayList<String>();
        final List<String> compressions = new ArrayList<String>();
    }

    private static final Comparator<Rolled> NEWER_FIRST = new Comparator<Rolled>() {
        @Override
        public int compare(Rolled a, Rolled b) {
            if (a.day != b.day) {
                return a.day > b.day ? -1 : 1;
            }
            if (a.hour != b.hour) {
                return a.hour > b.hour ? -1 : 1;
            }
            return a.number == b.number ? 0 : a.number > b.number ? -1 : 1;
        }
    };

    private RollingNames() {
    }

    /** "2026-03-01" (daily), "2026-03-01_23" (hourly), null (none). */
    static String period(Roll roll, LocalDateTime time) {
        if (roll == Roll.DAILY) {
            return String.format("%04d-%02d-%02d", time.getYear(), time.getMonthValue(), time.getDayOfMonth());
        }
        if (roll == Roll.HOURLY) {
            return String.format("%04d-%02d-%02d_%02d", time.getYear(), time.getMonthValue(), time.getDayOfMonth(),
                    time.getHour());
        }
        return null;
    }

    static String rolledName(String base, String period, long number) {
        return base + "." + period + "." + number;
    }

    /** The rolled file of `base` that `name` is, with its form set; null for any other name. */
    static Rolled parse(String base, String name) {
        if (base.isEmpty() || name.length() <= base.length() + 1 || !name.startsWith(base)
                || name.charAt(base.length()) != '.') {
            return null;
        }
        String rest = name.substring(base.length() + 1);
        int form = 0;
        if (rest.endsWith(PARTIAL)) {
            form = 2;
            rest = rest.substring(0, rest.length() - PARTIAL.length());
        } else if (rest.endsWith(COMPRESSED)) {
            form = 1;
            rest = rest.substring(0, rest.length() - COMPRESSED.length());
        }
        int dot = rest.indexOf('.');
        if (dot < 0) {
            return null;
        }
        String period = rest.substring(0, dot);
        long number = positiveNumber(rest.substring(dot + 1));
        if (number == 0 || (period.length() != 10 && period.length() != 13)) {
            return null;
        }
        int year = digits(period, 0, 4);
        int month = digits(period, 5, 2);
        int day = digits(period, 8, 2);
        int hour = -1;
        if (year < 1 || period.charAt(4) != '-' || month < 1 || month > 12 || period.charAt(7) != '-' || day < 1) {
            return null;
        }
        if (period.length() == 13) {
            hour = digits(period, 11, 2);
            if (period.charAt(10) != '_' || hour < 0 || hour > 23) {
                return null;
            }
        }
        LocalDate date;
        try {
            date = LocalDate.of(year, month, day);
        } catch (RuntimeException e) {
            return null;  // no such day
        }
        Rolled rolled = new Rolled(rolledName(base, period, number), period, date.toEpochDay(), hour, number);
        rolled.plainThere = form == 0;
        rolled.compressedThere = form == 1;
        rolled.partialThere = form == 2;
        return rolled;
    }

    // `count` digits from `at`; -1 when any is no digit.
    private static int digits(String text, int at, int count) {
        int value = 0;
        for (int i = at; i < at + count; i++) {
            char c = text.charAt(i);
            if (c < '0' || c > '9') {
                return -1;
            }
            value = value * 10 + (c - '0');
        }
        return value;
    }

    // Decimal digits without a leading zero, 1 to 10^15; 0 for anything else.
    private static long positiveNumber(String text) {
        if (text.isEmpty() || text.length() > 15 || text.charAt(0) == '0') {
            return 0;
        }
        long value = 0;
        for (int i = 0; i < text.length(); i++) {
            char c = text.charAt(i);
            if (c < '0' || c > '9') {
                return 0;
            }
            value = value * 10 + (c - '0');
        }
        return value;
    }

    /** This output's rolled files among `names`, a file and its compressed forms as one, newest first. */
    static List<Rolled> rolledFiles(String base, List<String> names) {
        Map<String, Rolled> byPlain = new LinkedHashMap<String, Rolled>();
        for (String name : names) {
            Rolled rolled = parse(base, name);
            if (rolled == null) {
                continue;
            }
            Rolled known = byPlain.get(rolled.plain);
            if (known == null) {
                byPlain.put(rolled.plain, rolled);
            } else {
                known.plainThere |= rolled.plainThere;
                known.compressedThere |= rolled.compressedThere;
                known.partialThere |= rolled.partialThere;
            }
        }
        List<Rolled> files = new ArrayList<Rolled>(byPlain.values());
        Collections.sort(files, NEWER_FIRST);
        return files;
    }

    /** The name a roll over of the file written in `period` gives: the period's next number. */
    static String rollOverName(String base, List<String> names, String period) {
        long highest = 0;
        for (String name : names) {
            Rolled rolled = parse(base, name);
            if (rolled != null && rolled.period.equals(period)) {
                highest = Math.max(highest, rolled.number);
            }
        }
        return rolledName(base, period, highest + 1);
    }

    /**
     * The rolled files beyond the `keep` newest, and those whose date is more than `keepDays`
     * (0: no limit) days before today's, to remove in every form; with `compress`, the plain
     * ones that stay to compress, after the removal of a partial compression left beside one.
     */
    static Retention retention(String base, List<String> names, int keep, int keepDays, boolean compress,
            LocalDate today) {
        Retention retention = new Retention();
        long oldestDay = today.toEpochDay() - keepDays;
        List<Rolled> files = rolledFiles(base, names);
        for (int i = 0; i < files.size(); i++) {
            Rolled file = files.get(i);
            boolean tooOld = keepDays != 0 && file.day < oldestDay;
            if (i >= keep || tooOld) {
                if (file.partialThere) {
                    retention.removals.add(file.plain + PARTIAL);
                }
                if (file.compressedThere) {
                    retention.removals.add(file.plain + COMPRESSED);
                }
                if (file.plainThere) {
                    retention.removals.add(file.plain);
                }
            } else if (compress && file.plainThere) {
                if (file.partialThere) {
                    retention.removals.add(file.plain + PARTIAL);
                }
                retention.compressions.add(file.plain);
            }
        }
        return retention;
    }
}
