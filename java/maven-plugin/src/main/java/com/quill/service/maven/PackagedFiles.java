// The files an installer package holds, read from the WiX source that `packager msi`
// kept for it: each File element's Source, relative to the source's folder.
package com.quill.service.maven;

import java.io.IOException;
import java.io.InputStream;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.HashSet;
import java.util.Set;
import javax.xml.XMLConstants;
import javax.xml.parsers.DocumentBuilder;
import javax.xml.parsers.DocumentBuilderFactory;
import javax.xml.parsers.ParserConfigurationException;
import org.w3c.dom.Element;
import org.w3c.dom.NodeList;
import org.xml.sax.SAXException;

final class PackagedFiles {
    private PackagedFiles() {
    }

    /** The absolute, normalised paths of the files the WiX source at `source` installs. */
    static Set<Path> read(Path source) throws IOException {
        Set<Path> files = new HashSet<>();
        Path folder = source.toAbsolutePath().getParent();
        try (InputStream in = Files.newInputStream(source)) {
            DocumentBuilderFactory factory = DocumentBuilderFactory.newInstance();
            factory.setNamespaceAware(false);
            factory.setFeature(XMLConstants.FEATURE_SECURE_PROCESSING, true);
            factory.setFeature("http://apache.org/xml/features/disallow-doctype-decl", true);
            DocumentBuilder builder = factory.newDocumentBuilder();
            NodeList elements = builder.parse(in).getElementsByTagName("File");
            for (int i = 0; i < elements.getLength(); i++) {
                String named = ((Element) elements.item(i)).getAttribute("Source");
                if (!named.isEmpty()) {
                    files.add(folder.resolve(named.replace('\\', '/')).normalize());
                }
            }
        } catch (ParserConfigurationException | SAXException bad) {
            throw new IOException("cannot read the WiX source " + source + ": " + bad.getMessage(), bad);
        }
        return files;
    }
}
