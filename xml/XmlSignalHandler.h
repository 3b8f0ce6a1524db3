#pragma once
// TXmlCustomHandler: a component of a processing chain that receives signals.
#include <string>

#include "xml/DomImplementation.h"
#include "xml/XmlSignals.h"

class TXmlCustomHandler : public TDomBaseComponent {
public:
  // With a reader: the reader's SendErrorNotification (which raises
  // EParserException "Signal Processing Exception" on a stop verdict).
  // Without: raises that exception for a fatal error type, else nothing.
  virtual void SendErrorNotification(TXmlCustomReader* reader, TXmlErrorType errorType, const IDomLocator* locator,
                                     const std::u16string& code);
  // Takes one signal, synchronously; the signal stays the caller's.
  virtual void ProcessSignal(TXmlSignal* signal) = 0;
  // The document the chain from here builds, or null: a reader holds it
  // while it reads, and calls the error handlers under that hold.
  virtual TdomDocument* TargetDocument() const { return nullptr; }

protected:
  // Every ProcessSignal holds its handler first: one that a listener or an
  // error handler frees stays in memory until the outermost signal is done.
  // (The component's own hold, called directly: a parse takes one a signal.)
  class TSignalHold {
  public:
    explicit TSignalHold(TXmlCustomHandler* handler_) : handler(handler_) { handler->TComponent::Hold(); }
    ~TSignalHold() { handler->TComponent::Unhold(); }
    TSignalHold(const TSignalHold&) = delete;
    TSignalHold& operator=(const TSignalHold&) = delete;

  private:
    TXmlCustomHandler* handler;
  };
  // A handler freed meanwhile ends the read: raises EParserException.
  void EndIfFreed() const {
    if (TComponent::Going()) RaiseFreed();
  }

private:
  [[noreturn]] static void RaiseFreed();
};
