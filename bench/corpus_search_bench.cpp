// Corpus search and allowlist building over a large extraction corpus: the one pass over all terms,
// the lower-cased line cache searched per term, lower-casing every line for every term, and the
// corpus scan of the effective allowlist.
//
//   corpus_search_bench --generate=DIR [--documents=N] [--megabytes=M] [--no-text]
//       writes DIR/corpus/*.json (typed documents), DIR/text/*.txt (the same texts as plain
//       files, for grep; left out with --no-text), DIR/terms.txt (one search term per line) and
//       DIR/absent-terms.txt (the terms that occur nowhere in the corpus); deterministic. The
//       whole-binary provenance bench builds its project from the same output.
//   corpus_search_bench [--corpus=DIR/corpus --terms=DIR/terms.txt] [--uncached-terms=N]
//                       [--hits-out=FILE] [benchmark flags]
//       loads the typed store and times the searches; without --corpus it generates a small
//       corpus in memory. --hits-out writes "term<TAB>matching lines" for every term.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <functional>
#include <iostream>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "json/writer.h"
#include "provenance/allowlist/allowlist.h"
#include "provenance/citation/search.h"
#include "provenance/corpus.h"
#include "text/unicode.h"

namespace {

using fennick::provenance::CorpusPage;
using fennick::provenance::ExtractionOutput;
using fennick::provenance::ExtractionPage;

constexpr std::size_t kLinesPerPage = 50;

// One generated document: its text and whether it also carries the text as a page list.
struct GeneratedDocument {
  std::string name;
  std::string text;
  bool paged = false;
};

struct Generated {
  std::vector<GeneratedDocument> documents;
  std::vector<std::string> terms;
  std::vector<std::string> absent_terms;  // also in terms; made of syllables the corpus never uses
};

class Generator {
 public:
  explicit Generator(std::uint32_t seed) : random_(seed) {
    names_ = make_pool(3000, kSyllables, true);
    acronyms_ = make_acronyms(500);
    for (std::size_t i = 0; i < 500; ++i) {
      compounds_.push_back(names_[pick(names_.size())] + "-" +
                           std::string(kCommon[pick(kCommon.size())]));
    }
  }

  Generated generate(std::size_t documents, std::size_t total_bytes) {
    Generated out;
    const std::size_t per_document = total_bytes / std::max<std::size_t>(documents, 1);
    for (std::size_t d = 0; d < documents; ++d) {
      GeneratedDocument document;
      char name[32];
      std::snprintf(name, sizeof name, "doc-%04zu", d);
      document.name = name;
      // A third of the documents carry their text twice (text and pages), like extractions
      // that keep page texts; their text is half as long so files stay about the same size.
      document.paged = d % 3 == 0;
      const bool crlf = d % 10 == 7;
      const std::size_t target = document.paged ? per_document / 2 : per_document;
      while (document.text.size() < target) {
        if (!document.text.empty()) document.text += crlf ? "\r\n" : "\n";
        document.text += line();
      }
      out.documents.push_back(std::move(document));
    }
    out.absent_terms = make_pool(50, kAbsentSyllables, true);
    out.terms = terms(out.absent_terms);
    return out;
  }

 private:
  static constexpr std::array<std::string_view, 20> kSyllables = {
      "var", "nok", "tel", "mi",  "ra",  "zen", "do",  "qua", "lix", "bor",
      "fen", "tas", "gri", "mol", "pex", "sur", "vin", "hal", "cor", "dri"};
  // Never used by the corpus: names built from these occur nowhere.
  static constexpr std::array<std::string_view, 6> kAbsentSyllables = {"qy",  "xw", "jjo",
                                                                       "vuz", "kq", "zzy"};
  static constexpr std::array<std::string_view, 60> kCommon = {
      "the",    "system",  "shall",   "provide",   "a",           "user",   "with",     "access",
      "to",     "records", "of",      "each",      "application", "and",    "must",     "store",
      "data",   "in",      "secure",  "storage",   "for",         "review", "by",       "staff",
      "when",   "request", "is",      "submitted", "report",      "status", "within",   "days",
      "on",     "portal",  "grant",   "funding",   "client",      "case",   "workflow", "approval",
      "notice", "field",   "form",    "page",      "list",        "export", "import",   "audit",
      "log",    "event",   "support", "service",   "office",      "team",   "may",      "not",
      "be",     "shown",   "unless",  "required"};
  static constexpr std::array<std::string_view, 20> kNonAscii = {
      "\u039F\u0394\u039F\u03A3",
      "\u039F\u03B4\u03CC\u03C2",
      "\u03BB\u03CC\u03B3\u03BF\u03C2",
      "\u039B\u038C\u0393\u039F\u03A3",
      "\u0130stanbul",
      "D\u0130YARBAKIR",
      "Stra\u00DFe",
      "\u00C4rzte",
      "\u00C9cole",
      "Z\u00FCrich",
      "S\u00E3o",
      "Krak\u00F3w",
      "\u00D6sterreich",
      "\u041C\u043E\u0441\u043A\u0432\u0430",
      "\u0421\u0418\u0421\u0422\u0415\u041C\u0410",
      "Sm\u00F8rebr\u00F8d",
      "\u0141\u00F3d\u017A",
      "\u00C5lesund",
      "Caf\u00E9",
      "Na\u00EFve"};

  std::size_t pick(std::size_t n) { return static_cast<std::size_t>(random_() % n); }

  // Skewed towards the front of a pool, so that some names are everywhere and most are rare.
  std::size_t pick_skewed(std::size_t n) {
    const double u = static_cast<double>(random_()) / static_cast<double>(random_.max());
    return std::min(n - 1, static_cast<std::size_t>(static_cast<double>(n) * u * u * u));
  }

  template <std::size_t N>
  std::vector<std::string> make_pool(std::size_t size,
                                     const std::array<std::string_view, N>& syllables,
                                     bool capitalised) {
    std::set<std::string> seen;
    std::vector<std::string> pool;
    while (pool.size() < size) {
      std::string name;
      const std::size_t parts = 2 + pick(2);
      for (std::size_t i = 0; i < parts; ++i) name += syllables[pick(syllables.size())];
      if (capitalised) name[0] = static_cast<char>(name[0] - 'a' + 'A');
      if (seen.insert(name).second) pool.push_back(name);
    }
    return pool;
  }

  std::vector<std::string> make_acronyms(std::size_t size) {
    std::set<std::string> seen;
    std::vector<std::string> pool;
    while (pool.size() < size) {
      std::string acronym(2 + pick(4), 'A');
      for (char& c : acronym) c = static_cast<char>('A' + pick(26));
      if (seen.insert(acronym).second) pool.push_back(acronym);
    }
    return pool;
  }

  std::string word() {
    const std::size_t roll = pick(100);
    if (roll < 70) return std::string(kCommon[pick(kCommon.size())]);
    if (roll < 82) return names_[pick_skewed(names_.size())];
    if (roll < 87) return acronyms_[pick_skewed(acronyms_.size())];
    if (roll < 91) return compounds_[pick_skewed(compounds_.size())];
    if (roll < 96) return std::to_string(pick(100000));
    return std::string(kNonAscii[pick(kNonAscii.size())]);
  }

  std::string line() {
    if (pick(100) < 8) return "";
    std::string out;
    const std::size_t words = 4 + pick(15);
    for (std::size_t i = 0; i < words; ++i) {
      if (i > 0) out += ' ';
      const std::size_t roll = pick(100);
      if (roll < 3) out += '(';
      out += word();
      if (roll < 3) out += ')';
      if (roll >= 90) out += roll < 95 ? "," : ".";
    }
    return out;
  }

  std::vector<std::string> terms(const std::vector<std::string>& absent) {
    std::vector<std::string> out;
    // Names across the whole frequency range, then acronyms and compounds, then non-ASCII words
    // as written and lower-cased, then names that occur nowhere: 500 terms.
    for (std::size_t i = 0; i < 250; ++i) out.push_back(names_[i * names_.size() / 250]);
    for (std::size_t i = 0; i < 80; ++i) out.push_back(acronyms_[i * acronyms_.size() / 80]);
    for (std::size_t i = 0; i < 80; ++i) out.push_back(compounds_[i * compounds_.size() / 80]);
    for (const std::string_view word : kNonAscii) {
      out.emplace_back(word);
      out.push_back(fennick::text::to_lower(word));
    }
    out.insert(out.end(), absent.begin(), absent.end());
    return out;
  }

  std::mt19937 random_;
  std::vector<std::string> names_;
  std::vector<std::string> acronyms_;
  std::vector<std::string> compounds_;
};

// Pages of 50 lines, so the page lines are exactly the text's lines.
std::vector<ExtractionPage> pages_of(std::string_view text) {
  std::vector<std::size_t> starts = {0};
  for (std::size_t pos = text.find('\n'); pos != std::string_view::npos;
       pos = text.find('\n', pos + 1)) {
    starts.push_back(pos + 1);
  }
  std::vector<ExtractionPage> pages;
  for (std::size_t first = 0; first < starts.size(); first += kLinesPerPage) {
    const std::size_t next = first + kLinesPerPage;
    const std::size_t end = next < starts.size() ? starts[next] - 1 : text.size();
    ExtractionPage page;
    page.index = pages.size();
    page.text = std::string(text.substr(starts[first], end - starts[first]));
    pages.push_back(std::move(page));
  }
  return pages;
}

ExtractionOutput to_output(const GeneratedDocument& document) {
  ExtractionOutput output;
  output.text = document.text;
  if (document.paged) output.pages = pages_of(document.text);
  output.extractor.kind = "bench";
  output.extractor.version = "1";
  return output;
}

void append_json_string(std::string& out, std::string_view s) {
  fennick::json::write_string(out, s);
}

std::string to_json(const ExtractionOutput& output) {
  std::string json = "{\"text\":";
  append_json_string(json, output.text);
  if (output.pages) {
    json += ",\"pages\":[";
    for (const ExtractionPage& page : *output.pages) {
      if (page.index > 0) json += ',';
      json += "{\"index\":" + std::to_string(page.index) + ",\"text\":";
      append_json_string(json, page.text);
      json += '}';
    }
    json += ']';
  }
  json += ",\"metadata\":{},\"extractor\":{\"kind\":\"bench\",\"version\":\"1\"}}";
  return json;
}

bool write_file(const std::string& path, std::string_view bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out);
}

std::string lines_of(const std::vector<std::string>& items) {
  std::string out;
  for (const std::string& item : items) out += item + "\n";
  return out;
}

int generate_to(const std::string& dir, std::size_t documents, std::size_t megabytes,
                bool write_text) {
  const Generated generated = Generator(20240917).generate(documents, megabytes * 1000 * 1000);
  std::size_t json_bytes = 0;
  std::size_t text_bytes = 0;
  for (const GeneratedDocument& document : generated.documents) {
    const std::string json = to_json(to_output(document));
    json_bytes += json.size();
    text_bytes += document.text.size();
    if (!write_file(dir + "/corpus/" + document.name + ".json", json) ||
        (write_text && !write_file(dir + "/text/" + document.name + ".txt", document.text))) {
      std::cerr << "cannot write under " << dir << " (create corpus/ and text/ first)\n";
      return 1;
    }
  }
  if (!write_file(dir + "/terms.txt", lines_of(generated.terms)) ||
      !write_file(dir + "/absent-terms.txt", lines_of(generated.absent_terms))) {
    return 1;
  }
  std::cout << "generated " << generated.documents.size() << " documents: " << json_bytes
            << " bytes of JSON, " << text_bytes << " bytes of text; " << generated.terms.size()
            << " terms\n";
  return 0;
}

struct Workload {
  std::vector<CorpusPage> pages;
  // The records of `pages`, which the allowlist reads in place, as the audit driver hands them.
  std::vector<std::reference_wrapper<const ExtractionOutput>> outputs;
  std::vector<std::string> terms;
  std::size_t searched_bytes = 0;  // bytes of the lines one search reads
  std::size_t uncached_terms = 20;
  std::string hits_out;
};

std::size_t searched_bytes(const std::vector<CorpusPage>& pages) {
  std::size_t bytes = 0;
  for (const CorpusPage& page : pages) {
    if (!page.output.pages) {
      bytes += page.output.text.size();
      continue;
    }
    for (const ExtractionPage& p : *page.output.pages) bytes += p.text.size();
  }
  return bytes;
}

std::uint64_t total_hits(const std::vector<fennick::provenance::CorpusHits>& records) {
  std::uint64_t hits = 0;
  for (const auto& record : records) hits += record.hit_count;
  return hits;
}

void set_rate(benchmark::State& state, double bytes, std::uint64_t hits) {
  state.counters["MB"] = benchmark::Counter(bytes / 1e6);
  state.counters["rate_MB"] = benchmark::Counter(bytes / 1e6, benchmark::Counter::kIsRate);
  state.counters["hits"] = benchmark::Counter(static_cast<double>(hits));
}

void bm_build_lowered(benchmark::State& state, const Workload* work) {
  for (auto _ : state) {
    fennick::provenance::LoweredCorpus lowered(work->pages);
    benchmark::DoNotOptimize(&lowered);
  }
  set_rate(state, static_cast<double>(work->searched_bytes), 0);
}

void bm_search_cached(benchmark::State& state, const Workload* work) {
  // Built once per audit; its cost is measured on its own above.
  const fennick::provenance::LoweredCorpus lowered(work->pages);
  std::uint64_t hits = 0;
  std::ostringstream per_term;
  for (auto _ : state) {
    hits = 0;
    per_term.str("");
    for (const std::string& term : work->terms) {
      const std::uint64_t term_hits = total_hits(search_corpus(lowered, term));
      hits += term_hits;
      per_term << term << '\t' << term_hits << '\n';
    }
  }
  set_rate(state,
           static_cast<double>(work->searched_bytes) * static_cast<double>(work->terms.size()),
           hits);
  if (!work->hits_out.empty()) write_file(work->hits_out, per_term.str());
}

// Every term in one pass, lower-casing each line as the pass reaches it: the validator's search.
// Unlike search_cached_all_terms it includes all of the lower-casing.
void bm_search_one_pass(benchmark::State& state, const Workload* work) {
  std::uint64_t hits = 0;
  std::ostringstream per_term;
  for (auto _ : state) {
    const std::vector<std::vector<fennick::provenance::CorpusHits>> found =
        fennick::provenance::search_corpus_terms(work->pages, work->terms);
    hits = 0;
    per_term.str("");
    for (std::size_t i = 0; i < found.size(); ++i) {
      const std::uint64_t term_hits = total_hits(found[i]);
      hits += term_hits;
      per_term << work->terms[i] << '\t' << term_hits << '\n';
    }
  }
  set_rate(state, static_cast<double>(work->searched_bytes), hits);
  if (!work->hits_out.empty()) write_file(work->hits_out, per_term.str());
}

void bm_search_uncached(benchmark::State& state, const Workload* work) {
  const std::size_t count = std::min(work->uncached_terms, work->terms.size());
  std::uint64_t hits = 0;
  for (auto _ : state) {
    hits = 0;
    for (std::size_t i = 0; i < count; ++i) {
      hits += total_hits(search_corpus(std::span<const CorpusPage>(work->pages), work->terms[i]));
    }
  }
  set_rate(state, static_cast<double>(work->searched_bytes) * static_cast<double>(count), hits);
}

void bm_build_allowlist(benchmark::State& state, const Workload* work) {
  std::size_t scanned = 0;
  for (const ExtractionOutput& output : work->outputs) {
    scanned += output.text.size();
    if (output.pages) {
      for (const ExtractionPage& page : *output.pages) scanned += page.text.size();
    }
  }
  std::size_t tokens = 0;
  for (auto _ : state) {
    fennick::provenance::AllowlistInputs inputs;
    inputs.documents = work->outputs;
    inputs.project_strings = {"bench project", "bench-project", ""};
    const fennick::provenance::EffectiveAllowlist allowlist =
        fennick::provenance::build_effective_allowlist(inputs);
    tokens = allowlist.tokens.size();
  }
  set_rate(state, static_cast<double>(scanned), 0);
  state.counters["tokens"] = benchmark::Counter(static_cast<double>(tokens));
}

std::vector<std::string> read_terms(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::vector<std::string> terms;
  for (std::string line; std::getline(in, line);) {
    if (!line.empty()) terms.push_back(line);
  }
  return terms;
}

std::string option(std::string_view arg, std::string_view name) {
  return arg.starts_with(name) ? std::string(arg.substr(name.size())) : std::string();
}

}  // namespace

int main(int argc, char** argv) {
  std::string generate_dir;
  std::string corpus_dir;
  std::string terms_path;
  std::size_t documents = 2000;
  std::size_t megabytes = 100;
  bool write_text = true;
  Workload work;
  std::vector<char*> rest = {argv[0]};
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg.starts_with("--generate=")) {
      generate_dir = option(arg, "--generate=");
    } else if (arg.starts_with("--documents=")) {
      documents = std::stoul(option(arg, "--documents="));
    } else if (arg.starts_with("--megabytes=")) {
      megabytes = std::stoul(option(arg, "--megabytes="));
    } else if (arg == "--no-text") {
      write_text = false;
    } else if (arg.starts_with("--corpus=")) {
      corpus_dir = option(arg, "--corpus=");
    } else if (arg.starts_with("--terms=")) {
      terms_path = option(arg, "--terms=");
    } else if (arg.starts_with("--uncached-terms=")) {
      work.uncached_terms = std::stoul(option(arg, "--uncached-terms="));
    } else if (arg.starts_with("--hits-out=")) {
      work.hits_out = option(arg, "--hits-out=");
    } else {
      rest.push_back(argv[i]);
    }
  }
  if (!generate_dir.empty()) return generate_to(generate_dir, documents, megabytes, write_text);

  const auto start = std::chrono::steady_clock::now();
  if (!corpus_dir.empty()) {
    auto loaded = fennick::provenance::load_typed_artifact_store(corpus_dir);
    if (!loaded) {
      std::cerr << "cannot load " << corpus_dir << ": " << loaded.error() << "\n";
      return 1;
    }
    work.pages = std::move(loaded).value();
    work.terms = read_terms(terms_path);
  } else {
    // Standalone: a 10 MB corpus in memory.
    const Generated generated = Generator(20240917).generate(200, 10 * 1000 * 1000);
    for (const GeneratedDocument& document : generated.documents) {
      work.pages.push_back(CorpusPage{to_output(document), document.name + ".json"});
    }
    work.terms = generated.terms;
  }
  for (const CorpusPage& page : work.pages) work.outputs.emplace_back(page.output);
  work.searched_bytes = searched_bytes(work.pages);
  const double load_seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::cerr << "corpus: " << work.pages.size() << " documents, " << work.searched_bytes
            << " bytes searched per term, " << work.terms.size() << " terms; loaded in "
            << load_seconds << " s\n";

  const Workload* const w = &work;
  benchmark::RegisterBenchmark("lowered_corpus_build", bm_build_lowered, w)
      ->Iterations(1)
      ->UseRealTime()
      ->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("search_cached_all_terms", bm_search_cached, w)
      ->Iterations(1)
      ->UseRealTime()
      ->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("search_one_pass_all_terms", bm_search_one_pass, w)
      ->Iterations(1)
      ->UseRealTime()
      ->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("search_uncached_first_terms", bm_search_uncached, w)
      ->Iterations(1)
      ->UseRealTime()
      ->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("build_effective_allowlist", bm_build_allowlist, w)
      ->Iterations(1)
      ->UseRealTime()
      ->Unit(benchmark::kMillisecond);

  int bench_argc = static_cast<int>(rest.size());
  benchmark::Initialize(&bench_argc, rest.data());
  if (benchmark::ReportUnrecognizedArguments(bench_argc, rest.data())) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
