// The shell toolkit (shell items, PIDL managers, the special folders) starts
// with the program's units, on the main thread after OLE, so that no shell
// item made later on another thread starts it there; it shuts down before
// OLE, and items freed after that do not start it again.
#include "Units.h"
#include "shell/ShellUtilities.h"

namespace {

const TUnitRegistrar kShellToolkit(InitializeShellToolkit, FinalizeShellToolkit);

}  // namespace
