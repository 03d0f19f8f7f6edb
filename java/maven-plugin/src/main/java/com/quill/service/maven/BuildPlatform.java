// The build machines whose packager this plugin carries, and the one it runs on.
package com.quill.service.maven;

import java.util.Locale;

final class BuildPlatform {
    /** The carried packager's folder in the payload, for a build machine that has one. */
    enum Carried {
        LINUX_X86_64("linux-x86_64", "packager"),
        WINDOWS_X64("windows-x64", "packager.exe");

        final String folder;
        final String program;

        Carried(String folder, String program) {
            this.folder = folder;
            this.program = program;
        }
    }

    static final String SUPPORTED = "Linux x86-64 and Windows x64";

    private BuildPlatform() {
    }

    /** The packager for a machine of these os.name and os.arch, or null when none is carried. */
    static Carried carriedFor(String osName, String osArch) {
        String os = osName == null ? "" : osName.toLowerCase(Locale.ROOT);
        String arch = osArch == null ? "" : osArch.toLowerCase(Locale.ROOT);
        boolean x64 = arch.equals("amd64") || arch.equals("x86_64") || arch.equals("x64");
        if (!x64) {
            return null;
        }
        if (os.equals("linux")) {
            return Carried.LINUX_X86_64;
        }
        if (os.startsWith("windows")) {
            return Carried.WINDOWS_X64;
        }
        return null;
    }

    /** The one line that refuses a build machine without a carried packager. */
    static String unsupported(String osName, String osArch) {
        return "this plugin carries the packager for " + SUPPORTED + " only, and this build runs on " + osName + " ("
                + osArch + "): build the packager for this machine from the launcher's sources and name it with "
                + "-Dservice.packager=<path> (or <packager>), or skip the service launcher with -Dservice.skip";
    }
}
