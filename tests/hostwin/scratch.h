// A scratch folder for the layer's tests: drive C is mapped onto a fresh
// temporary folder below it ("<dir>/c"), the layer is reset, and everything
// is removed afterwards. Files are read and written by host path.
#ifndef TESTS_HOSTWIN_SCRATCH_H
#define TESTS_HOSTWIN_SCRATCH_H

#include "platform/hostwin/hostwin.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

class Scratch : public ::testing::Test {
protected:
    void SetUp() override {
        hostwin::Reset();
        char pattern[] = "/tmp/hostwin_test_XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
        root_ = dir_ + "/c";
        std::filesystem::create_directories(root_);
        hostwin::MapDrive('C', root_);
    }
    void TearDown() override {
        hostwin::Reset();
        std::filesystem::remove_all(dir_);
    }

    const std::string& root() const { return root_; }  // host folder of drive C
    const std::string& dir() const { return dir_; }    // its parent, outside drive C

    void Put(const std::string& hostPath, const std::string& bytes) const {
        std::filesystem::create_directories(std::filesystem::path(hostPath).parent_path());
        std::ofstream(hostPath, std::ios::binary) << bytes;
    }
    static std::string Get(const std::string& hostPath) {
        std::ifstream in(hostPath, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    static bool Exists(const std::string& hostPath) { return std::filesystem::exists(hostPath); }

private:
    std::string dir_, root_;
};

#endif
