// The service child's standard input: the service process writes one line with a decimal
// code when the service stops, then closes the pipe.
package com.quill.runtime;

import java.io.BufferedReader;
import java.io.IOException;
import java.io.InputStream;
import java.io.InputStreamReader;
import java.nio.charset.Charset;

/**
 * Reads standard input on a daemon thread, so that the reader never keeps the VM alive.
 * A line holding a decimal code, or the end of the input, ends the application cleanly:
 * stop listeners, then shutdown hooks, then exit code 0. Other lines are ignored.
 */
final class ServiceStopReader implements Runnable {
    private final InputStream input;

    private ServiceStopReader(InputStream input) {
        this.input = input;
    }

    static void start(InputStream input) {
        Thread thread = new Thread(new ServiceStopReader(input), "service stop reader");
        thread.setDaemon(true);
        thread.start();
    }

    static boolean isStopLine(String line) {
        String text = line.trim();
        if (text.isEmpty() || text.length() > 9) {
            return false;
        }
        for (int i = 0; i < text.length(); i++) {
            if (text.charAt(i) < '0' || text.charAt(i) > '9') {
                return false;
            }
        }
        return true;
    }

    @Override
    public void run() {
        try {
            BufferedReader reader = new BufferedReader(new InputStreamReader(input, Charset.forName("US-ASCII")));
            String line;
            while ((line = reader.readLine()) != null) {
                if (isStopLine(line)) {
                    break;
                }
            }
        } catch (IOException e) {
            // A broken pipe means the service process is gone: nobody is left to supervise
            // the application, so it ends as on the end of input.
        }
        LauncherEnvironment.runStopListeners();
        System.exit(0);
    }
}
