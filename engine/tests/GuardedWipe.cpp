#include "GuardedWipe.h"

#include "EngineHarness.h"
#include "TreeWiper.h"

namespace qv::engine::test {

GuardedWipeOutcome WipeUnderGuard(const ProtectedFolders& guard, const std::u16string& path) {
  static const std::vector<PassBytes> kOnePass = {{0x00, 0x20, 0x20, 0x20}};
  Harness harness;
  Block block(harness.wnd(), 0, kOnePass);
  std::vector<PassSpec> passes = DecodePasses(&block->Passes[0][0], block->PassCount);
  GuardedWipeOutcome outcome;
  outcome.finished = harness.RunInProcess([&] {
    Reporter reporter(block.get());
    TreeWiper(reporter, passes, guard).Wipe(path);
  });
  outcome.failures = block->Reserved2;
  outcome.log = harness.LogText();
  outcome.protectedLine = harness.Logged(u"which the system or this program needs");
  return outcome;
}

}  // namespace qv::engine::test
