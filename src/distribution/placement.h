// Moving a received file into its rule's folder below the box's storage folder.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace wbfax {

struct Placement {
    bool moved = false;
    std::string storedPath;  // native form; the received path when the file stayed
};

Placement PlaceReceivedFile(std::uint32_t box, std::string_view ruleFolder, std::string_view receivedPath);

// The file name of a path without its last parenthesised copy number: "scan(3).tif" -> "scan.tif".
std::string StripCopyNumber(std::string_view path);
// A name not yet taken in the folder ("%s(%d)%s"); the folder is created, one level, if needed.
std::string MakeUniqueName(std::string_view name, std::string_view folder);

// The runtime's path splitter: file name part and extension part (with its dot).
struct NameParts {
    std::string_view stem;
    std::string_view extension;
};
NameParts SplitFileName(std::string_view path);

}  // namespace wbfax
