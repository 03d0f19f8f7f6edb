// The first-run hook: the application's actions decide whether the launch goes on, and
// only a complete first run removes the installation's marker.
package com.deploykit.runtime.launcher;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertNull;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.nio.file.Files;
import java.nio.file.Path;

import org.junit.jupiter.api.AfterEach;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.api.io.TempDir;

class FirstRunTest {
    @TempDir
    Path temp;

    @AfterEach
    void restore() {
        System.clearProperty("fixture.firstRun");
        System.clearProperty("quill.moduleName");
    }

    // An installation in temp: bin/app.exe, the marker in the directory above bin.
    private Path install() throws Exception {
        Path bin = Files.createDirectories(temp.resolve("app").resolve("bin"));
        Path marker = Files.createDirectories(temp.resolve("app").resolve(".deploykit")).resolve("firstrun");
        Files.createFile(marker);
        System.setProperty("quill.moduleName", bin.resolve("app.exe").toString());
        return marker;
    }

    @Test
    void completeFirstRunGoesOnAndRemovesTheMarker() throws Exception {
        Path marker = install();
        int before = FixtureFirstRunAction.runs;
        assertTrue(FirstRun.firstRun());
        assertEquals(before + 1, FixtureFirstRunAction.runs);
        assertFalse(Files.exists(marker));
    }

    @Test
    void stoppedOrFailedFirstRunKeepsTheMarker() throws Exception {
        Path marker = install();
        System.setProperty("fixture.firstRun", "false");
        assertFalse(FirstRun.firstRun());
        assertTrue(Files.exists(marker));
        System.setProperty("fixture.firstRun", "throw");
        IllegalStateException thrown = assertThrows(IllegalStateException.class, FirstRun::firstRun);
        assertEquals("first run failed", thrown.getMessage());
        assertTrue(Files.exists(marker));
    }

    @Test
    void markerSearchStaysNearTheLauncher() throws Exception {
        Path deep = Files.createDirectories(temp.resolve("a").resolve("b").resolve("c").resolve("bin"));
        Files.createDirectories(temp.resolve(".deploykit"));
        Files.createFile(temp.resolve(".deploykit").resolve("firstrun"));
        // temp is four levels above bin: too far to be this installation's marker.
        assertNull(FirstRun.findMarker(deep.resolve("app.exe").toString()));
        Path own = Files.createDirectories(temp.resolve("a").resolve("b").resolve(".deploykit")).resolve("firstrun");
        Files.createFile(own);
        assertEquals(own.toFile(), FirstRun.findMarker(deep.resolve("app.exe").toString()));
        assertNull(FirstRun.findMarker(null));
    }
}
