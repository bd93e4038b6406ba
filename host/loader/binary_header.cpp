#include "host/loader/binary_header.h"

#include <array>
#include <cstdint>
#include <fstream>

namespace tarrow::host {
namespace {

// Machine codes of the two executable formats, for this host's processor and for naming others.
struct Machine {
  uint16_t elf;
  uint16_t pe;
  const char* name;
};
constexpr std::array<Machine, 4> kKnownMachines{{
    {3, 0x14c, "x86 (32-bit)"},
    {62, 0x8664, "x86-64"},
    {40, 0x1c4, "ARM (32-bit)"},
    {183, 0xaa64, "AArch64"},
}};

#if defined(__x86_64__) || defined(_M_X64)
constexpr const char* kHostMachine = "x86-64";
#elif defined(__aarch64__) || defined(_M_ARM64)
constexpr const char* kHostMachine = "AArch64";
#else
constexpr const char* kHostMachine = nullptr;  // no check: the loader's own reason will do
#endif

std::string machineName(uint16_t code, bool elf) {
  for (const Machine& machine : kKnownMachines) {
    if ((elf ? machine.elf : machine.pe) == code) return machine.name;
  }
  return "machine code " + std::to_string(code);
}

std::optional<std::string> wrongMachine(uint16_t code, bool elf) {
  if (kHostMachine == nullptr) return std::nullopt;
  std::string name = machineName(code, elf);
  if (name == kHostMachine) return std::nullopt;
  return "is built for " + name + ", but this host runs on " + kHostMachine;
}

uint32_t littleEndian(std::string_view bytes, size_t offset, size_t width) {
  uint32_t value = 0;
  for (size_t i = width; i-- > 0;) value = (value << 8) | static_cast<unsigned char>(bytes[offset + i]);
  return value;
}

bool isElf(std::string_view bytes) {
  return bytes.substr(0, 4) == std::string_view(
                                   "\x7f"
                                   "ELF",
                                   4);
}
bool isDosProgram(std::string_view bytes) { return bytes.substr(0, 2) == "MZ"; }

[[maybe_unused]] std::optional<std::string> checkElf(std::string_view bytes) {
  constexpr size_t kClassAt = 4, kDataAt = 5, kMachineAt = 18;
  if (bytes.size() < kMachineAt + 2) return "is too short to be a shared library";
  if (bytes[kClassAt] != 2) return "is a 32-bit ELF file, but this host loads 64-bit modules";
  if (bytes[kDataAt] != 1) return "is a big-endian ELF file, but this host is little-endian";
  return wrongMachine(static_cast<uint16_t>(littleEndian(bytes, kMachineAt, 2)), true);
}

[[maybe_unused]] std::optional<std::string> checkPe(std::string_view bytes) {
  constexpr size_t kPeOffsetAt = 0x3c;
  if (bytes.size() < kPeOffsetAt + 4) return "is too short to be a DLL";
  const size_t peAt = littleEndian(bytes, kPeOffsetAt, 4);
  if (peAt > bytes.size() || bytes.size() - peAt < 6 ||
      bytes.substr(peAt, 4) != std::string_view("PE\0\0", 4)) {
    return "is a DOS program, not a Windows DLL";
  }
  return wrongMachine(static_cast<uint16_t>(littleEndian(bytes, peAt + 4, 2)), false);
}

}  // namespace

std::optional<std::string> incompatibleLibraryHeader(std::string_view bytes) {
  if (bytes.empty()) return "is empty";
#ifdef _WIN32
  if (isDosProgram(bytes)) return checkPe(bytes);
  if (isElf(bytes)) return "is an ELF shared object (Linux), not a Windows DLL";
  return "is not a library (no DLL header)";
#else
  if (isElf(bytes)) return checkElf(bytes);
  if (isDosProgram(bytes)) return "is a Windows DLL, not an ELF shared object";
  return "is not a shared library (no ELF header)";
#endif
}

std::optional<std::string> incompatibleLibraryFile(const std::filesystem::path& file) {
  // Enough for the headers of both formats, including a PE header behind a long DOS stub.
  constexpr std::streamsize kHeaderBytes = std::streamsize{64} * 1024;
  std::ifstream in(file, std::ios::binary);
  if (!in) return "cannot be opened for reading";
  std::string bytes(static_cast<size_t>(kHeaderBytes), '\0');
  in.read(bytes.data(), kHeaderBytes);
  bytes.resize(static_cast<size_t>(in.gcount()));
  return incompatibleLibraryHeader(bytes);
}

}  // namespace tarrow::host
