// Writes LightWave object files byte by byte for the tests and the benchmark: IFF, big-endian,
// chunks padded to even length. Independent of the reader: it knows only the file layout.
#pragma once

#include <bit>
#include <cstdint>
#include <string>

namespace tarrow::host::lwo_bytes {

class Bytes {
 public:
  Bytes& id(const char (&tag)[5]) { return raw(std::string(tag, 4)); }
  Bytes& u2(uint32_t value) {
    data_ += static_cast<char>(value >> 8 & 0xFF);
    data_ += static_cast<char>(value & 0xFF);
    return *this;
  }
  Bytes& u4(uint32_t value) { return u2(value >> 16).u2(value & 0xFFFF); }
  Bytes& f4(float value) { return u4(std::bit_cast<uint32_t>(value)); }
  Bytes& vec(float x, float y, float z) { return f4(x).f4(y).f4(z); }
  // A zero-terminated string padded to even length.
  Bytes& s0(const std::string& text) {
    data_ += text;
    data_ += '\0';
    if (data_.size() % 2 != 0) data_ += '\0';
    return *this;
  }
  // An index: two bytes below 0xFF00, else four with 0xFF first; wide forces the four.
  Bytes& vx(uint32_t index, bool wide = false) {
    return index < 0xFF00 && !wide ? u2(index) : u4(0xFF000000u | index);
  }
  Bytes& raw(const std::string& bytes) {
    data_ += bytes;
    return *this;
  }
  const std::string& str() const { return data_; }
  size_t size() const { return data_.size(); }

 private:
  std::string data_;
};

// A chunk: tag, size, data, and a pad byte when the size is odd.
inline std::string chunk(const char (&tag)[5], const Bytes& data) {
  Bytes out;
  out.id(tag).u4(static_cast<uint32_t>(data.size())).raw(data.str());
  if (data.size() % 2 != 0) out.raw(std::string(1, '\0'));
  return out.str();
}

// A whole file: FORM, its size, the form type and the chunks.
inline std::string form(const char (&type)[5], const std::string& chunks) {
  Bytes out;
  out.id("FORM").u4(static_cast<uint32_t>(4 + chunks.size())).id(type).raw(chunks);
  return out.str();
}

}  // namespace tarrow::host::lwo_bytes
