#pragma once
// URI references: grammar, analysis, resolution and file URIs.
#include "xml/UriAnalyzer.h"
#include "xml/UriFileName.h"
#include "xml/UriGrammar.h"
#include "xml/UriResolve.h"
#include "xml/UriSystemId.h"
