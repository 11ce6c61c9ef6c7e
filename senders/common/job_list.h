// The sender's side of a job list: which jobs wait, and marking the done ones.
//
// The plug-in appends entries (JOB_ID=nnnn, INFO_FNAME=path, an empty line) and, while no
// sender runs, drops the lines that start with "*". A done entry is marked by overwriting the
// first byte of its two lines in place: the file keeps its length, so the plug-in's appends,
// which may come at any moment, are never disturbed.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace wbfax::senders {

struct ListEntry {
    std::uint32_t number = 0;
    std::string jobFile;  // native path

    bool operator<(const ListEntry &other) const {
        return number != other.number ? number < other.number : jobFile < other.jobFile;
    }
};

// The unmarked entries, in file order; a missing list has none.
std::vector<ListEntry> ReadJobList(const std::string &listPath);

// False when the entry is no longer there unmarked (also when the plug-in rewrote the list
// under our feet: then the next scan finds it again).
bool MarkJob(const std::string &listPath, const ListEntry &entry);

}  // namespace wbfax::senders
