#include "host/base/atomic_file.h"

#include <cctype>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <stdexcept>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "host/base/path_text.h"
#include "host/base/unique_name.h"

#ifdef _WIN32
#include "host/base/windows_api.h"
#else
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#endif

namespace tarrow::host {

namespace {

constexpr std::string_view kTemporaryMark = ".tarrow-partial-";

unsigned long long thisProcess() {
#ifdef _WIN32
  return GetCurrentProcessId();
#else
  return static_cast<unsigned long long>(getpid());
#endif
}

bool isRunning(unsigned long long process) {
#ifdef _WIN32
  HANDLE handle = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, static_cast<DWORD>(process));
  if (handle == nullptr) return GetLastError() == ERROR_ACCESS_DENIED;
  DWORD status = 0;
  const bool running = GetExitCodeProcess(handle, &status) != 0 && status == STILL_ACTIVE;
  CloseHandle(handle);
  return running;
#else
  const auto id = static_cast<pid_t>(process);
  if (id <= 0 || static_cast<unsigned long long>(id) != process) return false;
  return kill(id, 0) == 0 || errno == EPERM;
#endif
}

// Hidden, beside the target, and named after it, so that one left by a crash tells what it was,
// and after the process that wrote it, so that a later run can tell whether it was abandoned.
std::filesystem::path temporaryFor(const std::filesystem::path& target) {
  std::filesystem::path name(".");
  name += target.filename();
  name += std::string(kTemporaryMark) + std::to_string(thisProcess()) + "-" + uniqueSuffix();
  return target.parent_path() / name;
}

// The process that wrote the temporary of this name, 0 when the name tells none (a temporary
// of an older build: "<16 hex digits>-<count>"), or nullopt when it is no temporary of ours.
std::optional<unsigned long long> writerOf(const std::string& name) {
  const size_t mark = name.rfind(kTemporaryMark);
  if (name.empty() || name[0] != '.' || mark == std::string::npos) return std::nullopt;
  const std::string tail = name.substr(mark + kTemporaryMark.size());
  const auto allOf = [](std::string_view part, std::string_view allowed) {
    return !part.empty() && part.find_first_not_of(allowed) == std::string_view::npos;
  };
  std::vector<std::string_view> parts;
  for (size_t start = 0;;) {
    const size_t dash = tail.find('-', start);
    parts.push_back(std::string_view(tail).substr(start, dash == std::string::npos ? dash : dash - start));
    if (dash == std::string::npos) break;
    start = dash + 1;
  }
  const std::string_view decimal = "0123456789";
  const std::string_view hex = "0123456789abcdef";
  if (parts.size() == 2 && parts[0].size() == 16 && allOf(parts[0], hex) && allOf(parts[1], decimal))
    return 0;
  if (parts.size() == 3 && parts[0].size() <= 19 && allOf(parts[0], decimal) && parts[1].size() == 16 &&
      allOf(parts[1], hex) && allOf(parts[2], decimal)) {
    return std::strtoull(std::string(parts[0]).c_str(), nullptr, 10);
  }
  return std::nullopt;
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

void checkFileTarget(const std::filesystem::path& target) {
  std::error_code failed;
  const std::filesystem::path folder = target.parent_path().empty() ? "." : target.parent_path();
  if (std::filesystem::is_directory(target, failed)) {
    throw std::runtime_error(displayPath(target) + ": cannot be written: it is a folder");
  }
  if (!std::filesystem::is_directory(folder, failed)) {
    throw std::runtime_error(displayPath(target) + ": cannot be written: " +
                             (std::filesystem::exists(folder, failed)
                                  ? displayPath(folder) + " is not a folder"
                                  : "there is no folder " + displayPath(folder)));
  }
}

void makeOutputFolder(const std::filesystem::path& folder) {
  std::error_code failed;
  if (std::filesystem::is_directory(folder, failed)) return;
  const std::string prefix = displayPath(folder) + ": cannot be made a folder: ";
  if (std::filesystem::exists(folder, failed))
    throw std::runtime_error(prefix + "a file of that name is in the way");
  std::filesystem::create_directories(folder, failed);
  if (!failed) return;
  // The library's words for a file in the path ("Not a directory") name no file; these do.
  for (std::filesystem::path above = folder.parent_path(); !above.empty(); above = above.parent_path()) {
    std::error_code ignored;
    if (std::filesystem::exists(above, ignored) && !std::filesystem::is_directory(above, ignored)) {
      throw std::runtime_error(prefix + displayPath(above) + " is a file, not a folder");
    }
    if (above == above.parent_path()) break;
  }
  std::string reason = failed.message();
  if (!reason.empty()) reason[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(reason[0])));
  throw std::runtime_error(prefix + reason);
}

void removeAbandonedTemporaries(const std::filesystem::path& folder) noexcept {
  try {
    std::error_code failed;
    std::vector<std::filesystem::path> abandoned;
    for (const auto& entry : std::filesystem::directory_iterator(folder.empty() ? "." : folder, failed)) {
      const auto writer = writerOf(entry.path().filename().string());
      if (writer && (*writer == 0 || (*writer != thisProcess() && !isRunning(*writer)))) {
        abandoned.push_back(entry.path());
      }
    }
    for (const auto& file : abandoned) std::filesystem::remove(file, failed);
  } catch (const std::exception&) {
    // Out of memory while listing: what is left is removed by a later run.
  }
}

}  // namespace tarrow::host
