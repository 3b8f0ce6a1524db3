// Painting and scrolling figures of the string tree beside the system's list
// view (a virtual-mode report view with the same rows and columns) in the
// same run, the two windows side by side on the screen, both showing 50 rows
// of the list view's row height under a header: a full repaint of 50 rows x
// 5 columns, a one-row scroll (the average over many lines), and the paint of
// one row. Under QV_BENCH_SMALL a few repaints and lines each.
#include <windows.h>
// windows.h first: commctrl.h needs its types.
#include <commctrl.h>

#include <chrono>
#include <cstdio>
#include <cwchar>
#include <functional>

#include "BenchSize.h"
#include "tree/VirtualTrees.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kRows = 100000;
constexpr int kColumns = 5;
constexpr int kVisibleRows = 50;
constexpr int kColumnWidth = 110;
const int kRepaints = BenchSize(40, 2);
const int kScrollLines = BenchSize(1000, 20);

double MeanMs(int count, const std::function<void()>& work) {
  auto start = Clock::now();
  for (int i = 0; i < count; ++i) work();
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count() / count;
}

// The list view's host: answers the texts of the virtual rows.
LRESULT CALLBACK HostProcedure(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_NOTIFY) {
    auto* header = reinterpret_cast<NMHDR*>(lParam);
    if (header->code == LVN_GETDISPINFOW) {
      auto* info = reinterpret_cast<NMLVDISPINFOW*>(lParam);
      if (info->item.mask & LVIF_TEXT)
        swprintf(info->item.pszText, info->item.cchTextMax, L"Row %d, column %d", info->item.iItem,
                 info->item.iSubItem);
      return 0;
    }
  }
  return DefWindowProcW(wnd, msg, wParam, lParam);
}

HWND MakeListView(int x, int clientWidth) {
  INITCOMMONCONTROLSEX init{sizeof(init), ICC_LISTVIEW_CLASSES};
  InitCommonControlsEx(&init);
  WNDCLASSW wc{};
  wc.lpfnWndProc = HostProcedure;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpszClassName = L"TreePaintBenchHost";
  RegisterClassW(&wc);
  HWND host = CreateWindowExW(0, wc.lpszClassName, L"List view", WS_OVERLAPPEDWINDOW | WS_VISIBLE, x, 0,
                              clientWidth + 40, 200, nullptr, nullptr, wc.hInstance, nullptr);
  HWND list = CreateWindowExW(WS_EX_CLIENTEDGE, WC_LISTVIEWW, L"",
                              WS_CHILD | WS_VISIBLE | LVS_REPORT | LVS_OWNERDATA | WS_VSCROLL, 0, 0, clientWidth,
                              100, host, nullptr, wc.hInstance, nullptr);
  for (int c = 0; c < kColumns; ++c) {
    wchar_t title[32];
    swprintf(title, 32, L"Column %d", c);
    LVCOLUMNW column{};
    column.mask = LVCF_TEXT | LVCF_WIDTH;
    column.cx = kColumnWidth;
    column.pszText = title;
    SendMessageW(list, LVM_INSERTCOLUMNW, c, reinterpret_cast<LPARAM>(&column));
  }
  SendMessageW(list, LVM_SETITEMCOUNT, kRows, 0);
  return list;
}

int RowHeight(HWND list) {
  RECT item{};
  item.left = LVIR_BOUNDS;
  SendMessageW(list, LVM_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&item));
  return item.bottom - item.top;
}

// Sizes the list view (and its host) so that its client shows exactly rows rows below the header.
void FitRows(HWND list, int rows) {
  RECT item{};
  item.left = LVIR_BOUNDS;
  SendMessageW(list, LVM_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&item));
  RECT client, window;
  GetClientRect(list, &client);
  GetWindowRect(list, &window);
  int frame = (window.bottom - window.top) - client.bottom;
  int height = item.top + rows * (item.bottom - item.top) + frame;
  int width = window.right - window.left;
  SetWindowPos(list, nullptr, 0, 0, width, height, SWP_NOZORDER | SWP_NOMOVE);
  RECT hostWindow;
  GetWindowRect(GetParent(list), &hostWindow);
  SetWindowPos(GetParent(list), nullptr, 0, 0, hostWindow.right - hostWindow.left, height + 60,
               SWP_NOZORDER | SWP_NOMOVE);
}

void Settle() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}

}  // namespace

int main() {
  Application->Initialize();
  int width = kColumns * kColumnWidth;
  int clientWidth = width + GetSystemMetrics(SM_CXVSCROLL);

  // The list view first: its row height (from its font) is the tree's too.
  HWND list = MakeListView(clientWidth + 60, clientWidth + 4);
  Settle();
  const int rowHeight = RowHeight(list);
  FitRows(list, kVisibleRows);
  Settle();
  int listRows = static_cast<int>(SendMessageW(list, LVM_GETCOUNTPERPAGE, 0, 0));
  RECT itemRect{};
  itemRect.left = LVIR_BOUNDS;
  SendMessageW(list, LVM_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&itemRect));

  TForm* form = New<TForm>(Application);
  form->SetBounds(0, 0, clientWidth + 40, kVisibleRows * rowHeight + 120);
  TVirtualStringTree* tree = New<TVirtualStringTree>(form);
  tree->SetParent(form);
  tree->SetDefaultNodeHeight(rowHeight);
  TVTHeader* header = tree->Header();
  for (int c = 0; c < kColumns; ++c) {
    TVirtualTreeColumn* column = header->Columns()->Add();
    column->SetText(u"Column " + std::u16string(1, char16_t(u'0' + c)));
    column->SetWidth(kColumnWidth);
  }
  header->SetOptions(header->Options().Include(hoVisible));
  header->SetMainColumn(0);
  TTreeOptionValues v = tree->OptionValues();
  tree->TreeOptions()->SetPaintOptions(v.paint.Exclude(toShowRoot).Exclude(toShowTreeLines).Exclude(toShowButtons));
  tree->OnGetText = [](TBaseVirtualTree*, PVirtualNode node, TColumnIndex column, TVSTTextType,
                       std::u16string& text) {
    wchar_t buffer[48];
    swprintf(buffer, 48, L"Row %u, column %d", node->Index, column);
    text.assign(reinterpret_cast<const char16_t*>(buffer));
  };
  tree->SetRootNodeCount(kRows);
  form->Show();
  // Client area of exactly kVisibleRows rows below the header.
  tree->SetBounds(0, 0, clientWidth, kVisibleRows * rowHeight);
  tree->SetClientWidth(clientWidth);
  tree->SetClientHeight(kVisibleRows * rowHeight);
  Settle();
  HWND treeWindow = tree->Handle();
  RECT treeClient;
  GetClientRect(treeWindow, &treeClient);
  int treeRows = (treeClient.bottom - treeClient.top) / rowHeight;

  auto repaint = [](HWND wnd) {
    InvalidateRect(wnd, nullptr, FALSE);
    UpdateWindow(wnd);
  };
  double treeFull = MeanMs(kRepaints, [&] { repaint(treeWindow); });
  double listFull = MeanMs(kRepaints, [&] { repaint(list); });

  double treeScroll = MeanMs(kScrollLines, [&] {
    tree->DoSetOffsetXY(tree->OffsetX(), tree->OffsetY() - rowHeight);
    UpdateWindow(treeWindow);
  });
  double listScroll = MeanMs(kScrollLines, [&] {
    SendMessageW(list, LVM_SCROLL, 0, rowHeight);
    UpdateWindow(list);
  });

  double treeRow = MeanMs(kRepaints * 5, [&] {
    RECT row{0, 10 * rowHeight, width, 11 * rowHeight};
    InvalidateRect(treeWindow, &row, FALSE);
    UpdateWindow(treeWindow);
  });
  double listRow = MeanMs(kRepaints * 5, [&] {
    RECT row{0, itemRect.top + 10 * rowHeight, width, itemRect.top + 11 * rowHeight};
    InvalidateRect(list, &row, FALSE);
    UpdateWindow(list);
  });

  std::printf("Tree paint, side by side: tree %d rows, list view %d rows, both %d px high, %d columns of %d px\n",
              treeRows, listRows, rowHeight, kColumns, kColumnWidth);
  std::printf("  full repaint       tree %8.3f ms   list view %8.3f ms   ratio %.2f\n", treeFull, listFull,
              treeFull / listFull);
  std::printf("  one-row scroll     tree %8.3f ms   list view %8.3f ms   ratio %.2f (mean of %d lines)\n", treeScroll,
              listScroll, treeScroll / listScroll, kScrollLines);
  std::printf("  paint of one row   tree %8.3f ms   list view %8.3f ms   ratio %.2f\n", treeRow, listRow,
              treeRow / listRow);
  DestroyWindow(GetParent(list));
  form->Free();
  return treeRows == kVisibleRows && listRows == kVisibleRows ? 0 : 1;
}
