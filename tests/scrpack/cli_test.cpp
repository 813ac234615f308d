// scrpack's command line as people type it: the table of actions against
// the help, the man page and the bash completion; getopt_long's rules;
// picking entries; standard input and output; verify --json; signed
// installers.
#include "tests/scrpack/scrpack_fixture.h"

#include "tools/scrpack/scrpack.h"

#include <cstdio>

#include <pty.h>
#include <unistd.h>

#ifndef SCRPACK_MAN_PAGE
#error "SCRPACK_MAN_PAGE must name the man page's source"
#endif
#ifndef SCRPACK_COMPLETION
#error "SCRPACK_COMPLETION must name the bash completion the build makes"
#endif

namespace {

using namespace scrpacktest;
namespace fs = std::filesystem;

// The lines of `text` wider than 80 columns (UTF-8 characters counted once).
std::vector<std::string> WideLines(const std::string& text) {
    std::vector<std::string> wide;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        size_t columns = 0;
        for (unsigned char c : line) columns += (c & 0xC0) != 0x80;
        if (columns > 80) wide.push_back(line);
    }
    return wide;
}

// What the completion offers for the words of a command line, the last
// one being completed.
std::set<std::string> Completions(const std::vector<std::string>& words) {
    std::string script = "source " + Quote(SCRPACK_COMPLETION) + "; COMP_WORDS=(";
    for (const std::string& w : words) script += Quote(w) + " ";
    script += "); COMP_CWORD=" + std::to_string(words.size() - 1) +
              "; COMPREPLY=(); _scrpack; printf '%s\\n' \"${COMPREPLY[@]}\"";
    std::string command = "bash -c " + Quote(script);
    std::set<std::string> offered;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return offered;
    char line[512];
    while (std::fgets(line, sizeof line, pipe)) {
        std::string word(line);
        while (!word.empty() && word.back() == '\n') word.pop_back();
        if (!word.empty()) offered.insert(word);
    }
    pclose(pipe);
    return offered;
}

std::string ManName(const std::string& option) {
    std::string out;
    for (char c : option) out += c == '-' ? "\\-" : std::string(1, c);
    return out;
}

TEST_F(Scrpack, HelpManPageAndCompletionNameEveryOptionOfTheTable) {
    std::string man = Slurp(SCRPACK_MAN_PAGE);
    Outcome tool = Run({"--help"});
    EXPECT_EQ(tool.exit, 0);
    EXPECT_EQ(WideLines(tool.out), std::vector<std::string>());
    std::set<std::string> actions;
    for (const scrpack::Action& action : scrpack::Actions()) actions.insert(action.name);
    EXPECT_EQ(Completions({"scrpack", "help", ""}), actions);
    for (const scrpack::Action& action : scrpack::Actions()) {
        SCOPED_TRACE(action.name);
        EXPECT_NE(tool.out.find(std::string("  ") + action.name + " "), std::string::npos);
        Outcome help = Run({"help", action.name});
        EXPECT_EQ(help.exit, 0) << help.err;
        EXPECT_EQ(Run({action.name, "--help"}).out, help.out);
        EXPECT_EQ(WideLines(help.out), std::vector<std::string>());
        std::set<std::string> offered = Completions({"scrpack", action.name, "-"});
        for (const scrpack::Option& option : scrpack::AllOptions(action)) {
            std::vector<std::string> names = {std::string("--") + option.longName};
            if (option.shortName) names.push_back(std::string("-") + option.shortName);
            for (const std::string& name : names) {
                EXPECT_NE(help.out.find(name), std::string::npos) << name;
                EXPECT_NE(man.find(ManName(name)), std::string::npos) << name << " is not in the man page";
                EXPECT_EQ(offered.count(name), 1u) << name << " is not completed";
            }
        }
    }
}

TEST_F(Scrpack, OptionsFollowGetoptLongsRules) {
    PutInputs();
    ASSERT_EQ(PackStandard("Sunset.exe").exit, 0);
    const std::string a = Path("Sunset.exe"), d = Path("win");
    struct Case {
        std::vector<std::string> args;
        int exit;
        std::string mention;  // in standard error
    } cases[] = {
        {{"extract", "-fq", "-d", d, a}, 0, ""},
        {{"extract", "--directory=" + d, "-f", a}, 0, ""},
        {{"extract", "-fd" + d, a}, 0, ""},
        {{"extract", "-qfd", d, a}, 0, ""},
        {{"extract", "--dir", d, "--forc", a}, 0, ""},
        {{"extract", "-f", a, "-d", d}, 0, ""},
        {{"extract", "-f", "-d", d, "--", a}, 0, ""},
        {{"extract", "-fx", a}, 1, "unknown option \"-x\" (see scrpack help extract)"},
        {{"extract", "--frobnicate", a}, 1, "unknown option \"--frobnicate\""},
        {{"extract", "--force=yes", a}, 1, "--force takes no value"},
        {{"extract", a, "-d"}, 1, "-d needs DIR"},
        {{"pack", "--s", "x", "-o", Path("o.exe"), "--title", "T", a, a}, 1, "ambiguous: it could be --stub, --store"},
        {{"verify", "--js", a}, 0, ""},
        {{"help", "help"}, 0, ""},
    };
    for (const Case& c : cases) {
        std::string line;
        for (const std::string& arg : c.args) line += arg + " ";
        fs::remove_all(d);
        Outcome o = Run(c.args);
        EXPECT_EQ(o.exit, c.exit) << line << "\n" << o.err;
        EXPECT_NE(o.err.find(c.mention), std::string::npos) << line << "\n" << o.err;
        if (c.exit == 0 && c.args[0] == "extract") {
            EXPECT_EQ(Get("win/SUNSET.SCR"), Get("sunset.scr")) << line;
        }
        if (c.args[1] == "-fq") {
            EXPECT_EQ(o.out, "") << "-q in a group";
        }
    }
}

TEST_F(Scrpack, IncludePicksEntriesByTheirPath) {
    PutInputs();
    ASSERT_EQ(PackStandard("Sunset.exe").exit, 0);
    const std::string data = "TORVANEL/KAVRELIN/Sunset/";
    struct Case {
        std::vector<std::string> patterns;
        std::set<std::string> files;
        int exit;
        std::string unmatched;
    } cases[] = {
        {{"*.scr"}, {"SUNSET.SCR"}, 0, ""},
        {{"*.DAT"}, {data + "Sunset.DAT"}, 0, ""},
        {{"sunset.dat"}, {data + "Sunset.DAT"}, 0, ""},
        {{"torvanel/*/sunset/file*"}, {data + "FILE0013.txt", data + "FILE0014.b"}, 0, ""},
        {{"TORVANEL\\KAVRELIN\\Sunset\\FILE001[!3].?"}, {data + "FILE0014.b"}, 0, ""},
        {{"*.scr", "*.txt"}, {"SUNSET.SCR", data + "FILE0013.txt"}, 0, ""},
        {{"*.scr", "*.nothing"}, {"SUNSET.SCR"}, 1, "*.nothing"},
        {{"*/*.txt"}, {}, 1, "*/*.txt"},  // '*' stays within one folder
        {{"SUNSET"}, {}, 1, "SUNSET"},    // the whole name
    };
    for (const Case& c : cases) {
        std::string line;
        std::vector<std::string> args = {"extract", "-d", Path("win")}, list = {"list", "--json"};
        for (const std::string& p : c.patterns) {
            line += p + " ";
            for (auto* a : {&args, &list}) a->insert(a->end(), {"-I", p});
        }
        args.push_back(Path("Sunset.exe"));
        list.push_back(Path("Sunset.exe"));
        fs::remove_all(Path("win"));
        fs::create_directories(Path("win"));
        Outcome o = Run(args);
        EXPECT_EQ(o.exit, c.exit) << line << o.err;
        EXPECT_EQ(Tree(Path("win")), c.files) << line;
        if (!c.unmatched.empty()) {
            EXPECT_NE(o.err.find("no entry matches \"" + c.unmatched + "\""), std::string::npos) << line << o.err;
        }
        Outcome l = Run(list);
        EXPECT_EQ(l.exit, c.exit) << line << l.err;
        size_t listed = 0;
        for (size_t at = 0; (at = l.out.find("\"index\"", at)) != std::string::npos; at++) listed++;
        EXPECT_EQ(listed, c.files.size()) << line << l.out;
    }

    // -p: the bytes and nothing else, in the catalogue's order.
    Outcome one = Run({"extract", "-p", "-I", "*.scr", Path("Sunset.exe")});
    EXPECT_EQ(one.exit, 0) << one.err;
    EXPECT_EQ(std::vector<uint8_t>(one.out.begin(), one.out.end()), Get("sunset.scr"));
    Outcome all = Run({"extract", "--stdout", Path("Sunset.exe")});
    std::string expected;
    for (const char* f : {"sunset.scr", "scene.dat", "notes.txt", "a.b"}) expected += Slurp(Path(f));
    EXPECT_EQ(all.exit, 0) << all.err;
    EXPECT_TRUE(all.out == expected) << "extract -p gives every entry's bytes in order";
    EXPECT_EQ(Run({"extract", "-p", "-d", Path("win"), Path("Sunset.exe")}).exit, 1) << "-p and -d together";
}

TEST_F(Scrpack, StandardInputAndVerifyJson) {
    PutInputs();
    ASSERT_EQ(PackStandard("Sunset.exe").exit, 0);
    Put("garbage.bin", NoiseBytes(3000, 9));
    Outcome list = Run({"list", "-"}, Path("Sunset.exe"));
    EXPECT_EQ(list.exit, 0) << list.err;
    EXPECT_EQ(list.out.rfind("Installer:      standard input\n", 0), 0u) << list.out;
    EXPECT_NE(list.out.find("STDIN.SCR"), std::string::npos) << "named as stdin.exe would name them";
    Outcome garbage = Run({"verify", "-"}, Path("garbage.bin"));
    EXPECT_EQ(garbage.exit, 2);
    EXPECT_EQ(garbage.out, "standard input: BAD: not a Windows executable\n");
    EXPECT_EQ(garbage.err, "scrpack: standard input: not a Windows executable\n");

    std::vector<uint8_t> cut = Get("Sunset.exe");
    cut.resize(cut.size() - 10);
    Put("cut \"quoted\".exe", cut);
    Outcome v = Run({"verify", "--json", "-q", Path("Sunset.exe"), Path("garbage.bin"), Path("cut \"quoted\".exe"),
                     Path("missing.exe")});
    EXPECT_EQ(v.exit, 2);
    std::string checked = Path("verify.json");
    std::ofstream(checked) << v.out;
    // Valid JSON, and the verdicts as said: python reads it back.
    std::string script =
        "import json,sys; a=json.load(open(sys.argv[1])); "
        "print(' '.join(o['verdict'] + ':' + str(len(o['entries'])) + ':' + str(o['reason'] is None) for o in a)); "
        "print(' '.join(e['verdict'] for e in a[2]['entries']))";
    FILE* pipe = popen(("python3 -c " + Quote(script) + " " + Quote(checked) + " 2>&1").c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::string seen;
    char buffer[512];
    while (std::fgets(buffer, sizeof buffer, pipe)) seen += buffer;
    if (pclose(pipe) != 0 && seen.find("not found") != std::string::npos) GTEST_SKIP() << "no python3";
    EXPECT_EQ(seen,
              "ok:4:True not an installer:0:False damaged:4:False unreadable:0:False\n"
              "ok ok damaged damaged\n")  // cut inside the last two
        << v.out;
}

// Signing appends a signature after the package and says where it is in the
// security directory; the installer stays what it was.
TEST_F(Scrpack, SignedInstallersListVerifyAndExtract) {
    if (std::system("command -v osslsigncode >/dev/null && command -v openssl >/dev/null") != 0)
        GTEST_SKIP() << "osslsigncode or openssl is not installed (Debian: osslsigncode, openssl)";
    PutInputs();
    ASSERT_EQ(PackStandard("Sunset.exe").exit, 0);
    std::string key = Quote(Path("key.pem")), cert = Quote(Path("cert.pem"));
    ASSERT_EQ(std::system(("openssl req -x509 -newkey rsa:2048 -nodes -keyout " + key + " -out " + cert +
                           " -days 1 -subj /CN=Throwaway >/dev/null 2>&1")
                              .c_str()),
              0);
    for (const auto& [in, out] :
         {std::pair<std::string, std::string>{"Sunset.exe", "Signed.exe"}, {"stub.exe", "signed-stub.exe"}})
        ASSERT_EQ(std::system(("osslsigncode sign -certs " + cert + " -key " + key + " -in " + Quote(Path(in)) +
                               " -out " + Quote(Path(out)) + " >/dev/null 2>&1")
                                  .c_str()),
                  0)
            << in;
    EXPECT_NE(Run({"list", Path("Sunset.exe")}).out.find("Signed:         no\n"), std::string::npos);
    Outcome list = Run({"list", Path("Signed.exe")});
    EXPECT_EQ(list.exit, 0) << list.err;
    EXPECT_NE(list.out.find("Signed:         yes"), std::string::npos) << list.out;
    EXPECT_NE(Run({"list", "--json", Path("Signed.exe")}).out.find("\"signed\": true"), std::string::npos);
    Outcome verify = Run({"verify", Path("Signed.exe")});
    EXPECT_EQ(verify.exit, 0) << verify.err;
    EXPECT_NE(verify.out.find(", signed\n"), std::string::npos) << verify.out;
    Outcome extract = Run({"extract", "-d", Path("win"), Path("Signed.exe")});
    EXPECT_EQ(extract.exit, 0) << extract.err;
    EXPECT_EQ(Get("win/SIGNED.SCR"), Get("sunset.scr"));
    EXPECT_EQ(Get("win/TORVANEL/KAVRELIN/Signed/FILE0014.b"), Get("a.b"));

    // Signing comes after packing: a signed stub, or an installer given as
    // the stub, is refused with what to do.
    for (const auto& [stub, mention] :
         {std::pair<std::string, std::string>{"signed-stub.exe", "is signed"}, {"Signed.exe", "is an installer"}}) {
        Outcome pack = Run(
            {"pack", "-o", Path("o.exe"), "--stub", Path(stub), "--title", "T", Path("sunset.scr"), Path("scene.dat")});
        EXPECT_EQ(pack.exit, 2) << stub;
        EXPECT_NE(pack.err.find(mention), std::string::npos) << pack.err;
        EXPECT_FALSE(fs::exists(Path("o.exe")));
    }
}

}  // namespace

namespace {

// Runs scrpack with standard output and error on a new pseudo-terminal, and
// with the progress shown from the start: what the terminal received.
std::string OnTerminal(const std::vector<std::string>& args) {
    int terminal = -1;
    pid_t child = forkpty(&terminal, nullptr, nullptr, nullptr);
    if (child == 0) {
        setenv("SCRPACK_PROGRESS_DELAY_MS", "0", 1);
        std::vector<char*> argv = {const_cast<char*>(SCRPACK_PATH)};
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(SCRPACK_PATH, argv.data());
        _exit(127);
    }
    std::string seen;
    if (child < 0) return seen;
    char buffer[4096];
    for (ssize_t got; (got = read(terminal, buffer, sizeof buffer)) > 0;) seen.append(buffer, size_t(got));
    close(terminal);
    waitpid(child, nullptr, 0);
    return seen;
}

TEST_F(Scrpack, ProgressOnATerminalOnlyAndClearedAtTheEnd) {
    PutInputs();
    ASSERT_EQ(PackStandard("Sunset.exe").exit, 0);
    ASSERT_EQ(Run({"compress", Path("sunset.scr"), Path("s.stream")}).exit, 0);
    const std::string size = std::to_string(Get("sunset.scr").size());
    std::vector<uint8_t> cut = Get("Sunset.exe");
    cut.resize(cut.size() - 2);
    Put("Cut.exe", cut);
    struct Case {
        std::vector<std::string> args;
        std::string shown;  // the progress line's start
        int exit = 0;
    } cases[] = {
        {{"verify", Path("Sunset.exe")}, "Sunset.exe: verifying: "},
        {{"extract", "-d", Path("win"), Path("Sunset.exe")}, "Sunset.exe: extracting: "},
        {{"compress", "-f", Path("notes.txt"), Path("n.stream")}, "notes.txt: compressing: "},
        {{"expand", "-f", "--size", size, Path("s.stream"), Path("back.scr")}, "s.stream: expanding: "},
        {{"pack", "-f", "-o", Path("o.exe"), "--stub", Path("stub.exe"), "--title", "T", Path("sunset.scr"),
          Path("scene.dat")},
         "o.exe: packing: "},
        // messages meanwhile: each on a line of its own
        {{"extract", "--salvage", "-d", Path("win"), Path("Cut.exe")}, "Cut.exe: extracting: ", 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args[0]);
        fs::remove_all(Path("win"));
        std::string seen = OnTerminal(c.args);
        size_t shown = seen.rfind(c.shown);
        ASSERT_NE(shown, std::string::npos) << seen;
        EXPECT_NE(seen.find(" bytes, ", shown), std::string::npos) << seen;
        EXPECT_NE(seen.find(" %, ", shown), std::string::npos) << seen;
        // Cleared (blanks back to the line's start) before what comes after it.
        size_t cleared = seen.find("\r", shown);
        ASSERT_NE(cleared, std::string::npos) << seen;
        size_t back = seen.find_first_not_of(' ', cleared + 1);
        EXPECT_GT(back, cleared + 1) << seen;
        EXPECT_EQ(seen[back], '\r') << seen;
        for (size_t at = 0; (at = seen.find("scrpack: ", at)) != std::string::npos; at++)
            EXPECT_TRUE(at == 0 || seen[at - 1] == '\n' || seen[at - 1] == '\r') << seen;

        fs::remove_all(Path("win"));
        std::vector<std::string> quiet = c.args;
        quiet.insert(quiet.begin() + 1, "-q");
        EXPECT_EQ(OnTerminal(quiet), "") << "-q shows no progress";
        fs::remove_all(Path("win"));
        setenv("SCRPACK_PROGRESS_DELAY_MS", "0", 1);
        Outcome piped = Run(c.args);
        unsetenv("SCRPACK_PROGRESS_DELAY_MS");
        EXPECT_EQ(piped.exit, c.exit) << piped.err;
        EXPECT_EQ(piped.err.find(c.shown), std::string::npos) << "no progress when standard error is a file";
    }
}

}  // namespace
