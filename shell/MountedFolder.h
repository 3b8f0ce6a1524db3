#pragma once
// File systems mounted on folders, told from links as the wipe tells them:
// under Wine both are reparse points of no kind the system names, but a link
// is opened at its target, elsewhere, and a mount at its own place.
#include <windows.h>

#include <string>

// Where an open object really lies, as the system names it ("\\??\\X:\\..."
// under Wine, a device's path elsewhere); "" when the system does not say.
std::u16string ObjectPlaceOf(HANDLE handle);
// Whether the folder at path (absolute, below a root, exact name) opens at
// the very place its name gives although it is a reparse point: a file
// system mounted there. False for a link, and when it cannot be told.
bool IsMountedFolder(const std::u16string& path);
