// The scrpack fixture: a fresh temporary folder with a synthetic stub in it,
// the binary run there as a user would (its exit code, standard output and
// standard error), and the usual inputs of an installer.
#ifndef TESTS_SCRPACK_SCRPACK_FIXTURE_H
#define TESTS_SCRPACK_SCRPACK_FIXTURE_H

#include "tests/support/pe_builder.h"
#include "tests/support/sample_data.h"

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#ifndef SCRPACK_PATH
#error "SCRPACK_PATH must name the scrpack binary"
#endif

namespace scrpacktest {

namespace fs = std::filesystem;

struct Outcome {
    int exit = -1;
    std::string out, err;
};

inline std::string Quote(const std::string& arg) {
    std::string q = "'";
    for (char c : arg) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

inline std::string Repeat(const std::string& text, int times) {
    std::string out;
    for (int i = 0; i < times; i++) out += text;
    return out;
}

class Scrpack : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "scrpack-test-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
        pe::WriteFileBytes(Path("stub.exe"), pe::Build().bytes);
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::string Path(const std::string& name) const { return dir_ + "/" + name; }

    // Runs scrpack with `args`; standard input from the file `input` when given.
    Outcome Run(const std::vector<std::string>& args, const std::string& input = "") const {
        std::string command = Quote(SCRPACK_PATH);
        for (const std::string& a : args) command += " " + Quote(a);
        if (!input.empty()) command += " <" + Quote(input);
        command += " >" + Quote(Path(".out")) + " 2>" + Quote(Path(".err"));
        int status = std::system(command.c_str());
        Outcome o;
        o.exit = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        o.out = Slurp(Path(".out"));
        o.err = Slurp(Path(".err"));
        fs::remove(Path(".out"));
        fs::remove(Path(".err"));
        return o;
    }

    static std::string Slurp(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }

    void Put(const std::string& name, const std::vector<uint8_t>& bytes) const {
        pe::WriteFileBytes(Path(name), bytes);
    }
    std::vector<uint8_t> Get(const std::string& name) const { return pe::ReadFileBytes(Path(name)); }

    // Every file below `folder`, relative to it, sorted.
    static std::set<std::string> Tree(const std::string& folder) {
        std::set<std::string> files;
        for (const auto& e : fs::recursive_directory_iterator(folder))
            if (!e.is_directory()) files.insert(fs::relative(e.path(), folder).string());
        return files;
    }

    // The usual inputs: a compressible saver, a noisy data file, a
    // compressible extra and a one-byte extra with a two-character extension.
    void PutInputs() {
        Put("sunset.scr", TextBytes(30000, 1));
        Put("scene.dat", NoiseBytes(5000, 2));
        Put("notes.txt", TextBytes(9000, 3));
        Put("a.b", {0x42});
    }
    Outcome PackStandard(const std::string& out, bool store = false) {
        std::vector<std::string> args = {
            "pack",           "-o", Path(out), "--stub", Path("stub.exe"), "--title", "Zonsondergang \xC3\xA9",
            "--first-number", "13"};
        if (store) args.push_back("--store");
        for (const char* f : {"sunset.scr", "scene.dat", "notes.txt", "a.b"}) args.push_back(Path(f));
        return Run(args);
    }

private:
    std::string dir_;
};

}  // namespace scrpacktest

#endif
