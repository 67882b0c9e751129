// Replays fuzz inputs through a fuzz target without libFuzzer, so that the
// targets run in every build: each argument is a file, or a directory whose
// files are all replayed. Exits non-zero when there was nothing to replay.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pData, std::size_t cbData);

namespace {

void Replay(const std::filesystem::path& path) {
  std::ifstream file(path, std::ios::binary);
  const std::vector<char> bytes{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
  // A copy of exactly the input's size, so reads past it are caught by the
  // address sanitizer as they would be under libFuzzer.
  std::vector<std::uint8_t> input(bytes.begin(), bytes.end());
  LLVMFuzzerTestOneInput(input.empty() ? nullptr : input.data(), input.size());
}

}  // namespace

int main(int argc, char** argv) {
  std::size_t nReplayed = 0;
  for (int i = 1; i < argc; ++i) {
    const std::filesystem::path path(argv[i]);
    if (std::filesystem::is_directory(path)) {
      for (const auto& entry : std::filesystem::directory_iterator(path)) {
        if (entry.is_regular_file()) {
          Replay(entry.path());
          ++nReplayed;
        }
      }
    } else {
      Replay(path);
      ++nReplayed;
    }
  }
  std::printf("%zu inputs replayed\n", nReplayed);
  return nReplayed > 0 ? 0 : 1;
}
