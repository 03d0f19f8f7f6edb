// The packager on random input, through its command line: random valid descriptors over
// every key make the round trip build -> inspect -> build byte for byte and inspect ->
// build -> inspect text for text; damaged and hostile launchers make inspect either fail
// with one line and write nothing, or write a descriptor that builds.
//
// The seed and the number of cases come from PACKAGER_FUZZ_SEED, PACKAGER_FUZZ_CASES and
// PACKAGER_FUZZ_DAMAGED (tests/packaging/packager_fuzz.sh sets them); a failing case names
// its seed and index and keeps its files under PACKAGER_FUZZ_KEEP when that is set.
#include "format/block.h"
#include "format/record_ids.h"
#include "packaging/descriptor/build.h"
#include "packaging/descriptor/keys.h"

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <set>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Bytes = std::string;

uint64_t setting(const char* name, uint64_t fallback)
{
    const char* text = std::getenv(name);
    return text == nullptr || *text == 0 ? fallback : std::strtoull(text, nullptr, 10);
}

struct Random {
    std::mt19937_64 engine;
    explicit Random(uint64_t seed) : engine(seed) {}
    size_t below(size_t n) { return n == 0 ? 0 : static_cast<size_t>(engine() % n); }
    bool chance(int percent) { return below(100) < static_cast<size_t>(percent); }
    template <typename T>
    const T& pick(const std::vector<T>& items) { return items[below(items.size())]; }
};

std::string utf8(uint32_t code)
{
    std::string out;
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (code >> 18));
        out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
    return out;
}

// A TOML basic string of UTF-8 text, non-ASCII characters written raw or as \u escapes.
std::string quoted(const std::string& text, Random& random)
{
    bool escapeAll = random.chance(30);
    std::string out = "\"";
    for (size_t i = 0; i < text.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20 || c == 0x7F) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04X", c);
            out += escape;
        } else if (c >= 0x80 && escapeAll) {
            uint32_t code = 0;
            size_t extra = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : 1;
            code = c & (0x3F >> extra);
            for (size_t k = 1; k <= extra; ++k) {
                code = (code << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
            }
            char escape[12];
            std::snprintf(escape, sizeof escape, code > 0xFFFF ? "\\U%08X" : "\\u%04X", code);
            out += escape;
            i += extra;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

// Characters of narrow texts: ASCII with quotes, backslashes and controls, and Latin-1.
const std::vector<uint32_t> kNarrowCharacters = {'a', 'Z', '0', '9', ' ', '"', '\\', '\'', '%', '$', '.', '-',
                                                 '\t', '\n', 0x01, 0x7F, 0x85, 0xA0, 0xA4, 0xE9, 0xDF, 0xFF};
// Wide texts add characters beyond Latin-1, one of them outside the basic plane.
const std::vector<uint32_t> kWideCharacters = {'a', ' ', '"', '\\', '\n', 0xE9, 0x20AC, 0x65E5, 0x1F600};

std::string text(Random& random, const std::vector<uint32_t>& alphabet, size_t longest, const std::string& without = "")
{
    size_t length = random.chance(5) ? 7000 : random.below(longest + 1);
    std::string out;
    while (out.size() < length) {
        std::string c = utf8(random.pick(alphabet));
        if (without.find(c) == std::string::npos) {
            out += c;
        }
    }
    return out;
}

std::string nonEmpty(Random& random, const std::string& without = "")
{
    std::string out = text(random, kNarrowCharacters, 12, without);
    return out.empty() ? "x" : out;
}

// A service name the service manager takes: no '/' or '\\', at most 256 characters.
std::string serviceName(Random& random)
{
    std::string name = nonEmpty(random, "/\\");
    size_t characters = 0;
    for (size_t i = 0; i < name.size(); ++i) {
        if ((static_cast<unsigned char>(name[i]) & 0xC0) != 0x80 && ++characters > 256) {
            return name.substr(0, i);
        }
    }
    return name;
}

// VM options as one text: blank-separated options that each begin with '-'.
std::string vmOptionsText(Random& random)
{
    std::string out;
    for (size_t i = 1 + random.below(3); i > 0; --i) {
        out += (out.empty() ? "-" : " -") + text(random, kNarrowCharacters, 8, " \"'");
    }
    return out;
}

std::string identifier(Random& random)
{
    static const std::vector<std::string> parts = {"a", "Main", "x1", "$", "_", "\xC3\xA9t\xC3\xA9", "B"};
    std::string out = random.pick(parts);
    for (size_t i = random.below(3); i > 0; --i) {
        out += random.pick(parts);
    }
    return out;
}

std::string className(Random& random)
{
    std::string out = identifier(random);
    for (size_t i = random.below(3); i > 0; --i) {
        out += "." + identifier(random);
    }
    return out;
}

// `prefix` goes in front of each element (VM options begin with '-').
std::string stringArray(Random& random, const std::string& without, bool emptyElements, const std::string& prefix = "")
{
    std::string out = "[";
    for (size_t i = random.below(4); i > 0; --i) {
        // A command line's argument holds one kind of quote at most.
        std::string excluded = without + (emptyElements ? (random.chance(50) ? "'" : "\"") : "");
        std::string element = emptyElements ? text(random, kNarrowCharacters, 10, excluded) : nonEmpty(random, excluded);
        out += (out.size() > 1 ? ", " : "") + quoted(prefix + element, random);
    }
    return out + "]";
}

std::string classPath(Random& random)
{
    static const std::vector<std::string> types = {"archive", "directory", "scan", "environment"};
    std::string out = "[";
    for (size_t i = 1 + random.below(4); i > 0; --i) {
        out += std::string(out.size() > 1 ? ", " : "") + "{ " + random.pick(types) + " = " +
               quoted(nonEmpty(random, ";"), random) + (random.chance(30) ? ", optional = true" : "") + " }";
    }
    return out + "]";
}

std::string searchSequence(Random& random)
{
    std::string out = "[";
    for (size_t i = 1 + random.below(4); i > 0; --i) {
        std::string entry;
        switch (random.below(4)) {
        case 0:
            entry = "directory = " + quoted(nonEmpty(random, ";:\\/"), random) +
                    (random.chance(30) ? ", fallback = \"relative-only\"" : "");
            break;
        case 1: entry = "environment = " + quoted(nonEmpty(random, ";"), random); break;
        case 2: entry = "path = true"; break;
        default: entry = "registry = true"; break;
        }
        out += std::string(out.size() > 1 ? ", " : "") + "{ " + entry + " }";
    }
    return out + "]";
}

std::string choiceWord(Random& random, const packager::DescriptorKey& key)
{
    std::vector<std::string> words;
    for (const packager::ChoiceWord* word = key.words; word->word != nullptr; ++word) {
        if (std::find(words.begin(), words.end(), word->word) == words.end()) {
            words.push_back(word->word);
        }
    }
    return random.pick(words);
}

// One included file: its name (one folder level at most, Latin-1 letters, empty files).
struct FileEntry {
    std::string name;  // UTF-8, '/' separated; empty: the source's own name
    std::string source;
    std::string content;
};

std::vector<FileEntry> includedFiles(Random& random)
{
    static const std::vector<std::string> steps = {"app.properties", "conf", "\xC3\xA9t\xC3\xA9.txt", "lib",
                                                   "a b", "x'y", "data.bin", "\xC3\x9F"};
    std::vector<FileEntry> files;
    std::set<std::string> taken;  // names and the folders they make, lower-cased
    for (size_t i = random.below(5); i > 0; --i) {
        std::string name = random.pick(steps);
        if (random.chance(40)) {
            name = random.pick(steps) + "/" + name;
        }
        std::string folder = name.substr(0, name.find('/'));
        std::string lower = name;
        std::transform(lower.begin(), lower.end(), lower.begin(), [](char c) { return static_cast<char>(std::tolower(c)); });
        std::string lowerFolder = lower.substr(0, lower.find('/'));
        bool nested = name.find('/') != std::string::npos;
        if (taken.count("file:" + lower) != 0 || taken.count("folder:" + lower) != 0 ||
            (nested && taken.count("file:" + lowerFolder) != 0)) {
            continue;
        }
        taken.insert("file:" + lower);
        if (nested) {
            taken.insert("folder:" + lowerFolder);
        }
        FileEntry file;
        file.source = "source" + std::to_string(files.size()) + (random.chance(30) ? "-\xC3\xA9" : "") + ".bin";
        file.name = name;
        size_t size = random.chance(25) ? 0 : random.below(5000);
        for (size_t k = 0; k < size; ++k) {
            file.content += static_cast<char>(random.below(256));
        }
        files.push_back(file);
    }
    return files;
}

struct Case {
    std::string descriptor;
    std::vector<FileEntry> files;
};

// A valid descriptor that gives a value to a random part of every key.
Case randomDescriptor(Random& random)
{
    using packager::KeyKind;
    Case result;
    std::string& d = result.descriptor;
    std::string kindWord;
    std::string section;
    for (const packager::DescriptorKey& key : packager::descriptorKeys()) {
        std::string name = key.section;
        if (name == "files" || name == "records") {
            continue;
        }
        bool required = key.required != nullptr;
        if (!required && !random.chance(55)) {
            continue;
        }
        std::string value;
        switch (key.kind) {
        case KeyKind::text:
            value = quoted(name == "service" && std::string(key.key) == "name" ? serviceName(random)
                           : required                                       ? nonEmpty(random)
                                                                            : text(random, kNarrowCharacters, 16),
                           random);
            break;
        case KeyKind::flag:
        case KeyKind::setting: value = random.chance(50) ? "true" : "false"; break;
        case KeyKind::integer: {
            int64_t low = key.minimum;
            int64_t high = key.maximum;
            int64_t span = high - low + 1;
            value = std::to_string(random.chance(20) ? (random.chance(50) ? low : high)
                                                     : low + static_cast<int64_t>(random.engine() % span));
            break;
        }
        case KeyKind::list: value = stringArray(random, std::string(1, key.separator), false); break;
        case KeyKind::commandLine:
            if (name == "vm") {
                value = random.chance(30) ? quoted(vmOptionsText(random), random) : stringArray(random, "", true, "-");
                break;
            }
            value = random.chance(30) ? quoted(text(random, kNarrowCharacters, 20), random)
                                      : stringArray(random, "", true);
            break;
        case KeyKind::version: continue;  // below, as a pair
        case KeyKind::choice:
            value = "\"" + choiceWord(random, key) + "\"";
            if (name == "launcher") {
                kindWord = value;
            }
            break;
        case KeyKind::className: value = quoted(className(random), random); break;
        case KeyKind::directoryName: value = quoted(random.pick(std::vector<std::string>{"", "server", "client", "\xC3\xA9"}), random); break;
        // Without "%": "%NAME%" in an output file's name is refused (output_keys_test.cpp).
        case KeyKind::outputFile: value = quoted(text(random, kNarrowCharacters, 16, "\n\t\x01%"), random); break;
        case KeyKind::classPath: value = classPath(random); break;
        case KeyKind::searchSequence: value = searchSequence(random); break;
        case KeyKind::wideText: value = quoted(text(random, kWideCharacters, 20), random); break;
        case KeyKind::translations: {
            std::string table = "{ ";
            std::vector<std::string> codes = {"", "de", "de_CH", "fr", "pt_BR"};
            for (size_t i = 0; i < codes.size(); ++i) {
                if (random.chance(50)) {
                    table += std::string(table.size() > 2 ? ", " : "") + "\"" + codes[i] + "\" = " +
                             quoted(text(random, kWideCharacters, 12), random);
                }
            }
            value = table + " }";
            break;
        }
        case KeyKind::language: value = "\"" + random.pick(std::vector<std::string>{"en", "de", "fr"}) + "\""; break;
        case KeyKind::message: value = quoted(text(random, kNarrowCharacters, 30), random); break;
        case KeyKind::account:
            value = quoted(random.pick(std::vector<std::string>{"LocalSystem", "LocalService", "NetworkService", "virtual",
                                                                 "CORP\\svc", ".\\me", "CORP\\gmsa$", "D\xC3\xA9v\\x"}),
                           random);
            break;
        case KeyKind::recovery: {
            std::string table = "{ ";
            if (random.chance(60)) {
                table += "restart_after = " + std::to_string(random.below(86401));
            }
            if (random.chance(60)) {
                table += std::string(table.size() > 2 ? ", " : "") + "reset_after = " + std::to_string(random.below(31536001));
            }
            if (random.chance(60)) {
                table += std::string(table.size() > 2 ? ", " : "") + "non_crash_failures = " + (random.chance(50) ? "true" : "false");
            }
            value = table + " }";
            break;
        }
        default: continue;
        }
        if (name != section) {
            d += "\n[" + name + "]\n";
            section = name;
        }
        d += std::string(key.key) + " = " + value + "\n";
    }
    // Keys whose values depend on each other: a start other than the kind's, delays in
    // order, versions in order, a roll for an age limit or compression.
    size_t at = d.find("\nstart = \"");
    if (at != std::string::npos && !kindWord.empty() && kindWord != "\"service\"") {
        d.replace(at, d.find('\n', at + 1) - at, "\nstart = \"demand\"");
    }
    size_t first = d.find("\nrestart_delay = ");
    size_t longest = d.find("\nrestart_delay_max = ");
    if (first != std::string::npos || longest != std::string::npos) {
        auto cut = [&d](size_t from) { d.erase(from, d.find('\n', from + 1) - from); };
        if (longest != std::string::npos) {
            cut(longest);
        }
        first = d.find("\nrestart_delay = ");
        if (first != std::string::npos) {
            cut(first);
        }
        size_t service = d.find("[service]\n") + 10;
        int64_t low = static_cast<int64_t>(random.below(100));
        d.insert(service, "restart_delay = " + std::to_string(low) + "\nrestart_delay_max = " +
                              std::to_string(low + static_cast<int64_t>(random.below(86400 - 100))) + "\n");
    }
    // An age limit and compression need a roll by time.
    const bool aged = d.find("\nkeep_days = ") != std::string::npos && d.find("\nkeep_days = 0\n") == std::string::npos;
    if (aged || d.find("\ncompress = true\n") != std::string::npos) {
        size_t roll = d.find("\nroll = \"");
        if (roll != std::string::npos) {
            d.replace(roll, d.find('\n', roll + 1) - roll, "\nroll = \"daily\"");
        } else {
            d.insert(std::min(d.find("\nkeep_days = "), d.find("\ncompress = ")), "\nroll = \"daily\"");
        }
    }
    std::string versions;
    static const std::vector<std::string> older = {"", "1.8", "1.8.0_40", "11", "9"};
    static const std::vector<std::string> newer = {"", "17", "17.0.2+8", "21.0.1"};
    if (random.chance(60)) {
        versions += "min_version = " + quoted(random.pick(older), random) + "\n";
    }
    if (random.chance(60)) {
        versions += "max_version = " + quoted(random.pick(newer), random) + "\n";
    }
    if (!versions.empty()) {
        size_t java = d.find("[java]\n");
        if (java == std::string::npos) {
            d += "\n[java]\n" + versions;
        } else {
            d.insert(java + 7, versions);
        }
    }
    // Included files, and records no key sets.
    result.files = includedFiles(random);
    for (const FileEntry& file : result.files) {
        d += "\n[[files]]\nsource = " + quoted(file.source, random) + "\n";
        if (!random.chance(20) || file.name.find('/') != std::string::npos) {
            d += "name = " + quoted(file.name, random) + "\n";
        }
    }
    if (random.chance(40)) {
        d += "\n[records]\n";
        std::set<int32_t> used;
        for (size_t i = 1 + random.below(3); i > 0; --i) {
            int32_t id = 40000 + static_cast<int32_t>(random.below(1000));
            if (used.insert(id).second) {
                d += "\"" + std::to_string(id) + "\" = " + quoted(text(random, kNarrowCharacters, 20), random) + "\n";
            }
        }
    }
    return result;
}

// --- running the packager -----------------------------------------------------------------

std::string fileText(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void writeFile(const fs::path& path, const std::string& content)
{
    fs::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary);
    out << content;
}

struct PackagerRun {
    int code = -1;
    std::string err;
};

std::string shellQuoted(const fs::path& path)
{
    return "'" + path.string() + "'";
}

// `shell` goes in front of the command (such as a ulimit).
PackagerRun packager(const std::string& arguments, const fs::path& scratch, const std::string& shell = "")
{
    fs::path err = scratch / "stderr.txt";
    std::string command =
        shell + std::string(std::getenv("PACKAGER")) + " " + arguments + " >/dev/null 2>" + shellQuoted(err);
    int status = std::system(command.c_str());
    PackagerRun run;
    run.code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    run.err = fileText(err);
    fs::remove(err);
    return run;
}

// A synthetic PE32+ image of three sections whose last one ends the file.
std::string syntheticImage()
{
    std::string image(0xC00, static_cast<char>(0xCC));
    std::fill(image.begin(), image.begin() + 0x400, 0);
    auto put = [&image](size_t at, uint32_t value, int bytes) {
        for (int i = 0; i < bytes; ++i) {
            image[at + static_cast<size_t>(i)] = static_cast<char>(value >> (8 * i));
        }
    };
    image[0] = 'M';
    image[1] = 'Z';
    put(60, 0x80, 4);
    put(0x80, 0x00004550u, 4);
    put(0x86, 3, 2);
    put(0x94, 240, 2);
    const uint32_t sections[3][2] = {{0x400, 0x200}, {0x600, 0x400}, {0xA00, 0x200}};
    for (size_t i = 0; i < 3; ++i) {
        size_t entry = 0x80 + 24 + 240 + 40 * i;
        put(entry + 16, sections[i][1], 4);
        put(entry + 20, sections[i][0], 4);
    }
    return image;
}

struct Scratch {
    fs::path path;
    explicit Scratch(const std::string& name)
    {
        path = fs::temp_directory_path() / ("packager_fuzz_" + std::to_string(::getpid()) + "_" + name);
        fs::remove_all(path);
        fs::create_directories(path);
    }
    ~Scratch() { fs::remove_all(path); }
};

// Keeps a failing case's files for a look when PACKAGER_FUZZ_KEEP names a directory.
void keep(const fs::path& from, const std::string& name)
{
    const char* where = std::getenv("PACKAGER_FUZZ_KEEP");
    if (where != nullptr && *where != 0) {
        std::error_code ignored;
        fs::create_directories(fs::path(where), ignored);
        fs::copy(from, fs::path(where) / name, fs::copy_options::recursive | fs::copy_options::overwrite_existing,
                 ignored);
    }
}

// Every file below `root`, relative to it.
std::set<std::string> listing(const fs::path& root)
{
    std::set<std::string> names;
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(root)) {
        names.insert(entry.path().lexically_relative(root).generic_string());
    }
    return names;
}

class Fuzz : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (std::getenv("PACKAGER") == nullptr) {
            GTEST_SKIP() << "PACKAGER is not set";
        }
    }
};

// Writes a random case into `dir` and builds it; the launcher's path, or empty when the
// build failed (with a test failure naming the case).
fs::path buildCase(Random& random, const fs::path& dir, const std::string& label)
{
    Case c = randomDescriptor(random);
    writeFile(dir / "image.exe", syntheticImage());
    writeFile(dir / "service.toml", c.descriptor);
    for (const FileEntry& file : c.files) {
        writeFile(dir / fs::u8path(file.source), file.content);
    }
    fs::create_directories(dir / "first");
    PackagerRun built = packager("build " + shellQuoted(dir / "service.toml") + " " + shellQuoted(dir / "image.exe") + " " +
                             shellQuoted(dir / "first" / "l.exe") + " --no-runtime-library",
                         dir);
    if (built.code != 0) {
        ADD_FAILURE() << label << ": the random descriptor does not build: " << built.err << c.descriptor;
        keep(dir, label);
        return fs::path();
    }
    return dir / "first" / "l.exe";
}

// Inspects `launcher` into `into`, with the image and the files; false when that failed.
bool inspectInto(const fs::path& launcher, const fs::path& into, const fs::path& scratch, PackagerRun* run)
{
    fs::create_directories(into);
    *run = packager("inspect " + shellQuoted(launcher) + " --output " + shellQuoted(into / "service.toml") +
                        " --extract " + shellQuoted(into / "files") + " --image " + shellQuoted(into / "image.exe"),
                    scratch);
    return run->code == 0;
}

TEST_F(Fuzz, RandomDescriptorsComeBackByteForByteAndTextForText)
{
    uint64_t seed = setting("PACKAGER_FUZZ_SEED", 17);
    uint64_t cases = setting("PACKAGER_FUZZ_CASES", 200);
    Scratch scratch("roundtrip");
    size_t withFiles = 0;
    for (uint64_t index = 0; index < cases; ++index) {
        Random random(seed * 1000003u + index);
        std::string label = "seed " + std::to_string(seed) + " case " + std::to_string(index);
        fs::path dir = scratch.path / std::to_string(index);
        fs::path launcher = buildCase(random, dir, label);
        if (launcher.empty()) {
            continue;
        }
        PackagerRun run;
        if (!inspectInto(launcher, dir / "back", dir, &run) || run.err.find("note:") != std::string::npos) {
            ADD_FAILURE() << label << ": inspect: " << run.code << " " << run.err << fileText(dir / "service.toml");
            keep(dir, label);
            continue;
        }
        fs::create_directories(dir / "second");
        PackagerRun again = packager("build " + shellQuoted(dir / "back" / "service.toml") + " " +
                                 shellQuoted(dir / "back" / "image.exe") + " " + shellQuoted(dir / "second" / "l.exe") +
                                 " --no-runtime-library",
                             dir);
        PackagerRun twice;
        bool same = again.code == 0 && fileText(launcher) == fileText(dir / "second" / "l.exe") &&
                    inspectInto(dir / "second" / "l.exe", dir / "again", dir, &twice) &&
                    fileText(dir / "back" / "service.toml") == fileText(dir / "again" / "service.toml");
        if (!same) {
            ADD_FAILURE() << label << ": the round trip differs: " << again.err << twice.err
                          << fileText(dir / "service.toml");
            keep(dir, label);
            continue;
        }
        withFiles += fs::exists(dir / "back" / "files");
        fs::remove_all(dir);
    }
    std::printf("seed %llu: %llu round trips, %zu of them with included files\n", static_cast<unsigned long long>(seed),
                static_cast<unsigned long long>(cases), withFiles);
    // The generator reaches what it is for.
    if (cases >= 50) {
        EXPECT_GT(withFiles, cases / 4);
    }
}

// A hostile name of 11 bytes, put in place of the placeholder name "zQ7zQ7zQ7zQ".
const std::vector<std::string> kCraftedNames = {
    "..\\..\\EVIL1", "C:\\x\\EVIL12", "\\\\srv\\EVIL1", "/tmp/EVIL12", "a\\..\\EVIL12", "EVIL1\\\\abcd",
    "CON\\EVIL123", "nul.EVIL123", "EVIL12345. ", "EVIL1\x01" "abcde", "EVIL\"<>|?*x", "com1\\EVIL12",
    ".\\EVIL12345", "EVIL12\\..\\x", "EVIL1234567", "EVIL\xE9" "567890",
};
const char kPlaceholder[] = "zQ7zQ7zQ7zQ";
const char kAbsoluteEvil[] = "/tmp/EVIL12";  // where the absolute crafted name leads

std::string damaged(Random& random, std::string launcher, size_t imageSize)
{
    size_t at = imageSize + random.below(launcher.size() - imageSize);
    switch (random.below(5)) {
    case 0:  // cut off
        launcher.resize(at);
        break;
    case 1:  // bytes flipped
        for (size_t i = 1 + random.below(4); i > 0; --i) {
            launcher[imageSize + random.below(launcher.size() - imageSize)] ^= static_cast<char>(1 + random.below(255));
        }
        break;
    case 2:  // bytes inserted
        launcher.insert(at, std::string(1 + random.below(8), static_cast<char>(random.below(256))));
        break;
    case 3: {  // a length made huge or negative
        at = std::min(at, launcher.size() - 4);
        uint32_t value = random.chance(50) ? 0xFFFFFFFFu : 0x7FFFFFF0u;
        for (int i = 0; i < 4; ++i) {
            launcher[at + static_cast<size_t>(i)] = static_cast<char>(value >> (8 * i));
        }
        break;
    }
    default: {  // a crafted included-file name
        size_t name = launcher.find(kPlaceholder);
        if (name != std::string::npos) {
            launcher.replace(name, 11, random.pick(kCraftedNames));
        }
    }
    }
    return launcher;
}

TEST_F(Fuzz, DamagedLaunchersFailWithOneLineAndWriteNothingOrGiveADescriptorThatBuilds)
{
    uint64_t seed = setting("PACKAGER_FUZZ_SEED", 17);
    uint64_t cases = setting("PACKAGER_FUZZ_DAMAGED", 300);
    Scratch scratch("damaged");
    // A few launchers to damage, each with the placeholder name among its files.
    std::vector<std::string> launchers;
    for (uint64_t i = 0; launchers.size() < 4 && i < 40; ++i) {
        Random random(seed * 7919u + i);
        fs::path dir = scratch.path / ("base" + std::to_string(i));
        Case c = randomDescriptor(random);
        c.descriptor += "\n[[files]]\nsource = \"placeholder.txt\"\nname = \"zQ7zQ7zQ7zQ\"\n";
        writeFile(dir / "service.toml", c.descriptor);
        writeFile(dir / "placeholder.txt", "placeholder");
        writeFile(dir / "image.exe", syntheticImage());
        for (const FileEntry& file : c.files) {
            writeFile(dir / fs::u8path(file.source), file.content);
        }
        PackagerRun built = packager("build " + shellQuoted(dir / "service.toml") + " " + shellQuoted(dir / "image.exe") + " " +
                                 shellQuoted(dir / "l.exe") + " --no-runtime-library",
                             dir);
        ASSERT_EQ(built.code, 0) << built.err << c.descriptor;
        launchers.push_back(fileText(dir / "l.exe"));
    }
    size_t refused = 0;
    for (uint64_t index = 0; index < cases; ++index) {
        Random random(seed * 1000033u + index);
        std::string label = "seed " + std::to_string(seed) + " damaged " + std::to_string(index);
        fs::path dir = scratch.path / std::to_string(index);
        fs::path work = dir / "work";
        std::error_code ignored;
        fs::remove(kAbsoluteEvil, ignored);  // only ever made by a faulty inspect
        writeFile(work / "l.exe", damaged(random, random.pick(launchers), syntheticImage().size()));
        PackagerRun run = packager("inspect " + shellQuoted(work / "l.exe") + " --output " + shellQuoted(work / "out.toml") +
                               " --extract " + shellQuoted(work / "ex") + " --image " + shellQuoted(work / "img.exe"),
                           dir);
        std::set<std::string> written = listing(dir);
        bool outside = std::any_of(written.begin(), written.end(),
                                   [](const std::string& name) { return name.rfind("work", 0) != 0; }) ||
                       fs::exists(dir.parent_path() / "EVIL1") || fs::exists(kAbsoluteEvil);
        if (run.code != 0) {
            ++refused;
            bool oneLine = run.err.rfind("packager: ", 0) == 0 && run.err.find('\n') == run.err.size() - 1;
            bool nothing = written == std::set<std::string>{"work", "work/l.exe"};
            if (run.code != 2 || !oneLine || !nothing) {
                ADD_FAILURE() << label << ": exit " << run.code << ", " << run.err << "written: " << written.size();
                keep(dir, label);
            }
        } else {
            PackagerRun rebuilt = packager("build " + shellQuoted(work / "out.toml") + " " + shellQuoted(work / "img.exe") +
                                       " " + shellQuoted(work / "r.exe") + " --no-runtime-library",
                                   dir);
            if (outside || rebuilt.code != 0) {
                ADD_FAILURE() << label << ": inspect succeeded, but " << (outside ? "wrote outside its folder" : "")
                              << rebuilt.err;
                keep(dir, label);
            }
        }
        EXPECT_FALSE(outside) << label;
        fs::remove_all(dir);
        fs::remove(kAbsoluteEvil, ignored);
    }
    std::printf("seed %llu: %llu damaged launchers, %zu refused, %llu inspected into a descriptor that builds\n",
                static_cast<unsigned long long>(seed), static_cast<unsigned long long>(cases), refused,
                static_cast<unsigned long long>(cases - refused));
    // Damage is mostly found, but not always (a flipped byte in a text is a valid text).
    if (cases >= 50) {
        EXPECT_GT(refused, cases / 10);
        EXPECT_LT(refused, cases);
    }
}

// --- hostile descriptors -----------------------------------------------------------------

const char kServiceHead[] = "[service]\nname = \"Demo\"\n[application]\nmain_class = \"a.B\"\n"
                            "class_path = [ { archive = \"a.jar\" } ]\n";

std::string repeated(const std::string& text, size_t count)
{
    std::string out;
    out.reserve(text.size() * count);
    for (size_t i = 0; i < count; ++i) {
        out += text;
    }
    return out;
}

bool wixlInstalled()
{
    return std::system("command -v wixl >/dev/null 2>&1") == 0;
}

// A hostile descriptor, `packager <command> service.toml image.exe out.<exe|msi>` in a
// folder of its own: either refused with exit code 2, one line that begins with `error`
// and nothing written, or (`error` empty) built.
struct HostileCase {
    std::string what;
    std::string command;     // "build" or "msi"
    std::string descriptor;  // behind kServiceHead
    std::string error;       // the line behind "<descriptor path>:", or its beginning
};

void expectRefusedOrBuilt(const HostileCase& c, const fs::path& dir, const std::set<std::string>& inputs)
{
    fs::path output = dir / (c.command == "msi" ? "out.msi" : "out.exe");
    // The packager runs as a child process, so that a crash fails the case and not the test
    // run; and it may write no more than a few MB, so that a refusal that comes only after
    // writing fails at once (SIGXFSZ) rather than after writing gigabytes.
    PackagerRun run = packager(c.command + " " + shellQuoted(dir / "service.toml") + " " + shellQuoted(dir / "image.exe") +
                                   " " + shellQuoted(output) + " --no-runtime-library",
                               dir, "ulimit -f 8192; ");
    if (c.error.empty()) {
        EXPECT_EQ(0, run.code) << c.what << ": " << run.err;
        EXPECT_TRUE(fs::is_regular_file(output)) << c.what;
        return;
    }
    EXPECT_EQ(2, run.code) << c.what << ": " << run.err.substr(0, 300);
    EXPECT_EQ(0u, run.err.rfind((dir / "service.toml").string() + ":" + c.error, 0)) << c.what << ": " << run.err;
    EXPECT_EQ(1, std::count(run.err.begin(), run.err.end(), '\n')) << c.what << ": " << run.err;
    EXPECT_EQ(inputs, listing(dir)) << c.what;
}

TEST_F(Fuzz, DeepNestingIsRefusedWithOneLineBeforeItIsParsed)
{
    const size_t deep = 100000;
    const std::string tooDeep =
        ": error: tables, arrays and dotted keys nest more than 32 levels deep here; a descriptor needs no more than 4";
    const std::string records = "[records]\n";
    // Each refused where it first goes below level 32 (the root is level 0, [records] 1):
    // at its key or header, or at the value or element that is that deep.
    std::vector<HostileCase> cases = {
        {"a dotted key", "build", records + repeated("k.", deep) + "k = \"1\"\n", "7:1" + tooDeep},
        {"a table header", "build", "[" + repeated("k.", deep) + "k]\nx = 1\n", "6:1" + tooDeep},
        {"an array of tables", "build", "[[" + repeated("k.", deep) + "k]]\n", "6:1" + tooDeep},
        {"arrays", "build", records + "a = " + repeated("[", deep) + repeated("]", deep) + "\n", "7:36" + tooDeep},
        {"inline tables", "build", records + "a = " + repeated("{b=", deep) + "1" + repeated("}", deep) + "\n",
         "7:96" + tooDeep},
        {"arrays of inline tables", "build",
         records + "a = " + repeated("[{b=", deep / 2) + "1" + repeated("}]", deep / 2) + "\n", "7:66" + tooDeep},
        {"a dotted key in an inline table", "build", records + "a = [{" + repeated("k.", deep) + "k = 1}]\n",
         "7:7" + tooDeep},
        // 32 levels are read (and refused for what they say), and brackets, braces and dots
        // inside texts and comments are no nesting at all.
        {"32 levels", "build", records + repeated("k.", 30) + "k = \"1\"\n",
         "7:1: error: records.k: a record key must be a decimal identifier"},
        {"brackets in texts and comments", "build",
         records + "40000 = \"" + repeated("[{", deep) + "\\\"\" # " + repeated("[", deep) + "\n40001 = '''" +
             repeated("[\n", 1000) + "'''\n40002 = '" + repeated("k.", deep) + "'\n40003 = \"\"\"" +
             repeated("{\\\"\"\"", 1000) + "\"\"\"\n",
         ""},
    };
    if (wixlInstalled()) {
        cases.push_back({"a dotted key, for a package", "msi",
                         records + repeated("k.", deep) + "k = \"1\"\n[installer]\nmanufacturer = \"M\"\nversion = \"1.0.0\"\n",
                         "7:1" + tooDeep});
    }
    Scratch scratch("deep");
    for (size_t i = 0; i < cases.size(); ++i) {
        fs::path dir = scratch.path / std::to_string(i);
        writeFile(dir / "service.toml", kServiceHead + cases[i].descriptor);
        writeFile(dir / "image.exe", syntheticImage());
        expectRefusedOrBuilt(cases[i], dir, {"image.exe", "service.toml"});
    }
}

TEST_F(Fuzz, IncludedFilesBeyondWhatALauncherHoldsAreRefusedBeforeAnythingIsWritten)
{
    // Sparse files: their measured sizes add up to far more than the disk holds.
    const uint64_t largest = blockformat::kLargestLauncherSize;
    const std::string limit = " does not fit: with it the launcher passes the " + std::to_string(largest) +
                              " bytes a launcher can hold";
    std::string manyEntries;
    for (int i = 0; i < 100000; ++i) {
        manyEntries += "[[files]]\nsource = \"big.bin\"\nname = \"f" + std::to_string(i) + "\"\n";
    }
    const std::string oneEntry = "[[files]]\nsource = \"big.bin\"\n";
    const std::string installer = "[installer]\nmanufacturer = \"M\"\nversion = \"1.0.0\"\n";
    struct SizeCase {
        HostileCase run;
        uint64_t fileSize;
    };
    // Entry n is at line 6 + 3 n; the 410th 5 MB file is the first beyond the limit.
    std::vector<SizeCase> cases = {
        {{"100,000 entries of a 5 MB file", "build", manyEntries, "1233:1: error: files[409]" + limit}, 5u << 20},
        {{"a file of 2 GB", "build", oneEntry, "6:1: error: files[0]" + limit}, largest + 1},
        // The file alone would fit: the image and the records are counted too.
        {{"a file that fits only without the image", "build", oneEntry, "6:1: error: files[0]" + limit}, largest - 8 - 1000},
    };
    if (wixlInstalled()) {
        cases.push_back({{"100,000 entries of a 5 MB file, for a package", "msi", installer + manyEntries,
                          "1236:1: error: files[409]" + limit},
                         5u << 20});
    }
    Scratch scratch("large");
    for (size_t i = 0; i < cases.size(); ++i) {
        fs::path dir = scratch.path / std::to_string(i);
        writeFile(dir / "service.toml", kServiceHead + cases[i].run.descriptor);
        writeFile(dir / "image.exe", syntheticImage());
        writeFile(dir / "big.bin", "");
        fs::resize_file(dir / "big.bin", cases[i].fileSize);
        expectRefusedOrBuilt(cases[i].run, dir, {"big.bin", "image.exe", "service.toml"});
    }
}

} // namespace
