#include "shell/VirtualPIDLTools.h"

#include "core/Exception.h"

TPIDLList::~TPIDLList() {
  Clear();
  FreeAndNil(manager);
}

TPIDLManager* TPIDLList::PIDLManager() {
  if (manager == nullptr) manager = New<TPIDLManager>();
  return manager;
}

int TPIDLList::CopyAdd(LPCITEMIDLIST pidl) { return Add(PIDLManager()->CopyPIDL(pidl)); }

void TPIDLList::Clear() {
  if (!sharedPIDLs && Count() > 0) {
    TPIDLManager* m = PIDLManager();
    for (int i = 0; i < Count(); ++i) m->FreePIDL(Items(i));
  }
  TList::Clear();
}

bool TPIDLList::LoadFromStream(TStream* stream) {
  if (stream == nullptr) return false;
  try {
    int32_t count = 0;
    stream->ReadBuffer(&count, sizeof count);
    // Every entry takes at least its 4-byte size.
    int64_t remaining = stream->Size() - stream->Position();
    if (count < 0 || count > remaining / 4) return false;
    TPIDLManager* m = PIDLManager();
    for (int32_t i = 0; i < count; ++i) {
      // A null entry is saved with size 0 and comes back as a null entry.
      int32_t size = 0;
      stream->ReadBuffer(&size, sizeof size);
      if (size < 0) return false;
      if (size == 0) {
        Add(nullptr);
        continue;
      }
      stream->SetPosition(stream->Position() - static_cast<int64_t>(sizeof size));
      LPITEMIDLIST pidl = m->LoadFromStream(stream);
      if (pidl == nullptr) return false;
      Add(pidl);
    }
    return true;
  } catch (const Exception&) {
    return false;
  }
}

bool TPIDLList::SaveToStream(TStream* stream) {
  if (stream == nullptr) return false;
  try {
    int32_t count = Count();
    stream->WriteBuffer(&count, sizeof count);
    TPIDLManager* m = PIDLManager();
    for (int i = 0; i < count; ++i) m->SaveToStream(stream, Items(i));
    return true;
  } catch (const Exception&) {
    return false;
  }
}
