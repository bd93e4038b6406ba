#include "host/base/atomic_file.h"

#include <fstream>
#include <stdexcept>
#include <system_error>
#include <utility>

#include "host/base/path_text.h"
#include "host/base/unique_name.h"

namespace tarrow::host {

namespace {

// Hidden, beside the target, and named after it, so that one left by a crash tells what it was.
std::filesystem::path temporaryFor(const std::filesystem::path& target) {
  std::filesystem::path name(".");
  name += target.filename();
  name += ".tarrow-partial-" + uniqueSuffix();
  return target.parent_path() / name;
}

}  // namespace

AtomicFile::AtomicFile(std::filesystem::path target)
    : target_(std::move(target)), temporary_(temporaryFor(target_)) {}

AtomicFile::~AtomicFile() { discard(); }

AtomicFile::AtomicFile(AtomicFile&& other) noexcept
    : target_(std::move(other.target_)), temporary_(std::exchange(other.temporary_, {})) {}

AtomicFile& AtomicFile::operator=(AtomicFile&& other) noexcept {
  if (this != &other) {
    discard();
    target_ = std::move(other.target_);
    temporary_ = std::exchange(other.temporary_, {});
  }
  return *this;
}

void AtomicFile::write(std::string_view content) {
  std::ofstream out(temporary_, std::ios::binary | std::ios::trunc);
  out.write(content.data(), static_cast<std::streamsize>(content.size()));
  out.close();
  if (!out) {
    discard();
    throw std::runtime_error(displayPath(target_) + ": cannot be written");
  }
}

void AtomicFile::commit() {
  std::error_code failed;
  std::filesystem::rename(temporary_, target_, failed);
  if (failed) {
    discard();
    throw std::runtime_error(displayPath(target_) + ": cannot be written: " + failed.message());
  }
  temporary_.clear();
}

void AtomicFile::discard() noexcept {
  if (temporary_.empty()) return;
  std::error_code ignored;
  std::filesystem::remove(temporary_, ignored);
  temporary_.clear();
}

void writeFileAtomically(const std::filesystem::path& target, std::string_view content) {
  AtomicFile file(target);
  file.write(content);
  file.commit();
}

}  // namespace tarrow::host
