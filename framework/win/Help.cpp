#include "win/Help.h"

#include <algorithm>
#include <memory>

#include "core/Strings.h"
#include "win/Forms.h"

IWinHelpTester* WinHelpTester = nullptr;

THelpManager::~THelpManager() {
  // Viewers hear that the manager goes; they must not call it afterwards.
  std::vector<Entry> copy = viewers;
  viewers.clear();
  for (Entry& e : copy) e.viewer->ShutDown();
}

IHelpManager* THelpManager::RegisterViewer(ICustomHelpViewer* viewer) {
  if (viewer == nullptr) return this;
  int id = nextId++;
  viewers.push_back(Entry{id, viewer});
  viewer->NotifyID(id);
  return this;
}

HWND THelpManager::GetHandle() {
  if (Screen != nullptr && Screen->ActiveForm() != nullptr && Screen->ActiveForm()->HandleAllocated())
    return Screen->ActiveForm()->Handle();
  return Application != nullptr ? Application->Handle() : nullptr;
}

std::string THelpManager::GetHelpFile() { return Application != nullptr ? Application->HelpFile() : std::string(); }

void THelpManager::Release(int viewerId) {
  viewers.erase(std::remove_if(viewers.begin(), viewers.end(), [viewerId](const Entry& e) { return e.id == viewerId; }),
                viewers.end());
}

bool THelpManager::ShowHelp(const std::string& keyword) {
  std::vector<ICustomHelpViewer*> able;
  for (Entry& e : viewers)
    if (e.viewer->UnderstandsKeyword(keyword) > 0) able.push_back(e.viewer);
  if (able.empty()) return false;
  lastKeyword = keyword;
  if (able.size() == 1 || selector == nullptr) {
    able.front()->ShowHelp(keyword);
    return true;
  }
  // Several viewers: the selector picks one line of all their offers.
  std::unique_ptr<TStringList, void (*)(TStringList*)> all(New<TStringList>(), [](TStringList* l) { l->Free(); });
  std::vector<ICustomHelpViewer*> owners;
  for (ICustomHelpViewer* v : able) {
    TStringList* lines = v->GetHelpStrings(keyword);
    if (lines == nullptr) continue;
    for (int i = 0; i < lines->Count(); ++i) {
      all->Add(lines->Strings(i));
      owners.push_back(v);
    }
    lines->Free();
  }
  int chosen = selector->SelectKeyword(all.get());
  if (chosen < 0 || chosen >= static_cast<int>(owners.size())) return false;
  owners[static_cast<size_t>(chosen)]->ShowHelp(keyword);
  return true;
}

bool THelpManager::ShowTableOfContents() {
  for (Entry& e : viewers)
    if (e.viewer->CanShowTableOfContents()) {
      e.viewer->ShowTableOfContents();
      return true;
    }
  return false;
}

bool THelpManager::ShowContextHelp(int contextId, const std::string& helpFileName) {
  for (Entry& e : viewers)
    if (auto* ext = dynamic_cast<IExtendedHelpViewer*>(e.viewer); ext != nullptr &&
                                                                  ext->UnderstandsContext(contextId, helpFileName)) {
      ext->DisplayHelpByContext(contextId, helpFileName);
      return true;
    }
  return false;
}

bool THelpManager::ShowTopicHelp(const std::string& topic, const std::string& helpFileName) {
  for (Entry& e : viewers)
    if (auto* ext = dynamic_cast<IExtendedHelpViewer*>(e.viewer); ext != nullptr && ext->UnderstandsTopic(topic)) {
      ext->DisplayTopic(topic);
      return true;
    }
  return false;
}

void THelpManager::SoftShutDown() {
  for (Entry& e : viewers) e.viewer->SoftShutDown();
}
