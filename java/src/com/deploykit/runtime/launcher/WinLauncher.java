// The launcher runtime class of the deploykit flavour; it runs the shared implementation.
package com.deploykit.runtime.launcher;

/** Entry point called by the launcher of the deploykit flavour. */
public final class WinLauncher {
    private WinLauncher() {
    }

    /** The same argument array and behaviour as {@link com.quill.runtime.WinLauncher#main}. */
    public static void main(String[] args) throws Throwable {
        com.quill.runtime.WinLauncher.main(args);
    }
}
