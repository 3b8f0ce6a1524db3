#include "xml/XmlDocReader.h"

#include <algorithm>
#include <new>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "xml/Document.h"
#include "xml/DomException.h"
#include "xml/NameSet.h"
#include "xml/WideStrCompare.h"
#include "xml/WideStrStream.h"
#include "xml/XmlDoctypeTokenizer.h"
#include "xml/XmlRules.h"

// --- TXmlCustomReader -------------------------------------------------------------

void TXmlCustomReader::Create(TComponent* owner) { TDomBaseComponent::Create(owner); }

void TXmlCustomReader::SetDOMImpl(TDomImplementation* value) {
  if (value == domImpl) return;
  if (domImpl != nullptr) RemoveFreeNotification(domImpl);
  domImpl = value;
  if (domImpl != nullptr) FreeNotification(domImpl);
}

void TXmlCustomReader::SetNextHandler(TXmlCustomHandler* value) {
  if (value == nextHandler) return;
  if (nextHandler != nullptr) RemoveFreeNotification(nextHandler);
  nextHandler = value;
  if (nextHandler != nullptr) FreeNotification(nextHandler);
}

void TXmlCustomReader::Notification(TComponent* component, TOperation operation) {
  TDomBaseComponent::Notification(component, operation);
  if (operation != opRemove) return;
  if (component == domImpl) domImpl = nullptr;
  if (component == nextHandler) nextHandler = nullptr;
}

void TXmlCustomReader::SendErrorNotification(TXmlErrorType errorType, const IDomLocator* locator,
                                             const std::u16string& code) {
  std::unique_ptr<TdomError> error = TdomError::CreateFromLocator(errorType, locator, code);
  TdomDocumentWatch none(nullptr);
  const TdomDocumentWatch& hold = readHold != nullptr ? *readHold : none;
  // A handler that frees the document, or frees or moves a node of it (the
  // element being read, perhaps), ends the read: the builder holds nodes.
  TdomDocument* document = hold.Document();
  uint64_t stamp = document != nullptr ? document->StructureStamp() : 0;
  hold.Call(OnError, this, error.get());
  bool go = domImpl != nullptr ? domImpl->HandleError(hold, this, error.get())
                               : error->GetSeverity() != DOM_SEVERITY_FATAL_ERROR;
  if (!go) throw EParserException(DomMessage::kSignalProcessing);
  // A handler that freed the reader (its parser, say) ends the read too.
  if (Going()) throw EParserException(DomMessage::kReaderFreed);
  if (hold.DocumentGone() || (document != nullptr && document->StructureStamp() != stamp))
    throw EParserException(DomMessage::kTreeChanged);
}

TXmlCustomReader::TReadHold::TReadHold(TXmlCustomReader* reader_)
    : self(reader_),
      reader(reader_),
      saved(reader_->readHold),
      hold(reader_->NextHandler() != nullptr ? reader_->NextHandler()->TargetDocument() : nullptr) {
  reader->readHold = &hold;
}

// --- TXmlStandardDocReader -------------------------------------------------------

void TXmlStandardDocReader::Create(TComponent* owner) {
  TXmlCustomReader::Create(owner);
  prefixMapping = true;
  suppressXmlns = false;
  pcdataSignal.reset(New<TXmlPCDATASignal>());
  startSignal.reset(New<TXmlStartElementSignal>());
  endSignal.reset(New<TXmlEndElementSignal>());
  entityRefSignal.reset(New<TXmlEntityRefSignal>());
  commentSignal.reset(New<TXmlCommentSignal>());
}

TXmlStandardDocReader::~TXmlStandardDocReader() { Reset(); }

void TXmlStandardDocReader::Reset() { prefixStack.clear(); }

void TXmlStandardDocReader::Send(TXmlSignal* signal) {
  if (NextHandler() == nullptr) return;
  NextHandler()->ProcessSignal(signal);
  // A listener of what the signal built freed this reader: the read ends.
  if (TComponent::Going()) throw EParserException(DomMessage::kSignalProcessing);
}

bool TXmlStandardDocReader::ParseDocument(TXmlInputSource* source) { return Parse(source, false); }

bool TXmlStandardDocReader::ParseFragment(TXmlInputSource* source) { return Parse(source, true); }

bool TXmlStandardDocReader::Parse(TXmlInputSource* source, bool fragment) {
  TReadHold hold(this);
  // This read's reason only: a read nested in it (an entity's) sets its own.
  std::string reason;
  std::unique_ptr<TXmlDocTokenizer> tokenizer(New<TXmlDocTokenizer>(source, TabWidth()));
  // Forgotten on every way out: the tokenizer dies with this call.
  struct Forget {
    TXmlStandardDocReader* reader;
    const TXmlDocTokenizer* saved;
    ~Forget() {
      reader->docTokenizer = saved;
      // The reused signals keep their places, not the tokenizer's.
      reader->pcdataSignal->FixPlace();
      reader->startSignal->FixPlace();
      reader->endSignal->FixPlace();
      reader->entityRefSignal->FixPlace();
      reader->commentSignal->FixPlace();
    }
  } forget{this, docTokenizer};
  docTokenizer = tokenizer.get();
  pcdataSignal->ForgetUriSource();
  startSignal->ForgetUriSource();
  endSignal->ForgetUriSource();
  entityRefSignal->ForgetUriSource();
  commentSignal->ForgetUriSource();
  try {
    if (fragment) {
      SendStartDocumentFragmentSignal(tokenizer.get(), source);
    } else {
      SendStartDocumentSignal(tokenizer.get(), source);
    }
    ProcessTokens(tokenizer.get());
    SendCompletedSignal(tokenizer.get());
    return true;
  } catch (const EDecodingError& e) {
    // Bytes the codec cannot read end the entity whatever the verdict: the
    // error is reported at their place like any fatal error.
    try {
      TXmlCharLocator where(e.Where(), source->SystemId(), TabWidth());
      SendErrorNotification(kDecodingErrorType, &where, DecodingErrorCode(e));
    } catch (...) {
    }
  } catch (const std::bad_alloc&) {
    // Running out of memory is no fault of the document: the handlers are
    // told that it ends, and the caller learns what happened.
    try {
      SendAbortedSignal(tokenizer.get());
    } catch (...) {
    }
    throw EOutOfMemory();
  } catch (const EParserException& e) {
    // A verdict's stop was reported through the error path already; the
    // chain's own reason is kept for the caller.
    if (e.Message() != DomMessage::kSignalProcessing) reason = e.Message();
  } catch (...) {
    // What went wrong was reported through the error path already.
  }
  // The handlers are told that this entity ends here.
  try {
    SendAbortedSignal(tokenizer.get());
  } catch (...) {
  }
  stopReason = reason;
  return false;
}

void TXmlStandardDocReader::ProcessTokens(TXmlDocTokenizer* tokenizer) {
  for (;;) {
    tokenizer->Next();
    if (tokenizer->ErrorType() != ET_NONE)
      SendErrorNotification(tokenizer->ErrorType(), tokenizer, tokenizer->TokenText());
    switch (tokenizer->TokenType()) {
      case TK_CDATA:
        SendCDATASignal(tokenizer);
        break;
      case TK_CHAR_REF_DEC:
        SendCharRefSignal(tokenizer, false);
        break;
      case TK_CHAR_REF_HEX:
        SendCharRefSignal(tokenizer, true);
        break;
      case TK_COMMENT:
        SendCommentSignal(tokenizer);
        break;
      case TK_DOCTYPE_DECL:
        ProcessDoctypeDecl(tokenizer);
        break;
      case TK_EMPTY_ELEMENT_TAG:
        SendEmptyElementSignals(tokenizer);
        break;
      case TK_END_TAG:
        SendEndElementSignal(tokenizer, tokenizer->TokenText());
        break;
      case TK_ENTITY_REF:
        SendEntityRefSignal(tokenizer);
        break;
      case TK_PCDATA:
        SendPCDATASignal(tokenizer);
        break;
      case TK_PI:
        SendProcessingInstructionSignal(tokenizer);
        break;
      case TK_START_TAG:
        SendStartElementSignal(tokenizer);
        break;
      case TK_END_OF_SOURCE:
        return;
      case TK_START_OF_SOURCE:
        break;
    }
  }
}

void TXmlStandardDocReader::SendAbortedSignal(const IDomLocator* locator) {
  Reset();
  if (NextHandler() == nullptr) return;
  std::unique_ptr<TXmlAbortedSignal> signal(TXmlSignal::CreateFromLocator<TXmlAbortedSignal>(this, locator));
  Send(signal.get());
}

void TXmlStandardDocReader::SendCompletedSignal(const IDomLocator* locator) {
  Reset();
  if (NextHandler() == nullptr) return;
  std::unique_ptr<TXmlCompletedSignal> signal(TXmlSignal::CreateFromLocator<TXmlCompletedSignal>(this, locator));
  Send(signal.get());
}

void TXmlStandardDocReader::SendStartDocumentSignal(const IDomLocator* locator, TXmlInputSource* source) {
  Reset();
  if (NextHandler() == nullptr) return;
  std::unique_ptr<TXmlStartDocumentSignal> signal(
      TXmlSignal::CreateFromLocator<TXmlStartDocumentSignal>(this, locator));
  signal->InputEncoding = source->DecodingEncodingName();
  signal->XmlEncoding = source->XmlEncoding();
  signal->XmlStandalone = source->XmlStandalone();
  signal->XmlVersion = source->XmlVersion();
  Send(signal.get());
}

void TXmlStandardDocReader::SendStartDocumentFragmentSignal(const IDomLocator* locator, TXmlInputSource* source) {
  Reset();
  if (NextHandler() == nullptr) return;
  std::unique_ptr<TXmlStartDocumentFragmentSignal> signal(
      TXmlSignal::CreateFromLocator<TXmlStartDocumentFragmentSignal>(this, locator));
  signal->XmlEncoding = source->XmlEncoding();
  Send(signal.get());
}

void TXmlStandardDocReader::SendCDATASignal(TXmlDocTokenizer* tokenizer) {
  if (NextHandler() == nullptr) return;
  std::unique_ptr<TXmlCDATASignal> signal(TXmlSignal::CreateAtToken<TXmlCDATASignal>(this, tokenizer));
  signal->Data = tokenizer->TokenText();
  Send(signal.get());
}

void TXmlStandardDocReader::SendCharRefSignal(TXmlDocTokenizer* tokenizer, bool hex) {
  const std::u16string& digits = tokenizer->TokenText();
  // At most seven significant digits are looked at, so the value cannot
  // overflow; anything beyond U+10FFFF is refused, never wrapped.
  uint32_t value = 0;
  bool valid = !digits.empty();
  for (char16_t c : digits) {
    uint32_t digit = c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10;
    value = value * (hex ? 16 : 10) + digit;
    if (value > 0x10FFFF) {
      valid = false;
      break;
    }
  }
  if (valid && value >= 0xD800 && value <= 0xDFFF) valid = false;
  if (!valid) {
    std::u16string code = (hex ? u"&#x" : u"&#") + digits + u";";
    SendErrorNotification(ET_INVALID_CHAR_REF, tokenizer, code);
    return;
  }
  if (NextHandler() == nullptr) return;
  TXmlPCDATASignal* signal = pcdataSignal.get();
  signal->Locate(this, tokenizer);
  signal->CharRefGenerated = true;
  signal->Data.clear();
  if (value < 0x10000) {
    signal->Data.push_back(static_cast<char16_t>(value));
  } else {
    signal->Data.push_back(static_cast<char16_t>((value >> 10) + 0xD7C0));
    signal->Data.push_back(static_cast<char16_t>((value & 0x3FF) | 0xDC00));
  }
  Send(signal);
}

void TXmlStandardDocReader::SendCommentSignal(TXmlDocTokenizer* tokenizer) {
  if (NextHandler() == nullptr) return;
  TXmlCommentSignal* signal = commentSignal.get();
  signal->Locate(this, tokenizer);
  tokenizer->TakeTokenText(signal->Data);
  Send(signal);
}

void TXmlStandardDocReader::SendPCDATASignal(TXmlDocTokenizer* tokenizer) {
  if (NextHandler() == nullptr) return;
  TXmlPCDATASignal* signal = pcdataSignal.get();
  signal->Locate(this, tokenizer);
  signal->CharRefGenerated = false;
  tokenizer->TakeTokenText(signal->Data);
  Send(signal);
}

void TXmlStandardDocReader::SendProcessingInstructionSignal(TXmlDocTokenizer* tokenizer) {
  if (NextHandler() == nullptr) return;
  std::unique_ptr<TXmlProcessingInstructionSignal> signal(
      TXmlSignal::CreateAtToken<TXmlProcessingInstructionSignal>(this, tokenizer));
  const std::u16string& text = tokenizer->TokenText();
  size_t i = 0;
  while (i < text.size() && !IsXmlWhiteSpaceWideChar(text[i])) ++i;
  signal->Target = text.substr(0, i);
  while (i < text.size() && IsXmlWhiteSpaceWideChar(text[i])) ++i;
  signal->Data = text.substr(i);
  Send(signal.get());
}

void TXmlStandardDocReader::SendStartElementSignal(TXmlDocTokenizer* tokenizer) {
  TXmlStartElementSignal* signal = startSignal.get();
  signal->Locate(this, tokenizer);
  signal->TagName.clear();
  if (prefixMapping || suppressXmlns) {
    ParseAttributesWithPrefixMapping(tokenizer, tokenizer->TokenText(), signal->Attributes, signal->TagName);
  } else {
    ParseAttributes(tokenizer, tokenizer->TokenText(), signal->Attributes, signal->TagName);
  }
  Send(signal);
}

void TXmlStandardDocReader::SendEmptyElementSignals(TXmlDocTokenizer* tokenizer) {
  SendStartElementSignal(tokenizer);
  // The tag's name as the start signal had it, from the token, which only
  // this read's next token changes (a nested read may reuse the signal).
  std::u16string_view tag = tokenizer->TokenText();
  size_t end = 0;
  while (end < tag.size() && !IsXmlWhiteSpaceWideChar(tag[end])) ++end;
  SendEndElementSignal(tokenizer, tag.substr(0, end));
}

void TXmlStandardDocReader::ParseAttributes(const IDomLocator* locator, std::u16string_view tag,
                                            TUtilsNameValueList* attributes, std::u16string& tagName) {
  ScanAttributes(locator, tag, attributes, tagName, false);
}

void TXmlStandardDocReader::ParseAttributesWithPrefixMapping(const IDomLocator* locator, std::u16string_view tag,
                                                             TUtilsNameValueList* attributes,
                                                             std::u16string& tagName) {
  if (prefixMapping) prefixStack.emplace_back();
  ScanAttributes(locator, tag, attributes, tagName, true);
}

namespace {

// The first k from i on with tag[k] == unit, else tag.size(): eight units a
// compare where the processor allows.
size_t FindUnit(std::u16string_view tag, size_t i, char16_t unit) {
  const char16_t* p = tag.data();
  size_t n = tag.size();
#if defined(__SSE2__)
  const __m128i wanted = _mm_set1_epi16(static_cast<short>(unit));
  for (; i + 8 <= n; i += 8) {
    __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
    int mask = _mm_movemask_epi8(_mm_cmpeq_epi16(v, wanted));
    if (mask != 0) return i + __builtin_ctz(mask) / 2;
  }
#endif
  while (i < n && p[i] != unit) ++i;
  return i;
}

// A start tag's pairs on their way into its attribute list. The first
// sixteen are kept as views of the tag and go in at the end, sorted by name,
// in one fill that reuses the list's strings; beyond sixteen (a rare tag)
// they are added unsorted and the list is sorted once at the end, so that
// many attributes cost O(n log n). The names are all different (a repeated
// one ends the tag), so either way gives the same order.
class TAttributeCollector {
public:
  explicit TAttributeCollector(TUtilsNameValueList* list_) : list(list_) {}
  void Add(std::u16string_view name, std::u16string_view value) {
    if (count < kFew) {
      new (&names[count]) std::u16string_view(name);
      new (&values[count]) std::u16string_view(value);
    } else {
      if (count == kFew) {
        list->SetSorted(false);
        int order[kFew];
        for (int i = 0; i < kFew; ++i) order[i] = i;
        list->RefillSorted(names, values, order, kFew);
      }
      list->Add(name, value);
    }
    ++count;
  }
  // Puts what was collected into the list, sorted by name.
  void Finish() {
    // No attributes after a tag without any: the list is as it should be.
    if (count == 0 && list->GetCount() == 0 && list->Names()->Sorted()) return;
    if (count > kFew) {
      list->SetSorted(true);
      return;
    }
    int order[kFew];
    for (int i = 0; i < count; ++i) {
      int j = i;
      for (; j > 0 && CompareWideStr(names[i], names[order[j - 1]]) < 0; --j) order[j] = order[j - 1];
      order[j] = i;
    }
    list->SetSorted(true);
    list->RefillSorted(names, values, order, count);
  }

private:
  static constexpr int kFew = 16;
  TUtilsNameValueList* list;
  int count = 0;
  // Room for the first pairs, left as it is until a pair goes in.
  union {
    std::u16string_view names[kFew];
  };
  union {
    std::u16string_view values[kFew];
  };
};

}  // namespace

void TXmlStandardDocReader::ScanAttributes(const IDomLocator* locator, std::u16string_view tag,
                                           TUtilsNameValueList* attributes, std::u16string& tagName, bool mapping) {
  // Also when a fault ends the tag early, the list gets what was read.
  TAttributeCollector collector(attributes);
  ScanAttributePairs(locator, tag, tagName, mapping, collector);
  collector.Finish();
}

template <class Collector>
void TXmlStandardDocReader::ScanAttributePairs(const IDomLocator* locator, std::u16string_view tag,
                                               std::u16string& tagName, bool mapping, Collector& collector) {
  TNameSet seen;
  size_t n = tag.size();
  size_t i = 0;
  auto white = [](char16_t c) { return c == u' ' || c == u'\n' || c == u'\t' || c == u'\r'; };
  auto isWhite = [&](size_t k) { return k < n && white(tag[k]); };
  auto skipWhite = [&] {
    while (isWhite(i)) ++i;
  };
  auto add = [&collector](std::u16string_view name, std::u16string_view value) { collector.Add(name, value); };
  while (i < n && !white(tag[i])) ++i;
  // Into the buffer the name of the last tag left (no general replace).
  tagName.clear();
  tagName.append(tag.data(), i);
  skipWhite();
  auto report = [&](TXmlErrorType type) { SendErrorNotification(type, locator, std::u16string()); };
  while (i < n) {
    size_t nameStart = i;
    while (i < n && tag[i] != u'=' && !white(tag[i])) ++i;
    std::u16string_view name = tag.substr(nameStart, i - nameStart);
    skipWhite();
    if (i >= n || tag[i] != u'=') return report(ET_MISSING_EQUALITY_SIGN);
    ++i;
    skipWhite();
    if (i >= n || (tag[i] != u'\'' && tag[i] != u'"')) return report(ET_MISSING_QUOTATION_MARK);
    char16_t quote = tag[i++];
    size_t valueStart = i;
    i = FindUnit(tag, i, quote);
    if (i >= n) return report(ET_MISSING_QUOTATION_MARK);
    std::u16string_view value = tag.substr(valueStart, i - valueStart);
    ++i;
    if (!seen.Insert(name)) return report(ET_DOUBLE_ATTRIBUTE_NAME);
    bool declaration = false;
    std::u16string prefix;
    if (mapping) {
      if (name == u"xmlns") {
        declaration = true;
      } else if (name.size() > 6 && name.substr(0, 6) == u"xmlns:") {
        declaration = true;
        prefix.assign(name.substr(6));
      }
    }
    if (declaration) {
      if (prefixMapping) {
        prefixStack.back().push_back(prefix);
        SendStartPrefixMappingSignal(locator, prefix, std::u16string(value));
      }
      if (!suppressXmlns) add(name, value);
    } else {
      add(name, value);
    }
    if (i < n && !white(tag[i])) return report(ET_MISSING_WHITESPACE);
    skipWhite();
  }
}

void TXmlStandardDocReader::SendStartPrefixMappingSignal(const IDomLocator* locator, const std::u16string& prefix,
                                                         const std::u16string& uri) {
  if (NextHandler() == nullptr) return;
  std::unique_ptr<TXmlStartPrefixMappingSignal> signal(
      TXmlSignal::CreateFromLocator<TXmlStartPrefixMappingSignal>(this, locator));
  signal->Prefix = prefix;
  signal->Uri = uri;
  Send(signal.get());
}

void TXmlStandardDocReader::SendEndElementSignal(const IDomLocator* locator, std::u16string_view tagName) {
  if (NextHandler() != nullptr) {
    TXmlEndElementSignal* signal = endSignal.get();
    if (locator != nullptr && locator == static_cast<const IDomLocator*>(docTokenizer)) {
      signal->Locate(this, docTokenizer);
    } else {
      signal->Locate(this, locator);
    }
    signal->TagName.clear();
    signal->TagName.append(tagName);
    Send(signal);
  }
  SendEndPrefixMappingSignals(locator);
}

void TXmlStandardDocReader::SendEndPrefixMappingSignals(const IDomLocator* locator) {
  if (NextHandler() == nullptr || !prefixMapping || prefixStack.empty()) return;
  std::vector<std::u16string> prefixes = std::move(prefixStack.back());
  prefixStack.pop_back();
  for (auto it = prefixes.rbegin(); it != prefixes.rend(); ++it) {
    std::unique_ptr<TXmlEndPrefixMappingSignal> signal(
        TXmlSignal::CreateFromLocator<TXmlEndPrefixMappingSignal>(this, locator));
    signal->Prefix = *it;
    Send(signal.get());
  }
}

void TXmlStandardDocReader::SendEntityRefSignal(TXmlDocTokenizer* tokenizer) {
  if (NextHandler() == nullptr) return;
  // The reused signal, unless a handler still works on it (the reference's
  // expansion reading with this same reader).
  std::unique_ptr<TXmlEntityRefSignal> own;
  TXmlEntityRefSignal* signal = entityRefSignal.get();
  if (entityRefSignalBusy) {
    own.reset(New<TXmlEntityRefSignal>());
    signal = own.get();
  }
  signal->Locate(this, tokenizer);
  signal->EntityName = tokenizer->TokenText();
  struct Busy {
    bool& flag;
    bool was;
    ~Busy() { flag = was; }
  } busy{entityRefSignalBusy, entityRefSignalBusy};
  entityRefSignalBusy = true;
  Send(signal);
}

void TXmlStandardDocReader::ProcessDoctypeDecl(TXmlDocTokenizer* tokenizer) {
  std::unique_ptr<TUtilsWideStringStream> stream(New<TUtilsWideStringStream>(u"\uFEFF" + tokenizer->TokenText()));
  const TUtilsUCS4CharData& start = tokenizer->StartPosition();
  std::unique_ptr<TXmlInputSource> source(New<TXmlInputSource>(
      stream.get(), std::u16string(), tokenizer->GetUri(), 4096, std::u16string(u"UTF-16LE"), true,
      start.ByteNumber, start.CharNumber - 1, start.Column - 1, start.TabsInLine, start.Line));
  std::unique_ptr<TXmlDoctypeDeclTokenizer> declTokenizer(New<TXmlDoctypeDeclTokenizer>(source.get(), TabWidth()));
  std::u16string name, publicId, systemId, subset;
  // Without an internal subset, the declaration's own place (for reports about the external subset).
  int64_t subsetByte = start.ByteNumber, subsetChar = start.CharNumber - 1, subsetColumn = start.Column - 1,
          subsetLine = start.Line;
  if (declTokenizer->ErrorType() != ET_NONE) {
    SendErrorNotification(declTokenizer->ErrorType(), tokenizer, std::u16string());
    return;
  }
  for (;;) {
    declTokenizer->Next();
    if (declTokenizer->ErrorType() != ET_NONE) {
      SendErrorNotification(declTokenizer->ErrorType(), declTokenizer.get(), declTokenizer->TokenText());
      return;
    }
    switch (declTokenizer->TokenType()) {
      case DCT_NAME:
        name = declTokenizer->TokenText();
        break;
      case DCT_PUBLIC_ID:
        publicId = declTokenizer->TokenText();
        break;
      case DCT_SYSTEM_ID:
        systemId = declTokenizer->TokenText();
        break;
      case DCT_INTERNAL_SUBSET:
        subset = declTokenizer->TokenText();
        subsetByte = declTokenizer->GetStartByteNumber();
        subsetChar = declTokenizer->GetStartCharNumber() - 1;
        subsetColumn = declTokenizer->GetStartColumnNumber() - 1;
        subsetLine = declTokenizer->GetStartLineNumber();
        if (subsetColumn == -1) subsetLine -= 1;
        break;
      default:
        break;
    }
    if (declTokenizer->TokenType() == DCT_END_OF_SOURCE) break;
  }
  if (NextHandler() == nullptr) return;
  std::unique_ptr<TXmlDoctypeSignal> signal(TXmlSignal::CreateFromLocator<TXmlDoctypeSignal>(this, tokenizer));
  signal->Data = subset;
  signal->DoctypeName = name;
  signal->PublicId = publicId;
  signal->SystemId = systemId;
  signal->IntSubsetStartByteNumber = subsetByte;
  signal->IntSubsetStartCharNumber = subsetChar;
  signal->IntSubsetStartColumn = subsetColumn;
  signal->IntSubsetStartLine = subsetLine;
  Send(signal.get());
}
