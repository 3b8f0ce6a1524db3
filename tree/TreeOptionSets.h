#pragma once
// The five option sets of the virtual tree (Win32-free). Members are numbered
// from 0 in declaration order; the stored masks below are the defaults.
#include <cstdint>

#include "core/Set.h"

enum TVTPaintOption {
  toHideFocusRect,
  toHideSelection,
  toHotTrack,
  toPopupMode,
  toShowBackground,
  toShowButtons,
  toShowDropmark,
  toShowHorzGridLines,
  toShowRoot,
  toShowTreeLines,
  toShowVertGridLines,
  toThemeAware,
  toUseBlendedImages,
  toGhostedIfUnfocused,
  toFullVertGridLines,
  toAlwaysHideSelection,
  toUseBlendedSelection,
  toStaticBackground,
};
using TVTPaintOptions = TSet<TVTPaintOption, 32>;

enum TVTAnimationOption { toAnimatedToggle };
using TVTAnimationOptions = TSet<TVTAnimationOption, 8>;

enum TVTAutoOption {
  toAutoDropExpand,
  toAutoExpand,
  toAutoScroll,
  toAutoScrollOnExpand,
  toAutoSort,
  toAutoSpanColumns,
  toAutoTristateTracking,
  toAutoHideButtons,
  toAutoDeleteMovedNodes,
  toDisableAutoscrollOnFocus,
  toAutoChangeScale,
  toAutoFreeOnCollapse,
  toDisableAutoscrollOnEdit,
};
using TVTAutoOptions = TSet<TVTAutoOption, 16>;

enum TVTSelectionOption {
  toDisableDrawSelection,
  toExtendedFocus,
  toFullRowSelect,
  toLevelSelectConstraint,
  toMiddleClickSelect,
  toMultiSelect,
  toRightClickSelect,
  toSiblingSelectConstraint,
  toCenterScrollIntoView,
  toSimpleDrawSelection,
};
using TVTSelectionOptions = TSet<TVTSelectionOption, 16>;

enum TVTMiscOption {
  toAcceptOLEDrop,
  toCheckSupport,
  toEditable,
  toFullRepaintOnResize,
  toGridExtensions,
  toInitOnSave,
  toReportMode,
  toToggleOnDblClick,
  toWheelPanning,
  toReadOnly,
  toVariableNodeHeight,
  toFullRowDrag,
};
using TVTMiscOptions = TSet<TVTMiscOption, 16>;

// A set from its bit mask (bit i = member i) and back.
template <class S, class E>
S SetFromMask(uint32_t mask, int count) {
  S s;
  for (int i = 0; i < count; ++i)
    if (mask & (1u << i)) s.Include(static_cast<E>(i));
  return s;
}
template <class S, class E>
uint32_t SetToMask(const S& s, int count) {
  uint32_t mask = 0;
  for (int i = 0; i < count; ++i)
    if (s.Contains(static_cast<E>(i))) mask |= 1u << i;
  return mask;
}

constexpr uint32_t kDefaultPaintOptions = 0x1B60;
constexpr uint32_t kDefaultAutoOptions = 0x0149;
constexpr uint32_t kDefaultMiscOptions = 0x01A9;
constexpr int kPaintOptionCount = 18;
constexpr int kAutoOptionCount = 13;
constexpr int kSelectionOptionCount = 10;
constexpr int kMiscOptionCount = 12;

// The five sets as plain values, as the tree's logic reads them.
struct TTreeOptionValues {
  TVTPaintOptions paint = SetFromMask<TVTPaintOptions, TVTPaintOption>(kDefaultPaintOptions, kPaintOptionCount);
  TVTAnimationOptions animation;
  TVTAutoOptions autoOptions = SetFromMask<TVTAutoOptions, TVTAutoOption>(kDefaultAutoOptions, kAutoOptionCount);
  TVTSelectionOptions selection;
  TVTMiscOptions misc = SetFromMask<TVTMiscOptions, TVTMiscOption>(kDefaultMiscOptions, kMiscOptionCount);
};
