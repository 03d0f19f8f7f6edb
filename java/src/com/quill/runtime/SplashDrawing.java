// Drawing on the splash screen; a class of its own so that AWT is loaded only when used.
package com.quill.runtime;

import java.awt.Color;
import java.awt.Font;
import java.awt.Graphics2D;
import java.awt.RenderingHints;
import java.awt.SplashScreen;

final class SplashDrawing {
    private SplashDrawing() {
    }

    static void draw(SplashText.Line status, SplashText.Line version) {
        SplashScreen splash = SplashScreen.getSplashScreen();
        if (splash == null || !splash.isVisible()) {
            return;
        }
        Graphics2D g = splash.createGraphics();
        try {
            g.setRenderingHint(RenderingHints.KEY_TEXT_ANTIALIASING, RenderingHints.VALUE_TEXT_ANTIALIAS_ON);
            drawLine(g, status);
            drawLine(g, version);
        } finally {
            g.dispose();
        }
        splash.update();
    }

    private static void drawLine(Graphics2D g, SplashText.Line line) {
        if (line.getText().isEmpty()) {
            return;
        }
        int[] rgb = line.getRgb();
        g.setColor(new Color(rgb[0], rgb[1], rgb[2]));
        int size = line.getFontSize() > 0 ? line.getFontSize() : 12;
        g.setFont(new Font(Font.SANS_SERIF, line.isBold() ? Font.BOLD : Font.PLAIN, size));
        g.drawString(line.getText(), line.getX(), line.getY());
    }
}
