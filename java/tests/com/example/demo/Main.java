// Test application started through the launcher runtime class. It writes what it was given
// into the report file named by fixture.report (its arguments, the launcher's environment and
// every system property whose name begins with "contract.") and then behaves as
// fixture.mode asks:
//   report   writes "out-line" to standard output and "err-line" to standard error, returns
//   service  also registers a stop listener and a shutdown hook, keeps a non-daemon thread
//   exit     ends with System.exit(fixture.exitCode)
//   throw    throws an IllegalStateException "fixture failure"
//   throw-with-hook  registers a shutdown hook and starts a non-daemon thread that never
//            ends, then throws as "throw" does
//   interrupted  prints a line to standard output with its interrupt status set, reports
//            whether the status is still set, then prints a line after it
package com.example.demo;

import com.quill.runtime.LauncherEnvironment;
import com.quill.runtime.StopListener;

import java.io.FileOutputStream;
import java.io.IOException;
import java.io.OutputStream;
import java.nio.charset.StandardCharsets;
import java.util.TreeSet;

class Main {
    public static void main(String[] args) throws Exception {
        for (String arg : args) {
            report("arg " + arg);
        }
        report("service " + LauncherEnvironment.isService());
        report("serviceName " + LauncherEnvironment.getServiceName());
        report("launcher " + LauncherEnvironment.getLauncherPath());
        report("tempDir " + LauncherEnvironment.getTempDir());
        report("semaphore " + LauncherEnvironment.getSemaphoreName());
        report("graphical " + LauncherEnvironment.isGraphical());
        report("deploykit " + LauncherEnvironment.isDeploykit());
        for (String name : new TreeSet<String>(System.getProperties().stringPropertyNames())) {
            if (name.startsWith("contract.")) {
                report("property " + name + "=" + System.getProperty(name));
            }
        }
        System.out.println("out-line");
        System.err.println("err-line");
        String mode = System.getProperty("fixture.mode", "report");
        if (mode.equals("exit")) {
            System.exit(Integer.getInteger("fixture.exitCode", 0));
        } else if (mode.equals("throw")) {
            throw new IllegalStateException("fixture failure");
        } else if (mode.equals("throw-with-hook")) {
            Runtime.getRuntime().addShutdownHook(new Thread() {
                @Override
                public void run() {
                    report("shutdown hook");
                }
            });
            Thread forever = new Thread() {
                @Override
                public void run() {
                    try {
                        Thread.sleep(Long.MAX_VALUE);
                    } catch (InterruptedException e) {
                        // ends the thread
                    }
                }
            };
            forever.start();
            throw new IllegalStateException("fixture failure");
        } else if (mode.equals("interrupted")) {
            Thread.currentThread().interrupt();
            System.out.println("written while interrupted");
            report("still interrupted " + Thread.interrupted());
            System.out.println("written after");
        } else if (mode.equals("service")) {
            LauncherEnvironment.addStopListener(new StopListener() {
                @Override
                public void stopRequested() {
                    report("stop listener");
                }
            });
            Runtime.getRuntime().addShutdownHook(new Thread() {
                @Override
                public void run() {
                    report("shutdown hook");
                }
            });
            Thread worker = new Thread() {
                @Override
                public void run() {
                    try {
                        Thread.sleep(Long.MAX_VALUE);
                    } catch (InterruptedException e) {
                        // ends the thread
                    }
                }
            };
            worker.start();
            report("started");
        }
    }

    static synchronized void report(String line) {
        String name = System.getProperty("fixture.report");
        if (name == null) {
            return;
        }
        try (OutputStream out = new FileOutputStream(name, true)) {
            out.write((line + "\n").getBytes(StandardCharsets.UTF_8));
        } catch (IOException e) {
            throw new RuntimeException(e);
        }
    }
}
