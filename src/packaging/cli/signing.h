// Authenticode signatures for what `packager build` and `packager msi` write, made with
// osslsigncode: a certificate and key from a PKCS#12 file (`--sign <file.pfx>`, its
// password from the environment variable `--sign-password-env` names, never from the
// command line, where process lists and shell histories keep it), or from a token or HSM
// through a PKCS#11 module (`--pkcs11-module <library> --sign <pkcs11: URI>`, the PIN
// from that variable too); optionally timestamped (`--timestamp <url>`, RFC 3161).
// Internal to the packager.
#pragma once

#include "packaging/cli/options.h"

#include <filesystem>
#include <string>
#include <vector>

namespace packager {

struct SigningSettings {
    std::string key;               // the .pfx file, or the PKCS#11 URI; empty: no signing
    std::string passwordVariable;  // the environment variable of the password or PIN
    std::string timestamp;         // the timestamp server's URL
    std::string pkcs11Module;      // the PKCS#11 library
    bool enabled() const { return !key.empty(); }
};

// The name of the signing program and the Debian package that brings it.
extern const char kSigningProgram[];
extern const char kSigningPackage[];

// The options.
std::vector<OptionDefinition> signingOptions();
// Applies one of them; false for any other option.
bool applySigningOption(const GivenOption& option, SigningSettings* settings);

// Empty when the settings can sign (or there is nothing to sign); otherwise why not, before
// anything is written: an option without --sign, a key file that is not there, a PKCS#11
// URI without its module or a module without one, a password variable that is not set,
// osslsigncode not installed.
std::string signingRefusal(const SigningSettings& settings);

// Signs `file` in place (through "<file>.signed", which replaces it only when complete),
// with `description` as the signature's program name. The password reaches osslsigncode
// in a file of a private folder, removed at once. False with the reason.
bool signFile(const SigningSettings& settings, const std::filesystem::path& file, const std::string& description,
              std::string* error);

} // namespace packager
