// Any bytes the host may hand over: the parser must stay inside the block, whatever its
// length word and length bytes say.
#include "distribution/receive_description.h"

#include <cstdint>
#include <cstring>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    // An exact-size heap copy, so that the sanitizer sees every byte read past its end.
    std::vector<std::uint8_t> block(data, data + size);
    wbfax::ReceiveRecord record;
    const int accepted = wbfax::ParseReceiveDescription(block.data(), record, block.size());
    if (accepted && record.remoteName.size() > 255) __builtin_trap();

    // The host's own block: its length word is trusted, and so are the two length bytes of an
    // extension (at most 2 + 256 + 256 bytes past the length word).
    if (size >= 12) {
        std::vector<std::uint8_t> trusted(data, data + size);
        const std::size_t total = static_cast<std::size_t>(trusted[10]) << 8 | trusted[11];
        trusted.resize((total < 12 ? 12 : total) + 2 + 2 * 256);
        wbfax::ReceiveRecord hostRecord;
        wbfax::ParseReceiveDescription(trusted.data(), hostRecord);
    }
    return 0;
}
