// Signing with osslsigncode.
#include "packaging/cli/signing.h"

#include "packaging/installer/wixl.h"

#include <cstdlib>
#include <fstream>
#include <system_error>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace packager {

namespace fs = std::filesystem;

const char kSigningProgram[] = "osslsigncode";
const char kSigningPackage[] = "osslsigncode";

namespace {

const char kSign[] = "--sign";
const char kPasswordVariable[] = "--sign-password-env";
const char kTimestamp[] = "--timestamp";
const char kPkcs11Module[] = "--pkcs11-module";

bool isPkcs11Uri(const std::string& key)
{
    return key.rfind("pkcs11:", 0) == 0;
}

// The password in a file only this user can read, in a folder of its own, for
// osslsigncode's -readpass; both removed by the destructor.
class PasswordFile {
public:
    PasswordFile() = default;
    PasswordFile(const PasswordFile&) = delete;
    PasswordFile& operator=(const PasswordFile&) = delete;
    ~PasswordFile()
    {
        std::error_code ignored;
        if (!folder_.empty()) fs::remove_all(folder_, ignored);
    }
    bool write(const std::string& password)
    {
#ifdef _WIN32
        (void)password;
        return false;
#else
        std::error_code failed;
        std::string pattern = (fs::temp_directory_path(failed) / "packager-sign-XXXXXX").string();
        if (failed || mkdtemp(&pattern[0]) == nullptr) return false;
        folder_ = pattern;
        path_ = folder_ / "password";
        int fd = ::open(path_.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0600);
        if (fd < 0) return false;
        bool written = ::write(fd, password.data(), password.size()) == static_cast<ssize_t>(password.size());
        return ::close(fd) == 0 && written;
#endif
    }
    const fs::path& path() const { return path_; }

private:
    fs::path folder_;
    fs::path path_;
};

} // namespace

std::vector<OptionDefinition> signingOptions()
{
    return {{kSign, "a certificate file or a PKCS#11 URI"},
            {kPasswordVariable, "the name of an environment variable"},
            {kTimestamp, "the URL of a timestamp server"},
            {kPkcs11Module, "the path of a PKCS#11 library"}};
}

bool applySigningOption(const GivenOption& option, SigningSettings* settings)
{
    const std::string name = option.definition.name;
    std::string* target = name == kSign               ? &settings->key
                          : name == kPasswordVariable ? &settings->passwordVariable
                          : name == kTimestamp        ? &settings->timestamp
                          : name == kPkcs11Module     ? &settings->pkcs11Module
                                                      : nullptr;
    if (target == nullptr) return false;
    *target = option.value;
    return true;
}

std::string signingRefusal(const SigningSettings& settings)
{
    if (!settings.enabled()) {
        for (const auto& [given, option] : {std::pair<const std::string*, const char*>{&settings.passwordVariable,
                                                                                        kPasswordVariable},
                                            {&settings.timestamp, kTimestamp},
                                            {&settings.pkcs11Module, kPkcs11Module}}) {
            if (!given->empty()) return std::string(option) + " signs nothing without --sign";
        }
        return "";
    }
    const std::string nothing = "; nothing was written";
    std::error_code failed;
    if (!settings.pkcs11Module.empty()) {
        if (!isPkcs11Uri(settings.key)) {
            return "with --pkcs11-module, --sign takes the key's PKCS#11 URI (\"pkcs11:...\"), not " + settings.key +
                   nothing;
        }
        if (!fs::is_regular_file(settings.pkcs11Module, failed)) {
            return "the PKCS#11 library " + settings.pkcs11Module + " is not there" + nothing;
        }
    } else if (isPkcs11Uri(settings.key)) {
        return "--sign " + settings.key + " names a key in a token: give its library with --pkcs11-module" + nothing;
    } else if (!fs::is_regular_file(settings.key, failed)) {
        return "the certificate file " + settings.key + " is not there" + nothing;
    }
    if (!settings.passwordVariable.empty() && std::getenv(settings.passwordVariable.c_str()) == nullptr) {
        return "the environment variable " + settings.passwordVariable +
               " (--sign-password-env) is not set" + nothing;
    }
    if (!settings.timestamp.empty() && settings.timestamp.rfind("http://", 0) != 0 &&
        settings.timestamp.rfind("https://", 0) != 0) {
        return "--timestamp takes the URL of a timestamp server (http:// or https://), not " + settings.timestamp +
               nothing;
    }
#ifdef _WIN32
    return std::string("--sign runs ") + kSigningProgram +
           ", which this Windows build of the packager cannot run; sign with signtool, or run the packager on a Linux "
           "build machine" + nothing;
#endif
    if (findProgram(kSigningProgram).empty()) {
        return std::string("--sign needs ") + kSigningProgram + ", which is not installed (Debian package " +
               kSigningPackage + ")" + nothing;
    }
    return "";
}

bool signFile(const SigningSettings& settings, const fs::path& file, const std::string& description,
              std::string* error)
{
    const std::string program = findProgram(kSigningProgram);
    std::vector<std::string> arguments = {"sign"};
    if (!settings.pkcs11Module.empty()) {
        arguments.insert(arguments.end(), {"-pkcs11module", settings.pkcs11Module, "-pkcs11cert", settings.key,
                                           "-key", settings.key});
    } else {
        arguments.insert(arguments.end(), {"-pkcs12", settings.key});
    }
    PasswordFile password;
    if (!settings.passwordVariable.empty()) {
        const char* value = std::getenv(settings.passwordVariable.c_str());
        if (value == nullptr || !password.write(value)) {
            *error = "cannot pass the password of --sign-password-env to " + std::string(kSigningProgram);
            return false;
        }
        arguments.insert(arguments.end(), {"-readpass", password.path().string()});
    }
    if (!settings.timestamp.empty()) {
        arguments.insert(arguments.end(), {"-ts", settings.timestamp});
    }
    const fs::path signedFile = file.string() + ".signed";
    arguments.insert(arguments.end(), {"-n", description, "-h", "sha256", "-in", file.string(), "-out",
                                       signedFile.string()});
    std::error_code failed;
    fs::remove(signedFile, failed);
    // Its "Succeeded" is no message for the packager's user; its errors go to standard error.
#ifdef _WIN32
    int code = runProgram(program, arguments);
#else
    int code = runProgram(program, arguments, "/dev/null");
#endif
    if (code != 0 || !fs::is_regular_file(signedFile, failed)) {
        fs::remove(signedFile, failed);
        *error = std::string(kSigningProgram) + " could not sign " + file.string() + " (" +
                 (code < 0 ? std::string("it did not run to its end") : "exit code " + std::to_string(code)) + ")";
        return false;
    }
    fs::rename(signedFile, file, failed);
    if (failed) {
        fs::remove(signedFile, failed);
        *error = "cannot put the signed " + file.string() + " in place";
        return false;
    }
    return true;
}

} // namespace packager
