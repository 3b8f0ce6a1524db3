#pragma once
// TUriWideStrAnalyzer: splits a URI reference into scheme, authority, path,
// query and fragment, and puts it back together (RFC 2396, section 7). A
// component whose flag is false is absent, which differs from present and
// empty ("a?" has an empty query, "a" none). The path is always present.
#include <string>
#include <string_view>

#include "core/Object.h"

class TUriWideStrAnalyzer : public TObject {
public:
  // Creation phase: the empty reference.
  void Create();

  // Recomposes: scheme ":", "//" authority, path, "?" query, "#" fragment,
  // each only when present.
  virtual std::u16string GetUriReference() const;
  // Present values must pass the authority / fragment / query / scheme rule,
  // else the component is emptied and false returned. Absent: emptied, true.
  virtual bool SetAuthority(std::u16string_view value, bool present);
  virtual bool SetFragment(std::u16string_view value, bool present);
  // Stores value when it passes the path rule, else the empty path.
  virtual bool SetPath(std::u16string_view value);
  virtual bool SetQuery(std::u16string_view value, bool present);
  // Parses text; on failure the analyzer holds the empty reference and false
  // is returned. A scheme is taken only when its colon comes before any '/',
  // '?' or '#', so relative paths with a colon in a later segment parse.
  virtual bool SetUriReference(std::u16string_view text);
  virtual bool SetScheme(std::u16string_view value, bool present);

  const std::u16string& Authority() const { return authority; }
  const std::u16string& Fragment() const { return fragment; }
  const std::u16string& Query() const { return query; }
  const std::u16string& Path() const { return path; }
  const std::u16string& Scheme() const { return scheme; }
  bool HasAuthority() const { return hasAuthority; }
  bool HasFragment() const { return hasFragment; }
  bool HasQuery() const { return hasQuery; }
  bool HasScheme() const { return hasScheme; }

private:
  void Reset();

  std::u16string authority;
  std::u16string fragment;
  std::u16string query;
  std::u16string path;
  std::u16string scheme;
  bool hasAuthority = false;
  bool hasFragment = false;
  bool hasQuery = false;
  bool hasScheme = false;
};
