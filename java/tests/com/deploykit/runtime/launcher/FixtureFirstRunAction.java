// Test application's first-run action: does what the property fixture.firstRun says
// ("true" by default, "false", "throw") and counts its runs.
package com.deploykit.runtime.launcher;

public class FixtureFirstRunAction implements FirstRunAction {
    static int runs;

    @Override
    public boolean run() throws Exception {
        runs++;
        String what = System.getProperty("fixture.firstRun", "true");
        if (what.equals("throw")) {
            throw new IllegalStateException("first run failed");
        }
        return Boolean.parseBoolean(what);
    }
}
