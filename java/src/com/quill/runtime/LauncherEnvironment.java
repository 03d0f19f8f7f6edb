// What an application can learn about the launcher that started it, and how it asks to be
// told when its service stops.
package com.quill.runtime;

import java.util.ArrayList;
import java.util.List;

/**
 * The launcher's view of the running application. Every method may be called from any
 * thread; the values come from the system properties that the launcher sets and from the
 * arguments it passed to the launcher runtime class.
 */
public final class LauncherEnvironment {
    static final String SERVICE_PROPERTY = "quill.isService";
    static final String DEPLOYKIT_PROPERTY = "quill.isDeploykit";
    static final String MODULE_PROPERTY = "quill.moduleName";
    static final String TEMP_DIR_PROPERTY = "quill.tempDir";
    static final String SEMAPHORE_PROPERTY = "quill.semaphoreName";
    static final String NO_REDIRECT_PROPERTY = "deploykit.noRedir";

    private static final List<StopListener> stopListeners = new ArrayList<StopListener>();
    private static volatile String serviceName;
    private static volatile boolean graphical;

    private LauncherEnvironment() {
    }

    /** True when the application runs as a Windows service (the service's child process). */
    public static boolean isService() {
        return Boolean.parseBoolean(System.getProperty(SERVICE_PROPERTY));
    }

    /** True for the deploykit flavour of the launcher. */
    public static boolean isDeploykit() {
        return Boolean.parseBoolean(System.getProperty(DEPLOYKIT_PROPERTY));
    }

    /** True when the launcher is configured for a graphical application. */
    public static boolean isGraphical() {
        return graphical;
    }

    /** The service's name when running as a service; null otherwise. */
    public static String getServiceName() {
        return serviceName;
    }

    /** Full path of the launcher executable; null when not started by the launcher. */
    public static String getLauncherPath() {
        return nonEmpty(System.getProperty(MODULE_PROPERTY));
    }

    /**
     * The launcher's temporary directory, which holds the files it extracted for this run;
     * null when it extracted none.
     */
    public static String getTempDir() {
        return nonEmpty(System.getProperty(TEMP_DIR_PROPERTY));
    }

    /** Name of the semaphore that marks this running instance; null when there is none. */
    public static String getSemaphoreName() {
        return nonEmpty(System.getProperty(SEMAPHORE_PROPERTY));
    }

    /** Registers a listener to be told when the service stops; a listener is kept once. */
    public static void addStopListener(StopListener listener) {
        if (listener == null) {
            throw new NullPointerException("listener");
        }
        synchronized (stopListeners) {
            if (!stopListeners.contains(listener)) {
                stopListeners.add(listener);
            }
        }
    }

    /** Removes a listener; returns whether it was registered. */
    public static boolean removeStopListener(StopListener listener) {
        synchronized (stopListeners) {
            return stopListeners.remove(listener);
        }
    }

    static void setLaunchSettings(String name, boolean isGraphical) {
        serviceName = name;
        graphical = isGraphical;
    }

    // Runs every listener even when one of them fails: the process ends right afterwards,
    // so a listener that is skipped never gets another chance to close its resources.
    static void runStopListeners() {
        List<StopListener> listeners;
        synchronized (stopListeners) {
            listeners = new ArrayList<StopListener>(stopListeners);
        }
        for (StopListener listener : listeners) {
            try {
                listener.stopRequested();
            } catch (Throwable t) {
                System.err.println("stop listener " + listener + " failed:");
                t.printStackTrace();
            }
        }
    }

    private static String nonEmpty(String value) {
        return value == null || value.isEmpty() ? null : value;
    }
}
