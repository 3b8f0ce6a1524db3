#pragma once
// The growing output buffers of the string tree's content export and the
// window-free encoders its formats share: UTF-8 with HTML escapes, RTF
// Unicode escapes, CSV cells and the CF_HTML description. Every encoder
// turns an unpaired surrogate into U+FFFD, so no export drops a character,
// and a NUL too: a reader of the zero-terminated text formats would take it
// for the end and lose the rest.
#include <cstdint>
#include <string>
#include <string_view>

// An output buffer of CharT that grows geometrically (at least doubling), so
// that appending n characters in pieces costs O(n) whatever the piece sizes.
template <class CharT>
class TBasicBufferedString {
public:
  void Add(std::basic_string_view<CharT> s) {
    Reserve(s.size());
    text.append(s.data(), s.size());
  }
  void Add(CharT c) {
    Reserve(1);
    text.push_back(c);
  }
  // Appends CR LF.
  void AddNewLine() {
    Reserve(2);
    text.push_back(CharT('\r'));
    text.push_back(CharT('\n'));
  }
  // Appends value in decimal (negative values with a minus sign).
  void AddInt(int64_t value);
  size_t Length() const { return text.size(); }
  // The buffer's block size, in characters.
  size_t Capacity() const { return text.capacity(); }
  const std::basic_string<CharT>& Text() const { return text; }
  // Hands the content over; the buffer is empty afterwards.
  std::basic_string<CharT> TakeText() { return std::move(text); }

private:
  void Reserve(size_t more) {
    if (text.capacity() - text.size() >= more) return;
    size_t wanted = text.size() + more;
    size_t grown = text.capacity() < kMinimumBlock ? kMinimumBlock : text.capacity() * 2;
    text.reserve(grown > wanted ? grown : wanted);
  }
  static constexpr size_t kMinimumBlock = 4096;
  std::basic_string<CharT> text;
};

using TBufferedString = TBasicBufferedString<char>;
using TWideBufferedString = TBasicBufferedString<char16_t>;

extern template class TBasicBufferedString<char>;
extern template class TBasicBufferedString<char16_t>;

constexpr char16_t kReplacementCharacter = 0xFFFD;

// True when text holds a surrogate without its partner or a NUL.
bool HasUnwritable(std::u16string_view text);
// text with every unpaired surrogate and every NUL replaced by U+FFFD.
std::u16string ReplaceUnwritable(std::u16string_view text);

// Appends text as UTF-8 (a NUL as U+FFFD); with escapeHtml, & < > and " become entities.
void AppendUtf8(TBufferedString& out, std::u16string_view text, bool escapeHtml);
// Appends 8-bit text (already in the output's encoding) with & < > " as entities.
void AppendHtmlEscaped(TBufferedString& out, std::string_view text);
// Appends "#RRGGBB" (upper-case hexadecimal) for a COLORREF-ordered value (0x00BBGGRR).
void AppendHtmlColor(TBufferedString& out, uint32_t colorRef);

// Appends every UTF-16 code unit as "\uN\'3f", N signed 16-bit as RTF wants
// (so U+FFFD is \u-3); a surrogate pair stays two escapes.
void AppendRtfUnicode(TBufferedString& out, std::u16string_view text);
// Appends an 8-bit name for an RTF table entry: \ { } escaped, bytes from
// 0x80 and control bytes as \'hh.
void AppendRtfName(TBufferedString& out, std::string_view name);

// Appends one CSV cell: enclosed in double quotes with inner quotes doubled
// when it holds the separator, a double quote, CR or LF; unchanged otherwise
// (but for what ReplaceUnwritable replaces).
void AppendCsvCell(TWideBufferedString& out, std::u16string_view text, char16_t separator);

// The clipboard's "HTML Format" document around fragment (UTF-8): the
// description with byte offsets, the HTML frame and the fragment markers.
std::string WrapHtmlClipboardFormat(std::string_view fragment);
