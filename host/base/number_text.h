// Numbers as the host writes them in every file and message: decimals in the shortest form that
// reads back as the same value, and ids and codes in hexadecimal.
#pragma once

#include <charconv>
#include <cstdint>
#include <string>
#include <type_traits>

namespace tarrow::host {

// The shortest text that reads back as exactly this value ("0.1", "-0", "1e+300"); a float is
// written as a float, so 0.1f stays "0.1" instead of the double it widens to.
template <typename Number>
requires std::is_arithmetic_v<Number>
void appendNumber(std::string& out, Number value) {
  char text[32];  // the longest, a double like -2.2250738585072014e-308, takes 24
  const auto written = std::to_chars(text, text + sizeof text, value);
  out.append(text, written.ptr);
}

template <typename Number>
requires std::is_arithmetic_v<Number> std::string numberText(Number value) {
  std::string text;
  appendNumber(text, value);
  return text;
}

// An unsigned number as the host's block writer gives it in a text scene: upper-case
// hexadecimal digits without "0x" or padding ("10000003").
std::string hexDigits(uint32_t value);

// A panel's control and hint ids, as the user names them in --set and --press: "0x8001".
std::string hexId(uint32_t id);
// A code word of the module file's header, all eight digits: "0x04121994".
std::string hexCode(uint32_t code);

}  // namespace tarrow::host
