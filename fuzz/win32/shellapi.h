#pragma once
// Host stand-in: see windows.h beside it.
#include <windows.h>
