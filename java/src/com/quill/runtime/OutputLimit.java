// The size limit, roll by time, age limit and compression of the output files, as the
// launcher passes them in system properties.
package com.quill.runtime;

/**
 * A launcher whose configuration has no limit passes neither property, and the files grow
 * as they always have. A value that is no count ends the start, naming it, rather than
 * let the files grow when a limit was asked for.
 */
final class OutputLimit {
    static final String MAX_SIZE_PROPERTY = "quill.outputMaxSize";
    static final String KEEP_PROPERTY = "quill.outputKeep";
    static final String ROLL_PROPERTY = "quill.outputRoll";
    static final String KEEP_DAYS_PROPERTY = "quill.outputKeepDays";
    static final String COMPRESS_PROPERTY = "quill.outputCompress";
    /** The most days keep_days takes. */
    static final int MAX_KEEP_DAYS = 36500;
    /** Older files kept when the launcher gives a size but no count (the packager's default). */
    static final int DEFAULT_KEEP = 5;
    /** The most older files kept; each rotation looks at each of them. */
    static final int MAX_KEEP = 1000;

    static final OutputLimit NONE = new OutputLimit(0, DEFAULT_KEEP);

    /** Bytes a file may hold; 0 for no limit. */
    final long maxSize;
    /** How many older files are kept beside the current one. */
    final int keep;

    /** The roll by time; NONE numbers the files that the size limit rolls. */
    final RollingNames.Roll roll;
    /** Rolled files dated more than this many days before today go; 0 for no age limit. */
    final int keepDays;
    /** Rolled files are compressed in the background. */
    final boolean compress;

    OutputLimit(long maxSize, int keep) {
        this(maxSize, keep, RollingNames.Roll.NONE, 0, false);
    }

    OutputLimit(long maxSize, int keep, RollingNames.Roll roll, int keepDays, boolean compress) {
        this.maxSize = maxSize;
        this.keep = keep;
        this.roll = roll;
        this.keepDays = keepDays;
        this.compress = compress;
    }

    /** The files roll over at all: by size or by time. */
    boolean limited() {
        return maxSize > 0 || roll != RollingNames.Roll.NONE;
    }

    static OutputLimit fromSystemProperties() {
        return parse(System.getProperty(MAX_SIZE_PROPERTY), System.getProperty(KEEP_PROPERTY),
                System.getProperty(ROLL_PROPERTY), System.getProperty(KEEP_DAYS_PROPERTY),
                System.getProperty(COMPRESS_PROPERTY));
    }

    static OutputLimit parse(String maxSize, String keep) {
        return parse(maxSize, keep, null, null, null);
    }

    /**
     * @param maxSize a byte count in decimal digits, or null or "" for no limit
     * @param keep a count from 0 to {@link #MAX_KEEP}, or null for the default
     * @param roll "none", "daily" or "hourly", or null for none
     * @param keepDays a count from 0 to {@link #MAX_KEEP_DAYS}, or null for 0
     * @param compress "true" or "false", or null for false
     * @throws IllegalArgumentException for any other text, naming the property and its value,
     *         and for an age limit or compression without a roll by time
     */
    static OutputLimit parse(String maxSize, String keep, String roll, String keepDays, String compress) {
        long size = maxSize == null || maxSize.isEmpty() ? 0 : count(MAX_SIZE_PROPERTY, maxSize, Long.MAX_VALUE);
        int kept = keep == null ? DEFAULT_KEEP : (int) count(KEEP_PROPERTY, keep, MAX_KEEP);
        RollingNames.Roll rolling = roll == null ? RollingNames.Roll.NONE : RollingNames.Roll.of(roll);
        if (rolling == null) {
            throw new IllegalArgumentException("the output roll " + ROLL_PROPERTY + "=\"" + roll
                    + "\" is none of \"none\", \"daily\" and \"hourly\"");
        }
        int days = keepDays == null ? 0 : (int) count(KEEP_DAYS_PROPERTY, keepDays, MAX_KEEP_DAYS);
        if (compress != null && !compress.equals("true") && !compress.equals("false")) {
            throw new IllegalArgumentException("the output compression " + COMPRESS_PROPERTY + "=\"" + compress
                    + "\" is neither \"true\" nor \"false\"");
        }
        boolean compressed = "true".equals(compress);
        // A numbered name carries no date, and its number changes at every rotation, under a
        // compression that may still be reading it: these ask for what no roll gives.
        if (rolling == RollingNames.Roll.NONE && (days != 0 || compressed)) {
            throw new IllegalArgumentException("the output files do not roll by time (" + ROLL_PROPERTY + " is \"none\" "
                    + "or absent), which " + (days != 0 ? KEEP_DAYS_PROPERTY + "=" + days : COMPRESS_PROPERTY + "=true")
                    + " needs");
        }
        return new OutputLimit(size, kept, rolling, days, compressed);
    }

    // Decimal digits only: Long.parseLong would also take a sign.
    private static long count(String property, String text, long maximum) {
        long value = 0;
        for (int i = 0; i < text.length(); i++) {
            char c = text.charAt(i);
            if (c < '0' || c > '9') {
                throw new IllegalArgumentException("the output limit " + property + "=\"" + text
                        + "\" is not a count of digits 0 to 9");
            }
            if (value > (maximum - (c - '0')) / 10) {
                throw new IllegalArgumentException("the output limit " + property + "=\"" + text
                        + "\" is above " + maximum);
            }
            value = value * 10 + (c - '0');
        }
        if (text.isEmpty()) {
            throw new IllegalArgumentException("the output limit " + property + " is empty");
        }
        return value;
    }
}
