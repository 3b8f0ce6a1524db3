// The shell toolkit (shell items, PIDL managers, the special folders) starts
// with the program's units, on the main thread after OLE, so that no shell
// item made later on another thread starts it there; it shuts down before
// OLE, and items freed after that do not start it again. Its texts (the
// column settings dialog, the column menu) come from the language file's
// "Misc" section like the program's own.
#include "Language.h"
#include "Units.h"
#include "shell/ShellUtilities.h"
#include "shell/ToolkitTexts.h"
#include "win/TextConvert.h"

namespace {

std::u16string TranslateToolkitText(const char* key, std::u16string_view english) {
  return AnsiToWide(LangString(WideToAnsi(english), key));
}

void StartShellToolkit() {
  InitializeShellToolkit();
  SetToolkitTextTranslator(TranslateToolkitText);
}

void StopShellToolkit() {
  SetToolkitTextTranslator(nullptr);
  FinalizeShellToolkit();
}

const TUnitRegistrar kShellToolkit(StartShellToolkit, StopShellToolkit, "shell toolkit");

}  // namespace
