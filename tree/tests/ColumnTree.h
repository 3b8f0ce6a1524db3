#pragma once
// A draw tree with a simple column model standing in for the header: columns
// with widths, display positions, visibility and fixed state; per-cell node
// widths, images and empty cells from tables the test fills.
#include <functional>
#include <map>
#include <vector>

#include "tree/VirtualTrees.h"

class TColumnTree : public TVirtualDrawTree {
public:
  struct TColumn {
    int Width = 80;
    bool Visible = true;
    bool Fixed = false;
    TAlignment Alignment = taLeftJustify;
    TBiDiMode BiDiMode = bdLeftToRight;
    TColor Color = clWindow;
    bool ParentColor = true;
  };
  std::vector<TColumn> columns;
  std::vector<int> positions;  // position -> column index
  TColumnIndex mainColumn = NoColumn;
  bool autoResize = false;

  // Cell facts by (node, column); a missing entry is width 20, no image, not empty.
  std::function<int(PVirtualNode, TColumnIndex)> nodeWidth;
  std::function<int(PVirtualNode, TVTImageKind, TColumnIndex)> imageIndex;
  std::function<bool(PVirtualNode, TColumnIndex)> cellEmpty;

  void SetColumns(std::vector<TColumn> values, TColumnIndex main = 0) {
    columns = std::move(values);
    positions.clear();
    for (size_t i = 0; i < columns.size(); ++i) positions.push_back(static_cast<int>(i));
    mainColumn = columns.empty() ? NoColumn : main;
    UpdateScrollBars(true);
  }
  // Column index's left edge (unscrolled) from the visible columns before it.
  int ColumnLeft(TColumnIndex column) const {
    int left = 0;
    for (int index : positions) {
      if (index == column) return left;
      if (columns[index].Visible) left += columns[index].Width;
    }
    return left;
  }
  int PositionOf(TColumnIndex column) const {
    for (size_t p = 0; p < positions.size(); ++p)
      if (positions[p] == column) return static_cast<int>(p);
    return -1;
  }

  int HeaderColumnCount() const override { return static_cast<int>(columns.size()); }
  int HeaderColumnsWidth() const override {
    int width = 0;
    for (const TColumn& c : columns)
      if (c.Visible) width += c.Width;
    return width;
  }
  TColumnIndex HeaderMainColumn() const override { return mainColumn; }
  TColumnIndex HeaderColumnAtPosition(int position) const override {
    return position >= 0 && position < static_cast<int>(positions.size()) ? positions[position] : NoColumn;
  }
  bool HeaderColumnAttributes(TColumnIndex column, TColumnAttributes& a) const override {
    if (column < 0 || column >= static_cast<int>(columns.size())) return false;
    const TColumn& c = columns[column];
    a.Left = ColumnLeft(column);
    a.Width = c.Width;
    a.Position = PositionOf(column);
    a.Visible = c.Visible;
    a.Fixed = c.Fixed;
    a.Alignment = c.Alignment;
    a.BiDiMode = c.BiDiMode;
    a.Color = c.Color;
    a.ParentColor = c.ParentColor;
    return true;
  }
  bool HeaderAutoResize() const override { return autoResize; }

  int DoGetNodeWidth(PVirtualNode node, TColumnIndex column, TCanvas* canvas = nullptr) override {
    return nodeWidth ? nodeWidth(node, column) : 20;
  }
  TCustomImageList* DoGetImageIndex(PVirtualNode node, TVTImageKind kind, TColumnIndex column, bool& ghosted,
                                    int& index) override {
    TCustomImageList* list = TVirtualDrawTree::DoGetImageIndex(node, kind, column, ghosted, index);
    if (imageIndex) index = imageIndex(node, kind, column);
    return list;
  }
  bool DoGetCellIsEmpty(PVirtualNode node, TColumnIndex column) override {
    return cellEmpty ? cellEmpty(node, column) : false;
  }
  void SetRubberBand(const TRect& r) { newSelRect = TTreeRect::From(r); }
  void SetRubberBand(const TTreeRect& r) { newSelRect = r; }
  using TBaseVirtualTree::DetermineHitPositionLTR;
  using TBaseVirtualTree::CacheEntriesUpTo;
};
