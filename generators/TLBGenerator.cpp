#include "generators/TLBGenerator.h"

#include <algorithm>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "base/Zarvek_Handles.h"
#include "base/Zarvek_StrUtils.h"
#include "base/Zarvek_SysUtils.h"
#include "typelib/TypeInfoSource.h"

// Lines are built by appending to one reused buffer and copied once into the line list: a large
// library has tens of thousands of members, and a heap allocation per fragment would cost more
// than reading the type information itself.

namespace vantrel {

using namespace std::string_view_literals;

namespace {

// Deeper type descriptions than this only come from a broken source (a pointer chain that loops).
constexpr int kMaxTypeDepth = 64;

// Kinds whose members are shown with a "property " prefix and with their functions. A dual
// interface written a second time with another of these kinds has the same member lines.
bool ShowsFunctions(int AKind) { return AKind == tkInterface || AKind == tkDispatch || AKind == tkCoClass; }

// 32-bit arithmetic: every number written fits, and 64-bit division is slow on x86.
void AppendUnsigned(TTextBuffer& AOut, uint32_t AValue) {
  wchar_t digits[10];
  size_t pos = 10;
  do {
    digits[--pos] = static_cast<wchar_t>(L'0' + AValue % 10);
    AValue /= 10;
  } while (AValue);
  AOut.append(digits + pos, 10 - pos);
}

void AppendInt(TTextBuffer& AOut, int32_t AValue) {
  if (AValue < 0) AOut += L'-';
  AppendUnsigned(AOut, AValue < 0 ? 0U - static_cast<uint32_t>(AValue) : static_cast<uint32_t>(AValue));
}

void AppendGuid(TTextBuffer& AOut, const GUID& AGuid) {
  wchar_t buffer[40];
  int length = StringFromGUID2(AGuid, buffer, 40);
  if (length > 1) AOut.append(buffer, static_cast<size_t>(length - 1));
}

// Where the first CR or LF from AFrom on stands, or npos. A plain loop: it runs over every name
// of a library, where find_first_of made the whole unit measurably slower.
size_t FindLineBreak(std::wstring_view AText, size_t AFrom = 0) {
  for (size_t i = AFrom; i < AText.size(); ++i) {
    const wchar_t c = AText[i];
    if (c <= L'\r' && (c == L'\r' || c == L'\n')) return i;
  }
  return std::wstring_view::npos;
}

bool HoldsLineBreak(std::wstring_view AText) { return FindLineBreak(AText) != std::wstring_view::npos; }

// A text with line breaks as a Pascal string that stays on its line: the runs between the
// breaks quoted, each CR and LF as its character code ('a'#13#10'b'). Quotes inside are left as
// they are, as in every value written.
void AppendPascalString(TTextBuffer& AOut, std::wstring_view AText) {
  size_t start = 0;
  while (start < AText.size()) {
    size_t lineBreak = FindLineBreak(AText, start);
    if (lineBreak == std::wstring_view::npos) lineBreak = AText.size();
    if (lineBreak > start) {
      AOut += L'\'';
      AOut += AText.substr(start, lineBreak - start);
      AOut += L'\'';
    }
    if (lineBreak < AText.size()) AOut += AText[lineBreak] == L'\r' ? L"#13"sv : L"#10"sv;
    start = lineBreak + 1;
  }
}

// A value's text, quoted or bare; one that holds a line break is written as a Pascal string
// either way, since a bare value cannot show one.
void AppendValueText(TTextBuffer& AOut, std::wstring_view AText, bool AQuoted) {
  if (HoldsLineBreak(AText)) {
    AppendPascalString(AOut, AText);
    return;
  }
  if (AQuoted) AOut += L'\'';
  AOut += AText;
  if (AQuoted) AOut += L'\'';
}

// A name on one line: a CR or LF in it (only a broken library has one) is shown as a blank.
void AppendName(TTextBuffer& AOut, std::wstring_view AName) {
  for (;;) {
    const size_t lineBreak = FindLineBreak(AName);
    if (lineBreak == std::wstring_view::npos) {
      AOut += AName;
      return;
    }
    AOut += AName.substr(0, lineBreak);
    AOut += L' ';
    AName.remove_prefix(lineBreak + 1);
  }
}

// Calls AEach with each line of a doc string that is shown, one comment line per line: the text
// between CR LF, CR or LF, without blank lines before the first and after the last line of text;
// a blank line between them is passed empty. A blank doc string has none.
template <typename TEach>
void ForEachDocLine(std::wstring_view ADoc, TEach&& AEach) {
  size_t blanks = 0;
  bool started = false;
  size_t start = 0;
  for (;;) {
    const size_t end = FindLineBreak(ADoc, start);
    const std::wstring_view line = ADoc.substr(start, end == std::wstring_view::npos ? ADoc.npos : end - start);
    if (IsBlankText(line)) {
      if (started) ++blanks;
    } else {
      for (; blanks > 0; --blanks) AEach(std::wstring_view());
      AEach(line);
      started = true;
    }
    if (end == std::wstring_view::npos) return;
    start = end + (ADoc[end] == L'\r' && end + 1 < ADoc.size() && ADoc[end + 1] == L'\n' ? 2 : 1);
  }
}

// "// text", or "//" for an empty line.
void AppendComment(TTextBuffer& AOut, std::wstring_view AText) {
  AOut += AText.empty() ? L"//"sv : L"// "sv;
  AOut += AText;
}

// A constant's value: integers and strings as they are, booleans as True or False, other types
// as the platform's conversion writes them. A value that has no text form shows like a null.
void AppendConstant(TTextBuffer& AOut, const VARIANT* AValue) {
  if (!AValue || V_VT(AValue) == VT_NULL) {
    AOut += L"<?>"sv;
    return;
  }
  TVariant text;
  if (FAILED(VariantChangeType(text.get(), const_cast<VARIANT*>(AValue), VARIANT_ALPHABOOL, VT_BSTR))) {
    AOut += L"<?>"sv;
    return;
  }
  AppendValueText(AOut, WholeText(V_BSTR(text.get())), false);
}

void AppendUserTypeName(TTextBuffer& AOut, HREFTYPE ARefType, ITypeInfo* ATypeInfo) {
  TComPtr<ITypeInfo> referred;
  if (FAILED(ReadRefTypeInfo(ATypeInfo, ARefType, referred))) {
    AOut += L"<UnknownCustomType>"sv;
    return;
  }
  TBstr name;
  ReadTypeDocumentation(referred.get(), MEMBERID_NIL, &name, nullptr);
  AppendName(AOut, WholeText(name.get()));
}

// The names of the user-defined types one description refers to. A description names the same
// few types again and again, and resolving a reference means a search through the library, so
// the names are kept while that description is written, and forgotten before the next one.
class TTypeNamer {
 public:
  void AppendUserTypeName(TTextBuffer& AOut, HREFTYPE ARefType, ITypeInfo* ATypeInfo) {
    if (ATypeInfo != FInfo) {
      Forget();
      FInfo = ATypeInfo;
    }
    if (const TName* known = Find(ARefType)) {
      AOut += FNames.view().substr(known->Start, known->Length);
      return;
    }
    const size_t start = AOut.size();
    vantrel::AppendUserTypeName(AOut, ARefType, ATypeInfo);
    const std::wstring_view name = AOut.view().substr(start);
    FKnown.push_back(TName{ARefType, FNames.size(), name.size()});
    if (!FIndex.empty() || FKnown.size() > kListLimit) {
      if (FIndex.empty()) {
        for (size_t i = 0; i < FKnown.size(); ++i) FIndex.emplace(FKnown[i].RefType, i);
      } else {
        FIndex.emplace(ARefType, FKnown.size() - 1);
      }
    }
    FNames += name;
  }
  void Forget() {
    FInfo = nullptr;
    FKnown.clear();
    FIndex.clear();
    FNames.clear();
  }

 private:
  struct TName {
    HREFTYPE RefType;
    size_t Start;
    size_t Length;
  };
  // A description names a few types, searched in the list; one that names many (a library built
  // to be slow) is searched by a hash of its references.
  static constexpr size_t kListLimit = 16;
  const TName* Find(HREFTYPE ARefType) const {
    if (!FIndex.empty()) {
      auto found = FIndex.find(ARefType);
      return found != FIndex.end() ? &FKnown[found->second] : nullptr;
    }
    for (const TName& known : FKnown) {
      if (known.RefType == ARefType) return &known;
    }
    return nullptr;
  }
  ITypeInfo* FInfo = nullptr;
  std::vector<TName> FKnown;
  std::unordered_map<HREFTYPE, size_t> FIndex;
  TTextBuffer FNames;
};

void AppendTypeName(TTextBuffer& AOut, const TYPEDESC& ATypeDesc, ITypeInfo* ATypeInfo, TTypeNamer* ANamer,
                    int ADepth) {
  if (ADepth > kMaxTypeDepth) {
    AOut += L"Unknown"sv;
    return;
  }
  std::wstring_view fixed;
  switch (ATypeDesc.vt) {
    case VT_I2: fixed = L"SmallInt"sv; break;
    case VT_I4: fixed = L"LongInt"sv; break;
    case VT_R4: fixed = L"Single"sv; break;
    case VT_R8: fixed = L"Double"sv; break;
    case VT_CY: fixed = L"Currency"sv; break;
    case VT_DATE: fixed = L"TDateTime"sv; break;
    case VT_BSTR: fixed = L"WideString"sv; break;
    case VT_DISPATCH: fixed = L"IDispatch"sv; break;
    case VT_ERROR: fixed = L"HRESULT"sv; break;
    case VT_BOOL: fixed = L"WordBool"sv; break;
    case VT_VARIANT: fixed = L"Variant"sv; break;
    case VT_UNKNOWN: fixed = L"IUnknown"sv; break;
    case VT_I1: fixed = L"ShortInt"sv; break;
    case VT_UI1: fixed = L"Byte"sv; break;
    case VT_UI2: fixed = L"Word"sv; break;
    case VT_UI4: fixed = L"Cardinal"sv; break;
    case VT_I8: fixed = L"Int64"sv; break;
    case VT_UI8: fixed = L"Int64(?)"sv; break;
    case VT_INT: fixed = L"Integer"sv; break;
    case VT_UINT: fixed = L"DWORD"sv; break;
    case VT_VOID: fixed = L"out"sv; break;
    case VT_HRESULT: fixed = L"HRESULT"sv; break;
    case VT_LPSTR: fixed = L"PChar"sv; break;
    case VT_LPWSTR: fixed = L"PWideChar"sv; break;
    case VT_PTR:
      // Pointers carry no mark: a pointer to a pointer to a string is a string.
      if (!ATypeDesc.lptdesc) break;
      AppendTypeName(AOut, *ATypeDesc.lptdesc, ATypeInfo, ANamer, ADepth + 1);
      return;
    case VT_SAFEARRAY:
      if (!ATypeDesc.lptdesc) break;
      AOut += L"array of "sv;
      AppendTypeName(AOut, *ATypeDesc.lptdesc, ATypeInfo, ANamer, ADepth + 1);
      return;
    case VT_CARRAY: {
      const ARRAYDESC* array = ATypeDesc.lpadesc;
      if (!array) break;
      // The bound written is the element count itself; lower bounds are not shown.
      AOut += L"array"sv;
      for (USHORT i = 0; i < array->cDims; ++i) {
        AOut += L"[0.."sv;
        AppendUnsigned(AOut, array->rgbounds[i].cElements);
        AOut += L']';
      }
      AOut += L" of "sv;
      AppendTypeName(AOut, array->tdescElem, ATypeInfo, ANamer, ADepth + 1);
      return;
    }
    case VT_USERDEFINED:
      if (ANamer) {
        ANamer->AppendUserTypeName(AOut, ATypeDesc.hreftype, ATypeInfo);
      } else {
        AppendUserTypeName(AOut, ATypeDesc.hreftype, ATypeInfo);
      }
      return;
    default: break;
  }
  AOut += fixed.empty() ? L"Unknown"sv : fixed;
}

void AppendParamFlags(TTextBuffer& AOut, const PARAMDESC& AParamDesc) {
  const USHORT flags = AParamDesc.wParamFlags;
  if (flags == 0) return;
  if (flags & PARAMFLAG_FIN) AOut += L"const "sv;
  if (flags & PARAMFLAG_FOUT) AOut += L"var "sv;
  if (flags & PARAMFLAG_FLCID) AOut += L"lcid "sv;
  if (flags & PARAMFLAG_FRETVAL) AOut += L"retval "sv;
  if (flags & PARAMFLAG_FOPT) AOut += L"optional "sv;
  if ((flags & PARAMFLAG_FHASDEFAULT) && AParamDesc.pparamdescex) {
    VARIANT* value = &AParamDesc.pparamdescex->varDefaultValue;
    TVariant text;
    if (FAILED(VariantChangeType(text.get(), value, 0, VT_BSTR))) return;
    // Only a string default is quoted.
    AOut += L" = "sv;
    AppendValueText(AOut, WholeText(V_BSTR(text.get())), V_VT(value) == VT_BSTR);
  }
}

// A variable's rendering once its documentation has been read.
void AppendVariable(TTextBuffer& AOut, const VARDESC& AVarDesc, ITypeInfo* ATypeInfo, TTypeNamer* ANamer,
                    HRESULT ADocResult, std::wstring_view AName) {
  if (FAILED(ADocResult)) return;
  AppendName(AOut, AName);
  if (AVarDesc.varkind == VAR_CONST) {
    AOut += L" = "sv;
    AppendConstant(AOut, AVarDesc.lpvarValue);
  } else {
    AOut += L": "sv;
    AppendTypeName(AOut, AVarDesc.elemdescVar.tdesc, ATypeInfo, ANamer, 0);
  }
  AOut += L';';
}

// A function's signature once its names have been read.
void AppendSignature(TTextBuffer& AOut, const FUNCDESC& AFuncDesc, ITypeInfo* ATypeInfo, TTypeNamer* ANamer,
                     HRESULT ANamesResult, const TNameList& ANames) {
  if (SUCCEEDED(ANamesResult) && ANames.Count() >= 1 && AFuncDesc.cParams >= 1 && AFuncDesc.lprgelemdescParam) {
    AOut += L'(';
    const int count = AFuncDesc.cParams;
    for (int i = 0; i < count; ++i) {
      const ELEMDESC& param = AFuncDesc.lprgelemdescParam[i];
      // Without a default the flag words go before the name; with one, after the type name,
      // with no blank in between.
      const bool hasDefault = (param.paramdesc.wParamFlags & PARAMFLAG_FHASDEFAULT) != 0;
      if (!hasDefault) AppendParamFlags(AOut, param.paramdesc);
      std::wstring_view name = ANames.Name(static_cast<UINT>(i) + 1);
      if (IsBlankText(name)) {
        AOut += L"Param"sv;
        AppendInt(AOut, i + 1);
      } else {
        AppendName(AOut, name);
      }
      AOut += L": "sv;
      AppendTypeName(AOut, param.tdesc, ATypeInfo, ANamer, 0);
      if (hasDefault) AppendParamFlags(AOut, param.paramdesc);
      if (i < count - 1) AOut += L"; "sv;
    }
    AOut += L')';
  }
  if (AFuncDesc.elemdescFunc.tdesc.vt != VT_VOID) {
    AOut += L": "sv;
    AppendTypeName(AOut, AFuncDesc.elemdescFunc.tdesc, ATypeInfo, ANamer, 0);
  }
  AOut += L';';
  if (AFuncDesc.funckind == FUNC_DISPATCH) {
    AOut += L" dispid "sv;
    AppendInt(AOut, AFuncDesc.memid);
  }
}

// One generation run. The name list (GetNames may fill it up to its large capacity) is made
// once and reused for every member.
class TUnitWriter {
 public:
  // Appends the block and returns the range of its member lines, for a second block of the same
  // description.
  struct TMembers {
    size_t First = 0;
    size_t Last = 0;
  };
  TMembers Declaration(std::wstring_view AName, std::wstring_view ADocString, ITypeInfo* ATypeInfo,
                       TLineList& ALines, const TYPEATTR& ATypeAttr, const TMembers* ASameMembers = nullptr);
  // Appends the member lines, each behind AIndent and, with ANumbered, its position.
  void Members(ITypeInfo* ATypeInfo, const TYPEATTR& ATypeAttr, TLineList& AOut, std::wstring_view AIndent,
               bool ANumbered);

 private:
  // The lines that open the block of a kind, before its members.
  void Heading(std::wstring_view AName, ITypeInfo* ATypeInfo, const TYPEATTR& ATypeAttr, TLineList& ALines);

  TNameList FNames;
  TTypeNamer FTypeNames;
};

// Opens a member line: the indentation and, in a union, the entry's position.
TTextBuffer& OpenEntry(TLineList& AOut, std::wstring_view AIndent, bool ANumbered, size_t APosition) {
  TTextBuffer& line = AOut.Open();
  line += AIndent;
  if (ANumbered) {
    AppendUnsigned(line, static_cast<uint32_t>(APosition));
    line += L": "sv;
  }
  return line;
}

// The comment lines of a member's doc string, each an entry of its own.
void AddDocComment(TLineList& AOut, std::wstring_view ADoc, std::wstring_view AIndent, bool ANumbered,
                   size_t AFirst) {
  ForEachDocLine(ADoc, [&](std::wstring_view ALine) {
    AppendComment(OpenEntry(AOut, AIndent, ANumbered, AOut.Count() - AFirst), ALine);
    AOut.Close();
  });
}

void TUnitWriter::Members(ITypeInfo* ATypeInfo, const TYPEATTR& ATypeAttr, TLineList& AOut,
                          std::wstring_view AIndent, bool ANumbered) {
  const size_t first = AOut.Count();
  const int kind = ATypeAttr.typekind;
  const bool hasFunctions = ShowsFunctions(kind);
  const std::wstring_view prefix = hasFunctions ? L"property "sv : std::wstring_view();
  TBstr name, doc;

  for (UINT i = 0; i < ATypeAttr.cVars; ++i) {
    TVarDescHolder var(ATypeInfo);
    if (FAILED(var.Fetch(i))) continue;
    const HRESULT docResult = ReadTypeDocumentation(ATypeInfo, var->memid, &name, &doc);
    AddDocComment(AOut, CutAtNul(doc.get()), AIndent, ANumbered, first);
    TTextBuffer& line = OpenEntry(AOut, AIndent, ANumbered, AOut.Count() - first);
    line += prefix;
    AppendVariable(line, *var.get(), ATypeInfo, &FTypeNames, docResult, CutAtNul(name.get()));
    AOut.Close();
  }

  if (!hasFunctions) return;
  for (UINT i = 0; i < ATypeAttr.cFuncs; ++i) {
    TFuncDescHolder func(ATypeInfo);
    if (FAILED(func.Fetch(i))) continue;
    const HRESULT namesResult = FNames.Read(ATypeInfo, func->memid);
    // Without its names a function is left out, doc comment included.
    if (FAILED(namesResult)) continue;
    ReadTypeDocumentation(ATypeInfo, func->memid, nullptr, &doc);
    AddDocComment(AOut, CutAtNul(doc.get()), AIndent, ANumbered, first);

    TTextBuffer& line = OpenEntry(AOut, AIndent, ANumbered, AOut.Count() - first);
    const VARTYPE result = func->elemdescFunc.tdesc.vt;
    line += result == VT_VOID || result == VT_HRESULT ? L"procedure "sv : L"function "sv;
    switch (func->invkind) {
      case INVOKE_PROPERTYGET: line += L"Get_"sv; break;
      case INVOKE_PROPERTYPUT:
      case INVOKE_PROPERTYPUTREF: line += L"Set_"sv; break;
      default: break;
    }
    AppendName(line, FNames.Name(0));
    // The signature ends in ";" already, so a member that is not a dispatch member ends in two.
    AppendSignature(line, *func.get(), ATypeInfo, &FTypeNames, namesResult, FNames);
    line += L';';
    AOut.Close();
  }
  FNames.Clear();
}

void AppendClassLine(TTextBuffer& AOut, std::wstring_view AName, ITypeInfo* ATypeInfo, const TYPEATTR& ATypeAttr) {
  const size_t start = AOut.size();
  AOut += L"  T"sv;
  AOut += AName;
  AOut += L" = class(TAutoObject, "sv;
  TBstr name;
  for (UINT i = 0; i < ATypeAttr.cImplTypes; ++i) {
    HREFTYPE refType = 0;
    if (FAILED(ATypeInfo->GetRefTypeOfImplType(i, &refType))) continue;
    TComPtr<ITypeInfo> implemented;
    if (FAILED(ReadRefTypeInfo(ATypeInfo, refType, implemented))) continue;
    ReadTypeDocumentation(implemented.get(), MEMBERID_NIL, &name, nullptr);
    AppendName(AOut, CutAtNul(name.get()));
    AOut += L", "sv;
  }
  // Takes away the last ", ": the one after TAutoObject when nothing is implemented.
  AOut.resize(std::max(start, AOut.size() - 2));
  AOut += L");"sv;
}

void AddParts(TTextBuffer& AOut, std::initializer_list<std::wstring_view> AParts) {
  for (std::wstring_view part : AParts) AOut += part;
}

// Appends a line made of the parts.
void AddLine(TLineList& ALines, std::initializer_list<std::wstring_view> AParts) {
  AddParts(ALines.Open(), AParts);
  ALines.Close();
}

void TUnitWriter::Heading(std::wstring_view AName, ITypeInfo* ATypeInfo, const TYPEATTR& ATypeAttr,
                          TLineList& ALines) {
  const int kind = ATypeAttr.typekind;
  switch (kind) {
    case tkEnum:
      AddLine(ALines, {L"  "sv, AName, L" = TOleEnum;"sv});
      ALines.Add(L"const"sv);
      break;
    case tkRecord: AddLine(ALines, {L"  "sv, AName, L" = record"sv}); break;
    case tkInterface:
    case tkDispatch: {
      AddLine(ALines, {L"  // "sv, RenderTypeFlags(ATypeAttr.wTypeFlags)});
      // Every interface is declared on IDispatch, whatever its real base is.
      AddLine(ALines, {L"  "sv, AName, kind == tkInterface ? L" = interface(IDispatch)"sv : L" = dispinterface"sv});
      TTextBuffer& guid = ALines.Open();
      guid += L"     ['"sv;
      AppendGuid(guid, ATypeAttr.guid);
      guid += L"']"sv;
      ALines.Close();
      break;
    }
    case tkCoClass: {
      TTextBuffer& clsid = ALines.Open();
      clsid += L"  // CLSID: "sv;
      AppendGuid(clsid, ATypeAttr.guid);
      ALines.Close();
      AddLine(ALines, {L"  // "sv, RenderTypeFlags(ATypeAttr.wTypeFlags)});
      AppendClassLine(ALines.Open(), AName, ATypeInfo, ATypeAttr);
      ALines.Close();
      break;
    }
    case tkAlias: {
      TTextBuffer& alias = ALines.Open();
      alias += L"  "sv;
      alias += AName;
      alias += L" = "sv;
      AppendTypeName(alias, ATypeAttr.tdescAlias, ATypeInfo, &FTypeNames, 0);
      alias += L';';
      ALines.Close();
      break;
    }
    case tkUnion:
      AddLine(ALines, {L"  "sv, AName, L" = record"sv});
      ALines.Add(L"  case Integer of"sv);
      break;
    default: break;
  }
}

TUnitWriter::TMembers TUnitWriter::Declaration(std::wstring_view AName, std::wstring_view ADocString,
                                               ITypeInfo* ATypeInfo, TLineList& ALines, const TYPEATTR& ATypeAttr,
                                               const TMembers* ASameMembers) {
  const int kind = ATypeAttr.typekind;
  if (kind == tkModule) return TMembers{ALines.Count(), ALines.Count()};
  // A description released before may share its address with this one.
  FTypeNames.Forget();
  ALines.Add(L"type"sv);
  ForEachDocLine(ADocString.substr(0, ADocString.find(L'\0')), [&](std::wstring_view ALine) {
    TTextBuffer& line = ALines.Open();
    line += L"  "sv;
    AppendComment(line, ALine);
    ALines.Close();
  });
  Heading(AName, ATypeInfo, ATypeAttr, ALines);

  std::wstring_view indent;
  switch (kind) {
    case tkEnum: indent = L"  "sv; break;
    case tkRecord:
    case tkInterface:
    case tkDispatch:
    case tkCoClass:
    case tkUnion: indent = L"    "sv; break;
    default: break;
  }
  TMembers members{ALines.Count(), ALines.Count()};
  if (ASameMembers) {
    ALines.AddCopies(ASameMembers->First, ASameMembers->Last);
  } else {
    Members(ATypeInfo, ATypeAttr, ALines, indent, kind == tkUnion);
  }
  members.Last = ALines.Count();

  if (kind == tkRecord || kind == tkInterface || kind == tkDispatch || kind == tkUnion) ALines.Add(L"  end;"sv);
  ALines.Add(std::wstring_view());
  return members;
}

}  // namespace

std::wstring SystemMessageLine(HRESULT ACode) {
  std::wstring text = SysErrorMessage(static_cast<DWORD>(ACode));
  while (!text.empty() && (text.back() <= L' ' || text.back() == L'.')) text.pop_back();
  // One line of the listing: a message that spans lines is joined.
  for (wchar_t& c : text) {
    if (c == L'\r' || c == L'\n') c = L' ';
  }
  if (IsBlankText(text)) return L"(Error code: 0x" + IntToHex(static_cast<uint32_t>(ACode)) + L")";
  return text;
}

std::wstring NameOnOneLine(std::wstring_view AName) {
  TTextBuffer result;
  AppendName(result, AName);
  return std::wstring(result.view());
}

std::wstring RenderTypeFlags(WORD AFlags) {
  // 0x20 comes before 0x10; 0x4000 and 0x8000 have no word but count in the number.
  static const struct {
    WORD Bit;
    const wchar_t* Word;
  } kWords[] = {
      {0x0001, L"appobject,"},   {0x0002, L"cancreate,"},     {0x0004, L"licensed,"},
      {0x0008, L"predeclid,"},   {0x0020, L"control,"},       {0x0010, L"hidden,"},
      {0x0040, L"dual,"},        {0x0080, L"nonextensible,"}, {0x0100, L"oleautomation,"},
      {0x0200, L"restricted,"},  {0x0400, L"aggregatable,"},  {0x0800, L"replaceable,"},
      {0x1000, L"dispatchable,"}, {0x2000, L"reversebind,"},
  };
  TTextBuffer result;
  result += L"Flags: ("sv;
  AppendUnsigned(result, AFlags);
  result += L") "sv;
  for (const auto& word : kWords) {
    if (AFlags & word.Bit) result += word.Word;
  }
  // The last comma, or the blank when no word was written.
  result.resize(result.size() - 1);
  return std::wstring(result.view());
}

TTextBuffer& TLineList::Open() {
  // Blocks of 16,384 characters stay below the size from which the heap maps every block
  // afresh. A new block starts when the current one has not room left for a long line; a
  // longer line still fits, the block then grows once.
  constexpr size_t kBlockSize = 16384;
  constexpr size_t kHeadroom = 1024;
  if (FBlocks.empty() || FBlocks.back().capacity() - FBlocks.back().size() < kHeadroom) {
    FBlocks.emplace_back();
    FBlocks.back().reserve(kBlockSize);
  }
  FOpenStart = FBlocks.back().size();
  return FBlocks.back();
}

void TLineList::AddCopies(size_t AFirst, size_t ALast) {
  for (size_t i = AFirst; i < ALast; ++i) {
    // Through a copy: the source line may sit in the block the new line is appended to.
    std::wstring_view source = (*this)[i];
    FCopy.assign(source.begin(), source.end());
    Add(FCopy);
  }
}

void TTextBuffer::Reallocate(size_t ACapacity) {
  wchar_t* data = new wchar_t[ACapacity];
  if (FSize) std::memcpy(data, FData, FSize * sizeof(wchar_t));
  delete[] FData;
  FData = data;
  FCapacity = ACapacity;
}

void TLineList::Clear() {
  FBlocks.clear();
  FLines.clear();
}

std::wstring TLineList::Text(std::wstring_view ASeparator) const {
  size_t length = 0;
  for (const TLine& line : FLines) length += line.Length + ASeparator.size();
  std::wstring text;
  text.reserve(length);
  for (size_t i = 0; i < FLines.size(); ++i) {
    text += (*this)[i];
    text += ASeparator;
  }
  return text;
}

TStringList TLineList::ToStringList() const {
  TStringList lines;
  lines.reserve(FLines.size());
  for (size_t i = 0; i < FLines.size(); ++i) lines.emplace_back((*this)[i]);
  return lines;
}

namespace {

// "// label: value". A value of several lines goes on in comment lines of its own, each line of
// text under the first.
void AddHeadComment(TLineList& ALines, std::wstring_view ALabel, std::wstring_view AValue) {
  bool first = true;
  auto addLine = [&](std::wstring_view ALine) {
    TTextBuffer& line = ALines.Open();
    if (first) {
      AddParts(line, {L"// "sv, ALabel, L": "sv, ALine});
    } else if (!ALine.empty()) {
      line += L"//"sv;
      for (size_t i = 0; i < ALabel.size() + 3; ++i) line += L' ';
      line += ALine;
    } else {
      line += L"//"sv;
    }
    ALines.Close();
    first = false;
  };
  if (!HoldsLineBreak(AValue)) {
    addLine(AValue);
    return;
  }
  ForEachDocLine(AValue, addLine);
  if (first) addLine(std::wstring_view());
}

// The unit's head: the library's file, identity and documentation, the unit name and its uses.
void WriteUnitHead(const TObjectData& AData, const std::wstring& AName, const std::wstring& ADoc,
                   const std::wstring& AHelpFile, TLineList& ALines) {
  AddHeadComment(ALines, L"typelib filename"sv, AData.Server);
  ALines.Add(std::wstring_view());
  AddHeadComment(ALines, L"uid"sv, AData.TypeLib);
  ALines.Add(L"// version: " + UIntToStr(AData.MajorVersion) + L"." + UIntToStr(AData.MinorVersion));
  AddHeadComment(ALines, L"helpstring"sv, TruncateAtNul(ADoc));
  AddHeadComment(ALines, L"helpfile"sv, TruncateAtNul(AHelpFile));
  ALines.Add(std::wstring_view());
  ALines.Add(L"unit " + AName + L";");
  ALines.Add(std::wstring_view());
  ALines.Add(L"interface"sv);
  ALines.Add(std::wstring_view());
  ALines.Add(L"uses Windows, ActiveX, Classes;"sv);
  ALines.Add(std::wstring_view());
}

// The declaration of the library's type description AIndex; a line with the system's message when
// it cannot be read.
void WriteTypeDescription(TUnitWriter& AWriter, ITypeLib* ALib, UINT AIndex, TLineList& ALines) {
  HRESULT hr = ALib->GetDocumentation(static_cast<INT>(AIndex), nullptr, nullptr, nullptr, nullptr);
  if (FAILED(hr)) {
    ALines.Add(SystemMessageLine(hr));
    return;
  }
  TYPEKIND listedKind = TKIND_MAX;
  if (FAILED(ALib->GetTypeInfoType(AIndex, &listedKind))) listedKind = TKIND_MAX;
  TComPtr<ITypeInfo> info;
  hr = ReadTypeInfo(ALib, AIndex, info);
  if (FAILED(hr)) {
    ALines.Add(SystemMessageLine(hr));
    return;
  }
  TBstr typeName, typeDoc;
  ReadTypeDocumentation(info.get(), MEMBERID_NIL, &typeName, &typeDoc);
  TTypeAttrHolder attr(info.get());
  hr = attr.Fetch();
  if (FAILED(hr)) {
    ALines.Add(SystemMessageLine(hr));
    return;
  }

  std::wstring declaration = NameOnOneLine(CutAtNul(typeName.get()));
  if (listedKind == TKIND_DISPATCH) declaration += L"Disp"sv;
  const TUnitWriter::TMembers members =
      AWriter.Declaration(declaration, CutAtNul(typeDoc.get()), info.get(), ALines, *attr.get());

  // A dual interface is listed as a dispatch interface whose first implemented type has the
  // interface kind: it is written a second time, from the same description, with that kind.
  const int kind = attr->typekind;
  if ((kind == tkInterface || kind == tkDispatch) && (attr->wTypeFlags & kDualFlag)) {
    HREFTYPE refType = 0;
    TComPtr<ITypeInfo> base;
    if (SUCCEEDED(info->GetRefTypeOfImplType(0, &refType)) && SUCCEEDED(ReadRefTypeInfo(info.get(), refType, base))) {
      TTypeAttrHolder baseAttr(base.get());
      if (SUCCEEDED(baseAttr.Fetch())) {
        TYPEATTR second = *attr.get();
        second.typekind = baseAttr->typekind;
        declaration = NameOnOneLine(CutAtNul(typeName.get()));
        if (second.typekind == TKIND_DISPATCH) declaration += L"Disp"sv;
        AWriter.Declaration(declaration, CutAtNul(typeDoc.get()), info.get(), ALines, second,
                            ShowsFunctions(kind) && ShowsFunctions(second.typekind) ? &members : nullptr);
      }
    }
  }
}

}  // namespace

void GenerateImportUnit(const TObjectData& AData, ITypeLib* ALib, TLineList& ALines, std::wstring& AUnitName) {
  TUnitWriter writer;
  const UINT count = ALib->GetTypeInfoCount();
  std::wstring name, doc, helpFile;
  ReadLibDocumentation(ALib, -1, &name, &doc, &helpFile);
  name = NameOnOneLine(TruncateAtNul(name));
  AUnitName = name;

  // A guess from large libraries: about 100 lines per type description.
  ALines.Reserve(ALines.Count() + 17 + static_cast<size_t>(count) * 100);
  WriteUnitHead(AData, name, doc, helpFile, ALines);
  for (UINT i = 0; i < count; ++i) WriteTypeDescription(writer, ALib, i, ALines);
  ALines.Add(std::wstring_view());
  ALines.Add(L"implementation"sv);
  ALines.Add(std::wstring_view());
  ALines.Add(L"end."sv);
}

void RenderTypeDeclaration(const std::wstring& AName, const std::wstring& ADocString, ITypeInfo* ATypeInfo,
                           TLineList& ALines, const TYPEATTR& ATypeAttr) {
  TUnitWriter writer;
  writer.Declaration(AName, ADocString, ATypeInfo, ALines, ATypeAttr);
}

void RenderTypeMembers(ITypeInfo* ATypeInfo, const TYPEATTR& ATypeAttr, TLineList& AMembers) {
  TUnitWriter writer;
  writer.Members(ATypeInfo, ATypeAttr, AMembers, std::wstring_view(), false);
}
std::wstring RenderVariable(const VARDESC& AVarDesc, ITypeInfo* ATypeInfo) {
  TBstr name;
  HRESULT hr = ReadTypeDocumentation(ATypeInfo, AVarDesc.memid, &name, nullptr);
  TTextBuffer result;
  AppendVariable(result, AVarDesc, ATypeInfo, nullptr, hr, CutAtNul(name.get()));
  return std::wstring(result.view());
}

std::wstring RenderFunctionSignature(const FUNCDESC& AFuncDesc, ITypeInfo* ATypeInfo) {
  TNameList names;
  HRESULT hr = names.Read(ATypeInfo, AFuncDesc.memid);
  TTextBuffer result;
  AppendSignature(result, AFuncDesc, ATypeInfo, nullptr, hr, names);
  return std::wstring(result.view());
}

std::wstring RenderParamFlags(const PARAMDESC& AParamDesc) {
  TTextBuffer result;
  AppendParamFlags(result, AParamDesc);
  return std::wstring(result.view());
}

std::wstring TypeDescToName(const TYPEDESC& ATypeDesc, ITypeInfo* ATypeInfo) {
  TTextBuffer result;
  AppendTypeName(result, ATypeDesc, ATypeInfo, nullptr, 0);
  return std::wstring(result.view());
}

std::wstring UserTypeName(HREFTYPE ARefType, ITypeInfo* ATypeInfo) {
  TTextBuffer result;
  AppendUserTypeName(result, ARefType, ATypeInfo);
  return std::wstring(result.view());
}

}  // namespace vantrel
