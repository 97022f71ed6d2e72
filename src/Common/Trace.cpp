#include "Trace.h"

namespace pel {

void TraceException(const Exception& E, int Code) {
  if (dynamic_cast<const EKXException*>(&E)) return;
  const AnsiString Message = E.Message() + "\r\n>>" + IntToStr(Code);
  if (auto* Ole = dynamic_cast<const EOleException*>(&E))
    throw EOleException(Message, Ole->ErrorCode, Ole->Source, Ole->HelpFile, Ole->HelpContext);
  if (auto* Oruk = dynamic_cast<const OrukException*>(&E)) throw OrukException(Message, Oruk->Kind);
  // The class is dropped on purpose: after a traced routine only the silent family is ever told
  // apart by class.
  throw Exception(Message);
}

}  // namespace pel
