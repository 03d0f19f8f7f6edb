// The size limit of the output files, as the launcher passes it in two system properties.
package com.quill.runtime;

/**
 * A launcher whose configuration has no limit passes neither property, and the files grow
 * as they always have. A value that is no count ends the start, naming it, rather than
 * let the files grow when a limit was asked for.
 */
final class OutputLimit {
    static final String MAX_SIZE_PROPERTY = "quill.outputMaxSize";
    static final String KEEP_PROPERTY = "quill.outputKeep";
    /** Older files kept when the launcher gives a size but no count (the packager's default). */
    static final int DEFAULT_KEEP = 5;
    /** The most older files kept; each rotation looks at each of them. */
    static final int MAX_KEEP = 1000;

    static final OutputLimit NONE = new OutputLimit(0, DEFAULT_KEEP);

    /** Bytes a file may hold; 0 for no limit. */
    final long maxSize;
    /** How many older files are kept beside the current one. */
    final int keep;

    OutputLimit(long maxSize, int keep) {
        this.maxSize = maxSize;
        this.keep = keep;
    }

    boolean limited() {
        return maxSize > 0;
    }

    static OutputLimit fromSystemProperties() {
        return parse(System.getProperty(MAX_SIZE_PROPERTY), System.getProperty(KEEP_PROPERTY));
    }

    /**
     * @param maxSize a byte count in decimal digits, or null or "" for no limit
     * @param keep a count from 0 to {@link #MAX_KEEP}, or null for the default
     * @throws IllegalArgumentException for any other text, naming the property and its value
     */
    static OutputLimit parse(String maxSize, String keep) {
        long size = maxSize == null || maxSize.isEmpty() ? 0 : count(MAX_SIZE_PROPERTY, maxSize, Long.MAX_VALUE);
        int kept = keep == null ? DEFAULT_KEEP : (int) count(KEEP_PROPERTY, keep, MAX_KEEP);
        return new OutputLimit(size, kept);
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
