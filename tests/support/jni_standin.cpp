// Test support: control and record files of the stand-in jvm.dll, and the gate that holds
// its runs inside main.
#include "support/jni_standin.h"

#include "support/test_launcher.h"

#include <windows.h>

#include <algorithm>
#include <atomic>

namespace jnistandin {

std::string Behaviour::text() const
{
    std::string out;
    auto line = [&out](const std::string& key, const std::string& value) { out += key + "=" + value + "\n"; };
    if (!record.empty()) line("record", record);
    line("create", std::to_string(create));
    for (const std::string& name : missingClasses) line("missingClass", name);
    for (const std::string& name : missingMethods) line("missingMethod", name);
    if (!firstRun.empty()) line("firstRun", firstRun);
    line("main", main);
    if (!mainEntered.empty()) line("mainEntered", mainEntered);
    if (!mainWaitsFor.empty()) line("mainWaitsFor", mainWaitsFor);
    for (const std::string& name : mainReadsFiles) line("mainReadsFile", name);
    for (const std::string& name : mainRecordsSecurity) line("mainRecordsSecurity", name);
    if (destroyWaitMs > 0) line("destroyWaitMs", std::to_string(destroyWaitMs));
    if (mainRunsMs > 0) line("mainRunsMs", std::to_string(mainRunsMs));
    if (mainRecordsClock) line("mainRecordsClock", "1");
    for (const std::string& name : mainRecordsVariables) line("mainRecordsVariable", name);
    if (!mainStartsProcess.empty()) line("mainStartsProcess", mainStartsProcess);
    for (const std::string& print : mainPrints) line("mainPrints", print);
    if (failNewObjectArray) line("failNewObjectArray", "1");
    if (failNewString >= 0) line("failNewString", std::to_string(failNewString));
    if (exitRefused) line("exitRefused", "1");
    if (!signals.empty()) line("signals", signals);
    if (!timing.empty()) line("timing", timing);
    return out;
}

namespace {

// A name no other gate (of this or another test process) uses, in the global namespace so
// that a service's child, which the service manager starts, sees the same objects.
std::string uniqueObjectName(const char* what)
{
    static std::atomic<int> counter{0};
    return "Global\\quill-standin-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(GetTickCount()) +
           "-" + std::to_string(counter++) + "-" + what;
}

} // namespace

MainGate::MainGate() : entriesName_(uniqueObjectName("entered")), releaseName_(uniqueObjectName("release"))
{
    entries_ = CreateSemaphoreA(nullptr, 0, 0x7fffffff, entriesName_.c_str());
    release_ = CreateEventA(nullptr, TRUE, FALSE, releaseName_.c_str());
}

MainGate::~MainGate()
{
    release();
    if (entries_ != nullptr) CloseHandle(entries_);
    if (release_ != nullptr) CloseHandle(release_);
}

void MainGate::hold(Behaviour& behaviour) const
{
    behaviour.mainEntered = entriesName_;
    behaviour.mainWaitsFor = releaseName_;
}

bool MainGate::waitForEntries(int count, unsigned long timeoutMs)
{
    const DWORD start = GetTickCount();
    while (entered_ < count) {
        const DWORD spent = GetTickCount() - start;
        const DWORD left = spent < timeoutMs ? timeoutMs - spent : 0;
        if (entries_ == nullptr || WaitForSingleObject(entries_, left) != WAIT_OBJECT_0) return false;
        ++entered_;
    }
    return true;
}

void MainGate::release()
{
    if (release_ != nullptr) SetEvent(release_);
}

bool writeControl(const std::wstring& path, const Behaviour& behaviour)
{
    std::string text = behaviour.text();
    return writeBytes(path, std::vector<uint8_t>(text.begin(), text.end()));
}

std::wstring controlBeside(const std::wstring& jvmDll)
{
    return jvmDll + fromUtf8(kControlSuffix);
}

std::string unescape(const std::string& text)
{
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size()) {
            out += static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

Record readRecord(const std::wstring& path)
{
    std::vector<RecordLine> lines;
    for (const std::string& line : linesOf(readText(path))) {
        size_t space = line.find(' ');
        if (space == std::string::npos) {
            lines.push_back({line, std::string()});
        } else {
            lines.push_back({line.substr(0, space), unescape(line.substr(space + 1))});
        }
    }
    return Record(std::move(lines));
}

std::vector<std::string> Record::all(const std::string& key) const
{
    std::vector<std::string> texts;
    for (const RecordLine& line : lines_) {
        if (line.key == key) texts.push_back(line.text);
    }
    return texts;
}

bool Record::has(const std::string& key, const std::string& text) const
{
    return position(key, text) != lines_.size();
}

size_t Record::position(const std::string& key, const std::string& text) const
{
    for (size_t i = 0; i < lines_.size(); ++i) {
        if (lines_[i].key == key && lines_[i].text == text) return i;
    }
    return lines_.size();
}

std::vector<std::string> Record::callArguments(const std::string& method) const
{
    std::vector<std::string> arguments;
    size_t at = position("call", method);
    for (size_t i = at + 1; i < lines_.size(); ++i) {
        if (lines_[i].key == "arg") arguments.push_back(lines_[i].text);
        else if (lines_[i].key != "element" && lines_[i].key != "element.null") break;
    }
    return arguments;
}

std::vector<std::string> Record::arrayElements(const std::string& method) const
{
    std::vector<std::string> elements;
    size_t at = position("call", method);
    for (size_t i = at + 1; i < lines_.size(); ++i) {
        if (lines_[i].key == "element") elements.push_back(lines_[i].text);
        else if (lines_[i].key == "element.null") elements.push_back("<null>");
        else if (lines_[i].key != "arg") break;
    }
    return elements;
}

std::string Record::dump() const
{
    std::string out;
    for (const RecordLine& line : lines_) out += line.key + (line.text.empty() ? "" : " " + line.text) + "\n";
    return out;
}

} // namespace jnistandin

namespace jnistandin {

std::vector<std::string> Record::options() const
{
    std::vector<std::string> options = all("option");
    if (exitHookGiven()) options.pop_back();
    return options;
}

bool Record::exitHookGiven() const
{
    const std::vector<std::string> options = all("option");
    return !options.empty() && options.back() == "exit" && has("extraInfo", std::to_string(options.size() - 1));
}

} // namespace jnistandin
