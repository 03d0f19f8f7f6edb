// The user's locale: a two-letter language, optionally '_' and a two-letter country,
// chosen from the user's Windows locale identifier. It selects the localised texts of
// the configuration and the locale options of the VM.
#pragma once

#include <cstddef>
#include <cstdint>

// Set by splitLocale: the language always; the country only for a five-character code.
extern char localeLanguage[3];
extern char localeCountry[3];
extern bool hasLocaleCountry;

// The locale code of a Windows language identifier: the row of the identifier, else the
// row of its primary language (identifier & 0x3FF), else "en".
const char* localeCodeFor(uint16_t languageId);
// Number of rows of the table and the identifier of one row (for tests).
size_t localeTableSize();
uint16_t localeTableId(size_t index);

// The user's locale code ("en" when unknown), logged.
const char* detectLocale();
// Keeps language and country of a locale code.
void splitLocale(const char* localeCode);
