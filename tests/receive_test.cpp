// Command 2 as far as the box's rule file: the remote name handed back, the display name, and
// a fax left alone when its box has no rules.
#include "distribution/receive.h"
#include "entry/entry.h"
#include "quillbox-host/description.h"
#include "test_support.h"

#include <array>
#include <cstring>

namespace wbfax {
namespace {

class Receive : public test::ScratchInstall {
protected:
    struct Outcome {
        std::string remoteName;
        std::string path;
        std::uint32_t result;
    };

    Outcome Send(const quillbox::Description &d, std::uint32_t box, std::vector<std::uint8_t> block = {}) {
        if (block.empty()) block = quillbox::BuildDescription(d);
        std::array<char, 260> path{};
        std::strcpy(path.data(), fax.c_str());
        std::array<char, 256> remoteName{};
        std::strcpy(remoteName.data(), "host text");
        std::uint32_t result = 0x55;
        std::uintptr_t slots[6] = {0, 0, reinterpret_cast<std::uintptr_t>(path.data()),
                                   reinterpret_cast<std::uintptr_t>(block.data()),
                                   reinterpret_cast<std::uintptr_t>(remoteName.data()), box};
        EXPECT_EQ(wbCatchExtExpFunc(2, &result, slots), 1);
        return {remoteName.data(), path.data(), result};
    }

    void SetUp() override {
        ScratchInstall::SetUp();
        fax = root + "/incoming.tif";
        test::WriteFile(fax, std::string("II*\0fax", 7));
    }

    std::string fax;
};

TEST_F(Receive, HandsBackTheRemoteNameUnchanged) {
    quillbox::Description d;
    d.remoteName = "Tanaka, Ltd.; Sales";
    const Outcome out = Send(d, 3);
    EXPECT_EQ(out.remoteName, "Tanaka, Ltd.; Sales");
    EXPECT_EQ(out.result, 0x55u);
}

TEST_F(Receive, WithoutRuleFileTheFaxStaysWhereTheHostPutIt) {
    quillbox::Description d;
    d.remoteName = "Anyone";
    const Outcome out = Send(d, 7);
    EXPECT_EQ(out.path, fax);
    EXPECT_EQ(test::ReadFile(fax), std::string("II*\0fax", 7));
}

TEST_F(Receive, ARejectedDescriptionWritesNeitherBuffer) {
    quillbox::Description d;
    d.remoteName = "Someone";
    std::vector<std::uint8_t> block = quillbox::BuildDescription(d);
    block[12] = 0;  // not a record the module knows
    const Outcome out = Send(d, 3, block);
    EXPECT_EQ(out.remoteName, "host text");
    EXPECT_EQ(out.path, fax);
}

TEST(DisplayName, PrefersNameThenIdAndDropsListSeparators) {
    EXPECT_EQ(MakeDisplayName("A, B; C", "id"), "A_ B_ C");
    EXPECT_EQ(MakeDisplayName("", "ID;1,2"), "ID_1_2");
    EXPECT_EQ(MakeDisplayName("", ""), "(FAX)");
    // Double-byte characters of code page 932 keep their bytes; only the separators change.
    EXPECT_EQ(MakeDisplayName("\x83\x41\x83\x43,\x95\x5c;", ""), "\x83\x41\x83\x43_\x95\x5c_");
}

}  // namespace
}  // namespace wbfax
