// scrpack's names for the entries of an installer: the stub's own naming
// rules (install/naming.h) applied to the installer's host file name.
#include "tools/scrpack/scrpack.h"

#include "install/naming.h"
#include "tools/authoring/codepage.h"

namespace scrpack {

bool InstallerNames(const std::string& path, std::string* saverFileName, std::string* baseName) {
    size_t slash = path.rfind('/');
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    char saver[PATH_SIZE], base[PATH_SIZE];
    if (!MakeSaverFileName(name.c_str(), saver, sizeof saver) || !MakeBaseName(name.c_str(), base, sizeof base))
        return false;
    *saverFileName = saver;
    *baseName = base;
    return true;
}

std::string EntryName(int index, uint16_t firstNumber, const CatalogueEntry& entry, const std::string& saverFileName,
                      const std::string& baseName) {
    std::string extension = authoring::Cp1252ToUtf8(entry.extension);
    char relative[PATH_SIZE];
    if (!MakeEntryRelativePath(index, firstNumber, extension.c_str(), saverFileName.c_str(), baseName.c_str(),
                               relative, sizeof relative))
        return "";
    return relative;
}

}  // namespace scrpack
