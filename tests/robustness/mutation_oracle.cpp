// The corrupted-launcher check's oracle: mutations, the parser's reading, repackaging.
#include "mutation_oracle.h"

#include "format/block_writer.h"
#include "format/included_files.h"
#include "format/record_ids.h"
#include "format/record_text.h"

#include <algorithm>
#include <cstdio>
#include <random>

namespace mutation {

const char* const kKindNames[5] = {"bit flip", "byte change", "cut", "32-bit extreme", "64-bit extreme"};

Mutation pickMutation(unsigned long seed, unsigned long number, size_t imageSize, size_t fileSize)
{
    static const uint32_t extremes32[] = {0x7FFFFFFFu, 0xFFFFFFFFu, 0x80000000u, 0x00100000u};
    static const uint64_t extremes64[] = {0x7FFFFFFFFFFFFFFFull, 0xFFFFFFFFFFFFFFFFull, 0x8000000000000000ull,
                                          0x0000000100000000ull};
    std::seed_seq sequence{static_cast<uint32_t>(seed), static_cast<uint32_t>(number)};
    std::mt19937 random(sequence);
    Mutation mutation;
    mutation.kind = static_cast<Mutation::Kind>(random() % 5);
    mutation.offset = imageSize + std::uniform_int_distribution<size_t>(0, fileSize - imageSize - 1)(random);
    switch (mutation.kind) {
    case Mutation::bitFlip: mutation.value = random() % 8; break;
    case Mutation::byteChange: mutation.value = random() % 256; break;
    case Mutation::cut: break;
    case Mutation::extreme32: mutation.value = extremes32[random() % 4]; break;
    case Mutation::extreme64: mutation.value = extremes64[random() % 4]; break;
    }
    return mutation;
}

void applyMutation(const Mutation& mutation, std::vector<uint8_t>& bytes)
{
    auto put = [&](int width) {
        for (size_t i = 0; i < static_cast<size_t>(width) && mutation.offset + i < bytes.size(); ++i) {
            bytes[mutation.offset + i] = static_cast<uint8_t>(mutation.value >> (8 * i));
        }
    };
    switch (mutation.kind) {
    case Mutation::bitFlip: bytes[mutation.offset] ^= static_cast<uint8_t>(1u << mutation.value); break;
    case Mutation::byteChange: bytes[mutation.offset] = static_cast<uint8_t>(mutation.value); break;
    case Mutation::cut: bytes.resize(mutation.offset); break;
    case Mutation::extreme32: put(4); break;
    case Mutation::extreme64: put(8); break;
    }
}

Layout layoutOf(size_t imageSize, const blockformat::ConfigBlock& block)
{
    Layout layout;
    layout.imageSize = imageSize;
    size_t at = imageSize + blockformat::kHeaderSize + 4;
    for (const blockformat::NarrowRecord& record : block.narrow) at += 8 + record.value.size();
    layout.narrowEnd = at;
    at += 4;
    for (const blockformat::WideRecord& record : block.wide) at += 8 + 2 * record.value.size();
    layout.wideEnd = at;
    layout.blockEnd = imageSize + blockformat::serializeBlock(block).size();
    return layout;
}

const char* regionOf(const Layout& layout, size_t offset)
{
    if (offset < layout.imageSize + blockformat::kHeaderSize) return "block header";
    if (offset < layout.narrowEnd) return "narrow records";
    if (offset < layout.wideEnd) return "wide records";
    if (offset < layout.blockEnd) return "locale groups";
    return "included files";
}

std::string describe(const Mutation& mutation, const Layout& layout)
{
    char what[64];
    switch (mutation.kind) {
    case Mutation::bitFlip: std::snprintf(what, sizeof what, "bit flip of bit %u", unsigned(mutation.value)); break;
    case Mutation::byteChange: std::snprintf(what, sizeof what, "byte set to 0x%02X", unsigned(mutation.value)); break;
    case Mutation::cut: std::snprintf(what, sizeof what, "cut"); break;
    case Mutation::extreme32:
    case Mutation::extreme64:
        std::snprintf(what, sizeof what, "%s 0x%llX", kKindNames[mutation.kind],
                      static_cast<unsigned long long>(mutation.value));
        break;
    }
    return std::string(what) + (mutation.kind == Mutation::cut ? " to " : " at ") + "offset " +
           std::to_string(mutation.offset) + " (block +" + std::to_string(mutation.offset - layout.imageSize) + ", " +
           regionOf(layout, mutation.offset) + ")";
}

Reading readAsParser(const std::vector<uint8_t>& file)
{
    Reading reading;
    std::string error;
    if (!blockformat::findImageEnd(file, &reading.imageEnd, &error)) {
        reading.blockError = blockformat::BlockError::magic;  // never: the image is not mutated
        return reading;
    }
    blockformat::ParseResult parsed =
        blockformat::parseBlock(file.data() + reading.imageEnd, file.size() - reading.imageEnd, &reading.block);
    reading.blockError = parsed.error;
    if (parsed.error != blockformat::BlockError::none) {
        return reading;
    }
    reading.blockEnd = reading.imageEnd + parsed.end;
    const std::string* count = reading.block.findNarrow(cfg::includedFileCount);
    const std::string* names = reading.block.findNarrow(cfg::includedFileNames);
    const int declared = count == nullptr ? 0 : blockformat::parseRecordInt(count->c_str());
    reading.fileNames = blockformat::includedFileNames(names == nullptr ? std::string() : *names, declared);
    const uint64_t filesStart = reading.blockEnd;
    uint64_t end = 0;
    size_t failed = 0;
    reading.filesRead = blockformat::readIncludedFiles(file.data(), file.size(), filesStart, reading.fileNames.size(),
                                                       &reading.block.includedContents, &end, &failed);
    if (!reading.filesRead) {
        // Where the failed file starts: behind the ones before it.
        std::vector<std::vector<uint8_t>> before;
        blockformat::readIncludedFiles(file.data(), file.size(), filesStart, failed, &before, &end, &failed);
        reading.lengthCut = file.size() - end < 8;
        return reading;
    }
    // Without a positive count the launcher extracts nothing and keeps 0.
    reading.unextractedPosition = declared > 0 ? end : 0;
    return reading;
}

bool sameRecords(const blockformat::ConfigBlock& a, const blockformat::ConfigBlock& b)
{
    auto sameNarrow = [](const blockformat::NarrowRecord& x, const blockformat::NarrowRecord& y) {
        return x.id == y.id && x.value == y.value;
    };
    auto sameWide = [](const blockformat::WideRecord& x, const blockformat::WideRecord& y) {
        return x.id == y.id && x.value == y.value;
    };
    auto sameGroup = [&](const blockformat::LocaleGroup& x, const blockformat::LocaleGroup& y) {
        return x.prefix == y.prefix && std::equal(x.records.begin(), x.records.end(), y.records.begin(),
                                                  y.records.end(), sameWide);
    };
    return std::equal(a.narrow.begin(), a.narrow.end(), b.narrow.begin(), b.narrow.end(), sameNarrow) &&
           std::equal(a.wide.begin(), a.wide.end(), b.wide.begin(), b.wide.end(), sameWide) &&
           std::equal(a.localeGroups.begin(), a.localeGroups.end(), b.localeGroups.begin(), b.localeGroups.end(),
                      sameGroup);
}

bool sameContents(const blockformat::ConfigBlock& a, const blockformat::ConfigBlock& b)
{
    return a.includedContents == b.includedContents;
}

std::map<std::string, std::vector<uint8_t>> extractedFiles(const Reading& reading)
{
    std::map<std::string, std::vector<uint8_t>> files;
    for (size_t i = 0; i < reading.fileNames.size() && i < reading.block.includedContents.size(); ++i) {
        if (!reading.block.includedContents[i].empty()) {
            files[reading.fileNames[i]] = reading.block.includedContents[i];
        }
    }
    return files;
}

std::vector<uint8_t> repackaged(const std::vector<uint8_t>& damaged, const Reading& reading)
{
    const std::vector<uint8_t> image(damaged.begin(), damaged.begin() + static_cast<std::ptrdiff_t>(reading.imageEnd));
    std::vector<uint8_t> launcher;
    std::string error;
    if (reading.filesRead) {
        blockformat::packageImage(image, reading.block, &launcher, &error);
        return launcher;
    }
    launcher = image;
    const std::vector<uint8_t> block = blockformat::serializeBlock(reading.block);
    launcher.insert(launcher.end(), block.begin(), block.end());
    launcher.insert(launcher.end(), damaged.begin() + static_cast<std::ptrdiff_t>(reading.blockEnd), damaged.end());
    return launcher;
}

void Tally::add(const std::string& kind, const std::string& region, const std::string& outcome)
{
    const std::string outcomeClass = outcome.substr(0, outcome.find(':'));
    ++byKind_[kind][outcomeClass];
    ++byRegion_[region][outcomeClass];
    ++outcomes_[outcome];
}

std::string Tally::table() const
{
    std::string out;
    char line[256];
    for (const auto& [outcome, count] : outcomes_) {
        std::snprintf(line, sizeof line, "%6d  %s\n", count, outcome.c_str());
        out += line;
    }
    const char* classes[] = {"detected", "unchanged records", "changed records read alike", "failed"};
    for (const auto* table : {&byKind_, &byRegion_}) {
        std::snprintf(line, sizeof line, "\n%-16s %9s %18s %27s %7s %7s\n", table == &byKind_ ? "kind" : "region",
                      classes[0], classes[1], classes[2], classes[3], "total");
        out += line;
        for (const auto& [row, counts] : *table) {
            int cells[4] = {0, 0, 0, 0};
            int total = 0;
            for (const auto& [outcomeClass, count] : counts) total += count;
            for (int c = 0; c < 4; ++c) {
                auto found = counts.find(classes[c]);
                cells[c] = found == counts.end() ? 0 : found->second;
            }
            std::snprintf(line, sizeof line, "%-16s %9d %18d %27d %7d %7d\n", row.c_str(), cells[0], cells[1],
                          cells[2], cells[3], total);
            out += line;
        }
    }
    return out;
}

} // namespace mutation
