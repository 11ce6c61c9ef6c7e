// Reading the host's description of a received document.
#include "distribution/receive_description.h"
#include "base/text.h"
#include "quillbox-host/description.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <optional>
#include <tuple>

namespace wbfax {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Extension = std::tuple<std::uint32_t, std::uint32_t, std::string, std::string>;  // present, flag, account, password

quillbox::Description Typical() {
    quillbox::Description d;
    d.remoteNumber = "03 1234-5678";
    d.remoteId = "ID 42";
    d.subAddress = "1234";
    d.text4 = "four";
    d.adminMail = "admin@example.org";
    d.languageCode = 0x0102;
    d.remoteName = "Branch, Osaka; 2F";
    return d;
}

// Offset E: just after the remote name.
std::size_t ExtensionOffset(const quillbox::Description &d) {
    return 14 + 5 + d.remoteNumber.size() + d.remoteId.size() + d.subAddress.size() + d.text4.size() +
           d.adminMail.size() + 2 + 1 + d.remoteName.size();
}

void SetTotalLength(Bytes &block, std::size_t total) {
    block.resize(std::max(block.size(), total));
    block[10] = static_cast<std::uint8_t>(total >> 8), block[11] = static_cast<std::uint8_t>(total & 0xFF);
}

// An extension at E: present, flag, account and password texts, padded to the total length.
Bytes WithExtension(const quillbox::Description &d, std::uint8_t flag, const std::string &account,
                    const std::string &password, std::size_t total) {
    Bytes block = quillbox::BuildDescription(d);
    const std::string extension = std::string{1, static_cast<char>(flag), static_cast<char>(account.size())} + account +
                                  static_cast<char>(password.size()) + password;
    block.insert(block.end(), extension.begin(), extension.end());
    SetTotalLength(block, total);
    return block;
}

// The words come out in host order and are turned in place: a second reading sees them
// swapped again. A text ends at its first NUL, yet the next one starts after its full length.
TEST(ReceiveDescription, ReadsEveryFieldAndTurnsTheWordsInPlace) {
    quillbox::Description cut = Typical();
    cut.remoteName = std::string(255, '\x83');
    cut.remoteId = std::string("AB\0CD", 5);
    for (const quillbox::Description &d : {Typical(), quillbox::Description{}, cut}) {
        Bytes block = quillbox::BuildDescription(d);
        ReceiveRecord r;
        ASSERT_EQ(ParseReceiveDescription(block.data(), r), 1);
        EXPECT_EQ(r.totalLength, block.size());
        EXPECT_EQ(std::to_string(r.recordKind) + "|" + std::to_string(r.dataType) + "|" + std::to_string(r.languageCode) + "|" +
                      std::to_string(r.extPresent) + std::to_string(r.extFlag),
                  "1|" + std::to_string(d.dataType) + "|" + std::to_string(d.languageCode) + "|00");
        EXPECT_EQ((std::vector<std::string>{r.remoteNumber, r.remoteId, r.fCode, r.text4, r.adminMail, r.remoteName}),
                  (std::vector<std::string>{d.remoteNumber, d.remoteId.substr(0, d.remoteId.find('\0')), d.subAddress, d.text4,
                                            d.adminMail, d.remoteName}));
        std::uint16_t words[2] = {};  // the length and the language word, as the host reads them now
        std::memcpy(&words[0], &block[10], 2);
        std::memcpy(&words[1], &block[ExtensionOffset(d) - 1 - d.remoteName.size() - 2], 2);
        EXPECT_EQ(std::vector<std::uint32_t>(words, words + 2), (std::vector<std::uint32_t>{r.totalLength, d.languageCode}));
        // Turned, the length word now claims more than the block holds.
        ReceiveRecord second;
        ParseReceiveDescription(block.data(), second, block.size());
        EXPECT_EQ(second.totalLength, static_cast<std::uint32_t>(((r.totalLength & 0xFF) << 8) | (r.totalLength >> 8)));
    }
}

// A foreign marker leaves block and record untouched (not even the length word is turned); a
// foreign kind resets the record's fields.
TEST(ReceiveDescription, RejectsAForeignMarkerAndKind) {
    for (const std::size_t at : {0, 12}) {
        Bytes block = quillbox::BuildDescription(Typical());
        block[at] = at ? 2 : 'w';
        const Bytes before = block;
        ReceiveRecord r;
        r.dataType = r.languageCode = 9;
        r.remoteNumber = r.remoteId = r.fCode = r.text4 = r.adminMail = r.remoteName = "untouched";
        EXPECT_EQ(ParseReceiveDescription(block.data(), r), 0);
        const std::string texts = r.remoteNumber + r.remoteId + r.fCode + r.text4 + r.adminMail + r.remoteName;
        EXPECT_EQ(Format("%u %u %s", r.dataType, r.languageCode, (at ? texts : r.remoteName).c_str()), at ? "1 1 " : "9 9 untouched");
        EXPECT_EQ(block == before, !at);
    }
}

// The extension lies at E, just after the remote name, and needs the length word past E + 83.
// A 130-byte block's extension is checked first (flag, account of 65 and password of 32 bytes
// at most); the extension's length bytes are trusted past the length word, not past what the
// caller says is there. No text is read past the block: such a block is rejected.
TEST(ReceiveDescription, TheExtensionAndTheBlocksBounds) {
    const quillbox::Description d = Typical();
    const std::size_t e = ExtensionOffset(d);
    ASSERT_NE(e + 84, 130u);
    quillbox::Description small;  // leaves room for an extension in a 130-byte block
    small.remoteNumber = "0312345678";
    small.remoteName = "Osaka 2F";
    ASSERT_EQ(ExtensionOffset(small), 40u);
    const auto hosts = [&](const std::string &account, const std::string &password) {
        quillbox::Description with = d;
        with.smtpAccount = account;
        with.smtpPassword = password;
        return quillbox::BuildDescription(with);
    };
    const auto patched = [](Bytes block, std::size_t at, std::uint8_t value) { return block[at] = value, block; };
    const Bytes whole = quillbox::BuildDescription(d);
    Bytes shortened = whole;
    SetTotalLength(shortened, 13);  // too small for the fixed fields
    const std::string a65(65, 'a'), a66(66, 'a'), a70(70, 'a'), p32(32, 'p'), p33(33, 'p');
    const Extension none{0, 0, "", ""};
    const struct {
        Bytes block;
        std::size_t available;              // 0: the caller gives no bound, only the length word does
        std::optional<Extension> expected;  // none: rejected
    } cases[] = {
        {hosts("user", "secret"), SIZE_MAX, Extension{1, 1, "user", "secret"}},
        {hosts(a65, p32), SIZE_MAX, Extension{1, 1, a65, p32}},
        {hosts("u", ""), SIZE_MAX, Extension{1, 1, "u", ""}},
        {WithExtension(d, 1, "user", "secret", e + 83), SIZE_MAX, none},
        {WithExtension(d, 1, a70, "secret", e + 84 + 70), SIZE_MAX, Extension{1, 1, a70, "secret"}},  // no check: unchecked
        {WithExtension(d, 0, "user", "pw", e + 101), SIZE_MAX, Extension{1, 0, "", ""}},
        {WithExtension(d, 1, "", "pw", e + 101), SIZE_MAX, Extension{1, 0, "", "pw"}},
        {patched(WithExtension(d, 1, "user", "pw", e + 101), e, 0), SIZE_MAX, none},
        {patched(WithExtension(d, 1, "user", "pw", e + 90), e + 2, 250), e + 90, none},  // runs past the block
        {WithExtension(small, 1, "user", "pw", 130), SIZE_MAX, Extension{1, 1, "user", "pw"}},
        {WithExtension(small, 2, "user", "pw", 130), SIZE_MAX, none},
        {WithExtension(small, 1, a66, "pw", 130), SIZE_MAX, none},
        {WithExtension(small, 1, "user", p33, 130), SIZE_MAX, none},
        {WithExtension(small, 1, a65, p32, 130), SIZE_MAX, Extension{1, 1, a65, p32}},  // ends at byte 141
        {WithExtension(small, 1, a65, p32, 130), 130, none},
        {patched(whole, e - 1 - d.remoteName.size(), 200), 0, std::nullopt},  // a remote name longer than the block
        {shortened, 0, std::nullopt}, {whole, whole.size() - 1, std::nullopt}, {whole, 11, std::nullopt},
    };
    for (auto c : cases) {
        Bytes &block = c.block;
        ReceiveRecord r;
        const int accepted = ParseReceiveDescription(block.data(), r, c.available ? std::min(c.available, block.size()) : SIZE_MAX);
        EXPECT_EQ(accepted ? std::optional(Extension{r.extPresent, r.extFlag, r.extText1, r.extText2}) : std::nullopt, c.expected)
            << block.size() << " bytes, length word " << r.totalLength;
    }
}

}  // namespace
}  // namespace wbfax
