// The checked join, a row a case: a run split with so many recovery
// pieces, damaged so, joined into a file (which can take bytes back) or a
// device (which cannot, and has a dry run first); what it rebuilt and
// repaired, or the error it ended with. The output must be the source
// exactly where the join ends well.
#include "pieces/checked_copy.h"
#include "pieces/failure.h"
#include "pieces/files.h"
#include "pieces/manifest.h"
#include "pieces/recovery.h"
#include "pieces/split.h"
#include "pieces/worker.h"

#include <gtest/gtest.h>

#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

namespace {

struct Row {
    const char* name;
    int piece_kib, recovery;
    // Each a word: rmF (F a piece's number, or rN the Nth recovery piece),
    // flipF@OFFSET, cutF@SIZE, growF.
    const char* damage;
    bool into_device;
    // "FILE2.SPL missing FILES.REV" for a piece rebuilt, "FILE1.SPL 1/6
    // FILES.REV FILES2.REV" for blocks repaired, "spare FILES.REV damaged"
    // for a recovery piece no piece needed; or "Error ..." for a refusal.
    const char* expected;
};
void PrintTo(const Row& row, std::ostream* out) { *out << row.name; }

const Row rows[] = {
    {"whole_plus_0", 4, 0, "", false, ""},
    {"whole_plus_2_into_a_device", 4, 2, "", true, ""},
    {"piece_missing_plus_1", 4, 1, "rm2", false, "FILE2.SPL missing FILES.REV"},
    {"piece_missing_plus_1_into_a_device", 4, 1, "rm2", true, "FILE2.SPL missing FILES.REV"},
    {"piece_cut_plus_1", 4, 1, "cut1@100", false, "FILE1.SPL damaged FILES.REV"},
    {"piece_grown_plus_1", 4, 1, "grow3", false, "FILE3.SPL damaged FILES.REV"},
    {"last_piece_missing_plus_2", 4, 2, "rm5", false, "FILE5.SPL missing FILES.REV"},
    {"two_missing_plus_2", 4, 2, "rm0 rm4", false, "FILE0.SPL missing FILES.REV FILES2.REV|FILE4.SPL missing FILES.REV FILES2.REV"},
    {"two_missing_plus_2_into_a_device", 4, 2, "rm0 rm4", true,
     "FILE0.SPL missing FILES.REV FILES2.REV|FILE4.SPL missing FILES.REV FILES2.REV"},
    {"one_missing_the_xor_gone_plus_2", 4, 2, "rm1 rmr0", false, "FILE1.SPL missing FILES2.REV"},
    {"blocks_in_two_pieces_plus_1", 2048, 1, "flip1@5 flip2@1100000", false,
     "FILE1.SPL 1/2 FILES.REV|FILE2.SPL 1/2 FILES.REV"},
    {"blocks_in_two_pieces_plus_1_into_a_device", 2048, 1, "flip1@5 flip2@1100000", true,
     "FILE1.SPL 1/2 FILES.REV|FILE2.SPL 1/2 FILES.REV"},
    {"one_block_of_each_row_in_two_pieces_plus_1", 2048, 1, "flip1@5 flip2@5", false,
     "Error : FILE1.SPL and FILE2.SPL are damaged, and one recovery piece rebuilds only one\n"},
    {"recovery_piece_damaged", 4, 2, "flip r1@7", false, "spare FILES2.REV damaged"},
    {"recovery_piece_missing", 4, 1, "rmr0", false, "spare FILES.REV missing"},
    {"damaged_plus_0", 4, 0, "flip2@1", false, "Error : FILE2.SPL is damaged: it differs from FILES.XXH128\n"},
    {"damaged_plus_0_into_a_device", 4, 0, "flip2@1", true, "Error : FILE2.SPL is damaged: it differs from FILES.XXH128\n"},
    {"three_missing_plus_2", 4, 2, "rm0 rm1 rm2", false,
     "Error : FILE0.SPL, FILE1.SPL and FILE2.SPL are missing, and 2 recovery pieces rebuild only 2; it would take 3\n"},
    {"two_missing_and_a_recovery_piece_plus_2", 4, 2, "rm0 rm1 rmr1", true,
     "Error : FILE0.SPL and FILE1.SPL are missing, and FILES2.REV is missing or damaged there too, so 1 recovery piece "
     "rebuilds only 1; it would take 3\n"},
};

// Every byte value, in a run of so many pieces and 1,000 bytes.
std::string source_bytes(int piece_kib, int pieces = 5)
{
    std::string bytes;
    for (int i = 0; i < piece_kib * 1024 * pieces + 1000; ++i)
        bytes += static_cast<char>((i * 167 + i / 256) & 255);
    return bytes;
}

std::string name_of(const std::string& file)
{
    return file[0] == 'r' ? (file == "r0" ? "FILES.REV" : "FILES" + std::to_string(std::stoi(file.substr(1)) + 1) + ".REV")
                          : "FILE" + file + ".SPL";
}

void damage(const std::string& words)
{
    std::istringstream each(words);
    for (std::string word; each >> word;) {
        const auto at = word.find('@');
        std::string verb;
        for (const char* known : {"rm", "cut", "grow", "flip"})
            if (word.rfind(known, 0) == 0)
                verb = known;
        const std::string name = name_of(word.substr(verb.size(), at - verb.size()));
        const long number = at == std::string::npos ? 0 : std::stol(word.substr(at + 1));
        if (verb == "rm")
            std::filesystem::remove(name);
        else if (verb == "cut")
            std::filesystem::resize_file(name, static_cast<std::uintmax_t>(number));
        else if (verb == "grow")
            std::ofstream(name, std::ios::app) << "x";
        else {
            std::fstream file(name, std::ios::in | std::ios::out | std::ios::binary);
            file.seekg(number);
            const char byte = static_cast<char>(file.get() ^ 0x5a);
            file.seekp(number);
            file.put(byte);
        }
    }
}

std::string told(const CheckedCopyNotes& notes)
{
    std::string text;
    for (const Repair& repair : notes.repairs) {
        text += (text.empty() ? "" : "|") + repair.piece + " "
                + (repair.missing                  ? "missing"
                   : repair.blocks == repair.of ? "damaged"
                                                : std::to_string(repair.blocks) + "/" + std::to_string(repair.of));
        for (const std::string& from : repair.from)
            text += " " + from;
    }
    for (const Unusable& spare : notes.unusable)
        text += (text.empty() ? "" : "|") + std::string("spare ") + spare.name + " "
                + (spare.why == Report::Unusable::missing ? "missing" : "damaged");
    return text;
}

std::string contents(const std::string& name)
{
    std::ifstream file(name, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), {}};
}

// Each case in a fresh folder, where a run of `bytes` is split first.
class CheckedJoin : public testing::TestWithParam<Row> {
protected:
    void SetUp() override
    {
        std::string folder = (std::filesystem::temp_directory_path() / "zelk-join-XXXXXX").string();
        ASSERT_NE(mkdtemp(folder.data()), nullptr);
        folder_ = folder, back_ = std::filesystem::current_path();
        std::filesystem::current_path(folder_);
    }
    void TearDown() override
    {
        use_threads(0);
        std::filesystem::current_path(back_);
        std::filesystem::remove_all(folder_);
    }
    static Manifest split(const std::string& bytes, int piece_kib, int recovery)
    {
        std::ofstream("src", std::ios::binary) << bytes;
        File source;
        open_source(source, "src");
        split_file(source, std::int64_t{piece_kib} * 1024, recovery);
        Manifest manifest;
        EXPECT_EQ(read_manifest(manifest), ManifestRead::read);
        return manifest;
    }
    // Into `out` or a device: what the join told, or its error.
    static std::string joined(const Manifest& manifest, bool into_device = false)
    {
        File output;
        EXPECT_TRUE(open_for_writing(output, into_device ? "/dev/null" : "out", true));
        try {
            return told(copy_checked(output, manifest, {}));
        } catch (const Failure& failure) {
            return failure.message;
        }
    }
    std::filesystem::path folder_, back_;
};

TEST_P(CheckedJoin, RepairsOrRefuses)
{
    const Row& row = GetParam();
    const std::string bytes = source_bytes(row.piece_kib);
    split(bytes, row.piece_kib, row.recovery);
    damage(row.damage);
    Manifest manifest;
    ASSERT_EQ(read_manifest(manifest), ManifestRead::read);
    const std::string result = joined(manifest, row.into_device);
    EXPECT_EQ(result, row.expected);
    if (!row.into_device && result.rfind("Error", 0) != 0) {
        EXPECT_TRUE(contents("out") == bytes) << "the output differs";
    }
}

// The rebuild spread over one thread or several gives the same bytes: 40
// pieces and 300 (GF(2^16)), three lost of each; and a split by rows, its
// arithmetic on one core or shared out over several.
TEST_F(CheckedJoin, OneThreadOrSeveralGiveTheSame)
{
    for (const int pieces : {40, 300}) {
        const std::string bytes = source_bytes(1, pieces);
        const Manifest manifest = split(bytes, 1, 3);
        damage("rm0 rm17 cut33@5");
        for (const std::size_t threads : {1, 2, 3}) {
            use_threads(threads);
            EXPECT_EQ(joined(manifest), "FILE0.SPL missing FILES.REV FILES2.REV FILES3.REV|FILE17.SPL missing FILES.REV "
                                        "FILES2.REV FILES3.REV|FILE33.SPL damaged FILES.REV FILES2.REV FILES3.REV");
            EXPECT_TRUE(contents("out") == bytes) << pieces << " in " << threads;
        }
    }
    std::string made[2];
    for (const std::size_t threads : {1, 5}) {
        use_threads(threads);
        split(source_bytes(128, 6), 128, 7);
        made[threads > 1] = contents("FILES.XXH128") + contents("FILES7.REV");
    }
    EXPECT_TRUE(!made[0].empty() && made[0] == made[1]);
}

// Recovery pieces worked out with little memory, a block a stretch at a
// time, are the very bytes and checksums worked out a block at once.
TEST_F(CheckedJoin, RecoveryPiecesInStretchesAreTheSame)
{
    const Manifest made = split(source_bytes(64), 64, 2);
    Manifest again = made;
    std::vector<File> outs(2);
    ASSERT_TRUE(open_for_writing(outs[0], "again.rev", true) && open_for_writing(outs[1], "again2.rev", true));
    write_recovery_pieces(again, outs, 3 * 4096 * 2);
    EXPECT_EQ(again.recovery_pieces, made.recovery_pieces);
    EXPECT_EQ(again.blocks, made.blocks);
    EXPECT_TRUE(contents("FILES2.REV") == contents("again2.rev"));
}

INSTANTIATE_TEST_SUITE_P(Rows, CheckedJoin, testing::ValuesIn(rows),
                         [](const testing::TestParamInfo<Row>& row) { return row.param.name; });

}  // namespace
