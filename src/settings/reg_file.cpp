#include "settings/reg_file.h"

#include <cstdint>
#include <cstdio>
#include <memory>
#include <vector>

#include "base/bytes.h"
#include "base/hex.h"
#include "base/log.h"
#include "base/text.h"

namespace tarvik {
namespace {

constexpr char kHeader5[] = "Windows Registry Editor Version 5.00";
constexpr char kHeader4[] = "REGEDIT4";

// ---- text encodings -------------------------------------------------------

char CodePointToAnsi(char32_t cp) {
    if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) return static_cast<char>(cp);
    for (unsigned i = 0; i < 32; ++i)
        if (kCp1252High[i] == cp) return static_cast<char>(0x80 + i);
    return '?';
}

std::string Utf16LeToAnsi(const uint8_t* p, size_t bytes) {
    std::string out;
    out.reserve(bytes / 2);
    for (size_t i = 0; i + 1 < bytes; i += 2) {
        char32_t unit = GetLe16(p + i);
        if (unit >= 0xD800 && unit < 0xDC00 && i + 3 < bytes) {
            const char32_t low = GetLe16(p + i + 2);
            if (low >= 0xDC00 && low < 0xE000) {
                unit = 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
                i += 2;
            }
        }
        out.push_back(CodePointToAnsi(unit));
    }
    return out;
}

std::string AnsiToUtf16Le(const std::string& text) {
    std::string out;
    out.reserve(text.size() * 2);
    for (unsigned char c : text) {
        const char32_t cp = AnsiToCodePoint(c);
        out.push_back(static_cast<char>(cp & 0xFF));
        out.push_back(static_cast<char>(cp >> 8));
    }
    return out;
}

// Decodes UTF-8; false when the bytes are not valid UTF-8.
bool Utf8ToAnsi(const std::string& in, std::string* out) {
    out->clear();
    for (size_t i = 0; i < in.size();) {
        const unsigned char c = static_cast<unsigned char>(in[i]);
        unsigned extra = 0;
        char32_t cp = 0;
        if (c < 0x80) {
            cp = c;
        } else if ((c & 0xE0) == 0xC0 && c >= 0xC2) {
            extra = 1, cp = c & 0x1F;
        } else if ((c & 0xF0) == 0xE0) {
            extra = 2, cp = c & 0x0F;
        } else if ((c & 0xF8) == 0xF0 && c <= 0xF4) {
            extra = 3, cp = c & 0x07;
        } else {
            return false;
        }
        if (i + extra >= in.size() && extra) return false;
        for (unsigned k = 1; k <= extra; ++k) {
            const unsigned char cc = static_cast<unsigned char>(in[i + k]);
            if ((cc & 0xC0) != 0x80) return false;
            cp = (cp << 6) | (cc & 0x3F);
        }
        out->push_back(CodePointToAnsi(cp));
        i += 1 + extra;
    }
    return true;
}

std::string DecodeFileText(const std::string& bytes) {
    const auto* p = reinterpret_cast<const uint8_t*>(bytes.data());
    if (bytes.size() >= 2 && p[0] == 0xFF && p[1] == 0xFE)
        return Utf16LeToAnsi(p + 2, bytes.size() - 2);
    if (bytes.size() >= 3 && p[0] == 0xEF && p[1] == 0xBB && p[2] == 0xBF) {
        std::string text;
        if (Utf8ToAnsi(bytes.substr(3), &text)) return text;
        return bytes.substr(3);
    }
    std::string text;
    if (Utf8ToAnsi(bytes, &text)) return text;
    return bytes;  // ANSI as it is
}

bool IsStringType(uint32_t type) {
    return type == kRegSz || type == kRegExpandSz || type == kRegMultiSz;
}

// ---- import ----------------------------------------------------------------

std::string TrimRight(const std::string& s) {
    size_t end = s.size();
    while (end > 0 && (s[end - 1] == ' ' || s[end - 1] == '\t' || s[end - 1] == '\r')) --end;
    return s.substr(0, end);
}

size_t SkipBlanks(const std::string& s, size_t pos) {
    while (pos < s.size() && (s[pos] == ' ' || s[pos] == '\t')) ++pos;
    return pos;
}

// Reads a quoted string starting at s[pos] == '"'; pos ends after the closing quote.
bool ParseQuoted(const std::string& s, size_t* pos, std::string* out) {
    out->clear();
    size_t i = *pos + 1;
    for (; i < s.size(); ++i) {
        char c = s[i];
        if (c == '"') {
            *pos = i + 1;
            return true;
        }
        if (c == '\\' && i + 1 < s.size()) {
            const char next = s[++i];
            switch (next) {
                case 'n': c = '\n'; break;
                case 'r': c = '\r'; break;
                case '0': c = '\0'; break;
                case '\\':
                case '"': c = next; break;
                default: out->push_back('\\'); c = next;
            }
        }
        out->push_back(c);
    }
    return false;
}

bool ParseHexBytes(const std::string& s, std::vector<uint8_t>* out) {
    out->clear();
    size_t i = SkipBlanks(s, 0);
    if (i >= s.size()) return true;
    for (;;) {
        i = SkipBlanks(s, i);
        int value = 0, digits = 0;
        while (i < s.size() && HexDigit(s[i]) >= 0 && digits < 2) {
            value = value * 16 + HexDigit(s[i++]);
            ++digits;
        }
        if (digits == 0) return false;
        out->push_back(static_cast<uint8_t>(value));
        i = SkipBlanks(s, i);
        if (i >= s.size() || s[i] == ';') return true;
        if (s[i] != ',') return false;
        ++i;
        if (SkipBlanks(s, i) >= s.size()) return true;  // a trailing comma
    }
}

class Importer {
public:
    Importer(Registry& registry, std::string* error) : registry_(registry), error_(error) {}

    bool Run(const std::string& fileBytes) {
        const std::string text = DecodeFileText(fileBytes);
        // Split at LF by hand: a string stream would bring the whole locale
        // machinery into the exe.
        std::vector<std::string> lines;
        for (size_t start = 0; start < text.size();) {
            size_t end = text.find('\n', start);
            if (end == std::string::npos) end = text.size();
            lines.push_back(TrimRight(text.substr(start, end - start)));
            start = end + 1;
        }

        size_t n = 0;
        while (n < lines.size() && lines[n].empty()) ++n;
        if (n == lines.size()) return Fail(0, "empty file");
        if (lines[n] == kHeader5) {
            unicode_ = true;
        } else if (lines[n] != kHeader4) {
            return Fail(n + 1, "not a registry file");
        }
        for (++n; n < lines.size(); ++n) {
            const size_t lineNo = n + 1;
            std::string current = lines[n];
            const size_t start = SkipBlanks(current, 0);
            if (start >= current.size() || current[start] == ';') continue;
            current = current.substr(start);
            if (current[0] == '[') {
                if (!KeyLine(current)) return Fail(lineNo, "bad key line");
                continue;
            }
            // hex data may go on over several lines, each ending in a backslash
            while (current.back() == '\\' && n + 1 < lines.size() &&
                   current.find("=hex") != std::string::npos) {
                current.pop_back();
                const std::string& next = lines[++n];
                current += next.substr(SkipBlanks(next, 0));
            }
            if (!ValueLine(current)) return Fail(lineNo, "bad value line");
        }
        return true;
    }

private:
    bool Fail(size_t line, const char* what) {
        if (error_) *error_ = "line " + std::to_string(line) + ": " + what;
        return false;
    }

    bool KeyLine(const std::string& line) {
        key_.Reset();
        const size_t close = line.rfind(']');
        if (close == std::string::npos || close < 2) return false;
        std::string path = line.substr(1, close - 1);
        const bool remove = path[0] == '-';
        if (remove) path.erase(0, 1);
        const size_t slash = path.find('\\');
        RegHandle root = 0;
        if (!RootFromName(path.substr(0, slash), &root)) return false;
        const std::string rest = slash == std::string::npos ? "" : path.substr(slash + 1);
        if (remove) {
            if (!rest.empty()) (void)DeleteKeyTree(root, rest.c_str(), &registry_);
            return true;
        }
        long rc = 0;
        key_ = RegKey::Create(root, rest.c_str(), kKeyAllAccess, nullptr, &rc, &registry_);
        return static_cast<bool>(key_);
    }

    bool ValueLine(const std::string& line) {
        if (!key_) return false;  // a value before any key
        std::string name;
        size_t pos = 0;
        if (line[0] == '@') {
            pos = 1;
        } else if (line[0] == '"') {
            if (!ParseQuoted(line, &pos, &name)) return false;
        } else {
            return false;
        }
        pos = SkipBlanks(line, pos);
        if (pos >= line.size() || line[pos] != '=') return false;
        pos = SkipBlanks(line, pos + 1);
        const std::string data = line.substr(pos);
        const char* valueName = name.c_str();

        if (data == "-") {
            const long rc = key_.DeleteValue(valueName);
            return rc == kRegOk || rc == kRegFileNotFound;
        }
        if (!data.empty() && data[0] == '"') {
            std::string text;
            size_t end = 0;
            if (!ParseQuoted(data, &end, &text)) return false;
            end = SkipBlanks(data, end);
            if (end < data.size() && data[end] != ';') return false;
            return key_.Set(valueName, kRegSz, text.c_str(),
                            static_cast<uint32_t>(text.size() + 1)) == kRegOk;
        }
        if (data.compare(0, 6, "dword:") == 0) {
            const std::string digits = TrimRight(data.substr(6));
            if (digits.empty() || digits.size() > 8) return false;
            uint32_t value = 0;
            for (char c : digits) {
                if (HexDigit(c) < 0) return false;
                value = value * 16 + static_cast<uint32_t>(HexDigit(c));
            }
            return key_.SetDword(valueName, value) == kRegOk;
        }
        if (data.compare(0, 3, "hex") == 0) {
            uint32_t type = kRegBinary;
            size_t colon = 3;
            if (data.size() > 3 && data[3] == '(') {
                const size_t close = data.find(')', 4);
                if (close == std::string::npos || close == 4 || close > 12) return false;
                type = 0;
                for (size_t i = 4; i < close; ++i) {
                    if (HexDigit(data[i]) < 0) return false;
                    type = type * 16 + static_cast<uint32_t>(HexDigit(data[i]));
                }
                colon = close + 1;
            }
            if (colon >= data.size() || data[colon] != ':') return false;
            std::vector<uint8_t> bytes;
            if (!ParseHexBytes(data.substr(colon + 1), &bytes)) return false;
            if (unicode_ && IsStringType(type) && bytes.size() % 2 == 0) {
                // version 5 files hold string types as the registry does: UTF-16
                const std::string ansi = Utf16LeToAnsi(bytes.data(), bytes.size());
                bytes.assign(ansi.begin(), ansi.end());
            }
            return key_.Set(valueName, type, bytes.data(), static_cast<uint32_t>(bytes.size())) ==
                   kRegOk;
        }
        return false;
    }

    Registry& registry_;
    std::string* error_;
    RegKey key_;
    bool unicode_ = false;
};

// ---- reading a key through the seam -----------------------------------------

struct RawValue {
    std::string name;
    uint32_t type = 0;
    std::vector<uint8_t> data;
};

std::vector<RawValue> ReadValues(Registry& registry, RegHandle key) {
    std::vector<RawValue> values;
    std::vector<char> name(16384);
    for (uint32_t index = 0;; ++index) {
        uint32_t chars = static_cast<uint32_t>(name.size());
        uint32_t type = 0, size = 0;
        if (registry.EnumValue(key, index, name.data(), &chars, &type, nullptr, &size) != kRegOk)
            break;
        RawValue value;
        value.name.assign(name.data(), chars);
        value.data.resize(size);
        chars = static_cast<uint32_t>(name.size());
        if (registry.EnumValue(key, index, name.data(), &chars, &value.type,
                               value.data.empty() ? nullptr : value.data.data(), &size) != kRegOk)
            break;
        value.data.resize(size);
        values.push_back(std::move(value));
    }
    return values;
}

std::vector<std::string> ReadSubkeys(Registry& registry, RegHandle key) {
    std::vector<std::string> names;
    char name[256];
    for (uint32_t index = 0;; ++index) {
        uint32_t chars = sizeof(name);
        if (registry.EnumKey(key, index, name, &chars) != kRegOk) break;
        names.emplace_back(name, chars);
    }
    return names;
}

// ---- export -----------------------------------------------------------------

std::string Escape(const std::string& text) {
    std::string out;
    for (char c : text) {
        // Line ends and NULs can occur in value names; they must not end the line.
        if (c == '\n' || c == '\r' || c == '\0') {
            out += c == '\n' ? "\\n" : c == '\r' ? "\\r" : "\\0";
            continue;
        }
        if (c == '\\' || c == '"') out.push_back('\\');
        out.push_back(c);
    }
    return out;
}

bool PrintableString(const RawValue& value) {
    if (value.type != kRegSz || value.data.empty() || value.data.back() != 0) return false;
    for (size_t i = 0; i + 1 < value.data.size(); ++i)
        if (value.data[i] < 0x20) return false;  // NULs and line ends go as hex
    return true;
}

void AppendValue(const RawValue& value, std::string* out) {
    std::string line = value.name.empty() ? "@=" : "\"" + Escape(value.name) + "\"=";
    if (PrintableString(value)) {
        const std::string text(value.data.begin(), value.data.end() - 1);
        *out += line + "\"" + Escape(text) + "\"\r\n";
        return;
    }
    if (value.type == kRegDword && value.data.size() == 4) {
        char digits[16];
        std::snprintf(digits, sizeof(digits), "dword:%08x", GetLe32(value.data.data()));
        *out += line + digits + "\r\n";
        return;
    }
    std::vector<uint8_t> bytes = value.data;
    if (IsStringType(value.type)) {
        const std::string wide = AnsiToUtf16Le(std::string(bytes.begin(), bytes.end()));
        bytes.assign(wide.begin(), wide.end());
    }
    char prefix[16];
    if (value.type == kRegBinary)
        std::snprintf(prefix, sizeof(prefix), "hex:");
    else
        std::snprintf(prefix, sizeof(prefix), "hex(%x):", value.type);
    line += prefix;
    for (size_t i = 0; i < bytes.size(); ++i) {
        char token[4];
        std::snprintf(token, sizeof(token), "%02x", bytes[i]);
        line += token;
        if (i + 1 < bytes.size()) {
            line += ',';
            if (line.size() > 76) {  // wrap as the registry tools do
                *out += line + "\\\r\n";
                line = "  ";
            }
        }
    }
    *out += line + "\r\n";
}

// A key name for a log line or a message: control characters as \xNN.
std::string ShowKeyName(const std::string& name) {
    std::string out;
    for (char c : name) {
        const auto b = static_cast<unsigned char>(c);
        if (b >= 0x20 && b != 0x7F) {
            out.push_back(c);
            continue;
        }
        char token[8];
        std::snprintf(token, sizeof(token), "\\x%02X", b);
        out += token;
    }
    return out;
}

// Whether the subkey `name` of `parent` goes into the file; a name that could
// not be read back is logged and kept in *refused instead. The name came from
// a drive (its INQUIRY) or another program: a file that no longer loads
// would lose every other setting.
bool WriteSubkey(const std::string& parent, const std::string& name,
                 std::vector<std::string>* refused) {
    if (RegKeyNameWritable(name)) return true;
    const std::string shown = ShowKeyName(parent + "\\" + name);
    LogPrintf("    key not written, its name cannot be read back: %s\n", shown.c_str());
    if (refused) refused->push_back(shown);
    return false;
}

bool ExportKey(Registry& registry, RegHandle key, const std::string& fullName, unsigned depth,
               std::string* out, std::vector<std::string>* refused) {
    if (depth > kMaxKeyDepth) return false;
    *out += "[" + fullName + "]\r\n";
    for (const auto& value : ReadValues(registry, key)) AppendValue(value, out);
    *out += "\r\n";
    for (const auto& name : ReadSubkeys(registry, key)) {
        if (!WriteSubkey(fullName, name, refused)) continue;
        RegKey child = RegKey::Open(key, name.c_str(), kKeyRead, nullptr, &registry);
        if (!child) continue;
        if (!ExportKey(registry, child.handle(), fullName + "\\" + name, depth + 1, out, refused))
            return false;
    }
    return true;
}

std::string Hex(const std::vector<uint8_t>& bytes) {
    std::string out;
    char token[4];
    for (uint8_t b : bytes) {
        std::snprintf(token, sizeof(token), "%02x", b);
        out += token;
    }
    return out;
}

bool CompareKeys(Registry& a, RegHandle aKey, Registry& b, RegHandle bKey, const std::string& where,
                 unsigned depth, std::string* difference) {
    auto differ = [&](const std::string& what) {
        if (difference) *difference = where + ": " + what;
        return false;
    };
    if (depth > kMaxKeyDepth) return differ("nested too deep");
    const auto aValues = ReadValues(a, aKey);
    const auto bValues = ReadValues(b, bKey);
    for (const auto& av : aValues) {
        const RawValue* match = nullptr;
        for (const auto& bv : bValues)
            if (EqualsNoCase(av.name, bv.name)) match = &bv;
        const std::string label = av.name.empty() ? "@" : "\"" + av.name + "\"";
        if (!match) return differ("value " + label + " only in the first tree");
        if (match->type != av.type)
            return differ("value " + label + " type " + std::to_string(av.type) + " vs " +
                          std::to_string(match->type));
        if (match->data != av.data)
            return differ("value " + label + " data " + Hex(av.data) + " vs " + Hex(match->data));
    }
    for (const auto& bv : bValues) {
        bool found = false;
        for (const auto& av : aValues) found = found || EqualsNoCase(av.name, bv.name);
        if (!found) return differ("value \"" + bv.name + "\" only in the second tree");
    }
    const auto aKeys = ReadSubkeys(a, aKey);
    const auto bKeys = ReadSubkeys(b, bKey);
    for (const auto& name : bKeys) {
        bool found = false;
        for (const auto& other : aKeys) found = found || EqualsNoCase(name, other);
        if (!found) return differ("subkey " + name + " only in the second tree");
    }
    for (const auto& name : aKeys) {
        RegKey aChild = RegKey::Open(aKey, name.c_str(), kKeyRead, nullptr, &a);
        RegKey bChild = RegKey::Open(bKey, name.c_str(), kKeyRead, nullptr, &b);
        if (!bChild) return differ("subkey " + name + " only in the first tree");
        if (!aChild) return differ("subkey " + name + " cannot be opened");
        if (!CompareKeys(a, aChild.handle(), b, bChild.handle(), where + "\\" + name, depth + 1,
                         difference))
            return false;
    }
    return true;
}

}  // namespace

bool ImportRegText(Registry& registry, const std::string& fileBytes, std::string* error) {
    Importer importer(registry, error);
    return importer.Run(fileBytes);
}

bool RegKeyNameWritable(std::string_view name) {
    if (name.empty()) return false;
    for (char c : name)
        if (static_cast<unsigned char>(c) < 0x20 || c == '\\') return false;
    return true;
}

bool ExportRegText(Registry& registry, RegHandle root, const std::string& path, std::string* text,
                   std::vector<std::string>* refused) {
    const char* rootName = RootName(root);
    if (!rootName) return false;
    RegKey key = RegKey::Open(root, path.c_str(), kKeyRead, nullptr, &registry);
    if (!key) return false;
    std::string out = std::string(kHeader5) + "\r\n\r\n";
    const std::string fullName = path.empty() ? rootName : std::string(rootName) + "\\" + path;
    if (!ExportKey(registry, key.handle(), fullName, 0, &out, refused)) return false;
    *text = std::move(out);
    return true;
}

std::string ExportAllRegText(Registry& registry, std::vector<std::string>* refused) {
    std::string out = std::string(kHeader5) + "\r\n\r\n";
    for (RegHandle root : {kHkeyClassesRoot, kHkeyCurrentUser, kHkeyLocalMachine, kHkeyDynData}) {
        const std::string rootName = RootName(root);
        if (!ReadValues(registry, root).empty()) {
            (void)ExportKey(registry, root, rootName, 0, &out, refused);
            continue;
        }
        for (const auto& name : ReadSubkeys(registry, root)) {
            if (!WriteSubkey(rootName, name, refused)) continue;
            RegKey child = RegKey::Open(root, name.c_str(), kKeyRead, nullptr, &registry);
            if (child)
                (void)ExportKey(registry, child.handle(), rootName + "\\" + name, 1, &out, refused);
        }
    }
    return out;
}

std::string EncodeRegFile(const std::string& text) {
    return std::string("\xFF\xFE", 2) + AnsiToUtf16Le(text);
}

// C stdio, not file streams: those cost the exe a few hundred KB of locale code.
namespace {
struct FileCloser {
    void operator()(std::FILE* f) const { (void)std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;
}  // namespace

bool ReadWholeFile(const std::string& fileName, std::string* bytes) {
    File in(std::fopen(fileName.c_str(), "rb"));
    if (!in) return false;
    bytes->clear();
    char buffer[4096];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof(buffer), in.get())) > 0) bytes->append(buffer, got);
    return !std::ferror(in.get());
}

bool WriteWholeFile(const std::string& fileName, const std::string& bytes) {
    std::FILE* out = std::fopen(fileName.c_str(), "wb");
    if (!out) return false;
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
    return (std::fclose(out) == 0) && written;
}

bool ExportRegFile(Registry& registry, RegHandle root, const std::string& path,
                   const std::string& fileName) {
    std::string text;
    if (!ExportRegText(registry, root, path, &text)) return false;
    // A full disk must not cost the user the export of last time.
    return ReplaceWholeFile(fileName, EncodeRegFile(text));
}

bool CompareRegTrees(Registry& a, RegHandle aKey, Registry& b, RegHandle bKey,
                     std::string* difference) {
    return CompareKeys(a, aKey, b, bKey, "", 0, difference);
}

}  // namespace tarvik
