// What the sender programs check before they act on a job, because the job list and the data
// folder may have been written by someone other than the plug-in.
#pragma once

#include <string>
#include <vector>

namespace wbfax::senders {

// The status of a refused job in the administrator's logs: "other error".
constexpr int kRefusedStatus = 19;

// Empty when the job file may be acted on, else why not: it must lie in the data folder itself
// (links resolved), be a plain file with no other name, and be writable by no other user.
std::string JobFileDistrust(const std::string &jobFile, const std::string &dataFolder);

// Empty when the file may go out with a mail, else why not: its real place is below one of the
// storage folders, or it is a copy the plug-in made in the data folder (a plain file there with
// no other name, writable by no other user).
std::string AttachmentDistrust(const std::string &file, const std::string &dataFolder, const std::vector<std::string> &storageFolders);

// The storage folders of the boxes in the host's box list, native; read afresh at each call.
std::vector<std::string> StorageFolders();

}  // namespace wbfax::senders
