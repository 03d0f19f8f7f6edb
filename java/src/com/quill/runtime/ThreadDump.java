// A dump of every thread of the VM, as text: what an operator reads to see what a running
// service is doing or where it is stuck.
package com.quill.runtime;

import java.io.PrintStream;
import java.lang.management.LockInfo;
import java.lang.management.ManagementFactory;
import java.lang.management.MonitorInfo;
import java.lang.management.ThreadInfo;
import java.lang.management.ThreadMXBean;
import java.text.SimpleDateFormat;
import java.util.Date;
import java.util.Locale;
import java.util.TimeZone;

/**
 * Each thread with its name, identifier, state, the lock it waits for and the thread that
 * holds it, its whole stack with the monitors each frame holds, and the synchronizers it
 * holds; then one line naming the deadlocked threads, if any. The text is built whole
 * before it is written, so that it goes out in one piece beside the application's output.
 */
final class ThreadDump {
    static final String FIRST_LINE = "Thread dump of the service's VM";
    static final String DEADLOCK_LINE = "Deadlocked threads: ";
    static final String NO_DEADLOCK_LINE = "No deadlocked threads.";

    private ThreadDump() {
    }

    static String text(ThreadMXBean threads) {
        boolean monitors = threads.isObjectMonitorUsageSupported();
        boolean synchronizers = threads.isSynchronizerUsageSupported();
        ThreadInfo[] infos = threads.dumpAllThreads(monitors, synchronizers);
        String newLine = System.getProperty("line.separator");
        StringBuilder out = new StringBuilder();
        SimpleDateFormat time = new SimpleDateFormat("yyyy-MM-dd HH:mm:ss'Z'", Locale.ROOT);
        time.setTimeZone(TimeZone.getTimeZone("UTC"));
        out.append(FIRST_LINE).append(", ").append(time.format(new Date())).append(", ")
                .append(infos.length).append(" threads").append(newLine);
        for (ThreadInfo info : infos) {
            if (info != null) {
                appendThread(out, info, newLine);
            }
        }
        long[] deadlocked = synchronizers ? threads.findDeadlockedThreads() : threads.findMonitorDeadlockedThreads();
        if (deadlocked == null || deadlocked.length == 0) {
            out.append(NO_DEADLOCK_LINE).append(newLine);
        } else {
            out.append(DEADLOCK_LINE);
            ThreadInfo[] named = threads.getThreadInfo(deadlocked);
            for (int i = 0; i < named.length; i++) {
                out.append(i == 0 ? "" : ", ").append(named[i] != null ? threadName(named[i]) : "#" + deadlocked[i]);
            }
            out.append(newLine);
        }
        return out.toString();
    }

    /** Writes the dump of this VM's threads to `stream` in one write. */
    static void write(PrintStream stream) {
        String text = text(ManagementFactory.getThreadMXBean());
        stream.print(text);
        stream.flush();
    }

    private static String threadName(ThreadInfo info) {
        return "\"" + info.getThreadName() + "\" #" + info.getThreadId();
    }

    private static void appendThread(StringBuilder out, ThreadInfo info, String newLine) {
        out.append(newLine).append(threadName(info)).append(' ').append(info.getThreadState());
        if (info.isSuspended()) {
            out.append(" (suspended)");
        }
        if (info.isInNative()) {
            out.append(" (in native code)");
        }
        out.append(newLine);
        LockInfo awaited = info.getLockInfo();
        if (awaited != null) {
            out.append("   waiting for ").append(awaited);
            if (info.getLockOwnerName() != null) {
                out.append(" held by \"").append(info.getLockOwnerName()).append("\" #").append(info.getLockOwnerId());
            }
            out.append(newLine);
        }
        StackTraceElement[] stack = info.getStackTrace();
        MonitorInfo[] held = info.getLockedMonitors();
        for (int depth = 0; depth < stack.length; depth++) {
            out.append("\tat ").append(stack[depth]).append(newLine);
            for (MonitorInfo monitor : held) {
                if (monitor.getLockedStackDepth() == depth) {
                    out.append("\t- locked ").append(monitor).append(newLine);
                }
            }
        }
        LockInfo[] synchronizers = info.getLockedSynchronizers();
        if (synchronizers.length > 0) {
            out.append("   holds");
            for (int i = 0; i < synchronizers.length; i++) {
                out.append(i == 0 ? " " : ", ").append(synchronizers[i]);
            }
            out.append(newLine);
        }
    }
}
