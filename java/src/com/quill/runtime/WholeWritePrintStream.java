// A print stream that hands each print and println to its file as one write.
package com.quill.runtime;

import java.io.OutputStream;
import java.io.PrintStream;
import java.nio.charset.Charset;
import java.util.Locale;

/**
 * A plain print stream passes a line on in pieces (the text in blocks of a few kilobytes,
 * then the line separator; a format each of its parts), and a rotating file would begin a new file between them. This
 * one encodes the whole text of a call first, so that a line, and every line of a stack
 * trace, stays in one file. It writes through at every call, as the plain one does with
 * automatic flushing, in the same charset.
 */
final class WholeWritePrintStream extends PrintStream {
    private static final String LINE_SEPARATOR = System.getProperty("line.separator", "\n");
    private final Charset charset = Charset.defaultCharset();

    WholeWritePrintStream(OutputStream out) {
        super(out, true);
    }

    private void writeWhole(String text) {
        byte[] bytes = text.getBytes(charset);
        write(bytes, 0, bytes.length);
    }

    private void writeLine(String text) {
        writeWhole(text + LINE_SEPARATOR);
    }

    @Override
    public void print(boolean b) {
        writeWhole(String.valueOf(b));
    }

    @Override
    public void print(char c) {
        writeWhole(String.valueOf(c));
    }

    @Override
    public void print(int i) {
        writeWhole(String.valueOf(i));
    }

    @Override
    public void print(long l) {
        writeWhole(String.valueOf(l));
    }

    @Override
    public void print(float f) {
        writeWhole(String.valueOf(f));
    }

    @Override
    public void print(double d) {
        writeWhole(String.valueOf(d));
    }

    @Override
    public void print(char[] s) {
        writeWhole(new String(s));
    }

    @Override
    public void print(String s) {
        writeWhole(String.valueOf(s));
    }

    @Override
    public void print(Object obj) {
        writeWhole(String.valueOf(obj));
    }

    // A plain print stream formats straight into itself, piece by piece.
    @Override
    public PrintStream format(String format, Object... args) {
        writeWhole(String.format(Locale.getDefault(Locale.Category.FORMAT), format, args));
        return this;
    }

    @Override
    public PrintStream format(Locale l, String format, Object... args) {
        writeWhole(String.format(l, format, args));
        return this;
    }

    @Override
    public void println() {
        writeWhole(LINE_SEPARATOR);
    }

    @Override
    public void println(boolean x) {
        writeLine(String.valueOf(x));
    }

    @Override
    public void println(char x) {
        writeLine(String.valueOf(x));
    }

    @Override
    public void println(int x) {
        writeLine(String.valueOf(x));
    }

    @Override
    public void println(long x) {
        writeLine(String.valueOf(x));
    }

    @Override
    public void println(float x) {
        writeLine(String.valueOf(x));
    }

    @Override
    public void println(double x) {
        writeLine(String.valueOf(x));
    }

    @Override
    public void println(char[] x) {
        writeLine(new String(x));
    }

    @Override
    public void println(String x) {
        writeLine(String.valueOf(x));
    }

    @Override
    public void println(Object x) {
        writeLine(String.valueOf(x));
    }
}
