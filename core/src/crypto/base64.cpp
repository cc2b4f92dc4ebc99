#include "crypto/base64.h"

#include <array>
#include <cstdint>

namespace fennick::crypto {

namespace {

constexpr std::string_view kStandardSymbols =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr std::string_view kUrlSymbols =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";
constexpr unsigned char kPad = '=';
constexpr std::uint8_t kNotASymbol = 0xFF;

using DecodeTable = std::array<std::uint8_t, 256>;

constexpr DecodeTable make_decode_table(std::string_view symbols) {
  DecodeTable table{};
  table.fill(kNotASymbol);
  for (std::size_t i = 0; i < symbols.size(); ++i) {
    table[static_cast<unsigned char>(symbols[i])] = static_cast<std::uint8_t>(i);
  }
  return table;
}

constexpr DecodeTable kStandardTable = make_decode_table(kStandardSymbols);
constexpr DecodeTable kUrlTable = make_decode_table(kUrlSymbols);

enum class Padding { kCanonical, kNone };

std::string invalid_symbol(std::size_t offset, unsigned char byte) {
  return "Invalid symbol " + std::to_string(byte) + ", offset " + std::to_string(offset) + ".";
}

fennick::Result<std::string> decode(std::string_view text, const DecodeTable& table,
                                    Padding padding) {
  const auto byte_at = [text](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const std::size_t length = text.size();
  const std::size_t remainder = length % 4;

  // A stray trailing byte (a line feed, say) is reported as that byte, not as a bad length.
  if (remainder == 1) {
    const unsigned char last = byte_at(length - 1);
    if (last != kPad && table[last] == kNotASymbol) return Err{invalid_symbol(length - 1, last)};
  }

  // Every group of four before the final one must be four symbols; padding may only end the text.
  std::size_t body = length - remainder;
  if (remainder == 0 && body >= 4) body -= 4;

  std::string out;
  out.reserve(length / 4 * 3 + 3);
  for (std::size_t group = 0; group < body; group += 4) {
    std::uint32_t bits = 0;
    for (std::size_t i = group; i < group + 4; ++i) {
      const std::uint8_t value = table[byte_at(i)];
      if (value == kNotASymbol) return Err{invalid_symbol(i, byte_at(i))};
      bits = (bits << 6) | value;
    }
    out.push_back(static_cast<char>(bits >> 16));
    out.push_back(static_cast<char>((bits >> 8) & 0xFF));
    out.push_back(static_cast<char>(bits & 0xFF));
  }

  // The final group: 2 to 4 symbols, then padding only.
  std::array<std::uint8_t, 4> values{};
  std::size_t symbols = 0;
  std::size_t pads = 0;
  std::size_t first_pad = 0;
  unsigned char last_symbol = 0;
  for (std::size_t i = body; i < length; ++i) {
    const unsigned char byte = byte_at(i);
    if (byte == kPad) {
      if (i - body < 2) return Err{invalid_symbol(i, byte)};
      if (pads == 0) first_pad = i;
      ++pads;
      continue;
    }
    if (pads > 0) return Err{invalid_symbol(first_pad, kPad)};
    const std::uint8_t value = table[byte];
    if (value == kNotASymbol) return Err{invalid_symbol(i, byte)};
    values[symbols++] = value;
    last_symbol = byte;
  }
  if (length == 0) return out;
  if (symbols < 2) return Err{"Invalid input length: " + std::to_string(body + symbols)};
  if (padding == Padding::kCanonical && (symbols + pads) % 4 != 0) return Err{"Invalid padding"};
  if (padding == Padding::kNone && pads > 0) return Err{"Invalid padding"};

  const std::uint32_t bits = (std::uint32_t{values[0]} << 18) | (std::uint32_t{values[1]} << 12) |
                             (std::uint32_t{values[2]} << 6) | std::uint32_t{values[3]};
  const std::size_t tail_bytes = symbols * 6 / 8;
  // Bits below the last whole byte carry no data; accepting them would give one byte string
  // several texts.
  const std::uint32_t unused_bits = (std::uint32_t{1} << (24 - 8 * tail_bytes)) - 1;
  if ((bits & unused_bits) != 0) {
    return Err{"Invalid last symbol " + std::to_string(last_symbol) + ", offset " +
               std::to_string(body + symbols - 1) + "."};
  }
  for (std::size_t i = 0; i < tail_bytes; ++i) {
    out.push_back(static_cast<char>((bits >> (16 - 8 * i)) & 0xFF));
  }
  return out;
}

std::string encode(std::string_view bytes, std::string_view symbols, Padding padding) {
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  const auto byte_at = [bytes](std::size_t i) {
    return std::uint32_t{static_cast<unsigned char>(bytes[i])};
  };
  std::size_t i = 0;
  for (; i + 3 <= bytes.size(); i += 3) {
    const std::uint32_t bits = (byte_at(i) << 16) | (byte_at(i + 1) << 8) | byte_at(i + 2);
    out.push_back(symbols[bits >> 18]);
    out.push_back(symbols[(bits >> 12) & 0x3F]);
    out.push_back(symbols[(bits >> 6) & 0x3F]);
    out.push_back(symbols[bits & 0x3F]);
  }
  const std::size_t rest = bytes.size() - i;
  if (rest == 0) return out;
  const std::uint32_t bits = (byte_at(i) << 16) | (rest == 2 ? byte_at(i + 1) << 8 : 0);
  out.push_back(symbols[bits >> 18]);
  out.push_back(symbols[(bits >> 12) & 0x3F]);
  if (rest == 2) out.push_back(symbols[(bits >> 6) & 0x3F]);
  if (padding == Padding::kCanonical) out.append(3 - rest, static_cast<char>(kPad));
  return out;
}

}  // namespace

fennick::Result<std::string> decode_base64_standard(std::string_view text) {
  return decode(text, kStandardTable, Padding::kCanonical);
}

fennick::Result<std::string> decode_base64_url(std::string_view text) {
  return decode(text, kUrlTable, Padding::kNone);
}

std::string encode_base64_standard(std::string_view bytes) {
  return encode(bytes, kStandardSymbols, Padding::kCanonical);
}

std::string encode_base64_url(std::string_view bytes) {
  return encode(bytes, kUrlSymbols, Padding::kNone);
}

}  // namespace fennick::crypto
