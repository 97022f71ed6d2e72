#pragma once
// The error trace convention: a failure passing a routine gets "\r\n>>" and the routine's number
// appended and is raised again, so the message that reaches the user lists every routine it
// crossed, innermost first. The silent family passes untouched; it unwinds commands on purpose.

#include <cstdint>
#include <utility>

#include "platform/Exceptions.h"

namespace pel {

// Base of the silent family.
class EKXException : public Exception {
public:
  using Exception::Exception;
};

// Unwinds a running command when the browser starts a navigation under it.
class EBeforeNavigate : public EKXException {
public:
  EBeforeNavigate() : EKXException("BeforeNavigate executes during procedure call!") {}
};

// Nothing here raises it; tracing only keeps its Kind.
class OrukException : public Exception {
public:
  OrukException(AnsiString Message, uint8_t Kind) : Exception(std::move(Message)), Kind(Kind) {}
  uint8_t Kind;
};

// Returns only for the silent family (the caller then re-raises E itself); otherwise raises the
// traced replacement of E.
void TraceException(const Exception& E, int Code);

// Runs Body as the traced body of routine Code. Every routine with a trace number wraps its body
// in this, and nothing else: hand-written try/catch blocks for tracing drift from the convention.
template <class TBody>
decltype(auto) Traced(int Code, TBody&& Body) {
  try {
    return std::forward<TBody>(Body)();
  } catch (const Exception& E) {
    TraceException(E, Code);
    throw;
  }
}

}  // namespace pel
