// An output file, with or without a size limit: when a write would take it past the limit,
// the file becomes <name>.1, the older ones move up a number, the oldest beyond the kept
// count goes, and a new file begins. Rolled by day or hour, the file becomes a dated name
// at the first write of a new period too (RollingNames), the rolled files beyond the kept
// count or age go, and the others may be compressed in the background.
package com.quill.runtime;

import java.io.IOException;
import java.io.OutputStream;
import java.nio.ByteBuffer;
import java.nio.channels.ClosedChannelException;
import java.nio.channels.FileChannel;
import java.nio.file.DirectoryStream;
import java.nio.file.Files;
import java.nio.file.LinkOption;
import java.nio.file.Path;
import java.nio.file.StandardCopyOption;
import java.time.Clock;
import java.time.Instant;
import java.time.LocalDateTime;
import java.util.ArrayList;
import java.util.List;
import java.util.concurrent.Executor;

/**
 * Every write goes to the file as it comes, unbuffered, and whole: a write never spans two
 * files, and one larger than the limit goes into a file of its own. A rotation that fails
 * (another process holds a file, so that it cannot be renamed or removed) changes nothing:
 * the writes go on into the current file and the rotation is tried again at the next write
 * that would pass the limit, so no output is lost or written twice.
 *
 * <p>A file channel is closed by an interrupt of the thread that uses it, and an
 * application may write from a thread whose interrupt status is set. So each write runs
 * with the status cleared and sets it again afterwards, and a channel that an interrupt
 * closed (during a write, or a rotation's truncation) is opened again by the file's name
 * at the next write, which writes the rest.
 */
final class RotatingFileOutput extends OutputStream {
    private final Path file;
    private final long maxSize;
    private final int keep;
    private final RollingNames.Roll roll;
    private final int keepDays;
    private final boolean compress;
    private final Clock clock;
    private final Executor compressor;
    private FileChannel channel;
    private long size;
    // The period the current file's content was written in, when it rolls by time; null
    // while it is empty. Never goes back: after a clock set back, the writes stay in the
    // file of the later period until a period after it begins.
    private String period;
    // The current file has been renamed but no new one could be opened; the writes still
    // go to the renamed file until one can.
    private boolean renamedAway;
    private boolean closed;

    /**
     * Opens the file (creating it; appending, or truncating it when append is false).
     *
     * @param maxSize bytes a file may hold, more than 0; Long.MAX_VALUE for no limit
     * @param keep how many older files to keep, 0 or more
     */
    RotatingFileOutput(Path file, boolean append, long maxSize, int keep) throws IOException {
        this(file, append, new OutputLimit(maxSize, keep), Clock.systemDefaultZone(), Compression.BACKGROUND);
    }

    /**
     * Opens the file with the limit's size (0: none), count, roll, age and compression, on
     * the given clock (the machine's zone gives the periods), compressing on `compressor`;
     * a file that rolls by time gets the period of its last write, and the rolled files
     * beyond the count or age go at once.
     */
    RotatingFileOutput(Path file, boolean append, OutputLimit limit, Clock clock, Executor compressor)
            throws IOException {
        if (limit.maxSize < 0 || limit.keep < 0) {
            throw new IllegalArgumentException("output limit " + limit.maxSize + " bytes, " + limit.keep
                    + " files kept");
        }
        this.file = file;
        this.maxSize = limit.maxSize == 0 ? Long.MAX_VALUE : limit.maxSize;
        this.keep = limit.keep;
        this.roll = limit.roll;
        this.keepDays = limit.keepDays;
        this.compress = limit.compress;
        this.clock = clock;
        this.compressor = compressor;
        channel = open(file, append);
        size = channel.size();
        if (roll != RollingNames.Roll.NONE) {
            if (size > 0) {
                Instant written = Files.getLastModifiedTime(file, LinkOption.NOFOLLOW_LINKS).toInstant();
                period = RollingNames.period(roll, LocalDateTime.ofInstant(written, clock.getZone()));
            }
            keepRolledFiles(LocalDateTime.now(clock));
        }
    }

    private static FileChannel open(Path file, boolean append) throws IOException {
        return OutputFiles.open(file, append);
    }

    static Path older(Path file, int number) {
        return file.resolveSibling(file.getFileName() + "." + number);
    }

    @Override
    public void write(int b) throws IOException {
        write(new byte[] {(byte) b}, 0, 1);
    }

    @Override
    public synchronized void write(byte[] bytes, int offset, int length) throws IOException {
        if (offset < 0 || length < 0 || offset > bytes.length - length) {
            throw new IndexOutOfBoundsException("offset " + offset + ", length " + length + " of " + bytes.length);
        }
        if (length == 0) {
            return;
        }
        if (closed) {
            throw new ClosedChannelException();
        }
        boolean interrupted = Thread.interrupted();
        try {
            LocalDateTime now = roll == RollingNames.Roll.NONE ? null : LocalDateTime.now(clock);
            String nowPeriod = now == null ? null : RollingNames.period(roll, now);
            if (renamedAway) {
                openNewFile();
            } else if (now != null) {
                // The fixed-width periods compare as texts in the order of time.
                boolean periodEnded = size > 0 && period != null && nowPeriod.compareTo(period) > 0;
                if (periodEnded || size > 0 && length > maxSize - size) {
                    rollOver(period != null ? period : nowPeriod, now);
                }
            } else if (size > 0 && length > maxSize - size) {
                rotate();
            }
            if (nowPeriod != null && (period == null || nowPeriod.compareTo(period) > 0)) {
                period = nowPeriod;
            }
            ByteBuffer buffer = ByteBuffer.wrap(bytes, offset, length);
            while (buffer.hasRemaining()) {
                try {
                    channel.write(buffer);
                } catch (ClosedChannelException e) {
                    // An interrupt closed it (now or during an earlier rotation), or an
                    // earlier opening again failed; not this stream's close, checked above.
                    interrupted |= Thread.interrupted();
                    reopen(buffer.position() - offset);
                }
            }
            size += length;
        } finally {
            if (interrupted) {
                Thread.currentThread().interrupt();
            }
        }
    }

    // The bytes of the current write that reached the file before the interrupt stay; the
    // rest goes to the end of the file of this name, as the next write's would.
    private void reopen(int written) throws IOException {
        closeQuietly(channel);
        channel = open(file, true);
        size = channel.size() - written;
        renamedAway = false;
    }

    @Override
    public synchronized void close() throws IOException {
        closed = true;
        channel.close();
    }

    /** Tries to begin a new file; on failure the current file stays as it was. */
    private void rotate() {
        try {
            if (keep == 0) {
                channel.truncate(0);
                size = 0;
                return;
            }
            // Room for the current file as .1: the files from .keep on go (up to the first
            // gap, which also removes what a larger count left), the others move up one. A
            // link or directory at any of these names is left alone, and so is everything
            // else: the rotation waits until it is gone.
            int last = keep;
            while (OutputFiles.existsAsItself(older(file, last))) {
                last++;
            }
            for (int number = 1; number < last; number++) {
                Path name = older(file, number);
                if (OutputFiles.existsAsItself(name) && !OutputFiles.isRotatable(name)) {
                    return;
                }
            }
            if (!OutputFiles.isRotatable(file)) {
                return;
            }
            for (int number = last - 1; number >= keep; number--) {
                Files.delete(older(file, number));
            }
            for (int number = keep - 1; number >= 1; number--) {
                Path from = older(file, number);
                if (OutputFiles.existsAsItself(from)) {
                    Files.move(from, older(file, number + 1), StandardCopyOption.REPLACE_EXISTING);
                }
            }
            Files.move(file, older(file, 1));
        } catch (IOException | RuntimeException e) {
            // Another process holds one of the files; keep writing and try again later.
            return;
        }
        renamedAway = true;
        openNewFile();
    }

    /**
     * Renames the current file to the next name of the period it was written in and begins
     * a new one, then removes what is not kept; on failure the current file stays as it
     * was, and the next write tries again.
     */
    private void rollOver(String writtenIn, LocalDateTime now) {
        try {
            Path target = file.resolveSibling(RollingNames.rollOverName(file.getFileName().toString(), names(),
                    writtenIn));
            if (!OutputFiles.isRotatable(file) || OutputFiles.existsAsItself(target)) {
                return;
            }
            Files.move(file, target);
        } catch (IOException | RuntimeException e) {
            // Another process holds the file; keep writing and try again later.
            return;
        }
        renamedAway = true;
        openNewFile();
        if (!renamedAway) {
            period = null;
        }
        keepRolledFiles(now);
    }

    // The names in the file's folder; what cannot be listed counts as nothing there.
    private List<String> names() throws IOException {
        List<String> names = new ArrayList<String>();
        Path folder = file.toAbsolutePath().getParent();
        try (DirectoryStream<Path> entries = Files.newDirectoryStream(folder)) {
            for (Path entry : entries) {
                names.add(entry.getFileName().toString());
            }
        }
        return names;
    }

    /**
     * Removes the rolled files beyond the kept count or age, and hands the plain ones that
     * stay to the compressor. A link or directory at one of the names is left alone, and a
     * removal that fails is tried again at the next roll over.
     */
    private void keepRolledFiles(LocalDateTime now) {
        RollingNames.Retention retention;
        try {
            retention = RollingNames.retention(file.getFileName().toString(), names(), keep, keepDays, compress,
                    now.toLocalDate());
        } catch (IOException | RuntimeException e) {
            return;
        }
        for (String name : retention.removals) {
            Path rolled = file.resolveSibling(name);
            // A partial file beside a plain one that the compressor still has is its work
            // under way, not a leftover: removing it would fail that compression, and
            // nothing would hand the file over again before the next roll over.
            if (name.endsWith(RollingNames.PARTIAL) && Compression.isPending(
                    file.resolveSibling(name.substring(0, name.length() - RollingNames.PARTIAL.length())))) {
                continue;
            }
            if (OutputFiles.isRotatable(rolled)) {
                try {
                    Files.deleteIfExists(rolled);
                } catch (IOException | RuntimeException e) {
                    // Held by another process: the next roll over tries again.
                }
            }
        }
        for (String name : retention.compressions) {
            Compression.submit(compressor, file.resolveSibling(name));
        }
    }

    private void openNewFile() {
        FileChannel fresh;
        long freshSize;
        try {
            fresh = open(file, true);
        } catch (IOException | RuntimeException e) {
            return;
        }
        try {
            freshSize = fresh.size();
        } catch (IOException e) {
            closeQuietly(fresh);
            return;
        }
        FileChannel previous = channel;
        channel = fresh;
        size = freshSize;
        renamedAway = false;
        closeQuietly(previous);
    }

    private static void closeQuietly(FileChannel channel) {
        try {
            channel.close();
        } catch (IOException e) {
            // Everything was written through; nothing is left to lose.
        }
    }
}
