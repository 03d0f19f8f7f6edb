// The callback through which a service application hears that its service is stopping.
package com.quill.runtime;

/**
 * Told when the service that runs the application is stopped or the machine shuts down.
 * Listeners run one after another, in the order of registration, before the shutdown
 * hooks; the process then ends with exit code 0.
 */
public interface StopListener {
    /** Ends the application's work; returns when it is safe for the process to end. */
    void stopRequested();
}
