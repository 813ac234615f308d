// The committed seeds of fuzz_package (fuzz/corpus/fuzz_package/) are made
// here from the PE builder and hand-made catalogues, so that each one reaches
// the part of the readers it is named for. The test checks that every seed is
// what the generator makes and gives its intended status; with
// WRITE_FUZZ_SEEDS=1 in the environment it writes them first.
#include "package_util.h"

#include <cstdlib>

namespace {

const std::string kCorpus = std::string(SOURCE_DIR) + "/fuzz/corpus/fuzz_package";

struct Seed {
    std::string name;
    std::vector<uint8_t> bytes;
    PackageStatus status;  // what the package check gives
};

std::vector<Seed> Seeds() {
    std::vector<Seed> seeds;
    const uint32_t p = InstallerWith({}).position;
    auto payloadAt = [p](size_t entries) { return p + CAT_HEADER_SIZE + ENTRY_SIZE * (uint32_t)(entries + 1); };
    {
        uint32_t at = payloadAt(4);
        seeds.push_back(
            {"sound_four_entries",
             InstallerWith(
                 CatalogueBytes(
                     "Zonsondergang \xE9", 13,
                     {{at, 6, 0, ".TMP"}, {at + 6, 3, 10, ".TMP"}, {at + 9, 2, 0, ".T"}, {at + 11, 1, 0, ".BIN"}}),
                 {'M', 'Z', 1, 2, 3, 4, 9, 9, 9, 5, 5, 7})
                 .bytes,
             PACKAGE_OK});
    }
    seeds.push_back({"bare_stub", pe::Build().bytes, PACKAGE_NO_ENTRIES});
    {
        std::vector<uint8_t> bytes = InstallerWith(CatalogueBytes("t", 1, {{0, 1, 0, ""}, {0, 1, 0, ""}})).bytes;
        bytes.resize(bytes.size() - 9);
        seeds.push_back({"catalogue_cut_in_terminator", bytes, PACKAGE_DAMAGED});
    }
    seeds.push_back({"entry_offset_plus_size_wraps",
                     InstallerWith(CatalogueBytes("t", 1, {{0xFFFFFFF0u, 0x20, 0, ""}}), {1}).bytes,
                     PACKAGE_ENTRY_OUTSIDE});
    {
        uint32_t at = payloadAt(3);
        seeds.push_back(
            {"extension_with_separator",
             InstallerWith(CatalogueBytes("t", 2, {{at, 1, 0, ""}, {at, 1, 0, ""}, {at, 1, 0, ".\\x"}}), {1}).bytes,
             PACKAGE_BAD_EXTENSION});
    }
    {
        pe::Options o;
        o.sections = {{".rsrc", 0, true}, {".text", 0x200}, {".RSRC", 0, true}};
        o.packageDataOffset = 0x600;
        o.declaredSections = 3;
        pe::Image image = pe::Build(o);
        std::vector<uint8_t> bytes = image.bytes;
        std::vector<uint8_t> catalogue = CatalogueBytes("first in the table", 1, {{0, 16, 0, ".TMP"}});
        std::copy(catalogue.begin(), catalogue.end(), bytes.begin() + image.layout.packagePos);
        seeds.push_back({"rsrc_first_in_table", bytes, PACKAGE_OK});
    }
    {
        pe::Options o;
        o.sections.back().name = ".rsrcxyz";
        seeds.push_back({"no_exact_rsrc_name", pe::Build(o).bytes, PACKAGE_NO_RESOURCES});
    }
    {
        pe::Options o;
        o.truncateAt = pe::Build().layout.walk.back().offset + 9;
        seeds.push_back({"cut_in_data_entry", pe::Build(o).bytes, PACKAGE_SHORT_HEADER});
    }
    return seeds;
}

TEST(FuzzSeeds, CommittedSeedsAreWhatTheGeneratorMakes) {
    const char* write = std::getenv("WRITE_FUZZ_SEEDS");
    if (write && std::string(write) == "1") {
        std::filesystem::create_directories(kCorpus);
        for (const Seed& seed : Seeds()) pe::WriteFileBytes(kCorpus + "/" + seed.name, seed.bytes);
    }
    for (const Seed& seed : Seeds()) {
        const std::string path = kCorpus + "/" + seed.name;
        ASSERT_TRUE(std::filesystem::exists(path)) << path << " (run with WRITE_FUZZ_SEEDS=1)";
        EXPECT_LT(seed.bytes.size(), 8192u) << seed.name;
        EXPECT_EQ(pe::ReadFileBytes(path), seed.bytes) << seed.name << " differs from the generator's";
        EXPECT_EQ(CheckPackageIn(path.c_str(), nullptr, nullptr), seed.status) << seed.name;
    }
}

}  // namespace
