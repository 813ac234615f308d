// scrpack's command line and messages (see cli.h).
#include "tools/scrpack/cli.h"

#include "tools/authoring/codepage.h"
#include "tools/authoring/encoder.h"
#include "tools/scrpack/system.h"

#include <cerrno>
#include <cstdio>
#include <iterator>

namespace scrpack {

namespace {

bool gQuiet = false;

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

const Option kCommonOptions[2] = {
    {'q', "quiet", nullptr, "print only errors"},
    {'h', "help", nullptr, "show this help"},
};

std::string Args::value(const char* longName) const {
    auto it = given.find(longName);
    return it == given.end() ? "" : it->second.back();
}

std::vector<std::string> Args::values(const char* longName) const {
    auto it = given.find(longName);
    return it == given.end() ? std::vector<std::string>() : it->second;
}

namespace {

// The option `name` (without "--") stands for: its exact long name, or the
// one long name it begins. nullptr with *error otherwise.
const Option* FindLong(const std::vector<Option>& options, const std::string& name, std::string* error) {
    std::vector<const Option*> begun;
    for (const Option& option : options) {
        if (name == option.longName) return &option;
        if (!name.empty() && std::string(option.longName).compare(0, name.size(), name) == 0) begun.push_back(&option);
    }
    if (begun.size() == 1) return begun[0];
    if (begun.empty()) {
        *error = "unknown option \"--" + Shown(name) + "\"";
    } else {
        *error = "option \"--" + Shown(name) + "\" is ambiguous: it could be";
        for (size_t i = 0; i < begun.size(); i++) *error += std::string(i ? ", --" : " --") + begun[i]->longName;
    }
    return nullptr;
}

const Option* FindShort(const std::vector<Option>& options, char name) {
    for (const Option& option : options)
        if (option.shortName && option.shortName == name) return &option;
    return nullptr;
}

std::string NameOf(const Option& option) {
    return std::string("--") + option.longName;
}

}  // namespace

bool ParseArgs(const std::vector<std::string>& args, const std::vector<Option>& own, Args* out, std::string* error) {
    *out = Args();
    std::vector<Option> options = own;
    options.insert(options.end(), std::begin(kCommonOptions), std::end(kCommonOptions));
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
        if (arg[1] == '-') {  // --name, --name=value
            size_t eq = arg.find('=');
            const Option* option = FindLong(options, arg.substr(2, eq == std::string::npos ? eq : eq - 2), error);
            if (!option) return false;
            std::vector<std::string>& values = out->given[option->longName];
            if (!option->argument) {
                if (eq != std::string::npos) {
                    *error = "option " + NameOf(*option) + " takes no value";
                    return false;
                }
                values.push_back("");
            } else if (eq != std::string::npos) {
                values.push_back(arg.substr(eq + 1));
            } else if (i + 1 < args.size()) {
                values.push_back(args[++i]);
            } else {
                *error = "option " + NameOf(*option) + " needs " + option->argument;
                return false;
            }
            continue;
        }
        for (size_t at = 1; at < arg.size(); at++) {  // -f, -fq, -dDIR, -fd DIR
            const Option* option = FindShort(options, arg[at]);
            if (!option) {
                *error = "unknown option \"-" + Shown(arg.substr(at, 1)) + "\"";
                return false;
            }
            std::vector<std::string>& values = out->given[option->longName];
            if (!option->argument) {
                values.push_back("");
                continue;
            }
            if (at + 1 < arg.size()) {
                values.push_back(arg.substr(at + 1));
            } else if (i + 1 < args.size()) {
                values.push_back(args[++i]);
            } else {
                *error = "option -" + std::string(1, option->shortName) + " needs " + option->argument;
                return false;
            }
            break;
        }
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
    if (!args.has("threads")) return true;
    uint64_t n = 0;
    if (!ParseNumber(args.value("threads"), 64, &n) || n == 0) return false;
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
    ProgressHeld held;
    FlushOutput();  // results so far come first
    std::fprintf(stderr, "scrpack: %s\n", message.c_str());
    std::fflush(stderr);  // where it is buffered (a Windows console), now
    return code;
}

void Warning(const std::string& message) {
    if (gQuiet) return;
    ProgressHeld held;
    FlushOutput();
    std::fprintf(stderr, "scrpack: warning: %s\n", message.c_str());
    std::fflush(stderr);
}

void Say(const std::string& line) {
    if (gQuiet) return;
    ProgressHeld held;
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

std::map<std::string, std::string>& Aliases() {
    static std::map<std::string, std::string> aliases;
    return aliases;
}

}  // namespace

void ShowAs(const std::string& host, const std::string& name) {
    if (name.empty())
        Aliases().erase(host);
    else
        Aliases()[host] = name;
}

std::string PathText(const std::string& host) {
    auto alias = Aliases().find(host);
    return alias != Aliases().end() ? alias->second : sys::Utf8FromHost(host);
}

std::string Shown(const std::string& host, bool quoted) {
    return Escaped(PathText(host), quoted);
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

namespace {

Progress* gProgress = nullptr;  // the one shown, or to be shown

void TickProgress(void* progress) {
    static_cast<Progress*>(progress)->Draw();
}

}  // namespace

Progress::Progress(const std::string& what, uint64_t total) : what_(what), total_(total) {
    if (Quiet() || !sys::IsTerminal(stderr) || gProgress) return;
    std::string delay = sys::Environment("SCRPACK_PROGRESS_DELAY_MS");
    uint64_t ms;
    if (!delay.empty() && ParseNumber(delay, 3600000, &ms)) delay_ = ms;
    start_ = sys::Milliseconds();
    auto* ticker = new sys::Ticker;
    active_ = ticker->Start(TickProgress, this, 100);
    if (!active_) {
        delete ticker;
        return;
    }
    ticker_ = ticker;
    gProgress = this;
}

Progress::~Progress() {
    if (!active_) return;
    auto* ticker = static_cast<sys::Ticker*>(ticker_);
    ticker->Stop();
    delete ticker;
    Clear();
    gProgress = nullptr;
}

void Progress::Set(uint64_t done) {
    if (!active_) return;
    auto* ticker = static_cast<sys::Ticker*>(ticker_);
    ticker->Lock();
    done_ = done;
    Draw();
    ticker->Unlock();
}

void Progress::Follow(FILE* stream, uint64_t from) {
    if (!active_) return;
    auto* ticker = static_cast<sys::Ticker*>(ticker_);
    ticker->Lock();
    followed_ = stream;
    from_ = from;
    ticker->Unlock();
}

void Progress::Unfollow(uint64_t bytes) {
    if (!active_) return;
    auto* ticker = static_cast<sys::Ticker*>(ticker_);
    ticker->Lock();
    followed_ = nullptr;
    done_ += bytes;
    Draw();
    ticker->Unlock();
}

// With the ticker's lock held.
void Progress::Draw() {
    uint64_t now = sys::Milliseconds();
    if (now - start_ < delay_ || (lastDraw_ && now - lastDraw_ < 100)) return;
    lastDraw_ = now;
    uint64_t done = done_;
    if (followed_) {
        long at = std::ftell(followed_);  // the stream's own lock keeps this safe
        if (at >= 0 && uint64_t(at) > from_) done += uint64_t(at) - from_;
    }
    if (done > total_) done = total_;
    double seconds = double(now - start_) / 1000.0;
    char figures[96];
    std::snprintf(figures, sizeof figures, ", %u %%, %.1f MB/s", total_ ? unsigned(done * 100 / total_) : 100u,
                  seconds > 0 ? double(done) / 1e6 / seconds : 0.0);
    std::string line = ": " + Grouped(done) + " of " + Grouped(total_) + " bytes" + figures;
    std::string what = what_;
    if (what.size() + line.size() > 79) what = "..." + what.substr(what.size() + line.size() + 3 - 79);
    line = what + line;
    size_t width = line.size();
    if (width < shownWidth_) line += std::string(shownWidth_ - width, ' ');
    std::fprintf(stderr, "\r%s", line.c_str());
    std::fflush(stderr);
    shownWidth_ = width;
}

void Progress::Clear() {
    if (!shownWidth_) return;
    std::fprintf(stderr, "\r%s\r", std::string(shownWidth_, ' ').c_str());
    std::fflush(stderr);
    shownWidth_ = 0;
}

namespace {

struct EncodeMeter {
    Progress* progress = nullptr;
    uint64_t before = 0;  // the bytes of the streams encoded whole
} gEncodeMeter;

void OnEncode(uint64_t done, uint64_t size, void* context) {
    EncodeMeter* meter = static_cast<EncodeMeter*>(context);
    meter->progress->Set(meter->before + done);
    if (done == size) meter->before += size;
}

}  // namespace

void FollowEncoding(Progress* progress) {
    gEncodeMeter = EncodeMeter();
    gEncodeMeter.progress = progress;
    authoring::SetEncodeProgress(progress ? OnEncode : nullptr, &gEncodeMeter);
}

ProgressHeld::ProgressHeld() {
    if (!gProgress) return;
    ticker_ = gProgress->ticker_;
    static_cast<sys::Ticker*>(ticker_)->Lock();
    gProgress->Clear();
}

ProgressHeld::~ProgressHeld() {
    if (ticker_) static_cast<sys::Ticker*>(ticker_)->Unlock();
}

}  // namespace scrpack
