// The service child's signals to the service process that supervises it: that the VM is
// alive, at a steady interval, and the thread dumps it asks for. The launcher offers both
// through native methods it registers on this class when the service process gave it the
// means; an older launcher registers none, and nothing is signalled.
package com.quill.runtime;

import java.io.PrintStream;

/**
 * Two daemon threads of the runtime library's own, which take no lock of the
 * application's: one signals "alive" every second for as long as the VM runs Java code,
 * the other waits for a dump request, writes the dump to standard error (the redirected
 * error file, or the output the service process captures) and says it is done.
 */
final class ServiceSignals {
    /** How often the VM says it is alive; the service process waits 10 seconds at least. */
    static final long ALIVE_INTERVAL_MS = 1000;

    // What the launcher offers (its channels() answer).
    static final int ALIVE = 1;
    static final int DUMPS = 2;

    /** The other end: the launcher's natives, or a test's own. */
    interface Channel {
        void alive();

        /** Waits for the next request; false when none will come. */
        boolean awaitDumpRequest();

        void dumpTaken();
    }

    private ServiceSignals() {
    }

    private static native int channels();

    private static native void signalAlive();

    private static native boolean awaitDumpRequestNative();

    private static native void dumpTakenNative();

    private static final Channel LAUNCHER = new Channel() {
        @Override
        public void alive() {
            signalAlive();
        }

        @Override
        public boolean awaitDumpRequest() {
            return awaitDumpRequestNative();
        }

        @Override
        public void dumpTaken() {
            dumpTakenNative();
        }
    };

    /** Starts what the launcher offers; nothing with a launcher that registered no natives. */
    static void start() {
        int offered;
        try {
            offered = channels();
        } catch (UnsatisfiedLinkError e) {
            return;
        }
        start(LAUNCHER, offered, ALIVE_INTERVAL_MS, null);
    }

    /** `dumpStream` null: standard error as it is at the time of each dump. */
    static void start(Channel channel, int offered, long intervalMs, PrintStream dumpStream) {
        if ((offered & ALIVE) != 0) {
            startDaemon(new AliveSignal(channel, intervalMs), "service alive signal", Thread.MAX_PRIORITY);
        }
        if ((offered & DUMPS) != 0) {
            startDaemon(new DumpServer(channel, dumpStream), "service thread dumps", Thread.NORM_PRIORITY);
        }
    }

    private static void startDaemon(Runnable work, String name, int priority) {
        Thread thread = new Thread(work, name);
        thread.setDaemon(true);
        thread.setPriority(priority);
        thread.start();
    }

    // The first signal at once: the service process watches a child only from its first
    // signal on, so a VM that never signals is never taken for a frozen one.
    private static final class AliveSignal implements Runnable {
        private final Channel channel;
        private final long intervalMs;

        AliveSignal(Channel channel, long intervalMs) {
            this.channel = channel;
            this.intervalMs = intervalMs;
        }

        @Override
        public void run() {
            while (true) {
                channel.alive();
                try {
                    Thread.sleep(intervalMs);
                } catch (InterruptedException e) {
                    // Nobody interrupts this thread on purpose; the signal goes on.
                }
            }
        }
    }

    private static final class DumpServer implements Runnable {
        private final Channel channel;
        private final PrintStream stream;

        DumpServer(Channel channel, PrintStream stream) {
            this.channel = channel;
            this.stream = stream;
        }

        @Override
        public void run() {
            while (channel.awaitDumpRequest()) {
                PrintStream out = stream != null ? stream : System.err;
                try {
                    ThreadDump.write(out);
                } catch (RuntimeException | Error e) {
                    // A dump that fails must not end the thread that answers the next one.
                    out.println("The thread dump failed: " + e);
                    out.flush();
                }
                channel.dumpTaken();
            }
        }
    }
}
