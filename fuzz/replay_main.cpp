// Driver for compilers without libFuzzer: replays the files named on the
// command line (and the files of the folders named there), then mutates them
// at random for a fixed number of rounds. Other libFuzzer flags are ignored.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

int main(int argc, char** argv) {
  std::vector<std::string> corpus;
  long rounds = 20000;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg.rfind("-runs=", 0) == 0) {
      rounds = std::stol(arg.substr(6));
      continue;
    }
    if (arg.rfind("-", 0) == 0) continue;
    std::vector<std::filesystem::path> files;
    if (std::filesystem::is_directory(arg)) {
      for (const auto& e : std::filesystem::directory_iterator(arg))
        if (e.is_regular_file()) files.push_back(e.path());
    } else {
      files.emplace_back(arg);
    }
    for (const auto& f : files) {
      std::ifstream in(f, std::ios::binary);
      corpus.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
  }
  if (corpus.empty()) corpus = {"{\"a\":[1,2.5,\"x\\u00e9\"],\"b\":null}", "[true,false,{}]"};
  for (const auto& c : corpus) LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(c.data()), c.size());
  std::mt19937 rng(1);
  const char alphabet[] = "{}[]\",:\\u0123456789abcdefnulltruefalse.eE+- \n\t\x01\xc3\xa9\xf0\x9f\x98\x80";
  for (long r = 0; r < rounds; ++r) {
    std::string s = corpus[rng() % corpus.size()];
    int edits = 1 + static_cast<int>(rng() % 4);
    for (int e = 0; e < edits; ++e) {
      std::size_t pos = s.empty() ? 0 : rng() % (s.size() + 1);
      switch (rng() % 3) {
        case 0: s.insert(pos, 1, alphabet[rng() % (sizeof alphabet - 1)]); break;
        case 1: if (pos < s.size()) s.erase(pos, 1); break;
        default: if (pos < s.size()) s[pos] = alphabet[rng() % (sizeof alphabet - 1)]; break;
      }
    }
    LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(s.data()), s.size());
    if (rng() % 8 == 0) corpus.push_back(std::move(s));
    if (corpus.size() > 4096) corpus.erase(corpus.begin() + 2, corpus.begin() + 2048);
  }
  std::printf("%ld rounds, no failure\n", rounds);
  return 0;
}
