// Launchers whose configuration block is missing, damaged or signed, run as a user would.
#include "support/test_launcher.h"

#include <gtest/gtest.h>

#include <cstring>
#include <regex>
#include <set>

namespace {

const std::set<std::string> kFixedMessages = {
    "Internal Error: magic\n",      "Internal Error: readLong\n",   "Internal Error: readInt\n",
    "Internal Error: readShort\n",  "Internal Error: readString\n", "Internal Error: readWString\n",
};

std::vector<uint8_t> packagedBytes(const blockformat::ConfigBlock& block)
{
    std::vector<uint8_t> launcher;
    std::string error;
    blockformat::packageImage(readBytes(launcherImage()), block, &launcher, &error);
    return launcher;
}

void putInt32(std::vector<uint8_t>& bytes, size_t at, uint32_t value)
{
    std::memcpy(&bytes[at], &value, 4);
}

// A launcher that loads its configuration goes on to the role of its command line: "/run"
// looks for a Java runtime, and there is none here.
const char kLoaded[] =
    "No JVM could be found on your system.\nPlease define the environment variable QUILL_JAVA_HOME to point "
    "to an installed 64-bit JDK or JRE, or download a JRE and install it.\n";

struct Outcome {
    DWORD exitCode;
    std::string err;
};

Outcome runBytes(const std::vector<uint8_t>& bytes, bool log = false)
{
    ScratchDirectory dir;
    std::wstring exe = dir.file(L"app.exe");
    writeBytes(exe, bytes);
    LauncherRun run = runLauncher(exe, {L"/run"}, dir, log);
    std::string err = run.err;
    if (log && !run.logPath.empty()) {
        std::string suffix = "\n\nLog: " + toUtf8(run.logPath);
        size_t at = err.find(suffix);
        if (at != std::string::npos) err.erase(at, suffix.size());
    }
    return {run.result.exitCode, err};
}

std::vector<Outcome> runAll(const std::vector<std::vector<uint8_t>>& launchers)
{
    std::vector<Outcome> outcomes;
    for (const std::vector<uint8_t>& launcher : launchers) outcomes.push_back(runBytes(launcher));
    return outcomes;
}

TEST(ConfigurationLoading, ImageWithoutBlockFailsOnTheMagicRead)
{
    Outcome run = runBytes(readBytes(launcherImage()));
    EXPECT_EQ(1u, run.exitCode);
    EXPECT_EQ("Internal Error: readInt\n", run.err);
}

TEST(ConfigurationLoading, WrongMagic)
{
    std::vector<uint8_t> bytes = readBytes(launcherImage());
    size_t blockStart = bytes.size();
    bytes = packagedBytes(serviceBlock());
    bytes[blockStart] ^= 0xFF;
    Outcome run = runBytes(bytes);
    EXPECT_EQ(1u, run.exitCode);
    EXPECT_EQ("Internal Error: magic\n", run.err);
}

TEST(ConfigurationLoading, FatalMessageCarriesTheLogPath)
{
    ScratchDirectory dir;
    std::wstring exe = dir.file(L"app.exe");
    writeBytes(exe, readBytes(launcherImage()));
    LauncherRun run = runLauncher(exe, {L"/run"}, dir, true);
    EXPECT_EQ(1u, run.result.exitCode);
    ASSERT_FALSE(run.logPath.empty());
    // On a console every line break of the text ends with CR LF.
    EXPECT_EQ("Internal Error: readInt\r\n\r\nLog: " + toUtf8(run.logPath) + "\r\n", run.result.err);
    // The short read at the end of the file: the system error and the 0 bytes delivered.
    EXPECT_TRUE(std::regex_search(run.log, std::regex("\r\nerror -?[0-9]+ 0\r\n\r\n"))) << run.log;
}

TEST(ConfigurationLoading, DamagedLengthsAndCounts)
{
    const size_t imageSize = readBytes(launcherImage()).size();
    blockformat::ConfigBlock block;
    block.narrow = {{101, "Demo service"}, {107, "4"}};
    block.wide = {{20017, u"Beschreibung"}};
    block.localeGroups = {{"de", {{20017, u"x"}}}};
    const std::vector<uint8_t> good = packagedBytes(block);
    // Offsets inside the block: header 20 bytes, then N, then the first record.
    const size_t narrowCount = imageSize + 20;
    const size_t firstLength = narrowCount + 8;
    const size_t wideCount = firstLength + 4 + 12 + 8 + 1;
    const size_t wideLength = wideCount + 8;
    const size_t groupCount = wideLength + 4 + 24;
    struct Case {
        size_t offset;
        uint32_t value;
        const char* message;  // nullptr: the read that runs past the end decides
    };
    const Case cases[] = {
        {narrowCount, 0xFFFFFFFFu, "Internal Error: readInt\n"},
        {narrowCount, 0x7FFFFFFFu, nullptr},
        {firstLength, 0x7FFFFFFFu, "Internal Error: readString\n"},
        {firstLength, 0x80000000u, "Internal Error: readString\n"},
        {firstLength, 0xFFFFFFFFu, "Internal Error: readString\n"},
        {wideCount, 0xFFFFFFFFu, "Internal Error: readInt\n"},
        {wideLength, 0x7FFFFFFFu, "Internal Error: readWString\n"},
        {wideLength, 0xFFFFFFFEu, "Internal Error: readWString\n"},
        {groupCount, 0x7FFFFFFFu, nullptr},
        {groupCount, 0xFFFFFFFFu, "Internal Error: readInt\n"},
    };
    // The undamaged block loads; it has no message texts, so the launch ends with the
    // empty text of the message that no Java runtime was found.
    EXPECT_EQ("\n", runBytes(good).err);
    std::vector<std::vector<uint8_t>> launchers;
    for (const Case& c : cases) {
        launchers.push_back(good);
        putInt32(launchers.back(), c.offset, c.value);
    }
    std::vector<Outcome> outcomes = runAll(launchers);
    for (size_t i = 0; i < outcomes.size(); ++i) {
        const Case& c = cases[i];
        const Outcome& run = outcomes[i];
        EXPECT_EQ(1u, run.exitCode) << "offset " << c.offset - imageSize << " value " << c.value;
        if (c.message != nullptr) {
            EXPECT_EQ(c.message, run.err) << "offset " << c.offset - imageSize << " value " << c.value;
        } else {
            EXPECT_EQ(1u, kFixedMessages.count(run.err)) << "offset " << c.offset - imageSize << ": " << run.err;
        }
    }
}

TEST(ConfigurationLoading, BlockCutAnywhereEndsWithAFixedMessage)
{
    blockformat::ConfigBlock block = serviceBlock();
    block.localeGroups = {{"de", {{20017, u"Dienst"}}}};
    const std::vector<uint8_t> full = packagedBytes(block);
    const size_t imageSize = readBytes(launcherImage()).size();
    const size_t blockSize = full.size() - imageSize;
    // Every cut of this block is tried in-process by the unit tests; here a spread of
    // positions, including each field of the header and the very last byte, runs for real.
    std::vector<size_t> cuts = {0, 3, 4, 8, 12, 19, 20, 24, 28, 33};
    for (size_t cut = 60; cut < blockSize; cut += blockSize / 50) cuts.push_back(cut);
    cuts.push_back(blockSize - 1);
    std::vector<std::vector<uint8_t>> launchers;
    for (size_t cut : cuts) {
        launchers.emplace_back(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(imageSize + cut));
    }
    std::vector<Outcome> outcomes = runAll(launchers);
    for (size_t i = 0; i < cuts.size(); ++i) {
        const size_t cut = cuts[i];
        const Outcome& run = outcomes[i];
        EXPECT_EQ(1u, run.exitCode) << "cut at " << cut;
        EXPECT_EQ(1u, kFixedMessages.count(run.err)) << "cut at " << cut << ": " << run.err;
    }
}

TEST(ConfigurationLoading, ErrorsOfAnInvisibleOrMissingDesktopGoToStandardError)
{
    // Errors while loading always use message boxes, as do launchers of kind 1 and 5.
    // Without anyone to see a box (a service's window station, or a desktop whose box
    // cannot be shown, as under Wine without a display), the text goes to standard error.
    blockformat::ConfigBlock block = serviceBlock();
    block.set(107, "1");
    EXPECT_EQ(kLoaded, runBytes(packagedBytes(block)).err);
    EXPECT_EQ("Internal Error: readInt\n", runBytes(readBytes(launcherImage())).err);

    ScratchDirectory dir;
    std::wstring exe = dir.file(L"app.exe");
    writeBytes(exe, readBytes(launcherImage()));
    ProcessOptions options;
    options.visibleDesktop = true;
    LauncherRun run = runLauncher(exe, {L"/run"}, dir, false, options);
    EXPECT_EQ(1u, run.result.exitCode);
    EXPECT_EQ("Internal Error: readInt\n", run.err);
}

TEST(ConfigurationLoading, DataBehindTheBlockIsNotRead)
{
    // What a signing tool or a packer appends after the block does not disturb it.
    std::vector<uint8_t> bytes = packagedBytes(serviceBlock());
    bytes.insert(bytes.end(), {0xE8, 0xE4, 0x13, 0xD5});
    bytes.resize((bytes.size() + 511) / 512 * 512 + 3000, 0x5A);
    Outcome run = runBytes(bytes);
    EXPECT_EQ(kLoaded, run.err);
}

} // namespace
