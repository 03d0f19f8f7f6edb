// A step an application wants done once, on the first start after its installation.
package com.deploykit.runtime.launcher;

/**
 * Provided by the application through the service-loader file
 * META-INF/services/com.deploykit.runtime.launcher.FirstRunAction. Actions run in the order
 * the class path lists them.
 */
public interface FirstRunAction {
    /**
     * Does the first-run work. Returns false to stop the launch: the application's main is
     * then not called and the first run is tried again at the next start.
     */
    boolean run() throws Exception;
}
