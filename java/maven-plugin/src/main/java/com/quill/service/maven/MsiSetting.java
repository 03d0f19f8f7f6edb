// The <msi> parameter: no installer package, one that must be built, or one built where
// wixl is there and skipped with a warning where it is not.
package com.quill.service.maven;

import java.util.Locale;

enum MsiSetting {
    FALSE, TRUE, AUTO;

    /** The setting a text names, or null for a text that is none of them. */
    static MsiSetting of(String text) {
        if (text == null || text.trim().isEmpty()) {
            return FALSE;
        }
        switch (text.trim().toLowerCase(Locale.ROOT)) {
            case "false":
                return FALSE;
            case "true":
                return TRUE;
            case "auto":
                return AUTO;
            default:
                return null;
        }
    }
}
