#pragma once
// One line of plain ASCII for a call the test server received, so that the test on the other
// side of the process boundary can compare every argument exactly: strings as UTF-16 code units
// (non-ASCII as \uXXXX), byte arrays in hex, each value tagged with its type.

#include <cstdio>
#include <string>

#include "support/FakePelServer.h"

namespace pel::test {

inline std::string VariantText(const TVariant& Value) {
  char Buffer[16];
  switch (Value.VarType()) {
    case TVarType::Empty: return "E";
    case TVarType::Null: return "N";
    case TVarType::Boolean: return Value.AsBoolean() ? "B:1" : "B:0";
    case TVarType::Integer: return "I:" + std::to_string(Value.AsInteger());
    case TVarType::Cardinal: return "U:" + std::to_string(Value.AsCardinal());
    case TVarType::String: {
      std::string Text = "S:";
      for (char16_t C : Value.AsWideString()) {
        if (C >= 0x20 && C < 0x7F && C != '\\' && C != '|') {
          Text += static_cast<char>(C);
        } else {
          std::snprintf(Buffer, sizeof Buffer, "\\u%04X", static_cast<unsigned>(C));
          Text += Buffer;
        }
      }
      return Text;
    }
    case TVarType::ByteArray: {
      std::string Text = "Y:";
      for (uint8_t B : Value.AsBytes()) {
        std::snprintf(Buffer, sizeof Buffer, "%02X", B);
        Text += Buffer;
      }
      return Text;
    }
    case TVarType::StringArray: {
      std::string Text = "A:";
      for (const WideString& S : Value.AsStrings()) {
        Text += '[';
        Text += VariantText(TVariant(S));
        Text += ']';
      }
      return Text;
    }
    default: return "?";
  }
}

inline std::string CallText(const TFakePelServer::TCall& Call) {
  std::string Text = Call.Method;
  for (const TVariant& Arg : Call.Args) {
    Text += '|';
    Text += VariantText(Arg);
  }
  return Text;
}

}  // namespace pel::test
