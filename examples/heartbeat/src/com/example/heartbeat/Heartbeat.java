package com.example.heartbeat;

import java.io.FileOutputStream;
import java.io.IOException;
import java.io.OutputStreamWriter;
import java.io.PrintWriter;
import java.nio.charset.StandardCharsets;
import java.text.SimpleDateFormat;
import java.util.Date;

/**
 * A service that shows it is alive: it appends one line with the time to a file every
 * second until it is stopped. The file is the first argument (default heartbeat.log in
 * the working directory). When the service is stopped, the runtime library runs the
 * shutdown hooks, and the hook here writes a last line, so the file also shows that the
 * stop reached the application.
 */
public final class Heartbeat {
    private Heartbeat() {
    }

    public static void main(String[] args) throws IOException {
        String file = args.length > 0 ? args[0] : "heartbeat.log";
        final PrintWriter out = new PrintWriter(
                new OutputStreamWriter(new FileOutputStream(file, true), StandardCharsets.UTF_8), true);
        final SimpleDateFormat format = new SimpleDateFormat("yyyy-MM-dd HH:mm:ss");
        final Thread beat = new Thread(() -> {
            long count = 0;
            while (!Thread.currentThread().isInterrupted()) {
                synchronized (out) {
                    out.println(format.format(new Date()) + " heartbeat " + (++count));
                }
                try {
                    Thread.sleep(1000);
                } catch (InterruptedException e) {
                    return;
                }
            }
        }, "heartbeat");
        Runtime.getRuntime().addShutdownHook(new Thread(() -> {
            beat.interrupt();
            synchronized (out) {
                out.println(format.format(new Date()) + " stopped");
                out.close();
            }
        }));
        System.out.println("heartbeat writes to " + file);
        beat.start();
    }
}
