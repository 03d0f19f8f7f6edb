// Java version texts as the model gives them to the launcher and the packager: the grammar
// of a bound a descriptor may give, and the split both read a bound's numbers with. The
// launcher's own cases of the split are in tests/discovery/java_version_test.cpp.
#include "model/java_version.h"
#include "model/jvm_directory.h"
#include "packaging/descriptor/build.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>

namespace {

TEST(JavaVersion, Grammar)
{
    for (const char* good : {"", "1.8", "1.8.0_40", "17", "17.0.2+8", "11.0.1-1"}) {
        EXPECT_TRUE(javaruntime::isWellFormedVersion(good)) << good;
    }
    for (const char* bad : {"1.", ".8", "1..8", "1.x", "java8", "9-ea", " 1.8", "1.8 "}) {
        EXPECT_FALSE(javaruntime::isWellFormedVersion(bad)) << bad;
    }
}

// A bound the grammar takes is split into exactly the numbers it is written with.
TEST(JavaVersion, AWellFormedBoundSplitsIntoItsNumbers)
{
    const struct {
        const char* text;
        javaruntime::JavaVersion numbers;
    } cases[] = {
        {"", {}},
        {"1.8", {1, 8}},
        {"1.8.0_40", {1, 8, 0, 40}},
        {"17.0.2+8", {17, 0, 2, 8}},
        {"11.0.1-1", {11, 0, 1, 1}},
        {"08.010", {8, 10}},
        {"2147483648.1", {INT32_MAX, 1}},  // clamped to 32 bits, as the launcher reads it
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(javaruntime::isWellFormedVersion(c.text)) << c.text;
        EXPECT_EQ(javaruntime::parseJavaVersion(c.text), c.numbers) << c.text;
    }
}

// The packager refuses a range whose minimum is above its maximum when compared number by
// number, as the launcher compares them, and takes every other one.
TEST(JavaVersion, ThePackagerComparesBoundsAsTheLauncherSplitsThem)
{
    const struct {
        const char* minimum;
        const char* maximum;
        bool admitsARuntime;
    } cases[] = {
        {"1.8", "11", true},
        {"11", "1.8", false},
        {"1.10", "1.9", false},          // numbers, not texts
        {"1.9", "1.10", true},
        {"1.8.0_40", "1.8.0_5", false},
        {"1.8.0_5", "1.8.0_40", true},
        {"1.8.1", "1.8", true},          // a maximum is compared only as far as it goes
        {"11.0.2", "11", true},
        {"2147483648", "2147483647", true},  // both clamp to the same number
        {"08", "8", true},
    };
    for (const auto& c : cases) {
        std::string text = std::string("[service]\nname = \"Demo\"\n[application]\nmain_class = \"a.B\"\n"
                                        "class_path = [ { archive = \"a.jar\" } ]\n[java]\nmin_version = \"") +
                           c.minimum + "\"\nmax_version = \"" + c.maximum + "\"\n";
        packager::BuildSettings settings;
        packager::BuildResult built;
        std::vector<packager::Diagnostic> errors;
        bool ok = packager::buildFromDescriptor(text, "service.toml", settings, &built, &errors);
        EXPECT_EQ(ok, c.admitsARuntime) << c.minimum << " .. " << c.maximum;
        if (!ok) {
            ASSERT_EQ(errors.size(), 1u);
            EXPECT_NE(errors[0].message.find("no Java runtime could ever be accepted"), std::string::npos)
                << errors[0].message;
        }
    }
}

// The launcher reads the preferred JVM directory into a buffer of the model's capacity;
// the packager takes the longest name that fits and refuses one more character.
TEST(JvmDirectory, ThePackagerTakesWhatFitsTheLaunchersBuffer)
{
    const size_t longest = javaruntime::kPreferredJvmDirCapacity - 1;
    for (size_t length : {longest, longest + 1}) {
        std::string text = "[service]\nname = \"Demo\"\n[application]\nmain_class = \"a.B\"\n"
                           "class_path = [ { archive = \"a.jar\" } ]\n[java]\njvm_subdirectory = \"" +
                           std::string(length, 'j') + "\"\n";
        packager::BuildSettings settings;
        packager::BuildResult built;
        std::vector<packager::Diagnostic> errors;
        bool ok = packager::buildFromDescriptor(text, "service.toml", settings, &built, &errors);
        EXPECT_EQ(ok, length == longest) << length;
        if (!ok) {
            ASSERT_EQ(errors.size(), 1u);
            EXPECT_EQ(errors[0].message, "java.jvm_subdirectory must be one directory name of at most " +
                                             std::to_string(longest) + " characters");
        }
    }
}

} // namespace
