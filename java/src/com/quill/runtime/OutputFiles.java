// The output files' names on disk, taken only as themselves: a link at a name, or a link
// or junction in place of a directory the files are made in, is never followed.
package com.quill.runtime;

import java.io.IOException;
import java.nio.channels.FileChannel;
import java.nio.file.FileAlreadyExistsException;
import java.nio.file.FileSystemException;
import java.nio.file.Files;
import java.nio.file.LinkOption;
import java.nio.file.Path;
import java.nio.file.StandardOpenOption;
import java.nio.file.attribute.BasicFileAttributes;
import java.util.ArrayDeque;
import java.util.Deque;

/**
 * Whoever can write to a folder of the output files could put a link where the service
 * opens, renames or removes a file, and have it write or delete somewhere else with the
 * service's rights. So the last component of every name is opened without following a
 * link, a rotation leaves a link or directory at an older file's name alone, and the
 * folder the files are made in (with any folder made for them) must be a directory that
 * is no link, junction or other reparse point. The folders above it are taken as they
 * are: an administrator may have placed them anywhere.
 */
final class OutputFiles {
    private static final LinkOption[] NO_FOLLOW = {LinkOption.NOFOLLOW_LINKS};

    private OutputFiles() {
    }

    /** The attributes of the name itself; null when nothing is there. */
    static BasicFileAttributes attributesOf(Path path) {
        try {
            return Files.readAttributes(path, BasicFileAttributes.class, NO_FOLLOW);
        } catch (IOException e) {
            return null;
        }
    }

    static boolean existsAsItself(Path path) {
        return Files.exists(path, NO_FOLLOW);
    }

    /**
     * A directory that is itself no link: on Windows a junction or mount point is a
     * directory that is also "other" (a reparse point), a symbolic link is neither.
     */
    static boolean isPlainDirectory(Path path) {
        BasicFileAttributes attributes = attributesOf(path);
        return attributes != null && attributes.isDirectory() && !attributes.isSymbolicLink() && !attributes.isOther();
    }

    /**
     * What a rotation may rename or remove: neither a link nor a directory (a junction is a
     * directory). A file that is a reparse point of another kind is still a file of its
     * own; renaming or removing it acts on it, not on anything it points to.
     */
    static boolean isRotatable(Path path) {
        BasicFileAttributes attributes = attributesOf(path);
        return attributes != null && !attributes.isSymbolicLink() && !attributes.isDirectory();
    }

    /**
     * Makes the directory of an output file where it is missing, one level at a time, and
     * checks that the directory, and the existing one a missing level is made in, are
     * directories of their own, not links.
     *
     * @param what "standard-error" or "standard-output", for the messages
     */
    static void makeDirectory(Path directory, Path file, String what) throws IOException {
        Deque<Path> missing = new ArrayDeque<Path>();
        Path existing = directory;
        while (existing != null && !existsAsItself(existing)) {
            missing.push(existing);
            existing = existing.getParent();
        }
        if (existing != null) {
            requirePlainDirectory(existing, file, what);
        }
        while (!missing.isEmpty()) {
            Path next = missing.pop();
            try {
                Files.createDirectory(next);
            } catch (FileAlreadyExistsException e) {
                // Made by someone else in the meantime; used only when it is a directory of its own.
                requirePlainDirectory(next, file, what);
            } catch (IOException e) {
                throw new IOException("cannot create the directory " + next + " of the " + what + " file " + file
                        + ": " + e.getMessage(), e);
            }
        }
    }

    private static void requirePlainDirectory(Path directory, Path file, String what) throws IOException {
        if (!isPlainDirectory(directory)) {
            throw new IOException("the " + what + " file " + file + " is not written: " + directory
                    + (isDirectoryLink(directory) ? " is a link or junction, which output files are never made through"
                            : " is no directory"));
        }
    }

    private static boolean isDirectoryLink(Path path) {
        BasicFileAttributes attributes = attributesOf(path);
        return attributes != null && (attributes.isSymbolicLink() || attributes.isDirectory() && attributes.isOther());
    }

    /**
     * Opens the file for writing, creating it; appending, or truncating it when append is
     * false. A link at the name is refused, not followed, and stays as it is. The channel
     * of the platform's file API shares deletion on Windows, so that a rotation can rename
     * the file while it is open.
     */
    static FileChannel open(Path file, boolean append) throws IOException {
        try {
            return FileChannel.open(file, StandardOpenOption.CREATE, StandardOpenOption.WRITE,
                    append ? StandardOpenOption.APPEND : StandardOpenOption.TRUNCATE_EXISTING,
                    LinkOption.NOFOLLOW_LINKS);
        } catch (FileSystemException e) {
            BasicFileAttributes attributes = attributesOf(file);
            if (attributes != null && attributes.isSymbolicLink()) {
                throw new IOException(file + " is a link, which output is never written through", e);
            }
            throw e;
        }
    }
}
