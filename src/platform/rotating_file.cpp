// An output file that rolls over by the rules of model/output_rotation.h.
#include "platform/rotating_file.h"

#include "platform/diagnostic_log.h"
#include "platform/text_conversion.h"

#include <vector>

namespace {

outputrotation::LocalTime fromSystemTime(const SYSTEMTIME& time)
{
    outputrotation::LocalTime local;
    local.year = time.wYear;
    local.month = time.wMonth;
    local.day = time.wDay;
    local.hour = time.wHour;
    local.minute = time.wMinute;
    local.second = time.wSecond;
    return local;
}

// A file's last write as the machine's wall-clock time.
outputrotation::LocalTime localTimeOf(const FILETIME& written)
{
    SYSTEMTIME universal{};
    SYSTEMTIME local{};
    if (!FileTimeToSystemTime(&written, &universal) || !SystemTimeToTzSpecificLocalTime(nullptr, &universal, &local)) {
        GetLocalTime(&local);
    }
    return fromSystemTime(local);
}

// Neither a directory nor a link: what a rotation may rename or remove.
bool isPlainFile(const std::wstring& path)
{
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES &&
           (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) == 0;
}

} // namespace

outputrotation::LocalTime systemLocalTime()
{
    SYSTEMTIME now{};
    GetLocalTime(&now);
    return fromSystemTime(now);
}

bool RotatingFile::open(const std::wstring& path, const outputrotation::Settings& settings, LocalClock clock,
                        DWORD* error, CompressionRunner compressor)
{
    close();
    const size_t separator = path.find_last_of(L"\\/");
    folder_ = separator == std::wstring::npos ? std::wstring() : path.substr(0, separator + 1);
    bool replaced = false;
    base_ = toNarrow(path.substr(separator == std::wstring::npos ? 0 : separator + 1), CP_UTF8, &replaced);
    settings_ = settings;
    clock_ = clock != nullptr ? clock : systemLocalTime;
    compressor_ = compressor;
    settings_.compress = settings.compress && compressor_ != nullptr;
    if (base_.empty() || replaced) {
        *error = ERROR_INVALID_NAME;
        return false;
    }
    if (!openCurrent(error)) {
        return false;
    }
    keepRolledFiles(clock_());
    return true;
}

// Opens the current file without following a link at its name, for writes at its end, and
// shared for deletion so that a roll over can rename it while it is open.
bool RotatingFile::openCurrent(DWORD* error)
{
    const std::wstring path = folder_ + toWide(base_, CP_UTF8);
    UniqueFile file(CreateFileW(path.c_str(), GENERIC_WRITE | FILE_READ_ATTRIBUTES,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!file) {
        *error = GetLastError();
        return false;
    }
    BY_HANDLE_FILE_INFORMATION information{};
    if (!GetFileInformationByHandle(file.get(), &information)) {
        *error = GetLastError();
        return false;
    }
    // A second name of the file is a hard link someone made in the folder: appending would
    // write into whatever file that is, with the service's rights.
    if ((information.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != 0 ||
        information.nNumberOfLinks > 1) {
        *error = ERROR_CANT_ACCESS_FILE;
        return false;
    }
    const uint64_t size = (static_cast<uint64_t>(information.nFileSizeHigh) << 32) | information.nFileSizeLow;
    state_ = outputrotation::existingFile(settings_, size, localTimeOf(information.ftLastWriteTime));
    lastByte_ = '\n';
    if (size > 0) {
        // A mark begins on a line of its own, also after a run that ended within a line.
        LARGE_INTEGER last{};
        last.QuadPart = -1;
        char byte = '\n';
        DWORD read = 0;
        UniqueFile reader(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
        if (reader && SetFilePointerEx(reader.get(), last, nullptr, FILE_END) &&
            ReadFile(reader.get(), &byte, 1, &read, nullptr) && read == 1) {
            lastByte_ = byte;
        }
    }
    file_ = std::move(file);
    return true;
}

std::wstring RotatingFile::sibling(const std::string& name) const
{
    return folder_ + toWide(name, CP_UTF8);
}

std::vector<std::string> RotatingFile::names() const
{
    std::vector<std::string> list;
    WIN32_FIND_DATAW found{};
    UniqueFind find(FindFirstFileW((folder_ + L"*").c_str(), &found));
    if (!find) {
        return list;
    }
    do {
        bool replaced = false;
        std::string name = toNarrow(found.cFileName, CP_UTF8, &replaced);
        if (!replaced) {
            list.push_back(name);
        }
    } while (FindNextFileW(find.get(), &found));
    return list;
}

void RotatingFile::carryOut(const outputrotation::Step& step, bool* rolledOver, bool* failed)
{
    using outputrotation::Step;
    const std::wstring from = sibling(step.name);
    switch (step.kind) {
    case Step::remove:
        *failed = !isPlainFile(from) || !DeleteFileW(from.c_str());
        break;
    case Step::rename:
        *failed = !isPlainFile(from) || !MoveFileExW(from.c_str(), sibling(step.to).c_str(), 0);
        break;
    case Step::rollOver: {
        // Renamed while open; the writes go on into the renamed file until the new one opens.
        if (!MoveFileExW(from.c_str(), sibling(step.to).c_str(), 0)) {
            logMessage("output file %s not rolled over to %s (%d); writing on", step.name.c_str(), step.to.c_str(),
                       static_cast<int>(GetLastError()));
            *failed = true;
            break;
        }
        UniqueFile renamed = std::move(file_);
        DWORD error = 0;
        if (!openCurrent(&error)) {
            logMessage("output file %s not begun again (%d); writing on into %s", step.name.c_str(),
                       static_cast<int>(error), step.to.c_str());
            file_ = std::move(renamed);
            renamedAway_ = true;
        }
        *rolledOver = true;
        break;
    }
    case Step::truncate: {
        LARGE_INTEGER start{};
        *failed = !SetFilePointerEx(file_.get(), start, nullptr, FILE_BEGIN) || !SetEndOfFile(file_.get());
        *rolledOver = !*failed;
        break;
    }
    case Step::compress:
        compressor_(from);
        break;
    }
}

void RotatingFile::keepRolledFiles(const outputrotation::LocalTime& now)
{
    // Each removal stands alone: one that fails (a file another process holds) is tried
    // again at the next roll over.
    for (const outputrotation::Step& step : outputrotation::retention(settings_, base_, names(), now)) {
        bool rolledOver = false;
        bool failed = false;
        carryOut(step, &rolledOver, &failed);
    }
}

bool RotatingFile::write(const char* data, size_t length)
{
    if (!file_) {
        return false;
    }
    if (length == 0) {
        return true;
    }
    const outputrotation::LocalTime now = clock_();
    if (renamedAway_) {
        UniqueFile renamed = std::move(file_);
        DWORD error = 0;
        if (openCurrent(&error)) {
            renamedAway_ = false;
        } else {
            file_ = std::move(renamed);
        }
    }
    // The folder is listed only when a roll over is due.
    std::vector<outputrotation::Step> steps =
        outputrotation::beforeWrite(settings_, base_, std::vector<std::string>(), state_, now, length);
    if (!steps.empty()) {
        steps = outputrotation::beforeWrite(settings_, base_, names(), state_, now, length);
        bool rolledOver = false;
        bool failed = false;
        for (const outputrotation::Step& step : steps) {
            carryOut(step, &rolledOver, &failed);
            if (failed) break;
        }
        if (rolledOver) {
            state_ = outputrotation::afterRollOver();
            keepRolledFiles(now);
        }
    }
    LARGE_INTEGER end{};
    if (!SetFilePointerEx(file_.get(), end, nullptr, FILE_END)) {
        return false;
    }
    size_t done = 0;
    while (done < length) {
        const DWORD chunk = length - done > 0x10000000 ? 0x10000000 : static_cast<DWORD>(length - done);
        DWORD written = 0;
        if (!WriteFile(file_.get(), data + done, chunk, &written, nullptr) || written == 0) {
            outputrotation::afterWrite(settings_, &state_, now, done);
            return false;
        }
        done += written;
    }
    outputrotation::afterWrite(settings_, &state_, now, length);
    lastByte_ = data[length - 1];
    return true;
}

void RotatingFile::close()
{
    file_.reset();
}
