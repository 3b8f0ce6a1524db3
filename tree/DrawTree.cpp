// The draw tree: the application draws and measures the nodes.
#include "tree/VirtualTrees.h"

void TCustomVirtualDrawTree::DoPaintNode(const TVTPaintInfo& paintInfo) {
  if (OnDrawNode) OnDrawNode(this, paintInfo);
}

int TCustomVirtualDrawTree::DoGetNodeWidth(PVirtualNode node, TColumnIndex column, TCanvas* canvas) {
  int width = 2 * TextMargin();
  if (canvas == nullptr) canvas = Canvas();
  if (OnGetNodeWidth) OnGetNodeWidth(this, canvas, node, column, width);
  return width;
}

void TCustomVirtualDrawTree::DrawHint(TCanvas* canvas, PVirtualNode node, TRect r, TColumnIndex column) {
  if (OnDrawHint) OnDrawHint(this, canvas, node, r, column);
}

void TCustomVirtualDrawTree::GetHintSize(PVirtualNode node, TColumnIndex column, TRect& r) {
  if (OnGetHintSize) OnGetHintSize(this, node, column, r);
}
