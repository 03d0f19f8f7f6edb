// What the plugin reads back from a launcher through `packager inspect`: the service's
// name and the class path, from the descriptor that inspect writes (one key a line, each
// class path entry an inline table on a line of its own).
package com.quill.service.maven;

import java.util.ArrayList;
import java.util.Collections;
import java.util.List;
import java.util.regex.Matcher;
import java.util.regex.Pattern;

final class InspectedLauncher {
    /** One class path entry: its kind (archive, directory, scan, environment) and its text. */
    static final class Entry {
        final String kind;
        final String value;

        Entry(String kind, String value) {
            this.kind = kind;
            this.value = value;
        }

        @Override
        public String toString() {
            return "{ " + kind + " = \"" + value + "\" }";
        }
    }

    private static final Pattern HEADER = Pattern.compile("^\\s*\\[([A-Za-z0-9_.]+)\\]\\s*(#.*)?$");
    private static final Pattern NAME = Pattern.compile("^\\s*name\\s*=\\s*(\".*)$");
    private static final Pattern CLASS_PATH = Pattern.compile("^\\s*class_path\\s*=\\s*\\[(.*)$");
    private static final Pattern ENTRY = Pattern.compile("\\{\\s*(archive|directory|scan|environment)\\s*=\\s*(\".*)$");

    final String serviceName;
    final List<Entry> classPath;

    private InspectedLauncher(String serviceName, List<Entry> classPath) {
        this.serviceName = serviceName;
        this.classPath = Collections.unmodifiableList(classPath);
    }

    /** Reads inspect's descriptor; null when it holds no service name. */
    static InspectedLauncher read(List<String> lines) {
        String section = "";
        String name = null;
        List<Entry> classPath = new ArrayList<>();
        boolean inClassPath = false;
        for (String line : lines) {
            Matcher header = HEADER.matcher(line);
            if (!inClassPath && header.matches()) {
                section = header.group(1);
                continue;
            }
            if (inClassPath) {
                if (line.trim().startsWith("]")) {
                    inClassPath = false;
                    continue;
                }
                addEntry(line, classPath);
                continue;
            }
            if (section.equals("service") && name == null) {
                Matcher given = NAME.matcher(line);
                if (given.matches()) {
                    name = basicString(given.group(1));
                }
            } else if (section.equals("application")) {
                Matcher given = CLASS_PATH.matcher(line);
                if (given.matches()) {
                    String rest = given.group(1);
                    // Inspect writes an empty array on the key's line, and entries below it.
                    if (!rest.trim().startsWith("]")) {
                        addEntry(rest, classPath);
                        inClassPath = true;
                    }
                }
            }
        }
        return name == null ? null : new InspectedLauncher(name, classPath);
    }

    private static void addEntry(String line, List<Entry> classPath) {
        Matcher entry = ENTRY.matcher(line);
        if (entry.find()) {
            String value = basicString(entry.group(2));
            if (value != null) {
                classPath.add(new Entry(entry.group(1), value));
            }
        }
    }

    /** The TOML basic string at the start of `text` (which begins with its quote), unescaped. */
    static String basicString(String text) {
        StringBuilder value = new StringBuilder();
        for (int i = 1; i < text.length(); i++) {
            char c = text.charAt(i);
            if (c == '"') {
                return value.toString();
            }
            if (c != '\\') {
                value.append(c);
                continue;
            }
            if (++i >= text.length()) {
                return null;
            }
            char escaped = text.charAt(i);
            switch (escaped) {
                case 'b': value.append('\b'); break;
                case 't': value.append('\t'); break;
                case 'n': value.append('\n'); break;
                case 'f': value.append('\f'); break;
                case 'r': value.append('\r'); break;
                case 'e': value.append('\u001b'); break;
                case '"': value.append('"'); break;
                case '\\': value.append('\\'); break;
                case 'u':
                case 'U': {
                    int digits = escaped == 'u' ? 4 : 8;
                    if (i + digits >= text.length()) {
                        return null;
                    }
                    try {
                        value.appendCodePoint(Integer.parseInt(text.substring(i + 1, i + 1 + digits), 16));
                    } catch (IllegalArgumentException bad) {
                        return null;
                    }
                    i += digits;
                    break;
                }
                default:
                    return null;
            }
        }
        return null;
    }
}
