// The splash-screen texts that the launcher hands over: kept always, drawn when a splash
// screen shows.
package com.quill.runtime;

/** The status line and the version line of the splash screen, as the launcher configured them. */
public final class SplashText {
    /** One line of text with its place and look. */
    public static final class Line {
        private final String text;
        private final int x;
        private final int y;
        private final String colour;
        private final int fontSize;
        private final int fontWeight;

        Line(String text, int x, int y, String colour, int fontSize, int fontWeight) {
            this.text = text == null ? "" : text;
            this.x = x;
            this.y = y;
            this.colour = colour == null ? "" : colour;
            this.fontSize = fontSize;
            this.fontWeight = fontWeight;
        }

        public String getText() {
            return text;
        }

        public int getX() {
            return x;
        }

        public int getY() {
            return y;
        }

        /** The colour as configured, "r,g,b". */
        public String getColour() {
            return colour;
        }

        /** The colour as red, green and blue from 0 to 255; black for a text that is none. */
        public int[] getRgb() {
            return parseRgb(colour);
        }

        public int getFontSize() {
            return fontSize;
        }

        public int getFontWeight() {
            return fontWeight;
        }

        /** Weights as Windows counts them: 600 (semi-bold) and above draw bold. */
        public boolean isBold() {
            return fontWeight >= 600;
        }
    }

    private static volatile Settings settings;

    private static final class Settings {
        final boolean enabled;
        final boolean secondFlag;
        final Line status;
        final Line version;

        Settings(boolean enabled, boolean secondFlag, Line status, Line version) {
            this.enabled = enabled;
            this.secondFlag = secondFlag;
            this.status = status;
            this.version = version;
        }
    }

    private SplashText() {
    }

    /** True once the launcher has handed the settings over. */
    public static boolean isConfigured() {
        return settings != null;
    }

    /** The status line; null when the launcher handed no settings over. */
    public static Line getStatusLine() {
        Settings s = settings;
        return s == null ? null : s.status;
    }

    /** The version line; null when the launcher handed no settings over. */
    public static Line getVersionLine() {
        Settings s = settings;
        return s == null ? null : s.version;
    }

    /** The first flag of the hand-off: drawing of the texts is on. */
    public static boolean isEnabled() {
        Settings s = settings;
        return s != null && s.enabled;
    }

    /** The second flag of the hand-off, kept as the launcher passed it; it draws nothing. */
    public static boolean getSecondFlag() {
        Settings s = settings;
        return s != null && s.secondFlag;
    }

    static void keep(boolean enabled, boolean secondFlag, Line status, Line version) {
        settings = new Settings(enabled, secondFlag, status, version);
    }

    // Any failure to draw leaves the application's start alone: the texts are decoration.
    // AWT is touched only when a display may exist, so a headless service never loads it.
    static void drawIfShowing() {
        Settings s = settings;
        if (s == null || !s.enabled || Boolean.parseBoolean(System.getProperty("java.awt.headless"))) {
            return;
        }
        try {
            SplashDrawing.draw(s.status, s.version);
        } catch (RuntimeException e) {
            // no splash screen, or no display
        } catch (LinkageError e) {
            // a runtime without the desktop classes
        }
    }

    /** "r,g,b" with each part from 0 to 255 (blanks allowed); anything else is black. */
    static int[] parseRgb(String colour) {
        String[] parts = colour == null ? new String[0] : colour.split(",", -1);
        if (parts.length != 3) {
            return new int[] {0, 0, 0};
        }
        int[] rgb = new int[3];
        for (int i = 0; i < 3; i++) {
            try {
                rgb[i] = Integer.parseInt(parts[i].trim());
            } catch (NumberFormatException e) {
                return new int[] {0, 0, 0};
            }
            if (rgb[i] < 0 || rgb[i] > 255) {
                return new int[] {0, 0, 0};
            }
        }
        return rgb;
    }
}
