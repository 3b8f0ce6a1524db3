#include "tree/TreeError.h"

#include "tree/TreeMath.h"

#include "core/SysUtils.h"

const char* const SEditLinkIsNil = "Edit link must not be nil.";
const char* const SWrongMoveError = "Target node cannot be a child node of the node to be moved.";
const char* const SWrongStreamFormat = "Unable to load tree structure, the format is wrong.";
const char* const SWrongStreamVersion = "Unable to load tree structure, the version is unknown.";
const char* const STreeTooDeepToSave = "Unable to save tree structure, the nodes are nested too deeply.";
const char* const SStreamTooSmall = "Unable to load tree structure, not enough data available.";
const char* const SCorruptStream1 = "Stream data corrupt. A node's anchor chunk is missing.";
const char* const SCorruptStream2 = "Stream data corrupt. Unexpected data after node's end position.";
const char* const SClipboardFailed = "Clipboard operation failed.";
const char* const SCannotSetUserData =
    "Cannot set initial user data because there is not enough user data space allocated.";

void RaiseTreeError(const std::u16string& msg, int helpContext) {
  throw EVirtualTreeError(WideToAnsi(msg), helpContext);
}

void RaiseTreeError(const char* msg, int helpContext) { throw EVirtualTreeError(msg, helpContext); }

void TreeAssertFailed(const char* msg, const char* file, int line) {
  std::string name = file;
  size_t slash = name.find_last_of("/\\");
  if (slash != std::string::npos) name = name.substr(slash + 1);
  throw EAssertionFailed(std::string(msg) + " (" + name + ", line " + std::to_string(line) + ")");
}

void RaiseIntOverflow() { throw EIntOverflow("Integer overflow"); }
