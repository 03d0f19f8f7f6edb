// The classes and methods that the launcher finds through JNI, by their exact names and
// signatures, and the bytecode level that the oldest accepted runtime can load.
package com.quill.runtime;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.io.DataInputStream;
import java.io.InputStream;
import java.lang.reflect.Method;
import java.lang.reflect.Modifier;
import java.util.Enumeration;
import java.util.jar.JarEntry;
import java.util.jar.JarFile;

import org.junit.jupiter.api.Test;

class EntryPointTest {
    static String descriptor(Class<?> type) {
        if (type == void.class) return "V";
        if (type == boolean.class) return "Z";
        if (type == int.class) return "I";
        if (type.isArray()) return "[" + descriptor(type.getComponentType());
        return "L" + type.getName().replace('.', '/') + ";";
    }

    static String descriptor(Method method) {
        StringBuilder text = new StringBuilder("(");
        for (Class<?> parameter : method.getParameterTypes()) {
            text.append(descriptor(parameter));
        }
        return text.append(')').append(descriptor(method.getReturnType())).toString();
    }

    // JNI's GetStaticMethodID ignores access, but the launcher's class loader must reach
    // these classes and methods by name: public and static, with exactly this signature.
    @Test
    void launcherEntryPointsHaveTheirJniSignatures() throws Exception {
        String[][] entries = {
            {"com/quill/runtime/WinLauncher", "main", "([Ljava/lang/String;)V"},
            {"com/deploykit/runtime/launcher/WinLauncher", "main", "([Ljava/lang/String;)V"},
            {"com/quill/runtime/WinLauncher", "initAwtSplashConfig",
                "(ZZLjava/lang/String;IILjava/lang/String;IILjava/lang/String;IILjava/lang/String;II)V"},
            {"com/deploykit/runtime/launcher/FirstRun", "firstRun", "()Z"},
        };
        for (String[] entry : entries) {
            Class<?> type = Class.forName(entry[0].replace('/', '.'));
            int found = 0;
            for (Method method : type.getDeclaredMethods()) {
                if (method.getName().equals(entry[1])) {
                    found++;
                    assertEquals(entry[2], descriptor(method), entry[0] + "." + entry[1]);
                    assertTrue(Modifier.isStatic(method.getModifiers()) && Modifier.isPublic(method.getModifiers()),
                            entry[0] + "." + entry[1]);
                }
            }
            assertEquals(1, found, "one " + entry[1] + " in " + entry[0]);
        }
    }

    @Test
    void everyClassIsJava8Bytecode() throws Exception {
        int classes = 0;
        try (JarFile jar = new JarFile(System.getProperty("launcher.runtimeJar"))) {
            for (Enumeration<JarEntry> e = jar.entries(); e.hasMoreElements();) {
                JarEntry entry = e.nextElement();
                if (!entry.getName().endsWith(".class")) {
                    continue;
                }
                try (InputStream in = jar.getInputStream(entry)) {
                    DataInputStream data = new DataInputStream(in);
                    assertEquals(0xCAFEBABE, data.readInt(), entry.getName());
                    data.readUnsignedShort();
                    assertEquals(52, data.readUnsignedShort(), entry.getName());
                }
                classes++;
            }
        }
        assertFalse(classes == 0, "no classes in the runtime jar");
    }
}
