#pragma once
// What the sweep tests share: a temporary folder per test, whole-file reading,
// and hosts that record the event points or stop after a number of points.

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "run/host.h"

namespace membrix::testing {

class SweepFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    dir_ = std::filesystem::temp_directory_path() /
           ("membrix-sweep-" + std::string(info->name()) + "-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir_);
  }
  void TearDown() override {
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }
  std::string Path(const std::string& name) const { return (dir_ / name).string(); }

  static std::string Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }
  static std::vector<std::string> Lines(const std::string& path) {
    std::ifstream in(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }

 private:
  std::filesystem::path dir_;
};

// Asks to stop once the caller has counted `stopAfter` points.
class StopAfterPoints final : public Host {
 public:
  explicit StopAfterPoints(int stopAfter) : stopAfter_(stopAfter) {}
  bool StopRequested() const override { return points >= stopAfter_; }
  bool Confirm(const std::string&) override { return true; }
  int points = 0;

 private:
  int stopAfter_;
};

}  // namespace membrix::testing
