// What the packager's tests share.
#include "packager_test_support.h"

#include "packaging/cli/packager_cli.h"
#include "packaging/launcher/reader.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>

#ifndef PACKAGER_RUNTIME_LIBRARY
#define PACKAGER_RUNTIME_LIBRARY ""
#endif

namespace packagertest {

const char kMinimal[] = R"toml([service]
name = "Demo"
[application]
main_class = "com.example.Main"
class_path = [ { archive = "app.jar" } ]
)toml";

namespace {

void putInt(Bytes& out, size_t at, uint32_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i) {
        out[at + i] = static_cast<uint8_t>(value >> (8 * i));
    }
}

} // namespace

Bytes syntheticImage()
{
    Bytes image(0xC00, 0xCC);
    std::fill(image.begin(), image.begin() + 0x400, 0);
    image[0] = 'M';
    image[1] = 'Z';
    putInt(image, 60, 0x80, 4);
    putInt(image, 0x80, 0x00004550u, 4);
    putInt(image, 0x86, 3, 2);
    putInt(image, 0x94, 240, 2);
    const uint32_t sections[3][2] = {{0x400, 0x200}, {0x600, 0x400}, {0xA00, 0x200}};
    for (size_t i = 0; i < 3; ++i) {
        size_t entry = 0x80 + 24 + 240 + 40 * i;
        putInt(image, entry + 16, sections[i][1], 4);
        putInt(image, entry + 20, sections[i][0], 4);
    }
    return image;
}

std::string imageText()
{
    Bytes image = syntheticImage();
    return std::string(image.begin(), image.end());
}

ScratchDirectory::ScratchDirectory()
{
    path = fs::temp_directory_path() /
           ("packager_test_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(path);
    fs::create_directories(path);
}

ScratchDirectory::~ScratchDirectory()
{
    fs::remove_all(path);
}

std::string ScratchDirectory::file(const std::string& name, const std::string& content) const
{
    fs::path target = path / name;
    fs::create_directories(target.parent_path());
    std::ofstream(target, std::ios::binary) << content;
    return target.string();
}

std::string fileText(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::set<std::string> listing(const fs::path& root)
{
    std::set<std::string> names;
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(root)) {
        names.insert(entry.path().lexically_relative(root).generic_string());
    }
    return names;
}

Built build(const std::string& text, const std::string& path, const std::string& runtime)
{
    Built built;
    packager::BuildSettings settings;
    settings.runtimeLibrary = runtime;
    built.ok = packager::buildFromDescriptor(text, path, settings, &built.result, &built.errors);
    return built;
}

const std::string* narrow(const ConfigBlock& block, int32_t id)
{
    for (const blockformat::NarrowRecord& record : block.narrow) {
        if (record.id == id) {
            return &record.value;
        }
    }
    return nullptr;
}

std::string value(const ConfigBlock& block, int32_t id)
{
    const std::string* found = narrow(block, id);
    return found == nullptr ? "<absent>" : *found;
}

std::vector<std::pair<int32_t, std::string>> narrowRecords(const ConfigBlock& block)
{
    std::vector<std::pair<int32_t, std::string>> records;
    for (const blockformat::NarrowRecord& record : block.narrow) {
        records.emplace_back(record.id, record.value);
    }
    return records;
}

Bytes launcherBytes(const ConfigBlock& block)
{
    Bytes launcher;
    std::string error;
    EXPECT_TRUE(blockformat::packageImage(syntheticImage(), block, &launcher, &error)) << error;
    return launcher;
}

std::pair<Bytes, Bytes> roundTrip(const ConfigBlock& block, packager::Description* description)
{
    Bytes first = launcherBytes(block);
    packager::PackagedLauncher read;
    std::string error;
    EXPECT_TRUE(packager::readPackagedLauncher(first, &read, &error)) << error;
    *description = packager::describeLauncher(read, {}, "demo.exe");
    std::map<std::string, Bytes> contents;
    for (size_t i = 0; i < read.fileNames.size(); ++i) {
        std::string source = read.fileNames[i];
        for (char& c : source) {
            c = c == '\\' ? '/' : c;
        }
        contents[source] = read.block.includedContents[i];
    }
    packager::BuildSettings settings;
    settings.fileContents = &contents;
    packager::BuildResult again;
    std::vector<packager::Diagnostic> errors;
    bool ok = packager::buildFromDescriptor(description->descriptor, "again.toml", settings, &again, &errors);
    EXPECT_TRUE(ok) << (errors.empty() ? "" : packager::formatDiagnostic(errors.front())) << "\n"
                    << description->descriptor;
    return {first, ok ? launcherBytes(again.block) : Bytes()};
}

std::string serviceDescriptor(const std::string& lines)
{
    return "[service]\nname = \"Demo\"\n" + lines +
           "[application]\nmain_class = \"a.B\"\nclass_path = [ { scan = \"lib\" } ]\n";
}

void expectTheOneError(const std::string& descriptor, const std::string& error, const std::string& label)
{
    Built built = build(descriptor);
    EXPECT_FALSE(built.ok) << label;
    ASSERT_EQ(built.errors.size(), 1u)
        << label << (built.errors.empty() ? "" : packager::formatDiagnostic(built.errors.back()));
    EXPECT_EQ(packager::formatDiagnostic(built.errors[0]), "service.toml:" + error) << label;
}

PackagerRun runPackager(const std::string& arguments)
{
    std::vector<std::string> words;
    std::istringstream split(arguments);
    for (std::string word; split >> word;) {
        words.push_back(word);
    }
    std::ostringstream out;
    std::ostringstream err;
    int code = packager::runPackager(words, PACKAGER_RUNTIME_LIBRARY, out, err);
    return {code, err.str(), out.str()};
}

PackagerRun runPackagerExecutable(const std::string& arguments, const ScratchDirectory& scratch)
{
    const char* packager = std::getenv("PACKAGER");
    fs::path errFile = scratch.path / "stderr.txt";
    fs::path outFile = scratch.path / "stdout.txt";
    std::string command = std::string(packager) + " " + arguments + " >" + outFile.string() + " 2>" + errFile.string();
    int status = std::system(command.c_str());
    PackagerRun run = {WEXITSTATUS(status), fileText(errFile), fileText(outFile)};
    fs::remove(errFile);
    fs::remove(outFile);
    return run;
}

} // namespace packagertest
