#include "quillbox-host/description.h"

namespace quillbox {
namespace {

void PutWord(std::vector<std::uint8_t> &out, std::uint16_t value) {
    out.push_back(static_cast<std::uint8_t>(value >> 8));
    out.push_back(static_cast<std::uint8_t>(value & 0xFF));
}

void PutText(std::vector<std::uint8_t> &out, const std::string &text, std::size_t room) {
    out.push_back(static_cast<std::uint8_t>(text.size()));
    out.insert(out.end(), text.begin(), text.end());
    out.insert(out.end(), room - text.size(), 0);
}

}  // namespace

std::vector<std::uint8_t> BuildDescription(const Description &d) {
    std::vector<std::uint8_t> out{'W', 'B', 'R', '_', 'L', 'F', 'A', 'X', ':', 0};
    PutWord(out, 0);  // TotalLength, filled in below
    out.push_back(1);
    out.push_back(d.dataType);
    for (const std::string *text : {&d.remoteNumber, &d.remoteId, &d.subAddress, &d.text4, &d.adminMail})
        PutText(out, *text, text->size());
    PutWord(out, d.languageCode);
    PutText(out, d.remoteName, d.remoteName.size());
    if (d.smtpAccount) {
        out.push_back(1);
        out.push_back(1);
        PutText(out, *d.smtpAccount, kMaxAccount);
        PutText(out, d.smtpPassword, kMaxPassword);
    }
    const auto total = static_cast<std::uint16_t>(out.size());
    out[10] = static_cast<std::uint8_t>(total >> 8);
    out[11] = static_cast<std::uint8_t>(total & 0xFF);
    return out;
}

}  // namespace quillbox
