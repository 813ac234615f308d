// Paths and files of the layer: Windows paths mapped case-insensitively
// inside their drive's folder, host paths untouched, the create and write
// fault switches for both the handle calls and the wrapped C streams, and
// handles the layer did not give refused.
#include "scratch.h"
#include "platform/streams.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

using namespace hostwin;

class Paths : public Scratch {};

TEST_F(Paths, MapsEachComponentCaseInsensitivelyAndStaysOnItsDrive) {
    Put(root() + "/Windows/System.ini", "x");
    Put(root() + "/Windows/Sub/File.TXT", "x");
    Put(root() + "/Data/a.bin", "x");
    struct Case {
        const char* windowsPath;
        const char* hostTail;  // below the drive's folder
    } cases[] = {
        {"C:\\WINDOWS\\SYSTEM.INI", "/Windows/System.ini"},
        {"c:/windows/sub/file.txt", "/Windows/Sub/File.TXT"},
        {"C:\\Windows\\\\Sub\\", "/Windows/Sub"},
        {"C:\\windows\\New\\x.Txt", "/Windows/New/x.Txt"},  // missing: rest as given
        {"C:\\.\\windows\\.\\SUB", "/Windows/Sub"},
        {"C:\\windows\\..\\data\\A.BIN", "/Data/a.bin"},
        {"C:\\..\\..\\etc\\passwd", "/etc/passwd"},  // ".." stops at the root
        {"C:\\Windows\\..\\..\\..\\Data", "/Data"},
        {"C:", ""},
        {"C:\\", ""},
    };
    for (const Case& c : cases) {
        std::string host;
        ASSERT_TRUE(ToHostPath(c.windowsPath, &host)) << c.windowsPath;
        EXPECT_EQ(host, root() + c.hostTail) << c.windowsPath;
    }
}

TEST_F(Paths, HostPathsPassAndUnmappedDrivesFail) {
    std::string host;
    for (const char* path : {"/tmp/x/File.TXT", "relative/Dir\\name", ""}) {
        ASSERT_TRUE(ToHostPath(path, &host));
        EXPECT_EQ(host, path);
    }
    EXPECT_FALSE(ToHostPath("D:\\x", &host));
    EXPECT_EQ(_lopen("D:\\x", OF_READ), HFILE_ERROR);
    EXPECT_EQ(_lcreat("D:\\x", 0), HFILE_ERROR);
}

TEST_F(Paths, RootWithTrailingSlashStillHoldsDotDot) {
    MapDrive('E', root() + "//");
    std::string host;
    ASSERT_TRUE(ToHostPath("E:\\a\\..\\..\\b", &host));
    EXPECT_EQ(host, root() + "/b");
}

TEST_F(Paths, NothingOutsideTheDriveCanBeOpened) {
    Put(dir() + "/outside.txt", "secret");
    EXPECT_EQ(_lopen("C:\\..\\outside.txt", OF_READ), HFILE_ERROR);
    EXPECT_EQ(StreamOpen("C:\\..\\outside.txt", "rb"), nullptr);
    HFILE h = _lcreat("C:\\..\\outside.txt", 0);  // lands inside the drive instead
    ASSERT_NE(h, HFILE_ERROR);
    _lclose(h);
    EXPECT_EQ(Get(dir() + "/outside.txt"), "secret");
    EXPECT_TRUE(Exists(root() + "/outside.txt"));
}

TEST_F(Paths, FoldersAreNoFiles) {
    std::filesystem::create_directories(root() + "/Dir");
    EXPECT_EQ(_lopen("C:\\DIR", OF_READ), HFILE_ERROR);
    EXPECT_EQ(StreamOpen("C:\\DIR", "rb"), nullptr);
    EXPECT_EQ(GetFileAttributesA("C:\\dir"), (DWORD)FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_TRUE(CreateDirectoryA("C:\\Dir\\New", nullptr));
    EXPECT_FALSE(CreateDirectoryA("C:\\DIR\\NEW", nullptr));  // exists already
    EXPECT_FALSE(CreateDirectoryA("C:\\Missing\\New", nullptr));
}

class Faults_ : public Scratch {};

// The same fault switches, whichever way the program writes.
struct Writer {
    const char* name;
    bool (*create)(const char* path);  // false when creation failed
    unsigned (*write)(const char* bytes, unsigned count);
    void (*close)();
};
static HFILE gHandle = HFILE_ERROR;
static FILE* gStream = nullptr;
static const Writer kWriters[] = {
    {"_lcreat/_lwrite", [](const char* p) { return (gHandle = _lcreat(p, 0)) != HFILE_ERROR; },
     [](const char* b, unsigned n) { return (unsigned)_lwrite(gHandle, b, n); }, [] { _lclose(gHandle); }},
    {"StreamOpen/StreamWrite", [](const char* p) { return (gStream = StreamOpen(p, "wb")) != nullptr; },
     [](const char* b, unsigned n) { return (unsigned)StreamWrite(b, 1, n, gStream); }, [] { StreamClose(gStream); }},
};

TEST_F(Faults_, NthCreateFailsWhicheverCallCreates) {
    for (const Writer& w : kWriters) {
        SCOPED_TRACE(w.name);
        Reset();
        MapDrive('C', root());
        FaultSwitches().failCreate = 2;
        ASSERT_TRUE(w.create("C:\\one.bin"));
        w.close();
        EXPECT_FALSE(w.create("C:\\two.bin"));
        EXPECT_FALSE(Exists(root() + "/two.bin"));
        ASSERT_TRUE(w.create("C:\\three.bin"));
        w.close();
        EXPECT_EQ(Count().creates, 3);
        EXPECT_EQ(Count().openHandles, 0);
        EXPECT_EQ(Count().openStreams, 0);
    }
}

TEST_F(Faults_, NthWriteStoresOneByteLess) {
    for (const Writer& w : kWriters) {
        SCOPED_TRACE(w.name);
        Reset();
        MapDrive('C', root());
        FaultSwitches().shortWrite = 2;
        ASSERT_TRUE(w.create("C:\\out.bin"));
        EXPECT_EQ(w.write("0123456789", 10), 10u);
        EXPECT_EQ(w.write("abcdefghij", 10), 9u);
        EXPECT_EQ(w.write("ABCDEFGHIJ", 10), 10u);
        w.close();
        EXPECT_EQ(Get(root() + "/out.bin"), "0123456789abcdefghiABCDEFGHIJ");
        EXPECT_EQ(Count().writes, 3);
    }
}

TEST_F(Faults_, ShortFwriteCountsWholeItems) {
    FaultSwitches().shortWrite = 1;
    FILE* f = StreamOpen("C:\\items.bin", "wb");
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(StreamWrite("abcdefghijkl", 4, 3, f), 2u);  // 11 bytes stored
    StreamClose(f);
    EXPECT_EQ(Get(root() + "/items.bin").size(), 11u);
}

// Host paths go through the same switches: the host tools' own files are
// tested with them.
TEST_F(Faults_, HostPathsCountToo) {
    FaultSwitches().failCreate = 1;
    std::string path = dir() + "/host.bin";
    EXPECT_EQ(StreamOpen(path.c_str(), "wb"), nullptr);
    EXPECT_EQ(errno, EACCES);
    FILE* f = StreamOpen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(Count().openStreams, 1);
    EXPECT_EQ(StreamWrite("abc", 1, 3, f), 3u);
    StreamClose(f);
    EXPECT_EQ(Get(path), "abc");
    EXPECT_EQ(Count().creates, 2);
    EXPECT_EQ(Count().writes, 1);
    EXPECT_TRUE(EventsOf({"fopen"}).empty());  // only Windows paths are recorded
}

// The switches for reading and for a full disk, on both kinds of call: the
// call fails as the system's would, with its errno, and later calls work
// (a full disk stays full).
TEST_F(Faults_, OpenReadAndDiskFull) {
    Put(root() + "/in.bin", "0123456789");
    struct Io {
        const char* name;
        bool (*open)(const char* path);
        bool (*read)();  // true when the read delivered bytes
        void (*close)();
    };
    static HFILE handle;
    static FILE* stream;
    static char buffer[4];
    const Io kinds[] = {
        {"_lopen/_lread", [](const char* p) { return (handle = _lopen(p, OF_READ)) != HFILE_ERROR; },
         [] {
             UINT n = _lread(handle, buffer, 4);
             return n != 0 && n != (UINT)HFILE_ERROR;
         },
         [] { _lclose(handle); }},
        {"StreamOpen/StreamRead", [](const char* p) { return (stream = StreamOpen(p, "rb")) != nullptr; },
         [] { return StreamRead(buffer, 1, 4, stream) != 0; }, [] { StreamClose(stream); }},
    };
    for (const Io& io : kinds) {
        SCOPED_TRACE(io.name);
        Reset();
        MapDrive('C', root());
        FaultSwitches().failOpen = 2;
        FaultSwitches().failRead = 2;
        ASSERT_TRUE(io.open("C:\\in.bin"));
        io.close();
        errno = 0;
        EXPECT_FALSE(io.open("C:\\in.bin"));
        EXPECT_EQ(errno, EACCES);
        ASSERT_TRUE(io.open("C:\\in.bin"));
        EXPECT_TRUE(io.read());
        errno = 0;
        EXPECT_FALSE(io.read());
        EXPECT_EQ(errno, EIO);
        EXPECT_TRUE(io.read());
        io.close();
    }
    for (const Writer& w : kWriters) {
        SCOPED_TRACE(w.name);
        Reset();
        MapDrive('C', root());
        FaultSwitches().diskFull = 2;
        ASSERT_TRUE(w.create("C:\\out.bin"));
        EXPECT_EQ(w.write("0123", 4), 4u);
        errno = 0;
        unsigned stored = w.write("4567", 4);
        EXPECT_TRUE(stored == 0 || stored == (unsigned)HFILE_ERROR) << stored;  // nothing stored
        EXPECT_EQ(errno, ENOSPC);
        w.close();
        EXPECT_EQ(Get(root() + "/out.bin"), "0123");
    }
}

TEST_F(Faults_, StreamsOnWindowsPathsAreMappedCountedAndRecorded) {
    Put(root() + "/Win/Setup.EXE", "MZ");
    FILE* in = StreamOpen("C:\\WIN\\SETUP.exe", "rb");
    ASSERT_NE(in, nullptr);
    FILE* out = StreamOpen("C:\\win\\new.dat", "wb");
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(Count().openStreams, 2);
    char two[2];
    EXPECT_EQ(StreamRead(two, 1, 2, in), 2u);
    StreamClose(in);
    StreamClose(out);
    EXPECT_EQ(Count().openStreams, 0);
    EXPECT_EQ(Count().creates, 1);  // reading creates nothing
    EXPECT_TRUE(Exists(root() + "/Win/new.dat"));
    EXPECT_EQ(EventsOf({"fopen"}), std::vector<std::string>{"fopen C:\\win\\new.dat wb"});
    EXPECT_EQ(StreamOpen("Q:\\x", "rb"), nullptr);
}

TEST_F(Faults_, HandlesTheLayerDidNotGiveAreRefused) {
    EXPECT_EQ(_lclose(1), HFILE_ERROR);  // the test program's stdout
    EXPECT_NE(fcntl(1, F_GETFD), -1);
    EXPECT_EQ(_lwrite(2, "x", 1), (UINT)HFILE_ERROR);
    EXPECT_EQ(_lread(HFILE_ERROR, nullptr, 4), (UINT)HFILE_ERROR);
    EXPECT_EQ(Record().misuse.size(), 3u);
    HFILE h = _lcreat("C:\\f", 0);
    ASSERT_NE(h, HFILE_ERROR);
    EXPECT_EQ(_lclose(h), 0);
    EXPECT_EQ(_lclose(h), HFILE_ERROR);  // closed twice
    EXPECT_EQ(Record().misuse.size(), 4u);
}

TEST_F(Faults_, ResetClosesLeakedHandles) {
    Put(root() + "/f", "x");
    HFILE h = _lopen("C:\\F", OF_READ);
    ASSERT_NE(h, HFILE_ERROR);
    EXPECT_EQ(Count().openHandles, 1);
    Reset();
    EXPECT_EQ(fcntl(h, F_GETFD), -1);
    EXPECT_EQ(Count().openHandles, 0);
}

TEST_F(Faults_, HandleCallsReadSeekAndWrite) {
    HFILE h = _lcreat("C:\\rw.bin", 0);
    ASSERT_NE(h, HFILE_ERROR);
    EXPECT_EQ(_lwrite(h, "hello world", 11), 11u);
    EXPECT_EQ(_llseek(h, 6, FILE_BEGIN), 6);
    char buf[16] = {};
    EXPECT_EQ(_lread(h, buf, sizeof buf), 5u);  // short at the end of the file
    EXPECT_STREQ(buf, "world");
    EXPECT_EQ(_llseek(h, -5, FILE_END), 6);
    EXPECT_EQ(_llseek(h, -7, FILE_BEGIN), HFILE_ERROR);
    EXPECT_EQ(_lclose(h), 0);
    EXPECT_EQ(Count().openHandles, 0);
    EXPECT_EQ(EventsOf({"_lcreat"}), std::vector<std::string>{"_lcreat C:\\rw.bin"});
}

TEST_F(Faults_, ModuleNameAndWindowsDirectory) {
    char buf[8];
    EXPECT_EQ(GetModuleFileNameA(nullptr, buf, sizeof buf), 0u);  // not set: fails
    EXPECT_EQ(GetWindowsDirectoryA(buf, sizeof buf), 0u);
    SetModuleFileName("C:\\a\\setup.exe");
    EXPECT_EQ(GetModuleFileNameA(nullptr, buf, sizeof buf), 8u);  // cut, ended, size returned
    EXPECT_STREQ(buf, "C:\\a\\se");
    SetWindowsDirectory("C:\\WINDOWS");
    EXPECT_EQ(GetWindowsDirectoryA(buf, sizeof buf), 11u);  // too small: size needed
    char big[MAX_PATH];
    EXPECT_EQ(GetWindowsDirectoryA(big, sizeof big), 10u);
    EXPECT_STREQ(big, "C:\\WINDOWS");
}
