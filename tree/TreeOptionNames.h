// The names the tree's auto and selection options are written with in form
// definitions, shared with descendants that declare those properties again.
#pragma once

#include "win/ClassInfo.h"

const TEnumNames& TreeAutoOptionNames();
const TEnumNames& TreeSelectionOptionNames();
