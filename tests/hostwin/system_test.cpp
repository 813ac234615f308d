// System calls of the layer: both free space queries and the run-time
// lookup that chooses between them, the short path, local memory, WinExec
// and the screen saver switch.
#include "scratch.h"

#include <sys/statvfs.h>

using namespace hostwin;

class System : public Scratch {};

namespace {

uint64_t ExFree(const char* dir) {
    ULARGE_INTEGER available = {}, total = {}, free = {};
    if (!GetDiskFreeSpaceExA(dir, &available, &total, &free)) return ~0ull;
    return available.QuadPart;
}

// GetDiskFreeSpaceA's figures multiplied back; ~0 when the call fails.
uint64_t ClassicFree(const char* dir, DWORD* clusterBytes = nullptr) {
    DWORD perCluster = 0, sector = 0, freeClusters = 0, total = 0;
    if (!GetDiskFreeSpaceA(dir, &perCluster, &sector, &freeClusters, &total)) return ~0ull;
    if (clusterBytes) *clusterBytes = perCluster * sector;
    return (uint64_t)freeClusters * perCluster * sector;
}

}  // namespace

TEST_F(System, SetFreeBytesReachBothQueries) {
    struct Case {
        uint64_t bytes;
        bool exact;  // the classic query's clusters give it back exactly
    } cases[] = {
        {0, true},
        {1023, true},
        {512, true},
        {1536000, true},
        {0xFFFFFFFFull, true},
        {1ull << 42, true},           // 4 TiB: 32-bit cluster count needs bigger clusters
        {(1ull << 42) + 512, false},  // does not divide: whole clusters, rounded down
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bytes);
        SetFreeBytes(c.bytes);
        EXPECT_EQ(ExFree("C:\\"), c.bytes);
        DWORD cluster = 0;
        uint64_t classic = ClassicFree("C:\\", &cluster);
        if (c.exact) {
            EXPECT_EQ(classic, c.bytes);
        } else {
            EXPECT_LE(classic, c.bytes);
            EXPECT_LT(c.bytes - classic, cluster);
        }
    }
}

TEST_F(System, FreeSpaceDefaultsToTheHostDisk) {
    struct statvfs vfs;
    ASSERT_EQ(statvfs(root().c_str(), &vfs), 0);
    double host = (double)vfs.f_bavail * vfs.f_frsize;
    double ex = (double)ExFree("C:\\");
    double classic = (double)ClassicFree("C:\\");
    // Other programs write meanwhile: the figures agree within 1 %.
    EXPECT_NEAR(ex, host, host / 100 + 1);
    EXPECT_NEAR(classic, host, host / 100 + 1);
}

TEST_F(System, FreeSpaceFailsWhereWindowsDoes) {
    SetFreeBytes(4096);
    struct Case {
        const char* name;
        const char* dir;
        bool failEx, failClassic;
    } cases[] = {
        {"unmapped drive", "Q:\\", false, false},
        {"missing folder", "C:\\nowhere\\", false, false},
        {"NULL", nullptr, false, false},
        {"faults", "C:\\", true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FaultSwitches().failDiskFreeSpaceEx = c.failEx;
        FaultSwitches().failDiskFreeSpace = c.failClassic;
        EXPECT_EQ(ExFree(c.dir), ~0ull);
        EXPECT_EQ(ClassicFree(c.dir), ~0ull);
    }
}

TEST_F(System, RunTimeLookupFindsTheExtendedQueryUnlessSwitchedOff) {
    SetFreeBytes(10240);
    struct Case {
        bool noEx, noKernel;
        bool found;
    } cases[] = {{false, false, true}, {true, false, false}, {false, true, false}};
    for (const Case& c : cases) {
        Reset();
        MapDrive('C', root());
        SetFreeBytes(10240);
        FaultSwitches().noDiskFreeSpaceEx = c.noEx;
        FaultSwitches().noKernel32 = c.noKernel;
        HMODULE k = LoadLibraryA("kernel32.dll");
        EXPECT_EQ(k != nullptr, !c.noKernel);
        FARPROC f = k ? GetProcAddress(k, "GetDiskFreeSpaceExA") : nullptr;
        EXPECT_EQ(f != nullptr, c.found);
        if (f) {
            auto query = reinterpret_cast<GetDiskFreeSpaceExA_t>(reinterpret_cast<void (*)(void)>(f));
            ULARGE_INTEGER available = {};
            EXPECT_TRUE(query("C:\\", &available, nullptr, nullptr));
            EXPECT_EQ(available.QuadPart, 10240u);
        }
        if (k) {
            EXPECT_TRUE(FreeLibrary(k));
        }
        EXPECT_EQ(Record().libraryLoads, Record().libraryFrees);
        EXPECT_TRUE(Record().misuse.empty());
    }
    Reset();
    EXPECT_EQ(LoadLibraryA("USER32.DLL"), nullptr);
    HMODULE k = LoadLibraryA("KERNEL32.DLL");
    EXPECT_EQ(GetProcAddress(k, "NoSuchFunction"), nullptr);
    EXPECT_TRUE(FreeLibrary(k));
    EXPECT_FALSE(FreeLibrary(k));                                  // released twice
    EXPECT_EQ(GetProcAddress(k, "GetDiskFreeSpaceExA"), nullptr);  // after release
    EXPECT_EQ(Record().misuse.size(), 2u);
}

TEST_F(System, ShortPathIsThePathItselfWhenTheFileExists) {
    Put(root() + "/Windows/LONGNAME.SCR", "x");
    char out[MAX_PATH];
    const char* path = "C:\\windows\\LongName.scr";
    EXPECT_EQ(GetShortPathNameA(path, out, sizeof out), strlen(path));
    EXPECT_STREQ(out, path);
    EXPECT_EQ(GetShortPathNameA(path, out, 5), strlen(path) + 1);  // too small: size needed
    EXPECT_EQ(GetShortPathNameA("C:\\windows\\missing.scr", out, sizeof out), 0u);
    FaultSwitches().failShortPath = true;
    EXPECT_EQ(GetShortPathNameA(path, out, sizeof out), 0u);
}

TEST_F(System, LocalMemoryIsCountedAndChecked) {
    HLOCAL a = LocalAlloc(LMEM_FIXED, 2048);
    ASSERT_NE(a, nullptr);
    HLOCAL z = LocalAlloc(LMEM_ZEROINIT, 16);
    ASSERT_NE(z, nullptr);
    EXPECT_EQ(((unsigned char*)z)[15], 0);
    EXPECT_EQ(LocalFree(a), nullptr);
    EXPECT_EQ(LocalFree(a), a);  // freed twice: refused
    EXPECT_EQ(LocalFree(z), nullptr);
    EXPECT_EQ(Record().localAllocs, 2);
    EXPECT_EQ(Record().localFrees, 2);
    EXPECT_EQ(Record().misuse.size(), 1u);
    FaultSwitches().failLocalAlloc = true;
    EXPECT_EQ(LocalAlloc(LMEM_FIXED, 2048), nullptr);
    EXPECT_EQ(Record().localAllocs, 2);
}

TEST_F(System, WinExecLooksWhereWindowsLooks) {
    Put(root() + "/Windows/SUNSET.SCR", "x");
    Put(root() + "/Downloads/tool.exe", "x");
    SetWindowsDirectory("C:\\Windows");
    SetModuleFileName("C:\\Downloads\\sunset.exe");
    struct Case {
        const char* command;
        UINT result;
        const char* found;  // below the drive's folder
    } cases[] = {
        {"SUNSET.SCR", 33, "/Windows/SUNSET.SCR"},
        {"sunset.scr /s", 33, "/Windows/SUNSET.SCR"},
        {"TOOL", 33, "/Downloads/tool.exe"},  // .EXE added, the installer's folder first
        {"\"C:\\Windows\\sunset.scr\"", 33, "/Windows/SUNSET.SCR"},
        {"OTHER.SCR", 2, nullptr},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(WinExec(c.command, SW_SHOW), c.result) << c.command;
        EXPECT_EQ(Record().execs.back().program, c.found ? root() + c.found : "") << c.command;
    }
    EXPECT_EQ(Record().events.front(), "WinExec SUNSET.SCR 5");
}

TEST_F(System, ScreenSaverSwitchIsRecorded) {
    EXPECT_TRUE(SystemParametersInfoA(SPI_SETSCREENSAVEACTIVE, 1, nullptr, SPIF_UPDATEINIFILE));
    ASSERT_EQ(Record().spiCalls.size(), 1u);
    EXPECT_EQ(Record().spiCalls[0].action, 17u);
    EXPECT_EQ(Record().spiCalls[0].param, 1u);
    EXPECT_EQ(Record().events, std::vector<std::string>{"SystemParametersInfoA 17 1 NULL 1"});
    SetScreenSize(640, 480);
    EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN), 640);
    EXPECT_EQ(GetSystemMetrics(SM_CYSCREEN), 480);
}
