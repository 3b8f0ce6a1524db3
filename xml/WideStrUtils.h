#pragma once
// The 16-bit string containers of the XML library.
#include "xml/WideStrBuilder.h"
#include "xml/WideStrCompare.h"
#include "xml/WideStrList.h"
#include "xml/WideStrNameValueList.h"
#include "xml/WideStrStream.h"
