// The argument array that the launcher passes to the launcher runtime class, taken apart.
package com.quill.runtime;

import java.util.Arrays;

/**
 * Elements, in order: 0 graphical flag, 1 the application's main class, 2 standard-error
 * file or "", 3 standard-output file or "", 4 append flag, then the application's
 * arguments. In service mode element 5 is the service name, which the launcher puts
 * before the application's arguments; it is taken out here.
 */
final class LaunchArguments {
    static final int FIXED_COUNT = 5;

    final boolean graphical;
    final String mainClass;
    final String errorFile;
    final String outputFile;
    final boolean append;
    final String serviceName;
    final String[] applicationArguments;

    private LaunchArguments(String[] array, boolean service) {
        graphical = "true".equals(array[0]);
        mainClass = array[1];
        errorFile = array[2] == null ? "" : array[2];
        outputFile = array[3] == null ? "" : array[3];
        append = "true".equals(array[4]);
        int first = FIXED_COUNT;
        if (service && array.length > FIXED_COUNT) {
            serviceName = array[FIXED_COUNT];
            first++;
        } else {
            serviceName = null;
        }
        applicationArguments = Arrays.copyOfRange(array, first, array.length);
    }

    static LaunchArguments parse(String[] array, boolean service) {
        if (array == null || array.length < FIXED_COUNT) {
            throw new IllegalArgumentException("the launcher passed " + (array == null ? 0 : array.length)
                    + " arguments; at least " + FIXED_COUNT + " are needed");
        }
        if (array[1] == null || array[1].isEmpty()) {
            throw new IllegalArgumentException("the launcher passed no main class of the application");
        }
        return new LaunchArguments(array, service);
    }
}
