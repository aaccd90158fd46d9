// Short ways to write the members and types of a fake library in a test.
#pragma once

#include <string>
#include <vector>

#include "tests/tlbgen/FakeTypeLib.h"

namespace vantrel::test {

inline TFakeParam Param(const std::wstring& AName, TYPEDESC AType, USHORT AFlags = PARAMFLAG_FIN) {
  TFakeParam param;
  param.Name = AName;
  param.Type = AType;
  param.Flags = AFlags;
  return param;
}

inline TFakeParam DefaultParam(const std::wstring& AName, TYPEDESC AType, USHORT AFlags, const TOwnedVariant& AValue) {
  TFakeParam param = Param(AName, AType, AFlags | PARAMFLAG_FHASDEFAULT);
  param.HasDefault = true;
  param.Default = AValue;
  return param;
}

inline TFakeFunc Func(MEMBERID AId, const std::wstring& AName, TYPEDESC AResult, std::vector<TFakeParam> AParams = {}) {
  TFakeFunc func;
  func.MemberId = AId;
  func.Name = AName;
  func.Result = AResult;
  func.Params = std::move(AParams);
  return func;
}

inline TFakeVar Field(MEMBERID AId, const std::wstring& AName, TYPEDESC AType, const std::wstring& ADoc = {}) {
  TFakeVar var;
  var.MemberId = AId;
  var.Name = AName;
  var.Type = AType;
  var.Doc = ADoc;
  return var;
}

inline TFakeVar Constant(MEMBERID AId, const std::wstring& AName, const TOwnedVariant& AValue) {
  TFakeVar var;
  var.MemberId = AId;
  var.Name = AName;
  var.Kind = VAR_CONST;
  var.Value = AValue;
  return var;
}

inline TFakeType Type(TYPEKIND AKind, const std::wstring& AName, const std::wstring& ADoc = {}) {
  TFakeType type;
  type.Kind = AKind;
  type.Name = AName;
  type.Doc = ADoc;
  return type;
}

}  // namespace vantrel::test
