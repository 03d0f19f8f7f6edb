// Corrupted launchers: a realistic packaged launcher (configuration block, locale groups,
// included files) with a bit flipped, a byte changed, the file cut, or a 32- or 64-bit
// field set to an extreme value anywhere behind the image, run with "/run" on a stand-in
// runtime that records the VM options and main's argument array.
//
// No reader can see every damage (the block has no checksum: a changed letter in a text
// is a valid block), so the launcher is held to what the block parser says the damaged
// file holds — the parser the launcher and the packager share — and the two must never
// disagree:
//   - the block does not parse: exit code 1 and exactly the parser's error text
//     ("Internal Error: readString", ...);
//   - the records are the sound ones but an included file is cut off: exit code 1 with
//     "Internal Error: readLong" (its length cut) or the configured internal error with
//     code 16 (its content cut);
//   - the sound records and the same files to extract: exit code 0, the sound launcher's
//     record and standard error, and exactly the included files the parser read (their
//     contents may have changed: nothing says what they should be);
//   - other records, or other files to extract (a file read with a length of 0 or less
//     is not written, and the class path lists the extracted jars): exactly what a
//     launcher freshly packaged from the parser's reading does (exit code, standard
//     error, record, extracted files), run at the same place.
// Besides, every run ends within 20 s, with exit code 0 or 1 and a message for 1, leaves
// nothing in its TMP (but the per-run directory of extracted files after exit code 0)
// and writes nothing beside the launcher. What differs between two runs of the same
// launcher, the per-run directory's name and the position where its extraction ended
// (checked against the parser's), is normalised.
//
// MUTATION_CASES (default 300) and MUTATION_SEED (default 20261207) choose the run,
// MUTATION_JOBS (default 2) runs that many cases at a time, each in a directory of its own;
// MUTATION_ONLY=<n> runs case n of the seed alone (with MUTATION_LOG=1 also printing the
// launcher's diagnostic log of each run). scripts/mutation-run runs any number with any
// seed and prints the counts.
#include "support/launch_environment.h"
#include "mutation_oracle.h"

#include "format/block_writer.h"
#include "format/record_ids.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <set>
#include <thread>

namespace {

using mutation::Reading;

unsigned long environmentNumber(const char* name, unsigned long fallback)
{
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0' ? std::strtoul(value, nullptr, 10) : fallback;
}

blockformat::ConfigBlock corruptibleBlock()
{
    blockformat::ConfigBlock block = serviceBlock();
    block.set(128, "B..\\jre;");  // no registry: each case depends on its own bytes only
    block.set(121, "S1${launcher:sys.launcherTempDirectory}\\lib;");  // the extracted jar, mandatory
    block.localeGroups = {{"de", {{20017, u"Dienst"}}}, {"", {{20017, u"Service"}}}};
    std::vector<uint8_t> jar(7000);
    for (size_t i = 0; i < jar.size(); ++i) jar[i] = static_cast<uint8_t>(i * 13);
    block.addIncludedFiles({{"lib\\demo.jar", jar}, {"empty.txt", {}}, {"b.jar", {1, 2, 3}}});
    return block;
}

// What one run showed, normalised.
struct Observation {
    std::string trouble;  // a hang, a bad exit code, files left behind; "" when none
    DWORD exitCode = 0;
    std::string err;      // standard error, CR LF as LF
    std::string record;   // the stand-in's record file
    std::map<std::string, std::vector<uint8_t>> extracted;  // the per-run directory after exit code 0

    bool operator==(const Observation& other) const
    {
        return exitCode == other.exitCode && err == other.err && record == other.record && extracted == other.extracted;
    }
};

std::string firstLine(const std::string& text)
{
    return text.substr(0, text.find('\n'));
}

// The first difference of two observations, for a failure message.
std::string difference(const Observation& seen, const Observation& expected)
{
    if (seen.exitCode != expected.exitCode) {
        return "exit code " + std::to_string(seen.exitCode) + ", expected " + std::to_string(expected.exitCode) +
               "\n  standard error: " + seen.err + "\n  expected: " + expected.err;
    }
    if (seen.err != expected.err) {
        return "standard error:\n" + seen.err + "\n  expected:\n" + expected.err;
    }
    if (seen.record != expected.record) {
        std::vector<std::string> a = linesOf(seen.record);
        std::vector<std::string> b = linesOf(expected.record);
        size_t i = 0;
        while (i < a.size() && i < b.size() && a[i] == b[i]) ++i;
        auto at = [](const std::vector<std::string>& lines, size_t n) {
            return n < lines.size() ? lines[n].substr(0, 300) : std::string("(no more lines)");
        };
        return "stand-in record, line " + std::to_string(i + 1) + ":\n  " + at(a, i) + "\n  expected:\n  " + at(b, i);
    }
    std::string names = "extracted files:";
    for (const auto& [name, content] : seen.extracted) names += " " + name + " (" + std::to_string(content.size()) + ")";
    names += "\n  expected:";
    for (const auto& [name, content] : expected.extracted) {
        names += " " + name + " (" + std::to_string(content.size()) + ")";
    }
    return names;
}

// Replaces every `<tmp>\qll<hex>.tmp_dir<digits>[_m]` (the per-run directory) by one name.
std::string withRunDirectoryNamed(std::string text, const std::string& tmp)
{
    const std::string prefix = tmp + "\\qll";
    for (size_t at = text.find(prefix); at != std::string::npos; at = text.find(prefix, at + 1)) {
        size_t end = at + prefix.size();
        while (end < text.size() && std::isxdigit(static_cast<unsigned char>(text[end]))) ++end;
        if (text.compare(end, 8, ".tmp_dir") != 0) continue;
        end += 8;
        while (end < text.size() && std::isdigit(static_cast<unsigned char>(text[end]))) ++end;
        if (text.compare(end, 2, "_m") == 0) end += 2;
        text.replace(at + tmp.size() + 1, end - at - tmp.size() - 1, "<run directory>");
    }
    return text;
}

// The position where the extraction ended, when it is the one the parser reads.
std::string withUnextractedPositionChecked(std::string record, uint64_t expected)
{
    const std::string option = "option -Dquill.unextractedPosition=";
    size_t at = record.find(option);
    if (at == std::string::npos) return record;
    at += option.size();
    size_t end = record.find('\n', at);
    if (record.compare(at, end - at, std::to_string(static_cast<int32_t>(expected))) == 0) {
        record.replace(at, end - at, "<as read>");
    }
    return record;
}

std::set<std::wstring> entriesOf(const std::wstring& directory)
{
    std::vector<std::wstring> names = listNames(directory, L"*");
    return std::set<std::wstring>(names.begin(), names.end());
}

void readTree(const std::wstring& directory, const std::string& prefix,
              std::map<std::string, std::vector<uint8_t>>& files)
{
    for (const std::wstring& name : listNames(directory, L"*")) {
        const std::wstring path = directory + L"\\" + name;
        if (GetFileAttributesW(path.c_str()) & FILE_ATTRIBUTE_DIRECTORY) {
            readTree(path, prefix + toUtf8(name) + "\\", files);
        } else {
            files[prefix + toUtf8(name)] = readBytes(path);
        }
    }
}

// One application directory (app\bin\app.exe, a stand-in runtime in app\jre), a TMP of
// its own and the stand-in's record, for every run of the test.
class Bench {
public:
    Bench()
    {
        RuntimeLayout layout;
        layout.jvmDll = "jvm.dll";
        ready_ = !layOutRuntime(dir_.file(L"app\\jre"), layout).empty() && makeDirectories(dir_.file(L"app\\bin")) &&
                 makeDirectories(dir_.file(L"tmp"));
        jnistandin::Behaviour behaviour;
        behaviour.record = toUtf8(dir_.file(L"jvm.record"));
        behaviour.main = "return";
        ready_ = ready_ && jnistandin::writeControl(dir_.file(L"jvm.control"), behaviour);
    }
    ~Bench() { forgetRegistryEntries(dir_.path()); }

    bool ready() const { return ready_; }
    Observation sound;  // the sound launcher's run here
    int restarts = 0;   // starts tried again because no process started

    Observation observe(const std::vector<uint8_t>& launcher, const Reading& reading)
    {
        const std::wstring exe = dir_.file(L"app\\bin\\app.exe");
        const std::wstring tmp = dir_.file(L"tmp");
        const std::wstring record = dir_.file(L"jvm.record");
        DeleteFileW(record.c_str());
        Observation seen;
        if (!writeBytes(exe, launcher)) {
            seen.trouble = "could not write the launcher";
            return seen;
        }
        ProcessOptions options;
        options.timeoutMs = 20000;
        options.setEnv[L"STANDIN_JVM_CONTROL"] = dir_.file(L"jvm.control");
        for (const wchar_t* name : {L"JAVA_HOME", L"JDK_HOME", L"QUILL_JAVA_HOME", L"DEPLOYKIT_JAVA_HOME",
                                    L"STANDIN_JVM_RECORD"}) {
            options.unsetEnv.push_back(name);
        }
        // Now and then (a few times in 10,000) Wine does not start a process at all: that
        // says nothing about the launcher, so the start is tried again, and counted.
        LauncherRun run;
        for (int attempt = 0; attempt < 3 && !run.result.started; ++attempt) {
            if (attempt > 0) ++restarts;
            run = runLauncherIn(exe, {L"/run", L"first", L"\"second argument\""}, tmp, withLog_, options);
        }
        if (withLog_) {
            std::printf("--- diagnostic log\n%s--- end of log\n", run.log.c_str());
            DeleteFileW(run.logPath.c_str());
        }
        seen.exitCode = run.result.exitCode;
        seen.err = withRunDirectoryNamed(run.shown, narrowPath(tmp));
        seen.record = withUnextractedPositionChecked(withRunDirectoryNamed(readText(record), narrowPath(tmp)),
                                                     reading.unextractedPosition);

        // Only a per-run directory after exit code 0 may stay in TMP; it is read and removed.
        std::vector<std::wstring> left = listNames(tmp, L"*");
        if (seen.exitCode == 0 && left.size() == 1 && left[0].compare(0, 3, L"qll") == 0 &&
            left[0].find(L".tmp_dir") != std::wstring::npos) {
            readTree(tmp + L"\\" + left[0], "", seen.extracted);
            removeTree(tmp + L"\\" + left[0]);
            left.clear();
        }
        if (!run.result.started) {
            seen.trouble = "the launcher's process did not start, three times";
        } else if (run.result.timedOut) {
            seen.trouble = "hang: killed after 20 s";
        } else if (seen.exitCode != 0 && seen.exitCode != 1) {
            seen.trouble = "exit code " + std::to_string(seen.exitCode);
        } else if (seen.exitCode == 1 && run.err.empty()) {
            seen.trouble = "exit code 1 without a message";
        } else if (!left.empty()) {
            seen.trouble = "left behind in TMP: " + toUtf8(left.front());
        } else if (entriesOf(dir_.file(L"app")) != std::set<std::wstring>{L"bin", L"jre"} ||
                   entriesOf(dir_.file(L"app\\bin")) != std::set<std::wstring>{L"app.exe"}) {
            seen.trouble = "wrote beside the launcher";
        }
        // The next run starts from the same place, whatever this one did.
        for (const std::wstring& name : listNames(tmp, L"*")) removeTree(tmp + L"\\" + name);
        for (const std::wstring& name : listNames(dir_.file(L"app"), L"*")) {
            if (name != L"bin" && name != L"jre") removeTree(dir_.file(L"app\\" + name));
        }
        for (const std::wstring& name : listNames(dir_.file(L"app\\bin"), L"*")) {
            if (name != L"app.exe") removeTree(dir_.file(L"app\\bin\\" + name));
        }
        return seen;
    }

private:
    ScratchDirectory dir_;
    bool ready_ = false;
    bool withLog_ = std::getenv("MUTATION_LOG") != nullptr;
};

// The configured message of `id` with its argument, as the launcher shows it.
std::string configuredMessage(const blockformat::ConfigBlock& block, int32_t id, const std::string& argument)
{
    const std::string* text = block.findNarrow(id);
    std::string message = text == nullptr ? std::string() : *text;
    size_t at = message.find("{0}");
    if (at != std::string::npos) message.replace(at, 3, argument);
    return message + "\n";
}

bool sameNames(const std::map<std::string, std::vector<uint8_t>>& a, const std::map<std::string, std::vector<uint8_t>>& b)
{
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](const auto& x, const auto& y) { return x.first == y.first; });
}

// What the launcher must do with a damaged file, by the parser's reading of it.
struct Expectation {
    Observation run;
    std::string reading;  // what the parser reads, for a failure message
    std::string outcome;  // the class of a case that passes
};

Expectation expectationFor(const Reading& damaged, const Reading& intact, const Observation& sound,
                           const std::vector<uint8_t>& bytes, Bench& bench)
{
    Expectation expected;
    const bool soundRecords = mutation::sameRecords(damaged.block, intact.block);
    if (damaged.blockError != blockformat::BlockError::none) {
        expected.run.exitCode = 1;
        expected.run.err = std::string(blockformat::blockErrorText(damaged.blockError)) + "\n";
        expected.reading = "a damaged block (" + firstLine(expected.run.err) + ")";
        expected.outcome = "detected: " + firstLine(expected.run.err);
    } else if (soundRecords && !damaged.filesRead) {
        expected.run.exitCode = 1;
        expected.run.err = damaged.lengthCut
                               ? std::string(blockformat::blockErrorText(blockformat::BlockError::readLong)) + "\n"
                               : configuredMessage(damaged.block, cfg::msgInternalError, "16");
        expected.reading = "the sound records and an included file cut off";
        expected.outcome = "detected: " + firstLine(expected.run.err) + " (included file cut off)";
    } else if (soundRecords && sameNames(mutation::extractedFiles(damaged), sound.extracted)) {
        expected.run = sound;
        expected.run.extracted = mutation::extractedFiles(damaged);
        const bool soundFiles = mutation::sameContents(damaged.block, intact.block) &&
                                damaged.unextractedPosition == intact.unextractedPosition;
        expected.reading = soundFiles ? "the sound records and files" : "the sound records and other file contents";
        expected.outcome = soundFiles ? "unchanged records: included files as packaged"
                                      : "unchanged records: other file contents";
    } else {
        // Other records, or other files to extract (the class path lists the extracted
        // jars): what a launcher packaged from them does.
        const std::vector<uint8_t> fresh = mutation::repackaged(bytes, damaged);
        expected.run = bench.observe(fresh, mutation::readAsParser(fresh));
        const std::string exitCode = "exit code " + std::to_string(expected.run.exitCode);
        expected.reading = std::string(soundRecords ? "the sound records and other files to extract" : "other records") +
                           " (a launcher packaged from them: " + exitCode + ")";
        expected.outcome = soundRecords ? "unchanged records: other files to extract, read alike (" + exitCode + ")"
                                        : "changed records read alike: " + exitCode +
                                              (expected.run == sound ? ", as the sound launcher" : "");
    }
    return expected;
}

// The sound launcher runs the application with the stand-in, the same way twice; that run
// is the bench's `sound` observation.
::testing::AssertionResult runsSoundly(Bench& bench, const std::vector<uint8_t>& launcher, const Reading& intact)
{
    const Observation sound = bench.observe(launcher, intact);
    const char* missing = nullptr;
    if (!sound.trouble.empty() || sound.exitCode != 0 || !sound.err.empty()) {
        missing = "exit code 0 without a message";
    } else if (sound.record.find("JNI_CreateJavaVM\n") == std::string::npos) {
        missing = "VM";
    } else if (sound.record.find("\\<run directory>\\lib\\demo.jar\n") == std::string::npos) {
        missing = "extracted jar on the class path";
    } else if (sound.record.find("element first\nelement second argument\n") == std::string::npos) {
        missing = "argument array with the command line's arguments";
    } else if (sound.extracted != mutation::extractedFiles(intact)) {
        missing = "included files extracted whole";
    }
    if (missing != nullptr) {
        return ::testing::AssertionFailure() << "the sound launcher: no " << missing << "\n" << sound.trouble
                                             << "\nexit code " << sound.exitCode << "\n" << sound.err << "\n"
                                             << sound.record;
    }
    const Observation again = bench.observe(launcher, intact);
    if (!(again == sound)) {
        return ::testing::AssertionFailure() << "two runs of the sound launcher differ: " << difference(again, sound);
    }
    bench.sound = sound;
    return ::testing::AssertionSuccess();
}

// One case: the mutation, its runs and the verdict.
struct Verdict {
    std::string kind;
    std::string region;
    std::string outcome;  // the class; "failed: ..." for a failure
    std::string line;     // the case's line of the report
    std::string failure;  // the failure message, "" when it passed
};

Verdict runCase(unsigned long seed, unsigned long number, const std::vector<uint8_t>& original, const Reading& intact,
                const mutation::Layout& layout, Bench& bench)
{
    const mutation::Mutation change = mutation::pickMutation(seed, number, layout.imageSize, original.size());
    std::vector<uint8_t> bytes = original;
    mutation::applyMutation(change, bytes);
    const Reading damaged = mutation::readAsParser(bytes);
    const Observation seen = bench.observe(bytes, damaged);
    const Expectation expected = expectationFor(damaged, intact, bench.sound, bytes, bench);

    std::string problem = seen.trouble;
    if (problem.empty() && !expected.run.trouble.empty()) problem = "the repackaged launcher: " + expected.run.trouble;
    if (problem.empty() && !(seen == expected.run)) problem = difference(seen, expected.run);
    Verdict verdict;
    verdict.kind = mutation::kKindNames[change.kind];
    verdict.region = mutation::regionOf(layout, change.offset);
    const std::string described = mutation::describe(change, layout);
    const std::string caseNumber = std::to_string(number);
    if (problem.empty()) {
        verdict.outcome = expected.outcome;
        verdict.line = "case " + caseNumber + ": " + described + ": " + expected.outcome;
        if (seen.exitCode == 1 && expected.outcome.compare(0, 8, "detected") != 0) {
            verdict.line += " (" + firstLine(seen.err) + ")";
        }
    } else {
        verdict.outcome = "failed: " + expected.reading;
        verdict.line = "case " + caseNumber + ": " + described + ": FAILED, the parser reads " + expected.reading;
        verdict.failure = "seed " + std::to_string(seed) + ", case " + caseNumber + ": " + described +
                          "\nthe parser reads " + expected.reading + ", but the launcher: " + problem +
                          "\nalone: MUTATION_SEED=" + std::to_string(seed) + " MUTATION_ONLY=" + caseNumber;
    }
    return verdict;
}

TEST(CorruptedLaunchers, LauncherAndParserNeverDisagree)
{
    const unsigned long cases = environmentNumber("MUTATION_CASES", 300);
    const unsigned long seed = environmentNumber("MUTATION_SEED", 20261207);
    const char* only = std::getenv("MUTATION_ONLY");
    const unsigned long first = only != nullptr ? std::strtoul(only, nullptr, 10) : 0;
    const unsigned long last = only != nullptr ? first + 1 : cases;
    // Two launchers at a time: a Wine process start waits as much as it computes.
    const unsigned long jobs = only != nullptr ? 1 : std::max(1ul, environmentNumber("MUTATION_JOBS", 2));

    const std::vector<uint8_t> image = readBytes(launcherImage());
    std::vector<uint8_t> original;
    std::string error;
    ASSERT_TRUE(blockformat::packageImage(image, corruptibleBlock(), &original, &error)) << error;
    const Reading intact = mutation::readAsParser(original);
    ASSERT_TRUE(intact.filesRead);
    const mutation::Layout layout = mutation::layoutOf(image.size(), intact.block);
    std::vector<std::unique_ptr<Bench>> benches;
    for (unsigned long j = 0; j < jobs; ++j) {
        benches.push_back(std::make_unique<Bench>());
        ASSERT_TRUE(benches.back()->ready()) << "stand-ins missing (STANDIN_DIR)";
        ASSERT_TRUE(runsSoundly(*benches.back(), original, intact));
    }

    const DWORD start = GetTickCount();
    std::vector<Verdict> verdicts(last - first);
    std::atomic<unsigned long> next{first};
    std::mutex output;
    std::vector<std::thread> workers;
    for (const std::unique_ptr<Bench>& bench : benches) {
        workers.emplace_back([&, worker = bench.get()] {
            for (unsigned long n = next++; n < last; n = next++) {
                const Verdict& verdict = verdicts[n - first] = runCase(seed, n, original, intact, layout, *worker);
                std::lock_guard<std::mutex> lock(output);
                std::printf("%s\n", verdict.line.c_str());
                if (!verdict.failure.empty()) std::printf("%s\n", verdict.failure.c_str());
                std::fflush(stdout);
            }
        });
    }
    for (std::thread& worker : workers) worker.join();

    mutation::Tally tally;
    int failures = 0;
    int restarts = 0;
    for (const std::unique_ptr<Bench>& bench : benches) restarts += bench->restarts;
    for (const Verdict& verdict : verdicts) {
        tally.add(verdict.kind, verdict.region, verdict.outcome);
        if (!verdict.failure.empty()) {
            ++failures;
            ADD_FAILURE() << verdict.failure;
        }
    }
    const unsigned long ran = last - first;
    std::printf("seed %lu, %lu cases in %lu s\n%s%d launcher starts tried again (no process started)\n"
                "%lu passed, %d failed\n",
                seed, ran, static_cast<unsigned long>((GetTickCount() - start) / 1000), tally.table().c_str(),
                restarts, ran - static_cast<unsigned long>(failures), failures);
}

} // namespace
