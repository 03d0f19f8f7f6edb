// Writing launchers and other output files: included files copied as they were measured,
// blocks the launcher could not read back refused, and an output that is either the
// complete new file or the previous one, never a partial file.
#include "packager_test_support.h"

#include "packaging/io/output_file.h"
#include "packaging/launcher/writer.h"

#include <gtest/gtest.h>

#include <sys/resource.h>

#include <csignal>
#include <cstring>
#include <functional>

#include <string>
#include <vector>

namespace {

using namespace packagertest;

TEST(LauncherFile, StreamedFilesAreCopiedAsTheyWereMeasured)
{
    ScratchDirectory scratch;
    std::string image = scratch.file("image.exe", imageText());
    std::string content(200000, '\0');
    for (size_t i = 0; i < content.size(); ++i) {
        content[i] = static_cast<char>(i * 7 % 251);
    }
    std::string source = scratch.file("big.bin", content);
    ConfigBlock inMemory;
    inMemory.addIncludedFiles({{"big.bin", Bytes(content.begin(), content.end())}, {"small", Bytes{1, 2}}});
    std::string expected = (scratch.path / "expected.exe").string();
    std::string error;
    ASSERT_TRUE(packager::writeLauncher(image, inMemory, expected, &error)) << error;
    ConfigBlock streamed = inMemory;
    streamed.includedContents[0].clear();  // as a build that streams leaves it
    const struct {
        const char* what;
        std::string path;
        uint64_t size;
        std::string error;  // empty: written
    } cases[] = {
        {"as measured", source, content.size(), ""},
        {"grown since", source, content.size() - 1, "the included file " + source + " changed while the launcher was written"},
        {"shrunk since", source, content.size() + 1, "the included file " + source + " changed while the launcher was written"},
        {"gone", (scratch.path / "gone.bin").string(), 1, "cannot read the included file " + (scratch.path / "gone.bin").string()},
    };
    for (const auto& c : cases) {
        std::string output = (scratch.path / "out.exe").string();
        fs::remove(output);
        error.clear();
        bool ok = packager::writeLauncher(image, streamed, output, &error, {{fs::path(c.path), c.size}, {}});
        EXPECT_EQ(ok, c.error.empty()) << c.what;
        EXPECT_EQ(error, c.error) << c.what;
        EXPECT_EQ(fs::exists(output), ok) << c.what;
        EXPECT_FALSE(fs::exists(output + ".partial")) << c.what;
        if (ok) {
            EXPECT_EQ(fileText(output), fileText(expected)) << c.what;
        }
    }
}

TEST(LauncherFile, BlocksTheLauncherCannotReadBackAreRefused)
{
    ConfigBlock block;
    block.narrow.push_back({101, std::string(64, 'n')});
    block.wide.push_back({20017, std::u16string(32, u'w')});
    block.localeGroups.push_back({"de", {{20017, std::u16string(8, u'g')}}});
    const struct {
        uint64_t largest;
        std::string problem;
    } cases[] = {
        {64, ""},
        {63, "record 101 has 64 bytes; the launcher reads at most 63"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(packager::blockLimitProblem(block, c.largest), c.problem) << c.largest;
    }
    block.narrow[0].value = "n";
    EXPECT_EQ(packager::blockLimitProblem(block, 63), "record 20017 is longer than the launcher reads");
    block.wide[0].value = std::u16string(1, u'w');
    EXPECT_EQ(packager::blockLimitProblem(block, 15), "the de record 20017 is longer than the launcher reads");
    EXPECT_EQ(packager::blockLimitProblem(block), "");
}

// Sets a limit on the size of the files this process writes, and ignores the signal that
// would end it there: a write beyond the limit fails as on a full disk.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        getrlimit(RLIMIT_FSIZE, &previous_);
        previousHandler_ = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = previous_;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &previous_);
        std::signal(SIGXFSZ, previousHandler_);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    rlimit previous_{};
    void (*previousHandler_)(int) = nullptr;
};

TEST(OutputFile, AFailureLeavesThePreviousOutputAndNoPartialFile)
{
    ScratchDirectory scratch;
    const fs::path output = scratch.path / "out.bin";
    const fs::path partial = scratch.path / "out.bin.partial";
    const std::string content(100000, 'n');
    const struct {
        const char* what;
        std::function<void()> before;  // after the previous output is in place
        std::function<bool(std::string*)> write;
        std::string error;             // empty: the new content is the output
    } cases[] = {
        {"complete", [] {},
         [&](std::string* error) { return packager::writeOutputFile(output, content, error); }, ""},
        {"a write fails (the disk is full)", [] {},
         [&](std::string* error) {
             FileSizeLimit limit(4096);
             return packager::writeOutputFile(output, content, error);
         },
         "cannot write " + output.string()},
        {"the partial file cannot be made", [&] { fs::create_directory(partial); },
         [&](std::string* error) { return packager::writeOutputFile(output, content, error); },
         "cannot write " + output.string() + ": " + std::strerror(EISDIR)},
        {"the program that should write it wrote nothing", [] {},
         [&](std::string* error) {
             packager::OutputFile file(output);
             return file.commit(error);
         },
         "cannot write " + output.string()},
    };
    for (const auto& c : cases) {
        fs::remove_all(partial);
        scratch.file("out.bin", "previous");
        c.before();
        std::string error;
        bool written = c.write(&error);
        EXPECT_EQ(written, c.error.empty()) << c.what;
        EXPECT_EQ(error, c.error) << c.what;
        EXPECT_EQ(fileText(output), c.error.empty() ? content : "previous") << c.what;
        // A directory of the partial file's name is the user's: it stays.
        EXPECT_EQ(fs::exists(partial), fs::is_directory(partial)) << c.what;
    }
    // An output that no file can replace: the partial file goes, the output stays.
    fs::remove_all(partial);
    fs::remove(output);
    scratch.file("out.bin/kept", "kept");
    std::string error;
    EXPECT_FALSE(packager::writeOutputFile(output, content, &error));
    EXPECT_EQ(error.rfind("cannot create " + output.string() + ": ", 0), 0u) << error;
    EXPECT_FALSE(fs::exists(partial));
    EXPECT_EQ(fileText(output / "kept"), "kept");
}

// A disk that fills up while a streamed included file is copied: the launcher is not
// written, and the error names the output, not the included file, which did not change.
TEST(LauncherFile, AFullDiskNamesTheOutputAndLeavesNoLauncher)
{
    ScratchDirectory scratch;
    std::string image = scratch.file("image.exe", imageText());
    std::string content(200000, 'c');
    std::string source = scratch.file("big.bin", content);
    ConfigBlock block;
    block.addIncludedFiles({{"big.bin", Bytes()}});
    std::string output = (scratch.path / "out.exe").string();
    scratch.file("out.exe", "previous");
    std::string error;
    bool written = false;
    {
        FileSizeLimit limit(imageText().size() + 65536);
        written = packager::writeLauncher(image, block, output, &error, {{fs::path(source), content.size()}});
    }
    EXPECT_FALSE(written);
    EXPECT_EQ(error, "cannot write " + output);
    EXPECT_EQ(fileText(output), "previous");
    EXPECT_FALSE(fs::exists(output + ".partial"));
}

} // namespace
