#pragma once
// All lexical rules of XML 1.0 and Namespaces in XML.
#include "xml/XmlRulesChars.h"
#include "xml/XmlRulesLanguage.h"
#include "xml/XmlRulesStrings.h"
