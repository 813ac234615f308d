// scrpack's shared helpers: argument parsing, messages, whole-file reads and
// writes through temporary files.
//
// Outputs are never written in place: a temporary file in the destination's
// folder is filled, closed and renamed over the destination only when all of
// it was written, so a failure never leaves a partial file behind.
#include "tools/scrpack/scrpack.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <sys/stat.h>
#include <unistd.h>

namespace scrpack {

bool ParseArgs(const std::vector<std::string>& args, const std::set<std::string>& valued,
               const std::set<std::string>& flags, Args* out, std::string* error) {
    *out = Args();
    bool options = true;
    for (size_t i = 0; i < args.size(); i++) {
        const std::string& arg = args[i];
        if (!options || arg.size() < 2 || arg[0] != '-') {
            out->positional.push_back(arg);
            continue;
        }
        if (arg == "--") {
            options = false;
            continue;
        }
        if (arg == "-h" || arg == "--help") {
            out->help = true;
            continue;
        }
        size_t eq = arg.find('=');
        std::string name = arg.substr(0, eq);
        if (valued.count(name)) {
            if (eq != std::string::npos) {
                out->values[name] = arg.substr(eq + 1);
            } else if (i + 1 < args.size()) {
                out->values[name] = args[++i];
            } else {
                *error = "option " + name + " needs a value";
                return false;
            }
        } else if (flags.count(name) && eq == std::string::npos) {
            out->flags.insert(name);
        } else {
            *error = "unknown option \"" + arg + "\"";
            return false;
        }
    }
    return true;
}

int Fail(int code, const std::string& message) {
    std::fprintf(stderr, "scrpack: %s\n", message.c_str());
    return code;
}

int UsageError(const std::string& action, const std::string& message) {
    return Fail(kExitUsage, action + ": " + message + " (see scrpack " + action + " --help)");
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

bool ReadWholeFile(const std::string& path, std::vector<uint8_t>* bytes, std::string* error) {
    struct stat st;
    if (stat(path.c_str(), &st) != 0) {
        *error = path + ": " + std::strerror(errno);
        return false;
    }
    if (!S_ISREG(st.st_mode)) {
        *error = path + ": not a regular file";
        return false;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        *error = path + ": cannot open for reading";
        return false;
    }
    bytes->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (in.bad()) {
        *error = path + ": read error";
        return false;
    }
    return true;
}

static std::string FolderOf(const std::string& path) {
    size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

TempFile::TempFile(const std::string& destination) : destination_(destination) {
    std::string pattern = FolderOf(destination) + "/.scrpack-XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back(0);
    int fd = mkstemp(name.data());
    if (fd < 0) {
        error_ = FolderOf(destination) + ": cannot create a temporary file: " + std::strerror(errno);
        return;
    }
    path_ = name.data();
    mode_t mask = umask(0);
    umask(mask);
    fchmod(fd, 0666 & ~mask);  // as an ordinary new file, not mkstemp's 0600
    stream_ = fdopen(fd, "wb");
    if (!stream_) {
        error_ = path_ + ": " + std::strerror(errno);
        close(fd);
        unlink(path_.c_str());
        path_.clear();
    }
}

TempFile::~TempFile() {
    if (stream_) std::fclose(stream_);
    if (!path_.empty()) unlink(path_.c_str());
}

bool TempFile::Commit() {
    if (!stream_) return false;
    bool written = !std::ferror(stream_);
    written = std::fclose(stream_) == 0 && written;
    stream_ = nullptr;
    if (!written) {
        error_ = destination_ + ": write error (disk full?)";
        return false;
    }
    if (std::rename(path_.c_str(), destination_.c_str()) != 0) {
        error_ = destination_ + ": " + std::strerror(errno);
        return false;
    }
    path_.clear();
    return true;
}

bool WriteWholeFile(const std::string& path, const std::vector<uint8_t>& bytes, std::string* error) {
    TempFile out(path);
    if (out.ok() && !bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), out.stream());
    if (out.ok() && out.Commit()) return true;
    *error = out.error();
    return false;
}

std::string Grouped(uint64_t value) {
    std::string digits = std::to_string(value), out;
    for (size_t i = 0; i < digits.size(); i++) {
        if (i && (digits.size() - i) % 3 == 0) out += ',';
        out += digits[i];
    }
    return out;
}

}  // namespace scrpack
