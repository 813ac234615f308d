// scrpack's promises beyond the happy path, each on the fault it guards
// against: the rules of an output path, several installers in one call, the
// JSON listing, decompression bombs and cut streams, --salvage, interrupts,
// a full disk, and names that would clash or that Windows refuses.
#include "tests/scrpack/scrpack_fixture.h"

#include "package/records.h"
#include "platform/hostwin/hostwin.h"
#include "decode/decode.h"
#include "tools/authoring/codepage.h"
#include "tools/authoring/package_writer.h"
#include "tools/authoring/encoder.h"
#include "tools/authoring/numbers.h"
#include "tools/scrpack/scrpack.h"

#include <csignal>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/sysmacros.h>
#include <thread>
#include <unistd.h>

namespace {

using namespace scrpacktest;
namespace fs = std::filesystem;

class Rules : public Scrpack {
protected:
    // A sound installer of the usual inputs, written to `name`.
    std::vector<uint8_t> Good(const std::string& name) {
        PutInputs();
        EXPECT_EQ(PackStandard(name).exit, 0);
        return Get(name);
    }
    // Offset of catalogue entry `index` in an installer of the synthetic stub.
    static uint32_t EntryAt(int index) { return pe::Build().layout.packagePos + CAT_HEADER_SIZE + ENTRY_SIZE * index; }
    // scrpack::Main in this process, on the test layer: its exit code, and
    // its standard error in *err.
    static int InProcess(std::vector<std::string> args, std::string* err) {
        args.insert(args.begin(), "scrpack");
        std::vector<char*> argv;
        for (std::string& a : args) argv.push_back(&a[0]);
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        int code = scrpack::Main((int)argv.size(), argv.data());
        testing::internal::GetCapturedStdout();
        *err = testing::internal::GetCapturedStderr();
        return code;
    }
    // The files below `folder`, none of them temporary.
    void ExpectNoTemporaries(const std::string& folder) {
        for (const std::string& f : Tree(folder)) EXPECT_EQ(f.find(".scrpack-"), std::string::npos) << f;
    }
};

// An installer of the synthetic stub whose `count` entries all share one
// compressed stream, each declaring `original` bytes: what no writer makes.
std::vector<uint8_t> SharedStream(uint32_t count, const std::vector<uint8_t>& stream, uint32_t original) {
    auto stub = pe::Build();
    std::vector<uint8_t> bytes(stub.bytes.begin(), stub.bytes.begin() + stub.layout.packagePos);
    std::vector<uint8_t> catalogue(CAT_HEADER_SIZE + ENTRY_SIZE * (count + 1), 0);
    catalogue[CAT_TITLE] = 'T';
    StoreU16(&catalogue[CAT_FIRST_NUMBER], 1);
    CatalogueEntry e = {uint32_t(bytes.size() + catalogue.size()), uint32_t(stream.size()), original, ".bin"};
    for (uint32_t i = 0; i < count; i++) FormatEntry(&e, &catalogue[CAT_HEADER_SIZE + ENTRY_SIZE * i]);
    bytes.insert(bytes.end(), catalogue.begin(), catalogue.end());
    bytes.insert(bytes.end(), stream.begin(), stream.end());
    return bytes;
}

std::vector<uint8_t> Encoded(const std::vector<uint8_t>& data) {
    return authoring::EncodeStream(data.data(), data.size());
}

uint64_t FolderBytes(const std::string& folder) {
    uint64_t total = 0;
    for (const auto& e : fs::recursive_directory_iterator(folder))
        if (e.is_regular_file()) total += e.file_size();
    return total;
}

// Bombs that fit every old check: entries that share one stream (sound
// each, far more together), a stream that declares far more than it can
// give, and a catalogue whose terminator is overwritten, so that the walk
// runs on into the data. verify calls them damaged before reading a stream;
// --salvage writes no more than the stored bytes can give, and refuses
// what does not fit the destination's file system.
TEST_F(Rules, OverlapSalvageAndRunawayBombs) {
    std::vector<uint8_t> good = Good("good.exe");
    std::vector<uint8_t> text = TextBytes(40000, 7);
    std::vector<uint8_t> declared = good;  // entry 0: 200 stored bytes, 4,000,000,000 declared
    StoreU32(declared.data() + EntryAt(0) + ENTRY_STORED_SIZE, 200);
    StoreU32(declared.data() + EntryAt(0) + ENTRY_ORIGINAL_SIZE, 4000000000u);
    std::vector<uint8_t> shared = good, onCatalogue = good;  // entry 3 inside entry 2, inside the catalogue
    std::copy_n(good.begin() + EntryAt(2) + ENTRY_FILE_OFFSET, 4, shared.begin() + EntryAt(3) + ENTRY_FILE_OFFSET);
    StoreU32(onCatalogue.data() + EntryAt(3) + ENTRY_FILE_OFFSET, EntryAt(1));
    std::vector<uint8_t> runaway = good;
    std::fill(runaway.begin() + EntryAt(4), runaway.begin() + EntryAt(5), 0x5A);
    struct Case {
        const char* what;
        std::vector<uint8_t> bytes;
        std::string verifyMention;
        std::vector<std::string> salvaged;  // files --salvage writes whole, below win/
        std::string salvageMention;
    } cases[] = {
        {"1001 entries share a stream",
         SharedStream(1001, Encoded(text), uint32_t(text.size())),
         "the entries' stored bytes add up to",
         {},
         "add up to"},
        {"two entries share bytes",
         shared,
         "entry 3's stored bytes overlap those of entry 2",
         {"BOMB.SCR", "TORVANEL/KAVRELIN/bomb/bomb.DAT", "TORVANEL/KAVRELIN/bomb/FILE0013.txt"},
         "overlap"},
        {"an entry in the catalogue",
         onCatalogue,
         "entry 3's stored bytes overlap those of the catalogue",
         {"BOMB.SCR", "TORVANEL/KAVRELIN/bomb/bomb.DAT", "TORVANEL/KAVRELIN/bomb/FILE0013.txt"},
         "overlap"},
        {"a size no stored bytes can give",
         declared,
         "declares 4,000,000,000 bytes",
         {"TORVANEL/KAVRELIN/bomb/bomb.DAT", "TORVANEL/KAVRELIN/bomb/FILE0013.txt"},
         "its first 4,800 bytes written, what its stored bytes can give"},
        {"a runaway catalogue",
         runaway,
         "the catalogue is cut short",
         {"BOMB.SCR", "TORVANEL/KAVRELIN/bomb/bomb.DAT", "TORVANEL/KAVRELIN/bomb/FILE0013.txt",
          "TORVANEL/KAVRELIN/bomb/FILE0014.b"},
         "do not lie inside the file"},
    };
    const std::map<std::string, std::string> inputs = {{"BOMB.SCR", "sunset.scr"},
                                                       {"TORVANEL/KAVRELIN/bomb/bomb.DAT", "scene.dat"},
                                                       {"TORVANEL/KAVRELIN/bomb/FILE0013.txt", "notes.txt"},
                                                       {"TORVANEL/KAVRELIN/bomb/FILE0014.b", "a.b"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Put("bomb.exe", c.bytes);
        Outcome v = Run({"verify", Path("bomb.exe")});
        EXPECT_EQ(v.exit, 2);
        EXPECT_NE(v.err.find(c.verifyMention), std::string::npos) << v.err;
        Outcome x = Run({"extract", "-d", Path("win"), Path("bomb.exe")});
        EXPECT_EQ(x.exit, 2) << x.err;
        EXPECT_FALSE(fs::exists(Path("win")));

        x = Run({"extract", "--salvage", "-d", Path("win"), Path("bomb.exe")});
        EXPECT_EQ(x.exit, 2) << x.err;
        EXPECT_NE(x.err.find(c.salvageMention), std::string::npos) << x.err;
        for (const std::string& f : c.salvaged) EXPECT_EQ(Get("win/" + f), Get(inputs.at(f))) << f;
        EXPECT_LE(FolderBytes(Path("win")), uint64_t(MaxExpandedSize(uint32_t(c.bytes.size()))) * 1001);
        fs::remove_all(Path("win"));
    }

    // Ten thousand entries sharing a megabyte, each cut to what it can give:
    // more than the disk holds, found before anything is written.
    const uint32_t count = 10000, stored = 1 << 20;
    struct statvfs disk;
    ASSERT_EQ(statvfs(Path("").c_str(), &disk), 0);
    uint64_t free = uint64_t(disk.f_bavail) * disk.f_frsize, total = uint64_t(count) * MaxExpandedSize(stored);
    if (free >= total) GTEST_SKIP() << "the file system has more than " << total << " bytes free";
    Put("bomb.exe", SharedStream(count, std::vector<uint8_t>(stored, 0), 4000000000u));
    Outcome x = Run({"extract", "--salvage", "-d", Path("win/new"), Path("bomb.exe")});
    EXPECT_EQ(x.exit, 1);
    EXPECT_NE(x.err.find("the files to extract take " + authoring::Grouped(total) + " bytes, but the file system of " +
                         fs::path(Path("")).parent_path().string() + " has"),
              std::string::npos)
        << x.err;
    EXPECT_FALSE(fs::exists(Path("win")));
}

// A read that fails, wherever it comes, is an I/O error: exit 1 naming the
// file and the reason; never a verdict on the installer, never files written.
TEST_F(Rules, EveryFailedReadIsAnIoError) {
    Good("good.exe");
    const std::vector<std::vector<std::string>> actions = {
        {"verify", Path("good.exe")},
        {"list", Path("good.exe")},
        {"extract", "-d", Path("win"), Path("good.exe")},
    };
    for (const std::vector<std::string>& action : actions) {
        hostwin::Reset();
        std::string err;
        ASSERT_EQ(InProcess(action, &err), 0) << err;
        int reads = hostwin::Count().reads;
        fs::remove_all(Path("win"));
        for (int n = 1; n <= reads; n++) {
            SCOPED_TRACE(action[0] + ", read " + std::to_string(n) + " of " + std::to_string(reads));
            hostwin::Reset();
            hostwin::FaultSwitches().failRead = n;
            EXPECT_EQ(InProcess(action, &err), 1) << err;
            EXPECT_NE(err.find(Path("good.exe") + ": cannot read"), std::string::npos) << err;
            EXPECT_NE(err.find("Input/output error"), std::string::npos) << err;
            EXPECT_FALSE(fs::exists(Path("win")));
        }
    }
    hostwin::Reset();
}

// Results that cannot be written make the action fail, whatever it is.
TEST_F(Rules, StandardOutputThatCannotBeWritten) {
    if (geteuid() != 0) GTEST_SKIP() << "a private full device needs root (mknod)";
    ASSERT_EQ(mknod(Path("full").c_str(), S_IFCHR | 0600, makedev(1, 7)), 0);
    Good("good.exe");
    const std::vector<std::vector<std::string>> cases = {
        {"list", Path("good.exe")},
        {"list", "--json", Path("good.exe")},
        {"verify", Path("good.exe")},
        {"--help"},
        {"help", "extract"},
        {"--version"},
        {"extract", "-d", Path("win"), Path("good.exe")},
    };
    for (const std::vector<std::string>& args : cases) {
        SCOPED_TRACE(args[0]);
        std::string command = Quote(SCRPACK_PATH);
        for (const std::string& a : args) command += " " + Quote(a);
        command += " >" + Quote(Path("full")) + " 2>" + Quote(Path(".err"));
        int status = std::system(command.c_str());
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << status;
        EXPECT_EQ(Slurp(Path(".err")), "scrpack: standard output: No space left on device\n");
    }
}

// verify applies the naming rules to the installer's own file name as
// extract does: the same message, the same class (rename it, exit 1).
TEST_F(Rules, InstallersOwnName) {
    std::vector<uint8_t> good = Good("good.exe");
    for (const std::string& name :
         {std::string(".exe"), std::string("..exe"), std::string("...exe"), std::string(236, 'n') + ".exe"}) {
        SCOPED_TRACE(name);
        Put(name, good);
        Outcome v = Run({"verify", Path(name)});
        EXPECT_EQ(v.exit, 1);
        EXPECT_EQ(v.out.rfind(Path(name) + ": RENAME IT: ", 0), 0u) << v.out;
        Outcome x = Run({"extract", "-d", Path("win"), Path(name)});
        EXPECT_EQ(x.exit, 1);
        ASSERT_FALSE(v.err.empty());
        EXPECT_EQ(x.err, v.err.substr(0, v.err.size() - 1) + "; nothing extracted\n");
        EXPECT_FALSE(fs::exists(Path("win")));
        fs::remove(Path(name));
    }
}

// Stored bytes that the decoder never reads: one byte of padding passes,
// two do not, and neither does an original size cut short.
TEST_F(Rules, UnreadStoredBytes) {
    std::vector<uint8_t> text = TextBytes(20000, 5), stream = Encoded(text);
    struct Case {
        size_t padding;
        uint32_t original;
        int exit;
    } cases[] = {
        {0, uint32_t(text.size()), 0},
        {1, uint32_t(text.size()), 0},
        {2, uint32_t(text.size()), 2},
        {0, 1, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.padding) + " padding, " + std::to_string(c.original));
        std::vector<uint8_t> padded = stream;
        padded.insert(padded.end(), c.padding, 0);
        Put("one.exe", SharedStream(1, padded, c.original));
        Outcome v = Run({"verify", Path("one.exe")});
        EXPECT_EQ(v.exit, c.exit) << v.err;
        if (c.exit) {
            EXPECT_NE(v.err.find("are never read"), std::string::npos) << v.err;
        }
    }
}

// Drive-like names are file names on Linux, nothing more.
TEST_F(Rules, DriveLikeFileNames) {
    Good("D:demo.exe");
    Outcome v = Run({"verify", Path("D:demo.exe")});
    EXPECT_EQ(v.exit, 0) << v.err;
    ASSERT_EQ(Run({"compress", Path("notes.txt"), Path("C:x.lz")}).exit, 0);
    Outcome e = Run({"expand", "--size", "9000", Path("C:x.lz"), Path("back.txt")});
    EXPECT_EQ(e.exit, 0) << e.err;
    EXPECT_EQ(Get("back.txt"), Get("notes.txt"));
}

// Every rule of an output path, for each action that writes one.
TEST_F(Rules, OutputPaths) {
    Good("reference.exe");
    ASSERT_EQ(Run({"compress", Path("notes.txt"), Path("stream.lz")}).exit, 0);
    struct Action {
        const char* name;
        std::string input;  // the file the action reads (refused as OUT)
        std::vector<std::string> (*args)(const std::string& in, const std::string& out);
        std::vector<uint8_t> expected;
    };
    const std::string stub = Path("stub.exe");
    static std::string s_stub;
    s_stub = stub;
    const Action actions[] = {
        {"compress", Path("notes.txt"),
         [](const std::string& in, const std::string& out) {
             return std::vector<std::string>{"compress", in, out};
         },
         Get("stream.lz")},
        {"expand", Path("stream.lz"),
         [](const std::string& in, const std::string& out) {
             return std::vector<std::string>{"expand", "--size", "9000", in, out};
         },
         Get("notes.txt")},
        {"pack",
         Path("a.b"),
         [](const std::string& in, const std::string& out) {
             return std::vector<std::string>{"pack", "--stub", s_stub, "--title", "T", "-o", out, in, in};
         },
         {}},
    };
    bool root = geteuid() == 0;
    for (const Action& a : actions) {
        SCOPED_TRACE(a.name);
        std::vector<uint8_t> expected = a.expected;
        if (expected.empty()) {  // pack: what it writes to a new file
            ASSERT_EQ(Run(a.args(a.input, Path("new.exe"))).exit, 0);
            expected = Get("new.exe");
        }
        auto run = [&](const std::string& out, bool force) {
            std::vector<std::string> args = a.args(a.input, out);
            if (force) args.insert(args.begin() + 1, "-f");
            return Run(args);
        };
        std::vector<uint8_t> keep = {'k', 'e', 'e', 'p'};

        Put("old", keep);  // an existing file: replaced only with -f
        Outcome o = run(Path("old"), false);
        EXPECT_EQ(o.exit, 1);
        EXPECT_NE(o.err.find("exists"), std::string::npos) << o.err;
        EXPECT_EQ(Get("old"), keep);
        EXPECT_EQ(run(Path("old"), true).exit, 0);
        EXPECT_EQ(Get("old"), expected);

        std::vector<uint8_t> input = Get(fs::path(a.input).filename().string());  // never its own output
        o = run(a.input, true);
        EXPECT_EQ(o.exit, 1);
        EXPECT_NE(o.err.find("is also an input"), std::string::npos) << o.err;
        EXPECT_EQ(Get(fs::path(a.input).filename().string()), input);

        Put("target", keep);  // a symbolic link: replaced as a link with -f, its target untouched
        fs::remove(Path("link"));
        fs::create_symlink(Path("target"), Path("link"));
        EXPECT_EQ(run(Path("link"), false).exit, 1);
        EXPECT_TRUE(fs::is_symlink(Path("link")));
        EXPECT_EQ(run(Path("link"), true).exit, 0);
        EXPECT_FALSE(fs::is_symlink(Path("link")));
        EXPECT_EQ(Get("link"), expected);
        EXPECT_EQ(Get("target"), keep);

        fs::remove(Path("fifo"));  // a FIFO: written in place, still a FIFO
        ASSERT_EQ(mkfifo(Path("fifo").c_str(), 0600), 0);
        std::vector<uint8_t> fromFifo;
        std::thread reader([&] {
            std::ifstream in(Path("fifo"), std::ios::binary);
            fromFifo.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        });
        o = run(Path("fifo"), false);
        int unblock = open(Path("fifo").c_str(), O_WRONLY | O_NONBLOCK);  // in case scrpack never opened it
        if (unblock >= 0) close(unblock);
        reader.join();
        EXPECT_EQ(o.exit, 0) << o.err;
        EXPECT_EQ(fromFifo, expected);
        EXPECT_EQ(fs::status(Path("fifo")).type(), fs::file_type::fifo);

        if (root) {  // a device node of our own (a null device): written to, still a device
            fs::remove(Path("null"));
            ASSERT_EQ(mknod(Path("null").c_str(), S_IFCHR | 0600, makedev(1, 3)), 0);
            EXPECT_EQ(run(Path("null"), false).exit, 0);
            EXPECT_EQ(fs::status(Path("null")).type(), fs::file_type::character);
        }

        o = run("-", true);  // standard output: the very bytes, the summary elsewhere
        EXPECT_EQ(o.exit, 0) << o.err;
        EXPECT_EQ(std::vector<uint8_t>(o.out.begin(), o.out.end()), expected);
        ExpectNoTemporaries(Path(""));
    }
    // Standard input as IN.
    Outcome c = Run({"compress", "-", "-"}, Path("notes.txt"));
    EXPECT_EQ(std::vector<uint8_t>(c.out.begin(), c.out.end()), Get("stream.lz"));
    Outcome e = Run({"expand", "--size", "9000", "-", Path("from-stdin")}, Path("stream.lz"));
    EXPECT_EQ(e.exit, 0) << e.err;
    EXPECT_EQ(Get("from-stdin"), Get("notes.txt"));
    if (!root) GTEST_SKIP() << "the device-node rows need root (mknod)";
}

// Several installers in one call: a report each, the worst verdict as exit code.
TEST_F(Rules, SeveralInstallersMixedVerdicts) {
    Good("good.exe");
    Put("good2.exe", Get("good.exe"));
    Put("text.exe", {'n', 'o', 't', ' ', 'a', 'n', ' ', 'e', 'x', 'e'});
    std::vector<uint8_t> bad = Get("good.exe");
    bad[EntryAt(3) + ENTRY_EXTENSION + 1] = '?';  // an extension Windows refuses in a name
    Put("bad.exe", bad);
    struct Case {
        std::vector<std::string> files;
        int exit;
    } cases[] = {
        {{"good.exe", "good2.exe"}, 0},
        {{"good.exe", "missing.exe"}, 1},
        {{"missing.exe", "text.exe", "good.exe"}, 2},
        {{"bad.exe", "good.exe"}, 2},
    };
    for (const Case& c : cases) {
        for (const char* action : {"list", "verify", "extract"}) {
            std::vector<std::string> args = {action};
            if (std::string(action) == "extract") args = {"extract", "-f", "-d", Path("win")};
            for (const std::string& f : c.files) args.push_back(Path(f));
            Outcome o = Run(args);
            SCOPED_TRACE(std::string(action) + " " + c.files[0] + " " + c.files[1]);
            EXPECT_EQ(o.exit, c.exit) << o.err;
            for (const std::string& f : c.files) {
                bool sound = f.rfind("good", 0) == 0;
                std::string report =
                    sound ? (std::string(action) == "verify" ? Path(f) + ": OK" : Path(f)) : "scrpack: " + Path(f);
                EXPECT_NE((sound ? o.out : o.err).find(report), std::string::npos) << f << "\n" << o.out << o.err;
            }
        }
    }
    Outcome o = Run({"verify", Path("text.exe"), Path("bad.exe")});
    EXPECT_NE(o.err.find("scrpack: " + Path("text.exe") + ": not a Windows executable\n"), std::string::npos)
        << "one line, no position read from a text file: " << o.err;
    EXPECT_NE(o.err.find("\".?\" holds a character Windows refuses"), std::string::npos) << o.err;
}

// The JSON listing parses back whatever bytes the installer holds, and the
// text listing never sends a control character to the terminal.
TEST_F(Rules, ListJsonParsesBackAndTextIsEscaped) {
    std::vector<uint8_t> bytes = Good("odd.exe");
    const std::string title = "A\x1B[31mB\x07\x81\"\\ \xE9";
    uint32_t p = pe::Build().layout.packagePos;
    std::fill(bytes.begin() + p, bytes.begin() + p + CAT_TITLE_SIZE, 0);
    std::copy(title.begin(), title.end(), bytes.begin() + p);
    bytes[EntryAt(3) + ENTRY_EXTENSION + 1] = 0x9D;
    Put("odd.exe", bytes);
    Put("text.exe", {'t', 'e', 'x', 't'});

    Outcome o = Run({"list", "--json", Path("odd.exe"), Path("text.exe"), Path("missing.exe")});
    EXPECT_EQ(o.exit, 2);
    std::ofstream(Path("list.json"), std::ios::binary) << o.out;
    std::string script =
        "import json,sys\n"
        "d=json.load(open(sys.argv[1],encoding='utf-8'))\n"
        "out=open(sys.argv[2],'w',encoding='utf-8')\n"
        "print(len(d),file=out); print(repr(d[0]['title']),file=out)\n"
        "print(d[0]['first_number'], d[0]['total_size'],file=out)\n"
        "print(' '.join(e['role']+':'+e['path']+':'+str(e['compressed']) for e in d[0]['entries']),file=out)\n"
        "print('error' in d[0], sorted(d[1].keys()), sorted(d[2].keys()),file=out)\n";
    std::ofstream(Path("check.py")) << script;
    std::string command = "python3 " + Quote(Path("check.py")) + " " + Quote(Path("list.json")) + " " +
                          Quote(Path("parsed.txt")) + " 2>" + Quote(Path("python.err"));
    ASSERT_EQ(std::system(command.c_str()), 0) << Slurp(Path("python.err")) << o.out;
    std::string expectedTitle = "'A\\x1b[31mB\\x07\\x81\"\\\\ \xC3\xA9'\n";
    EXPECT_EQ(Slurp(Path("parsed.txt")),
              "3\n" + expectedTitle +
                  "13 44001\n"
                  "saver:ODD.SCR:True data:TORVANEL/KAVRELIN/odd/odd.DAT:False "
                  "extra:TORVANEL/KAVRELIN/odd/FILE0013.txt:True extra:TORVANEL/KAVRELIN/odd/FILE0014.\xC2\x9D:False\n"
                  "False ['error', 'file'] ['error', 'file']\n");

    o = Run({"list", Path("odd.exe")});
    EXPECT_EQ(o.exit, 0) << o.err;
    EXPECT_EQ(o.out.find_first_of(std::string("\x1B\x07", 2)), std::string::npos) << o.out;
    EXPECT_NE(o.out.find("\"A\\x1B[31mB\\x07\\x81\\\"\\\\ \xC3\xA9\""), std::string::npos) << o.out;
    EXPECT_NE(o.out.find("FILE0014.\\x9D"), std::string::npos) << o.out;
}

// A stream that declares far more than its stored bytes can give ends at
// once and nothing is written; one cut within the bound is found as cut.
TEST_F(Rules, BombsAndCutStreams) {
    std::vector<uint8_t> good = Good("good.exe");
    struct Case {
        const char* what;
        uint32_t stored, original;  // for entry 0, the compressed saver
        std::string mention;
    } cases[] = {
        {"a bomb", 200, 4000000000u, "declares 4,000,000,000 bytes, more than its 200 stored bytes can give"},
        {"cut within the bound", 200, 4000, "is cut short: it needs more than its 200 stored bytes"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<uint8_t> bytes = good;
        StoreU32(bytes.data() + EntryAt(0) + ENTRY_STORED_SIZE, c.stored);
        StoreU32(bytes.data() + EntryAt(0) + ENTRY_ORIGINAL_SIZE, c.original);
        Put("bomb.exe", bytes);
        Outcome v = Run({"verify", Path("bomb.exe")});
        EXPECT_EQ(v.exit, 2);
        EXPECT_NE(v.err.find(c.mention), std::string::npos) << v.err;
        Outcome x = Run({"extract", "-d", Path("out"), Path("bomb.exe")});
        EXPECT_EQ(x.exit, 2);
        EXPECT_NE(x.err.find(c.mention), std::string::npos) << x.err;
        EXPECT_FALSE(fs::exists(Path("out"))) << "not even the folder is made";
    }
}

// A download cut inside its last file: nothing without --salvage; with it,
// every entry whose stored bytes lie inside the file, and a warning naming
// each of the others, left out.
TEST_F(Rules, SalvageWritesWhatCanBeHad) {
    std::vector<uint8_t> good = Good("cut.exe");
    uint32_t notes = LoadU32(good.data() + EntryAt(2) + ENTRY_FILE_OFFSET);
    uint32_t notesStored = LoadU32(good.data() + EntryAt(2) + ENTRY_STORED_SIZE);
    Put("cut.exe", std::vector<uint8_t>(good.begin(), good.begin() + notes + notesStored / 2));

    Outcome x = Run({"extract", "-d", Path("win"), Path("cut.exe")});
    EXPECT_EQ(x.exit, 2);
    EXPECT_FALSE(fs::exists(Path("win")));

    x = Run({"extract", "--salvage", "-d", Path("win"), Path("cut.exe")});
    EXPECT_EQ(x.exit, 2);
    for (const char* left : {": entry 2: ", ": entry 3: "})
        EXPECT_NE(x.err.find("warning: " + Path("cut.exe") + left), std::string::npos) << x.err;
    std::string data = "win/TORVANEL/KAVRELIN/cut/";
    EXPECT_EQ(Get("win/CUT.SCR"), Get("sunset.scr"));
    EXPECT_EQ(Get(data + "cut.DAT"), Get("scene.dat"));
    EXPECT_EQ(Tree(Path("win")).size(), 2u) << "the cut entry and the one past the cut are left out";
}

// An interrupt during an extraction removes its temporary files and the
// folders it made, and the process ends with 128 + the signal.
TEST_F(Rules, InterruptLeavesNothingBehind) {
    // --salvage of entries that share one stream writes a gigabyte: time to interrupt.
    std::vector<uint8_t> zeros(4 << 20, 0);
    Put("slow.exe", SharedStream(250, Encoded(zeros), uint32_t(zeros.size())));
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) {
        SCOPED_TRACE(sig);
        std::string out = Path("win-" + std::to_string(sig));
        pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            for (int s : {SIGINT, SIGTERM, SIGHUP}) signal(s, SIG_DFL);
            int devnull = open("/dev/null", O_WRONLY);
            dup2(devnull, 1);
            dup2(devnull, 2);
            std::string slow = Path("slow.exe");
            execl(SCRPACK_PATH, "scrpack", "extract", "--salvage", "-d", out.c_str(), slow.c_str(), (char*)nullptr);
            _exit(127);
        }
        bool writing = false;  // until a temporary file has bytes in it
        for (int tries = 0; tries < 4000 && !writing; tries++) {
            std::error_code ec;
            for (auto it = fs::recursive_directory_iterator(out, ec); !ec && it != fs::recursive_directory_iterator();
                 it.increment(ec))
                if (it->path().filename().string().rfind(".scrpack-", 0) == 0 && it->file_size(ec) > 100000)
                    writing = true;
            if (!writing) usleep(2000);
        }
        EXPECT_TRUE(writing) << "the extraction never got under way";
        kill(child, sig);
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), 128 + sig);
        EXPECT_FALSE(fs::exists(out)) << "temporary files and the folders made for them are gone";
    }
}

// The file layer's fault switches reach scrpack's own reads and writes: a
// full disk or a failed read is a clean error naming the file, the old file
// stays and no temporary file is left. Each fault hits the last read or
// write of a clean run, or the first open: deep inside the work.
TEST_F(Rules, FailedWritesAndReadsLoseNothing) {
    Good("good.exe");
    const std::vector<uint8_t> old = {'o', 'l', 'd'};
    struct Case {
        const char* what;
        void (*fault)(const hostwin::Counters& clean);
        std::vector<std::string> args;
        std::string mention;
    } cases[] = {
        {"disk full while extracting",
         [](const hostwin::Counters& clean) { hostwin::FaultSwitches().diskFull = clean.writes; },
         {"extract", "-f", "-d", Path("win"), Path("good.exe")},
         "FILE0014.b: cannot write it: No space left on device"},
        {"disk full while compressing",
         [](const hostwin::Counters& clean) { hostwin::FaultSwitches().diskFull = clean.writes; },
         {"compress", "-f", Path("notes.txt"), Path("old.lz")},
         "old.lz: cannot write it: No space left on device"},
        {"a read fails while verifying",
         [](const hostwin::Counters& clean) { hostwin::FaultSwitches().failRead = clean.reads; },
         {"verify", Path("good.exe")},
         "good.exe: cannot read entry 2 at offset"},
        {"the installer cannot be opened",
         [](const hostwin::Counters&) { hostwin::FaultSwitches().failOpen = 1; },
         {"list", Path("good.exe")},
         "good.exe: cannot open it: Permission denied"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::string err;
        hostwin::Reset();
        ASSERT_EQ(InProcess(c.args, &err), 0) << err;
        hostwin::Counters clean = hostwin::Count();
        fs::create_directories(Path("win/TORVANEL/KAVRELIN/good"));
        Put("win/TORVANEL/KAVRELIN/good/FILE0014.b", old);
        Put("old.lz", old);
        hostwin::Reset();
        c.fault(clean);
        EXPECT_EQ(InProcess(c.args, &err), 1) << err;
        EXPECT_NE(err.find(c.mention), std::string::npos) << err;
        EXPECT_EQ(Get("win/TORVANEL/KAVRELIN/good/FILE0014.b"), old);
        EXPECT_EQ(Get("old.lz"), old);
        ExpectNoTemporaries(Path(""));
    }
    hostwin::Reset();
}

// Two entries that would install to one path, as Windows compares names.
TEST_F(Rules, ClashingNames) {
    Put("s.scr", {1, 2, 3});
    Put("d.dat", {4, 5});
    for (const char* extra : {"x.DAT", "x.dat"}) {
        SCOPED_TRACE(extra);
        Put(extra, {6});
        Outcome o = Run({"pack", "-o", Path("FILE0001.exe"), "--stub", Path("stub.exe"), "--title", "T",
                         "--first-number", "1", Path("s.scr"), Path("d.dat"), Path(extra)});
        EXPECT_EQ(o.exit, 1);
        EXPECT_NE(o.err.find("entry 1 (data file) and entry 2 (extra file) would both install to"), std::string::npos)
            << o.err;
        EXPECT_NE(o.err.find("for example FILE0001-1.exe"), std::string::npos) << o.err;
        EXPECT_FALSE(fs::exists(Path("FILE0001.exe")));

        ASSERT_EQ(Run({"pack", "-f", "-o", Path("Other.exe"), "--stub", Path("stub.exe"), "--title", "T",
                       "--first-number", "1", Path("s.scr"), Path("d.dat"), Path(extra)})
                      .exit,
                  0);
        fs::rename(Path("Other.exe"), Path("FILE0001.exe"));  // renamed after packing
        EXPECT_EQ(Run({"verify", Path("FILE0001.exe")}).exit, 2);
        EXPECT_EQ(Run({"extract", "-d", Path("win"), Path("FILE0001.exe")}).exit, 2);
        EXPECT_FALSE(fs::exists(Path("win")));
        EXPECT_EQ(Run({"extract", "--salvage", "-d", Path("win"), Path("FILE0001.exe")}).exit, 2);
        EXPECT_EQ(Tree(Path("win")).size(), 2u) << "the later of the two is left out";
        fs::remove_all(Path("win"));
        fs::remove(Path("FILE0001.exe"));
    }
}

// --- Extract's commit, its folders, its cost, and interrupts in every action.

// No destination may be an installer being read, with or without -f, nor
// another name of it (a hard link).
TEST_F(Rules, ExtractNeverReplacesItsInstaller) {
    Good("Sunset.exe");
    struct Case {
        const char* what;
        const char* installer;  // where the installer is read from, made first
        bool link;              // a hard link to Sunset.exe, else a copy
        bool force;
    } cases[] = {
        {"the installer itself, with -f", "win/SUNSET.SCR", false, true},
        {"the installer itself, without -f", "win/SUNSET.SCR", false, false},
        {"a hard link to it, with -f", "win/SUNSET.SCR", true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove_all(Path("win"));
        fs::create_directories(Path("win"));
        if (c.link)
            fs::create_hard_link(Path("Sunset.exe"), Path(c.installer));
        else
            fs::copy_file(Path("Sunset.exe"), Path(c.installer));
        std::vector<std::string> args = {"extract", "-d", Path("win"), c.link ? Path("Sunset.exe") : Path(c.installer)};
        if (c.force) args.insert(args.begin() + 1, "-f");
        std::vector<uint8_t> before = Get("Sunset.exe");
        Outcome o = Run(args);
        EXPECT_EQ(o.exit, 1);
        EXPECT_NE(o.err.find("SUNSET.SCR: is an installer being extracted"), std::string::npos) << o.err;
        EXPECT_EQ(Get(c.installer), before);
        EXPECT_EQ(Tree(Path("win")), (std::set<std::string>{"SUNSET.SCR"}));
    }
}

// A commit that fails at its last file undoes the others: with -f every old
// file is back, and no new file nor any temporary one is left.
TEST_F(Rules, ExtractCommitIsAllOrNothing) {
    Good("good.exe");
    const std::string data = "win/TORVANEL/KAVRELIN/good/";
    const std::vector<std::string> files = {"win/GOOD.SCR", data + "good.DAT", data + "FILE0013.txt",
                                            data + "FILE0014.b"};
    fs::create_directories(Path(data));
    for (const std::string& f : files) Put(f, {'o', 'l', 'd'});
    static std::string s_last;
    s_last = Path(files.back());
    scrpack::SetExtractHook([](int index) {
        if (index != 3) return;
        fs::remove(s_last);  // a folder appears where the last file goes
        fs::create_directory(s_last);
    });
    std::string err;
    int code = InProcess({"extract", "-f", "-d", Path("win"), Path("good.exe")}, &err);
    scrpack::SetExtractHook(nullptr);
    EXPECT_EQ(code, 1);
    EXPECT_NE(err.find("FILE0014.b: a folder stands where this file must go"), std::string::npos) << err;
    for (size_t i = 0; i + 1 < files.size(); i++) EXPECT_EQ(Get(files[i]), (std::vector<uint8_t>{'o', 'l', 'd'}));
    EXPECT_TRUE(fs::is_directory(s_last));
    ExpectNoTemporaries(Path(""));
}

// A data folder swapped for a link to another folder while the entries are
// written leads nothing there: the files go only into the folders checked,
// and a folder no longer where it was checked fails the extraction.
TEST_F(Rules, ExtractHoldsItsFolders) {
    Good("good.exe");
    for (bool existing : {true, false}) {
        SCOPED_TRACE(existing ? "the data folder was there" : "the data folder was made by the run");
        fs::remove_all(Path("win"));
        fs::remove_all(Path("elsewhere"));
        fs::create_directories(Path("elsewhere"));
        Put("elsewhere/FILE0013.txt", {'k', 'e', 'e', 'p'});
        if (existing) fs::create_directories(Path("win/TORVANEL/KAVRELIN/good"));
        static std::string s_win;
        s_win = Path("win");
        scrpack::SetExtractHook([](int index) {
            if (index != 0) return;
            fs::rename(s_win + "/TORVANEL/KAVRELIN/good", s_win + "/moved");
            fs::create_directory_symlink(s_win + "/../elsewhere", s_win + "/TORVANEL/KAVRELIN/good");
        });
        std::string err;
        int code = InProcess({"extract", "-f", "-d", Path("win"), Path("good.exe")}, &err);
        scrpack::SetExtractHook(nullptr);
        EXPECT_EQ(code, 1);
        EXPECT_NE(err.find("good: was moved or replaced while extracting"), std::string::npos) << err;
        EXPECT_EQ(Tree(Path("elsewhere")), (std::set<std::string>{"FILE0013.txt"}));
        EXPECT_EQ(Get("elsewhere/FILE0013.txt"), (std::vector<uint8_t>{'k', 'e', 'e', 'p'}));
        EXPECT_FALSE(fs::exists(Path("win/GOOD.SCR")));
        ExpectNoTemporaries(Path(""));
    }
}

// Every file costs the same, however many there are: a hundred thousand
// entries (tiny stored files in one folder) are extracted well within the
// test's time limit (TIMEOUT in tests/CMakeLists.txt). They go to a memory
// file system where there is one: the kernel's own cost of making so many
// files varies widely elsewhere (ext4 after many deletions: a minute), and
// only scrpack's own cost is to be bounded.
TEST_F(Rules, ExtractsAHundredThousandEntries) {
    authoring::PackRequest request;
    request.stubPath = Path("stub.exe");
    request.title = "Many";
    request.storeAll = true;
    const int kEntries = 100000;
    for (int i = 0; i < kEntries; i++)
        request.files.push_back({"file" + std::to_string(i), {uint8_t(i)}, i == 0 ? ".scr" : ".b"});
    authoring::Package pkg;
    ASSERT_EQ(authoring::WritePackage(request, &pkg).fault, authoring::PackFault::None);
    Put("many.exe", pkg.bytes);
    struct Memory {  // a folder of its own there, removed at the end
        std::string folder = "/dev/shm/scrpack-test-XXXXXX";
        bool made = fs::is_directory("/dev/shm") && mkdtemp(&folder[0]);
        ~Memory() {
            std::error_code ignored;
            if (made) fs::remove_all(folder, ignored);
        }
    } memory;
    std::string win = memory.made ? memory.folder + "/win" : Path("win");
    Outcome o = Run({"extract", "-q", "-d", win, Path("many.exe")});
    EXPECT_EQ(o.exit, 0) << o.err;
    const std::string data = win + "/TORVANEL/KAVRELIN/many";
    size_t files = std::distance(fs::directory_iterator(data), fs::directory_iterator());
    EXPECT_EQ(files, size_t(kEntries - 1));  // all but the saver
    EXPECT_TRUE(fs::is_regular_file(win + "/MANY.SCR"));
    EXPECT_EQ(Slurp(data + "/FILE" + std::to_string(kEntries - 2) + ".b"), std::string(1, char(kEntries - 1)));
}

// An interrupt in any action, from the first temporary file on, leaves
// nothing behind; a reader that goes away (SIGPIPE) ends the run silently
// with 141.
TEST_F(Rules, InterruptsInEveryActionLeaveNothing) {
    Good("good.exe");
    ASSERT_EQ(mkfifo(Path("late.dat").c_str(), 0600), 0);  // pack waits for it, its output begun
    struct Case {
        const char* what;
        std::vector<std::string> args;
        int sig;            // sent once a temporary file exists; 0: none (the closed pipe does it)
        bool holdStdin;     // standard input a pipe that stays open and empty
        bool closedStdout;  // standard output a pipe nobody reads
    } cases[] = {
        {"pack, reading its inputs",
         {"pack", "-o", Path("out.exe"), "--stub", Path("stub.exe"), "--title", "T", Path("sunset.scr"),
          Path("late.dat")},
         SIGINT,
         false,
         false},
        {"compress, reading standard input", {"compress", "-", Path("out.lz")}, SIGTERM, true, false},
        {"extract, its report unread", {"extract", "-d", Path("win"), Path("good.exe")}, 0, false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        int in[2], out[2];
        ASSERT_EQ(pipe(in), 0);
        ASSERT_EQ(pipe(out), 0);
        if (c.closedStdout) close(out[0]);
        pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            for (int s : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) signal(s, SIG_DFL);
            dup2(in[0], 0);
            dup2(out[1], 1);
            int err = open(Path("child.err").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            dup2(err, 2);
            std::vector<char*> argv = {(char*)"scrpack"};
            for (const std::string& a : c.args) argv.push_back((char*)a.c_str());
            argv.push_back(nullptr);
            execv(SCRPACK_PATH, argv.data());
            _exit(127);
        }
        close(in[0]);
        close(out[1]);
        if (c.sig) {
            bool begun = false;  // until the temporary file exists
            for (int tries = 0; tries < 5000 && !begun; tries++) {
                for (const auto& e : fs::directory_iterator(Path("")))
                    if (e.path().filename().string().rfind(".scrpack-", 0) == 0) begun = true;
                if (!begun) usleep(2000);
            }
            EXPECT_TRUE(begun) << "no temporary file was made";
            kill(child, c.sig);
        }
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        close(in[1]);
        if (!c.closedStdout) close(out[0]);
        EXPECT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
        if (WIFEXITED(status)) {
            EXPECT_EQ(WEXITSTATUS(status), 128 + (c.sig ? c.sig : SIGPIPE));
        }
        EXPECT_EQ(Slurp(Path("child.err")), "");
        ExpectNoTemporaries(Path(""));
        EXPECT_FALSE(fs::exists(Path("out.exe")));
        EXPECT_FALSE(fs::exists(Path("out.lz")));
        if (c.closedStdout) {  // the report comes after the files are in place: they are whole
            EXPECT_EQ(Get("win/GOOD.SCR"), Get("sunset.scr"));
        }
    }
}

}  // namespace
