// Files the host writes as a result (OBJ frames, previews, saved scenes) appear whole or not at
// all: the content goes to a temporary name in the target's folder, so that the rename over the
// target cannot cross file systems, and a reader never sees half a file.
#pragma once

#include <filesystem>
#include <string_view>

namespace tarrow::host {

// One file on its way to its target. Until commit() the target stays as it was; a file never
// committed takes its temporary with it. Errors are std::runtime_error naming the target.
class AtomicFile {
 public:
  explicit AtomicFile(std::filesystem::path target);
  ~AtomicFile();
  AtomicFile(AtomicFile&& other) noexcept;
  AtomicFile& operator=(AtomicFile&& other) noexcept;

  const std::filesystem::path& target() const { return target_; }
  // Where to write, for writers that open the file themselves.
  const std::filesystem::path& temporary() const { return temporary_; }

  void write(std::string_view content);
  // Renames the temporary over the target.
  void commit();
  // Removes the temporary; the target stays as it was.
  void discard() noexcept;

 private:
  std::filesystem::path target_;
  std::filesystem::path temporary_;  // empty once committed or discarded
};

void writeFileAtomically(const std::filesystem::path& target, std::string_view content);

// Throws std::runtime_error, in the host's words and naming the target, unless a file can be put
// at target: its folder is there and target is no folder. Checked for every destination before
// a command replaces any of them, so that one that cannot be written leaves all as they were.
void checkFileTarget(const std::filesystem::path& target);

// Makes folder and the folders above it as needed, for files to be written in. Throws
// std::runtime_error in the host's words: "out/x: cannot be made a folder: REASON".
void makeOutputFolder(const std::filesystem::path& folder);

// A temporary is named ".<target's name>.tarrow-partial-<process id>-<unique suffix>". Removes
// from folder the temporaries of processes that have ended without removing them (killed, or
// from a build that did not name its process); those of a running process are left to it.
void removeAbandonedTemporaries(const std::filesystem::path& folder) noexcept;

}  // namespace tarrow::host
