// Stand-in for libFuzzer when the fuzz targets are built with GCC: replays every file of a
// corpus folder, then feeds a fixed-seed stream of mutations of them (bit flips, byte
// changes, insertions, cuts and splices), so ctest exercises each target briefly.
//   fuzz_<name> CORPUS_DIR [ITERATIONS]
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

using Bytes = std::vector<uint8_t>;

std::vector<Bytes> LoadCorpus(const char* dir) {
  std::vector<Bytes> corpus;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(dir, ec)) {
    if (!entry.is_regular_file()) continue;
    std::ifstream in(entry.path(), std::ios::binary);
    corpus.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  return corpus;
}

Bytes Mutate(const std::vector<Bytes>& corpus, std::mt19937& rng) {
  Bytes b = corpus[rng() % corpus.size()];
  int steps = 1 + static_cast<int>(rng() % 8);
  for (int i = 0; i < steps; ++i) {
    switch (rng() % 6) {
      case 0:
        if (!b.empty()) b[rng() % b.size()] ^= static_cast<uint8_t>(1u << (rng() % 8));
        break;
      case 1:
        if (!b.empty()) b[rng() % b.size()] = static_cast<uint8_t>(rng());
        break;
      case 2: {
        size_t pos = b.empty() ? 0 : rng() % (b.size() + 1);
        size_t n = 1 + rng() % 64;
        uint8_t fill = static_cast<uint8_t>("\0\r\n :;,<>\"%\\=0A\xff"[rng() % 16]);
        b.insert(b.begin() + static_cast<std::ptrdiff_t>(pos), n, fill);
        break;
      }
      case 3:
        if (!b.empty()) b.resize(rng() % b.size());
        break;
      case 4:
        if (!b.empty()) {
          size_t from = rng() % b.size();
          size_t len = 1 + rng() % (b.size() - from);
          b.erase(b.begin() + static_cast<std::ptrdiff_t>(from),
                  b.begin() + static_cast<std::ptrdiff_t>(from + len));
        }
        break;
      default: {
        const Bytes& other = corpus[rng() % corpus.size()];
        if (other.empty()) break;
        size_t from = rng() % other.size();
        size_t pos = b.empty() ? 0 : rng() % (b.size() + 1);
        b.insert(b.begin() + static_cast<std::ptrdiff_t>(pos),
                 other.begin() + static_cast<std::ptrdiff_t>(from), other.end());
        break;
      }
    }
  }
  return b;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s CORPUS_DIR [ITERATIONS]\n", argv[0]);
    return 2;
  }
  long iterations = argc > 2 ? std::strtol(argv[2], nullptr, 10) : 10000;
  std::vector<Bytes> corpus = LoadCorpus(argv[1]);
  if (corpus.empty()) corpus.push_back(Bytes{});
  for (const Bytes& b : corpus) LLVMFuzzerTestOneInput(b.data(), b.size());
  std::mt19937 rng(12345);
  for (long i = 0; i < iterations; ++i) {
    Bytes b = Mutate(corpus, rng);
    LLVMFuzzerTestOneInput(b.data(), b.size());
  }
  std::printf("%zu corpus inputs and %ld mutations ran without a fault\n", corpus.size(), iterations);
  return 0;
}
