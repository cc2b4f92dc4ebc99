// The whole certificate verification on an arbitrary certificate file, with an artifact
// directory, an SBOM directory, an attestation and the fixed key set of keys.h. Property: every
// file system access the verification makes stays inside the two directories it was given.
//
// The target is linked with --wrap for open, opendir and stat, so every such call from fennick's
// own code passes through the checks below first (calls inside shared libraries do not, and
// fennick reads nothing through them).

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "certificate/records.h"
#include "certificate/verify.h"
#include "check.h"
#include "keys.h"

extern "C" int __real_open(const char* path, int flags, ...);
extern "C" DIR* __real_opendir(const char* path);
extern "C" int __real_stat(const char* path, struct stat* info);

namespace {

class Sandbox {
 public:
  Sandbox() {
    const char* tmp = std::getenv("TMPDIR");
    root_ = std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/fennick-verify-XXXXXX";
    FENNICK_FUZZ_CHECK(mkdtemp(root_.data()) != nullptr);
    artifacts_ = root_ + "/artifacts";
    sbom_ = root_ + "/sbom";
    for (const std::string& dir : {artifacts_, artifacts_ + "/build", artifacts_ + "/test", sbom_,
                                   sbom_ + "/.factory", root_ + "/outside"}) {
      FENNICK_FUZZ_CHECK(mkdir(dir.c_str(), 0700) == 0);
    }
    put(artifacts_ + "/build/app.bin", "app");
    put(artifacts_ + "/test/report.txt", "ok");
    put(sbom_ + "/.factory/sbom.cdx.json", R"({"components":[{"purl":"pkg:npm/left-pad@1"}]})");
    put(sbom_ + "/.factory/audit.json", "{}");
    // What a path that escapes the artifact directory would find.
    put(root_ + "/outside/secret", "secret");
  }
  Sandbox(const Sandbox&) = delete;
  Sandbox& operator=(const Sandbox&) = delete;
  // The directories are left behind on purpose: libFuzzer ends the process with exit(), and the
  // few bytes in TMPDIR are not worth a recursive removal here.

  const std::string& artifacts() const { return artifacts_; }
  const std::string& sbom() const { return sbom_; }

  bool confined(std::string_view path) const {
    return inside(path, artifacts_) || inside(path, sbom_);
  }

  bool checking = false;

 private:
  static void put(const std::string& path, std::string_view content) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    FENNICK_FUZZ_CHECK(f != nullptr);
    FENNICK_FUZZ_CHECK(std::fwrite(content.data(), 1, content.size(), f) == content.size());
    FENNICK_FUZZ_CHECK(std::fclose(f) == 0);
  }

  // The directory itself or a path below it with no ".." component.
  static bool inside(std::string_view path, std::string_view dir) {
    if (!path.starts_with(dir)) return false;
    path.remove_prefix(dir.size());
    if (path.empty()) return true;
    if (path.front() != '/') return false;
    while (!path.empty()) {
      path.remove_prefix(1);
      const std::size_t slash = path.find('/');
      if (path.substr(0, slash) == "..") return false;
      if (slash == std::string_view::npos) break;
      path.remove_prefix(slash);
    }
    return true;
  }

  std::string root_;
  std::string artifacts_;
  std::string sbom_;
};

Sandbox& sandbox() {
  static Sandbox box;
  return box;
}

void check_access(const char* path) {
  if (!sandbox().checking || sandbox().confined(path)) return;
  std::fprintf(stderr, "access outside the given directories: %s\n", path);
  __builtin_trap();
}

}  // namespace

extern "C" int __wrap_open(const char* path, int flags, ...) {
  check_access(path);
  mode_t mode = 0;
  if ((flags & O_CREAT) != 0 || (flags & O_TMPFILE) == O_TMPFILE) {
    va_list args;
    va_start(args, flags);
    mode = static_cast<mode_t>(va_arg(args, int));
    va_end(args);
  }
  return __real_open(path, flags, mode);
}

extern "C" DIR* __wrap_opendir(const char* path) {
  check_access(path);
  return __real_opendir(path);
}

extern "C" int __wrap_stat(const char* path, struct stat* info) {
  check_access(path);
  return __real_stat(path, info);
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const fennick::certificate::PlatformJwks jwks = fennick::fuzz::fixed_key_set();
  Sandbox& box = sandbox();
  const auto certificate =
      fennick::certificate::read_certificate_json(fennick::fuzz::as_text(data, size));
  if (!certificate.ok()) return 0;
  box.checking = true;
  const auto outcome = fennick::certificate::verify_certificate(
      *certificate, box.artifacts(), jwks, /*seal_required=*/true, std::string("attestation"),
      box.sbom());
  box.checking = false;
  FENNICK_FUZZ_CHECK(outcome.ok == outcome.errors.empty());
  return 0;
}
