// The draw tree: the application draws and measures the nodes.
#include "tree/VirtualTrees.h"

void TCustomVirtualDrawTree::DoPaintNode(const TVTPaintInfo& paintInfo) {
  Fire(OnDrawNode, this, paintInfo);
}

int TCustomVirtualDrawTree::DoGetNodeWidth(PVirtualNode node, TColumnIndex column, TCanvas* canvas) {
  int width = 2 * TextMargin();
  if (canvas == nullptr) canvas = Canvas();
  Fire(OnGetNodeWidth, this, canvas, node, column, width);
  return width;
}

void TCustomVirtualDrawTree::DrawHint(TCanvas* canvas, PVirtualNode node, TRect r, TColumnIndex column) {
  Fire(OnDrawHint, this, canvas, node, r, column);
}

void TCustomVirtualDrawTree::GetHintSize(PVirtualNode node, TColumnIndex column, TRect& r) {
  Fire(OnGetHintSize, this, node, column, r);
}
