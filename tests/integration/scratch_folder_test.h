// A fixture with a folder of its own for scenes and output, removed after each test.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

#include "host/base/unique_name.h"
#include "host/loader/host_generation.h"
#include "host/run/scene_run.h"

namespace tarrow::integration {

class ScratchFolderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = std::filesystem::temp_directory_path() / ("tarrow-test-" + host::uniqueSuffix());
    std::filesystem::create_directories(folder_);
  }
  void TearDown() override {
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
  }

  std::filesystem::path write(const std::string& name, const std::string& text) const {
    std::ofstream(folder_ / name, std::ios::binary) << text;
    return folder_ / name;
  }
  static std::string read(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
  }

  // Runs the scene as every generation of the host, each into a folder of its own, and checks
  // that each writes the very bytes the first did: every OBJ frame and the saved scene. Returns
  // how many files each wrote.
  std::size_t expectSameOutputInEveryGeneration(host::RunOptions options, const std::string& name) const {
    std::map<std::string, std::string> first;
    for (const host::HostGeneration& generation : host::hostGenerations()) {
      options.generation = &generation;
      options.outDir = folder_ / name / generation.release;
      options.saveScene =
          folder_ / name / (std::string(generation.release) + options.scene.extension().string());
      options.picture = false;
      host::runScene(options);
      std::map<std::string, std::string> files{{"saved scene", read(*options.saveScene)}};
      for (const auto& entry : std::filesystem::directory_iterator(options.outDir)) {
        files[entry.path().filename().string()] = read(entry.path());
      }
      if (first.empty()) {
        first = std::move(files);
        continue;
      }
      EXPECT_EQ(files.size(), first.size()) << generation.release;
      for (const auto& [file, text] : first) {
        EXPECT_TRUE(files[file] == text) << name << ": " << file << " differs in " << generation.release;
      }
    }
    return first.size();
  }

  std::filesystem::path folder_;
};

}  // namespace tarrow::integration
