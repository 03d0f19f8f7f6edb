// The compression of rolled output files to gzip, away from the threads that write.
package com.quill.runtime;

import java.io.IOException;
import java.io.InputStream;
import java.io.OutputStream;
import java.nio.file.Files;
import java.nio.file.LinkOption;
import java.nio.file.Path;
import java.nio.file.StandardCopyOption;
import java.nio.file.StandardOpenOption;
import java.util.Collections;
import java.util.HashSet;
import java.util.Set;
import java.util.concurrent.Executor;
import java.util.concurrent.ExecutorService;
import java.util.concurrent.Executors;
import java.util.concurrent.ThreadFactory;
import java.util.zip.GZIPOutputStream;

/**
 * A rolled file is compressed whole into {@code <name>.gz.partial}, which then replaces
 * {@code <name>.gz}; only then does the plain file go. A failure at any point (a full disk,
 * a file another process holds) leaves the plain file, and the next roll over hands it over
 * again; so a .gz is always complete, and no output is lost. One daemon thread does every
 * compression of the process, one file at a time: a write never waits for it, and a VM
 * that ends meanwhile leaves at most a partial file, which the next start removes.
 */
final class Compression {
    /** The process's one compression thread. */
    static final Executor BACKGROUND = Executors.newSingleThreadExecutor(new ThreadFactory() {
        @Override
        public Thread newThread(Runnable task) {
            Thread thread = new Thread(task, "output compression");
            thread.setDaemon(true);
            thread.setPriority(Thread.MIN_PRIORITY);
            return thread;
        }
    });

    // The files handed over and not yet done: a second roll over before the first
    // compression ends hands none of them over twice.
    private static final Set<Path> PENDING = Collections.synchronizedSet(new HashSet<Path>());

    private static final LinkOption[] NO_FOLLOW = {LinkOption.NOFOLLOW_LINKS};

    private Compression() {
    }

    /** True while this process's compressor has the file: its partial file is being written. */
    static boolean isPending(Path plain) {
        return PENDING.contains(plain);
    }

    static void submit(Executor executor, final Path plain) {
        if (!PENDING.add(plain)) {
            return;
        }
        try {
            executor.execute(new Runnable() {
                @Override
                public void run() {
                    try {
                        compress(plain);
                    } finally {
                        PENDING.remove(plain);
                    }
                }
            });
        } catch (RuntimeException e) {
            PENDING.remove(plain);  // refused: the next roll over hands it over again
        }
    }

    /** Compresses one plain rolled file; true when its .gz is complete and the plain file gone. */
    static boolean compress(Path plain) {
        if (!OutputFiles.isRotatable(plain)) {
            return false;  // gone already, or a link or directory: never read through
        }
        Path partial = plain.resolveSibling(plain.getFileName() + RollingNames.PARTIAL);
        Path compressed = plain.resolveSibling(plain.getFileName() + RollingNames.COMPRESSED);
        try {
            try (InputStream in = Files.newInputStream(plain, NO_FOLLOW);
                    OutputStream out = new GZIPOutputStream(Files.newOutputStream(partial, StandardOpenOption.CREATE,
                            StandardOpenOption.TRUNCATE_EXISTING, StandardOpenOption.WRITE, LinkOption.NOFOLLOW_LINKS))) {
                byte[] buffer = new byte[64 * 1024];
                for (int read = in.read(buffer); read >= 0; read = in.read(buffer)) {
                    out.write(buffer, 0, read);
                }
            }
            if (OutputFiles.existsAsItself(compressed) && !OutputFiles.isRotatable(compressed)) {
                throw new IOException(compressed + " is a link or directory");
            }
            Files.move(partial, compressed, StandardCopyOption.REPLACE_EXISTING);
        } catch (IOException | RuntimeException e) {
            try {
                if (OutputFiles.isRotatable(partial)) {
                    Files.deleteIfExists(partial);
                }
            } catch (IOException | RuntimeException ignored) {
                // The next retention removes it.
            }
            return false;
        }
        try {
            Files.delete(plain);
        } catch (IOException | RuntimeException e) {
            // Held: both stay, counted as one; the next roll over compresses it again.
            return false;
        }
        return true;
    }
}
