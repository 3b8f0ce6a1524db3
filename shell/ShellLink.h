#pragma once
// TVirtualShellLink: reads a shell shortcut (.lnk) file.
#include <string>

#include "core/Component.h"
#include "core/Set.h"
#include "shell/VirtualShellTypes.h"

enum THotKeyModifier { hkmAlt, hkmControl, hkmExtended, hkmShift };
using THotKeyModifiers = TSet<THotKeyModifier, 8>;

// The SW_ show commands 0 to 10.
enum TCmdShow {
  swHide, swShowNormal, swShowMinimized, swShowMaximized, swShowNoActivate, swShow, swMinimize,
  swShowMinNoActive, swShowNA, swRestore, swShowDefault
};

class TVirtualShellLink : public TComponent {
public:
  ~TVirtualShellLink() override;

  // Loads the shortcut (read only) and takes its values; false when the link
  // object cannot be had or the file does not load. A value whose getter fails
  // keeps its previous contents.
  bool ReadLink(const std::u16string& linkFileName);

  const std::u16string& FileName() const { return fileName; }
  const std::u16string& TargetPath() const { return targetPath; }
  const std::u16string& Arguments() const { return arguments; }
  const std::u16string& Description() const { return description; }
  const std::u16string& WorkingDirectory() const { return workingDirectory; }
  const std::u16string& IconLocation() const { return iconLocation; }
  int IconIndex() const { return iconIndex; }
  // The target's PIDL (owned by the link; null when unknown).
  LPITEMIDLIST TargetIDList() const { return targetIDList; }
  uint16_t HotKey() const { return hotKey; }
  THotKeyModifiers HotKeyModifiers() const { return hotKeyModifiers; }
  TCmdShow ShowCmd() const { return showCmd; }

  // The shell link object's interfaces, created on first use (null on failure; borrowed).
  IShellLinkW* ShellLinkW();
  IShellLinkA* ShellLinkA();

private:
  template <class Link, class Char>
  bool ReadFields(IPersistFile* file, Link* link);
  void TakeHotKey(WORD hotKeyWord);
  void TakeShowCmd(int show);

  std::u16string fileName;
  std::u16string targetPath;
  std::u16string arguments;
  std::u16string description;
  std::u16string workingDirectory;
  std::u16string iconLocation;
  int iconIndex = 0;
  LPITEMIDLIST targetIDList = nullptr;  // owned
  uint16_t hotKey = 0;
  THotKeyModifiers hotKeyModifiers;
  TCmdShow showCmd = swShowNormal;
  IShellLinkW* linkW = nullptr;
  IShellLinkA* linkA = nullptr;
};
