#pragma once
// Item identifier lists (PIDLs): a run of item IDs, each a 16-bit byte count
// (counting itself) and data, ended by a zero count. All PIDL memory belongs
// to the shell allocator. TPIDLManager holds the primitives, TPIDLList a list
// of PIDLs with a stream form.
#include <windows.h>
#include <objbase.h>
#include <shlobj.h>

#include <cstdint>

#include "core/Lists.h"
#include "core/Stream.h"

class TPIDLManager : public TObject {
public:
  ~TPIDLManager() override;
  // Gets the shell allocator; raises Exception when the shell has none.
  void Create();
  // Uses allocator (held with a reference) instead of the shell's; null raises.
  void Create(IMalloc* allocator);

  // A copy of pidl with its terminator; null for null. Memory that is short
  // raises std::bad_alloc: a copy never silently becomes another item.
  LPITEMIDLIST CopyPIDL(LPCITEMIDLIST pidl);
  // A new PIDL: the IDs of pidl1 followed by pidl2 with its terminator; null
  // parts contribute nothing (null + null is the empty PIDL). Inputs unchanged.
  // Memory that is short raises std::bad_alloc.
  LPITEMIDLIST AppendPIDL(LPCITEMIDLIST pidl1, LPCITEMIDLIST pidl2);
  // 2 + the sum of the byte counts; 0 for null.
  uint32_t PIDLSize(LPCITEMIDLIST pidl);
  // IDs before the terminator; 0 for null and for the empty PIDL.
  uint32_t IDCount(LPCITEMIDLIST pidl);
  // The ID after id (no checks).
  static LPITEMIDLIST NextID(LPCITEMIDLIST id);
  // The last ID inside pidl; pidl itself with fewer than 2 IDs; null for null.
  LPITEMIDLIST GetPointerToLastID(LPCITEMIDLIST pidl);
  // Cuts the last ID in place; the empty PIDL stays; returns pidl.
  LPITEMIDLIST StripLastID(LPITEMIDLIST pidl);
  // The same, handing back the old byte count and the cut ID so that the caller
  // can restore it (both 0/null when nothing was cut).
  LPITEMIDLIST StripLastIDKeep(LPITEMIDLIST pidl, uint16_t& oldCB, LPITEMIDLIST& strippedID);
  // True for the empty PIDL; false for null.
  static bool IsDesktopFolder(LPCITEMIDLIST pidl);
  // The shell's equality test.
  static bool EqualPIDL(LPCITEMIDLIST pidl1, LPCITEMIDLIST pidl2);
  // True when pidl2 equals the leading IDs of pidl1 (compared in place, pidl1 restored).
  bool IsSubPIDL(LPITEMIDLIST pidl1, LPCITEMIDLIST pidl2);
  // Frees through the shell allocator; null is ignored.
  void FreePIDL(LPITEMIDLIST pidl);
  void FreeAndNilPIDL(LPITEMIDLIST& pidl);
  // Frees a string the shell allocated.
  void FreeOLEStr(LPWSTR str);
  // Writes the 4-byte size and the bytes (size 0 for null).
  void SaveToStream(TStream* stream, LPCITEMIDLIST pidl);
  // Reads a PIDL saved by SaveToStream; null for a null stream or a size
  // below 1. A size past kMaxStreamPIDL or the stream's end, or bytes whose
  // chain of IDs does not end inside them, raise EReadError; so does an
  // allocator failure.
  LPITEMIDLIST LoadFromStream(TStream* stream);

  static constexpr int32_t kMaxStreamPIDL = 0x10000 * 4;
  // True when the chain of IDs in the size bytes at data ends with a terminator inside them.
  static bool ValidChain(const uint8_t* data, uint32_t size);

  IMalloc* Malloc() const { return malloc; }

private:
  IMalloc* malloc = nullptr;  // owned reference
};

// A list of PIDLs in insertion order, owning them unless SharedPIDLs.
class TPIDLList : public TList {
public:
  ~TPIDLList() override;

  // Adds a copy of pidl.
  int CopyAdd(LPCITEMIDLIST pidl);
  // Frees every PIDL (unless shared), then empties the list.
  void Clear() override;
  LPITEMIDLIST Items(int index) const { return static_cast<LPITEMIDLIST>(Get(index)); }

  // Appends the entries of a stream (count, then size and bytes per entry; a
  // null entry has size 0 and is appended as null); false when the stream
  // fails or holds bad data, a negative size included (what was read so far stays).
  virtual bool LoadFromStream(TStream* stream);
  // Writes the count and every entry; false when the stream fails.
  virtual bool SaveToStream(TStream* stream);

  bool SharedPIDLs() const { return sharedPIDLs; }
  void SetSharedPIDLs(bool value) { sharedPIDLs = value; }
  TPIDLManager* PIDLManager();

private:
  bool sharedPIDLs = false;
  TPIDLManager* manager = nullptr;  // owned, made on first use
};

namespace vst {

// The shell's item-list tests (shell32 ordinals 21 and 23); false when either
// PIDL is null or the shell lacks the function.
bool ILIsEqual(LPCITEMIDLIST pidl1, LPCITEMIDLIST pidl2);
bool ILIsParent(LPCITEMIDLIST parent, LPCITEMIDLIST child, bool immediate);
// Binds both ordinals from the loaded shell32; true when both exist.
bool BindILFunctions();
// The absolute PIDL of the user's documents folder (caller owns it), or null.
LPITEMIDLIST MyDocumentsPIDL();

}  // namespace vst

// The manager of the PIDL unit, made at start-up and freed at exit (null before).
extern TPIDLManager* GlobalPIDLManager;
