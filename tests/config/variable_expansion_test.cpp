// Variable expansion: the replacement rule, the fixed launcher variables in their order,
// the ${NAME} references to environment variables, and the capacity of the buffer.
#include "config/variable_expansion.h"

#include "config/included_files.h"
#include "config/messages.h"
#include "config/run_settings.h"
#include "jvm/discovery/jvm_library.h"
#include "platform/paths.h"
#include "platform/text_format.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

std::wstring widen(const std::string& text) { return std::wstring(text.begin(), text.end()); }

// The expansion, which is expected to fit (`fits`) or to be cut and say so.
std::string expandA(const std::string& text, size_t capacity = kTextCapacity, bool fits = true)
{
    std::vector<char> buffer(kTextCapacity + 16, '#');
    EXPECT_TRUE(copyText(buffer.data(), capacity, text.c_str()));
    EXPECT_EQ(fits, expandVariablesA(buffer.data(), capacity)) << text;
    for (size_t i = capacity; i < buffer.size(); ++i) {
        if (buffer[i] != '#') {
            ADD_FAILURE() << "written past the capacity at " << i;
            break;
        }
    }
    return buffer.data();
}

std::wstring expandW(const std::wstring& text, bool shortPathForm, size_t capacity = kTextCapacity, bool fits = true)
{
    std::vector<wchar_t> buffer(kTextCapacity + 16, L'#');
    EXPECT_TRUE(copyTextW(buffer.data(), capacity, text.c_str()));
    EXPECT_EQ(fits, expandVariables(buffer.data(), capacity, shortPathForm));
    for (size_t i = capacity; i < buffer.size(); ++i) {
        if (buffer[i] != L'#') {
            ADD_FAILURE() << "written past the capacity at " << i;
            break;
        }
    }
    return buffer.data();
}

// Starts every test with no launcher temporary directory and no Java home, removes the
// environment variables the test set and restores the launcher-wide state.
class VariableExpansionTest : public testing::Test {
protected:
    void SetUp() override
    {
        savedTempDir_ = launcherTempDir;
        savedJvmHome_ = jvmHome;
        launcherTempDir[0] = '\0';
        jvmHome[0] = '\0';
    }
    void TearDown() override
    {
        for (const std::wstring& name : variables_) {
            SetEnvironmentVariableW(name.c_str(), nullptr);
        }
        EXPECT_TRUE(copyText(launcherTempDir, sizeof launcherTempDir, savedTempDir_.c_str()));
        EXPECT_TRUE(copyText(jvmHome, sizeof jvmHome, savedJvmHome_.c_str()));
    }

    void setVariable(const std::wstring& name, const std::wstring& value)
    {
        ASSERT_TRUE(SetEnvironmentVariableW(name.c_str(), value.c_str()));
        variables_.push_back(name);
    }

private:
    std::string savedTempDir_;
    std::string savedJvmHome_;
    std::vector<std::wstring> variables_;
};

} // namespace

TEST(VariableReplacement, EachOccurrenceIsReplacedOnceLeftToRight)
{
    struct Case {
        const char* text;
        const char* pattern;
        const char* value;
        size_t capacity;
        const char* expected;
    };
    const Case cases[] = {
        {"a%X%b%X%", "%X%", "1", 100, "a1b1"},
        {"%X%%X%", "%X%", "", 100, ""},
        {"aaa", "a", "aa", 100, "aaaaaa"},
        {"nothing here", "%X%", "v", 100, "nothing here"},
        {"abc", "", "x", 100, "abc"},
        // A value containing its own pattern is not searched again.
        {"x%P%y", "%P%", "[%P%]", 100, "x[%P%]y"},
        {"%P%%P%", "%P%", "%P%%P%", 100, "%P%%P%%P%%P%"},
        // A text that grows past the capacity is cut at capacity - 1.
        {"%X%", "%X%", "1234567", 8, "1234567"},
        {"%X%", "%X%", "12345678", 8, "1234567"},
        {"ab%X%cd", "%X%", "0123456789", 8, "ab01234"},
        {"%X%-%X%", "%X%", "12345", 8, "12345-%"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.text << " / " << c.pattern << " / " << c.value);
        std::string narrow = c.text;
        replaceAllA(narrow, c.capacity, c.pattern, c.value);
        EXPECT_EQ(c.expected, narrow);

        std::wstring wide = widen(c.text);
        replaceAll(wide, c.capacity, widen(c.pattern), widen(c.value));
        EXPECT_EQ(widen(c.expected), wide);
    }
}

TEST_F(VariableExpansionTest, FixedLauncherVariables)
{
    const std::string exeDir = getModuleDir();
    char tempDir[kTextCapacity];
    ASSERT_TRUE(getTempPath(tempDir, sizeof tempDir));

    struct Case {
        std::string text;
        std::string expected;
    };
    const std::vector<Case> withoutTempDirOrJvm = {
        // The directory ends with a backslash; nothing is put between it and the name.
        {"%QUILL_EXEDIR%lib\\a.jar", exeDir + "lib\\a.jar"},
        {"%DEPLOYKIT_EXEDIR%|${QUILL_EXEDIR}|${DEPLOYKIT_EXEDIR}|${launcher:sys.launcherDirectory}",
         exeDir + "|" + exeDir + "|" + exeDir + "|" + exeDir},
        // No launcher temporary directory and no Java home yet: the references vanish.
        {"a${launcher:sys.launcherTempDirectory}b%QUILL_TEMPDIR%c${DEPLOYKIT_TEMPDIR}", "abc"},
        {"[%QUILL_JVM_HOME%${launcher:sys.jvmHome}]", "[]"},
        {"x%QUILL_PATHLIST_SEPARATOR%y%DEPLOYKIT_PATHLIST_SEPARATOR%z${QUILL_PATHLIST_SEPARATOR}"
         "${launcher:sys.pathlistSeparator}",
         "x;y;z;;"},
        {"${launcher:sys.tempDir}demo.log", std::string(tempDir) + "demo.log"},
        // Unknown references, other spellings and percent references to the environment stay.
        {"${installer:sys.tempDir}\\demo_error.log", "${installer:sys.tempDir}\\demo_error.log"},
        {"%quill_exedir% %QUILL_EXEDIR %PATH% %Path%", "%quill_exedir% %QUILL_EXEDIR %PATH% %Path%"},
        {"", ""},
    };
    for (const Case& c : withoutTempDirOrJvm) {
        EXPECT_EQ(c.expected, expandA(c.text)) << c.text;
        EXPECT_EQ(widen(c.expected), expandW(widen(c.text), true)) << c.text;
    }

    ASSERT_TRUE(copyText(launcherTempDir, sizeof launcherTempDir, "C:\\launcher\\tmp"));
    ASSERT_TRUE(copyText(jvmHome, sizeof jvmHome, "C:\\jre\\bin\\.."));
    const std::vector<Case> withTempDirAndJvm = {
        {"%QUILL_TEMPDIR%\\x;${launcher:sys.launcherTempDirectory}", "C:\\launcher\\tmp\\x;C:\\launcher\\tmp"},
        {"%DEPLOYKIT_JVM_HOME%\\lib|${QUILL_JVM_HOME}", "C:\\jre\\bin\\..\\lib|C:\\jre\\bin\\.."},
    };
    for (const Case& c : withTempDirAndJvm) {
        EXPECT_EQ(c.expected, expandA(c.text)) << c.text;
        EXPECT_EQ(widen(c.expected), expandW(widen(c.text), false)) << c.text;
    }

    // The passes run in a fixed order: a later pass sees what an earlier one inserted,
    // an earlier pass never sees what a later one inserts.
    ASSERT_TRUE(copyText(launcherTempDir, sizeof launcherTempDir, "t%QUILL_PATHLIST_SEPARATOR%"));
    ASSERT_TRUE(copyText(jvmHome, sizeof jvmHome, "%QUILL_TEMPDIR%"));
    EXPECT_EQ("t;", expandA("%QUILL_TEMPDIR%"));
    EXPECT_EQ("%QUILL_TEMPDIR%", expandA("%QUILL_JVM_HOME%"));
    EXPECT_EQ(L"t;", expandW(L"%QUILL_TEMPDIR%", true));
}

// The folder a service under any account may write to, and the name that keeps two
// services of one executable apart, in both widths. The service name is the launcher's
// (ISO-8859-1) and reaches a wide text letter for letter.
TEST_F(VariableExpansionTest, MachineDataFolderAndServiceName)
{
    const std::wstring savedName = serviceNameW;
    ASSERT_TRUE(setServiceName(L"Ticker"));
    EXPECT_EQ("C:\\ProgramData\\Ticker\\out.log", expandA("${launcher:sys.programData}\\${launcher:sys.serviceName}\\out.log"));
    EXPECT_EQ(L"C:\\ProgramData\\Ticker\\out.log",
              expandW(L"${launcher:sys.programData}\\${launcher:sys.serviceName}\\out.log", false));
    EXPECT_EQ(L"C:\\ProgramData|Ticker", expandW(L"${launcher:sys.programData}|${launcher:sys.serviceName}", true));
    // Other spellings are no references, and the environment's ProgramData is not asked.
    setVariable(L"ProgramData", L"D:\\elsewhere");
    EXPECT_EQ("%ProgramData% ${launcher:sys.ProgramData} C:\\ProgramData",
              expandA("%ProgramData% ${launcher:sys.ProgramData} ${launcher:sys.programData}"));
    ASSERT_TRUE(setConfiguredServiceName("Tick\xE9r"));
    EXPECT_EQ(L"logs\\Tick\u00E9r.log", expandW(L"logs\\${launcher:sys.serviceName}.log", false));
    EXPECT_EQ("logs\\Tick\xE9r.log", expandA("logs\\${launcher:sys.serviceName}.log"));
    // A name from the command line may hold any letter; a narrow text takes it in the
    // system code page, a wide one as it is.
    ASSERT_TRUE(setServiceName(L"\u0422\u0438\u043A\u0435\u0440"));
    EXPECT_EQ(L"logs\\\u0422\u0438\u043A\u0435\u0440.log", expandW(L"logs\\${launcher:sys.serviceName}.log", false));
    ASSERT_TRUE(setServiceName(savedName));
}

TEST(ProgramDataFolder, FromTheFormTheSystemStores)
{
    const struct {
        const wchar_t* stored;
        const wchar_t* windows;
        const wchar_t* expected;  // "" for a folder that is not used
    } cases[] = {
        {L"%SystemDrive%\\ProgramData", L"D:\\Windows", L"D:\\ProgramData"},
        {L"%SYSTEMDRIVE%\\ProgramData\\", L"c:\\windows", L"c:\\ProgramData"},
        {L"C:\\ProgramData", L"D:\\Windows", L"C:\\ProgramData"},
        {L"E:\\", L"C:\\Windows", L"E:\\"},
        {L"\\\\server\\share\\data", L"C:\\Windows", L"\\\\server\\share\\data"},
        // Any other variable, a relative or drive-relative path, or nothing: no folder.
        {L"%ALLUSERSPROFILE%", L"C:\\Windows", L""},
        {L"%SystemDrive%\\%USERNAME%", L"C:\\Windows", L""},
        {L"%SystemDrive%\\ProgramData", L"\\\\?\\GLOBALROOT", L""},
        {L"ProgramData", L"C:\\Windows", L""},
        {L"C:ProgramData", L"C:\\Windows", L""},
        {L"\\ProgramData", L"C:\\Windows", L""},
        {L"\\\\", L"C:\\Windows", L""},
        {L"", L"C:\\Windows", L""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(std::wstring(c.expected), programDataFromStored(c.stored, c.windows)) << std::string(
            c.stored, c.stored + wcslen(c.stored));
    }
}

TEST_F(VariableExpansionTest, ShortAndLongFormsOfTheDirectories)
{
    char tempDir[kTextCapacity];
    ASSERT_TRUE(getTempPath(tempDir, sizeof tempDir));
    wchar_t tempDirW[kTextCapacity];
    ASSERT_TRUE(getTempPathW(tempDirW, kTextCapacity));

    EXPECT_EQ(std::wstring(getModuleDirWidened()) + L"x", expandW(L"%QUILL_EXEDIR%x", true));
    EXPECT_EQ(std::wstring(getModuleDirW()) + L"x", expandW(L"%QUILL_EXEDIR%x", false));
    EXPECT_EQ(widen(tempDir), expandW(L"${launcher:sys.tempDir}", true));
    EXPECT_EQ(std::wstring(tempDirW), expandW(L"${launcher:sys.tempDir}", false));
}

TEST_F(VariableExpansionTest, EnvironmentReferencesByNameAsWrittenAndUpperCase)
{
    setVariable(L"QuillUnitPath", L"C:\\unit\\bin");
    setVariable(L"QUILLUNITSELF", L"a${QUILLUNITSELF}");
    setVariable(L"QuillUnitMixedSelf", L"<${QuillUnitMixedSelf}>");
    setVariable(L"QuillUnitFixed", L"%QUILL_PATHLIST_SEPARATOR%");

    struct Case {
        const char* text;
        const char* expected;
    };
    const Case cases[] = {
        {"${QuillUnitPath};${QUILLUNITPATH}", "C:\\unit\\bin;C:\\unit\\bin"},
        {"${quillunitpath}", "${quillunitpath}"},
        {"%QuillUnitPath%", "%QuillUnitPath%"},
        {"${QuillUnitNoSuchVariable}", "${QuillUnitNoSuchVariable}"},
        // A value that contains its own reference is inserted once.
        {"${QUILLUNITSELF}", "a${QUILLUNITSELF}"},
        {"${QuillUnitMixedSelf}", "<${QuillUnitMixedSelf}>"},
        // The environment comes after the fixed variables.
        {"${QuillUnitFixed}", "%QUILL_PATHLIST_SEPARATOR%"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.expected, expandA(c.text)) << c.text;
        EXPECT_EQ(widen(c.expected), expandW(widen(c.text), false)) << c.text;
    }

    setVariable(L"QuillUnitWide", L"w\u00e9\u4e2d");
    EXPECT_EQ(L"[w\u00e9\u4e2d]", expandW(L"[${QuillUnitWide}]", false));
}

TEST_F(VariableExpansionTest, EnvironmentPassesRunInBlockOrder)
{
    setVariable(L"QuillUnitFirst", L"${QuillUnitSecond}");
    setVariable(L"QuillUnitSecond", L"second");
    setVariable(L"QuillUnitThird", L"${QuillUnitFirst}");

    // Where each name stands in the environment block decides whether a reference in
    // a value inserted by one variable is seen by the other.
    std::vector<std::wstring> order;
    wchar_t* block = GetEnvironmentStringsW();
    ASSERT_NE(nullptr, block);
    for (const wchar_t* entry = block; *entry != L'\0'; entry += wcslen(entry) + 1) {
        order.push_back(std::wstring(entry).substr(0, std::wstring(entry).find(L'=')));
    }
    FreeEnvironmentStringsW(block);
    auto position = [&](const wchar_t* name) {
        for (size_t i = 0; i < order.size(); ++i) {
            if (order[i] == name) return i;
        }
        ADD_FAILURE() << "variable not in the block";
        return order.size();
    };
    const bool firstBeforeSecond = position(L"QuillUnitFirst") < position(L"QuillUnitSecond");
    const bool thirdBeforeFirst = position(L"QuillUnitThird") < position(L"QuillUnitFirst");

    // Third inserts a reference to First, which inserts one to Second.
    EXPECT_EQ(thirdBeforeFirst ? (firstBeforeSecond ? L"second" : L"${QuillUnitSecond}") : L"${QuillUnitFirst}",
              expandW(L"${QuillUnitThird}", false));
    EXPECT_EQ(firstBeforeSecond ? L"second" : L"${QuillUnitSecond}", expandW(L"${QuillUnitFirst}", false));
    EXPECT_EQ(firstBeforeSecond ? "second" : "${QuillUnitSecond}", expandA("${QuillUnitFirst}"));
}

// A result longer than the buffer is cut at its capacity, never written past, and the
// answer says it was cut, so that no caller takes it for what was configured.
TEST_F(VariableExpansionTest, ResultLongerThanTheBufferIsCutAndSaysSo)
{
    setVariable(L"QuillUnitLong", std::wstring(200, L'x'));
    ASSERT_TRUE(copyText(launcherTempDir, sizeof launcherTempDir, std::string(100, 't').c_str()));
    const std::string exeDir = getModuleDir();

    struct Case {
        std::string text;
        size_t capacity;
        bool fits;
        std::string expected;
    };
    const Case cases[] = {
        {"${QuillUnitLong}", 20, false, std::string(19, 'x')},
        {"a${QuillUnitLong}b", 201, false, "a" + std::string(199, 'x')},
        {"a${QuillUnitLong}b", 202, false, "a" + std::string(200, 'x')},       // one over
        {"a${QuillUnitLong}b", 203, true, "a" + std::string(200, 'x') + "b"},  // exact fit
        {"%QUILL_EXEDIR%", 16, false, exeDir.substr(0, 15)},
        {"%QUILL_EXEDIR%", exeDir.size() + 1, true, exeDir},                   // exact fit
        {"%QUILL_EXEDIR%", exeDir.size(), false, exeDir.substr(0, exeDir.size() - 1)},
        {"${QuillUnitLong}${QuillUnitLong}", 300, false, std::string(299, 'x')},
        // Cut by an early pass, the text stays cut when the later passes find nothing.
        {"%QUILL_TEMPDIR%%QUILL_PATHLIST_SEPARATOR%", 60, false, std::string(59, 't')},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.text << " capacity " << c.capacity);
        EXPECT_EQ(c.expected, expandA(c.text, c.capacity, c.fits));
        EXPECT_EQ(widen(c.expected), expandW(widen(c.text), true, c.capacity, c.fits));
    }
}
