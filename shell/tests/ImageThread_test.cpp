// The icon and expand-mark threads through their managers: the order of
// answers, the shell's answers, dropping requests, answers to a control that
// goes, and the thread's lifetime.
#include <gtest/gtest.h>

#include <vector>

#include "ShellTestHelpers.h"
#include "shell/ShellUtilities.h"
#include "shell/VirtualImageThread.h"
#include "win/Forms.h"
#include "win/testing/Harness.h"

using namespace shelltest;

namespace {

// A control that keeps the answers it gets (and frees them at the end).
class TAnswerReceiver : public TCustomControl {
  QV_MESSAGE_MAP(TAnswerReceiver, TCustomControl)

public:
  std::vector<TImageThreadRequest> answers;
  void WMAnswer(TMessage& m) {
    auto* request = reinterpret_cast<TImageThreadRequest*>(m.WParam);
    answers.push_back(*request);
    answers.back().PIDL = nullptr;
    TVirtualImageThread::ReleaseItem(request, nullptr);
  }
};

const TMessageMap* TAnswerReceiver::ClassMessageMap() {
  static const TMessageMap map(TCustomControl::ClassMessageMap(), {
      OnMessage(kWMImageThreadResult, &TAnswerReceiver::WMAnswer),
      OnMessage(kWMExpandMarkResult, &TAnswerReceiver::WMAnswer),
  });
  return &map;
}

struct ImageThreads : ::testing::Test {
  TForm* form = nullptr;
  TAnswerReceiver* receiver = nullptr;
  TempFolder temp;
  std::vector<LPITEMIDLIST> pidls;
  void SetUp() override {
    InitializeShellToolkit();
    Application->Initialize();
    form = New<TForm>(Application);
    receiver = New<TAnswerReceiver>(form);
    receiver->SetParent(form);
    receiver->Handle();
  }
  void TearDown() override {
    for (TVirtualImageThreadManager* m : {ImageThreadManager(), ExpandMarkThreadManager()})
      if (m->IsRegistered(receiver)) m->UnRegisterControl(receiver);
    form->Free();
    for (LPITEMIDLIST p : pidls) ILFree(p);
  }
  LPCITEMIDLIST Pidl(const std::u16string& path) {
    pidls.push_back(PathToPIDL(path));
    return pidls.back();
  }
  bool WaitForAnswers(size_t count) {
    return qvtest::PumpUntil([&] { return receiver->answers.size() >= count; }, 5000);
  }
  static int ShellIcon(LPCITEMIDLIST pidl) {
    SHFILEINFOW info{};
    SHGetFileInfoW(reinterpret_cast<LPCWSTR>(pidl), 0, &info, sizeof info,
                   SHGFI_SYSICONINDEX | SHGFI_PIDL | SHGFI_SHELLICONSIZE | SHGFI_SMALLICON);
    return info.iIcon;
  }
};

TEST_F(ImageThreads, IconsComeNewestFirstWithTheShellsIndex) {
  TVirtualImageThreadManager* m = ImageThreadManager();
  LPCITEMIDLIST folder = Pidl(temp.MakeFolder(u"sub"));
  LPCITEMIDLIST file = Pidl(temp.MakeFile(u"a.txt", 10));
  LPCITEMIDLIST exe = Pidl(temp.MakeFile(u"b.exe", 10));
  m->RegisterControl(receiver);
  ASSERT_NE(m->Thread(), nullptr);
  // Held list: all three are queued before the thread looks.
  ASSERT_NE(m->LockThreadList(), nullptr);
  uint32_t t1 = m->AddNewItem(receiver, kWMImageThreadResult, 0, reinterpret_cast<void*>(1), 7, folder);
  uint32_t t2 = m->AddNewItem(receiver, kWMImageThreadResult, 0, reinterpret_cast<void*>(2), 0, file);
  uint32_t t3 = m->AddNewItem(receiver, kWMImageThreadResult, 0, reinterpret_cast<void*>(3), 0, exe);
  m->UnlockThreadList();
  EXPECT_TRUE(t1 != 0 && t2 != t1 && t3 != t2);
  ASSERT_TRUE(WaitForAnswers(3));
  std::vector<TImageThreadRequest>& a = receiver->answers;
  EXPECT_EQ(a[0].Data, reinterpret_cast<void*>(3));
  EXPECT_EQ(a[1].Data, reinterpret_cast<void*>(2));
  EXPECT_EQ(a[2].Data, reinterpret_cast<void*>(1));
  EXPECT_EQ(a[2].Flag, 7);
  EXPECT_EQ(a[2].Ticket, t1);
  EXPECT_EQ(a[0].ImageIndex, ShellIcon(exe));
  EXPECT_EQ(a[1].ImageIndex, ShellIcon(file));
  EXPECT_EQ(a[2].ImageIndex, ShellIcon(folder));
}

TEST_F(ImageThreads, ExpandMarksComeInOrderOfArrival) {
  TVirtualImageThreadManager* m = ExpandMarkThreadManager();
  temp.MakeFolder(u"full");
  temp.MakeFolder(u"full\\inner");
  temp.MakeFolder(u"empty");
  temp.MakeFile(u"empty\\only-a-file.txt", 1);
  m->RegisterControl(receiver);
  DWORD folders = SHCONTF_FOLDERS | SHCONTF_INCLUDEHIDDEN;
  m->LockThreadList();
  m->AddNewItem(receiver, kWMExpandMarkResult, folders, reinterpret_cast<void*>(1), 0, Pidl(temp / u"full"));
  m->AddNewItem(receiver, kWMExpandMarkResult, folders, reinterpret_cast<void*>(2), 0, Pidl(temp / u"empty"));
  m->UnlockThreadList();
  ASSERT_TRUE(WaitForAnswers(2));
  EXPECT_EQ(receiver->answers[0].Data, reinterpret_cast<void*>(1));
  EXPECT_EQ(receiver->answers[0].HasChildren, 1);
  EXPECT_EQ(receiver->answers[1].HasChildren, 0);
  EXPECT_EQ(receiver->answers[1].Param, folders);
}

TEST_F(ImageThreads, DroppedRequestsAreNotAnsweredOthersAre) {
  TVirtualImageThreadManager* m = ImageThreadManager();
  LPCITEMIDLIST file = Pidl(temp.MakeFile(u"a.txt", 10));
  m->RegisterControl(receiver);
  m->LockThreadList();
  for (int i = 0; i < 6; ++i)
    m->AddNewItem(receiver, kWMImageThreadResult, 0, reinterpret_cast<void*>(i % 2 + 1), 0, file);
  m->ClearPendingItem(receiver, reinterpret_cast<void*>(1), nullptr, kWMImageThreadResult);
  EXPECT_EQ(m->LockThreadList()->Count(), 3);
  m->UnlockThreadList();
  m->UnlockThreadList();
  ASSERT_TRUE(WaitForAnswers(3));
  qvtest::Pump(50);
  ASSERT_EQ(receiver->answers.size(), 3u);
  for (const TImageThreadRequest& r : receiver->answers) EXPECT_EQ(r.Data, reinterpret_cast<void*>(2));

  m->LockThreadList();
  m->AddNewItem(receiver, kWMImageThreadResult, 0, nullptr, 0, file);
  m->ClearPendingItems(receiver, kWMImageThreadResult, nullptr);
  m->UnlockThreadList();
  qvtest::Pump(100);
  EXPECT_EQ(receiver->answers.size(), 3u);
}

TEST_F(ImageThreads, AControlThatGoesGetsNoAnswerAndTheLastOneStopsTheThread) {
  TVirtualImageThreadManager* m = ImageThreadManager();
  LPCITEMIDLIST file = Pidl(temp.MakeFile(u"a.txt", 10));
  // No control, no thread: nothing is queued.
  EXPECT_EQ(m->AddNewItem(receiver, kWMImageThreadResult, 0, nullptr, 0, file), 0u);
  m->RegisterControl(receiver);
  TVirtualImageThread* thread = m->Thread();
  HANDLE handle = nullptr;
  ASSERT_TRUE(DuplicateHandle(GetCurrentProcess(), thread->Handle(), GetCurrentProcess(), &handle, 0, FALSE,
                              DUPLICATE_SAME_ACCESS));
  EXPECT_THROW(m->AddNewItem(form, kWMImageThreadResult, 0, nullptr, 0, file), EAssertionFailed);
  // Answers are posted but not handled yet when the control goes.
  for (int i = 0; i < 20; ++i) m->AddNewItem(receiver, kWMImageThreadResult, 0, nullptr, 0, file);
  for (int waited = 0; waited < 5000; waited += 5) {
    TList* list = m->LockThreadList();
    bool empty = list->Count() == 0;
    m->UnlockThreadList();
    if (empty) break;
    Sleep(5);
  }
  MSG msg;
  EXPECT_TRUE(PeekMessageW(&msg, receiver->Handle(), kWMImageThreadResult, kWMImageThreadResult, PM_NOREMOVE));
  m->UnRegisterControl(receiver);
  EXPECT_FALSE(PeekMessageW(&msg, receiver->Handle(), kWMImageThreadResult, kWMImageThreadResult, PM_NOREMOVE));
  EXPECT_TRUE(receiver->answers.empty());
  // The thread has ended and is gone; registering again makes a new one.
  EXPECT_EQ(WaitForSingleObject(handle, 0), WAIT_OBJECT_0);
  CloseHandle(handle);
  EXPECT_EQ(m->Thread(), nullptr);
  m->RegisterControl(receiver);
  ASSERT_NE(m->Thread(), nullptr);
  m->AddNewItem(receiver, kWMImageThreadResult, 0, nullptr, 0, file);
  EXPECT_TRUE(WaitForAnswers(1));
}

}  // namespace
