// Runs scripts of profile operations through the platform seam and prints one line per
// operation. Built natively and for Windows, the two outputs must be identical: that is how
// the POSIX profile functions are held to the behaviour of the system's own.
//
//   profile-script DIR SCRIPT...              each script runs in a fresh folder DIR\<n>
//   profile-script --generate SEED COUNT OUT  writes COUNT random scripts into folder OUT
//
// Script lines (arguments separated by blanks; "#" starts a comment line):
//   put TEXT               replace the file's bytes (TEXT is the rest of the line)
//   rm                     remove the file
//   file NAME              switch to the file DIR\<n>\NAME (write "\\" between folders)
//   get SECTION KEY DEFAULT SIZE
//   int SECTION KEY DEFAULT
//   write SECTION KEY VALUE
//   delete SECTION KEY     write with a null value
//   delsection SECTION     write with a null key
//   dump                   the file's bytes
//   touched                whether the file was written since the last put
// Escapes in arguments: \\ \s (blank) \t \r \n \xHH, \e (nothing: an empty argument),
// \{N}c (N copies of the character c, which may be escaped); an argument of exactly \N is a
// null pointer.
#include "platform/platform.h"

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#endif

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;
namespace platform = wbfax::platform;

namespace {

// ---- Text in and out ----

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Decodes one (possibly escaped) character at text[i]; advances i. False on a malformed escape.
bool DecodeChar(const std::string &text, std::size_t &i, std::string &out) {
    if (text[i] != '\\') {
        out += text[i++];
        return true;
    }
    if (i + 1 >= text.size()) return false;
    const char c = text[i + 1];
    i += 2;
    switch (c) {
    case '\\': out += '\\'; return true;
    case 's': out += ' '; return true;
    case 't': out += '\t'; return true;
    case 'r': out += '\r'; return true;
    case 'n': out += '\n'; return true;
    case 'e': return true;
    case 'x': {
        if (i + 2 > text.size() || HexValue(text[i]) < 0 || HexValue(text[i + 1]) < 0) return false;
        out += static_cast<char>(HexValue(text[i]) * 16 + HexValue(text[i + 1]));
        i += 2;
        return true;
    }
    case '{': {
        const std::size_t close = text.find('}', i);
        if (close == std::string::npos || close + 1 >= text.size()) return false;
        const unsigned long count = std::strtoul(text.substr(i, close - i).c_str(), nullptr, 10);
        i = close + 1;
        std::string one;
        if (!DecodeChar(text, i, one)) return false;
        for (unsigned long n = 0; n < count; ++n) out += one;
        return true;
    }
    default: return false;
    }
}

std::optional<std::string> Decode(const std::string &text) {
    std::string out;
    for (std::size_t i = 0; i < text.size();)
        if (!DecodeChar(text, i, out)) return std::nullopt;
    return out;
}

std::string Escape(std::string_view bytes) {
    std::string out;
    char hex[5];
    for (const char ch : bytes) {
        const auto c = static_cast<unsigned char>(ch);
        if (c == '\\') out += "\\\\";
        else if (c == '\r') out += "\\r";
        else if (c == '\n') out += "\\n";
        else if (c >= 0x20 && c < 0x7f) out += ch;
        else {
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            out += hex;
        }
    }
    return out;
}

// An argument: a text or a null pointer.
struct Arg {
    std::optional<std::string> text;
    const char *get() const { return text ? text->c_str() : nullptr; }
};

std::vector<std::string> SplitBlanks(const std::string &line) {
    std::vector<std::string> words;
    std::istringstream in(line);
    for (std::string word; in >> word;) words.push_back(word);
    return words;
}

// ---- Files, as the test sees them (not through the seam) ----

// The scripts compose paths with "\" as the module does; the system's own calls here need the
// native form.
fs::path HostPath(const std::string &path) {
#if defined(_WIN32)
    return fs::path(path);
#else
    std::string native = path;
    for (char &c : native)
        if (c == '\\') c = '/';
    return fs::path(native);
#endif
}

std::optional<std::string> ReadBytes(const std::string &path) {
    std::ifstream in(HostPath(path), std::ios::binary);
    if (!in) return std::nullopt;
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Every put leaves the file with its own old time stamp: a write by the profile functions moves
// it, and a system that caches parsed files by time stamp sees each put as a change.
fs::file_time_type NextPutStamp() {
    static const fs::file_time_type base = fs::file_time_type::clock::now() - std::chrono::hours(24 * 400);
    static int count = 0;
    return base + std::chrono::seconds(++count);
}

// ---- Running one script ----

class Runner {
public:
    explicit Runner(std::string folder) : folder_(std::move(folder)), file_(folder_ + "\\test.ini") {}

    // One result line per operation; false when the line itself is malformed.
    bool Run(const std::string &line, std::ostream &out) {
        const std::vector<std::string> words = SplitBlanks(line);
        if (words.empty() || words[0][0] == '#') return true;
        const std::string &op = words[0];
        out << line << " -> ";

        if (op == "put") {
            const std::size_t at = line.find_first_not_of(" \t", line.find("put") + 3);
            const std::optional<std::string> text = Decode(at == std::string::npos ? std::string() : line.substr(at));
            if (!text) return Malformed(out);
            std::error_code ignored;
            {
                std::ofstream file(HostPath(file_), std::ios::binary | std::ios::trunc);
                file << *text;
                if (!file) {
                    out << "cannot write\n";
                    return true;
                }
            }
            putStamp_ = NextPutStamp();
            fs::last_write_time(HostPath(file_), putStamp_, ignored);
            out << "ok\n";
            return true;
        }

        std::vector<Arg> args;
        for (std::size_t i = 1; i < words.size(); ++i) {
            if (words[i] == "\\N") {
                args.push_back(Arg{});
                continue;
            }
            std::optional<std::string> text = Decode(words[i]);
            if (!text) return Malformed(out);
            args.push_back(Arg{std::move(text)});
        }

        if (op == "get" && args.size() == 4) {
            const std::uint32_t size = static_cast<std::uint32_t>(std::strtoul(args[3].get(), nullptr, 10));
            constexpr std::size_t kGuard = 16;
            std::vector<char> buffer(size + kGuard, '\xA5');
            const std::uint32_t n =
                platform::ProfileGetString(args[0].get(), args[1].get(), args[2].get(), buffer.data(), size, file_.c_str());
            // Everything the call wrote: the text, its NUL and whatever follows (lists of names).
            std::size_t written = buffer.size();
            while (written > 0 && buffer[written - 1] == '\xA5') --written;
            out << n << " \"" << Escape(std::string_view(buffer.data(), written)) << '"';
            if (written > size) out << " overflow";
            out << '\n';
            return true;
        }
        if (op == "int" && args.size() == 3) {
            const auto def = static_cast<std::int32_t>(std::strtoll(args[2].get(), nullptr, 10));
            out << platform::ProfileGetInt(args[0].get(), args[1].get(), def, file_.c_str()) << '\n';
            return true;
        }
        if (op == "write" && args.size() == 3) {
            out << platform::ProfileWriteString(args[0].get(), args[1].get(), args[2].get(), file_.c_str()) << '\n';
            return true;
        }
        if (op == "delete" && args.size() == 2) {
            out << platform::ProfileWriteString(args[0].get(), args[1].get(), nullptr, file_.c_str()) << '\n';
            return true;
        }
        if (op == "delsection" && args.size() == 1) {
            out << platform::ProfileWriteString(args[0].get(), nullptr, nullptr, file_.c_str()) << '\n';
            return true;
        }
        if (op == "dump" && args.empty()) {
            const std::optional<std::string> bytes = ReadBytes(file_);
            if (bytes) out << '"' << Escape(*bytes) << "\"\n";
            else out << "missing\n";
            return true;
        }
        if (op == "touched" && args.empty()) {
            std::error_code error;
            const fs::file_time_type stamp = fs::last_write_time(HostPath(file_), error);
            if (error) out << "missing\n";
            // Some runtimes keep whole seconds only: anything near the put's stamp is untouched.
            else out << (stamp - putStamp_ < std::chrono::hours(1) && putStamp_ - stamp < std::chrono::hours(1) ? "no" : "yes") << '\n';
            return true;
        }
        if (op == "rm" && args.empty()) {
            std::error_code ignored;
            out << (fs::remove(HostPath(file_), ignored) ? "removed" : "absent") << '\n';
            return true;
        }
        if (op == "file" && args.size() == 1 && args[0].text) {
            file_ = folder_ + "\\" + *args[0].text;
            out << "ok\n";
            return true;
        }
        return Malformed(out);
    }

private:
    static bool Malformed(std::ostream &out) {
        out << "malformed\n";
        return false;
    }

    std::string folder_;
    std::string file_;
    fs::file_time_type putStamp_;
};

int RunScripts(const std::string &dir, const std::vector<std::string> &scripts) {
    int status = 0;
    for (std::size_t n = 0; n < scripts.size(); ++n) {
        std::ifstream in(HostPath(scripts[n]), std::ios::binary);
        if (!in) {
            std::cerr << "cannot read " << scripts[n] << '\n';
            return 2;
        }
        const std::string folder = dir + "\\" + std::to_string(n + 1);
        std::error_code ignored;
        fs::remove_all(HostPath(folder), ignored);
        fs::create_directories(HostPath(folder), ignored);

        std::cout << "== " << HostPath(scripts[n]).filename().string() << '\n';
        Runner runner(folder);
        std::string line;
        while (std::getline(in, line)) {
            if (!line.empty() && line.back() == '\r') line.pop_back();
            if (!runner.Run(line, std::cout)) status = 2;
        }
        std::cout.flush();
    }
    return status;
}

// ---- Random scripts ----

// Plain arithmetic on the engine's output: the distributions of the standard library differ
// between runtimes, the engine does not.
class Dice {
public:
    explicit Dice(std::uint32_t seed) : engine_(seed) {}
    std::uint32_t Below(std::uint32_t n) { return static_cast<std::uint32_t>(engine_() % n); }
    bool Chance(std::uint32_t percent) { return Below(100) < percent; }
    template <typename T> const T &Pick(const std::vector<T> &items) { return items[Below(static_cast<std::uint32_t>(items.size()))]; }

private:
    std::mt19937 engine_;
};

std::string ScriptEscape(const std::string &bytes) {
    std::string out;
    char hex[5];
    for (const char ch : bytes) {
        const auto c = static_cast<unsigned char>(ch);
        if (c == '\\') out += "\\\\";
        else if (c == ' ') out += "\\s";
        else if (c == '\r') out += "\\r";
        else if (c == '\n') out += "\\n";
        else if (c > 0x20 && c < 0x7f) out += ch;
        else {
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            out += hex;
        }
    }
    return out.empty() ? "\\e" : out;
}

const std::vector<std::string> kSections = {"S", "s", "T", "Sect", "S T", "\xC9t\xE9", "\xE9T\xC9", "\x8A", "\x9A", "",
                                            "S]", "[S", "\xFF", "\x9F", "\xDF", "a;b", "\xC3\xA9", "]x"};
const std::vector<std::string> kKeys = {"k", "K", "key", "Key2", "k k", "\xE9", "\xC9", ";c", "", "a=b", "\xB5", "x",
                                        "\xC3\xA9", "[x]"};
const std::vector<std::string> kValues = {"v", "", "1", " 12", "-7", "+8", "0x1f", "0X1F", "0b101", "0o17", "017",
                                          "4294967297", "-2147483649", "99999999999999999999", "abc", "12abc",
                                          "'q'", "\"q\"", "'q\"", "'", "\"", "''", "\"\"", "'a b'", " x ",
                                          "v\xA0", "\xA0v", "\x1Av", "v\x1A", "a\tb", "\xE9\xC9", "z=z",
                                          "\x01 5", "0x", "-0x10", "- 5", "\x80\x81\x8D\x8F\x90\x9D",
                                          // UTF-8, whole and broken, for the files with a byte order mark
                                          "caf\xC3\xA9", "\xC4\x80\xE2\x82\xAC", "\xF0\x9F\x98\x80", "\xE2\x82", "\xC0\xAF",
                                          "\xED\xA0\x80", "\xF4\x90\x80\x80", "\xF5\x80", "\xEF\xBF\xBD", "a\x00b"};
const std::vector<std::string> kBlanks = {"", "", "", " ", "  ", "\t", "\x1A", "\xA0", "\x0B", "\x0C", " \t"};
const std::vector<std::string> kBreaks = {"\r\n", "\r\n", "\r\n", "\n", "\n", "\r", "\r\r\n", "\n\r", ""};

std::string RandomName(Dice &dice, const std::vector<std::string> &names) {
    return dice.Pick(kBlanks) + dice.Pick(names) + dice.Pick(kBlanks);
}

std::string RandomLine(Dice &dice) {
    switch (dice.Below(10)) {
    case 0:
    case 1: return dice.Pick(kBlanks) + "[" + RandomName(dice, kSections) + "]" + (dice.Chance(10) ? " x" : "");
    case 2: return dice.Pick(kBlanks);
    case 3: return dice.Pick(kBlanks) + dice.Pick(kKeys) + dice.Pick(kBlanks);  // no "="
    case 4: return ";" + dice.Pick(kValues);
    default:
        return dice.Pick(kBlanks) + dice.Pick(kKeys) + dice.Pick(kBlanks) + "=" + dice.Pick(kBlanks) + dice.Pick(kValues) +
               dice.Pick(kBlanks);
    }
}

std::string RandomFile(Dice &dice) {
    std::string text;
    const std::uint32_t encoding = dice.Below(100);
    if (encoding < 8) text += "\xEF\xBB\xBF";
    const std::uint32_t lines = dice.Below(12);
    const std::string lineBreak = dice.Pick(kBreaks);
    const bool mixed = dice.Chance(20);
    for (std::uint32_t i = 0; i < lines; ++i) {
        text += RandomLine(dice);
        text += mixed ? dice.Pick(kBreaks) : (lineBreak.empty() ? std::string("\r\n") : lineBreak);
    }
    if (dice.Chance(15) && !text.empty()) text.pop_back();
    if (dice.Chance(5)) text += "\x1A";
    if (dice.Chance(3)) text += "[L]\r\nlong=" + std::string(2000 + dice.Below(3000), 'L') + "\r\n";
    if (encoding >= 8 && encoding < 12) {
        // UTF-16 with a byte order mark: every byte becomes the character of that number.
        const bool big = encoding >= 10;
        std::string wide = big ? "\xFE\xFF" : "\xFF\xFE";
        for (const char c : text) {
            wide += big ? std::string(1, '\0') + c : std::string(1, c) + '\0';
        }
        text = wide;
    }
    return text;
}

std::string RandomOperation(Dice &dice) {
    const std::string section = ScriptEscape(RandomName(dice, kSections));
    const std::string key = ScriptEscape(RandomName(dice, kKeys));
    switch (dice.Below(12)) {
    case 0:
    case 1:
    case 2:
    case 3: {
        const std::string def = dice.Chance(50) ? std::string("d") : dice.Pick(kValues) + dice.Pick(kBlanks);
        const std::vector<std::string> sizes = {"0", "1", "2", "3", "4", "5", "8", "64", "2048", "8000"};
        // Now and then a null name: the lists of keys and of sections.
        const std::uint32_t nulls = dice.Below(100);
        return "get " + (nulls < 4 ? std::string("\\N") : section) + " " + (nulls < 12 ? std::string("\\N") : key) + " " +
               (dice.Chance(5) ? std::string("\\N") : ScriptEscape(def)) + " " + dice.Pick(sizes);
    }
    case 4:
    case 5: {
        const std::vector<std::string> defaults = {"0", "-1", "7", "2147483647"};
        return "int " + section + " " + key + " " + dice.Pick(defaults);
    }
    case 6:
    case 7:
    case 8: return "write " + section + " " + key + " " + ScriptEscape(dice.Pick(kBlanks) + dice.Pick(kValues));
    case 9:
    case 10: return "delete " + section + " " + key;
    default: return dice.Chance(30) ? "delsection " + section : "touched";
    }
}

int Generate(std::uint32_t seed, int count, const std::string &outDir) {
    Dice dice(seed);
    fs::create_directories(HostPath(outDir));
    for (int n = 1; n <= count; ++n) {
        char name[32];
        std::snprintf(name, sizeof name, "random-%04d.txt", n);
        std::ofstream out(HostPath(outDir) / name, std::ios::binary);
        out << "# seed " << seed << " case " << n << '\n';
        if (!dice.Chance(8)) out << "put " << ScriptEscape(RandomFile(dice)) << '\n';
        const std::uint32_t operations = 1 + dice.Below(8);
        for (std::uint32_t i = 0; i < operations; ++i) {
            const std::string op = RandomOperation(dice);
            out << op << '\n';
            if (op.rfind("write", 0) == 0 || op.rfind("del", 0) == 0) out << "dump\n";
        }
        out << "dump\n";
        if (!out) return 2;
    }
    return 0;
}

}  // namespace

int main(int argc, char **argv) {
#if defined(_WIN32)
    _setmode(_fileno(stdout), _O_BINARY);  // the outputs of both builds are compared byte for byte
#endif
    if (argc == 5 && std::strcmp(argv[1], "--generate") == 0)
        return Generate(static_cast<std::uint32_t>(std::strtoul(argv[2], nullptr, 10)), std::atoi(argv[3]), argv[4]);
    if (argc < 3) {
        std::cerr << "usage: profile-script DIR SCRIPT...\n"
                     "       profile-script --generate SEED COUNT OUTDIR\n";
        return 2;
    }
    return RunScripts(argv[1], std::vector<std::string>(argv + 2, argv + argc));
}
