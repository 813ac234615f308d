// Free space queries of our Linux Win32 layer: GetDiskFreeSpaceExA and
// GetDiskFreeSpaceA on the host folder behind a Windows path, or on the
// figure a test set with SetFreeBytes. Either fails for a path that is not
// an existing folder, as Windows does, or when its fault switch is on.
//
// GetDiskFreeSpaceA describes the free bytes as clusters x sectors x bytes:
// 512-byte sectors when the figure is a multiple of 512, else 1-byte ones,
// and one sector per cluster, doubled only while the cluster count would not
// fit in 32 bits. The product is the exact figure whenever it divides into
// those clusters (always below 2 TiB); otherwise whole clusters, rounded down.
#include "platform/host/windows.h"
#include "platform/hostwin/hostwin.h"
#include "platform/hostwin/state.h"

#include <sys/stat.h>
#include <sys/statvfs.h>

namespace hostwin {
namespace {

struct DiskSpace {
    uint64_t available;  // to the caller
    uint64_t total;
    uint64_t free;  // on the whole disk
};

bool SpaceOf(LPCSTR dir, DiskSpace* space) {
    std::string host;
    struct stat st;
    if (!MapPath(dir, &host) || stat(host.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return false;
    if (State().freeBytesSet) {
        *space = {State().freeBytes, State().freeBytes, State().freeBytes};
        return true;
    }
    struct statvfs vfs;
    if (statvfs(host.c_str(), &vfs) != 0) return false;
    uint64_t unit = vfs.f_frsize ? vfs.f_frsize : vfs.f_bsize;
    *space = {(uint64_t)vfs.f_bavail * unit, (uint64_t)vfs.f_blocks * unit, (uint64_t)vfs.f_bfree * unit};
    return true;
}

void Store(PULARGE_INTEGER out, uint64_t value) {
    if (out) out->QuadPart = value;
}

DWORD ClusterCount(uint64_t bytes, uint64_t clusterBytes) {
    uint64_t clusters = bytes / clusterBytes;
    return clusters > 0xFFFFFFFFu ? 0xFFFFFFFFu : (DWORD)clusters;
}

}  // namespace
}  // namespace hostwin

using namespace hostwin;

extern "C" {

BOOL GetDiskFreeSpaceExA(LPCSTR dir, PULARGE_INTEGER availableToCaller, PULARGE_INTEGER total,
                         PULARGE_INTEGER totalFree) {
    DiskSpace space;
    if (State().faults.failDiskFreeSpaceEx || !SpaceOf(dir, &space)) return 0;
    Store(availableToCaller, space.available);
    Store(total, space.total);
    Store(totalFree, space.free);
    return 1;
}

BOOL GetDiskFreeSpaceA(LPCSTR root, DWORD* sectorsPerCluster, DWORD* bytesPerSector, DWORD* freeClusters,
                       DWORD* totalClusters) {
    DiskSpace space;
    if (State().faults.failDiskFreeSpace || !SpaceOf(root, &space)) return 0;
    uint64_t sector = space.available % 512 == 0 ? 512 : 1;
    uint64_t perCluster = 1;
    while (space.available / (sector * perCluster) > 0xFFFFFFFFu && perCluster < 0x80000000u) perCluster *= 2;
    uint64_t clusterBytes = sector * perCluster;
    if (sectorsPerCluster) *sectorsPerCluster = (DWORD)perCluster;
    if (bytesPerSector) *bytesPerSector = (DWORD)sector;
    if (freeClusters) *freeClusters = ClusterCount(space.available, clusterBytes);
    if (totalClusters) *totalClusters = ClusterCount(space.total, clusterBytes);
    return 1;
}

}  // extern "C"
