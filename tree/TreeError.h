#pragma once
// The tree unit's exception, its fixed messages and its assertion helper
// (Win32-free).
#include <string>

#include "core/Exception.h"

// An error of the tree with the help context of its message.
class EVirtualTreeError : public Exception {
public:
  EVirtualTreeError(std::string message_, int helpContext_ = 0)
      : Exception(std::move(message_)), helpContext(helpContext_) {}
  int HelpContext() const { return helpContext; }

private:
  int helpContext;
};

extern const char* const SEditLinkIsNil;            // 2000
extern const char* const SWrongMoveError;           // 2001
extern const char* const SWrongStreamFormat;        // 2002
extern const char* const SWrongStreamVersion;       // 2003
extern const char* const SStreamTooSmall;           // 2004
extern const char* const SCorruptStream1;           // 2005
extern const char* const SCorruptStream2;           // 2006
extern const char* const SClipboardFailed;          // 2007
extern const char* const SCannotSetUserData;        // 2008
extern const char* const STreeTooDeepToSave;        // 2002

constexpr int hcTFEditLinkIsNil = 2000;
constexpr int hcTFWrongMoveError = 2001;
constexpr int hcTFWrongStreamFormat = 2002;
constexpr int hcTFWrongStreamVersion = 2003;
constexpr int hcTFStreamTooSmall = 2004;
constexpr int hcTFCorruptStream1 = 2005;
constexpr int hcTFCorruptStream2 = 2006;
constexpr int hcTFClipboardFailed = 2007;
constexpr int hcTFCannotSetUserData = 2008;

// Raises EVirtualTreeError with msg (wide text, converted to the code page)
// and helpContext. Never returns.
[[noreturn]] void RaiseTreeError(const std::u16string& msg, int helpContext);
[[noreturn]] void RaiseTreeError(const char* msg, int helpContext);

// Raises EAssertionFailed "<msg> (<file>, line <line>)". Never returns.
[[noreturn]] void TreeAssertFailed(const char* msg, const char* file, int line);

#define VT_ASSERT(cond, msg)                                     \
  do {                                                           \
    if (!(cond)) TreeAssertFailed((msg), __FILE__, __LINE__);    \
  } while (0)
