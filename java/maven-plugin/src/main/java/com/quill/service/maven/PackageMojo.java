// The goal `package`: lays out target/<service name>/ as the application is installed
// (the launcher built from the descriptor, the project's jar and its runtime dependencies
// in lib/, and with <msi> the installer package of those files), and attaches the
// launcher and the package to the build with the classifier windows-x64.
package com.quill.service.maven;

import java.io.File;
import java.io.IOException;
import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.StandardCopyOption;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.Comparator;
import java.util.HashMap;
import java.util.HashSet;
import java.util.List;
import java.util.Map;
import java.util.Set;
import java.util.TreeMap;
import java.util.stream.Stream;
import org.apache.maven.artifact.Artifact;
import org.apache.maven.plugin.AbstractMojo;
import org.apache.maven.plugin.MojoExecutionException;
import org.apache.maven.plugin.MojoFailureException;
import org.apache.maven.plugins.annotations.Component;
import org.apache.maven.plugins.annotations.LifecyclePhase;
import org.apache.maven.plugins.annotations.Mojo;
import org.apache.maven.plugins.annotations.Parameter;
import org.apache.maven.plugins.annotations.ResolutionScope;
import org.apache.maven.project.MavenProject;
import org.apache.maven.project.MavenProjectHelper;

@Mojo(name = "package", defaultPhase = LifecyclePhase.PACKAGE, requiresDependencyResolution = ResolutionScope.RUNTIME,
        threadSafe = true)
public class PackageMojo extends AbstractMojo {
    static final String CLASSIFIER = "windows-x64";
    static final String WIXL = "wixl";

    /** The service descriptor (TOML) the launcher is built from. */
    @Parameter(property = "service.descriptor", defaultValue = "${project.basedir}/src/main/service/service.toml")
    private File descriptor;

    /** Also the installer package: true, false, or auto (built where wixl is, else skipped with a warning). */
    @Parameter(property = "service.msi", defaultValue = "false")
    private String msi;

    /** Skips the goal. */
    @Parameter(property = "service.skip", defaultValue = "false")
    private boolean skip;

    /** A packager to run instead of the carried one, for a build machine that this plugin has none for. */
    @Parameter(property = "service.packager")
    private File packager;

    @Parameter(defaultValue = "${project.build.directory}", readonly = true, required = true)
    private File buildDirectory;

    @Parameter(defaultValue = "${project}", readonly = true, required = true)
    private MavenProject project;

    @Component
    private MavenProjectHelper projectHelper;

    private final Set<String> shownNotes = new HashSet<>();

    @Override
    public void execute() throws MojoExecutionException, MojoFailureException {
        if (skip) {
            getLog().info("Service launcher skipped (service.skip)");
            return;
        }
        MsiSetting msiSetting = MsiSetting.of(msi);
        if (msiSetting == null) {
            throw new MojoFailureException("<msi> takes true, false or auto, not \"" + msi + "\"");
        }
        if (!descriptor.isFile()) {
            throw new MojoFailureException("no service descriptor at " + descriptor + ": write one there (see the "
                    + "README's Maven section), or name yours with <descriptor>");
        }
        Path ownPackager = null;
        BuildPlatform.Carried platform = null;
        if (packager != null) {
            if (!packager.isFile()) {
                throw new MojoFailureException("the packager named by <packager> does not exist: " + packager);
            }
            ownPackager = packager.toPath().toAbsolutePath();
        } else {
            String osName = System.getProperty("os.name");
            String osArch = System.getProperty("os.arch");
            platform = BuildPlatform.carriedFor(osName, osArch);
            if (platform == null) {
                throw new MojoFailureException(BuildPlatform.unsupported(osName, osArch));
            }
        }
        if (msiSetting != MsiSetting.FALSE && findOnPath(WIXL, System.getenv("PATH")) == null) {
            boolean windows = File.separatorChar == '\\';
            String missing = windows
                    ? "the installer package needs " + WIXL + ", which runs on Linux build machines only (on Windows, "
                            + "packager msi --wxs writes the WiX source for the WiX toolset)"
                    : "the installer package needs " + WIXL + " on the build machine (Debian package wixl), which is "
                            + "not on the PATH";
            if (msiSetting == MsiSetting.TRUE) {
                throw new MojoFailureException(missing + (windows ? ": build the package on Linux" : ": install it")
                        + ", or set <msi>auto</msi> to build without the package where it is missing");
            }
            getLog().warn(missing + ": no installer package (<msi>auto</msi>)");
            msiSetting = MsiSetting.FALSE;
        }
        File projectJar = project.getArtifact().getFile();
        if (projectJar == null || !projectJar.isFile() || !projectJar.getName().endsWith(".jar")) {
            throw new MojoFailureException("the project's jar is not built yet: bind this goal to the package phase "
                    + "of a project with jar packaging (it runs after the jar)");
        }

        try {
            build(msiSetting == MsiSetting.TRUE || msiSetting == MsiSetting.AUTO, platform, ownPackager,
                    projectJar.toPath());
        } catch (IOException failed) {
            throw new MojoExecutionException("the service launcher could not be laid out: " + failed.getMessage(),
                    failed);
        } catch (InterruptedException interrupted) {
            Thread.currentThread().interrupt();
            throw new MojoExecutionException("interrupted while the packager ran", interrupted);
        }
    }

    private void build(boolean withPackage, BuildPlatform.Carried platform, Path ownPackager, Path projectJar)
            throws IOException, InterruptedException, MojoFailureException {
        Path plugin = buildDirectory.toPath().toAbsolutePath().resolve("service-plugin");
        Path work = plugin.resolve("work");
        Payload payload = Payload.writeTo(plugin, platform, ownPackager);
        String descriptorPath = descriptor.getAbsolutePath();

        // The launcher first into the working folder: its service name says where the
        // layout goes, and its class path must take the jars laid out there.
        Path built = work.resolve("launcher.exe");
        Files.deleteIfExists(built);
        runPackager(payload, Arrays.asList("build", descriptorPath, payload.image.toString(), built.toString(),
                "--runtime-library", payload.runtimeLibrary.toString()), work, true);
        Path inspected = work.resolve("inspected.toml");
        Files.deleteIfExists(inspected);
        // Its notes are about files inspect could write, which the plugin does not need.
        runPackager(payload, Arrays.asList("inspect", built.toString(), "--output", inspected.toString()), work,
                false);
        InspectedLauncher launcher = InspectedLauncher.read(Files.readAllLines(inspected));
        if (launcher == null) {
            throw new IOException("packager inspect gave no service name for " + built);
        }

        String folderProblem = layoutFolderProblem(launcher.serviceName);
        if (folderProblem != null) {
            throw new MojoFailureException("the service name \"" + launcher.serviceName + "\" of " + descriptorPath
                    + " cannot name the layout folder in " + buildDirectory + ": " + folderProblem);
        }
        Map<String, Path> jars = libraryJars(projectJar);
        List<String> libraryPaths = new ArrayList<>();
        for (String name : jars.keySet()) {
            libraryPaths.add("lib/" + name);
        }
        String missing = ClassPathCheck.firstMissing(launcher.classPath, libraryPaths);
        if (missing != null) {
            throw new MojoFailureException(ClassPathCheck.missingLine(missing, descriptorPath));
        }

        Path layout = buildDirectory.toPath().toAbsolutePath().resolve(launcher.serviceName);
        Path lib = layout.resolve("lib");
        // The last build's jars go: a dependency dropped since then must not stay on a
        // class path that scans the folder.
        deleteTree(lib);
        Files.createDirectories(lib);
        for (Map.Entry<String, Path> jar : jars.entrySet()) {
            Files.copy(jar.getValue(), lib.resolve(jar.getKey()), StandardCopyOption.COPY_ATTRIBUTES);
        }
        Path launcherFile = layout.resolve(launcher.serviceName + ".exe");
        Files.move(built, launcherFile, StandardCopyOption.REPLACE_EXISTING);
        getLog().info("Service launcher " + launcherFile + " with " + jars.size() + " jar(s) in " + lib);
        projectHelper.attachArtifact(project, "exe", CLASSIFIER, launcherFile.toFile());

        Path msiFile = layout.resolve(launcher.serviceName + ".msi");
        Files.deleteIfExists(msiFile);
        if (!withPackage) {
            return;
        }
        // The package's files ([installer] files) are found in the layout, as installed.
        Path wix = work.resolve("wix");
        deleteTree(wix);
        Files.createDirectories(wix);
        Path source = wix.resolve(launcher.serviceName + ".wxs");
        runPackager(payload, Arrays.asList("msi", descriptorPath, payload.image.toString(), msiFile.toString(),
                "--runtime-library", payload.runtimeLibrary.toString(), "--files-from", layout.toString(),
                "--wxs", source.toString()), work, true);
        Set<Path> packaged = PackagedFiles.read(source);
        for (String name : jars.keySet()) {
            Path jar = lib.resolve(name).normalize();
            if (!packaged.contains(jar)) {
                Files.deleteIfExists(msiFile);
                throw new MojoFailureException("the installer package would not hold lib/" + name + ": add \"lib\" "
                        + "to files in [installer] of " + descriptorPath + " (the plugin takes them from "
                        + layout + ")");
            }
        }
        getLog().info("Installer package " + msiFile);
        projectHelper.attachArtifact(project, "msi", CLASSIFIER, msiFile.toFile());
    }

    private void runPackager(Payload payload, List<String> arguments, Path work, boolean showNotes)
            throws IOException, InterruptedException, MojoFailureException {
        List<String> command = new ArrayList<>();
        command.add(payload.packager.toString());
        command.addAll(arguments);
        PackagerRun run = PackagerRun.run(command, work);
        if (showNotes) {
            for (String note : run.notes) {
                // msi builds the launcher again, with the notes of the build.
                if (shownNotes.add(note)) {
                    getLog().warn(note);
                }
            }
        }
        if (!run.succeeded()) {
            throw new MojoFailureException(run.failure());
        }
        for (String line : run.output) {
            getLog().debug(line);
        }
    }

    /** The jars of lib/ by their file names, in order: the project's own and its runtime dependencies. */
    private Map<String, Path> libraryJars(Path projectJar) throws MojoFailureException {
        Map<String, Path> jars = new TreeMap<>();
        Map<String, String> owners = new HashMap<>();
        jars.put(projectJar.getFileName().toString(), projectJar);
        owners.put(projectJar.getFileName().toString(), project.getId());
        for (Artifact artifact : project.getArtifacts()) {
            if (!artifact.getArtifactHandler().isAddedToClasspath() || artifact.getFile() == null) {
                continue;
            }
            String scope = artifact.getScope();
            if (!Artifact.SCOPE_COMPILE.equals(scope) && !Artifact.SCOPE_RUNTIME.equals(scope)
                    && !Artifact.SCOPE_SYSTEM.equals(scope)) {
                continue;
            }
            String name = artifact.getFile().getName();
            // Two artifacts of one file name would leave one of them out of lib/ unseen.
            String other = owners.putIfAbsent(name, artifact.getId());
            if (other != null) {
                throw new MojoFailureException("two jars of lib/ would have the name " + name + ": " + other + " and "
                        + artifact.getId());
            }
            jars.put(name, artifact.getFile().toPath());
        }
        return jars;
    }

    /**
     * Why a service name cannot be the layout's folder (and the launcher's file name) in
     * the build folder on any build machine, or null when it can: the folder's lib/ is
     * emptied at each build, so it must never be the build folder or one above it.
     */
    static String layoutFolderProblem(String name) {
        if (name.isEmpty() || name.equals(".") || name.equals("..")) {
            return "it is not a folder's name";
        }
        for (int i = 0; i < name.length(); i++) {
            char c = name.charAt(i);
            if (c < 0x20 || "/\\:*?\"<>|".indexOf(c) >= 0) {
                return "a file name cannot hold " + (c < 0x20 ? "a control character" : "'" + c + "'");
            }
        }
        if (name.endsWith(".") || name.endsWith(" ")) {
            return "Windows drops a dot or blank at the end of a file name";
        }
        return null;
    }

    /** The file `program` in the folders of `path`, or null. */
    static Path findOnPath(String program, String path) {
        if (path == null) {
            return null;
        }
        for (String folder : path.split(File.pathSeparator)) {
            Path candidate = new File(folder.isEmpty() ? "." : folder, program).toPath();
            if (Files.isRegularFile(candidate) && Files.isExecutable(candidate)) {
                return candidate;
            }
        }
        return null;
    }

    private static void deleteTree(Path folder) throws IOException {
        if (!Files.exists(folder)) {
            return;
        }
        try (Stream<Path> paths = Files.walk(folder)) {
            for (Path path : (Iterable<Path>) paths.sorted(Comparator.reverseOrder())::iterator) {
                Files.delete(path);
            }
        }
    }
}
