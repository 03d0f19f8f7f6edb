// Corrupted launchers: a realistic packaged launcher (configuration block, locale group,
// included files) with bits flipped, bytes changed, the file cut, or a 32- or 64-bit
// field set to an extreme value anywhere behind the image. Every run must end within a
// few seconds with exit code 0 or 1 and something on standard error for 1 — never a
// crash, a hang, a file written outside its place or a temporary directory left behind.
//
// MUTATION_CASES (default 300) and MUTATION_SEED (default 20261207) choose the run;
// scripts/mutation-run runs any number with any seed and prints the counts.
#include "support/test_launcher.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <map>
#include <random>
#include <set>

namespace {

unsigned long environmentNumber(const char* name, unsigned long fallback)
{
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0' ? std::strtoul(value, nullptr, 10) : fallback;
}

blockformat::ConfigBlock corruptibleBlock()
{
    blockformat::ConfigBlock block = serviceBlock();
    block.set(128, "B..\\jre;");  // no registry: each case depends on its own bytes only
    block.localeGroups = {{"de", {{20017, u"Dienst"}}}, {"", {{20017, u"Service"}}}};
    std::vector<uint8_t> jar(7000);
    for (size_t i = 0; i < jar.size(); ++i) jar[i] = static_cast<uint8_t>(i * 13);
    block.addIncludedFiles({{"lib\\demo.jar", jar}, {"empty.txt", {}}, {"b.jar", {1, 2, 3}}});
    return block;
}

struct Outcome {
    std::string kind;
    bool passed;
    std::string detail;
};

std::set<std::wstring> entriesOf(const std::wstring& directory)
{
    std::vector<std::wstring> names = listNames(directory, L"*");
    return std::set<std::wstring>(names.begin(), names.end());
}

TEST(CorruptedLaunchers, EveryRunEndsCleanly)
{
    const unsigned long cases = environmentNumber("MUTATION_CASES", 300);
    const unsigned long seed = environmentNumber("MUTATION_SEED", 20261207);
    std::vector<uint8_t> original;
    std::string error;
    ASSERT_TRUE(blockformat::packageImage(readBytes(launcherImage()), corruptibleBlock(), &original, &error)) << error;
    const size_t imageSize = readBytes(launcherImage()).size();
    ASSERT_GT(original.size(), imageSize);

    std::mt19937 random(seed);
    auto offset = [&](size_t from) {
        return from + std::uniform_int_distribution<size_t>(0, original.size() - from - 1)(random);
    };
    const uint32_t extremes32[] = {0x7FFFFFFFu, 0xFFFFFFFFu, 0x80000000u, 0x00100000u};
    const uint64_t extremes64[] = {0x7FFFFFFFFFFFFFFFull, 0xFFFFFFFFFFFFFFFFull, 0x8000000000000000ull,
                                   0x0000000100000000ull};

    TestDirectory dir;
    std::map<std::string, int> counts;
    std::map<DWORD, int> exitCodes;
    int failures = 0;
    for (unsigned long n = 0; n < cases; ++n) {
        std::vector<uint8_t> bytes = original;
        std::string kind;
        switch (random() % 5) {
        case 0: {
            size_t at = offset(imageSize);
            bytes[at] ^= static_cast<uint8_t>(1u << (random() % 8));
            kind = "bit flip";
            break;
        }
        case 1: {
            size_t at = offset(imageSize);
            bytes[at] = static_cast<uint8_t>(random());
            kind = "byte change";
            break;
        }
        case 2:
            bytes.resize(offset(imageSize));
            kind = "cut";
            break;
        case 3: {
            size_t at = offset(imageSize);
            uint32_t value = extremes32[random() % 4];
            for (int i = 0; i < 4 && at + i < bytes.size(); ++i) bytes[at + i] = static_cast<uint8_t>(value >> (8 * i));
            kind = "32-bit extreme";
            break;
        }
        default: {
            size_t at = offset(imageSize);
            uint64_t value = extremes64[random() % 4];
            for (int i = 0; i < 8 && at + i < bytes.size(); ++i) bytes[at + i] = static_cast<uint8_t>(value >> (8 * i));
            kind = "64-bit extreme";
            break;
        }
        }
        const std::wstring caseDir = dir.file(L"case" + std::to_wstring(n));
        const std::wstring tmp = caseDir + L"\\tmp";
        CreateDirectoryW(caseDir.c_str(), nullptr);
        CreateDirectoryW((caseDir + L"\\bin").c_str(), nullptr);
        CreateDirectoryW(tmp.c_str(), nullptr);
        const std::wstring exe = caseDir + L"\\bin\\app.exe";
        writeBytes(exe, bytes);
        const std::set<std::wstring> before = entriesOf(caseDir + L"\\bin");

        ProcessOptions options;
        options.timeoutMs = 20000;
        for (const wchar_t* name : {L"JAVA_HOME", L"JDK_HOME", L"QUILL_JAVA_HOME", L"DEPLOYKIT_JAVA_HOME"}) {
            options.unsetEnv.push_back(name);
        }
        LauncherRun run = runLauncherIn(exe, {L"/run"}, tmp, false, options);

        std::string problem;
        if (run.result.timedOut) {
            problem = "hang";
        } else if (run.result.exitCode != 0 && run.result.exitCode != 1) {
            problem = "exit code " + std::to_string(run.result.exitCode);
        } else if (run.result.exitCode == 1 && run.err.empty()) {
            problem = "exit code 1 without a message";
        } else if (!listNames(tmp, L"*").empty()) {
            problem = "left behind in TMP: " + toUtf8(listNames(tmp, L"*").front());
        } else if (entriesOf(caseDir + L"\\bin") != before || entriesOf(caseDir).size() != 2) {
            problem = "wrote beside the launcher";
        }
        ++counts[kind];
        ++exitCodes[run.result.exitCode];
        if (!problem.empty()) {
            ++failures;
            // The seed and the case number reproduce it.
            ADD_FAILURE() << "case " << n << " (" << kind << "): " << problem << "\nstderr: " << run.err;
        }
        removeTree(caseDir);
    }
    std::printf("seed %lu, %lu cases:", seed, cases);
    for (const auto& [kind, count] : counts) std::printf(" %s %d,", kind.c_str(), count);
    std::printf(" exit codes:");
    for (const auto& [code, count] : exitCodes) std::printf(" %lu x%d", static_cast<unsigned long>(code), count);
    std::printf("\n%d passed, %d failed\n", static_cast<int>(cases) - failures, failures);
}

} // namespace
