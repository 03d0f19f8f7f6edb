// Output files through a partial file and a rename.
#include "packaging/io/output_file.h"

#include <cerrno>
#include <cstring>
#include <system_error>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace packager {

namespace fs = std::filesystem;

namespace {

std::FILE* createFile(const fs::path& path)
{
#ifdef _WIN32
    return _wfopen(path.c_str(), L"wb");
#else
    return std::fopen(path.c_str(), "wb");
#endif
}

// Flushes the file's buffer and has the system put its data on the disk, so that no crash
// after the rename can leave the output with less than was written.
bool flushToDisk(std::FILE* file)
{
    if (std::fflush(file) != 0) {
        return false;
    }
#ifdef _WIN32
    return _commit(_fileno(file)) == 0;
#else
    return fsync(fileno(file)) == 0;
#endif
}

} // namespace

OutputFile::OutputFile(fs::path output) : output_(std::move(output)), partial_(output_)
{
    partial_ += ".partial";
}

OutputFile::~OutputFile()
{
    if (!committed_) {
        discard();
    }
}

void OutputFile::discard()
{
    if (file_ != nullptr) {
        std::fclose(file_);
        file_ = nullptr;
    }
    std::error_code ignored;
    if (!fs::is_directory(partial_, ignored)) {
        fs::remove(partial_, ignored);
    }
}

bool OutputFile::open(std::string* error)
{
    errno = 0;
    file_ = createFile(partial_);
    if (file_ == nullptr) {
        openErrno_ = errno;
        // The name the user gave, not the partial one, and why.
        *error = cannotWrite(output_.u8string(), openErrno_);
        return false;
    }
    return true;
}

bool OutputFile::write(const void* data, size_t size)
{
    if (file_ == nullptr || writeFailed_) {
        writeFailed_ = true;
        return false;
    }
    if (size != 0 && std::fwrite(data, 1, size, file_) != size) {
        writeFailed_ = true;
    }
    return !writeFailed_;
}

bool OutputFile::commit(std::string* error)
{
    if (file_ != nullptr) {
        bool ended = !writeFailed_ && std::ferror(file_) == 0 && flushToDisk(file_);
        ended = std::fclose(file_) == 0 && ended;
        file_ = nullptr;
        writeFailed_ = writeFailed_ || !ended;
    }
    std::error_code failed;
    if (writeFailed_ || !fs::is_regular_file(partial_, failed)) {
        discard();
        *error = cannotWrite(output_.u8string(), openErrno_);
        return false;
    }
    // Replaces an existing file in one step, so that a failure leaves the previous file in
    // place rather than no file at all.
    std::error_code renameError;
    fs::rename(partial_, output_, renameError);
    if (renameError) {
        discard();
        *error = "cannot create " + output_.u8string() + ": " + renameError.message();
        return false;
    }
    committed_ = true;
    return true;
}

bool writeOutputFile(const fs::path& output, const std::string& content, std::string* error)
{
    OutputFile file(output);
    if (!file.open(error)) {
        return false;
    }
    file.write(content.data(), content.size());
    return file.commit(error);
}

std::string cannotWrite(const std::string& path, int savedErrno)
{
    fs::path folder = fs::path(path).parent_path();
    std::error_code ignored;
    if (!folder.empty() && !fs::is_directory(folder, ignored)) {
        return "cannot write " + path + ": the folder " + folder.u8string() + " does not exist";
    }
    if (savedErrno == 0) {
        return "cannot write " + path;
    }
    return "cannot write " + path + ": " + std::strerror(savedErrno);
}

} // namespace packager
