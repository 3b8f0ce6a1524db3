// The program's patterns file: read at start-up from the program folder; a
// file that cannot be used is reported in an "Error" box and ends the program.
#include <windows.h>

#include "MainForm.h"
#include "PatternsReader.h"
#include "Utils.h"
#include "win/Forms.h"
#include "win/TextConvert.h"
#include "xml/XmlToDomParser.h"

void LoadProgramPatterns(TDataStorage* storage) {
  const std::string fileName = GetApplicationPath() + "Quorvanell.xml";
  try {
    // The main form's parser reads it; its DOM implementation keeps the
    // document until the form is destroyed.
    auto* parser = MainForm != nullptr ? dynamic_cast<TXmlToDomParser*>(MainForm->FindComponent("XmlToDomParser"))
                                       : nullptr;
    if (parser != nullptr)
      LoadPatternsFile(storage, fileName, parser);
    else
      LoadPatternsFile(storage, fileName);
  } catch (const std::exception& e) {
    // The wizard cannot work without patterns: after the box the message
    // loop ends at once, and the program shuts down as on any close, but
    // tells whoever started it that the start was refused.
    storage->LoadFailed = true;
    const std::u16string text = AnsiToWide(e.what());
    MessageBoxW(MessageBoxOwner(), reinterpret_cast<LPCWSTR>(text.c_str()), L"Error", MB_OK | MB_ICONERROR);
    Application->Terminate(kExitStartRefused);
  }
}

namespace {
struct TPatternsReaderInstaller {
  TPatternsReaderInstaller() { PatternsFileReader = &LoadProgramPatterns; }
} installer;
}  // namespace
