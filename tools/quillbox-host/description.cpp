#include "quillbox-host/description.h"

namespace quillbox {
namespace {

void PutWord(std::vector<std::uint8_t> &out, std::uint16_t value) {
    out.push_back(static_cast<std::uint8_t>(value >> 8));
    out.push_back(static_cast<std::uint8_t>(value & 0xFF));
}

void PutText(std::vector<std::uint8_t> &out, const std::string &text) {
    out.push_back(static_cast<std::uint8_t>(text.size()));
    out.insert(out.end(), text.begin(), text.end());
}

}  // namespace

std::vector<std::uint8_t> BuildDescription(const Description &d) {
    std::vector<std::uint8_t> out{'W', 'B', 'R', '_', 'L', 'F', 'A', 'X', ':', 0};
    PutWord(out, 0);  // TotalLength, filled in below
    out.push_back(1);
    out.push_back(d.dataType);
    for (const std::string *text : {&d.remoteNumber, &d.remoteId, &d.subAddress, &d.text4, &d.adminMail})
        PutText(out, *text);
    PutWord(out, d.languageCode);
    PutText(out, d.remoteName);
    if (d.smtpAccount) {
        // The two texts follow each other; the block then has the room of their longest forms,
        // which is what tells the module that an extension is present.
        const std::size_t extension = out.size();
        out.push_back(1);
        out.push_back(1);
        PutText(out, *d.smtpAccount);
        PutText(out, d.smtpPassword);
        out.resize(extension + 2 + (1 + kMaxAccount) + (1 + kMaxPassword), 0);
    }
    const auto total = static_cast<std::uint16_t>(out.size());
    out[10] = static_cast<std::uint8_t>(total >> 8);
    out[11] = static_cast<std::uint8_t>(total & 0xFF);
    return out;
}

}  // namespace quillbox
