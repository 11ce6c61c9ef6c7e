#include "quillbox-host/fax_tags.h"

#include "quillbox-host/description.h"

#if defined(WBFAX_HAVE_LIBTIFF)
#include <tiffio.h>

#include <cstdint>
#include <memory>
#endif

namespace quillbox {

#if defined(WBFAX_HAVE_LIBTIFF)
namespace {

struct TiffCloser {
    void operator()(TIFF *tiff) const { TIFFClose(tiff); }
};

std::string AsciiTag(TIFF *tiff, ttag_t tag) {
    const TIFFField *field = TIFFFieldWithTag(tiff, tag);
    if (!field || TIFFFieldDataType(field) != TIFF_ASCII) return {};
    const char *text = nullptr;
    int found = 0;
    if (!TIFFFieldPassCount(field)) {
        found = TIFFGetField(tiff, tag, &text);
    } else if (TIFFFieldReadCount(field) == TIFF_VARIABLE2) {
        // A tag the library does not know (no fax codec registered it) comes with its count.
        std::uint32_t count = 0;
        found = TIFFGetField(tiff, tag, &count, &text);
    } else {
        std::uint16_t count = 0;
        found = TIFFGetField(tiff, tag, &count, &text);
    }
    if (!found || !text) return {};
    std::string value(text);
    if (value.size() > kMaxText) value.resize(kMaxText);
    return value;
}

}  // namespace

FaxTags ReadFaxTags(const std::string &path) {
    // A file that is not TIFF is no error here: the fax is received without the fields.
    TIFFSetErrorHandler(nullptr);
    TIFFSetWarningHandler(nullptr);
    const std::unique_ptr<TIFF, TiffCloser> tiff(TIFFOpen(path.c_str(), "r"));
    if (!tiff) return {};
    return {AsciiTag(tiff.get(), TIFFTAG_IMAGEDESCRIPTION), AsciiTag(tiff.get(), TIFFTAG_FAXSUBADDRESS)};
}
#else
FaxTags ReadFaxTags(const std::string &) { return {}; }
#endif

}  // namespace quillbox
