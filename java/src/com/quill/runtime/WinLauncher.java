// The class the launcher calls once the VM exists: it prepares the process the way the
// configuration asks and then runs the application's own main class.
package com.quill.runtime;

import java.lang.reflect.InvocationTargetException;
import java.lang.reflect.Method;
import java.lang.reflect.Modifier;

/** Entry points called by the native launcher; applications use {@link LauncherEnvironment}. */
public final class WinLauncher {
    private WinLauncher() {
    }

    /**
     * Runs the application. The array is the launcher's: graphical flag, main class,
     * standard-error file, standard-output file, append flag, then (service name first in
     * service mode) the application's arguments. An exception of the application's main
     * is printed as the VM prints an uncaught exception, and the VM then ends as with
     * System.exit(1): shutdown hooks run, other threads are not waited for.
     */
    public static void main(String[] args) throws Throwable {
        boolean service = LauncherEnvironment.isService();
        LaunchArguments launch = LaunchArguments.parse(args, service);
        if (!Boolean.parseBoolean(System.getProperty(LauncherEnvironment.NO_REDIRECT_PROPERTY))) {
            OutputRedirection.redirect(launch.errorFile, launch.outputFile, launch.append, launch.serviceName);
        }
        LauncherEnvironment.setLaunchSettings(launch.serviceName, launch.graphical);
        if (service) {
            ServiceStopReader.start(System.in);
            ServiceSignals.start();
        }
        Method main = findMain(launch.mainClass);
        try {
            main.invoke(null, (Object) launch.applicationArguments);
        } catch (InvocationTargetException e) {
            endAfterThrownMain(e.getCause());
        }
    }

    // Reported as the VM reports an exception that ends a thread (the thread's handler,
    // so an application's own default handler sees it too), then the end of System.exit(1):
    // the shutdown hooks run and the application's other threads are not waited for.
    private static void endAfterThrownMain(Throwable thrown) {
        Thread thread = Thread.currentThread();
        try {
            thread.getUncaughtExceptionHandler().uncaughtException(thread, thrown);
        } finally {
            System.exit(1);
        }
    }

    // The application's class is loaded by the system class loader, which holds the
    // configured class path. A main class that is not public still runs, as it does when
    // started by the java command.
    private static Method findMain(String className) throws ClassNotFoundException, NoSuchMethodException {
        Class<?> mainClass = Class.forName(className, true, ClassLoader.getSystemClassLoader());
        Method main = mainClass.getMethod("main", String[].class);
        if (!Modifier.isStatic(main.getModifiers()) || main.getReturnType() != void.class) {
            throw new NoSuchMethodException("the main method of " + className + " is not \"static void\"");
        }
        main.setAccessible(true);
        return main;
    }

    /**
     * Called by the launcher before main when the configuration asks for the splash texts:
     * the status line and the version line, each as text, x, y, colour "r,g,b", font size
     * and font weight. The settings are kept for {@link SplashText}; when a splash screen
     * is showing, both lines are drawn on it.
     */
    public static void initAwtSplashConfig(boolean enabled, boolean secondFlag,
            String statusText, int statusX, int statusY, String statusColour, int statusFontSize, int statusFontWeight,
            String versionText, int versionX, int versionY, String versionColour, int versionFontSize,
            int versionFontWeight) {
        SplashText.keep(enabled, secondFlag,
                new SplashText.Line(statusText, statusX, statusY, statusColour, statusFontSize, statusFontWeight),
                new SplashText.Line(versionText, versionX, versionY, versionColour, versionFontSize,
                        versionFontWeight));
        SplashText.drawIfShowing();
    }
}
