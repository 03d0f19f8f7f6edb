// The packager's one way to write an output file (a launcher, a descriptor, an extracted
// file, the launcher image, a WiX source, an installer package): the content goes to
// "<output>.partial" beside the output, and only when it is complete and on the disk does
// that file replace the output, in one step (a rename, on Windows too). Any failure
// removes the partial file and leaves the output as it was, so a file of the output's name
// is always either the previous one or the complete new one.
#pragma once

#include <cstddef>
#include <cstdio>
#include <filesystem>
#include <string>

namespace packager {

class OutputFile {
public:
    explicit OutputFile(std::filesystem::path output);
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;
    // Removes the partial file unless it was committed.
    ~OutputFile();

    // Creates the partial file for writing; false with "cannot write <output>" and why.
    bool open(std::string* error);
    // Appends bytes to the partial file; false once a write has failed (commit then
    // reports it).
    bool write(const void* data, size_t size);
    // The partial file, for a program that writes the output itself instead of write().
    const std::filesystem::path& partialPath() const { return partial_; }
    // Ends the partial file (on the disk, not only in a buffer) and puts it in the
    // output's place. False, with the partial file removed and the output as it was, when
    // a write failed, when there is no partial file, or when it cannot replace the output.
    bool commit(std::string* error);

private:
    void discard();

    std::filesystem::path output_;
    std::filesystem::path partial_;
    std::FILE* file_ = nullptr;
    int openErrno_ = 0;
    bool writeFailed_ = false;
    bool committed_ = false;
};

// `content` as the whole of `output`, through an OutputFile.
bool writeOutputFile(const std::filesystem::path& output, const std::string& content, std::string* error);

// "cannot write <path>" with the reason: a folder that does not exist, else the system's
// text for `savedErrno` (none when it is 0).
std::string cannotWrite(const std::string& path, int savedErrno);

} // namespace packager
