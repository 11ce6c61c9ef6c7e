#include "distribution/receive_description.h"

#include "base/trace.h"

#include <algorithm>
#include <cstring>
#include <optional>

namespace wbfax {
namespace {

constexpr std::uint8_t kMarker[] = {'W', 'B', 'R', '_', 'L', 'F', 'A', 'X', ':'};
constexpr std::size_t kMarkerSize = sizeof kMarker;
constexpr std::size_t kLengthOffset = 10;
constexpr std::size_t kHeaderSize = 12;  // marker, one unread byte, the length word
constexpr std::uint32_t kValidatedLength = 130;
constexpr std::size_t kExtensionRoom = 83;  // an extension needs TotalLength > E + 83

// A bounded view of the host's block.
class Block {
public:
    Block(std::uint8_t *data, std::size_t size) : data_(data), size_(size) {}

    std::optional<std::uint8_t> Byte(std::size_t offset) const {
        if (offset >= size_) return std::nullopt;
        return data_[offset];
    }

    // Converts a big-endian word to host order in place and returns its value.
    std::optional<std::uint16_t> SwapWord(std::size_t offset) {
        if (offset + 2 > size_ || offset + 2 < offset) return std::nullopt;
        const auto value = static_cast<std::uint16_t>(data_[offset] << 8 | data_[offset + 1]);
        std::memcpy(data_ + offset, &value, sizeof value);
        return value;
    }

    // A length byte and its text; the text ends at its first NUL. Advances offset past both.
    std::optional<std::string> Text(std::size_t &offset) const {
        const std::optional<std::uint8_t> length = Byte(offset);
        if (!length || offset + 1 + *length > size_) return std::nullopt;
        const char *text = reinterpret_cast<const char *>(data_ + offset + 1);
        offset += 1 + *length;
        return std::string(text, strnlen(text, *length));
    }

    void Limit(std::size_t size) { size_ = std::min(size_, size); }

private:
    std::uint8_t *data_;
    std::size_t size_;
};

void SetRejectedKind(ReceiveRecord &record) {
    record.dataType = 1;
    record.remoteNumber.clear();
    record.remoteId.clear();
    record.fCode.clear();
    record.text4.clear();
    record.adminMail.clear();
    record.languageCode = 1;
    record.remoteName.clear();
}

void SetNoExtension(ReceiveRecord &record) {
    record.extPresent = 0;
    record.extFlag = 0;
    record.extText1.clear();
    record.extText2.clear();
}

// An extension of a 130-byte block is checked before it is believed.
bool ExtensionIsValid(const Block &block, std::size_t e) {
    const std::optional<std::uint8_t> flag = block.Byte(e + 1);
    const std::optional<std::uint8_t> first = block.Byte(e + 2);
    if (!flag || !first || *flag > 1 || *first > 65) return false;
    const std::optional<std::uint8_t> second = block.Byte(e + 3 + *first);
    return second && *second <= 32;
}

}  // namespace

int ParseReceiveDescription(std::uint8_t *data, ReceiveRecord &record, std::size_t available) {
    if (!data || available < kHeaderSize) return 0;
    for (std::size_t i = 0; i < kMarkerSize; ++i)
        if (data[i] != kMarker[i]) return 0;

    Block block(data, available);
    record.totalLength = *block.SwapWord(kLengthOffset);
    const Block whole = block;  // as far as the caller says the block goes
    block.Limit(record.totalLength);

    const std::optional<std::uint8_t> kind = block.Byte(12);
    if (!kind) return 0;
    record.recordKind = *kind;
    if (record.recordKind != 1) {
        SetRejectedKind(record);
        return 0;
    }
    const std::optional<std::uint8_t> type = block.Byte(13);
    if (!type) return 0;
    record.dataType = *type;
    Trace(" Rcv Data Type=%d", static_cast<int>(record.dataType));

    std::size_t offset = 14;
    for (std::string *field : {&record.remoteNumber, &record.remoteId, &record.fCode, &record.text4, &record.adminMail}) {
        std::optional<std::string> text = block.Text(offset);
        if (!text) return 0;
        *field = std::move(*text);
    }
    const std::optional<std::uint16_t> language = block.SwapWord(offset);
    if (!language) return 0;
    record.languageCode = *language;
    offset += 2;
    std::optional<std::string> remoteName = block.Text(offset);
    if (!remoteName) return 0;
    record.remoteName = std::move(*remoteName);
    const std::size_t e = offset;

    const bool invalid = record.totalLength == kValidatedLength && !ExtensionIsValid(block, e);
    if (record.totalLength <= e + kExtensionRoom || invalid) {
        SetNoExtension(record);
        return 1;
    }
    const std::optional<std::uint8_t> present = block.Byte(e);
    const std::optional<std::uint8_t> flag = block.Byte(e + 1);
    if (!present || !flag) {
        SetNoExtension(record);
        return 1;
    }
    record.extPresent = *present;
    if (record.extPresent == 0) {
        SetNoExtension(record);
        return 1;
    }
    record.extFlag = *flag;
    if (record.extFlag != 1) return 1;
    // The extension's length bytes are trusted past the length word: a 130-byte block holds
    // an account of 65 and a password of 32 bytes after a short remote name.
    std::size_t extOffset = e + 2;
    std::optional<std::string> account = whole.Text(extOffset);
    std::optional<std::string> password = account ? whole.Text(extOffset) : std::nullopt;
    if (!account || !password) {
        SetNoExtension(record);
        return 1;
    }
    record.extText1 = std::move(*account);
    record.extText2 = std::move(*password);
    if (record.extText1.empty()) record.extFlag = 0;
    return 1;
}

}  // namespace wbfax
