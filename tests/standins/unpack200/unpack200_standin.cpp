// Test double of a Java runtime's bin\unpack200.exe, for the tests of unpacking a runtime
// shipped in packed form: no Java runtime for Windows exists on the build machine.
//
// Command line: [-r] <packed input> <jar output>, the paths usually in double quotes.
// The "packed" format is ours, not Pack200: a first line naming the outcome, then the
// jar's bytes.
//   "STANDIN-PACK\n" + bytes               writes the bytes to the output, exit code 0
//   "STANDIN-PACK FAIL <code>\n" + ...     writes nothing, exit code <code>
//   "STANDIN-PACK PARTIAL <code>\n" + ...  writes the first half of the bytes, exit <code>
//   anything else                          writes nothing, exit code 2
// With -r the input is deleted after a successful run only. A successful run then writes
// "unpacked <jar output>" to its standard output, so that tests can see where its output
// lands among the caller's.
//
// Every start appends one line to "<this program's path>.starts": the arguments exactly
// as they stand on the command line, so that tests can count the starts, see their order
// and check the quoting. The line begins with "concurrent: " when another copy from the
// same place was still running, which a launcher that waits for each copy never allows.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

const char kHeader[] = "STANDIN-PACK";

// The command line after the program name, as the caller wrote it.
std::string rawArguments()
{
    const char* line = GetCommandLineA();
    if (*line == '"') {
        const char* close = std::strchr(line + 1, '"');
        line = close != nullptr ? close + 1 : line + std::strlen(line);
    } else {
        while (*line != '\0' && *line != ' ' && *line != '\t') ++line;
    }
    while (*line == ' ' || *line == '\t') ++line;
    return line;
}

std::string ownPath()
{
    char path[MAX_PATH + 1];
    DWORD n = GetModuleFileNameA(nullptr, path, sizeof path);
    return std::string(path, n < sizeof path ? n : 0);
}

bool readFile(const char* path, std::string* bytes)
{
    FILE* file = fopen(path, "rb");
    if (file == nullptr) return false;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, file)) > 0) bytes->append(buffer, n);
    fclose(file);
    return true;
}

bool writeFile(const char* path, const std::string& bytes)
{
    FILE* file = fopen(path, "wb");
    if (file == nullptr) return false;
    bool ok = fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return fclose(file) == 0 && ok;
}

} // namespace

int main(int argc, char** argv)
{
    std::string self = ownPath();
    // Exists while this copy runs; the system removes it when the process ends, however
    // it ends.
    HANDLE running = CreateFileA((self + ".running").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                 FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    std::string line = (running == INVALID_HANDLE_VALUE ? "concurrent: " : "") + rawArguments() + "\n";
    FILE* starts = fopen((self + ".starts").c_str(), "ab");
    if (starts != nullptr) {
        fputs(line.c_str(), starts);
        fclose(starts);
    }
    // Long enough that a caller that does not wait would see the next copy overlap.
    Sleep(100);

    int first = 1;
    bool removeInput = argc > 1 && std::strcmp(argv[1], "-r") == 0;
    if (removeInput) first = 2;
    if (argc - first != 2) {
        fprintf(stderr, "usage: unpack200 [-r] packed jar\n");
        return 2;
    }
    const char* input = argv[first];
    const char* output = argv[first + 1];

    std::string bytes;
    if (!readFile(input, &bytes)) {
        fprintf(stderr, "cannot read %s\n", input);
        return 2;
    }
    size_t lineEnd = bytes.find('\n');
    std::string header = bytes.substr(0, lineEnd);
    std::string content = lineEnd == std::string::npos ? std::string() : bytes.substr(lineEnd + 1);
    if (header.compare(0, sizeof kHeader - 1, kHeader) != 0) {
        fprintf(stderr, "not a packed file: %s\n", input);
        return 2;
    }
    std::string outcome = header.substr(sizeof kHeader - 1);
    int code = 0;
    if (std::sscanf(outcome.c_str(), " FAIL %d", &code) == 1) {
        return code;
    }
    if (std::sscanf(outcome.c_str(), " PARTIAL %d", &code) == 1) {
        writeFile(output, content.substr(0, content.size() / 2));
        return code;
    }
    if (!outcome.empty() || !writeFile(output, content)) {
        fprintf(stderr, "cannot unpack %s\n", input);
        return 2;
    }
    if (removeInput && !DeleteFileA(input)) {
        fprintf(stderr, "cannot remove %s\n", input);
        return 3;
    }
    printf("unpacked %s\n", output);
    return 0;
}
