// The shell toolkit (shell items, PIDL managers, the special folders) starts
// on the main thread when the file page's tree is made (FileTask.cpp),
// after OLE, so that no shell item made later on another thread starts it
// there; the first window needs nothing of the shell, whose libraries then
// load with the page. It shuts down with the program's units, before OLE, and
// items freed after that do not start it again. Its texts (the column settings
// dialog, the column menu) come from the language file's "Misc" section like
// the program's own.
#include "Language.h"
#include "Units.h"
#include "shell/ShellUtilities.h"
#include "shell/ToolkitTexts.h"
#include "win/TextConvert.h"

namespace {

std::u16string TranslateToolkitText(const char* key, std::u16string_view english) {
  return AnsiToWide(LangString(WideToAnsi(english), key));
}

void UseProgramTexts() { SetToolkitTextTranslator(TranslateToolkitText); }

void StopShellToolkit() {
  SetToolkitTextTranslator(nullptr);
  FinalizeShellToolkit();
}

const TUnitRegistrar kShellToolkit(UseProgramTexts, StopShellToolkit, "shell toolkit");

}  // namespace
