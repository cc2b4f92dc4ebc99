// The bundled examples that scripts/demo runs must keep giving their verdicts.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "e2e/runner.h"

namespace fennick::e2e {
namespace {

const std::string kExample = std::string(FENNICK_SOURCE_DIR) + "/examples/certificate";

TEST(ExamplesTest, BundledCertificateVerifiesWithEveryInput) {
  const RunResult r =
      run_fennick({"verify-certificate", kExample + "/governance-certificate.json",
                   "--artifact-dir", kExample + "/artifacts", "--platform-jwks",
                   kExample + "/platform-jwks.json", "--corpus-attestation",
                   kExample + "/corpus-attestation.json", "--sbom-dir", kExample + "/app"});
  EXPECT_EQ(r.out,
            "governance certificate VERIFIED (pipeline: run-2024-05-01-0042, status: Complete)\n");
  EXPECT_EQ(r.err.rfind("notice: platform countersign VERIFIED (kid platform-2024-05, platform "
                        "run plat-7781, 2 grant(s) in chain)\n",
                        0),
            0u)
      << r.err;
  EXPECT_NE(r.err.find("  platform seal: present\n"), std::string::npos) << r.err;
  EXPECT_EQ(r.exit_code, 0);
}

TEST(ExamplesTest, BundledCertificateIsRejectedWithoutItsKeySet) {
  const RunResult r =
      run_fennick({"verify-certificate", kExample + "/governance-certificate.json"});
  EXPECT_EQ(r.out, "governance certificate INVALID (1 error(s))\n");
  EXPECT_EQ(r.exit_code, 1);
}

}  // namespace
}  // namespace fennick::e2e
