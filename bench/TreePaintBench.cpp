// Painting and scrolling figures of the string tree beside the system's list
// view (a virtual-mode report view with the same rows and columns) in the
// same run: a full repaint of 60 rows x 5 columns, a one-row scroll (the
// average over many lines), and the paint of one row.
#include <windows.h>
// windows.h first: commctrl.h needs its types.
#include <commctrl.h>

#include <chrono>
#include <cstdio>
#include <cwchar>
#include <functional>

#include "tree/VirtualTrees.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kRows = 100000;
constexpr int kColumns = 5;
constexpr int kVisibleRows = 60;
constexpr int kRowHeight = 16;
constexpr int kColumnWidth = 150;
constexpr int kRepaints = 40;
constexpr int kScrollLines = 1000;

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

HWND MakeListView(int clientWidth, int clientHeight) {
  INITCOMMONCONTROLSEX init{sizeof(init), ICC_LISTVIEW_CLASSES};
  InitCommonControlsEx(&init);
  WNDCLASSW wc{};
  wc.lpfnWndProc = HostProcedure;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpszClassName = L"TreePaintBenchHost";
  RegisterClassW(&wc);
  HWND host = CreateWindowExW(0, wc.lpszClassName, L"List view", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0,
                              clientWidth + 40, clientHeight + 80, nullptr, nullptr, wc.hInstance, nullptr);
  HWND list = CreateWindowExW(WS_EX_CLIENTEDGE, WC_LISTVIEWW, L"",
                              WS_CHILD | WS_VISIBLE | LVS_REPORT | LVS_OWNERDATA | WS_VSCROLL, 0, 0, clientWidth,
                              clientHeight, host, nullptr, wc.hInstance, nullptr);
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
  int height = kVisibleRows * kRowHeight;

  TForm* form = New<TForm>(Application);
  form->SetBounds(0, 0, width + 40, height + 80);
  TVirtualStringTree* tree = New<TVirtualStringTree>(form);
  tree->SetParent(form);
  tree->SetDefaultNodeHeight(kRowHeight);
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
  // Client area of exactly 60 rows.
  tree->SetBounds(0, 0, width, height);
  tree->SetClientWidth(width + GetSystemMetrics(SM_CXVSCROLL));
  tree->SetClientHeight(height);
  Settle();
  HWND treeWindow = tree->Handle();

  HWND list = MakeListView(width + GetSystemMetrics(SM_CXVSCROLL) + 4, height);
  RECT listClient;
  GetClientRect(list, &listClient);
  Settle();
  int listRows = static_cast<int>(SendMessageW(list, LVM_GETCOUNTPERPAGE, 0, 0));

  auto repaint = [](HWND wnd) {
    InvalidateRect(wnd, nullptr, FALSE);
    UpdateWindow(wnd);
  };
  double treeFull = MeanMs(kRepaints, [&] { repaint(treeWindow); });
  double listFull = MeanMs(kRepaints, [&] { repaint(list); });

  double treeScroll = MeanMs(kScrollLines, [&] {
    tree->DoSetOffsetXY(TPoint{tree->OffsetX(), tree->OffsetY() - kRowHeight});
    UpdateWindow(treeWindow);
  });
  RECT itemRect{LVIR_BOUNDS};
  SendMessageW(list, LVM_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&itemRect));
  int listRowHeight = itemRect.bottom - itemRect.top;
  double listScroll = MeanMs(kScrollLines, [&] {
    SendMessageW(list, LVM_SCROLL, 0, listRowHeight);
    UpdateWindow(list);
  });

  double treeRow = MeanMs(kRepaints * 5, [&] {
    RECT row{0, 10 * kRowHeight, width, 11 * kRowHeight};
    InvalidateRect(treeWindow, &row, FALSE);
    UpdateWindow(treeWindow);
  });
  double listRow = MeanMs(kRepaints * 5, [&] {
    RECT row{0, itemRect.top + 10 * listRowHeight, width, itemRect.top + 11 * listRowHeight};
    InvalidateRect(list, &row, FALSE);
    UpdateWindow(list);
  });

  std::printf("Tree paint (%d rows x %d columns visible; list view shows %d rows of %d px)\n", kVisibleRows,
              kColumns, listRows, listRowHeight);
  std::printf("  full repaint       tree %8.3f ms   list view %8.3f ms   ratio %.2f\n", treeFull, listFull,
              treeFull / listFull);
  std::printf("  one-row scroll     tree %8.3f ms   list view %8.3f ms   (mean of %d lines)\n", treeScroll,
              listScroll, kScrollLines);
  std::printf("  paint of one row   tree %8.3f ms   list view %8.3f ms\n", treeRow, listRow);
  DestroyWindow(GetParent(list));
  form->Free();
  return 0;
}
