#include "ui/mail_addresses.h"

#include "platform/platform.h"
#include "ui/destination.h"
#include "ui/list_view.h"
#include "ui/messages.h"

#include <algorithm>
#include <string_view>

namespace wbfax {
namespace {

constexpr int kLineLimit = 61440;

// The mail field's number in a rule section's lines; -1 for any other line.
int MailFieldOf(std::string_view header) {
    if (header == "[FCODE]" || header == "[OTHER]") return 3;
    if (header == "[TSI]" || header == "[DTN]") return 4;
    return -1;
}

// The field'th ";"-separated field, when another ";" follows it. Double-byte characters are
// stepped over whole.
bool FindField(std::string_view line, int field, std::string_view &out) {
    std::size_t start = 0;
    int number = 1;
    for (std::size_t i = 0; i < line.size(); ++i) {
        if (platform::IsLeadByte(static_cast<unsigned char>(line[i])) && i + 1 < line.size()) {
            ++i;
            continue;
        }
        if (line[i] != ';') continue;
        if (number == field) {
            out = line.substr(start, i - start);
            return true;
        }
        ++number;
        start = i + 1;
    }
    return false;
}

}  // namespace

std::vector<std::string> CollectMailAddresses(const std::string &path) {
    std::vector<std::string> addresses;
    platform::Stream in = platform::Stream::Open(path, "rt");
    if (!in) return addresses;
    std::vector<char> buffer(kLineLimit + 2);
    int field = -1;
    while (in.ReadLine(buffer.data(), static_cast<int>(buffer.size()))) {
        std::string_view line(buffer.data());
        while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
        if (const int section = MailFieldOf(line); section > 0) {
            field = section;
            continue;
        }
        // Lines before the first rule section belong to none.
        std::string_view mail;
        if (line.empty() || field < 0 || !FindField(line, field, mail)) continue;
        // An empty field is no address: the window would offer an empty row.
        for (const std::string &piece : SplitAddressList(mail))
            if (!piece.empty()) addresses.push_back(piece);
    }
    std::sort(addresses.begin(), addresses.end());
    addresses.erase(std::unique(addresses.begin(), addresses.end()), addresses.end());
    return addresses;
}

int AddFromMailWindow(std::vector<std::string> &mailRows, const std::vector<std::string> &selected) {
    if (mailRows.size() + selected.size() > static_cast<std::size_t>(kMaxAddresses)) return kMsgTooManyAddresses;
    for (const std::string &address : selected)
        if (FindText(mailRows, address) < 0) mailRows.insert(mailRows.begin(), address);
    return kNoMessage;
}

}  // namespace wbfax
