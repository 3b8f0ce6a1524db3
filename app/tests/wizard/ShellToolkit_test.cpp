// The shell toolkit waits, after the program's units, for the first shell item
// asked for on the main thread (COM included) and, once shut down with the
// units, is not started again by a shell item freed afterwards. In a child
// process: the toolkit stays down.
// Its texts come from the program's language file. The special folders are
// made when first asked for, on the file page.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>

#include "FileConfirmList.h"
#include "Language.h"
#include "Units.h"
#include "WizardFixture.h"
#include "shell/ColumnForm.h"
#include "shell/ExplorerTree.h"
#include "shell/Namespace.h"
#include "shell/ShellUtilities.h"
#include "shell/ToolkitTexts.h"
#include "win/controls/StdCtrls.h"
#include "win/testing/Harness.h"

TEST(ShellToolkitUnit, StartsWhenFirstNeededAndStaysDownAfterTheUnits) {
  EXPECT_EXIT(
      {
        int failures = 0;
        TNamespace* late = nullptr;
        {
          TUnitsScope units;
          if (NamespacePIDLManager != nullptr) failures |= 32;
          if (DesktopFolder() == nullptr || NamespacePIDLManager == nullptr) failures |= 1;
          // COM is initialised on this thread: a second initialisation says so.
          HRESULT hr = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
          if (hr != S_FALSE) failures |= 2;
          if (SUCCEEDED(hr)) CoUninitialize();
          if (DesktopFolder() != nullptr) late = DesktopFolder()->Clone(/*freePIDLOnDestroy=*/true);
        }
        if (!ShellToolkitFinished() || NamespacePIDLManager != nullptr) failures |= 4;
        late->Free();
        // Freeing the item did not bring the toolkit back.
        if (NamespacePIDLManager != nullptr || DesktopFolder() != nullptr) failures |= 8;
        InitializeShellToolkit();
        if (NamespacePIDLManager != nullptr) failures |= 16;
        std::exit(failures == 0 ? 7 : 100 + failures);
      },
      ::testing::ExitedWithCode(7), "");
}

// The toolkit's texts follow the loaded language file: the column settings
// dialog (and the column menu's "More ...") in German. In a child process:
// the units start and stop there.
TEST(ShellToolkitUnit, GivesTheToolkitTheProgramsLanguage) {
  EXPECT_EXIT(
      {
        int failures = 0;
        {
          TUnitsScope units;
          Application->Initialize();
          if (ToolkitText("strMoreColumns", u"More ...") != u"More ...") failures |= 1;
          FreeAndNil(LangIni);
          LangIni = LoadLanguageFile("German.lng");
          if (LangIni == nullptr) failures |= 2;
          if (ToolkitText("strMoreColumns", u"More ...") != u"Weitere ...") failures |= 4;
          auto* dialog = New<TFormColumnSettings>(Application);
          dialog->AddColumn(u"Name", true, 180, 0);
          dialog->AddColumn(u"Gr\u00f6\u00dfe", true, 96, 1);
          dialog->AddColumn(u"Typ", false, 120, 2);
          dialog->Show();
          qvtest::Pump(200);
          if (dialog->Caption() != "Spalteneinstellungen") failures |= 8;
          auto* suffix = qvtest::Find<TLabel>(dialog, "Label3");
          if (suffix->Caption() != "Pixel breit sein") failures |= 16;
          // The German width row still fits the dialog.
          auto* prefix = qvtest::Find<TLabel>(dialog, "Label2");
          if (prefix->Left() < 0 || suffix->Left() + suffix->Width() > dialog->ClientWidth()) failures |= 32;
          qvtest::SaveScreenshot(dialog->Handle(), "column_settings_de");
          dialog->Free();
          FreeAndNil(LangIni);
        }
        std::exit(failures == 0 ? 7 : 100 + failures);
      },
      ::testing::ExitedWithCode(7), "");
}

// The special folders wait for the file page: the main form made and shown
// on its welcome page has made none; the file page's tree then finds My
// Computer through them and expands it. In a child process: no earlier test
// has asked for one.
TEST_F(WizardTest, SpecialFoldersWaitForTheFilePage) {
  EXPECT_EXIT(
      {
        int failures = 0;
        {
          TWizardUnits units;
          LinkPageParts();
          LinkFileTask();
          MakeForm();
          if (SpecialFoldersMade() != 0) failures |= 1;
          Click("WelcomeFileAndFoldersRadioButton");
          Click("BottomNext");
          qvtest::Pump(50);
          TVirtualExplorerTreeview* tree = form->FileSelectTree();
          PVirtualNode computer = tree->GetFirst();
          if (computer == nullptr || !tree->NodeNamespace(computer)->IsMyComputer()) failures |= 2;
          else if (!tree->GetExpanded(computer) || computer->ChildCount == 0) failures |= 4;
          if (DrivesFolder() == nullptr || computer == nullptr ||
              !vst::ILIsEqual(DrivesFolder()->AbsolutePIDL(), tree->NodeNamespace(computer)->AbsolutePIDL()))
            failures |= 8;
          form->Free();
          form = nullptr;
        }
        std::exit(failures == 0 ? 7 : 100 + failures);
      },
      ::testing::ExitedWithCode(7), "");
}
