// quillbox-error-log: the rows the plug-in's error log window shows, as text: the notices that
// failed for good, from sqb_NTFY.log (PCs) and smtp_NTFY.log (mail) in the data folder, or from
// the file named.
#include "common/sender_log.h"
#include "settings/config.h"
#include "ui/error_log.h"

#include <cstdio>
#include <string>
#include <vector>

using namespace wbfax;

int main(int argc, char **argv) {
    if (argc > 2 || (argc == 2 && argv[1][0] == '-')) {
        std::fputs("usage: quillbox-error-log [LOG FILE]\n"
                   "  without a file: sqb_NTFY.log, then smtp_NTFY.log, in the data folder below WBFAX_COMMON_APPDATA\n",
                   argc == 2 && std::string(argv[1]) == "--help" ? stdout : stderr);
        return argc == 2 && std::string(argv[1]) == "--help" ? 0 : 2;
    }
    BuildConfigFilePath();
    BuildDataFolder();
    const std::vector<std::string> paths =
        argc == 2 ? std::vector<std::string>{argv[1]}
                  : std::vector<std::string>{ErrorLogPath(), DataFolder() + "\\" + senders::kMailLogName};
    for (const std::string &path : paths)
        for (const ErrorLogRow &row : ReadErrorLog(path))
            std::printf("%04d-%02d-%02d %02d:%02d\t%s\t%s\t%s\n", row.year, row.month, row.day, row.hour, row.minute,
                        row.pcAddress.c_str(), ErrorLogStatusText(row.status).c_str(), row.fileName.c_str());
    return 0;
}
