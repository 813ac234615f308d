// WritePrivateProfileStringA on a real INI file of the host file system.
//
// A bare file name ("system.ini") lies in the Windows directory, as on
// Windows. The update touches one line: the key's line is replaced when the
// section holds the key (section and key names compared without regard to
// ASCII case and surrounding blanks), else a new line is put after the
// section's last non-empty line, else the section is appended at the end of
// the file. Every other line keeps its bytes and its line end; new lines end
// in CR LF. A NULL value removes the key, a NULL key the whole section. The
// file is written to a temporary file beside it and renamed over it, so a
// failed write never leaves half a file.
#include "platform/host/windows.h"
#include "platform/hostwin/hostwin.h"
#include "platform/hostwin/state.h"

#include <cerrno>
#include <fcntl.h>
#include <strings.h>
#include <unistd.h>

namespace hostwin {
namespace {

struct IniLine {
    std::string text;  // the line without its end
    std::string end;   // "\r\n", "\n" or "" (last line of a file without a final newline)
};

std::string Trim(const std::string& s) {
    size_t b = s.find_first_not_of(" \t");
    if (b == std::string::npos) return "";
    size_t e = s.find_last_not_of(" \t");
    return s.substr(b, e - b + 1);
}

bool SameName(const std::string& a, const char* b) {
    return strcasecmp(a.c_str(), b) == 0;
}

std::vector<IniLine> SplitLines(const std::string& bytes) {
    std::vector<IniLine> lines;
    size_t start = 0;
    while (start < bytes.size()) {
        size_t nl = bytes.find('\n', start);
        if (nl == std::string::npos) {
            lines.push_back({bytes.substr(start), ""});
            break;
        }
        bool crlf = nl > start && bytes[nl - 1] == '\r';
        size_t textEnd = crlf ? nl - 1 : nl;
        lines.push_back({bytes.substr(start, textEnd - start), crlf ? "\r\n" : "\n"});
        start = nl + 1;
    }
    return lines;
}

// The section name of a header line "[name]", or false.
bool SectionName(const IniLine& line, std::string* name) {
    std::string t = Trim(line.text);
    if (t.empty() || t[0] != '[') return false;
    size_t close = t.find(']');
    *name = Trim(t.substr(1, close == std::string::npos ? std::string::npos : close - 1));
    return true;
}

// The key name of a line "name=value" (or "name" alone).
std::string KeyName(const IniLine& line) {
    return Trim(line.text.substr(0, line.text.find('=')));
}

bool ReadWhole(const std::string& path, std::string* bytes, bool* exists) {
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    *exists = fd >= 0;
    if (fd < 0) return errno == ENOENT;
    char buffer[4096];
    ssize_t n;
    while ((n = read(fd, buffer, sizeof buffer)) > 0) bytes->append(buffer, (size_t)n);
    close(fd);
    return n == 0;
}

bool WriteWhole(const std::string& path, const std::string& bytes) {
    std::string temp = path + ".~new";
    int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
        if (n <= 0) break;
        done += (size_t)n;
    }
    bool ok = close(fd) == 0 && done == bytes.size();
    if (ok && rename(temp.c_str(), path.c_str()) == 0) return true;
    unlink(temp.c_str());
    return false;
}

// Host path of the profile file: a bare or relative name lies in the Windows
// directory; a Windows path is mapped; a host path ('/') passes.
bool ProfileHostPath(const char* file, std::string* host) {
    if (HasDrive(file) || file[0] == '/') return MapPath(file, host);
    const std::string& dir = State().windowsDirectory;
    if (dir.empty()) return false;
    std::string full;
    if (file[0] == '\\') {
        full = dir.substr(0, 2) + file;  // from the root of the Windows directory's drive
    } else {
        full = dir.back() == '\\' ? dir + file : dir + '\\' + file;
    }
    return MapPath(full.c_str(), host);
}

void EnsureEnds(std::vector<IniLine>* lines, size_t index) {
    if ((*lines)[index].end.empty()) (*lines)[index].end = "\r\n";
}

// Applies the update to the lines; false when nothing changes.
bool Update(std::vector<IniLine>* lines, const char* section, const char* key, const char* value) {
    size_t count = lines->size(), header = count, end = count;
    std::string name;
    for (size_t i = 0; i < count; i++) {
        if (!SectionName((*lines)[i], &name)) continue;
        if (header == count && SameName(name, section)) {
            header = i;
        } else if (header != count) {
            end = i;
            break;
        }
    }
    if (!key) {
        if (header == count) return false;
        lines->erase(lines->begin() + header, lines->begin() + end);
        return true;
    }
    if (header == count) {
        if (!value) return false;
        if (count > 0) EnsureEnds(lines, count - 1);
        lines->push_back({"[" + std::string(section) + "]", "\r\n"});
        lines->push_back({std::string(key) + "=" + value, "\r\n"});
        return true;
    }
    size_t lastFilled = header;
    for (size_t i = header + 1; i < end; i++) {
        const IniLine& line = (*lines)[i];
        if (Trim(line.text).empty()) continue;
        lastFilled = i;
        std::string existing = KeyName(line);
        if (!SameName(existing, key)) continue;
        if (!value) {
            lines->erase(lines->begin() + i);
        } else {
            (*lines)[i].text = existing + "=" + value;  // the file's own spelling of the key
        }
        return true;
    }
    if (!value) return false;
    EnsureEnds(lines, lastFilled);
    lines->insert(lines->begin() + lastFilled + 1, {std::string(key) + "=" + value, "\r\n"});
    return true;
}

}  // namespace
}  // namespace hostwin

using namespace hostwin;

extern "C" BOOL WritePrivateProfileStringA(LPCSTR section, LPCSTR key, LPCSTR value, LPCSTR file) {
    if (!file) file = "win.ini";
    State().records.profileWrites.push_back({section ? section : "", key ? key : "", value ? value : "", file});
    std::string line = std::string("WritePrivateProfileStringA ") + (section ? section : "NULL");
    if (key) line += std::string(" ") + key + (value ? std::string("=") + value : std::string());
    Event(line);

    std::string host, bytes;
    bool exists = false;
    if (!section || !ProfileHostPath(file, &host) || !ReadWhole(host, &bytes, &exists)) return 0;
    std::vector<IniLine> lines = SplitLines(bytes);
    if (!Update(&lines, section, key, value)) return 1;  // nothing to remove: done
    std::string out;
    for (const IniLine& l : lines) out += l.text + l.end;
    return WriteWhole(host, out) ? 1 : 0;
}
