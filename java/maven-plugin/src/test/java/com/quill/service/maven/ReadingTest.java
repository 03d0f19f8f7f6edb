// What the plugin reads from the packager: the service name and class path of inspect's
// descriptor, the errors and notes of a run, and the files of the kept WiX source.
package com.quill.service.maven;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertNull;
import static org.junit.jupiter.api.Assertions.assertThrows;

import java.io.IOException;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.Arrays;
import java.util.Collections;
import java.util.HashSet;
import java.util.List;
import java.util.stream.Collectors;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.api.io.TempDir;
import org.junit.jupiter.params.ParameterizedTest;
import org.junit.jupiter.params.provider.CsvSource;

class ReadingTest {
    @Test
    void inspectedDescriptorGivesTheServiceNameAndEveryClassPathEntry() {
        List<String> lines = Arrays.asList(
                "# Service descriptor of app.exe, written by packager inspect.",
                "[service]",
                "name = \"Tick \\\"er\\\" \\u00e9\"",
                "description = \"name = \\\"not this\\\"\"",
                "",
                "[service.description_translations]",
                "name = \"not this either\"",
                "",
                "[application]",
                "main_class = \"com.example.Main\"",
                "class_path = [",
                "    { scan = \"lib\" },",
                "    { archive = \"C:\\\\apps\\\\x.jar\", optional = true },",
                "    { environment = \"EXTRA\" },",
                "]",
                "arguments = []",
                "",
                "[output]",
                "stdout = \"out.log\"");
        InspectedLauncher launcher = InspectedLauncher.read(lines);
        assertEquals("Tick \"er\" \u00e9", launcher.serviceName);
        assertEquals("[{ scan = \"lib\" }, { archive = \"C:\\apps\\x.jar\" }, { environment = \"EXTRA\" }]",
                launcher.classPath.toString());

        InspectedLauncher empty = InspectedLauncher.read(Arrays.asList("[service]", "name = \"a\"", "[application]",
                "class_path = []", "[java]", "search = [", "    { directory = \"jre\" },", "]"));
        assertEquals(Collections.emptyList(), empty.classPath);
        assertNull(InspectedLauncher.read(Arrays.asList("[application]", "name = \"a\"")));
    }

    @ParameterizedTest
    @CsvSource(delimiter = '|', value = {
        "\"plain\"                | plain",
        "\"a\\\\b\" trailing      | a\\b",
        "\"tab\\there\"           | tab\there",
        "\"\\U0001F600\"          | \uD83D\uDE00",
        "\"unterminated           | ",
        "\"bad \\q escape\"       | ",
        "\"short \\u12\"          | ",
    })
    void basicStringsAreUnescapedAndBrokenOnesRefused(String text, String expected) {
        assertEquals(expected, InspectedLauncher.basicString(text));
    }

    @Test
    void aRunSeparatesNotesFromErrorsAndDropsTheUsage() {
        PackagerRun failed = new PackagerRun(2, Collections.emptyList(), Arrays.asList(
                "packager: note: [vm] options given as one text",
                "/p/service.toml:3:9: error: service.start must be one of ...",
                "packager: cannot read nothere.toml",
                "usage: packager build <descriptor.toml> ...",
                "       [--runtime-library <jar>]"));
        assertEquals(Collections.singletonList("[vm] options given as one text"), failed.notes);
        assertEquals("/p/service.toml:3:9: error: service.start must be one of ..." + System.lineSeparator()
                + "cannot read nothere.toml", failed.failure());

        PackagerRun silent = new PackagerRun(134, Collections.emptyList(), Collections.emptyList());
        assertEquals("the packager ended with exit code 134 and no message", silent.failure());
    }

    @Test
    void theWixSourceNamesTheFilesFromItsFolder(@TempDir Path folder) throws IOException {
        Path wix = Files.createDirectories(folder.resolve("work/wix"));
        Path source = wix.resolve("app.wxs");
        Files.write(source, ("<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
                + "<Wix xmlns=\"http://schemas.microsoft.com/wix/2006/wi\"><Product><Directory>"
                + "<Component><File Id=\"File_0\" Name=\"app.exe\" Source=\"app.exe\"/></Component>"
                + "<Component><File Id=\"File_1\" Name=\"a.jar\" Source=\"../../app/lib/a.jar\"/></Component>"
                + "</Directory></Product></Wix>").getBytes(StandardCharsets.UTF_8));
        assertEquals(new HashSet<>(Arrays.asList(wix.resolve("app.exe"), folder.resolve("app/lib/a.jar"))),
                PackagedFiles.read(source).stream().map(Path::normalize).collect(Collectors.toSet()));

        // The source is the plugin's own, but a document type would let a file name entities.
        Files.write(source, "<!DOCTYPE Wix [<!ENTITY x SYSTEM \"file:///etc/passwd\">]><Wix>&x;</Wix>"
                .getBytes(StandardCharsets.UTF_8));
        assertThrows(IOException.class, () -> PackagedFiles.read(source));
    }
}
