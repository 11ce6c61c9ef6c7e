// What fax software records in a received TIFF about where the fax came from.
#pragma once

#include <string>

namespace quillbox {

struct FaxTags {
    std::string sender;      // the sender's identification (TSI), ImageDescription
    std::string subAddress;  // the sub-address tag (FaxSubAddress, 34909)
};

// Empty fields for a file that is not TIFF, that lacks the tags, or in a build without libtiff.
// Each field holds at most 255 bytes, as the host's description does.
FaxTags ReadFaxTags(const std::string &path);

}  // namespace quillbox
