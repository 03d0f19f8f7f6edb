// The files this plugin carries (the packager for the build machine, the launcher image,
// the runtime library jar), written out of its jar into the project's build folder for
// the packager to run and read.
package com.quill.service.maven;

import java.io.FileNotFoundException;
import java.io.IOException;
import java.io.InputStream;
import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.StandardCopyOption;

final class Payload {
    static final String RESOURCES = "payload/";
    static final String IMAGE = "launcher.exe";
    static final String RUNTIME_LIBRARY = "launcher-runtime.jar";

    final Path packager;
    final Path image;
    final Path runtimeLibrary;

    private Payload(Path packager, Path image, Path runtimeLibrary) {
        this.packager = packager;
        this.image = image;
        this.runtimeLibrary = runtimeLibrary;
    }

    /**
     * Writes the launcher image, the runtime library and the packager for `platform` into
     * `folder`, or takes `ownPackager` when the user named one (then `platform` may be null).
     */
    static Payload writeTo(Path folder, BuildPlatform.Carried platform, Path ownPackager) throws IOException {
        Files.createDirectories(folder);
        Path image = copy(IMAGE, folder.resolve(IMAGE));
        Path runtimeLibrary = copy(RUNTIME_LIBRARY, folder.resolve(RUNTIME_LIBRARY));
        Path packager = ownPackager;
        if (packager == null) {
            packager = copy(platform.folder + "/" + platform.program, folder.resolve(platform.program));
            if (!packager.toFile().setExecutable(true, true)) {
                throw new IOException("cannot make " + packager + " executable");
            }
        }
        return new Payload(packager, image, runtimeLibrary);
    }

    private static Path copy(String resource, Path target) throws IOException {
        try (InputStream in = Payload.class.getResourceAsStream(RESOURCES + resource)) {
            if (in == null) {
                throw new FileNotFoundException("this plugin's jar lacks " + resource + ": it was built without the "
                        + "files it carries");
            }
            Path partial = target.resolveSibling(target.getFileName() + ".partial");
            Files.copy(in, partial, StandardCopyOption.REPLACE_EXISTING);
            Files.move(partial, target, StandardCopyOption.REPLACE_EXISTING);
        }
        return target;
    }
}
