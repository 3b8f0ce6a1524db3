#pragma once
// Base classes of what the explorer views persist: a stream version word
// travels first (optionally) and descendants read their fields by it.
#include <cstdint>
#include <string>

#include "core/Lists.h"
#include "core/Persistent.h"
#include "core/Stream.h"

class TStreamableClass : public TPersistent {
public:
  // Opens the file (read, exclusive) and loads from it; raises when it cannot be opened.
  virtual void LoadFromFile(const std::u16string& fileName, int32_t version, bool readVerFromStream);
  // Reads the 4-byte version when readVerFromStream (a short stream raises
  // EReadError), else takes version. Descendants call this first.
  virtual void LoadFromStream(TStream* stream, int32_t version, bool readVerFromStream);
  // Creates the file and saves into it; raises when it cannot be created.
  virtual void SaveToFile(const std::u16string& fileName, int32_t version, bool writeVerToStream);
  // Writes version as 4 bytes when writeVerToStream; StreamVersion becomes version either way.
  virtual void SaveToStream(TStream* stream, int32_t version, bool writeVerToStream);

  // -1 until a load or save.
  int32_t StreamVersion() const { return streamVersion; }

protected:
  int32_t streamVersion = -1;
};

class TStreamableList : public TList {
public:
  // Version 0 and no version in the file.
  virtual void LoadFromFile(const std::u16string& fileName);
  // Clears the list, then reads the version as TStreamableClass does.
  virtual void LoadFromStream(TStream* stream, int32_t version, bool readVerFromStream);
  virtual void SaveToFile(const std::u16string& fileName);
  virtual void SaveToStream(TStream* stream, int32_t version, bool writeVerToStream);

  int32_t StreamVersion() const { return streamVersion; }

protected:
  int32_t streamVersion = -1;
};
