#pragma once
// Exceptions raised by the shell toolkit.
#include "core/Exception.h"

// A value outside the range an operation accepts (open modes of wide file streams).
QV_DECLARE_EXCEPTION(ERangeError, Exception);
// A shell item asked for a path that names nothing.
QV_DECLARE_EXCEPTION(EVSTInvalidFileName, Exception);
