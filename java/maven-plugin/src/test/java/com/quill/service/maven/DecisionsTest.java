// The plugin's decisions before and around the packager: the build machine's packager,
// the <msi> setting, the layout folder a service name may give, whether the class path
// takes the jars of lib/, and wixl on the PATH.
package com.quill.service.maven;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertNull;

import java.io.File;
import java.io.IOException;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.List;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.api.io.TempDir;
import org.junit.jupiter.params.ParameterizedTest;
import org.junit.jupiter.params.provider.CsvSource;

class DecisionsTest {
    @ParameterizedTest
    @CsvSource({
        "Linux,      amd64,   LINUX_X86_64",
        "Linux,      x86_64,  LINUX_X86_64",
        "Windows 10, amd64,   WINDOWS_X64",
        "Windows 11, x86_64,  WINDOWS_X64",
        "Linux,      aarch64, ",
        "Windows 11, aarch64, ",
        "Linux,      x86,     ",
        "Mac OS X,   x86_64,  ",
        "FreeBSD,    amd64,   ",
    })
    void thePackagerCarriedForEachBuildMachine(String os, String arch, BuildPlatform.Carried expected) {
        assertEquals(expected, BuildPlatform.carriedFor(os, arch));
    }

    @Test
    void anUnsupportedMachineGetsOneLineWithTheWayOut() {
        assertEquals("this plugin carries the packager for Linux x86-64 and Windows x64 only, and this build runs on "
                + "Mac OS X (aarch64): build the packager for this machine from the launcher's sources and name it "
                + "with -Dservice.packager=<path> (or <packager>), or skip the service launcher with -Dservice.skip",
                BuildPlatform.unsupported("Mac OS X", "aarch64"));
    }

    @ParameterizedTest
    @CsvSource({"'', FALSE", "false, FALSE", "TRUE, TRUE", " auto , AUTO", "yes, ", "1, "})
    void msiSettings(String text, MsiSetting expected) {
        assertEquals(expected, MsiSetting.of(text));
    }

    @ParameterizedTest
    @CsvSource(delimiter = '|', value = {
        "Heartbeat      | ",
        "My Service 2   | ",
        "..             | it is not a folder's name",
        ".              | it is not a folder's name",
        "a:b            | a file name cannot hold ':'",
        "what?          | a file name cannot hold '?'",
        "trailing.      | Windows drops a dot or blank at the end of a file name",
    })
    void serviceNamesAsTheLayoutFolder(String name, String problem) {
        assertEquals(problem, PackageMojo.layoutFolderProblem(name));
        assertEquals("a file name cannot hold a control character", PackageMojo.layoutFolderProblem("a\tb"));
    }

    @ParameterizedTest
    @CsvSource(delimiter = '|', value = {
        "scan=lib                                       | ",
        "scan=.\\lib\\                                  | ",
        "scan=LIB                                       | ",
        "scan=${launcher:sys.launcherDirectory}\\lib    | ",
        "archive=lib\\app.jar;archive=lib/dep-1.0.jar   | ",
        "archive=lib\\app.jar                           | lib/dep-1.0.jar",
        "scan=lib\\sub                                  | lib/app.jar",
        "directory=lib                                  | lib/app.jar",
        "archive=app.jar;scan=.                         | lib/app.jar",
        "environment=CLASSPATH                          | lib/app.jar",
    })
    void theClassPathMustTakeEveryJarOfLib(String entries, String missing) {
        List<InspectedLauncher.Entry> classPath = new ArrayList<>();
        for (String entry : entries.split(";")) {
            String[] parts = entry.split("=", 2);
            classPath.add(new InspectedLauncher.Entry(parts[0], parts[1]));
        }
        assertEquals(missing, ClassPathCheck.firstMissing(classPath, Arrays.asList("lib/app.jar", "lib/dep-1.0.jar")));
    }

    @Test
    void wixlIsFoundOnlyAsAnExecutableFileOnThePath(@TempDir Path folder) throws IOException {
        Path plain = Files.createDirectories(folder.resolve("plain"));
        Files.createFile(plain.resolve("wixl"));
        Path asFolder = Files.createDirectories(folder.resolve("folder/wixl"));
        Path tools = Files.createDirectories(folder.resolve("tools"));
        Path wixl = Files.createFile(tools.resolve("wixl"));
        wixl.toFile().setExecutable(true);
        String path = String.join(File.pathSeparator, plain.toString(), asFolder.getParent().toString(),
                tools.toString());
        assertEquals(wixl, PackageMojo.findOnPath("wixl", path));
        assertNull(PackageMojo.findOnPath("wixl", plain.toString()));
        assertNull(PackageMojo.findOnPath("wixl", null));
    }
}
