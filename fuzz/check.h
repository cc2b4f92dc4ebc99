#pragma once
// Shared pieces of the fuzz targets. A broken property traps, so that libFuzzer treats it as a
// crash and keeps the input that broke it.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string_view>

#define FENNICK_FUZZ_CHECK(cond)                                                             \
  do {                                                                                       \
    if (!(cond)) {                                                                           \
      std::fprintf(stderr, "fuzz property failed: %s (%s:%d)\n", #cond, __FILE__, __LINE__); \
      __builtin_trap();                                                                      \
    }                                                                                        \
  } while (0)

namespace fennick::fuzz {

inline std::string_view as_text(const std::uint8_t* data, std::size_t size) {
  return std::string_view(reinterpret_cast<const char*>(data), size);
}

}  // namespace fennick::fuzz
