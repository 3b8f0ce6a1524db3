#pragma once
// The patterns-file reader: parses "Quorvanell.xml" with the XML library and
// turns its "options" and "pattern" elements into the pattern list. A file
// that cannot be used is refused whole: the storage is left empty and the
// error names the file and, for a malformed file, the line and column of the
// first fatal error.
#include <string>

#include "core/Exception.h"
#include "WipeAlgTypes.h"

class TdomDocument;
class TXmlToDomParser;

// Raised for a patterns file that cannot be used; the message is meant for the user.
QV_DECLARE_EXCEPTION(EPatternsFileError, Exception);

// The most passes one pattern may have; the engine refuses more.
inline constexpr int kMaxPassesPerPattern = 100;

// Parses fileName and fills storage->Patterns in file order (and may set
// SelectedPatternCode). Raises EPatternsFileError for a missing or unreadable
// file, malformed XML (with the first fatal error's line and column), a
// required attribute missing, an "order" that is not a decimal integer, or a
// pattern with more than kMaxPassesPerPattern passes; storage then stays empty.
// The document is parsed by parser and stays with its DOM implementation.
void LoadPatternsFile(TDataStorage* storage, const std::string& fileName, TXmlToDomParser* parser);
// The same with a parser and DOM implementation of its own, freed on return.
void LoadPatternsFile(TDataStorage* storage, const std::string& fileName);

// Reads the patterns of a parsed document into storage (all or nothing).
// fileName only names the file in error messages.
void ReadPatternsDocument(TdomDocument* document, TDataStorage* storage, const std::string& fileName);

// The program's reader: the patterns file of the program folder; a failure
// shows an "Error" box naming the file and ends the program, with exit code
// kExitStartRefused, once the main form's creation returns (the main form is
// never shown). Installed as PatternsFileReader at start-up.
void LoadProgramPatterns(TDataStorage* storage);
