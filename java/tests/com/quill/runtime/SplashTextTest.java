// The splash settings that the launcher hands over are kept whole, also without a display.
package com.quill.runtime;

import static org.junit.jupiter.api.Assertions.assertArrayEquals;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertTrue;

import org.junit.jupiter.api.Test;

class SplashTextTest {
    @Test
    void settingsAreKeptHeadless() {
        String headless = System.getProperty("java.awt.headless");
        System.setProperty("java.awt.headless", "true");
        try {
            WinLauncher.initAwtSplashConfig(true, true, "Starting \u00e9", 20, 180, "255,0,0", 12, 700,
                    "Version 2.1", 20, 200, "0,0,0", 9, 400);
        } finally {
            if (headless == null) System.clearProperty("java.awt.headless");
            else System.setProperty("java.awt.headless", headless);
        }
        assertTrue(SplashText.isConfigured() && SplashText.isEnabled() && SplashText.getSecondFlag());
        SplashText.Line status = SplashText.getStatusLine();
        assertEquals("Starting \u00e9", status.getText());
        assertEquals(20, status.getX());
        assertEquals(180, status.getY());
        assertArrayEquals(new int[] {255, 0, 0}, status.getRgb());
        assertEquals(12, status.getFontSize());
        assertTrue(status.isBold());
        SplashText.Line version = SplashText.getVersionLine();
        assertEquals("Version 2.1", version.getText());
        assertEquals(200, version.getY());
        assertEquals(9, version.getFontSize());
        assertEquals(false, version.isBold());
    }
}
