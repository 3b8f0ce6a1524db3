// Runs a fuzz target over every file of the directories (or files) given on
// the command line: the seed corpus replayed as a test where libFuzzer is not
// available. With --max-seconds=N first, an input that takes more than N
// seconds of processor time fails the run (the hostile inputs, each of which
// must be answered in bounded time). Processor time, not wall time: on a busy
// machine the wall clock also counts the time other programs ran.
#include <chrono>
#include <cstdint>
#include <ctime>
#include <cstdlib>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

int main(int argc, char** argv) {
  int runs = 0;
  int first = 1;
  double maxSeconds = 0;
  const std::string option = "--max-seconds=";
  if (argc > 1 && std::string(argv[1]).rfind(option, 0) == 0) {
    maxSeconds = std::atof(argv[1] + option.size());
    first = 2;
  }
  int slow = 0;
  for (int i = first; i < argc; ++i) {
    std::vector<std::filesystem::path> files;
    if (std::filesystem::is_directory(argv[i])) {
      for (const auto& entry : std::filesystem::directory_iterator(argv[i])) files.push_back(entry.path());
    } else {
      files.push_back(argv[i]);
    }
    for (const auto& file : files) {
      std::ifstream in(file, std::ios::binary);
      std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
      auto start = std::chrono::steady_clock::now();
      std::clock_t startCpu = std::clock();
      LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
      double seconds = static_cast<double>(std::clock() - startCpu) / CLOCKS_PER_SEC;
      double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
      if (maxSeconds > 0)
        std::printf("%s: %.2f s processor time (%.2f s wall)\n", file.filename().string().c_str(), seconds, wall);
      if (maxSeconds > 0 && seconds > maxSeconds) {
        std::printf("%s took %.2f s of processor time, more than %.2f s\n", file.string().c_str(), seconds,
                    maxSeconds);
        ++slow;
      }
      ++runs;
    }
  }
  std::printf("%d inputs replayed\n", runs);
  return runs > 0 && slow == 0 ? 0 : 1;
}
