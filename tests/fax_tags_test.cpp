// The fax's own tags as quillbox-host receive reads them.
#include "quillbox-host/fax_tags.h"

#include "test_support.h"

#include <gtest/gtest.h>
#include <tiffio.h>

#include <tuple>

namespace quillbox {
namespace {

// A one-page G3 fax, tagged as fax software tags what it receives; empty texts are left out.
void WriteFax(const std::string &path, const std::string &sender, const std::string &subAddress) {
    TIFF *tiff = TIFFOpen(path.c_str(), "w");
    ASSERT_NE(tiff, nullptr);
    for (const auto &[tag, value] : {std::pair{TIFFTAG_IMAGEWIDTH, 1728}, {TIFFTAG_IMAGELENGTH, 2}, {TIFFTAG_BITSPERSAMPLE, 1},
                                     {TIFFTAG_SAMPLESPERPIXEL, 1}, {TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISWHITE},
                                     {TIFFTAG_COMPRESSION, COMPRESSION_CCITTFAX3}, {TIFFTAG_ROWSPERSTRIP, 2}})
        TIFFSetField(tiff, tag, value);
    if (!sender.empty()) TIFFSetField(tiff, TIFFTAG_IMAGEDESCRIPTION, sender.c_str());
    if (!subAddress.empty()) TIFFSetField(tiff, TIFFTAG_FAXSUBADDRESS, subAddress.c_str());
    std::string row(1728 / 8, '\0');
    for (std::uint32_t y = 0; y < 2; ++y) TIFFWriteScanline(tiff, row.data(), y, 0);
    TIFFClose(tiff);
}

TEST(FaxTags, SenderAndSubAddressComeFromTheTiff) {
    const std::string dir = wbfax::test::MakeTempDir();
    const std::string fax = dir + "/fax.tif", plain = dir + "/plain.tif";
    using Case = std::tuple<std::string, std::string, std::string>;  // sender, sub-address, sender read
    for (const auto &[sender, subAddress, wantSender] : {Case{"+81 3 1234 5678", "5678", "+81 3 1234 5678"}, Case{"", "", ""},
                                                         Case{std::string(300, '7'), "1", std::string(255, '7')}}) {
        WriteFax(fax, sender, subAddress);
        const FaxTags tags = ReadFaxTags(fax);
        EXPECT_EQ(tags.sender + "|" + tags.subAddress, wantSender + "|" + subAddress);
    }
    wbfax::test::WriteFile(plain, std::string("II*\0 not a fax", 15));
    for (const std::string &path : {plain, dir + "/missing.tif"}) {
        const FaxTags tags = ReadFaxTags(path);
        EXPECT_EQ(tags.sender + tags.subAddress, "") << path;
    }
    wbfax::test::RemoveTree(dir);
}

}  // namespace
}  // namespace quillbox
