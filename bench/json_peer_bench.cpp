// fennick's certificate reading and canonical writing beside a general JSON library (RapidJSON)
// on the synthetic certificate of certificate_bench.cpp. bench/json_peer.sh runs one measurement
// per fresh process, so each starts on a heap that has not been faulted in, as a user's run does.
//   json_peer_bench generate FILE   writes the synthetic certificate
//   json_peer_bench MODE FILE       one measurement; prints "MODE SECONDS BYTES"
// MODE: fennick-read (read_certificate_json into records, freeing included), fennick-write
// (write_certificate_json of the records read beforehand), rapidjson-parse (parse into its DOM,
// freeing included), rapidjson-write (its Writer over the DOM parsed beforehand). The file is
// loaded before the clock starts; exit 1 when a step fails.

#include <rapidjson/document.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>

#include "certificate/canonical.h"
#include "certificate/records.h"
#include "json/text.h"
#include "synthetic_certificate.h"

namespace {

using Clock = std::chrono::steady_clock;

std::optional<std::string> load(const char* path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

double seconds_since(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

int fail(const char* mode, const std::string& why) {
  std::fprintf(stderr, "json_peer_bench %s: %s\n", mode, why.c_str());
  return 1;
}

int fennick_read(const std::string& text) {
  // fennick keeps the bytes it read as the records' text, so they are handed over as a kept
  // text, loaded before the clock starts like the peer's input.
  const fennick::json::KeptText kept = fennick::json::KeptText::copy_of(text);
  const auto start = Clock::now();
  {
    auto read = fennick::certificate::read_certificate_json(kept);
    if (!read.ok()) return fail("fennick-read", read.error().to_string());
  }
  std::printf("fennick-read %.6f %zu\n", seconds_since(start), text.size());
  return 0;
}

int fennick_write(const std::string& text) {
  auto read = fennick::certificate::read_certificate_json(text);
  if (!read.ok()) return fail("fennick-write", read.error().to_string());
  const auto start = Clock::now();
  bool same = false;
  {
    auto written = fennick::certificate::write_certificate_json(*read);
    if (!written.ok()) return fail("fennick-write", written.error());
    same = *written == text;
  }
  const double took = seconds_since(start);
  // The input is canonical text, so writing its records back must give it byte for byte.
  if (!same) return fail("fennick-write", "the canonical text differs from the input");
  std::printf("fennick-write %.6f %zu\n", took, text.size());
  return 0;
}

int rapidjson_parse(const std::string& text) {
  const auto start = Clock::now();
  {
    rapidjson::Document document;
    document.Parse(text.data(), text.size());
    if (document.HasParseError()) return fail("rapidjson-parse", "the text does not parse");
  }
  std::printf("rapidjson-parse %.6f %zu\n", seconds_since(start), text.size());
  return 0;
}

int rapidjson_write(const std::string& text) {
  rapidjson::Document document;
  document.Parse(text.data(), text.size());
  if (document.HasParseError()) return fail("rapidjson-write", "the text does not parse");
  const auto start = Clock::now();
  bool same = false;
  {
    rapidjson::StringBuffer buffer;
    rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
    if (!document.Accept(writer)) return fail("rapidjson-write", "the writer stopped");
    same = std::string_view(buffer.GetString(), buffer.GetSize()) == text;
  }
  const double took = seconds_since(start);
  // Members keep their order in the DOM, so the compact text is the input again.
  if (!same) return fail("rapidjson-write", "the written text differs from the input");
  std::printf("rapidjson-write %.6f %zu\n", took, text.size());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr,
                 "usage: %s generate FILE\n"
                 "       %s fennick-read|fennick-write|rapidjson-parse|rapidjson-write FILE\n",
                 argv[0], argv[0]);
    return 2;
  }
  const std::string_view mode = argv[1];
  if (mode == "generate") {
    const std::string text = fennick::bench::synthetic_certificate_text();
    std::ofstream out(argv[2], std::ios::binary);
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    return out.good() ? 0 : fail("generate", std::string("cannot write ") + argv[2]);
  }
  const std::optional<std::string> text = load(argv[2]);
  if (!text) return fail(argv[1], std::string("cannot read ") + argv[2]);
  if (mode == "fennick-read") return fennick_read(*text);
  if (mode == "fennick-write") return fennick_write(*text);
  if (mode == "rapidjson-parse") return rapidjson_parse(*text);
  if (mode == "rapidjson-write") return rapidjson_write(*text);
  return fail(argv[1], "unknown mode");
}
