// The key table: one default per record, each default written back by inspect, and the
// committed key reference that `packager keys` prints.
#include "packager_test_support.h"

#include "format/record_ids.h"
#include "packaging/descriptor/draft.h"
#include "packaging/descriptor/key_reference.h"
#include "packaging/descriptor/keys.h"
#include "packaging/descriptor/values.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

namespace {

using namespace packagertest;

TEST(KeyTable, EveryRecordHasOneDefaultAndEveryDefaultWritesBack)
{
    // Two defaults would disagree. A record without a default is left out unless a key
    // sets it, so some key must; these are the ones a launcher may find absent.
    std::set<int32_t> withoutDefault;
    for (int32_t id : packager::narrowRecordOrder()) {
        int defaults = 0;
        int setters = 0;
        for (const packager::DescriptorKey& key : packager::descriptorKeys()) {
            defaults += key.record == id && key.defaultValue != nullptr;
            setters += key.record == id || (key.kind == packager::KeyKind::choice && key.linked == id);
        }
        EXPECT_LE(defaults, 1) << "record " << id;
        EXPECT_GE(setters, 1) << "record " << id;
        if (defaults == 0) {
            withoutDefault.insert(id);
        }
    }
    EXPECT_EQ(withoutDefault, (std::set<int32_t>{cfg::serviceStartMode, cfg::serviceRecovery}));
    std::set<std::string> sections;
    for (const packager::DescriptorSection& section : packager::descriptorSections()) {
        sections.insert(section.name);
    }
    std::set<std::string> names;
    for (const packager::DescriptorKey& key : packager::descriptorKeys()) {
        const std::string name = packager::keyPath(key);
        EXPECT_TRUE(names.insert(name).second) << name << " twice";
        EXPECT_EQ(sections.count(key.section), 1u) << name;
        EXPECT_TRUE(key.record == 0 || cfg::findRecord(key.record) != nullptr) << name;
        if (key.code != packager::KeyCode::own && key.defaultValue != nullptr && key.required == nullptr) {
            EXPECT_TRUE(packager::decodeValue(key, key.defaultValue).has_value()) << name;
        }
    }
}

TEST(KeyTable, DocsDescriptorMdIsTheReferenceTheTableGives)
{
    std::ifstream in(DESCRIPTOR_REFERENCE, std::ios::binary);
    ASSERT_TRUE(in) << DESCRIPTOR_REFERENCE << " is missing";
    std::string committed((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const std::string generated = packager::keyReference();
    if (committed == generated) {
        return;
    }
    std::istringstream a(committed);
    std::istringstream b(generated);
    std::string left;
    std::string right;
    int line = 1;
    while (std::getline(a, left) && std::getline(b, right) && left == right) {
        ++line;
    }
    ADD_FAILURE() << "docs/descriptor.md differs from the key table from line " << line << " on:\n  committed: "
                  << left << "\n  the table: " << right
                  << "\nRegenerate it with a native build's packager: "
                     "build/native/src/packaging/packager keys > docs/descriptor.md";
}

} // namespace
