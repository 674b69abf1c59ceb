// Driver for compilers without libFuzzer: replays the files named on the
// command line, then mutates them at random for a fixed number of rounds.
#include <cstdint>
#include <cstdio>
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
    std::ifstream in(arg, std::ios::binary);
    corpus.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
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
