#pragma once
// Included first in every unit that links the window layer (a forced include).
// The portable core declares a few names that the Windows headers define as
// A/W macros (GetObject, RegisterClass, StrToInt). Undefining them here, once
// windows.h is in, makes every unit see the core's names unchanged; call the
// Windows functions of those names by their W names (GetObjectW...).
#ifdef __cplusplus
#include <windows.h>
#undef GetObject
#undef RegisterClass
#undef StrToInt
#endif
