// The choice of command, the usage, and `packager keys`.
#include "packaging/cli/packager_cli.h"

#include "packaging/cli/commands.h"
#include "packaging/cli/console.h"
#include "packaging/descriptor/key_reference.h"

namespace packager {

const char kUsage[] =
    "usage: packager build <descriptor.toml> <launcher-image.exe> <output.exe>\n"
    "                      [--runtime-library <jar> | --no-runtime-library] [signing]\n"
    "       packager inspect <launcher.exe> [--output <descriptor.toml>] [--extract <directory>]\n"
    "                      [--image <launcher-image.exe>]\n"
    "       packager keys        (prints the reference of the descriptor's keys)\n"
    "       packager msi <descriptor.toml> <launcher-image.exe> <output.msi>\n"
    "                      [--runtime-library <jar> | --no-runtime-library] [--wxs <file>]\n"
    "                      [--files-from <folder>] [signing]\n"
    "  signing: [--sign <certificate.pfx> | --pkcs11-module <library> --sign <pkcs11:URI>]\n"
    "           [--sign-password-env <VARIABLE>] [--timestamp <url>]\n"
    "           the password or PIN in the environment variable named, never on the command line\n";

namespace {

int keysCommand(const std::vector<std::string>& arguments, Console& console)
{
    if (!arguments.empty()) {
        return console.failWithUsage("keys takes no arguments", kUsage);
    }
    console.out() << keyReference() << std::flush;
    return kSuccess;
}

} // namespace

int runPackager(const std::vector<std::string>& arguments, const std::string& runtimeLibrary, std::ostream& out,
                std::ostream& err)
{
    Console console(out, err);
    if (arguments.empty()) {
        console.err() << kUsage << std::flush;
        return kFailure;
    }
    if (arguments[0] == "--help" || arguments[0] == "-h") {
        console.out() << kUsage << std::flush;
        return kSuccess;
    }
    const std::string& command = arguments[0];
    std::vector<std::string> rest(arguments.begin() + 1, arguments.end());
    if (command == "build") {
        return buildCommand(rest, runtimeLibrary, console);
    }
    if (command == "inspect") {
        return inspectCommand(rest, console);
    }
    if (command == "msi") {
        return msiCommand(rest, runtimeLibrary, console);
    }
    if (command == "keys") {
        return keysCommand(rest, console);
    }
    return console.failWithUsage("unknown command " + command, kUsage);
}

} // namespace packager
