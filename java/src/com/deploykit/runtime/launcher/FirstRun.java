// The first-run hook of the deploykit flavour: the launcher calls it when the installation
// carries the first-run marker, before the application's main.
package com.deploykit.runtime.launcher;

import java.io.File;
import java.util.Iterator;
import java.util.ServiceLoader;

/** Runs the application's first-run actions once, then removes the first-run marker. */
public final class FirstRun {
    static final String MARKER_DIRECTORY = ".deploykit";
    static final String MARKER_FILE = "firstrun";
    static final int MARKER_LEVELS_UP = 2;

    private FirstRun() {
    }

    /**
     * Runs every {@link FirstRunAction} and returns true when all of them returned true, so
     * that the launcher goes on to the application's main. The first action that returns
     * false stops the launch (false); an action's exception is thrown on, which the
     * launcher reports and treats as false. The marker is removed only after a complete
     * first run, so a stopped or failed one runs again at the next start.
     */
    public static boolean firstRun() throws Exception {
        // The context class loader is the system class loader, which holds the application's
        // class path, on the thread the launcher calls from.
        ClassLoader loader = Thread.currentThread().getContextClassLoader();
        if (loader == null) {
            loader = ClassLoader.getSystemClassLoader();
        }
        Iterator<FirstRunAction> actions = ServiceLoader.load(FirstRunAction.class, loader).iterator();
        while (actions.hasNext()) {
            if (!actions.next().run()) {
                return false;
            }
        }
        File marker = findMarker(System.getProperty("quill.moduleName"));
        if (marker != null && !marker.delete() && marker.exists()) {
            System.err.println("could not remove the first-run marker " + marker);
        }
        return true;
    }

    /**
     * The launcher looks for the marker in the installation directory, which it does not
     * pass on; that directory is the launcher's own or one near above it (one above by
     * default), so the nearest marker from the launcher's directory upwards is the one it
     * found. The search stops two levels up so that it never reaches a stranger's marker
     * near the root of the drive.
     */
    static File findMarker(String launcherPath) {
        if (launcherPath == null || launcherPath.isEmpty()) {
            return null;
        }
        File dir = new File(launcherPath).getAbsoluteFile().getParentFile();
        for (int level = 0; dir != null && level <= MARKER_LEVELS_UP; dir = dir.getParentFile(), level++) {
            File marker = new File(new File(dir, MARKER_DIRECTORY), MARKER_FILE);
            if (marker.isFile()) {
                return marker;
            }
        }
        return null;
    }
}
