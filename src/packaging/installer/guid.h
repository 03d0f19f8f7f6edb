// GUIDs of an installer package: the text form Windows Installer takes, and name-based
// GUIDs (RFC 4122 version 5, SHA-1) so that the same product and file always get the same
// identifiers, build after build, and different ones never share them. Pure functions,
// internal to the packager.
#pragma once

#include <string>

namespace packager {

// True for "XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX" (hexadecimal digits in either case),
// optionally enclosed in braces.
bool isGuid(const std::string& text);

// The GUID in the form Windows Installer stores: upper case, without braces. `text` must
// pass isGuid.
std::string canonicalGuid(const std::string& text);

// The version 5 GUID of `name` (UTF-8) in the namespace `space` (a GUID), upper case,
// without braces.
std::string nameBasedGuid(const std::string& space, const std::string& name);

// The namespace of this packager's derived upgrade codes.
extern const char kUpgradeCodeSpace[];

// The upgrade code of a product when the descriptor gives none: the same for every
// version of one product (manufacturer and product name, exactly as written), different
// for any other.
std::string derivedUpgradeCode(const std::string& manufacturer, const std::string& productName);

// The GUID of the component that installs the file `target` (relative to the
// installation folder, '\' separated) of the product with `upgradeCode`. Windows ignores
// the case of file names, and so does the derivation.
std::string componentGuid(const std::string& upgradeCode, const std::string& target);

// SHA-1 of `data`, 20 bytes.
std::string sha1(const std::string& data);

} // namespace packager
