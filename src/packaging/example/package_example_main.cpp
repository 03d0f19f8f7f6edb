// Writes the example service configuration onto a copy of a launcher image, giving a
// launcher that can be run and tried out before the real packager exists.
//
//   package_example <launcher-image> <output.exe> [--kind N] [--log-demo]
//
// --kind N    sets the launcher kind (cfg::launcherKind): 4 is the service default;
//             1 or 5 show errors in message boxes instead of on standard error.
// --log-demo  adds a working directory (the executable's own) and a locale group for
//             German, so that a run with the diagnostic log on shows those steps too.
#include "format/record_ids.h"
#include "packaging/descriptor/text.h"
#include "packaging/example/example_config.h"
#include "packaging/launcher/writer.h"

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

constexpr int kUsageOrFailure = 2;

int usage(const char* reason)
{
    std::fprintf(stderr, "package_example: %s\n", reason);
    std::fprintf(stderr, "usage: package_example <launcher-image> <output.exe> [--kind N] [--log-demo]\n");
    return kUsageOrFailure;
}

// The launcher reads the kind with strtol, so only a plain decimal number makes sense.
bool parseKind(const std::string& text, std::string* kind)
{
    if (text.empty() || text.size() > 9) {
        return false;
    }
    for (char c : text) {
        if (c < '0' || c > '9') {
            return false;
        }
    }
    *kind = text;
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    std::string image;
    std::string output;
    std::string kind;
    bool logDemo = false;
    for (int i = 1; i < argc; ++i) {
        std::string argument = argv[i];
        if (argument == "--kind") {
            if (i + 1 >= argc || !parseKind(argv[i + 1], &kind)) {
                return usage("--kind needs a decimal number");
            }
            ++i;
        } else if (argument == "--log-demo") {
            logDemo = true;
        } else if (argument.size() > 1 && argument[0] == '-' && argument[1] == '-') {
            return usage(("unknown option " + argument).c_str());
        } else if (image.empty()) {
            image = argument;
        } else if (output.empty()) {
            output = argument;
        } else {
            return usage(("unexpected argument " + argument).c_str());
        }
    }
    if (image.empty() || output.empty()) {
        return usage("the launcher image and the output file are required");
    }

    blockformat::ConfigBlock block = packager::exampleServiceBlock();
    if (!kind.empty()) {
        block.set(cfg::launcherKind, kind);
    }
    if (logDemo) {
        block.set(cfg::workingDirectory, ".");
        block.localeGroups.push_back(
            {"de", {{cfg::serviceDescription, packager::utf8ToUtf16("Beispieldienst f\xC3\xBCr die Vorf\xC3\xBChrung")}}});
    }

    std::string error;
    if (!packager::writeLauncher(image, block, output, &error)) {
        std::fprintf(stderr, "package_example: %s\n", error.c_str());
        return kUsageOrFailure;
    }
    std::printf("packaged %s from %s\n", output.c_str(), image.c_str());
    return 0;
}
