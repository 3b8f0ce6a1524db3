#pragma once
// Handle leaks under Wine, where GetGuiResources answers 0: freed GDI and USER
// handle slots are reused before new ones are taken, so the highest slot
// index that a burst of fresh probe objects reaches grows by about the
// number of handles leaked in between. Compare two watermarks.
#include <windows.h>

#include <algorithm>
#include <vector>

inline unsigned HandleSlot(const void* handle) { return static_cast<unsigned>(reinterpret_cast<uintptr_t>(handle) & 0xFFFF); }

// The highest GDI handle slot 3,000 fresh brushes reach.
inline unsigned GdiWatermark() {
  std::vector<HBRUSH> probes;
  unsigned highest = 0;
  for (int i = 0; i < 3000; ++i) {
    probes.push_back(CreateSolidBrush(RGB(i & 0xFF, 0, 0)));
    highest = std::max(highest, HandleSlot(probes.back()));
  }
  for (HBRUSH b : probes) DeleteObject(b);
  return highest;
}

// The highest USER handle slot 1,000 fresh accelerator tables reach.
inline unsigned UserWatermark() {
  std::vector<HACCEL> probes;
  unsigned highest = 0;
  ACCEL accel{FVIRTKEY, 'A', 1};
  for (int i = 0; i < 1000; ++i) {
    probes.push_back(CreateAcceleratorTableW(&accel, 1));
    highest = std::max(highest, HandleSlot(probes.back()));
  }
  for (HACCEL a : probes) DestroyAcceleratorTable(a);
  return highest;
}
