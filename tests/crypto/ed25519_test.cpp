#include "crypto/ed25519.h"

#include <gtest/gtest.h>
#include <openssl/bn.h>
#include <sodium.h>

#include <algorithm>
#include <memory>
#include <random>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "crypto/vector_files.h"

namespace fennick::crypto {
namespace {

using testing::from_hex;
using testing::JsonValue;
using testing::parse_json;
using testing::read_external;
using testing::to_array;

constexpr std::string_view kCannotDecompress = "signature error: Cannot decompress Edwards point";
constexpr std::string_view kScalarHighBit = "signature error: Cannot use scalar with high-bit set";
constexpr std::string_view kEquationFailed =
    "signature error: Verification equation was not satisfied";

PublicKey key_from_hex(std::string_view hex) { return to_array<32>(from_hex(hex)); }
SignatureBytes sig_from_hex(std::string_view hex) { return to_array<64>(from_hex(hex)); }

struct KeyPair {
  PublicKey public_key;
  std::array<unsigned char, crypto_sign_SECRETKEYBYTES> secret_key;
};

KeyPair key_pair_from_seed(std::string_view seed) {
  if (sodium_init() < 0 || seed.size() != crypto_sign_SEEDBYTES) throw std::runtime_error("seed");
  KeyPair pair{};
  crypto_sign_seed_keypair(pair.public_key.data(), pair.secret_key.data(),
                           reinterpret_cast<const unsigned char*>(seed.data()));
  return pair;
}

SignatureBytes sign(const KeyPair& pair, std::string_view message) {
  SignatureBytes sig{};
  crypto_sign_detached(sig.data(), nullptr, reinterpret_cast<const unsigned char*>(message.data()),
                       message.size(), pair.secret_key.data());
  return sig;
}

std::string describe(const std::optional<std::string>& verdict) {
  return verdict ? *verdict : std::string("accepted");
}

// An independent decoding criterion, in OpenSSL big-number arithmetic: an encoding decodes
// exactly when x^2 = (y^2 - 1) / (d y^2 + 1) has a root mod p, y being the low 255 bits reduced
// mod p (non-canonical y is reduced, not refused; the sign bit only picks the root).
class CurveEquation {
 public:
  CurveEquation() {
    check(BN_set_bit(p_.get(), 255) && BN_sub_word(p_.get(), 19));
    const Bn numerator = make();
    const Bn denominator = make();
    check(BN_set_word(numerator.get(), 121665) &&
          BN_sub(numerator.get(), p_.get(), numerator.get()) &&
          BN_set_word(denominator.get(), 121666) &&
          BN_mod_inverse(denominator.get(), denominator.get(), p_.get(), ctx_.get()) != nullptr &&
          BN_mod_mul(d_.get(), numerator.get(), denominator.get(), p_.get(), ctx_.get()));
    check(BN_copy(half_.get(), p_.get()) != nullptr && BN_sub_word(half_.get(), 1) &&
          BN_rshift1(half_.get(), half_.get()));
  }

  bool decodes(const PublicKey& key) {
    std::array<std::uint8_t, 32> low_bits = key;
    low_bits[31] &= 0x7F;
    const Bn y = make();
    check(BN_lebin2bn(low_bits.data(), 32, y.get()) != nullptr &&
          BN_nnmod(y.get(), y.get(), p_.get(), ctx_.get()));
    const Bn y2 = make(), u = make(), v = make(), ratio = make(), power = make();
    check(BN_mod_sqr(y2.get(), y.get(), p_.get(), ctx_.get()) &&
          BN_mod_sub(u.get(), y2.get(), BN_value_one(), p_.get(), ctx_.get()) &&
          BN_mod_mul(v.get(), d_.get(), y2.get(), p_.get(), ctx_.get()) &&
          BN_mod_add(v.get(), v.get(), BN_value_one(), p_.get(), ctx_.get()));
    if (BN_is_zero(u.get())) return true;
    // Euler's criterion on u/v (v is never zero: -1/d is not a square).
    check(BN_mod_inverse(v.get(), v.get(), p_.get(), ctx_.get()) != nullptr &&
          BN_mod_mul(ratio.get(), u.get(), v.get(), p_.get(), ctx_.get()) &&
          BN_mod_exp(power.get(), ratio.get(), half_.get(), p_.get(), ctx_.get()));
    return BN_is_one(power.get());
  }

  // The encoding of p + offset (offset may be negative) or of a small y, with the sign bit.
  PublicKey encode(long long offset_from_p, bool from_p, bool sign) {
    const Bn y = make();
    if (from_p) {
      check(BN_copy(y.get(), p_.get()) != nullptr);
      check(offset_from_p < 0 ? BN_sub_word(y.get(), static_cast<BN_ULONG>(-offset_from_p))
                              : BN_add_word(y.get(), static_cast<BN_ULONG>(offset_from_p)));
    } else {
      check(BN_set_word(y.get(), static_cast<BN_ULONG>(offset_from_p)));
    }
    PublicKey key{};
    check(BN_bn2lebinpad(y.get(), key.data(), 32) == 32);
    if (sign) key[31] |= 0x80;
    return key;
  }

 private:
  struct BnFree {
    void operator()(BIGNUM* n) const { BN_free(n); }
  };
  struct CtxFree {
    void operator()(BN_CTX* c) const { BN_CTX_free(c); }
  };
  using Bn = std::unique_ptr<BIGNUM, BnFree>;

  static Bn make() {
    Bn n(BN_new());
    check(n != nullptr);
    return n;
  }
  static void check(bool ok) {
    if (!ok) throw std::runtime_error("OpenSSL big-number arithmetic failed");
  }

  std::unique_ptr<BN_CTX, CtxFree> ctx_{BN_CTX_new()};
  Bn p_ = make(), d_ = make(), half_ = make();
};

// The eight small-order points (identity, order 2, 4 and 8), then non-canonical encodings of
// two of them (y = p and y = p + 1).
constexpr std::string_view kSmallOrderEncodings[] = {
    "0100000000000000000000000000000000000000000000000000000000000000",
    "ecffffffffffffffffffffffffffffffffffffffffffffffffffffffffffff7f",
    "0000000000000000000000000000000000000000000000000000000000000000",
    "0000000000000000000000000000000000000000000000000000000000000080",
    "c7176a703d4dd84fba3c0b760d10670f2a2053fa2c39ccc64ec7fd7792ac037a",
    "c7176a703d4dd84fba3c0b760d10670f2a2053fa2c39ccc64ec7fd7792ac03fa",
    "26e8958fc2b227b045c3f489f2ef98f0d5dfac05d3c63339b13802886d53fc05",
    "26e8958fc2b227b045c3f489f2ef98f0d5dfac05d3c63339b13802886d53fc85",
    "edffffffffffffffffffffffffffffffffffffffffffffffffffffffffffff7f",
    "eeffffffffffffffffffffffffffffffffffffffffffffffffffffffffffff7f",
};

TEST(Ed25519PointDecoding, AgreesWithTheCurveEquationOverEdgeRanges) {
  CurveEquation curve;
  int decoded = 0;
  int refused = 0;
  const auto check_key = [&](const PublicKey& key, const std::string& label) {
    const auto verdict = check_point_decodes(key);
    if (curve.decodes(key)) {
      EXPECT_EQ(verdict, std::nullopt) << label;
      ++decoded;
    } else {
      EXPECT_EQ(verdict, std::optional<std::string>(kCannotDecompress)) << label;
      ++refused;
    }
  };
  for (const bool sign : {false, true}) {
    for (long long y = 0; y <= 59; ++y) {
      check_key(curve.encode(y, false, sign), "y=" + std::to_string(y));
    }
    for (long long offset = -29; offset <= 18; ++offset) {
      check_key(curve.encode(offset, true, sign), "y=p" + std::to_string(offset));
    }
  }
  // Both outcomes must occur, also among the encodings at or above p.
  EXPECT_GT(decoded, 50);
  EXPECT_GT(refused, 50);

  std::mt19937_64 random(0x5eed);
  for (int i = 0; i < 2000; ++i) {
    PublicKey key{};
    std::generate(key.begin(), key.end(), [&] { return static_cast<std::uint8_t>(random()); });
    check_key(key, "random key " + std::to_string(i));
  }
}

TEST(Ed25519PointDecoding, SmallOrderKeysDecodeButNeverVerify) {
  CurveEquation curve;
  const auto zero_scalar = sig_from_hex(std::string(128, '0'));
  for (const auto hex : kSmallOrderEncodings) {
    const PublicKey key = key_from_hex(hex);
    EXPECT_TRUE(curve.decodes(key)) << hex;
    EXPECT_EQ(check_point_decodes(key), std::nullopt) << hex;
    // With R the identity and s = 0 the cofactorless equation holds for any small-order key;
    // strict verification must still refuse it.
    SignatureBytes sig = zero_scalar;
    sig[0] = 0x01;
    EXPECT_EQ(verify_strict(key, "message", sig), std::optional<std::string>(kEquationFailed))
        << hex;
  }
}

TEST(Ed25519PointDecoding, ValuesAtOrAbovePWithoutRootFail) {
  CurveEquation curve;
  int refused_at_or_above_p = 0;
  for (long long offset = 0; offset <= 18; ++offset) {
    const PublicKey key = curve.encode(offset, true, false);
    if (curve.decodes(key)) continue;
    ++refused_at_or_above_p;
    EXPECT_EQ(check_point_decodes(key), std::optional<std::string>(kCannotDecompress)) << offset;
  }
  EXPECT_GT(refused_at_or_above_p, 0);
}

TEST(Ed25519Verify, ChecksScalarRangeThenKeyThenEquation) {
  const KeyPair pair = key_pair_from_seed(std::string(32, '\x07'));
  const SignatureBytes good = sign(pair, "payload");
  EXPECT_EQ(verify_strict(pair.public_key, "payload", good), std::nullopt);
  EXPECT_EQ(verify_strict(pair.public_key, "payloae", good),
            std::optional<std::string>(kEquationFailed));
  EXPECT_EQ(verify_strict(pair.public_key, "", good), std::optional<std::string>(kEquationFailed));

  // s = L, and s + L (the malleated twin of a valid signature) are out of range, whatever the
  // rest; s = L - 1 is in range and merely wrong.
  const std::string order_hex = "edd3f55c1a631258d69cf7a2def9de1400000000000000000000000000000010";
  SignatureBytes at_order = good;
  const std::string order = from_hex(order_hex);
  std::copy(order.begin(), order.end(), at_order.begin() + 32);
  EXPECT_EQ(verify_strict(pair.public_key, "payload", at_order),
            std::optional<std::string>(kScalarHighBit));
  SignatureBytes below_order = at_order;
  below_order[32] = 0xec;
  EXPECT_EQ(verify_strict(pair.public_key, "payload", below_order),
            std::optional<std::string>(kEquationFailed));
  SignatureBytes malleated = good;
  unsigned carry = 0;
  for (std::size_t i = 0; i < 32; ++i) {
    const unsigned sum = malleated[32 + i] + static_cast<unsigned char>(order[i]) + carry;
    malleated[32 + i] = static_cast<std::uint8_t>(sum & 0xFF);
    carry = sum >> 8;
  }
  EXPECT_EQ(verify_strict(pair.public_key, "payload", malleated),
            std::optional<std::string>(kScalarHighBit));

  // A key that is not a point: named as such, but only after the scalar range.
  CurveEquation curve;
  PublicKey not_a_point{};
  for (long long y = 2;; ++y) {
    not_a_point = curve.encode(y, false, false);
    if (!curve.decodes(not_a_point)) break;
  }
  EXPECT_EQ(verify_strict(not_a_point, "payload", good),
            std::optional<std::string>(kCannotDecompress));
  EXPECT_EQ(verify_strict(not_a_point, "payload", at_order),
            std::optional<std::string>(kScalarHighBit));

  // Any single flipped bit of key, R or s fails.
  for (std::size_t bit = 0; bit < 256; bit += 7) {
    PublicKey key = pair.public_key;
    key[bit / 8] ^= static_cast<std::uint8_t>(1u << (bit % 8));
    EXPECT_NE(verify_strict(key, "payload", good), std::nullopt) << "key bit " << bit;
  }
  for (std::size_t bit = 0; bit < 512; bit += 5) {
    SignatureBytes sig = good;
    sig[bit / 8] ^= static_cast<std::uint8_t>(1u << (bit % 8));
    EXPECT_NE(verify_strict(pair.public_key, "payload", sig), std::nullopt) << "sig bit " << bit;
  }
}

TEST(Ed25519Vectors, Rfc8032) {
  const auto file = read_external("ed25519-rfc8032/rfc8032-7.1-ed25519.json");
  if (!file) GTEST_SKIP() << "external vectors absent: " << FENNICK_EXTERNAL_DIR;
  const auto vectors = parse_json(*file).at("vectors");
  ASSERT_EQ(vectors.items.size(), 5u);
  for (const auto& v : vectors.items) {
    SCOPED_TRACE(v.at("name").text);
    const KeyPair pair = key_pair_from_seed(from_hex(v.at("secret_key").text));
    const PublicKey key = key_from_hex(v.at("public_key").text);
    const std::string message = from_hex(v.at("message").text);
    const SignatureBytes sig = sig_from_hex(v.at("signature").text);
    ASSERT_EQ(message.size(), static_cast<std::size_t>(v.at("message_length").number()));
    EXPECT_EQ(pair.public_key, key);
    EXPECT_EQ(sign(pair, message), sig);
    EXPECT_EQ(check_point_decodes(key), std::nullopt);
    EXPECT_EQ(verify_strict(key, message, sig), std::nullopt);
    EXPECT_EQ(verify_strict(key, message + '\0', sig), std::optional<std::string>(kEquationFailed));
  }
}

TEST(Ed25519Vectors, SignInputLinesAllVerify) {
  const auto file = read_external("ed25519-sign-input/TESTVECTORS");
  if (!file) GTEST_SKIP() << "external vectors absent: " << FENNICK_EXTERNAL_DIR;
  std::size_t lines = 0;
  std::size_t start = 0;
  while (start < file->size()) {
    std::size_t end = file->find('\n', start);
    if (end == std::string::npos) end = file->size();
    const std::string_view line = std::string_view(*file).substr(start, end - start);
    start = end + 1;
    if (line.empty()) continue;
    ++lines;
    // secret||public : public : message : signature||message :
    std::vector<std::string_view> fields;
    for (std::size_t from = 0, colon; (colon = line.find(':', from)) != line.npos;
         from = colon + 1) {
      fields.push_back(line.substr(from, colon - from));
    }
    ASSERT_EQ(fields.size(), 4u) << "line " << lines;
    const std::string secret = from_hex(fields[0]);
    const PublicKey key = key_from_hex(fields[1]);
    const std::string message = from_hex(fields[2]);
    const std::string signed_message = from_hex(fields[3]);
    ASSERT_EQ(signed_message.size(), 64 + message.size()) << "line " << lines;
    ASSERT_EQ(signed_message.substr(64), message) << "line " << lines;
    const SignatureBytes sig = to_array<64>(signed_message.substr(0, 64));

    const KeyPair pair = key_pair_from_seed(secret.substr(0, 32));
    EXPECT_EQ(pair.public_key, key) << "line " << lines;
    EXPECT_EQ(to_array<32>(secret.substr(32)), key) << "line " << lines;
    EXPECT_EQ(sign(pair, message), sig) << "line " << lines;
    EXPECT_EQ(verify_strict(key, message, sig), std::nullopt) << "line " << lines;
  }
  EXPECT_EQ(lines, 128u);
}

TEST(Ed25519Vectors, WycheproofResults) {
  const auto file = read_external("ed25519-wycheproof/ed25519_test.json");
  if (!file) GTEST_SKIP() << "external vectors absent: " << FENNICK_EXTERNAL_DIR;
  const auto groups = parse_json(*file).at("testGroups");
  std::size_t cases = 0;
  std::size_t accepted = 0;
  for (const auto& group : groups.items) {
    const PublicKey key = key_from_hex(group.at("publicKey").at("pk").text);
    for (const auto& test : group.at("tests").items) {
      ++cases;
      const std::string& result = test.at("result").text;
      ASSERT_TRUE(result == "valid" || result == "invalid") << result;
      const std::string sig_bytes = from_hex(test.at("sig").text);
      SCOPED_TRACE("tcId " + test.at("tcId").text + ": " + test.at("comment").text);
      // Callers refuse a signature that is not 64 bytes before it reaches verification.
      if (sig_bytes.size() != 64) {
        EXPECT_EQ(result, "invalid");
        continue;
      }
      const auto verdict =
          verify_strict(key, from_hex(test.at("msg").text), to_array<64>(sig_bytes));
      EXPECT_EQ(!verdict.has_value(), result == "valid") << describe(verdict);
      if (!verdict) ++accepted;
    }
  }
  EXPECT_EQ(cases, 151u);
  EXPECT_EQ(accepted, 88u);
}

TEST(Ed25519Vectors, SpeccheckAcceptsOnlyCase3) {
  const auto file = read_external("ed25519-speccheck/cases.json");
  if (!file) GTEST_SKIP() << "external vectors absent: " << FENNICK_EXTERNAL_DIR;
  const auto cases = parse_json(*file);
  ASSERT_EQ(cases.items.size(), 12u);
  CurveEquation curve;
  for (std::size_t i = 0; i < cases.items.size(); ++i) {
    const auto& c = cases.items[i];
    const PublicKey key = key_from_hex(c.at("pub_key").text);
    const auto verdict =
        verify_strict(key, from_hex(c.at("message").text), sig_from_hex(c.at("signature").text));
    if (i == 3) {
      EXPECT_EQ(verdict, std::nullopt) << "case 3";
    } else if (i == 6 || i == 7) {
      // S out of range.
      EXPECT_EQ(verdict, std::optional<std::string>(kScalarHighBit)) << "case " << i;
    } else {
      const std::string_view expected = curve.decodes(key) ? kEquationFailed : kCannotDecompress;
      EXPECT_EQ(verdict, std::optional<std::string>(expected)) << "case " << i;
    }
  }
}

TEST(Ed25519Vectors, CctvAcceptsExactlyLowOrderComponents) {
  const auto file = read_external("ed25519-cctv/ed25519vectors.json");
  if (!file) GTEST_SKIP() << "external vectors absent: " << FENNICK_EXTERNAL_DIR;
  const auto vectors = parse_json(*file);
  ASSERT_EQ(vectors.items.size(), 914u);
  const std::set<std::string> harmless = {"low_order_component_A", "low_order_component_R"};
  std::size_t accepted = 0;
  for (const auto& v : vectors.items) {
    const bool expect_accept =
        std::all_of(v.at("flags").items.begin(), v.at("flags").items.end(),
                    [&](const JsonValue& flag) { return harmless.count(flag.text) == 1; });
    const PublicKey key = key_from_hex(v.at("key").text);
    // Every key here, non-canonical ones included, is a curve point; refusals come later.
    EXPECT_EQ(check_point_decodes(key), std::nullopt) << "vector " << v.at("number").text;
    const auto verdict = verify_strict(key, v.at("msg").text, sig_from_hex(v.at("sig").text));
    EXPECT_EQ(!verdict.has_value(), expect_accept)
        << "vector " << v.at("number").text << ": " << describe(verdict);
    if (!verdict) ++accepted;
  }
  EXPECT_EQ(accepted, 43u);
}

}  // namespace
}  // namespace fennick::crypto
