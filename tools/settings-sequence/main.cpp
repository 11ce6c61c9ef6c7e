// settings-sequence SCRIPT: runs a script of receive-settings edits through the module's own
// writers and readers and through command 6 of its entry point, then prints what it read and
// the bytes of wbcatch.ini. Built on both systems, so that the outputs can be compared.
//
// Script lines (blank lines and lines starting with "#" are skipped):
//   ini TEXT             wbcatch.ini := TEXT
// TEXT may hold the escapes \r \n \t \\ and \xHH.
//   no-ini               remove wbcatch.ini
//   server-work TEXT|-   SMTPServerWork := TEXT ("-" deletes the key)
//   port-work TEXT|-     SMTPPortNoWork := TEXT
//   use-smtp-work N      USESMTPWork from N
//   add-file-work N      AddFileWork from N
//   file-size-work N     FileSizeWork := N
//   notify-days-work N   NotifyDaysWork from N
//   finish N             command 6 with mode word N (1 commits, anything else discards)
//   read                 prints every receive setting as the module reads it
#include "entry/entry.h"
#include "base/module.h"
#include "entry/startup.h"
#include "platform/platform.h"
#include "settings/config.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#endif

namespace {

using namespace wbfax;

std::string Unescape(const std::string &text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 == text.size()) {
            out += text[i];
            continue;
        }
        const char c = text[++i];
        if (c == 'r') out += '\r';
        else if (c == 'n') out += '\n';
        else if (c == 't') out += '\t';
        else if (c == 'x' && i + 2 < text.size()) {
            out += static_cast<char>(std::strtol(text.substr(i + 1, 2).c_str(), nullptr, 16));
            i += 2;
        } else out += c;
    }
    return out;
}

std::string Shown(const std::optional<std::string> &text) { return text ? "\"" + *text + "\"" : "(not set)"; }

std::string ReadAll() {
    std::ostringstream out;
    out << "SMTPServer " << Shown(ReadSmtpServer()) << " SMTPServerWork " << Shown(ReadSmtpServerWork())
        << " SMTPPortNo " << ReadSmtpPortNo() << " SMTPPortNoWork " << ReadSmtpPortNoWork() << " USESMTP "
        << ReadUseSmtp() << " USESMTPWork " << ReadUseSmtpWork() << " ADDFFILE " << ReadAddFile() << " AddFileWork "
        << ReadAddFileWork() << " FileSize " << ReadFileSize() << " FileSizeWork " << ReadFileSizeWork()
        << " NotifyDays " << ReadNotifyDays() << " NotifyDaysWork " << ReadNotifyDaysWork() << "\n";
    return out.str();
}

bool Run(const std::string &op, const std::string &arg, std::string &log) {
    const std::string file = platform::NativePath(ConfigFilePath());
    const std::string value = Unescape(arg);
    const char *text = arg == "-" ? nullptr : value.c_str();
    const auto number = [&] { return static_cast<std::int32_t>(std::strtol(arg.c_str(), nullptr, 10)); };
    if (op == "ini") std::ofstream(file, std::ios::binary | std::ios::trunc) << value;
    else if (op == "no-ini") platform::RemoveFile(ConfigFilePath());
    else if (op == "server-work") WriteSmtpServerWork(text);
    else if (op == "port-work") WriteSmtpPortNoWork(text);
    else if (op == "use-smtp-work") WriteUseSmtpWork(number());
    else if (op == "add-file-work") WriteAddFileWork(number());
    else if (op == "file-size-work") WriteFileSizeWork(number());
    else if (op == "notify-days-work") WriteNotifyDaysWork(static_cast<std::uint32_t>(number()));
    else if (op == "finish") {
        std::uint32_t result = 0;
        std::uintptr_t slots[6] = {0, static_cast<std::uintptr_t>(number()), 0, 0, 0, 0};
        wbCatchExtExpFunc(6, &result, slots);
    } else if (op == "read") log += ReadAll();
    else return false;
    return true;
}

}  // namespace

int main(int argc, char **argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: settings-sequence SCRIPT\n");
        return 2;
    }
    std::ifstream script(argv[1], std::ios::binary);
    if (!script) {
        std::fprintf(stderr, "settings-sequence: cannot read %s\n", argv[1]);
        return 2;
    }
    ModuleStartup(platform::ThisModule());
    // The data folder may not exist yet; the module never creates it itself.
    const std::string data = DataFolder();
    platform::MakeDirectory(data.substr(0, data.rfind('\\')));
    platform::MakeDirectory(data);
    platform::RemoveFile(ConfigFilePath());

    std::string log, line;
    int number = 0;
    while (std::getline(script, line)) {
        ++number;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty() || line[0] == '#') continue;
        const std::size_t blank = line.find(' ');
        const std::string op = line.substr(0, blank);
        const std::string arg = blank == std::string::npos ? "" : line.substr(blank + 1);
        if (!Run(op, arg, log)) {
            std::fprintf(stderr, "settings-sequence: line %d: unknown operation '%s'\n", number, op.c_str());
            ModuleShutdown();
            return 2;
        }
    }
    std::ifstream ini(platform::NativePath(ConfigFilePath()), std::ios::binary);
    log += "--- wbcatch.ini\n" + std::string(std::istreambuf_iterator<char>(ini), std::istreambuf_iterator<char>());
    ModuleShutdown();
#if defined(_WIN32)
    ::_setmode(::_fileno(stdout), _O_BINARY);  // the file's bytes, not the console's line ends
#endif
    std::fwrite(log.data(), 1, log.size(), stdout);
    return 0;
}
