// What a corrupted launcher must do, decided by the block parser that the launcher and the
// packager share: the mutations of the corrupted-launcher check, what the parser reads
// from a mutated file, the launcher that a packager would build from those records, and
// the counts of the outcomes. Portable C++; the runs under Wine are in mutation_process_test.cpp.
#pragma once

#include "format/block.h"
#include "format/block_parser.h"

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace mutation {

// One change to the bytes behind the image.
struct Mutation {
    enum Kind { bitFlip, byteChange, cut, extreme32, extreme64 } kind = bitFlip;
    size_t offset = 0;   // from the start of the file; for a cut, the new size
    uint64_t value = 0;  // the bit number, the new byte or the extreme value
};
extern const char* const kKindNames[5];

// The mutation of case `number` of a run with `seed`: each case has a generator of its
// own, so that a single case can be run again alone.
Mutation pickMutation(unsigned long seed, unsigned long number, size_t imageSize, size_t fileSize);
void applyMutation(const Mutation& mutation, std::vector<uint8_t>& bytes);

// The part of a packaged launcher at an offset behind the image (from the sound file's
// layout): "block header", "narrow records", "wide records", "locale groups", "included
// files".
struct Layout {
    size_t imageSize = 0;
    size_t narrowEnd = 0;
    size_t wideEnd = 0;
    size_t blockEnd = 0;
};
Layout layoutOf(size_t imageSize, const blockformat::ConfigBlock& block);
const char* regionOf(const Layout& layout, size_t offset);
// "bit flip of bit 3 at offset 291234 (block +1234, narrow records)".
std::string describe(const Mutation& mutation, const Layout& layout);

// What the shared parser reads from a launcher file, as far as it gets.
struct Reading {
    blockformat::BlockError blockError = blockformat::BlockError::none;
    blockformat::ConfigBlock block;          // the records, when the block parsed
    uint64_t imageEnd = 0;                   // where the block starts
    uint64_t blockEnd = 0;                   // and where it ends, when it parsed
    std::vector<std::string> fileNames;      // the included files the launcher extracts
    bool filesRead = false;                  // all of them there, whole
    bool lengthCut = false;                  // when not: the failed file's length field is cut
    uint64_t unextractedPosition = 0;        // where the launcher says its extraction ended
};
Reading readAsParser(const std::vector<uint8_t>& file);

// The same records (identifiers, values and order) and the same included contents.
bool sameRecords(const blockformat::ConfigBlock& a, const blockformat::ConfigBlock& b);
bool sameContents(const blockformat::ConfigBlock& a, const blockformat::ConfigBlock& b);

// The files a launcher extracts for a reading: name -> content. An empty included file is
// stored as a length of 0 (or less), and the launcher writes no file for it.
std::map<std::string, std::vector<uint8_t>> extractedFiles(const Reading& reading);

// The launcher a packager builds from the records that `reading` holds: the image, the
// block written anew and the included files written anew. When the included files could
// not be read, the bytes behind the damaged block follow the new block as they are.
std::vector<uint8_t> repackaged(const std::vector<uint8_t>& damaged, const Reading& reading);

// Counts of outcome classes per mutation kind, and their table.
class Tally {
public:
    void add(const std::string& kind, const std::string& region, const std::string& outcome);
    std::string table() const;

private:
    std::map<std::string, std::map<std::string, int>> byKind_;
    std::map<std::string, std::map<std::string, int>> byRegion_;
    std::map<std::string, int> outcomes_;
};

} // namespace mutation
