#include "generators/IdlGenerator.h"
#include "generators/PlatformTypes.h"

#include <algorithm>
#include <cmath>
#include <cwctype>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "base/Zarvek_Handles.h"
#include "base/Zarvek_StrUtils.h"
#include "base/Zarvek_SysUtils.h"
#include "catalog/ServerPaths.h"
#include "typelib/TypeInfoSource.h"

// The declarations are written in the library's own order, inside the library block, so that
// the compiler gives them the same positions; interfaces and dispinterfaces are declared forward
// before the block, as a method may name one declared later.

namespace vantrel {

namespace {

constexpr int kMaxTypeDepth = 32;

const GUID kStdoleLibrary = {0x00020430, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

// The platform's IDL files a library's IDL may import, each bringing those before it: the
// smallest that declares what the library names is imported, and what it declares is not
// declared again.
enum TImportFile : int { kImportNone = -1, kImportWtypes, kImportUnknwn, kImportObjidl, kImportOaidl, kImportOcidl };
const wchar_t* const kImportFileNames[] = {L"wtypes.idl", L"unknwn.idl", L"objidl.idl", L"oaidl.idl", L"ocidl.idl"};
// widl numbers the unnamed types it meets ("__WIDL_file_generated_name_0000000B"); each import
// takes the numbers below these (measured with widl 7 and 8 and Wine's IDL files).
const unsigned long kImportUnnamedTypes[] = {0x0B, 0x0B, 0x0D, 0x0E, 0x1E};

// The number of a name widl gave an unnamed type, and the file it names; false for another name.
bool UnnamedTypeNumber(std::wstring_view AName, std::wstring* AFile, unsigned long* ANumber) {
  static constexpr std::wstring_view kPrefix = L"__WIDL_", kSuffix = L"_generated_name_";
  const size_t suffix = AName.find(kSuffix);
  if (AName.substr(0, kPrefix.size()) != kPrefix || suffix == std::wstring_view::npos || suffix <= kPrefix.size()) {
    return false;
  }
  const std::wstring_view digits = AName.substr(suffix + kSuffix.size());
  if (digits.empty() || digits.size() > 8 || digits.find_first_not_of(L"0123456789ABCDEFabcdef") != std::wstring_view::npos) {
    return false;
  }
  if (AFile) *AFile = std::wstring(AName.substr(kPrefix.size(), suffix - kPrefix.size()));
  if (ANumber) *ANumber = std::wcstoul(std::wstring(digits).c_str(), nullptr, 16);
  return true;
}

// A name one of those files declares: i interface, s struct, u union, e enum (tags), t typedef,
// c enumerator; and the first file of the chain that declares it.
struct TImportedName {
  std::wstring_view Name;
  char Kind;
  int File;
};

constexpr TImportedName kImportedNames[] = {
#include "generators/IdlGenerator.Names.inc"
};

// The kinds under which the files up to AFile declare the name, as a string of kind letters.
std::string ImportedKinds(std::wstring_view AName, int AFile) {
  static_assert(std::is_sorted(std::begin(kImportedNames), std::end(kImportedNames),
                               [](const TImportedName& A, const TImportedName& B) { return A.Name < B.Name; }));
  const auto [first, last] =
      std::equal_range(std::begin(kImportedNames), std::end(kImportedNames), TImportedName{AName, 0, 0},
                       [](const TImportedName& A, const TImportedName& B) { return A.Name < B.Name; });
  std::string kinds;
  for (auto it = first; it != last; ++it) {
    if (it->File <= AFile) kinds += it->Kind;
  }
  return kinds;
}

// The first file of the chain that declares the name as a type, or kImportNone.
int ImportFileOf(std::wstring_view AName) {
  int file = kImportNone;
  for (int level = kImportWtypes; level <= kImportOcidl && file == kImportNone; ++level) {
    const std::string kinds = ImportedKinds(AName, level);
    if (kinds.find_first_not_of('c') != std::string::npos) file = level;
  }
  return file;
}

std::wstring Hex(uint32_t AValue) {
  wchar_t text[16];
  swprintf(text, 16, L"0x%08lx", static_cast<unsigned long>(AValue));
  return text;
}

std::wstring GuidText(const GUID& AGuid) {
  wchar_t buffer[40] = {};
  StringFromGUID2(AGuid, buffer, 40);
  // IDL writes a GUID without braces.
  std::wstring text = buffer;
  if (text.size() >= 2) text = text.substr(1, text.size() - 2);
  return text;
}

// A text up to its first NUL.
std::wstring NameText(std::wstring_view AName) { return std::wstring(AName.substr(0, AName.find(L'\0'))); }

// Starts and ends a struct or union reference's mark: "<mark>struct <index><mark>Name". No other
// text holds a control character: strings escape them and comments replace them.
constexpr wchar_t kTagMark = L'\x01';

// A type the library names but does not hold: written so that the IDL still compiles, and says so.
constexpr const wchar_t* kUnknownType = L"/* unknown type */ void*";

// Declarator parts of a type: what goes before the name and what after it (array bounds).
struct TDeclarator {
  std::wstring Before;
  std::wstring After;
};

std::wstring DefaultText(const VARIANT& AValue);

// Appends custom(guid, value) for each item of the data a call gave; values IDL cannot write are
// left out.
void AddCustom(std::vector<std::wstring>& AItems, HRESULT AResult, const TCustDataHolder& AData) {
  // What the compiler writes into every library it makes: its version, the time and a "Created
  // by" line. Restated here, the new library would hold them twice, the old ones stale.
  static const GUID kCompilerStamps[] = {
      {0xDE77BA63, 0x517C, 0x11D1, {0xA2, 0xDA, 0x00, 0x00, 0xF8, 0x77, 0x3C, 0xE9}},
      {0xDE77BA64, 0x517C, 0x11D1, {0xA2, 0xDA, 0x00, 0x00, 0xF8, 0x77, 0x3C, 0xE9}},
      {0xDE77BA65, 0x517C, 0x11D1, {0xA2, 0xDA, 0x00, 0x00, 0xF8, 0x77, 0x3C, 0xE9}},
  };
  const CUSTDATA& data = AData.get();
  if (FAILED(AResult) || !data.prgCustData) return;
  for (DWORD i = 0; i < data.cCustData; ++i) {
    const GUID& guid = data.prgCustData[i].guid;
    if (std::any_of(std::begin(kCompilerStamps), std::end(kCompilerStamps),
                    [&](const GUID& AStamp) { return IsEqualGUID(AStamp, guid); })) {
      continue;
    }
    const std::wstring value = DefaultText(data.prgCustData[i].varValue);
    if (!value.empty()) AItems.push_back(L"custom(" + GuidText(data.prgCustData[i].guid) + L", " + value + L")");
  }
}

// helpstring(...) for a doc string that says something, and helpcontext(...) for a context. The
// compiler stores -1 as the help context of a field with custom data: none.
// A text that may stand inside a /* */ comment on one line.
std::wstring CommentText(std::wstring_view AText) {
  std::wstring text(AText);
  for (wchar_t& c : text) {
    if (c < L' ') c = L' ';
  }
  for (size_t at = text.find(L"*/"); at != std::wstring::npos; at = text.find(L"*/", at)) text.insert(at + 1, 1, L' ');
  return text;
}

void AddHelp(std::vector<std::wstring>& AItems, BSTR ADoc, DWORD AContext) {
  const std::wstring_view text = ADoc ? CutAtNul(ADoc) : std::wstring_view();
  if (!text.empty()) AItems.push_back(L"helpstring(" + IdlString(text) + L")");
  if (AContext && AContext != 0xFFFFFFFF) AItems.push_back(L"helpcontext(" + Hex(AContext) + L")");
}

struct TFlagWord {
  WORD Bit;
  const wchar_t* Word;
};

// The words of the flags set, in the table's order.
template <size_t N>
void AddFlags(std::vector<std::wstring>& AItems, WORD AFlags, const TFlagWord (&ATable)[N]) {
  for (const TFlagWord& flag : ATable) {
    if (AFlags & flag.Bit) AItems.push_back(flag.Word);
  }
}

// The second version of a description's interface, which holds custom data; null without one.
TComPtr<ITypeInfo2> TypeInfo2(ITypeInfo* AInfo) {
  TComPtr<ITypeInfo2> info;
  if (FAILED(AInfo->QueryInterface(IID_ITypeInfo2, info.put_void()))) info.reset();
  return info;
}

class TIdlWriter {
 public:
  TIdlWriter(ITypeLib* ALib, TLineList& AOut) : FLib(ALib), FOut(AOut) {}
  void Run(const TObjectData& AData, std::wstring& ALibName);

 private:
  TDeclarator TypeText(const TYPEDESC& ADesc, ITypeInfo* AContext, int ADepth = 0);
  std::wstring UserTypeName(HREFTYPE ARef, ITypeInfo* AContext);
  std::wstring Attributes(const std::vector<std::wstring>& AItems) const;
  std::vector<std::wstring> TypeAttributes(ITypeInfo* AInfo, const TYPEATTR& AAttr, TYPEKIND AKind);
  void WriteType(UINT AIndex);
  void WriteEnum(ITypeInfo* AInfo, const TYPEATTR& AAttr, const std::wstring& AName, std::vector<std::wstring> AAttrs);
  void WriteRecord(ITypeInfo* AInfo, const TYPEATTR& AAttr, const std::wstring& AName, std::vector<std::wstring> AAttrs,
                   bool AUnion);
  void WriteInterface(ITypeInfo* AInfo, const TYPEATTR& AAttr, const std::wstring& AName,
                      std::vector<std::wstring> AAttrs);
  void WriteDispinterface(ITypeInfo* AInfo, const TYPEATTR& AAttr, const std::wstring& AName,
                          std::vector<std::wstring> AAttrs);
  // The members, one line each, inside a declaration's braces.
  void WriteVariables(ITypeInfo* AInfo, const TYPEATTR& AAttr, bool AWithId);
  void WriteFunctions(ITypeInfo* AInfo, const TYPEATTR& AAttr, bool ADispatch);
  void WriteCoclass(ITypeInfo* AInfo, const TYPEATTR& AAttr, const std::wstring& AName, std::vector<std::wstring> AAttrs);
  void WriteModule(ITypeInfo* AInfo, const TYPEATTR& AAttr, const std::wstring& AName, std::vector<std::wstring> AAttrs);
  std::wstring Function(ITypeInfo* AInfo, UINT AIndex, const FUNCDESC& AFunc, bool ADispatch,
                       const std::wstring& AEntry = {});
  std::wstring Variable(ITypeInfo* AInfo, UINT AIndex, const VARDESC& AVar, bool AWithId);
  std::wstring BaseName(ITypeInfo* AInfo, UINT AIndex);
  void NoteImport(ITypeInfo* AInfo);
  ITypeInfo2* Info2(ITypeInfo* AInfo);
  // helpstringcontext and helpstringdll of a description or member, from ITypeInfo2.
  void AddHelpString2(std::vector<std::wstring>& AItems, ITypeInfo* AInfo, MEMBERID AMember);
  // The import the library needs, and its declarations the import already makes left out.
  int ChooseImport(const std::vector<bool>& AHoisted);
  // The alignment the fields of a record would have unpacked, 0 when unknown.
  WORD NaturalAlignment(ITypeInfo* AInfo, const TYPEATTR& AAttr);
  WORD AlignmentOf(const TYPEDESC& ADesc, ITypeInfo* AContext, int ADepth);
  void Line(const std::wstring& AText) { FBlocks.back().push_back(AText); }
  void Emit(UINT AIndex, int ADepth);
  std::wstring ResolveTags(const std::wstring& ALine, UINT AIndex) const;

  ITypeLib* FLib;
  TLineList& FOut;
  // Each declaration's lines, by its position in the library, and the positions it names.
  std::vector<std::vector<std::wstring>> FBlocks;
  std::vector<std::vector<UINT>> FBlockNeeds;
  std::vector<UINT> FNeeds;
  // The declaration being written names a type of a library it imports (stdole aside).
  bool FNamesImported = false;
  std::vector<int> FEmitted;  // 0 not yet, 1 under way, 2 written
  std::vector<TYPEKIND> FKinds;
  std::vector<std::wstring> FBody;
  std::vector<std::wstring> FOutside;  // value types named by other declarations
  std::vector<std::wstring> FForward;  // by position: the interface's forward declaration
  // By position: the declaration's name, and the statement that names its imported twin in place.
  std::vector<std::wstring> FTypeNames;
  std::vector<std::wstring> FStubs;
  std::vector<bool> FTagOnly;  // by position: an imported file declares it by its tag alone
  // By position: for the import's alias wireX, the type X whose [wire_marshal] the compiler writes
  // as it.
  std::vector<std::wstring> FWireNames;
  std::vector<std::wstring> FStdole;   // the OLE Automation libraries named, by file
  std::set<std::wstring> FStdoleNames;  // the types of those libraries named
  bool FUsesDispatch = false;           // IDispatch named as VT_DISPATCH or by a dispinterface
  std::set<std::wstring_view> FBuiltins;  // the OLE Automation names written
  std::wstring FHelpStringDll;          // the library's
  WORD FPointerSize = 4;                // of the platform the library is for
  std::vector<std::wstring> FImports;  // type library files other than those
  bool FInRecord = false;              // writing the fields of a struct or union
  int FPointerDepth = 0;               // pointers around the type being written
  TNameList FNames;
  std::set<std::wstring> FEnumerators;  // the enumerators written so far, of every enumeration
  // The second interface of the description last asked, which every member of it asks again.
  TComPtr<ITypeInfo> FInfo2Of;
  TComPtr<ITypeInfo2> FInfo2;
};

ITypeInfo2* TIdlWriter::Info2(ITypeInfo* AInfo) {
  if (AInfo != FInfo2Of.get()) {
    FInfo2 = TypeInfo2(AInfo);
    // Held, so that no other description takes its address while it is remembered.
    AInfo->AddRef();
    FInfo2Of.reset(AInfo);
  }
  return FInfo2.get();
}

void TIdlWriter::AddHelpString2(std::vector<std::wstring>& AItems, ITypeInfo* AInfo, MEMBERID AMember) {
  ITypeInfo2* info = Info2(AInfo);
  if (!info) return;
  TBstr text, dll;
  DWORD context = 0;
  if (FAILED(info->GetDocumentation2(AMember, 0, text.put(), &context, dll.put()))) return;
  if (context) AItems.push_back(L"helpstringcontext(" + Hex(context) + L")");
  // The platform gives the library's for every part: only a description's own is said again.
  const std::wstring_view file = dll.get() ? CutAtNul(dll.get()) : std::wstring_view();
  if (AMember == MEMBERID_NIL && !file.empty() && file != FHelpStringDll) AItems.push_back(L"helpstringdll(" + IdlString(file) + L")");
}

std::wstring TIdlWriter::Attributes(const std::vector<std::wstring>& AItems) const {
  if (AItems.empty()) return std::wstring();
  std::wstring text = L"[";
  for (size_t i = 0; i < AItems.size(); ++i) {
    if (i) text += L", ";
    text += AItems[i];
  }
  return text + L"]";
}

void TIdlWriter::NoteImport(ITypeInfo* AInfo) {
  TComPtr<ITypeLib> lib;
  UINT index = 0;
  if (FAILED(AInfo->GetContainingTypeLib(lib.put(), &index)) || !lib || IsSameLibrary(FLib, lib.get())) return;
  TLIBATTR* attr = nullptr;
  if (FAILED(lib->GetLibAttr(&attr)) || !attr) return;
  const TLIBATTR library = *attr;
  lib->ReleaseTLibAttr(attr);
  if (IsEqualGUID(library.guid, kStdoleLibrary)) {
    // The OLE Automation types: version 1 is stdole32.tlb, a later one stdole2.tlb.
    const wchar_t* stdole = library.wMajorVerNum == 1 ? L"stdole32.tlb" : L"stdole2.tlb";
    if (std::find(FStdole.begin(), FStdole.end(), stdole) == FStdole.end()) FStdole.push_back(stdole);
    // The compiler takes them from an imported IDL file, which is chosen by what is named.
    TBstr name;
    ReadTypeDocumentation(AInfo, MEMBERID_NIL, &name, nullptr);
    if (name.get()) FStdoleNames.insert(IdlIdentifier(CutAtNul(name.get())));
    return;
  }
  std::wstring file;
  BSTR path = nullptr;
  if (SUCCEEDED(QueryPathOfRegTypeLib(library.guid, library.wMajorVerNum, library.wMinorVerNum, library.lcid, &path)) &&
      path) {
    // A library registered as a resource of a file ("C:\x.dll\2") is imported by the file's name.
    file = ExtractFileName(std::wstring(WithoutResourceNumber(CutAtNul(path))));
    SysFreeString(path);
  }
  if (file.empty()) {
    std::wstring name;
    ReadLibDocumentation(lib.get(), -1, &name, nullptr, nullptr);
    file = NameText(name) + L".tlb";
  }
  if (std::find(FImports.begin(), FImports.end(), file) == FImports.end()) FImports.push_back(file);
  FNamesImported = true;
}

std::wstring TIdlWriter::UserTypeName(HREFTYPE ARef, ITypeInfo* AContext) {
  TComPtr<ITypeInfo> referred;
  if (FAILED(ReadRefTypeInfo(AContext, ARef, referred))) return std::wstring();
  NoteImport(referred.get());
  std::wstring tag;
  {
    // A declaration of this library that the one being written needs before it.
    TComPtr<ITypeLib> lib;
    UINT index = 0;
    if (SUCCEEDED(referred->GetContainingTypeLib(lib.put(), &index)) && lib.get() == FLib) {
      // A field may point to a struct or union not declared yet where it stands (its own, or one
      // that points back to it): only its tag can name it there, and it need not come first.
      // Whether it is declared is known once the declarations are ordered, so the field holds a
      // mark until then. Any other reference is marked too ("@struct 12"): where an imported file
      // declares the type by its tag alone, the tag names it.
      TYPEKIND kind = TKIND_MAX;
      if (FAILED(FLib->GetTypeInfoType(index, &kind))) kind = TKIND_MAX;
      const wchar_t* keyword = kind == TKIND_RECORD ? L"struct " : kind == TKIND_UNION ? L"union "
                               : kind == TKIND_ENUM ? L"enum " : kind == TKIND_ALIAS ? L"alias " : nullptr;
      if (FInRecord && FPointerDepth > 0 && (kind == TKIND_RECORD || kind == TKIND_UNION)) {
        tag = std::wstring(1, kTagMark) + keyword + std::to_wstring(index) + kTagMark;
      } else {
        FNeeds.push_back(index);
        if (keyword) tag = std::wstring(1, kTagMark) + L"@" + keyword + std::to_wstring(index) + kTagMark;
      }
    }
  }
  TBstr name;
  ReadTypeDocumentation(referred.get(), MEMBERID_NIL, &name, nullptr);
  if (!name.get() || CutAtNul(name.get()).empty()) return std::wstring();
  return tag + IdlIdentifier(CutAtNul(name.get()));
}

TDeclarator TIdlWriter::TypeText(const TYPEDESC& ADesc, ITypeInfo* AContext, int ADepth) {
  if (ADepth > kMaxTypeDepth) return {L"void"};
  if (const TPlatformType* basic = FindPlatformType(ADesc.vt)) {
    // The OLE Automation names, which compilers know by their names but must find declared.
    if (ADesc.vt == VT_DISPATCH) {
      FUsesDispatch = true;
    } else if (basic->IdlDeclared) {
      FBuiltins.insert(basic->Idl);
    }
    return {std::wstring(basic->Idl)};
  }
  switch (ADesc.vt) {
    case VT_PTR: {
      if (!ADesc.lptdesc) return {L"void*"};
      ++FPointerDepth;
      TDeclarator inner = TypeText(*ADesc.lptdesc, AContext, ADepth + 1);
      --FPointerDepth;
      inner.Before += L"*";
      return inner;
    }
    case VT_SAFEARRAY: {
      if (!ADesc.lptdesc) return {L"SAFEARRAY(VARIANT)"};
      // The compiler takes no pointer between these brackets: an array of interface pointers
      // names the interface.
      if (ADesc.lptdesc->vt == VT_UNKNOWN) return {L"SAFEARRAY(IUnknown)"};
      if (ADesc.lptdesc->vt == VT_DISPATCH) {
        FUsesDispatch = true;
        return {L"SAFEARRAY(IDispatch)"};
      }
      const TDeclarator element = TypeText(*ADesc.lptdesc, AContext, ADepth + 1);
      return {L"SAFEARRAY(" + element.Before + L")"};
    }
    case VT_CARRAY: {
      const ARRAYDESC* array = ADesc.lpadesc;
      if (!array) return {L"void*"};
      TDeclarator element = TypeText(array->tdescElem, AContext, ADepth + 1);
      std::wstring bounds;
      for (USHORT i = 0; i < array->cDims; ++i) bounds += L"[" + std::to_wstring(array->rgbounds[i].cElements) + L"]";
      element.After = bounds + element.After;
      return element;
    }
    case VT_USERDEFINED: {
      // An interface is named as itself; the pointer around it is the pointer of VT_PTR.
      std::wstring name = UserTypeName(ADesc.hreftype, AContext);
      return {name.empty() ? std::wstring(kUnknownType) : name};
    }
    default: return {L"void*"};
  }
}

std::vector<std::wstring> TIdlWriter::TypeAttributes(ITypeInfo* AInfo, const TYPEATTR& AAttr, TYPEKIND AKind) {
  std::vector<std::wstring> items;
  if (!IsEqualGUID(AAttr.guid, GUID_NULL)) items.push_back(L"uuid(" + GuidText(AAttr.guid) + L")");
  if (AAttr.wMajorVerNum || AAttr.wMinorVerNum) {
    items.push_back(L"version(" + std::to_wstring(AAttr.wMajorVerNum) + L"." + std::to_wstring(AAttr.wMinorVerNum) + L")");
  }
  TBstr doc, helpFile;
  DWORD context = 0;
  if (SUCCEEDED(AInfo->GetDocumentation(MEMBERID_NIL, nullptr, doc.put(), &context, helpFile.put()))) {
    AddHelp(items, doc.get(), context);
  }
  AddHelpString2(items, AInfo, MEMBERID_NIL);
  WORD flags = AAttr.wTypeFlags;
  // A dual interface is oleautomation of itself.
  if (flags & TYPEFLAG_FDUAL) flags &= static_cast<WORD>(~TYPEFLAG_FOLEAUTOMATION);
  static const TFlagWord kFlags[] = {
      {TYPEFLAG_FAPPOBJECT, L"appobject"},       {TYPEFLAG_FPREDECLID, L"predeclid"},
      {TYPEFLAG_FLICENSED, L"licensed"},
      {TYPEFLAG_FCONTROL, L"control"},           {TYPEFLAG_FHIDDEN, L"hidden"},
      {TYPEFLAG_FDUAL, L"dual"},                 {TYPEFLAG_FNONEXTENSIBLE, L"nonextensible"},
      {TYPEFLAG_FOLEAUTOMATION, L"oleautomation"}, {TYPEFLAG_FRESTRICTED, L"restricted"},
      {TYPEFLAG_FAGGREGATABLE, L"aggregatable"}, {TYPEFLAG_FREPLACEABLE, L"replaceable"},
      {TYPEFLAG_FREVERSEBIND, L"reversebind"},   {TYPEFLAG_FPROXY, L"proxy"},
  };
  AddFlags(items, flags, kFlags);
  if (AKind == TKIND_COCLASS && !(flags & TYPEFLAG_FCANCREATE)) items.push_back(L"noncreatable");
  if (ITypeInfo2* info = Info2(AInfo)) {
    TCustDataHolder custom;
    AddCustom(items, info->GetAllCustData(custom.put()), custom);
  }
  if (AKind == TKIND_INTERFACE) items.insert(items.begin() + (items.empty() ? 0 : 1), L"object");
  if (AKind == TKIND_ALIAS) items.push_back(L"public");
  return items;
}

std::wstring TIdlWriter::Variable(ITypeInfo* AInfo, UINT AIndex, const VARDESC& AVar, bool AWithId) {
  TBstr name, doc;
  DWORD context = 0;
  if (FAILED(AInfo->GetDocumentation(AVar.memid, name.put(), doc.put(), &context, nullptr))) return std::wstring();
  std::vector<std::wstring> items;
  if (AWithId) items.push_back(L"id(" + Hex(static_cast<uint32_t>(AVar.memid)) + L")");
  static const TFlagWord kFlags[] = {
      {VARFLAG_FREADONLY, L"readonly"},         {VARFLAG_FHIDDEN, L"hidden"},
      {VARFLAG_FRESTRICTED, L"restricted"},     {VARFLAG_FSOURCE, L"source"},
      {VARFLAG_FBINDABLE, L"bindable"},         {VARFLAG_FREQUESTEDIT, L"requestedit"},
      {VARFLAG_FDISPLAYBIND, L"displaybind"},   {VARFLAG_FDEFAULTBIND, L"defaultbind"},
      {VARFLAG_FDEFAULTCOLLELEM, L"defaultcollelem"}, {VARFLAG_FUIDEFAULT, L"uidefault"},
      {VARFLAG_FNONBROWSABLE, L"nonbrowsable"}, {VARFLAG_FREPLACEABLE, L"replaceable"},
      {VARFLAG_FIMMEDIATEBIND, L"immediatebind"},
  };
  AddFlags(items, AVar.wVarFlags, kFlags);
  // IDL compilers take no helpstring on a field of a struct or union: the text stays as a comment.
  AddHelp(items, FInRecord ? nullptr : doc.get(), context);
  // Nor a helpstringcontext.
  if (!FInRecord) AddHelpString2(items, AInfo, AVar.memid);
  if (ITypeInfo2* info = Info2(AInfo)) {
    TCustDataHolder custom;
    AddCustom(items, info->GetAllVarCustData(AIndex, custom.put()), custom);
  }
  const TDeclarator type = TypeText(AVar.elemdescVar.tdesc, AInfo);
  std::wstring text = Attributes(items);
  if (!text.empty()) text += L" ";
  text += type.Before + L" " + IdlIdentifier(CutAtNul(name.get())) + type.After + L";";
  const std::wstring_view fieldDoc = FInRecord && doc.get() ? CutAtNul(doc.get()) : std::wstring_view();
  if (!fieldDoc.empty()) text += L" /* " + CommentText(fieldDoc) + L" */";
  return text;
}

// An enumerator's value as a C literal: decimal, the smallest of 32 and of 64 bits as an expression
// (its digits alone are out of range), numbers past the signed 32-bit range in hex, as unsigned
// values are written. IDL's enumerators hold 32 bits: a wider value is written whole, and says so.
// Empty for a value that is no whole number.
std::wstring EnumeratorText(const VARIANT& AValue) {
  int64_t value = 0;
  switch (V_VT(&AValue)) {
    case VT_I1: value = V_I1(&AValue); break;
    case VT_I2: value = V_I2(&AValue); break;
    case VT_I4: value = V_I4(&AValue); break;
    case VT_INT: value = V_INT(&AValue); break;
    case VT_I8: value = V_I8(&AValue); break;
    case VT_UI1: value = V_UI1(&AValue); break;
    case VT_UI2: value = V_UI2(&AValue); break;
    case VT_UI4: value = V_UI4(&AValue); break;
    case VT_UINT: value = V_UINT(&AValue); break;
    case VT_UI8: {
      const uint64_t unsignedValue = V_UI8(&AValue);
      if (unsignedValue > static_cast<uint64_t>(INT64_MAX)) {
        wchar_t text[48];
        swprintf(text, 48, L"0x%llx /* wider than 32 bits */", static_cast<unsigned long long>(unsignedValue));
        return text;
      }
      value = static_cast<int64_t>(unsignedValue);
      break;
    }
    default: {
      // Another type that holds a whole number.
      TVariant converted;
      if (FAILED(VariantChangeType(converted.get(), const_cast<VARIANT*>(&AValue), 0, VT_I4))) return std::wstring();
      value = V_I4(converted.get());
      break;
    }
  }
  std::wstring text;
  if (value == INT64_MIN) {
    text = L"-9223372036854775807 - 1";
  } else if (value == INT32_MIN) {
    text = L"-2147483647 - 1";
  } else if (value > INT32_MAX) {
    wchar_t hex[24];
    swprintf(hex, 24, L"0x%llx", static_cast<unsigned long long>(value));
    text = hex;
  } else {
    text = std::to_wstring(value);
  }
  if (value < INT32_MIN || value > static_cast<int64_t>(UINT32_MAX)) text += L" /* wider than 32 bits */";
  return text;
}

// A default value as IDL writes it; empty when it has none.
std::wstring DefaultText(const VARIANT& AValue) {
  switch (V_VT(&AValue)) {
    case VT_I1: return std::to_wstring(V_I1(&AValue));
    case VT_UI1: return std::to_wstring(V_UI1(&AValue));
    case VT_I2: return std::to_wstring(V_I2(&AValue));
    case VT_UI2: return std::to_wstring(V_UI2(&AValue));
    case VT_I4:
    case VT_INT: return std::to_wstring(V_I4(&AValue));
    case VT_UI4:
    case VT_UINT: return std::to_wstring(V_UI4(&AValue));
    case VT_I8: return std::to_wstring(V_I8(&AValue));
    case VT_UI8: return std::to_wstring(V_UI8(&AValue));
    case VT_BOOL: return std::to_wstring(V_BOOL(&AValue));
    case VT_ERROR: return std::to_wstring(V_ERROR(&AValue));
    case VT_BSTR: return IdlString(WholeText(V_BSTR(&AValue)));
    // IDL has no literal of a date: its number, as the platform keeps it.
    case VT_R4:
    case VT_R8:
    case VT_DATE: {
      double value = V_DATE(&AValue);
      if (V_VT(&AValue) == VT_R4) value = V_R4(&AValue);
      if (V_VT(&AValue) == VT_R8) value = V_R8(&AValue);
      if (!std::isfinite(value)) return std::wstring();
      wchar_t text[64];
      swprintf(text, 64, V_VT(&AValue) == VT_R4 ? L"%.9g" : L"%.17g", value);
      return text;
    }
    case VT_CY:
    case VT_DECIMAL: {
      TVariant text;
      // The platform declares the source writable though it only reads it.
      VARIANT* source = const_cast<VARIANT*>(&AValue);
      if (FAILED(VariantChangeTypeEx(text.get(), source, LOCALE_INVARIANT, 0, VT_BSTR))) return std::wstring();
      return std::wstring(WholeText(V_BSTR(text.get())));
    }
    // A null interface pointer, the only one a library can hold.
    case VT_UNKNOWN: return V_UNKNOWN(&AValue) ? std::wstring() : L"0";
    case VT_DISPATCH: return V_DISPATCH(&AValue) ? std::wstring() : L"0";
    default: return std::wstring();
  }
}

std::wstring TIdlWriter::Function(ITypeInfo* AInfo, UINT AIndex, const FUNCDESC& AFunc, bool ADispatch,
                                  const std::wstring& AEntry) {
  if (FAILED(FNames.Read(AInfo, AFunc.memid)) || FNames.Count() < 1) return std::wstring();
  const std::wstring name = IdlIdentifier(FNames.Name(0));
  std::vector<std::wstring> items;
  if (!AEntry.empty()) {
    items.push_back(AEntry);
  } else {
    items.push_back(L"id(" + Hex(static_cast<uint32_t>(AFunc.memid)) + L")");
  }
  switch (AFunc.invkind) {
    case INVOKE_PROPERTYGET: items.push_back(L"propget"); break;
    case INVOKE_PROPERTYPUT: items.push_back(L"propput"); break;
    case INVOKE_PROPERTYPUTREF: items.push_back(L"propputref"); break;
    default: break;
  }
  static const TFlagWord kFlags[] = {
      {FUNCFLAG_FRESTRICTED, L"restricted"},     {FUNCFLAG_FSOURCE, L"source"},
      {FUNCFLAG_FBINDABLE, L"bindable"},         {FUNCFLAG_FREQUESTEDIT, L"requestedit"},
      {FUNCFLAG_FDISPLAYBIND, L"displaybind"},   {FUNCFLAG_FDEFAULTBIND, L"defaultbind"},
      {FUNCFLAG_FHIDDEN, L"hidden"},             {FUNCFLAG_FUSESGETLASTERROR, L"usesgetlasterror"},
      {FUNCFLAG_FDEFAULTCOLLELEM, L"defaultcollelem"}, {FUNCFLAG_FUIDEFAULT, L"uidefault"},
      {FUNCFLAG_FNONBROWSABLE, L"nonbrowsable"}, {FUNCFLAG_FREPLACEABLE, L"replaceable"},
      {FUNCFLAG_FIMMEDIATEBIND, L"immediatebind"},
  };
  AddFlags(items, AFunc.wFuncFlags, kFlags);
  if (AFunc.cParamsOpt == -1) items.push_back(L"vararg");
  TBstr doc;
  DWORD context = 0;
  if (SUCCEEDED(AInfo->GetDocumentation(AFunc.memid, nullptr, doc.put(), &context, nullptr))) {
    AddHelp(items, doc.get(), context);
  }
  AddHelpString2(items, AInfo, AFunc.memid);
  ITypeInfo2* info2 = Info2(AInfo);
  if (info2) {
    TCustDataHolder custom;
    AddCustom(items, info2->GetAllFuncCustData(AIndex, custom.put()), custom);
  }
  const TDeclarator result = TypeText(AFunc.elemdescFunc.tdesc, AInfo);
  std::wstring text = Attributes(items) + L" " + result.Before;
  // One calling convention: a module's functions name theirs, stdcall included.
  if (AFunc.callconv == CC_CDECL) {
    text += L" __cdecl";
  } else if (AFunc.callconv == CC_PASCAL) {
    text += L" __pascal";
  } else if (AFunc.callconv == CC_FASTCALL) {
    text += L" __fastcall";
  } else if (!ADispatch && AFunc.funckind == FUNC_STATIC) {
    text += L" __stdcall";
  }
  text += L" " + name + L"(";
  const int count = AFunc.lprgelemdescParam ? AFunc.cParams : 0;
  for (int i = 0; i < count; ++i) {
    const ELEMDESC& element = AFunc.lprgelemdescParam[i];
    const USHORT flags = element.paramdesc.wParamFlags;
    std::vector<std::wstring> paramItems;
    if (flags & PARAMFLAG_FIN) paramItems.push_back(L"in");
    if (flags & PARAMFLAG_FOUT) paramItems.push_back(L"out");
    if (flags & PARAMFLAG_FLCID) paramItems.push_back(L"lcid");
    if (flags & PARAMFLAG_FRETVAL) paramItems.push_back(L"retval");
    if (flags & PARAMFLAG_FOPT) paramItems.push_back(L"optional");
    if ((flags & PARAMFLAG_FHASDEFAULT) && element.paramdesc.pparamdescex) {
      const std::wstring value = DefaultText(element.paramdesc.pparamdescex->varDefaultValue);
      if (!value.empty()) paramItems.push_back(L"defaultvalue(" + value + L")");
    }
    if (info2) {
      TCustDataHolder custom;
      AddCustom(paramItems, info2->GetAllParamCustData(AIndex, static_cast<UINT>(i), custom.put()), custom);
    }
    const std::wstring_view given = static_cast<UINT>(i) + 1 < FNames.Count() ? FNames.Name(static_cast<UINT>(i) + 1)
                                                                              : std::wstring_view();
    const std::wstring paramName = given.empty() ? L"arg" + std::to_wstring(i + 1) : IdlIdentifier(given);
    const TDeclarator type = TypeText(element.tdesc, AInfo);
    if (i) text += L", ";
    text += Attributes(paramItems);
    if (!paramItems.empty()) text += L" ";
    text += type.Before + L" " + paramName + type.After;
  }
  if (count == 0) text += L"void";
  text += L");";
  return text;
}

std::wstring TIdlWriter::BaseName(ITypeInfo* AInfo, UINT AIndex) {
  HREFTYPE ref = 0;
  if (FAILED(AInfo->GetRefTypeOfImplType(AIndex, &ref))) return std::wstring();
  return UserTypeName(ref, AInfo);
}

void TIdlWriter::WriteEnum(ITypeInfo* AInfo, const TYPEATTR& AAttr, const std::wstring& AName,
                           std::vector<std::wstring> AAttrs) {
  Line(L"    typedef " + (AAttrs.empty() ? std::wstring() : Attributes(AAttrs) + L" ") + L"enum " + AName + L" {");
  std::vector<std::wstring> members;
  for (UINT i = 0; i < AAttr.cVars; ++i) {
    TVarDescHolder var(AInfo);
    if (FAILED(var.Fetch(i)) || var->varkind != VAR_CONST || !var->lpvarValue) continue;
    TBstr name;
    if (FAILED(ReadTypeDocumentation(AInfo, var->memid, &name, nullptr))) continue;
    const std::wstring value = EnumeratorText(*var->lpvarValue);
    if (value.empty()) continue;
    // Enumerators of all enumerations share one scope in IDL: a name another one took is made
    // unique, and says so.
    const std::wstring given = IdlIdentifier(CutAtNul(name.get()));
    std::wstring unique = given;
    for (int n = 2; !FEnumerators.insert(unique).second; ++n) unique = given + L"_" + std::to_wstring(n);
    std::wstring member = L"        " + unique + L" = " + value;
    if (unique != given) member += L" /* " + given + L" of another enumeration */";
    members.push_back(member);
  }
  for (size_t i = 0; i < members.size(); ++i) Line(members[i] + (i + 1 < members.size() ? L"," : L""));
  Line(L"    } " + AName + L";");
}

WORD TIdlWriter::AlignmentOf(const TYPEDESC& ADesc, ITypeInfo* AContext, int ADepth) {
  if (ADepth > kMaxTypeDepth) return 0;
  switch (ADesc.vt) {
    case VT_I1: case VT_UI1: return 1;
    case VT_I2: case VT_UI2: case VT_BOOL: return 2;
    case VT_I4: case VT_UI4: case VT_INT: case VT_UINT: case VT_R4: case VT_ERROR: case VT_HRESULT: return 4;
    case VT_R8: case VT_DATE: case VT_I8: case VT_UI8: case VT_CY: case VT_DECIMAL: case VT_VARIANT: return 8;
    case VT_PTR: case VT_BSTR: case VT_LPSTR: case VT_LPWSTR: case VT_UNKNOWN: case VT_DISPATCH: case VT_SAFEARRAY:
    case VT_INT_PTR: case VT_UINT_PTR: return FPointerSize;
    case VT_CARRAY: return ADesc.lpadesc ? AlignmentOf(ADesc.lpadesc->tdescElem, AContext, ADepth + 1) : 0;
    case VT_USERDEFINED: {
      TComPtr<ITypeInfo> referred;
      if (FAILED(ReadRefTypeInfo(AContext, ADesc.hreftype, referred))) return 0;
      TTypeAttrHolder attr(referred.get());
      if (FAILED(attr.Fetch())) return 0;
      // An alias is aligned as what it names: loaders report a pointer alias's own alignment for
      // the process that loaded it, not for the library's platform.
      if (attr->typekind == TKIND_ALIAS) return AlignmentOf(attr->tdescAlias, referred.get(), ADepth + 1);
      return attr->typekind == TKIND_INTERFACE || attr->typekind == TKIND_DISPATCH ? FPointerSize : attr->cbAlignment;
    }
    default: return 0;
  }
}

WORD TIdlWriter::NaturalAlignment(ITypeInfo* AInfo, const TYPEATTR& AAttr) {
  WORD alignment = 0;
  for (UINT i = 0; i < AAttr.cVars; ++i) {
    TVarDescHolder var(AInfo);
    if (FAILED(var.Fetch(i))) return 0;
    const WORD field = AlignmentOf(var->elemdescVar.tdesc, AInfo, 0);
    if (!field) return 0;
    alignment = std::max(alignment, field);
  }
  return alignment;
}

void TIdlWriter::WriteRecord(ITypeInfo* AInfo, const TYPEATTR& AAttr, const std::wstring& AName,
                             std::vector<std::wstring> AAttrs, bool AUnion) {
  // A record aligned tighter than its fields was packed: the compiler packs it so again.
  const WORD natural = NaturalAlignment(AInfo, AAttr);
  const bool packed = AAttr.cbAlignment && natural && AAttr.cbAlignment < natural;
  if (packed) Line(L"    #pragma pack(push, " + std::to_wstring(AAttr.cbAlignment) + L")");
  Line(L"    typedef " + (AAttrs.empty() ? std::wstring() : Attributes(AAttrs) + L" ") + (AUnion ? L"union " : L"struct ") +
       AName + L" {");
  FInRecord = true;
  WriteVariables(AInfo, AAttr, false);
  FInRecord = false;
  Line(L"    } " + AName + L";");
  if (packed) Line(L"    #pragma pack(pop)");
}

void TIdlWriter::WriteInterface(ITypeInfo* AInfo, const TYPEATTR& AAttr, const std::wstring& AName,
                                std::vector<std::wstring> AAttrs) {
  std::wstring base = AAttr.cImplTypes > 0 ? BaseName(AInfo, 0) : std::wstring();
  Line(L"    " + Attributes(AAttrs));
  Line(L"    interface " + AName + (base.empty() ? std::wstring() : L" : " + base) + L" {");
  WriteFunctions(AInfo, AAttr, false);
  Line(L"    };");
}

void TIdlWriter::WriteVariables(ITypeInfo* AInfo, const TYPEATTR& AAttr, bool AWithId) {
  for (UINT i = 0; i < AAttr.cVars; ++i) {
    TVarDescHolder var(AInfo);
    if (FAILED(var.Fetch(i))) continue;
    const std::wstring text = Variable(AInfo, i, *var.get(), AWithId);
    if (!text.empty()) Line(L"        " + text);
  }
}

void TIdlWriter::WriteFunctions(ITypeInfo* AInfo, const TYPEATTR& AAttr, bool ADispatch) {
  for (UINT i = 0; i < AAttr.cFuncs; ++i) {
    TFuncDescHolder func(AInfo);
    if (FAILED(func.Fetch(i))) continue;
    // The members of IUnknown and IDispatch come with every dispinterface.
    if (ADispatch && func->memid >= 0x60000000 && func->memid < 0x60020000) continue;
    const std::wstring text = Function(AInfo, i, *func.get(), ADispatch);
    if (!text.empty()) Line(L"        " + text);
  }
}

void TIdlWriter::WriteDispinterface(ITypeInfo* AInfo, const TYPEATTR& AAttr, const std::wstring& AName,
                                    std::vector<std::wstring> AAttrs) {
  Line(L"    " + Attributes(AAttrs));
  Line(L"    dispinterface " + AName + L" {");
  Line(L"    properties:");
  WriteVariables(AInfo, AAttr, true);
  Line(L"    methods:");
  WriteFunctions(AInfo, AAttr, true);
  Line(L"    };");
}

void TIdlWriter::WriteCoclass(ITypeInfo* AInfo, const TYPEATTR& AAttr, const std::wstring& AName,
                              std::vector<std::wstring> AAttrs) {
  Line(L"    " + Attributes(AAttrs));
  Line(L"    coclass " + AName + L" {");
  for (UINT i = 0; i < AAttr.cImplTypes; ++i) {
    HREFTYPE ref = 0;
    TComPtr<ITypeInfo> implemented;
    if (FAILED(AInfo->GetRefTypeOfImplType(i, &ref)) || FAILED(ReadRefTypeInfo(AInfo, ref, implemented))) continue;
    INT flags = 0;
    AInfo->GetImplTypeFlags(i, &flags);
    std::vector<std::wstring> items;
    if (flags & IMPLTYPEFLAG_FDEFAULT) items.push_back(L"default");
    if (flags & IMPLTYPEFLAG_FSOURCE) items.push_back(L"source");
    if (flags & IMPLTYPEFLAG_FRESTRICTED) items.push_back(L"restricted");
    if (flags & IMPLTYPEFLAG_FDEFAULTVTABLE) items.push_back(L"defaultvtable");
    if (ITypeInfo2* info = Info2(AInfo)) {
      TCustDataHolder custom;
      AddCustom(items, info->GetAllImplTypeCustData(i, custom.put()), custom);
    }
    TTypeAttrHolder attr(implemented.get());
    const bool dispatch = SUCCEEDED(attr.Fetch()) && attr->typekind == TKIND_DISPATCH && !(attr->wTypeFlags & TYPEFLAG_FDUAL);
    NoteImport(implemented.get());
    TBstr name;
    ReadTypeDocumentation(implemented.get(), MEMBERID_NIL, &name, nullptr);
    Line(L"        " + (items.empty() ? std::wstring() : Attributes(items) + L" ") +
         (dispatch ? L"dispinterface " : L"interface ") + IdlIdentifier(CutAtNul(name.get())) + L";");
  }
  Line(L"    };");
}

void TIdlWriter::WriteModule(ITypeInfo* AInfo, const TYPEATTR& AAttr, const std::wstring& AName,
                             std::vector<std::wstring> AAttrs) {
  // The library file of the module's functions, from its first entry.
  std::wstring dll;
  for (UINT i = 0; i < AAttr.cFuncs && dll.empty(); ++i) {
    TFuncDescHolder func(AInfo);
    if (FAILED(func.Fetch(i))) continue;
    TBstr file, entry;
    WORD ordinal = 0;
    if (SUCCEEDED(AInfo->GetDllEntry(func->memid, func->invkind, file.put(), entry.put(), &ordinal)) && file.get()) {
      dll = NameText(CutAtNul(file.get()));
    }
  }
  AAttrs.insert(AAttrs.begin(), L"dllname(" + IdlString(dll) + L")");
  Line(L"    " + Attributes(AAttrs));
  Line(L"    module " + AName + L" {");
  for (UINT i = 0; i < AAttr.cVars; ++i) {
    TVarDescHolder var(AInfo);
    if (FAILED(var.Fetch(i)) || var->varkind != VAR_CONST || !var->lpvarValue) continue;
    TBstr name;
    if (FAILED(ReadTypeDocumentation(AInfo, var->memid, &name, nullptr))) continue;
    const std::wstring value = DefaultText(*var->lpvarValue);
    if (value.empty()) continue;
    const TDeclarator type = TypeText(var->elemdescVar.tdesc, AInfo);
    Line(L"        const " + type.Before + L" " + IdlIdentifier(CutAtNul(name.get())) + L" = " + value + L";");
  }
  for (UINT i = 0; i < AAttr.cFuncs; ++i) {
    TFuncDescHolder func(AInfo);
    if (FAILED(func.Fetch(i))) continue;
    TBstr file, entry;
    WORD ordinal = 0;
    std::wstring where;
    if (SUCCEEDED(AInfo->GetDllEntry(func->memid, func->invkind, file.put(), entry.put(), &ordinal))) {
      where = entry.get() ? L"entry(" + IdlString(CutAtNul(entry.get())) + L")" : L"entry(" + std::to_wstring(ordinal) + L")";
    }
    const std::wstring text = Function(AInfo, i, *func.get(), false, where);
    if (!text.empty()) Line(L"        " + text);
  }
  Line(L"    };");
}

void TIdlWriter::WriteType(UINT AIndex) {
  TComPtr<ITypeInfo> info;
  HRESULT hr = ReadTypeInfo(FLib, AIndex, info);
  if (FAILED(hr)) {
    Line(L"    // " + SystemMessageLine(hr));
    return;
  }
  TTypeAttrHolder attr(info.get());
  hr = attr.Fetch();
  if (FAILED(hr)) {
    Line(L"    // " + SystemMessageLine(hr));
    return;
  }
  TBstr name;
  ReadTypeDocumentation(info.get(), MEMBERID_NIL, &name, nullptr);
  const std::wstring typeName = IdlIdentifier(CutAtNul(name.get()));
  TYPEKIND kind = attr->typekind;
  FTypeNames[AIndex] = typeName;
  ITypeInfo* source = info.get();
  const TYPEATTR* sourceAttr = attr.get();
  // A dual interface is written once, as an interface: the compiler makes its dispatch side.
  TComPtr<ITypeInfo> vtbl;
  std::unique_ptr<TTypeAttrHolder> vtblAttr;
  if (kind == TKIND_DISPATCH && (attr->wTypeFlags & TYPEFLAG_FDUAL)) {
    HREFTYPE ref = 0;
    if (SUCCEEDED(info->GetRefTypeOfImplType(static_cast<UINT>(-1), &ref)) &&
        SUCCEEDED(ReadRefTypeInfo(info.get(), ref, vtbl))) {
      vtblAttr = std::make_unique<TTypeAttrHolder>(vtbl.get());
      if (SUCCEEDED(vtblAttr->Fetch())) {
        kind = TKIND_INTERFACE;
        source = vtbl.get();
        sourceAttr = vtblAttr->get();
      }
    }
  }
  std::vector<std::wstring> attributes = TypeAttributes(info.get(), *attr.get(), kind);
  // Where an imported file declares the same type, a statement that names it puts it here.
  switch (kind) {
    case TKIND_RECORD: FStubs[AIndex] = L"    struct " + typeName + L";"; break;
    case TKIND_UNION: FStubs[AIndex] = L"    union " + typeName + L";"; break;
    case TKIND_ENUM: FStubs[AIndex] = L"    enum " + typeName + L";"; break;
    case TKIND_INTERFACE: FStubs[AIndex] = L"    interface " + typeName + L";"; break;
    case TKIND_DISPATCH: FStubs[AIndex] = L"    dispinterface " + typeName + L";"; break;
    default: break;
  }
  switch (kind) {
    case TKIND_ENUM: WriteEnum(source, *sourceAttr, typeName, attributes); break;
    case TKIND_RECORD: WriteRecord(source, *sourceAttr, typeName, attributes, false); break;
    case TKIND_UNION: WriteRecord(source, *sourceAttr, typeName, attributes, true); break;
    case TKIND_MODULE: WriteModule(source, *sourceAttr, typeName, attributes); break;
    case TKIND_INTERFACE:
      FForward[AIndex] = L"interface " + typeName + L";";
      WriteInterface(source, *sourceAttr, typeName, attributes);
      break;
    case TKIND_DISPATCH:
      FUsesDispatch = true;
      FForward[AIndex] = L"dispinterface " + typeName + L";";
      WriteDispinterface(source, *sourceAttr, typeName, attributes);
      break;
    case TKIND_COCLASS: WriteCoclass(source, *sourceAttr, typeName, attributes); break;
    case TKIND_ALIAS: {
      const TDeclarator type = TypeText(attr->tdescAlias, info.get());
      Line(L"    typedef " + Attributes(attributes) + L" " + type.Before + L" " + typeName + type.After + L";");
      break;
    }
    default: break;
  }
  Line(std::wstring());
}

void TIdlWriter::Emit(UINT AIndex, int ADepth) {
  if (AIndex >= FBlocks.size() || FEmitted[AIndex] != 0 || ADepth > kMaxTypeDepth) return;
  FEmitted[AIndex] = 1;
  for (UINT needed : FBlockNeeds[AIndex]) {
    if (needed >= FKinds.size()) continue;
    const TYPEKIND kind = FKinds[needed];
    if (kind == TKIND_ENUM || kind == TKIND_RECORD || kind == TKIND_UNION || kind == TKIND_ALIAS) Emit(needed, ADepth + 1);
  }
  for (const std::wstring& line : FBlocks[AIndex]) FBody.push_back(ResolveTags(line, AIndex));
  FEmitted[AIndex] = 2;
}

// A marked reference becomes the name when its declaration is written, else the tag.
std::wstring TIdlWriter::ResolveTags(const std::wstring& ALine, UINT AIndex) const {
  if (ALine.find(kTagMark) == std::wstring::npos) return ALine;
  std::wstring text;
  size_t start = 0;
  while (true) {
    const size_t mark = ALine.find(kTagMark, start);
    const size_t close = mark == std::wstring::npos ? mark : ALine.find(kTagMark, mark + 1);
    if (close == std::wstring::npos) break;
    text.append(ALine, start, mark - start);
    const std::wstring inner = ALine.substr(mark + 1, close - mark - 1);  // "struct 12" or "@struct 12"
    const bool plain = !inner.empty() && inner[0] == L'@';
    const size_t space = inner.find(L' ');
    const unsigned long index = std::wcstoul(inner.c_str() + space + 1, nullptr, 10);
    const bool declared = index < FEmitted.size() && index != AIndex && FEmitted[index] == 2;
    const bool tagOnly = index < FTagOnly.size() && FTagOnly[index];
    start = close + 1;
    if (inner.compare(0, 7, L"@alias ") == 0) {
      // An alias the import makes of a type that takes another's name over the wire: that type.
      if (index < FWireNames.size() && !FWireNames[index].empty()) {
        while (start < ALine.size() && (std::iswalnum(ALine[start]) || ALine[start] == L'_')) ++start;
        text += FWireNames[index];
      }
      continue;
    }
    if (tagOnly || (!plain && !declared)) text.append(inner, plain ? 1 : 0, space + (plain ? 0 : 1));
  }
  text.append(ALine, start, std::wstring::npos);
  return text;
}

int TIdlWriter::ChooseImport(const std::vector<bool>& AHoisted) {
  const size_t count = FBlocks.size();
  std::set<std::wstring> own;
  for (size_t i = 0; i < count; ++i) {
    if (FKinds[i] == TKIND_INTERFACE || FKinds[i] == TKIND_DISPATCH) own.insert(FTypeNames[i]);
  }
  // What the library names of the OLE Automation types and does not declare itself.
  std::set<std::wstring> named = FStdoleNames;
  if (FUsesDispatch) named.insert(L"IDispatch");
  int file = kImportNone;
  for (const std::wstring& name : named) {
    if (own.count(name)) continue;
    // A type no IDL file declares stays unknown to the compiler whatever is imported.
    file = std::max(file, ImportFileOf(name));
  }
  // An import declares them too, or a larger one does (VARIANT comes with oaidl.idl); without any,
  // the IDL declares them itself.
  for (std::wstring_view name : FBuiltins) {
    if (file != kImportNone) file = std::max(file, ImportFileOf(name));
  }
  // Its own declarations that the import makes too are named in their places, not declared again:
  // the compiler then adds the imported one there, or where it is first named.
  for (size_t i = 0; i < count && file != kImportNone; ++i) {
    std::string kinds = ImportedKinds(FTypeNames[i], file);
    // An unnamed type of the import, which a type the library took from it holds.
    unsigned long number = 0;
    if (UnnamedTypeNumber(FTypeNames[i], nullptr, &number) && number < kImportUnnamedTypes[file]) {
      const char tag = FKinds[i] == TKIND_RECORD ? 's' : FKinds[i] == TKIND_UNION ? 'u' : FKinds[i] == TKIND_ENUM ? 'e' : 0;
      kinds.clear();
      if (tag) kinds.push_back(tag);
    }
    char kind = 0;
    switch (FKinds[i]) {
      case TKIND_RECORD: kind = 's'; break;
      case TKIND_UNION: kind = 'u'; break;
      case TKIND_ENUM: kind = 'e'; break;
      case TKIND_INTERFACE:
      case TKIND_DISPATCH: kind = 'i'; break;
      case TKIND_ALIAS: kind = 't'; break;
      default: break;
    }
    if (!kind) continue;
    // A struct the import declares by its typedef name only has no tag to name it in place.
    const bool tagged = kinds.find(kind) != std::string::npos;
    const bool typedefOnly = kind != 'i' && kinds.find('t') != std::string::npos;
    if (!tagged && !typedefOnly) continue;
    FBlocks[i].clear();
    FTagOnly[i] = tagged && kind != 'i' && kind != 't' && kinds.find('t') == std::string::npos;
    const std::wstring& typeName = FTypeNames[i];
    if (kind == 't' && typeName.compare(0, 4, L"wire") == 0 && typeName.size() > 4 &&
        ImportedKinds(std::wstring_view(typeName).substr(4), file).find('t') != std::string::npos) {
      FWireNames[i] = typeName.substr(4);
    }
    if (!AHoisted[i] && tagged && kind != 't') {
      FBlocks[i].push_back(FStubs[i]);
      FBlocks[i].emplace_back();
    }
    FBlockNeeds[i].clear();
    FForward[i].clear();
  }
  return file;
}

void TIdlWriter::Run(const TObjectData& AData, std::wstring& ALibName) {
  std::wstring name, doc, helpFile;
  DWORD context = 0;
  {
    TBstr nameText, docText, helpText;
    if (SUCCEEDED(FLib->GetDocumentation(-1, nameText.put(), docText.put(), &context, helpText.put()))) {
      name = NameText(CutAtNul(nameText.get()));
      if (docText.get()) doc = std::wstring(CutAtNul(docText.get()));
      if (helpText.get()) helpFile = std::wstring(CutAtNul(helpText.get()));
    }
  }
  DWORD stringContext = 0;
  TComPtr<ITypeLib2> lib2;
  if (SUCCEEDED(FLib->QueryInterface(IID_ITypeLib2, lib2.put_void())) && lib2) {
    TBstr text, dll;
    if (SUCCEEDED(lib2->GetDocumentation2(-1, 0, text.put(), &stringContext, dll.put()))) {
      if (dll.get()) FHelpStringDll = std::wstring(CutAtNul(dll.get()));
    } else {
      stringContext = 0;
    }
  }
  ALibName = name;
  {
    TLIBATTR* libAttr = nullptr;
    if (SUCCEEDED(FLib->GetLibAttr(&libAttr)) && libAttr) {
      FPointerSize = libAttr->syskind == SYS_WIN64 ? 8 : 4;
      FLib->ReleaseTLibAttr(libAttr);
    }
  }
  const UINT count = FLib->GetTypeInfoCount();
  bool ownUnknown = false;
  for (UINT i = 0; i < count && !ownUnknown; ++i) {
    TYPEKIND kind = TKIND_MAX;
    std::wstring typeName;
    ownUnknown = SUCCEEDED(FLib->GetTypeInfoType(i, &kind)) && kind == TKIND_INTERFACE &&
                 SUCCEEDED(ReadLibDocumentation(FLib, static_cast<INT>(i), &typeName, nullptr, nullptr)) &&
                 NameText(typeName) == L"IUnknown";
  }
  // Enumerators share one scope with those of the imported files, which a library that declares
  // IUnknown itself does not import.
  if (!ownUnknown) {
    for (const TImportedName& imported : kImportedNames) {
      if (imported.Kind == 'c' && imported.File <= kImportOaidl) FEnumerators.emplace(imported.Name);
    }
  }
  FBlocks.reserve(count);
  FBlockNeeds.resize(count);
  FEmitted.assign(count, 0);
  FKinds.assign(count, TKIND_MAX);
  FForward.assign(count, std::wstring());
  FTypeNames.assign(count, std::wstring());
  FStubs.assign(count, std::wstring());
  FTagOnly.assign(count, false);
  FWireNames.assign(count, std::wstring());
  std::vector<bool> importing(count, false);
  for (UINT i = 0; i < count; ++i) {
    FBlocks.emplace_back();
    FNeeds.clear();
    FNamesImported = false;
    WriteType(i);
    FBlockNeeds[i] = FNeeds;
    importing[i] = FNamesImported;
    if (FAILED(FLib->GetTypeInfoType(i, &FKinds[i]))) FKinds[i] = TKIND_MAX;
  }
  // An enumeration, record, union or alias that a declaration before it names goes before the
  // library block: IDL declares a type before its use, only interfaces can be declared forward,
  // and the compiler adds such a type to the library where it is first named, as the original was
  // made. The others stay in the block, in their places.
  std::vector<bool> named(count, false);
  for (UINT i = 0; i < count; ++i) {
    for (UINT needed : FBlockNeeds[i]) {
      if (needed < count && needed > i) named[needed] = true;
    }
  }
  auto isValue = [&](UINT AIndex) {
    const TYPEKIND kind = FKinds[AIndex];
    return kind == TKIND_ENUM || kind == TKIND_RECORD || kind == TKIND_UNION || kind == TKIND_ALIAS;
  };
  // A type that names one of an imported library, itself or through the types it needs, stays in
  // the block: only there, after importlib, can the compiler know that library's types. It then
  // comes before its first user, not in its original place.
  for (bool changed = true; changed;) {
    changed = false;
    for (UINT i = 0; i < count; ++i) {
      if (importing[i]) continue;
      for (UINT needed : FBlockNeeds[i]) {
        if (needed < count && importing[needed]) {
          importing[i] = true;
          changed = true;
          break;
        }
      }
    }
  }
  std::vector<bool> hoisted(count, false);
  for (UINT i = 0; i < count; ++i) hoisted[i] = isValue(i) && named[i] && !importing[i];
  const int import = ChooseImport(hoisted);
  for (UINT i = 0; i < count; ++i) {
    if (hoisted[i]) Emit(i, 0);
  }
  FOutside.swap(FBody);
  for (UINT i = 0; i < count; ++i) {
    if (!hoisted[i]) Emit(i, 0);
  }

  // A line break in the name would end the comment and leave the rest of the name as IDL.
  std::wstring shownName = name;
  std::replace_if(shownName.begin(), shownName.end(), [](wchar_t c) { return c < L' '; }, L' ');
  FOut.Add(L"// IDL of the type library " + (name.empty() ? std::wstring(L"without a name") : shownName));
  if (!IsBlankText(AData.Server)) FOut.Add(L"// File: " + std::wstring(AData.Server));
  FOut.Add(L"// Written by Vantrel; an IDL compiler makes the library again from it.");
  // widl names an unnamed type after its IDL file and a counter: the original's names tell the file.
  for (const std::wstring& typeName : FTypeNames) {
    std::wstring file;
    if (!UnnamedTypeNumber(typeName, &file, nullptr)) continue;
    FOut.Add(L"// Compile as \"" + file + L".idl\": widl names unnamed types after the file.");
    break;
  }
  FOut.Add(std::wstring());
  if (import == kImportNone) {
    // Nothing imported: the names of the OLE Automation types, which compilers know by their
    // names alone, need a declaration to be read; as they are not public, none goes into the
    // library.
    for (const wchar_t* builtin : {L"BSTR", L"CURRENCY", L"DATE", L"DECIMAL", L"HRESULT", L"LPSTR", L"LPWSTR",
                                   L"SCODE", L"VARIANT", L"VARIANT_BOOL"}) {
      FOut.Add(L"typedef long " + std::wstring(builtin) + L";");
    }
    FOut.Add(L"typedef __int3264 INT_PTR;");
    FOut.Add(L"typedef unsigned __int3264 UINT_PTR;");
  } else {
    FOut.Add(L"import \"" + std::wstring(kImportFileNames[import]) + L"\";");
  }
  FOut.Add(std::wstring());
  bool forwards = false;
  for (const std::wstring& forward : FForward) {
    if (forward.empty()) continue;
    FOut.Add(forward);
    forwards = true;
  }
  if (forwards) FOut.Add(std::wstring());
  for (const std::wstring& line : FOutside) FOut.Add(line.size() >= 4 ? line.substr(4) : line);

  std::vector<std::wstring> items;
  TLIBATTR* attr = nullptr;
  if (SUCCEEDED(FLib->GetLibAttr(&attr)) && attr) {
    items.push_back(L"uuid(" + GuidText(attr->guid) + L")");
    items.push_back(L"version(" + std::to_wstring(attr->wMajorVerNum) + L"." + std::to_wstring(attr->wMinorVerNum) + L")");
    if (attr->lcid) items.push_back(L"lcid(" + Hex(attr->lcid) + L")");
    if (attr->wLibFlags & LIBFLAG_FRESTRICTED) items.push_back(L"restricted");
    if (attr->wLibFlags & LIBFLAG_FCONTROL) items.push_back(L"control");
    if (attr->wLibFlags & LIBFLAG_FHIDDEN) items.push_back(L"hidden");
    FLib->ReleaseTLibAttr(attr);
  }
  if (!doc.empty()) items.push_back(L"helpstring(" + IdlString(doc) + L")");
  if (!helpFile.empty()) items.push_back(L"helpfile(" + IdlString(helpFile) + L")");
  if (context) items.push_back(L"helpcontext(" + Hex(context) + L")");
  if (!FHelpStringDll.empty()) items.push_back(L"helpstringdll(" + IdlString(FHelpStringDll) + L")");
  if (stringContext) items.push_back(L"helpstringcontext(" + Hex(stringContext) + L")");
  if (lib2) {
    TCustDataHolder custom;
    AddCustom(items, lib2->GetAllCustData(custom.put()), custom);
  }
  if (!items.empty()) {
    FOut.Add(L"[");
    for (size_t i = 0; i < items.size(); ++i) FOut.Add(L"    " + items[i] + (i + 1 < items.size() ? L"," : L""));
    FOut.Add(L"]");
  }
  FOut.Add(L"library " + (name.empty() ? std::wstring(L"Library") : IdlIdentifier(name)));
  FOut.Add(L"{");
  // A library that names no OLE Automation type still imports them, as every library does, but for
  // one that declares IUnknown itself: the compiler would take the imported library's types by
  // their names instead of its own.
  if (FStdole.empty() && !ownUnknown) FStdole.push_back(L"stdole2.tlb");
  for (const std::wstring& file : FStdole) FOut.Add(L"    importlib(" + IdlString(file) + L");");
  for (const std::wstring& file : FImports) FOut.Add(L"    importlib(" + IdlString(file) + L");");
  FOut.Add(std::wstring());
  for (const std::wstring& line : FBody) FOut.Add(line);
  FOut.Add(L"};");
}

}  // namespace

std::wstring IdlString(std::wstring_view AText) {
  std::wstring text = L"\"";
  for (wchar_t c : AText) {
    switch (c) {
      case L'"': text += L"\\\""; break;
      case L'\\': text += L"\\\\"; break;
      case L'\n': text += L"\\n"; break;
      case L'\r': text += L"\\r"; break;
      case L'\t': text += L"\\t"; break;
      default:
        if (c < L' ') {
          wchar_t escape[8];
          swprintf(escape, 8, L"\\x%02x", static_cast<unsigned>(c));
          text += escape;
        } else {
          text += c;
        }
        break;
    }
  }
  return text + L"\"";
}

std::wstring IdlIdentifier(std::wstring_view AName) {
  // The words an IDL compiler reads as its own wherever a name may stand, widl's and MIDL's alike;
  // case matters.
  // Sorted, for a binary search: every name of a library passes here.
  static constexpr std::wstring_view kKeywords[] = {
      L"FALSE", L"NULL", L"SAFEARRAY", L"TRUE", L"__cdecl", L"__fastcall", L"__int128", L"__int32", L"__int3264",
      L"__int64", L"__pascal", L"__stdcall", L"_cdecl", L"_fastcall", L"_pascal", L"_stdcall", L"auto", L"boolean",
      L"byte", L"case", L"cdecl", L"char", L"coclass", L"const", L"cpp_quote", L"default", L"dispinterface",
      L"double", L"enum", L"error_status_t", L"extern", L"far", L"float", L"handle_t", L"hyper", L"import",
      L"importlib", L"include", L"inline", L"int", L"interface", L"library", L"long", L"methods", L"midl_pragma",
      L"module", L"near", L"pascal", L"pipe", L"properties", L"register", L"short", L"signed", L"sizeof", L"small",
      L"static", L"stdcall", L"struct", L"switch", L"typedef", L"union", L"unsigned", L"void", L"volatile",
      L"wchar_t",
  };

  static_assert(std::is_sorted(std::begin(kKeywords), std::end(kKeywords)));
  std::wstring name(AName.substr(0, AName.find(L'\0')));
  // Only ASCII letters, digits and underscores make an identifier, and it starts with no digit.
  for (wchar_t& c : name) {
    const bool allowed = (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z') || (c >= L'0' && c <= L'9') || c == L'_';
    if (!allowed) c = L'_';
  }
  if (name.empty() || (name[0] >= L'0' && name[0] <= L'9')) name.insert(0, 1, L'_');
  if (std::binary_search(std::begin(kKeywords), std::end(kKeywords), std::wstring_view(name))) name += L'_';
  return name;
}

void GenerateIdl(const TObjectData& AData, ITypeLib* ALib, TLineList& ALines, std::wstring& ALibName) {
  TIdlWriter writer(ALib, ALines);
  writer.Run(AData, ALibName);
}

}  // namespace vantrel
