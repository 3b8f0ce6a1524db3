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

FileKey KeyOfFolder(const std::u16string& path) {
  FileKey key;
  HANDLE at = CreateFileW(reinterpret_cast<const wchar_t*>(path.c_str()), FILE_READ_ATTRIBUTES,
                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                          FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (at == INVALID_HANDLE_VALUE) return key;
  if (!KeyOf(at, key)) key = {};
  CloseHandle(at);
  return key;
}

}  // namespace qv::engine::test
