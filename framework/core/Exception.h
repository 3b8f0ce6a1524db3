#pragma once
// The base exception of the class library and the general errors the
// libraries raise. Messages are 8-bit text in the system code page.
#include <stdexcept>
#include <string>

class Exception : public std::exception {
public:
  explicit Exception(std::string message_) : message(std::move(message_)) {}
  const char* what() const noexcept override { return message.c_str(); }
  const std::string& Message() const { return message; }
  void SetMessage(std::string message_) { message = std::move(message_); }

private:
  std::string message;
};

// Declares an exception class NAME derived from BASE with the base's constructor.
#define QV_DECLARE_EXCEPTION(NAME, BASE) \
  class NAME : public BASE {             \
  public:                                \
    using BASE::BASE;                    \
  }

QV_DECLARE_EXCEPTION(EConvertError, Exception);
QV_DECLARE_EXCEPTION(EListError, Exception);
QV_DECLARE_EXCEPTION(EStringListError, Exception);
QV_DECLARE_EXCEPTION(EStreamError, Exception);
QV_DECLARE_EXCEPTION(EFCreateError, EStreamError);
QV_DECLARE_EXCEPTION(EFOpenError, EStreamError);
QV_DECLARE_EXCEPTION(EReadError, EStreamError);
QV_DECLARE_EXCEPTION(EWriteError, EStreamError);
QV_DECLARE_EXCEPTION(EIntOverflow, Exception);
QV_DECLARE_EXCEPTION(EAssertionFailed, Exception);
