#include "xml/XmlSignalHandler.h"

#include "xml/DomException.h"
#include "xml/XmlDocReader.h"

void TXmlCustomHandler::SendErrorNotification(TXmlCustomReader* reader, TXmlErrorType errorType,
                                              const IDomLocator* locator, const std::u16string& code) {
  if (reader != nullptr) {
    reader->SendErrorNotification(errorType, locator, code);
    return;
  }
  if (IsFatalErrorType(errorType)) throw EParserException(DomMessage::kSignalProcessing);
}

void TXmlCustomHandler::RaiseFreed() { throw EParserException(DomMessage::kSignalProcessing); }
