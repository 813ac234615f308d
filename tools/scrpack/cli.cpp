// scrpack's command line and messages (see cli.h).
#include "tools/scrpack/cli.h"

#include "tools/authoring/codepage.h"
#include "tools/scrpack/system.h"

#include <cerrno>
#include <cstdio>

namespace scrpack {

namespace {

bool gQuiet = false;

const Option* FindOption(const std::vector<Option>& options, const std::string& name) {
    for (const Option& option : options)
        if (name == option.name || (option.alias && name == option.alias)) return &option;
    return nullptr;
}

std::string Hex(unsigned byte) {
    char text[8];
    std::snprintf(text, sizeof text, "\\x%02X", byte & 0xFF);
    return text;
}

}  // namespace

int WorstExit(int a, int b) {
    if (a == kExitBadData || b == kExitBadData) return kExitBadData;
    return a != kExitOk ? a : b;
}

std::string Args::value(const char* name) const {
    auto it = values.find(name);
    return it == values.end() ? "" : it->second;
}

bool ParseArgs(const std::vector<std::string>& args, const std::vector<Option>& options, Args* out,
               std::string* error) {
    *out = Args();
    std::vector<Option> all = options;
    all.push_back({"-q", "--quiet", false});
    bool takingOptions = true;  // until "--"
    for (size_t i = 0; i < args.size(); i++) {
        const std::string& arg = args[i];
        if (!takingOptions || arg.size() < 2 || arg[0] != '-') {
            out->positional.push_back(arg);
            continue;
        }
        if (arg == "--") {
            takingOptions = false;
            continue;
        }
        if (arg == "-h" || arg == "--help") {
            out->help = true;
            continue;
        }
        size_t eq = arg.compare(0, 2, "--") == 0 ? arg.find('=') : std::string::npos;
        std::string name = arg.substr(0, eq);
        const Option* option = FindOption(all, name);
        std::string value;
        bool hasValue = eq != std::string::npos;
        if (hasValue) value = arg.substr(eq + 1);
        if (!option && arg[1] != '-' && arg.size() > 2) {  // "-dDIR"
            option = FindOption(all, arg.substr(0, 2));
            if (option && option->takesValue) {
                value = arg.substr(2);
                hasValue = true;
            } else {
                option = nullptr;
            }
        }
        if (!option) {
            *error = "unknown option \"" + Shown(arg, false) + "\"";
            return false;
        }
        if (!option->takesValue) {
            if (hasValue) {
                *error = "option " + std::string(option->name) + " takes no value";
                return false;
            }
            out->flags[option->name] = true;
            continue;
        }
        if (!hasValue) {
            if (i + 1 >= args.size()) {
                *error = "option " + name + " needs a value";
                return false;
            }
            value = args[++i];
        }
        out->values[option->name] = value;
    }
    return true;
}

bool ParseNumber(const std::string& text, uint64_t max, uint64_t* value) {
    if (text.empty() || text.size() > 19) return false;
    uint64_t v = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        v = v * 10 + (uint64_t)(c - '0');
    }
    if (v > max) return false;
    *value = v;
    return true;
}

bool ParseThreads(const Args& args, int* threads) {
    if (!args.has("--threads")) return true;
    uint64_t n = 0;
    if (!ParseNumber(args.value("--threads"), 64, &n) || n == 0) return false;
    *threads = int(n);
    return true;
}

void SetQuiet(bool quiet) {
    gQuiet = quiet;
}

bool Quiet() {
    return gQuiet;
}

int Error(int code, const std::string& message) {
    FlushOutput();  // results so far come first
    std::fprintf(stderr, "scrpack: %s\n", message.c_str());
    std::fflush(stderr);  // where it is buffered (a Windows console), now
    return code;
}

void Warning(const std::string& message) {
    if (gQuiet) return;
    FlushOutput();
    std::fprintf(stderr, "scrpack: warning: %s\n", message.c_str());
    std::fflush(stderr);
}

void Say(const std::string& line) {
    if (gQuiet) return;
    std::printf("%s\n", line.c_str());
    FlushOutput();  // progress shows as it is made, also where output is buffered
}

namespace {
int gOutputError = 0;  // the reason of the first failed flush of standard output; 0: none, -1: not known
}

void FlushOutput() {
    errno = 0;
    bool flushed = std::fflush(stdout) == 0;
    int error = errno;
    if (gOutputError > 0) return;
    if (!flushed && error)
        gOutputError = error;
    else if (!flushed || std::ferror(stdout))
        gOutputError = -1;  // a write failed between flushes (a printf of many lines, or an Output's own)
}

int TakeOutputFailure() {
    FlushOutput();
    int error = gOutputError;
    gOutputError = 0;
    std::clearerr(stdout);
    return error;
}

int UsageError(const std::string& action, const std::string& message) {
    return Error(kExitUsage, action + ": " + message + " (see scrpack help " + action + ")");
}

namespace {

std::string Escaped(const std::string& utf8, bool quoted) {
    std::string out;
    for (size_t at = 0; at < utf8.size();) {
        size_t start = at;
        uint32_t code;
        if (!authoring::NextCodePoint(utf8, &at, &code)) {
            out += Hex((unsigned char)utf8[at++]);
            continue;
        }
        if (code < 0x20 || (code >= 0x7F && code < 0xA0)) {
            out += Hex(code);
        } else if (quoted && (code == '"' || code == '\\')) {
            out += '\\';
            out += (char)code;
        } else {
            out.append(utf8, start, at - start);
        }
    }
    return out;
}

}  // namespace

std::string Shown(const std::string& host, bool quoted) {
    return Escaped(sys::Utf8FromHost(host), quoted);
}

std::string ShownCp1252(const std::string& text, bool quoted) {
    return Escaped(authoring::Cp1252ToUtf8(text), quoted);
}

std::string JsonString(const std::string& utf8) {
    std::string out = "\"";
    char escape[8];
    for (size_t at = 0; at < utf8.size();) {
        size_t start = at;
        uint32_t code;
        if (!authoring::NextCodePoint(utf8, &at, &code)) {
            code = (unsigned char)utf8[at++];
            std::snprintf(escape, sizeof escape, "\\u%04X", code);
            out += escape;
            continue;
        }
        if (code == '"' || code == '\\') {
            out += '\\';
            out += (char)code;
        } else if (code < 0x20 || (code >= 0x7F && code < 0xA0)) {
            std::snprintf(escape, sizeof escape, "\\u%04X", code);
            out += escape;
        } else {
            out.append(utf8, start, at - start);
        }
    }
    return out + "\"";
}

}  // namespace scrpack
