// Reading the host's description of a received document.
#include "distribution/receive_description.h"
#include "quillbox-host/description.h"
#include "test_support.h"

#include <cstring>

namespace wbfax {
namespace {

using Bytes = std::vector<std::uint8_t>;

quillbox::Description Typical() {
    quillbox::Description d;
    d.dataType = 1;
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
    block[10] = static_cast<std::uint8_t>(total >> 8);
    block[11] = static_cast<std::uint8_t>(total & 0xFF);
}

// An extension at E: present, flag, account and password texts, padded to the total length.
Bytes WithExtension(const quillbox::Description &d, std::uint8_t flag, const std::string &account,
                    const std::string &password, std::size_t total) {
    Bytes block = quillbox::BuildDescription(d);
    block.push_back(1);
    block.push_back(flag);
    block.push_back(static_cast<std::uint8_t>(account.size()));
    block.insert(block.end(), account.begin(), account.end());
    block.push_back(static_cast<std::uint8_t>(password.size()));
    block.insert(block.end(), password.begin(), password.end());
    SetTotalLength(block, total);
    return block;
}

TEST(ReceiveDescription, ReadsEveryField) {
    const quillbox::Description d = Typical();
    Bytes block = quillbox::BuildDescription(d);
    ReceiveRecord r;
    ASSERT_EQ(ParseReceiveDescription(block.data(), r), 1);
    EXPECT_EQ(r.totalLength, block.size());
    EXPECT_EQ(r.recordKind, 1u);
    EXPECT_EQ(r.dataType, 1u);
    EXPECT_EQ(r.remoteNumber, d.remoteNumber);
    EXPECT_EQ(r.remoteId, d.remoteId);
    EXPECT_EQ(r.fCode, d.subAddress);
    EXPECT_EQ(r.text4, d.text4);
    EXPECT_EQ(r.adminMail, d.adminMail);
    EXPECT_EQ(r.languageCode, 0x0102u);
    EXPECT_EQ(r.remoteName, d.remoteName);
    EXPECT_EQ(r.extPresent, 0u);
    EXPECT_EQ(r.extFlag, 0u);
}

TEST(ReceiveDescription, TheHostsExtensionCarriesAccountAndPassword) {
    for (const auto &[account, password] : {std::pair<std::string, std::string>{"user", "secret"},
                                            {std::string(65, 'a'), std::string(32, 'p')},
                                            {"u", ""}}) {
        quillbox::Description d = Typical();
        d.smtpAccount = account;
        d.smtpPassword = password;
        Bytes block = quillbox::BuildDescription(d);
        ReceiveRecord r;
        ASSERT_EQ(ParseReceiveDescription(block.data(), r), 1);
        EXPECT_EQ(r.extPresent, 1u);
        EXPECT_EQ(r.extFlag, 1u);
        EXPECT_EQ(r.extText1, account);
        EXPECT_EQ(r.extText2, password);
    }
}

TEST(ReceiveDescription, TurnsTheWordsIntoHostOrderInPlace) {
    Bytes block = quillbox::BuildDescription(Typical());
    const std::size_t languageAt = ExtensionOffset(Typical()) - 1 - Typical().remoteName.size() - 2;
    ReceiveRecord first;
    ASSERT_EQ(ParseReceiveDescription(block.data(), first), 1);
    std::uint16_t total = 0, language = 0;
    std::memcpy(&total, &block[10], 2);
    std::memcpy(&language, &block[languageAt], 2);
    EXPECT_EQ(total, first.totalLength);
    EXPECT_EQ(language, 0x0102);

    // A second reading sees the words swapped again.
    ReceiveRecord second;
    ParseReceiveDescription(block.data(), second);
    EXPECT_EQ(second.totalLength, static_cast<std::uint32_t>(((first.totalLength & 0xFF) << 8) | (first.totalLength >> 8)));
}

TEST(ReceiveDescription, RejectsAForeignMarkerAndKind) {
    Bytes lower = quillbox::BuildDescription(Typical());
    lower[0] = 'w';
    const Bytes before = lower;
    ReceiveRecord r;
    r.remoteName = "untouched";
    EXPECT_EQ(ParseReceiveDescription(lower.data(), r), 0);
    EXPECT_EQ(r.remoteName, "untouched");
    EXPECT_EQ(lower, before);  // not even the length word is turned

    Bytes kind = quillbox::BuildDescription(Typical());
    kind[12] = 2;
    ReceiveRecord k;
    EXPECT_EQ(ParseReceiveDescription(kind.data(), k), 0);
    EXPECT_EQ(k.dataType, 1u);
    EXPECT_EQ(k.languageCode, 1u);
    EXPECT_TRUE(k.remoteNumber.empty() && k.remoteName.empty() && k.adminMail.empty());
}

TEST(ReceiveDescription, TextsEmptyWholeOrCutAtNul) {
    quillbox::Description empty;
    Bytes block = quillbox::BuildDescription(empty);
    ReceiveRecord r;
    ASSERT_EQ(ParseReceiveDescription(block.data(), r), 1);
    EXPECT_TRUE(r.remoteNumber.empty() && r.remoteId.empty() && r.fCode.empty() && r.text4.empty() &&
                r.adminMail.empty() && r.remoteName.empty());

    quillbox::Description longName = Typical();
    longName.remoteName = std::string(255, '\x83');
    block = quillbox::BuildDescription(longName);
    ASSERT_EQ(ParseReceiveDescription(block.data(), r), 1);
    EXPECT_EQ(r.remoteName, longName.remoteName);

    quillbox::Description nul = Typical();
    nul.remoteId = std::string("AB\0CD", 5);
    block = quillbox::BuildDescription(nul);
    ASSERT_EQ(ParseReceiveDescription(block.data(), r), 1);
    EXPECT_EQ(r.remoteId, "AB");
    EXPECT_EQ(r.fCode, nul.subAddress);  // the position still advances by the full length
}

TEST(ReceiveDescription, ExtensionNeedsRoomBeyondTheRemoteName) {
    const quillbox::Description d = Typical();
    const std::size_t e = ExtensionOffset(d);
    ASSERT_NE(e + 84, 130u);

    Bytes tooShort = WithExtension(d, 1, "user", "secret", e + 83);
    ReceiveRecord r;
    ASSERT_EQ(ParseReceiveDescription(tooShort.data(), r), 1);
    EXPECT_EQ(r.extPresent, 0u);
    EXPECT_TRUE(r.extText1.empty());

    // One byte more, and a flag that a validated block would refuse: taken unchecked.
    Bytes unchecked = WithExtension(d, 1, std::string(70, 'a'), "secret", e + 84 + 70);
    ASSERT_EQ(ParseReceiveDescription(unchecked.data(), r), 1);
    EXPECT_EQ(r.extPresent, 1u);
    EXPECT_EQ(r.extFlag, 1u);
    EXPECT_EQ(r.extText1, std::string(70, 'a'));
    EXPECT_EQ(r.extText2, "secret");
}

TEST(ReceiveDescription, BlocksOf130BytesAreValidated) {
    // Shrink the texts until E leaves room for an extension in a 130-byte block.
    quillbox::Description d;
    d.remoteNumber = "0312345678";
    d.remoteName = "Name";
    const std::size_t e = ExtensionOffset(d);
    ASSERT_LT(e + 83, 130u);

    struct Case {
        std::uint8_t flag;
        std::string account, password;
        bool accepted;
    };
    const Case cases[] = {{1, "user", "pw", true},
                          {2, "user", "pw", false},
                          {1, std::string(65, 'u'), "pw", true},
                          {1, std::string(66, 'u'), "pw", false},
                          {1, "user", std::string(33, 'p'), false}};
    for (const Case &c : cases) {
        if (e + 4 + c.account.size() + c.password.size() > 130) continue;
        Bytes block = WithExtension(d, c.flag, c.account, c.password, 130);
        ReceiveRecord r;
        ASSERT_EQ(ParseReceiveDescription(block.data(), r), 1);
        EXPECT_EQ(r.extPresent, c.accepted ? 1u : 0u) << int(c.flag) << " " << c.account.size();
        EXPECT_EQ(r.extFlag, c.accepted ? 1u : 0u);
        EXPECT_EQ(r.extText1, c.accepted ? c.account : "");
    }
}

TEST(ReceiveDescription, ExtensionFlagsAndEmptyAccount) {
    const quillbox::Description d = Typical();
    const std::size_t total = ExtensionOffset(d) + 101;

    Bytes noAuth = WithExtension(d, 0, "user", "pw", total);
    ReceiveRecord r;
    ASSERT_EQ(ParseReceiveDescription(noAuth.data(), r), 1);
    EXPECT_EQ(r.extPresent, 1u);
    EXPECT_EQ(r.extFlag, 0u);
    EXPECT_TRUE(r.extText1.empty() && r.extText2.empty());

    Bytes emptyAccount = WithExtension(d, 1, "", "pw", total);
    ASSERT_EQ(ParseReceiveDescription(emptyAccount.data(), r), 1);
    EXPECT_EQ(r.extFlag, 0u);
    EXPECT_EQ(r.extText2, "pw");

    Bytes absent = WithExtension(d, 1, "user", "pw", total);
    absent[ExtensionOffset(d)] = 0;
    ASSERT_EQ(ParseReceiveDescription(absent.data(), r), 1);
    EXPECT_EQ(r.extPresent, 0u);
    EXPECT_EQ(r.extFlag, 0u);
}

TEST(ReceiveDescription, NeverReadsPastTheBlock) {
    // A text that announces more bytes than the block holds rejects the block.
    Bytes block = quillbox::BuildDescription(Typical());
    const std::size_t remoteNameAt = ExtensionOffset(Typical()) - 1 - Typical().remoteName.size();
    block[remoteNameAt] = 200;
    ReceiveRecord r;
    EXPECT_EQ(ParseReceiveDescription(block.data(), r), 0);

    // So does a length word too small for the fixed fields.
    Bytes shortened = quillbox::BuildDescription(Typical());
    SetTotalLength(shortened, 13);
    EXPECT_EQ(ParseReceiveDescription(shortened.data(), r), 0);

    // An extension whose texts run past the end of what the caller has is taken as absent; the
    // fax is still handled.
    const quillbox::Description d = Typical();
    Bytes overrun = WithExtension(d, 1, "user", "pw", ExtensionOffset(d) + 90);
    overrun[ExtensionOffset(d) + 2] = 250;
    ReceiveRecord x;
    ASSERT_EQ(ParseReceiveDescription(overrun.data(), x, overrun.size()), 1);
    EXPECT_EQ(x.extPresent, 0u);
    EXPECT_TRUE(x.extText1.empty());

    // What the caller says is available bounds the reading below the length word too.
    Bytes whole = quillbox::BuildDescription(Typical());
    EXPECT_EQ(ParseReceiveDescription(whole.data(), r, whole.size() - 1), 0);
    EXPECT_EQ(ParseReceiveDescription(whole.data(), r, 11), 0);
}

TEST(ReceiveDescription, TheExtensionsLengthBytesAreTrustedBeyondTheLengthWord) {
    quillbox::Description d;
    d.dataType = 1;
    d.remoteNumber = "0312345678";
    d.remoteName = "Osaka 2F";
    ASSERT_EQ(ExtensionOffset(d), 40u);
    const std::string account(65, 'a'), password(32, 'p');
    const Bytes block = WithExtension(d, 1, account, password, 130);  // the password ends at byte 141
    ASSERT_EQ(block.size(), 141u);

    Bytes host = block;
    ReceiveRecord r;
    ASSERT_EQ(ParseReceiveDescription(host.data(), r, host.size()), 1);
    EXPECT_EQ(r.extPresent, 1u);
    EXPECT_EQ(r.extFlag, 1u);
    EXPECT_EQ(r.extText1, account);
    EXPECT_EQ(r.extText2, password);

    // A caller that knows the block ends at the length word gets the fax without the login.
    Bytes cut = block;
    ReceiveRecord c;
    ASSERT_EQ(ParseReceiveDescription(cut.data(), c, 130), 1);
    EXPECT_EQ(c.extPresent, 0u);
    EXPECT_EQ(c.extText1, "");
}

class ReceiveTrace : public test::ScratchInstall {};

TEST_F(ReceiveTrace, NamesTheDataType) {
    const std::string trace = root + "/trace.log";
    test::SetEnv("WBFAX_TRACE", trace.c_str());
    quillbox::Description d = Typical();
    d.dataType = 0;
    Bytes block = quillbox::BuildDescription(d);
    ReceiveRecord r;
    ASSERT_EQ(ParseReceiveDescription(block.data(), r), 1);
    EXPECT_EQ(test::ReadFile(trace), " Rcv Data Type=0\n");
}

}  // namespace
}  // namespace wbfax
