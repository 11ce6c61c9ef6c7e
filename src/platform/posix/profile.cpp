// The Windows profile functions, as observed on the reference system: the file is parsed into
// sections and keys, blanks around names and values are dropped, and a write that changes
// something rewrites the whole file from that model with CR LF line ends.
#include "platform/platform.h"
#include "platform/posix/posix_internal.h"

#include <algorithm>
#include <cstring>
#include <list>

namespace wbfax::platform {
namespace {

struct Key {
    std::string name;
    std::optional<std::string> value;  // a line without "=" has none
};

struct Section {
    std::string name;  // the first, unnamed section holds the lines before any header
    std::list<Key> keys;
};

struct Profile {
    std::string bom;  // a UTF-8 byte order mark is kept for the rewrite
    std::list<Section> sections;
};

bool IsProfileSpace(unsigned char c, std::uint32_t codePage) {
    // Ctrl-Z counts as a blank: old files end with it.
    if ((c >= 0x09 && c <= 0x0d) || c == 0x20 || c == 0x1a) return true;
    return codePage == 1252 && c == 0xa0;
}

std::string_view Trim(std::string_view text, std::uint32_t codePage) {
    while (!text.empty() && IsProfileSpace(static_cast<unsigned char>(text.front()), codePage)) text.remove_prefix(1);
    while (!text.empty() && IsProfileSpace(static_cast<unsigned char>(text.back()), codePage)) text.remove_suffix(1);
    return text;
}

std::string_view TrimLeft(std::string_view text, std::uint32_t codePage) {
    while (!text.empty() && IsProfileSpace(static_cast<unsigned char>(text.front()), codePage)) text.remove_prefix(1);
    return text;
}

Profile Parse(std::string_view content, std::uint32_t codePage) {
    Profile profile;
    if (content.substr(0, 3) == "\xEF\xBB\xBF") {
        profile.bom = std::string(content.substr(0, 3));
        content.remove_prefix(3);
    }
    profile.sections.emplace_back();
    Section *section = &profile.sections.back();

    std::size_t next = 0;
    while (next < content.size()) {
        const std::size_t start = next;
        std::size_t brk = content.find('\n', start);
        // Only a file without LF at all (from here on) is split at CR.
        if (brk == std::string_view::npos) brk = content.find('\r', start);
        next = brk == std::string_view::npos ? content.size() : brk + 1;

        std::string_view line = Trim(content.substr(start, next - start), codePage);
        if (line.empty()) continue;

        if (line.front() == '[') {
            const std::size_t close = line.rfind(']');
            if (close != std::string_view::npos && close > 0) {
                profile.sections.emplace_back();
                section = &profile.sections.back();
                section->name = std::string(Trim(line.substr(1, close - 1), codePage));
                continue;
            }
        }

        Key key;
        const std::size_t eq = line.find('=');
        if (eq == std::string_view::npos) {
            key.name = std::string(line);
        } else {
            key.name = std::string(Trim(line.substr(0, eq), codePage));
            key.value = std::string(TrimLeft(line.substr(eq + 1), codePage));
        }
        section->keys.push_back(std::move(key));
    }
    return profile;
}

std::string Serialize(const Profile &profile) {
    std::string out = profile.bom;
    for (const Section &section : profile.sections) {
        if (!section.name.empty()) out += "[" + section.name + "]\r\n";
        for (const Key &key : section.keys) {
            out += key.name;
            if (key.value) out += "=" + *key.value;
            out += "\r\n";
        }
    }
    return out;
}

// Names as the callers pass them: blanks before are ignored, and blanks after only by the
// comparison (a created section or key keeps them).
struct Name {
    std::string text;   // without leading blanks
    std::size_t length;  // compared length, without trailing blanks
};

Name CallerName(const char *raw, std::uint32_t codePage) {
    std::string_view text = TrimLeft(raw ? raw : "", codePage);
    return {std::string(text), Trim(text, codePage).size()};
}

bool SameName(const std::string &stored, const Name &asked, std::uint32_t codePage) {
    return stored.size() == asked.length &&
           EqualsIgnoringCase(stored, std::string_view(asked.text).substr(0, asked.length), codePage);
}

Section *FindSection(Profile &profile, const Name &name, std::uint32_t codePage) {
    for (Section &section : profile.sections)
        if (SameName(section.name, name, codePage)) return &section;
    return nullptr;
}

Key *FindKey(Section &section, const Name &name, std::uint32_t codePage) {
    for (Key &key : section.keys)
        if (SameName(key.name, name, codePage)) return &key;
    return nullptr;
}

// A name without a folder lies in the Windows directory.
std::string ProfilePath(const char *file) {
    std::string_view name = file ? file : "win.ini";
    if (name.find('\\') == std::string_view::npos && name.find('/') == std::string_view::npos)
        return WindowsDirectory() + "/" + std::string(name);
    return NativePath(name);
}

// lstrcpyn: at most size - 1 characters and a NUL.
void CopyTruncated(char *buffer, std::uint32_t size, std::string_view text) {
    if (!buffer || size == 0) return;
    const std::size_t n = std::min<std::size_t>(text.size(), size - 1);
    std::memcpy(buffer, text.data(), n);
    buffer[n] = '\0';
}

// A value enclosed in matching quotes is returned without them.
void CopyEntry(char *buffer, std::uint32_t size, std::string_view value) {
    if (!buffer) return;
    bool quoted = false;
    if (!value.empty() && (value.front() == '\'' || value.front() == '"') && value.size() >= 2 &&
        value.back() == value.front()) {
        quoted = true;
        value.remove_prefix(1);
    }
    CopyTruncated(buffer, size, value);
    if (quoted && size >= value.size()) {
        const std::size_t n = std::strlen(buffer);
        if (n > 0) buffer[n - 1] = '\0';
    }
}

// Trailing blanks of a default are dropped, though never its first character.
std::string TrimDefault(const char *defaultValue) {
    std::string text = defaultValue ? defaultValue : "";
    std::size_t end = text.size();
    while (end > 1 && text[end - 1] == ' ') --end;
    text.resize(end);
    return text;
}

std::optional<Profile> Load(const std::string &path, std::uint32_t codePage, bool *exists) {
    std::string content;
    const ReadResult result = ReadWholeFile(path, content);
    if (exists) *exists = result != ReadResult::Missing;
    if (result != ReadResult::Ok) return std::nullopt;
    return Parse(content, codePage);
}

}  // namespace

std::uint32_t ProfileGetString(const char *section, const char *key, const char *defaultValue, char *buffer,
                               std::uint32_t size, const char *file) {
    const std::uint32_t codePage = AnsiCodePage();
    const std::string def = TrimDefault(defaultValue);
    const std::optional<Profile> loaded = Load(ProfilePath(file), codePage, nullptr);
    if (!loaded) {
        CopyTruncated(buffer, size, def);
        return buffer && size ? static_cast<std::uint32_t>(std::strlen(buffer)) : 0;
    }
    Profile profile = *loaded;
    const std::string *value = nullptr;
    if (section && key && *key) {
        if (Section *found = FindSection(profile, CallerName(section, codePage), codePage))
            if (Key *k = FindKey(*found, CallerName(key, codePage), codePage))
                if (k->value) value = &*k->value;
    }
    CopyEntry(buffer, size, value ? *value : def);
    return buffer && size ? static_cast<std::uint32_t>(std::strlen(buffer)) : 0;
}

std::uint32_t ProfileGetInt(const char *section, const char *key, std::int32_t defaultValue, const char *file) {
    char buffer[30];
    if (ProfileGetString(section, key, "", buffer, sizeof buffer, file) == 0) return static_cast<std::uint32_t>(defaultValue);

    // The system's string-to-integer conversion: base prefixes 0b, 0o and 0x, wrapping arithmetic.
    const char *p = buffer;
    while (*p && static_cast<unsigned char>(*p) <= ' ') ++p;
    bool minus = false;
    if (*p == '+') {
        ++p;
    } else if (*p == '-') {
        minus = true;
        ++p;
    }
    unsigned base = 10;
    if (p[0] == '0' && p[1] != '\0') {
        if (p[1] == 'b') base = 2;
        else if (p[1] == 'o') base = 8;
        else if (p[1] == 'x') base = 16;
        if (base != 10) p += 2;
    }
    std::uint32_t total = 0;
    for (; *p; ++p) {
        unsigned digit;
        if (*p >= '0' && *p <= '9') digit = static_cast<unsigned>(*p - '0');
        else if (*p >= 'A' && *p <= 'Z') digit = static_cast<unsigned>(*p - 'A' + 10);
        else if (*p >= 'a' && *p <= 'z') digit = static_cast<unsigned>(*p - 'a' + 10);
        else break;
        if (digit >= base) break;
        total = total * base + digit;
    }
    return minus ? 0u - total : total;
}

bool ProfileWriteString(const char *section, const char *key, const char *value, const char *file) {
    if (!section || !key) return false;  // whole-section operations are not used by the module
    const std::uint32_t codePage = AnsiCodePage();
    const std::string path = ProfilePath(file);
    bool exists = false;
    std::optional<Profile> loaded = Load(path, codePage, &exists);
    if (!loaded && exists) return false;  // unreadable: never overwrite what could not be read
    Profile profile = loaded ? std::move(*loaded) : Profile{{}, {Section{}}};

    bool changed = false;
    if (!value) {
        // Deleting looks through every section of that name, not only the first.
        const std::string_view wantedSection = section;
        const std::string_view wantedKey = key;
        for (Section &s : profile.sections) {
            if (!EqualsIgnoringCase(s.name, wantedSection, codePage)) continue;
            auto it = std::find_if(s.keys.begin(), s.keys.end(),
                                   [&](const Key &k) { return EqualsIgnoringCase(k.name, wantedKey, codePage); });
            if (it != s.keys.end()) {
                s.keys.erase(it);
                changed = true;
                break;
            }
        }
    } else {
        const Name sectionName = CallerName(section, codePage);
        const Name keyName = CallerName(key, codePage);
        Section *s = FindSection(profile, sectionName, codePage);
        if (!s) {
            profile.sections.push_back(Section{sectionName.text, {}});
            s = &profile.sections.back();
        }
        Key *k = FindKey(*s, keyName, codePage);
        if (!k) {
            s->keys.push_back(Key{keyName.text, std::nullopt});
            k = &s->keys.back();
        }
        const std::string newValue(TrimLeft(value, codePage));
        if (!k->value || *k->value != newValue) {
            k->value = newValue;
            changed = true;
        }
    }
    if (!changed) return true;
    return WriteWholeFile(path, Serialize(profile));
}

}  // namespace wbfax::platform
