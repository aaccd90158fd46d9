#include "tests/tlbgen/WrittenLibrary.h"

#include <stdexcept>

#include "tests/tlbgen/FakeTypeLib.h"

using namespace std::string_literals;

namespace vantrel::test {

const wchar_t kTextsHelpLine1[] = L"// helpstring: Texts that";
const wchar_t kTextsHelpLine2[] = L"//             span lines";
const wchar_t kTextAfterNul[] = L"after the NUL";

namespace {

const GUID kTextsLib = {0x7A11E2B0, 0x51C4, 0x4D6E, {0x8F, 0x20, 0x00, 0x00, 0x00, 0x00, 0x00, 0xC1}};
const GUID kTextsIid = {0x7A11E2B0, 0x51C4, 0x4D6E, {0x8F, 0x20, 0x00, 0x00, 0x00, 0x00, 0x00, 0xC2}};

LPOLESTR Text(const wchar_t* AText) { return const_cast<LPOLESTR>(AText); }

}  // namespace

void Check(HRESULT AResult, const char* AWhat) {
  if (FAILED(AResult)) throw std::runtime_error(std::string(AWhat) + " failed");
}

TComPtr<ICreateTypeInfo> NewType(ICreateTypeLib2* ALib, const wchar_t* AName, TYPEKIND AKind) {
  TComPtr<ICreateTypeInfo> info;
  Check(ALib->CreateTypeInfo(Text(AName), AKind, info.put()), "CreateTypeInfo");
  return info;
}

void AddVariable(ICreateTypeInfo* AInfo, UINT AIndex, const wchar_t* AName, VARTYPE AType, const VARIANT* AValue,
                 const wchar_t* ADoc) {
  VARDESC desc = {};
  desc.memid = static_cast<MEMBERID>(0x40000000 + AIndex);
  desc.elemdescVar.tdesc.vt = AType;
  if (AValue) {
    desc.varkind = VAR_CONST;
    desc.lpvarValue = const_cast<VARIANT*>(AValue);
  } else {
    desc.varkind = VAR_PERINSTANCE;
  }
  Check(AInfo->AddVarDesc(AIndex, &desc), "AddVarDesc");
  Check(AInfo->SetVarName(AIndex, Text(AName)), "SetVarName");
  if (ADoc) Check(AInfo->SetVarDocString(AIndex, Text(ADoc)), "SetVarDocString");
}

void WriteTextsLibrary(const std::wstring& APath) {
  TComPtr<ICreateTypeLib2> lib;
  Check(CreateTypeLib2(SYS_WIN32, APath.c_str(), lib.put()), "CreateTypeLib2");
  Check(lib->SetName(Text(L"Texts")), "SetName");
  Check(lib->SetGuid(kTextsLib), "SetGuid");
  Check(lib->SetVersion(1, 0), "SetVersion");
  Check(lib->SetDocString(Text(L"Texts that\r\nspan lines\r\n")), "SetDocString");

  TComPtr<ICreateTypeInfo> marks = NewType(lib.get(), L"Marks", TKIND_ENUM);
  Check(marks->SetDocString(Text(L"Marks of\ntext")), "SetDocString");
  AddVariable(marks.get(), 0, L"mkBreak", VT_BSTR, TOwnedVariant::Text(L"one\r\ntwo").get(),
              L"\r\nFirst\r\n\r\nThird\r\n");
  AddVariable(marks.get(), 1, L"mkNul", VT_BSTR, TOwnedVariant::Text(L"before\0"s + kTextAfterNul).get(),
              L"CR\ronly");
  AddVariable(marks.get(), 2, L"mkEdges", VT_BSTR, TOwnedVariant::Text(L"\rmid\n").get());
  AddVariable(marks.get(), 3, L"mkPlain", VT_BSTR, TOwnedVariant::Text(L"no 'break' here").get(), L"one line");

  TComPtr<ICreateTypeInfo> either = NewType(lib.get(), L"Either", TKIND_UNION);
  AddVariable(either.get(), 0, L"asLong", VT_I4, nullptr, L"two\r\nlines");
  AddVariable(either.get(), 1, L"asText", VT_BSTR, nullptr);

  TComPtr<ICreateTypeInfo> texts = NewType(lib.get(), L"ITexts", TKIND_INTERFACE);
  Check(texts->SetGuid(kTextsIid), "SetGuid");
  TOwnedVariant breakDefault = TOwnedVariant::Text(L"a\r\nb");
  TOwnedVariant nulDefault = TOwnedVariant::Text(L"x\0y"s);
  PARAMDESCEX defaults[2] = {};
  ELEMDESC params[2] = {};
  for (int i = 0; i < 2; ++i) {
    defaults[i].cBytes = sizeof(PARAMDESCEX);
    VariantCopy(&defaults[i].varDefaultValue, (i == 0 ? breakDefault : nulDefault).get());
    params[i].tdesc.vt = VT_BSTR;
    params[i].paramdesc.wParamFlags = PARAMFLAG_FIN | PARAMFLAG_FOPT | PARAMFLAG_FHASDEFAULT;
    params[i].paramdesc.pparamdescex = &defaults[i];
  }
  FUNCDESC func = {};
  func.memid = 0x60000000;
  func.funckind = FUNC_PUREVIRTUAL;
  func.invkind = INVOKE_FUNC;
  func.callconv = CC_STDCALL;
  func.cParams = 2;
  func.lprgelemdescParam = params;
  func.elemdescFunc.tdesc.vt = VT_HRESULT;
  HRESULT added = texts->AddFuncDesc(0, &func);
  for (PARAMDESCEX& value : defaults) VariantClear(&value.varDefaultValue);
  Check(added, "AddFuncDesc");
  LPOLESTR names[] = {Text(L"Put"), Text(L"text"), Text(L"tail")};
  Check(texts->SetFuncAndParamNames(0, names, 3), "SetFuncAndParamNames");
  Check(texts->SetFuncDocString(0, Text(L"Puts\r\ntext")), "SetFuncDocString");

  Check(lib->SaveAllChanges(), "SaveAllChanges");
}

TStringList TextsDeclarations() {
  return {
      L"type",
      L"  // Marks of",
      L"  // text",
      L"  Marks = TOleEnum;",
      L"const",
      L"  // First",
      L"  //",
      L"  // Third",
      L"  mkBreak = 'one'#13#10'two';",
      L"  // CR",
      L"  // only",
      L"  mkNul = before\0"s + kTextAfterNul + L";",
      L"  mkEdges = #13'mid'#10;",
      L"  // one line",
      L"  mkPlain = no 'break' here;",
      L"",
      L"type",
      L"  Either = record",
      L"  case Integer of",
      L"    0: // two",
      L"    1: // lines",
      L"    2: asLong: LongInt;",
      L"    3: asText: WideString;",
      L"  end;",
      L"",
      L"type",
      L"  // Flags: (0)",
      L"  ITexts = interface(IDispatch)",
      L"     ['{7A11E2B0-51C4-4D6E-8F20-0000000000C2}']",
      L"    // Puts",
      L"    // text",
      L"    procedure Put(text: WideStringconst optional  = 'a'#13#10'b'; tail: WideStringconst optional  = 'x\0y'): "
      L"HRESULT;;"s,
      L"  end;",
      L"",
  };
}

namespace {

const GUID kMutualA = {0x7A11E2B0, 0x51C4, 0x4D6E, {0x8F, 0x20, 0x00, 0x00, 0x00, 0x00, 0x00, 0xD1}};
const GUID kMutualB = {0x7A11E2B0, 0x51C4, 0x4D6E, {0x8F, 0x20, 0x00, 0x00, 0x00, 0x00, 0x00, 0xD2}};
const GUID kAlpha = {0x7A11E2B0, 0x51C4, 0x4D6E, {0x8F, 0x20, 0x00, 0x00, 0x00, 0x00, 0x00, 0xD3}};
const GUID kAlphaUser = {0x7A11E2B0, 0x51C4, 0x4D6E, {0x8F, 0x20, 0x00, 0x00, 0x00, 0x00, 0x00, 0xD4}};
const GUID kBeta = {0x7A11E2B0, 0x51C4, 0x4D6E, {0x8F, 0x20, 0x00, 0x00, 0x00, 0x00, 0x00, 0xD5}};

SYSKIND OwnPlatform() { return sizeof(void*) == 8 ? SYS_WIN64 : SYS_WIN32; }

// An interface deriving from IUnknown with one method taking a reference to AParamType (none: no
// parameter).
void AddInterface(ICreateTypeLib2* ALib, const wchar_t* AName, const GUID& AGuid, ITypeInfo* AParamType) {
  TComPtr<ICreateTypeInfo> info = NewType(ALib, AName, TKIND_INTERFACE);
  Check(info->SetGuid(AGuid), "SetGuid");
  TComPtr<ITypeLib> stdole;
  Check(LoadRegTypeLib(IID_StdOle, 2, 0, 0, stdole.put()), "LoadRegTypeLib");
  TComPtr<ITypeInfo> unknown;
  Check(stdole->GetTypeInfoOfGuid(IID_IUnknown, unknown.put()), "GetTypeInfoOfGuid");
  HREFTYPE base = 0;
  Check(info->AddRefTypeInfo(unknown.get(), &base), "AddRefTypeInfo");
  Check(info->AddImplType(0, base), "AddImplType");
  FUNCDESC func = {};
  func.memid = 0x60010000;
  func.funckind = FUNC_PUREVIRTUAL;
  func.invkind = INVOKE_FUNC;
  func.callconv = CC_STDCALL;
  func.elemdescFunc.tdesc.vt = VT_HRESULT;
  ELEMDESC param = {};
  TYPEDESC pointee = {};
  if (AParamType) {
    HREFTYPE ref = 0;
    Check(info->AddRefTypeInfo(AParamType, &ref), "AddRefTypeInfo");
    pointee.vt = VT_USERDEFINED;
    pointee.hreftype = ref;
    param.tdesc.vt = VT_PTR;
    param.tdesc.lptdesc = &pointee;
    param.paramdesc.wParamFlags = PARAMFLAG_FIN;
    func.cParams = 1;
    func.lprgelemdescParam = &param;
  }
  Check(info->AddFuncDesc(0, &func), "AddFuncDesc");
  LPOLESTR names[] = {Text(L"Take"), Text(L"item")};
  Check(info->SetFuncAndParamNames(0, names, AParamType ? 2 : 1), "SetFuncAndParamNames");
  Check(info->LayOut(), "LayOut");
}

TComPtr<ICreateTypeLib2> NewLibrary(const std::wstring& APath, const wchar_t* AName, const GUID& AGuid) {
  TComPtr<ICreateTypeLib2> lib;
  Check(CreateTypeLib2(OwnPlatform(), APath.c_str(), lib.put()), "CreateTypeLib2");
  Check(lib->SetName(Text(AName)), "SetName");
  Check(lib->SetGuid(AGuid), "SetGuid");
  Check(lib->SetVersion(1, 0), "SetVersion");
  return lib;
}

TComPtr<ITypeInfo> RegisteredType(const std::wstring& APath, const GUID& AType) {
  TComPtr<ITypeLib> lib;
  Check(LoadTypeLibEx(APath.c_str(), REGKIND_REGISTER, lib.put()), "LoadTypeLibEx");
  TComPtr<ITypeInfo> info;
  Check(lib->GetTypeInfoOfGuid(AType, info.put()), "GetTypeInfoOfGuid");
  return info;
}

}  // namespace

TMutualLibraries::TMutualLibraries(const std::wstring& APathA, const std::wstring& APathB) {
  // A without its use of B first, so that B can import A; then A again, importing B.
  {
    TComPtr<ICreateTypeLib2> a = NewLibrary(APathA, L"MutualA", kMutualA);
    AddInterface(a.get(), L"IAlpha", kAlpha, nullptr);
    Check(a->SaveAllChanges(), "SaveAllChanges");
  }
  {
    TComPtr<ITypeInfo> alpha = RegisteredType(APathA, kAlpha);
    TComPtr<ICreateTypeLib2> b = NewLibrary(APathB, L"MutualB", kMutualB);
    AddInterface(b.get(), L"IBeta", kBeta, alpha.get());
    Check(b->SaveAllChanges(), "SaveAllChanges");
  }
  TComPtr<ITypeInfo> beta = RegisteredType(APathB, kBeta);
  TComPtr<ICreateTypeLib2> a = NewLibrary(APathA, L"MutualA", kMutualA);
  AddInterface(a.get(), L"IAlpha", kAlpha, nullptr);
  AddInterface(a.get(), L"IAlphaUser", kAlphaUser, beta.get());
  Check(a->SaveAllChanges(), "SaveAllChanges");
  a.reset();
  RegisteredType(APathA, kAlphaUser);
}

TMutualLibraries::~TMutualLibraries() {
  UnRegisterTypeLib(kMutualA, 1, 0, 0, OwnPlatform());
  UnRegisterTypeLib(kMutualB, 1, 0, 0, OwnPlatform());
}

}  // namespace vantrel::test
