#pragma once
// Failure classes of the platform layer. Every failure of the system is an exception of this
// family (not std::exception), so that the trace convention can recognise and extend it.

#include <cstdint>

#include "SysTypes.h"

namespace pel {

class Exception {
public:
  explicit Exception(AnsiString Message) : FMessage(std::move(Message)) {}
  virtual ~Exception() = default;

  const AnsiString& Message() const { return FMessage; }
  void SetMessage(AnsiString Message) { FMessage = std::move(Message); }

private:
  AnsiString FMessage;
};

// Automation failures. `EOleException` carries the four fields of an automation error result.
class EOleError : public Exception {
public:
  using Exception::Exception;
};

class EOleSysError : public EOleError {
public:
  EOleSysError(AnsiString Message, int32_t ErrorCode) : EOleError(std::move(Message)), ErrorCode(ErrorCode) {}
  int32_t ErrorCode;
};

class EOleException : public EOleSysError {
public:
  EOleException(AnsiString Message, int32_t ErrorCode, AnsiString Source, AnsiString HelpFile, int32_t HelpContext)
      : EOleSysError(std::move(Message), ErrorCode),
        Source(std::move(Source)),
        HelpFile(std::move(HelpFile)),
        HelpContext(HelpContext) {}
  AnsiString Source;
  AnsiString HelpFile;
  int32_t HelpContext;
};

// Run-time failures of the portable types.
class EConvertError : public Exception {
public:
  using Exception::Exception;
};
class EVariantError : public Exception {
public:
  using Exception::Exception;
};
class EListError : public Exception {
public:
  using Exception::Exception;
};
class EStringListError : public Exception {
public:
  using Exception::Exception;
};
class EInvalidCast : public Exception {
public:
  using Exception::Exception;
};
class EIntOverflow : public Exception {
public:
  using Exception::Exception;
};
class EStreamError : public Exception {
public:
  using Exception::Exception;
};
class EReadError : public EStreamError {
public:
  using EStreamError::EStreamError;
};

}  // namespace pel
