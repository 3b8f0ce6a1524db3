// The patterns file beside the program (untrusted: a user may edit or swap
// it): any content is read whole or refused whole with EPatternsFileError.
// A refused file leaves the storage empty and the selected pattern as it
// was; a file read gives patterns with names and at most
// kMaxPassesPerPattern passes each. No other exception may leave the reader.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>

#include "PatternsReader.h"
#include "Settings.h"

// The settings unit (registry) is not part of this target; the reader only
// reads and sets the selected pattern's code.
std::string SelectedPatternCode = "RANDOM";

namespace {

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "PatternsFile_fuzz: %s\n", what);
  std::abort();
}

const std::string& TempFile() {
  static const std::string path = "/tmp/qv-patterns-fuzz-" + std::to_string(getpid()) + ".xml";
  return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 1 << 16) return 0;
  FILE* file = std::fopen(TempFile().c_str(), "wb");
  if (file == nullptr) return 0;
  if (size > 0) std::fwrite(data, 1, size, file);
  std::fclose(file);
  SelectedPatternCode = "RANDOM";
  TDataStorage* storage = New<TDataStorage>();
  try {
    LoadPatternsFile(storage, TempFile());
    for (int i = 0; i < storage->Patterns->Count(); ++i) {
      TWipePattern* pattern = storage->Patterns->Items(i);
      if (pattern->Name.empty()) Fail("a pattern without a name was read");
      if (pattern->Passes->Count() > kMaxPassesPerPattern) Fail("a pattern with too many passes was read");
    }
  } catch (const EPatternsFileError&) {
    if (storage->Patterns->Count() != 0) Fail("a refused file left patterns");
    if (SelectedPatternCode != "RANDOM") Fail("a refused file changed the selected pattern");
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s\n", e.what());
    Fail("an exception other than EPatternsFileError left the reader");
  }
  storage->Free();
  return 0;
}
