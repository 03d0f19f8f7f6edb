// The service child's signals: the thread dump's content with a deadlocked pair of threads,
// and the alive signal, which goes on while the application's threads are blocked and
// stops while the VM is suspended.
package com.quill.runtime;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertNotNull;
import static org.junit.jupiter.api.Assertions.assertNull;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.io.BufferedReader;
import java.io.ByteArrayOutputStream;
import java.io.File;
import java.io.InputStreamReader;
import java.io.PrintStream;
import java.lang.management.ManagementFactory;
import java.nio.charset.StandardCharsets;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.List;
import java.util.concurrent.BlockingQueue;
import java.util.concurrent.CountDownLatch;
import java.util.concurrent.LinkedBlockingQueue;
import java.util.concurrent.Semaphore;
import java.util.concurrent.TimeUnit;
import java.util.concurrent.locks.Lock;
import java.util.concurrent.locks.ReentrantLock;

import org.junit.jupiter.api.Test;

class ServiceSignalsTest {
    /** Two threads that each hold one lock and wait for the other's, monitors or j.u.c. locks. */
    private static List<Thread> deadlock(boolean monitors, String prefix) throws InterruptedException {
        CountDownLatch bothHold = new CountDownLatch(2);
        List<Thread> pair = new ArrayList<Thread>();
        if (monitors) {
            Object first = new Object();
            Object second = new Object();
            pair.add(new Thread(() -> holdThenWait(first, second, bothHold), prefix + " A"));
            pair.add(new Thread(() -> holdThenWait(second, first, bothHold), prefix + " B"));
        } else {
            Lock first = new ReentrantLock();
            Lock second = new ReentrantLock();
            pair.add(new Thread(() -> holdThenWait(first, second, bothHold), prefix + " A"));
            pair.add(new Thread(() -> holdThenWait(second, first, bothHold), prefix + " B"));
        }
        for (Thread thread : pair) {
            thread.setDaemon(true);
            thread.start();
        }
        assertTrue(bothHold.await(10, TimeUnit.SECONDS));
        // Deadlocked once the dump's own search says so and both have parked.
        long deadline = System.nanoTime() + TimeUnit.SECONDS.toNanos(10);
        while (ManagementFactory.getThreadMXBean().findDeadlockedThreads() == null || !parked(pair)) {
            assertTrue(System.nanoTime() < deadline, "the pair did not deadlock");
            Thread.yield();
        }
        return pair;
    }

    private static boolean parked(List<Thread> pair) {
        for (Thread thread : pair) {
            if (thread.getState() != Thread.State.BLOCKED && thread.getState() != Thread.State.WAITING) {
                return false;
            }
        }
        return true;
    }

    private static void holdThenWait(Object held, Object wanted, CountDownLatch bothHold) {
        synchronized (held) {
            bothHold.countDown();
            awaitQuietly(bothHold);
            synchronized (wanted) {
                held.hashCode();
            }
        }
    }

    private static void holdThenWait(Lock held, Lock wanted, CountDownLatch bothHold) {
        held.lock();
        try {
            bothHold.countDown();
            awaitQuietly(bothHold);
            wanted.lock();
        } finally {
            held.unlock();
        }
    }

    private static void awaitQuietly(CountDownLatch latch) {
        try {
            latch.await();
        } catch (InterruptedException e) {
            Thread.currentThread().interrupt();
        }
    }

    @Test
    void theDumpShowsEveryThreadItsLocksAndTheDeadlock() throws Exception {
        // The pairs stay deadlocked until the VM ends (daemon threads): each case its own names.
        String[][] cases = {
            // lock kind, what the waiting thread's line names, what a holder's stack or holds line names
            {"monitors", "waiting for java.lang.Object@", "\t- locked java.lang.Object@"},
            {"locks", "waiting for java.util.concurrent.locks.ReentrantLock$NonfairSync@",
                "   holds java.util.concurrent.locks.ReentrantLock$NonfairSync@"},
        };
        for (String[] c : cases) {
            List<Thread> pair = deadlock(c[0].equals("monitors"), "deadlocked " + c[0]);
            ByteArrayOutputStream bytes = new ByteArrayOutputStream();
            ThreadDump.write(new PrintStream(bytes, true, "UTF-8"));
            String dump = new String(bytes.toByteArray(), StandardCharsets.UTF_8);
            assertTrue(dump.startsWith(ThreadDump.FIRST_LINE), dump);
            for (Thread thread : pair) {
                String name = "\"" + thread.getName() + "\" #" + thread.getId();
                assertTrue(dump.contains(name + " " + (c[0].equals("monitors") ? "BLOCKED" : "WAITING")), c[0] + dump);
                Thread other = pair.get(1 - pair.indexOf(thread));
                String section = dump.substring(dump.indexOf(name + " "));
                section = section.substring(0, section.indexOf("\n\n") > 0 ? section.indexOf("\n\n") : section.length());
                assertTrue(section.contains(c[1]), c[0] + section);
                assertTrue(section.contains(" held by \"" + other.getName() + "\" #" + other.getId()), section);
                assertTrue(section.contains(c[2]), c[0] + section);
                assertTrue(section.contains("\tat com.quill.runtime.ServiceSignalsTest.holdThenWait("), section);
            }
            // This thread too, and the deadlock line names exactly the pairs so far.
            assertTrue(dump.contains("\"" + Thread.currentThread().getName() + "\" #"), dump);
            String deadlockLine = dump.substring(dump.indexOf(ThreadDump.DEADLOCK_LINE));
            for (Thread thread : pair) {
                assertTrue(deadlockLine.contains("\"" + thread.getName() + "\" #" + thread.getId()), deadlockLine);
            }
        }
    }

    /** Records each signal's time; answers dump requests from a queue. */
    private static final class RecordingChannel implements ServiceSignals.Channel {
        final BlockingQueue<Long> signals = new LinkedBlockingQueue<Long>();
        final Semaphore requests = new Semaphore(0);
        final Semaphore taken = new Semaphore(0);

        @Override
        public void alive() {
            signals.add(System.nanoTime());
        }

        @Override
        public boolean awaitDumpRequest() {
            requests.acquireUninterruptibly();
            return true;
        }

        @Override
        public void dumpTaken() {
            taken.release();
        }
    }

    @Test
    void theAliveSignalGoesOnWhileTheApplicationsThreadsAreBlocked() throws Exception {
        RecordingChannel channel = new RecordingChannel();
        // The application's threads all blocked on one lock, held by one that never lets go,
        // and a deadlocked pair beside them.
        Object applicationLock = new Object();
        CountDownLatch held = new CountDownLatch(1);
        Thread holder = new Thread(() -> {
            synchronized (applicationLock) {
                held.countDown();
                while (true) {
                    try {
                        Thread.sleep(60000);
                    } catch (InterruptedException e) {
                        return;
                    }
                }
            }
        }, "application lock holder");
        holder.setDaemon(true);
        holder.start();
        held.await();
        for (int i = 0; i < 8; i++) {
            Thread blocked = new Thread(() -> {
                synchronized (applicationLock) {
                    applicationLock.hashCode();
                }
            }, "blocked application thread " + i);
            blocked.setDaemon(true);
            blocked.start();
        }
        deadlock(true, "blocked pair");

        ServiceSignals.start(channel, ServiceSignals.ALIVE | ServiceSignals.DUMPS, 100, new PrintStream(
                new ByteArrayOutputStream(), true, "UTF-8"));
        long previous = channel.signals.poll(5, TimeUnit.SECONDS);
        for (int i = 0; i < 20; i++) {
            Long next = channel.signals.poll(2, TimeUnit.SECONDS);
            assertNotNull(next, "signal " + i + " did not come");
            previous = next;
        }
        // A dump request meanwhile is answered, and the signal does not wait for it.
        channel.requests.release();
        assertTrue(channel.taken.tryAcquire(10, TimeUnit.SECONDS), "the dump was not taken");
        assertNotNull(channel.signals.poll(2, TimeUnit.SECONDS));
        assertTrue(previous > 0);
        holder.interrupt();
    }

    /** The other VM of the suspension test: it prints its process id, then a line per signal. */
    public static void main(String[] args) throws Exception {
        System.out.println(new File("/proc/self").getCanonicalFile().getName());
        ServiceSignals.start(new ServiceSignals.Channel() {
            @Override
            public void alive() {
                System.out.println("alive");
            }

            @Override
            public boolean awaitDumpRequest() {
                return false;
            }

            @Override
            public void dumpTaken() {
            }
        }, ServiceSignals.ALIVE, 100, null);
        Thread.sleep(120000);
    }

    private static void signal(String name, String pid) throws Exception {
        assertEquals(0, new ProcessBuilder("kill", "-" + name, pid).start().waitFor());
    }

    @Test
    void theAliveSignalStopsWhileTheVmIsSuspended() throws Exception {
        String java = System.getProperty("java.home") + File.separator + "bin" + File.separator + "java";
        Process vm = new ProcessBuilder(Arrays.asList(java, "-cp", AppRun.classPath(),
                ServiceSignalsTest.class.getName())).redirectErrorStream(true).start();
        BlockingQueue<String> lines = new LinkedBlockingQueue<String>();
        Thread reader = new Thread(() -> {
            try (BufferedReader in = new BufferedReader(new InputStreamReader(vm.getInputStream(), "UTF-8"))) {
                for (String line; (line = in.readLine()) != null;) {
                    lines.add(line);
                }
            } catch (java.io.IOException e) {
                lines.add("read failed: " + e);
            }
        });
        reader.setDaemon(true);
        reader.start();
        try {
            String pid = lines.poll(20, TimeUnit.SECONDS);
            assertNotNull(pid);
            for (int i = 0; i < 3; i++) {
                assertEquals("alive", lines.poll(10, TimeUnit.SECONDS));
            }
            signal("STOP", pid);
            // What was on its way before the stop arrived, then nothing while suspended.
            while (lines.poll(300, TimeUnit.MILLISECONDS) != null) {
                continue;
            }
            assertNull(lines.poll(1500, TimeUnit.MILLISECONDS), "a signal came from a suspended VM");
            signal("CONT", pid);
            assertEquals("alive", lines.poll(10, TimeUnit.SECONDS), "the signal did not resume");
        } finally {
            vm.destroyForcibly();
            vm.waitFor(10, TimeUnit.SECONDS);
        }
    }
}
