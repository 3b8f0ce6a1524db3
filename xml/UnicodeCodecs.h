#pragma once
// Every codec of the library and the encoding alias table, in one include.
#include "xml/CodePageCodecs.h"
#include "xml/UnicodeCodec.h"
#include "xml/UnicodeCodecAliases.h"
#include "xml/UnicodeCodecUcs2.h"
#include "xml/UnicodeCodecUcs4.h"
#include "xml/Utf16Codec.h"
#include "xml/Utf8Codec.h"
