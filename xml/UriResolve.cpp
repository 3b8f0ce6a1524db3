#include "xml/UriResolve.h"

#include <vector>

#include "xml/UriAnalyzer.h"

namespace {

// Removes "." segments and "<segment>/.." pairs (segment not ".."); false when
// a ".." would climb above the first segment.
bool RemoveDotSegments(std::vector<std::u16string_view>& segments) {
  // A final "." or ".." names a folder: the result ends with '/'.
  if (!segments.empty() && (segments.back() == u"." || segments.back() == u"..")) segments.emplace_back();
  std::vector<std::u16string_view> kept;
  kept.reserve(segments.size());
  for (std::u16string_view segment : segments) {
    if (segment == u".") continue;
    if (segment != u"..") {
      kept.push_back(segment);
      continue;
    }
    if (kept.empty()) return false;
    kept.pop_back();
  }
  segments.swap(kept);
  return true;
}

std::vector<std::u16string_view> SplitSegments(std::u16string_view path) {
  std::vector<std::u16string_view> segments;
  while (true) {
    size_t slash = path.find(u'/');
    segments.push_back(path.substr(0, slash));
    if (slash == std::u16string_view::npos) return segments;
    path.remove_prefix(slash + 1);
  }
}

}  // namespace

bool ResolveRelativeUriWideStr(std::u16string_view base, std::u16string_view reference, std::u16string& result) {
  result.clear();
  TUriWideStrAnalyzer a;
  TUriWideStrAnalyzer b;
  if (!a.SetUriReference(base) || !b.SetUriReference(reference)) return false;
  if (!a.HasScheme() && !b.HasScheme()) return false;

  if (b.Path().empty() && !b.HasScheme() && !b.HasAuthority() && !b.HasQuery()) {
    a.SetFragment(b.Fragment(), b.HasFragment());
    result = a.GetUriReference();
    return true;
  }
  if (b.HasScheme()) {
    result.assign(reference);
    return true;
  }
  b.SetScheme(a.Scheme(), a.HasScheme());
  if (b.HasAuthority()) {
    result = b.GetUriReference();
    return true;
  }
  b.SetAuthority(a.Authority(), a.HasAuthority());
  if (!b.Path().empty() && b.Path()[0] == u'/') {
    result = b.GetUriReference();
    return true;
  }

  // Merge: the base path up to its last '/', then the reference's path. A
  // base with an authority and an empty path counts as "/".
  std::u16string merged;
  const std::u16string& basePath = a.Path();
  if (a.HasAuthority() && basePath.empty()) {
    merged = u"/";
  } else {
    size_t lastSlash = basePath.rfind(u'/');
    if (lastSlash != std::u16string::npos) merged = basePath.substr(0, lastSlash + 1);
  }
  merged += b.Path();
  bool rooted = !merged.empty() && merged[0] == u'/';
  std::u16string_view rest(merged);
  if (rooted) rest.remove_prefix(1);
  std::vector<std::u16string_view> segments = SplitSegments(rest);
  if (!RemoveDotSegments(segments)) return false;

  std::u16string path;
  for (size_t i = 0; i < segments.size(); ++i) {
    if (rooted || i > 0) path += u'/';
    path += segments[i];
  }
  if (!b.SetPath(path)) return false;
  result = b.GetUriReference();
  return true;
}
