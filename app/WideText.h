#pragma once
// Names shown as they are. The forms keep their texts as 8-bit strings in the
// system's code page, which cannot hold every file name; the log memos and the
// label of the file being wiped take UTF-16 text straight to the window.
#include <string>

#include "win/controls/StdCtrls.h"

class TMemo;

// A label whose caption may hold any UTF-16 text. Setting Caption (8-bit)
// sets the wide caption too; WideCaption keeps what 8-bit text cannot hold.
class TWideLabel : public TLabel {
public:
  const std::u16string& WideCaption() const { return wideCaption; }
  void SetWideCaption(const std::u16string& value);

protected:
  void SetText(const std::string& value) override;
  void Paint() override;

private:
  std::u16string wideCaption;
  bool settingWide = false;
};

// Appends line to memo as one line of UTF-16 text (an empty line included),
// as TStrings::Add does for 8-bit text, and scrolls it into view. Only the
// memo's window holds UTF-16 text: the memo gets its window now when it has
// none yet (on a page not shown so far).
void AppendWideLine(TMemo* memo, const std::u16string& line);
// Replaces the memo's whole text with text (UTF-16, lines split by CR LF), shown from its start.
void SetWideText(TMemo* memo, const std::u16string& text);
// The memo's whole text as UTF-16.
std::u16string WideText(TMemo* memo);
