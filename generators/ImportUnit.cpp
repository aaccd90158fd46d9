#include "generators/ImportUnit.h"
#include "generators/PlatformTypes.h"

#include <algorithm>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <tuple>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "base/Zarvek_Handles.h"
#include "base/Zarvek_StrUtils.h"
#include "base/Zarvek_SysUtils.h"
#include "typelib/TypeInfoSource.h"

// The unit is written in an order the compiler accepts: constants, enumerations, then one type
// block with forward declarations of every interface, the pointer types the unit uses, records
// and aliases (each after what it holds by value), interfaces (each after its base),
// dispinterfaces and the creator classes. Every name is unique in its scope without regard to
// case, as Pascal compares names.

namespace vantrel {

namespace {

// Deeper type descriptions than this only come from a broken source.
constexpr int kMaxTypeDepth = 32;

constexpr const wchar_t* kReservedWords[] = {
    L"and",          L"array",        L"as",          L"asm",        L"begin",          L"case",
    L"class",        L"const",        L"constructor", L"destructor", L"dispinterface",  L"div",
    L"do",           L"downto",       L"else",        L"end",        L"except",         L"exports",
    L"file",         L"finalization", L"finally",     L"for",        L"function",       L"goto",
    L"if",           L"implementation", L"in",        L"inherited",  L"initialization", L"inline",
    L"interface",    L"is",           L"label",       L"library",    L"mod",            L"nil",
    L"not",          L"object",       L"of",          L"operator",   L"or",             L"out",
    L"packed",       L"procedure",    L"program",     L"property",   L"raise",          L"record",
    L"repeat",       L"resourcestring", L"set",       L"shl",        L"shr",            L"string",
    L"then",         L"threadvar",    L"to",          L"try",        L"type",           L"unit",
    L"until",        L"uses",         L"var",         L"while",      L"with",           L"xor",
    L"generic",      L"specialize",   L"absolute",    L"bitpacked",  L"otherwise",      L"self",
};

// Names a member or parameter cannot take inside a method even escaped.
constexpr const wchar_t* kMemberReserved[] = {L"result", L"self"};

// What IUnknown and IDispatch declare: no interface member may take these names.
constexpr const wchar_t* kDispatchMembers[] = {L"QueryInterface", L"AddRef",         L"Release", L"GetTypeInfoCount",
                                               L"GetTypeInfo",    L"GetIDsOfNames", L"Invoke"};

std::wstring Lower(std::wstring_view AText) {
  std::wstring text(AText);
  for (wchar_t& c : text) c = LowerAscii(c);
  return text;
}

// Hashes and compares names as Pascal compares them (ASCII letters in any case), without copies.
struct TNameHash {
  using is_transparent = void;
  size_t operator()(std::wstring_view AName) const {
    size_t hash = static_cast<size_t>(14695981039346656037ull);
    for (wchar_t c : AName) {
      const wchar_t lower = c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c + (L'a' - L'A')) : c;
      hash = (hash ^ static_cast<size_t>(lower)) * static_cast<size_t>(1099511628211ull);
    }
    return hash;
  }
};
struct TNameEqual {
  using is_transparent = void;
  bool operator()(std::wstring_view A, std::wstring_view B) const { return SameTextAscii(A, B); }
};
using TNameSet = std::unordered_set<std::wstring_view, TNameHash, TNameEqual>;

bool IsReserved(std::wstring_view AName) {
  static const TNameSet words(std::begin(kReservedWords), std::end(kReservedWords));
  constexpr size_t kLongest = 14;  // "initialization"
  return AName.size() <= kLongest && words.count(AName) != 0;
}

// The name with only letters, digits and "_", not starting with a digit, never empty.
std::wstring Sanitized(std::wstring_view AName) {
  std::wstring name;
  name.reserve(AName.size() + 1);
  for (wchar_t c : AName) {
    if (c == L'\0') break;
    const bool letter = (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z') || c == L'_';
    const bool digit = c >= L'0' && c <= L'9';
    name += letter || digit ? c : L'_';
  }
  if (name.empty() || (name[0] >= L'0' && name[0] <= L'9')) name.insert(name.begin(), L'_');
  return name;
}

std::wstring Escaped(std::wstring AName) {
  if (IsReserved(AName)) AName.insert(AName.begin(), L'&');
  return AName;
}

// Names already taken in one scope, compared as Pascal compares them. A method's parameters make
// a scope of a few names, searched in a list; a larger scope moves into a hash set.
// A set of names as Pascal compares them. It keeps its own copies in blocks of text and finds
// them by open addressing: taking a name allocates nothing of its own, which matters where every
// member of every interface is taken.
class TScope {
 public:
  bool Contains(std::wstring_view AName) const { return !FSlots.empty() && !FSlots[SlotOf(Key(AName))].empty(); }
  void Take(std::wstring_view AName) {
    AName = Key(AName);
    if (!Contains(AName)) Add(AName);
  }
  // ABase, or ABase with "_n" after it when taken; the result is taken.
  std::wstring Unique(std::wstring ABase) {
    if (!Contains(ABase)) {
      Add(Key(ABase));
      return ABase;
    }
    std::wstring name;
    for (int n = 1; name.empty() || Contains(name); ++n) name = ABase + L"_" + std::to_wstring(n);
    Add(Key(name));
    return name;
  }

 private:
  // A free slot holds no text at all; a name, even an empty one, points into a block.
  struct TSlot {
    const wchar_t* Text = nullptr;
    size_t Length = 0;
    bool empty() const { return Text == nullptr; }
    std::wstring_view View() const { return {Text, Length}; }
  };
  static std::wstring_view Key(std::wstring_view AName) {
    if (!AName.empty() && AName.front() == L'&') AName.remove_prefix(1);
    return AName;
  }
  // The slot holding AName, else the free slot where it would go.
  size_t SlotOf(std::wstring_view AName) const {
    const size_t mask = FSlots.size() - 1;
    size_t slot = TNameHash()(AName) & mask;
    while (!FSlots[slot].empty() && !SameTextAscii(FSlots[slot].View(), AName)) slot = (slot + 1) & mask;
    return slot;
  }
  // AName is not taken yet.
  void Add(std::wstring_view AName) {
    if (2 * (FCount + 1) > FSlots.size()) Grow();
    FSlots[SlotOf(AName)] = {Store(AName), AName.size()};
    ++FCount;
  }
  void Grow() {
    std::vector<TSlot> old(std::max<size_t>(16, 2 * FSlots.size()));
    old.swap(FSlots);
    for (const TSlot& slot : old) {
      if (!slot.empty()) FSlots[SlotOf(slot.View())] = slot;
    }
  }
  const wchar_t* Store(std::wstring_view AName) {
    const size_t need = AName.size() + 1;
    if (static_cast<size_t>(FBlockEnd - FBlockNext) < need) {
      // Blocks double up to a size that serves most scopes with a few allocations.
      FBlockSize = std::min<size_t>(FBlockSize * 2, 8192);
      const size_t size = std::max(FBlockSize, need);
      FBlocks.emplace_back(new wchar_t[size]);
      FBlockNext = FBlocks.back().get();
      FBlockEnd = FBlockNext + size;
    }
    wchar_t* text = FBlockNext;
    std::copy(AName.begin(), AName.end(), text);
    FBlockNext += need;
    return text;
  }

  std::vector<TSlot> FSlots;
  size_t FCount = 0;
  std::vector<std::unique_ptr<wchar_t[]>> FBlocks;
  size_t FBlockSize = 64;
  wchar_t* FBlockNext = nullptr;
  wchar_t* FBlockEnd = nullptr;
};

std::wstring GuidText(const GUID& AGuid) {
  wchar_t buffer[40] = {};
  StringFromGUID2(AGuid, buffer, 40);
  return buffer;
}

// A Pascal string literal: quotes doubled, control characters as #n outside the quotes.
std::wstring PascalString(std::wstring_view AText) {
  std::wstring result;
  bool open = false;
  for (wchar_t c : AText) {
    if (c < L' ' || c == 0x7F) {
      if (open) result += L'\'';
      open = false;
      result += L'#' + std::to_wstring(static_cast<unsigned>(c));
      continue;
    }
    if (!open) result += L'\'';
    open = true;
    result += c;
    if (c == L'\'') result += L'\'';
  }
  if (open) result += L'\'';
  if (result.empty()) result = L"''";
  return result;
}

// A doc string as one comment line.
std::wstring CommentText(std::wstring_view AText) {
  std::wstring text;
  for (wchar_t c : AText) {
    if (c == L'\0') break;
    text += c < L' ' ? L' ' : c;
  }
  return Trim(text);
}

// Kinds of use a type name is wanted for: some Pascal types may not stand everywhere.
enum class TUse { uField, uUnionField, uParam, uAlias };

struct TTypeText {
  std::wstring Text;
  bool Automatable = true;  // may stand in a dispinterface
  bool Interface = false;   // an interface reference (passed as the pointer it is)
  bool Managed = false;     // finalized by the compiler: not in a variant record
  bool Valid = true;        // a real type; false: a stand-in for what could not be read
};

struct TDecl {
  TComPtr<ITypeInfo> Info;
  TTypeAttrHolder* Attr = nullptr;
  std::unique_ptr<TTypeAttrHolder> AttrOwner;
  // A dual interface: the interface side of the listed dispatch description.
  TComPtr<ITypeInfo> Vtbl;
  std::unique_ptr<TTypeAttrHolder> VtblAttr;
  TYPEKIND Kind = TKIND_MAX;
  std::wstring RawName, Doc;
  std::wstring Name;      // the Pascal name: interface, record, enumeration, alias, coclass
  std::wstring GuidConstant;  // IID_, DIID_ or CLASS_ constant
  std::wstring RenameNote;    // the comment line of a name that had to change
  std::wstring DispName;  // dispinterfaces: pure ones and the dispatch side of duals
  bool Skip = false;      // IUnknown and IDispatch: the system's own are used
  int Slots = -1;         // the vtable slots the unit's declaration of the interface has
  bool Emitted = false;
  bool Visiting = false;
};

const GUID kIUnknown = {0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
const GUID kIDispatch = {0x00020400, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
const GUID kStdoleLibrary = {0x00020430, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

// Types of stdole whose names the Free Pascal and Delphi unit stdole2 declares.
constexpr const wchar_t* kStdoleNames[] = {
    L"OLE_TRISTATE",       L"LoadPictureConstants", L"IEnumVARIANT",      L"IFont",
    L"Font",               L"IPicture",             L"Picture",           L"FontEvents",
    L"EXCEPINFO",          L"OLE_COLOR",            L"OLE_XPOS_PIXELS",   L"OLE_YPOS_PIXELS",
    L"OLE_XSIZE_PIXELS",   L"OLE_YSIZE_PIXELS",     L"OLE_XPOS_HIMETRIC", L"OLE_YPOS_HIMETRIC",
    L"OLE_XSIZE_HIMETRIC", L"OLE_YSIZE_HIMETRIC",   L"OLE_XPOS_CONTAINER", L"OLE_YPOS_CONTAINER",
    L"OLE_XSIZE_CONTAINER", L"OLE_YSIZE_CONTAINER", L"OLE_HANDLE",        L"OLE_OPTEXCLUSIVE",
    L"OLE_CANCELBOOL",     L"OLE_ENABLEDEFAULTBOOL", L"FONTNAME",         L"FONTSIZE",
    L"FONTBOLD",           L"FONTITALIC",           L"FONTUNDERSCORE",    L"FONTSTRIKETHROUGH",
    L"IFontDisp",          L"IPictureDisp",         L"IFontEventsDisp",
};

// One parameter of a method.
struct TParam {
  std::wstring Name;
  std::wstring Modifier;  // "", "const ", "var ", "out "
  TTypeText Type;
  std::wstring Default;
  USHORT Flags = 0;
};

// A method read from a function description.
struct TMethod {
  std::wstring Name;  // the member's name
  MEMBERID Id = 0;
  INVOKEKIND Kind = INVOKE_FUNC;
  std::vector<TParam> Params;
  TTypeText Result;
  bool HasResult = false;
  bool Safecall = false;
  std::wstring Doc;
  CALLCONV CallConv = CC_STDCALL;
  std::wstring Renames;  // parameters whose names were taken: "Self as Self_1"
};

class TImportWriter {
 public:
  TImportWriter(const TObjectData& AData, ITypeLib* ALib, TLineList& AOut, std::vector<GUID> AStandIns = {})
      : FData(AData), FLib(ALib), FOut(AOut), FStandIns(std::move(AStandIns)) {}
  // The libraries whose units the unit uses.
  std::vector<TImportedLibrary> Imports() const {
    std::vector<TImportedLibrary> imports;
    for (const auto& external : FExternalUnits) imports.push_back(external.Imported);
    return imports;
  }
  void Run(std::wstring& AUnitName);

 private:
  friend class TSinkWriter;  // the event sinks, written at the end of the body
  void ReadDecls();
  void NameDecls();
  TDecl* DeclOf(ITypeInfo* AInfo);
  TTypeText TypeName(const TYPEDESC& ADesc, ITypeInfo* AContext, TUse AUse, int ADepth = 0);
  TTypeText UserTypeName(HREFTYPE ARef, ITypeInfo* AContext, TUse AUse, int ADepth);
  TTypeText ResolveUserType(HREFTYPE ARef, ITypeInfo* AContext, TUse AUse, int ADepth);
  // The import unit of the library another description belongs to; empty when not known.
  std::wstring ExternalUnit(ITypeInfo* AInfo);
  TTypeText ExternalTypeName(ITypeInfo* AInfo, TUse AUse, int ADepth);
  std::wstring PointerTo(const TTypeText& ATarget);
  void WriteConstants();
  void WriteEnums();
  void WriteRecord(TDecl& ADecl);
  void WriteValueTypes();
  void WriteValueType(TDecl& ADecl, int ADepth);
  void WriteInterfaces();
  void WriteInterface(TDecl& ADecl, int ADepth);
  void WriteDispinterface(TDecl& ADecl);
  void WriteCoclasses();
  void WriteImplementation();
  std::wstring DefaultInterface(TDecl& ADecl, bool* AIsDisp);
  TMethod ReadMethod(const FUNCDESC& AFunc, ITypeInfo* AInfo);
  // Size and alignment of a type in the library's platform, as a C compiler lays it out; size 0
  // when not known.
  struct TSizeAlign {
    ULONG Size = 0;
    ULONG Align = 1;
  };
  TSizeAlign LayoutOf(const TYPEDESC& ADesc, ITypeInfo* AContext, int ADepth = 0);
  // Whether a record holds fields the compiler finalizes (strings, variants, interfaces).
  bool HoldsManaged(TDecl& ADecl, int ADepth = 0);
  // The vtable slots of an interface as its library describes it (cbSizeVft); -1 when unknown.
  int LibrarySlots(ITypeInfo* AInfo);
  // A method as a line of an interface; empty with AWhyNot set when it cannot be declared.
  std::wstring MethodLine(const TMethod& AMethod, const std::wstring& AName, std::wstring& AWhyNot);
  void InheritedNames(TDecl& ADecl, TScope& AScope, int ADepth);
  void Body(std::wstring_view ALine) { FBody.Add(ALine); }
  void Comment(std::wstring_view AIndent, std::wstring_view AText) {
    TTextBuffer& line = FBody.Open();
    line += AIndent;
    line += L"// ";
    line += AText;
    FBody.Close();
  }

  const TObjectData& FData;
  ITypeLib* FLib;
  TLineList& FOut;
  std::vector<TDecl> FDecls;
  TScope FGlobal;
  std::wstring FLibName;
  std::wstring FUnitName;
  int FPointerSize = 4;  // of the library's platform
  std::wstring FVersionNames[3];  // major, minor, LIBID_
  struct TExternalUnit {
    std::wstring Unit, Library, File;
    TImportedLibrary Imported;
  };
  std::vector<GUID> FStandIns;
  std::vector<TExternalUnit> FExternalUnits;
  bool FUsesStdole = false;
  // Pointer types: name and target, in the order first needed.
  std::vector<std::pair<std::wstring, std::wstring>> FPointers;
  std::map<std::wstring, std::wstring> FPointerByTarget;
  // The type section's lines, held as the output holds them: most of the unit.
  TLineList FBody;
  std::vector<std::wstring> FImplementation;
  TNameList FNames;
  // Resolved user-defined types by the description naming them, its handle, and a union's use.
  std::map<std::tuple<ITypeInfo*, HREFTYPE, bool>, TTypeText> FUserTypes;
  // The member names an interface passes on to those derived from it.
  std::map<const TDecl*, std::vector<std::wstring>> FMemberNames;

 public:
  // The records written, with the library's figures for them.
  struct TFieldLayout {
    std::wstring Name;
    ULONG Offset;
  };
  struct TRecordLayout {
    std::wstring Name;
    ULONG Size;
    std::vector<TFieldLayout> Fields;
  };
  const std::vector<TRecordLayout>& Layouts() const { return FLayouts; }

 private:
  std::vector<TRecordLayout> FLayouts;
};

TDecl* TImportWriter::DeclOf(ITypeInfo* AInfo) {
  TComPtr<ITypeLib> lib;
  UINT index = 0;
  if (FAILED(AInfo->GetContainingTypeLib(lib.put(), &index)) || !lib) return nullptr;
  // Another object for the same library still is this library.
  if (!IsSameLibrary(FLib, lib.get())) return nullptr;
  return index < FDecls.size() && FDecls[index].Attr ? &FDecls[index] : nullptr;
}

void TImportWriter::ReadDecls() {
  const UINT count = FLib->GetTypeInfoCount();
  FDecls.resize(count);
  for (UINT i = 0; i < count; ++i) {
    TDecl& decl = FDecls[i];
    if (FAILED(ReadTypeInfo(FLib, i, decl.Info))) continue;
    decl.AttrOwner = std::make_unique<TTypeAttrHolder>(decl.Info.get());
    if (FAILED(decl.AttrOwner->Fetch())) {
      decl.AttrOwner.reset();
      continue;
    }
    decl.Attr = decl.AttrOwner.get();
    decl.Kind = (*decl.Attr)->typekind;
    TBstr name, doc;
    ReadTypeDocumentation(decl.Info.get(), MEMBERID_NIL, &name, &doc);
    decl.RawName = std::wstring(CutAtNul(name.get()));
    decl.Doc = CommentText(CutAtNul(doc.get()));
    const GUID& guid = (*decl.Attr)->guid;
    if ((decl.Kind == TKIND_INTERFACE || decl.Kind == TKIND_DISPATCH) &&
        (IsEqualGUID(guid, kIUnknown) || IsEqualGUID(guid, kIDispatch))) {
      decl.Skip = true;
    }
    // A dual interface is listed as its dispatch side; its interface side holds the methods.
    if (decl.Kind == TKIND_DISPATCH && ((*decl.Attr)->wTypeFlags & TYPEFLAG_FDUAL)) {
      HREFTYPE ref = 0;
      TComPtr<ITypeInfo> vtbl;
      if (SUCCEEDED(decl.Info->GetRefTypeOfImplType(static_cast<UINT>(-1), &ref)) &&
          SUCCEEDED(ReadRefTypeInfo(decl.Info.get(), ref, vtbl))) {
        auto attr = std::make_unique<TTypeAttrHolder>(vtbl.get());
        if (SUCCEEDED(attr->Fetch()) && (*attr)->typekind == TKIND_INTERFACE) {
          decl.Vtbl = std::move(vtbl);
          decl.VtblAttr = std::move(attr);
        }
      }
    }
  }
}

void TImportWriter::NameDecls() {
  // Names the unit itself declares, and those of the system the unit must not hide.
  for (const wchar_t* taken : {L"IUnknown", L"IDispatch", L"TGUID", L"OleVariant", L"WideString", L"Integer"}) {
    FGlobal.Take(taken);
  }
  for (TDecl& decl : FDecls) {
    if (!decl.Attr || decl.Skip) continue;
    const std::wstring base = Sanitized(decl.RawName);
    std::wstring unique;
    switch (decl.Kind) {
      case TKIND_DISPATCH:
        unique = FGlobal.Unique(base);
        if (decl.Vtbl) {
          decl.Name = Escaped(unique);
          decl.DispName = FGlobal.Unique(base + L"Disp");
        } else {
          decl.DispName = Escaped(unique);
        }
        break;
      case TKIND_MODULE:
        unique = base;
        break;
      default:
        unique = FGlobal.Unique(base);
        decl.Name = Escaped(unique);
        break;
    }
    if (unique != base) decl.RenameNote = L"  // " + base + L" is named " + unique + L": the name is taken";
  }
  FVersionNames[0] = FGlobal.Unique(FLibName + L"MajorVersion");
  FVersionNames[1] = FGlobal.Unique(FLibName + L"MinorVersion");
  FVersionNames[2] = FGlobal.Unique(L"LIBID_" + FLibName);
  for (TDecl& decl : FDecls) {
    if (!decl.Attr || decl.Skip) continue;
    std::wstring bare = decl.Name.empty() ? decl.DispName : decl.Name;
    bare.erase(std::remove(bare.begin(), bare.end(), L'&'), bare.end());
    switch (decl.Kind) {
      case TKIND_INTERFACE: decl.GuidConstant = FGlobal.Unique(L"IID_" + bare); break;
      case TKIND_DISPATCH: decl.GuidConstant = FGlobal.Unique((decl.Vtbl ? L"IID_" : L"DIID_") + bare); break;
      case TKIND_COCLASS: decl.GuidConstant = FGlobal.Unique(L"CLASS_" + bare); break;
      default: break;
    }
  }
}

std::wstring TImportWriter::PointerTo(const TTypeText& ATarget) {
  auto known = FPointerByTarget.find(Lower(ATarget.Text));
  if (known != FPointerByTarget.end()) return known->second;
  std::wstring base = ATarget.Text;
  base.erase(std::remove(base.begin(), base.end(), L'&'), base.end());
  // A name of its own, whatever the target's text ("array[0..7] of Byte", "stdole2.IFont").
  const std::wstring name = FGlobal.Unique(L"P" + Sanitized(base));
  FPointers.emplace_back(name, ATarget.Text);
  FPointerByTarget.emplace(Lower(ATarget.Text), name);
  return name;
}

TTypeText TImportWriter::ExternalTypeName(ITypeInfo* AInfo, TUse AUse, int ADepth) {
  TTypeAttrHolder attr(AInfo);
  TBstr name;
  ReadTypeDocumentation(AInfo, MEMBERID_NIL, &name, nullptr);
  const std::wstring raw(CutAtNul(name.get()));
  if (FAILED(attr.Fetch())) return {L"Pointer", false, false, false, false};
  const GUID& guid = attr->guid;
  if (IsEqualGUID(guid, kIUnknown)) return {L"IUnknown", true, true, true};
  if (IsEqualGUID(guid, kIDispatch)) return {L"IDispatch", true, true, true};
  if (raw == L"GUID") return {L"TGUID", false};
  if (raw == L"DISPPARAMS") return {L"TDispParams", false};
  const bool union_ = AUse == TUse::uUnionField;
  // Another library that says which it is: its own import unit declares the type.
  if (const std::wstring unit = ExternalUnit(AInfo); !unit.empty()) {
    TTypeText text{unit + L"." + PascalIdentifier(raw)};
    switch (attr->typekind) {
      case TKIND_INTERFACE:
      case TKIND_DISPATCH:
      case TKIND_COCLASS:
        if (union_) return {L"Pointer", false};
        text.Interface = text.Managed = true;
        return text;
      case TKIND_ENUM: return text;
      case TKIND_ALIAS: {
        const TTypeText aliased = TypeName(attr->tdescAlias, AInfo, AUse, ADepth + 1);
        if (union_ && aliased.Managed) return aliased;
        text.Automatable = aliased.Automatable;
        text.Managed = aliased.Managed;
        text.Interface = aliased.Interface;
        return text;
      }
      default:
        if (!union_) {
          text.Automatable = false;
          text.Managed = true;
          return text;
        }
        break;
    }
  }
  for (const wchar_t* known : kStdoleNames) {
    if (raw != known) continue;
    FUsesStdole = true;
    TTypeText text{L"stdole2." + raw};
    text.Interface = attr->typekind == TKIND_INTERFACE || attr->typekind == TKIND_DISPATCH;
    text.Managed = text.Interface;
    if (attr->typekind == TKIND_ALIAS) {
      const TTypeText aliased = TypeName(attr->tdescAlias, AInfo, AUse, ADepth + 1);
      text.Automatable = aliased.Automatable;
      text.Managed = aliased.Managed;
      if (union_ && aliased.Managed) return aliased;
    }
    if (union_ && text.Managed) return {L"Pointer", false};
    return text;
  }
  // A library this unit does not know: what it declares stands in, by its layout.
  switch (attr->typekind) {
    case TKIND_ENUM: return {L"TOleEnum"};
    case TKIND_INTERFACE: return union_ ? TTypeText{L"Pointer", false} : TTypeText{L"IUnknown", true, true, true};
    case TKIND_DISPATCH:
    case TKIND_COCLASS: return union_ ? TTypeText{L"Pointer", false} : TTypeText{L"IDispatch", true, true, true};
    case TKIND_ALIAS: return TypeName(attr->tdescAlias, AInfo, AUse, ADepth + 1);
    default: {
      const ULONG size = std::max<ULONG>(attr->cbSizeInstance, 1);
      return {L"array[0.." + std::to_wstring(size - 1) + L"] of Byte", false};
    }
  }
}

std::wstring TImportWriter::ExternalUnit(ITypeInfo* AInfo) {
  TComPtr<ITypeLib> lib;
  UINT index = 0;
  if (FAILED(AInfo->GetContainingTypeLib(lib.put(), &index)) || !lib) return std::wstring();
  TLIBATTR* attr = nullptr;
  if (FAILED(lib->GetLibAttr(&attr)) || !attr) return std::wstring();
  const TLIBATTR library = *attr;
  lib->ReleaseTLibAttr(attr);
  // stdole's types come from the compiler's own unit, by their names.
  if (IsEqualGUID(library.guid, kStdoleLibrary)) return std::wstring();
  for (const GUID& standIn : FStandIns) {
    if (IsEqualGUID(library.guid, standIn)) return std::wstring();
  }
  std::wstring name;
  ReadLibDocumentation(lib.get(), -1, &name, nullptr, nullptr);
  const std::wstring unit = ImportUnitName(name);
  if (SameTextAscii(unit, FUnitName)) return std::wstring();
  for (const TExternalUnit& known : FExternalUnits) {
    if (SameTextAscii(known.Unit, unit)) return known.Unit;
  }
  TExternalUnit external;
  external.Unit = unit;
  external.Library = CommentText(TruncateAtNul(name)) + L" " + std::to_wstring(library.wMajorVerNum) + L"." +
                     std::to_wstring(library.wMinorVerNum);
  BSTR path = nullptr;
  if (SUCCEEDED(QueryPathOfRegTypeLib(library.guid, library.wMajorVerNum, library.wMinorVerNum, library.lcid, &path)) &&
      path) {
    external.File = CommentText(CutAtNul(path));
    SysFreeString(path);
  }
  external.Imported = {library.guid, library.wMajorVerNum, library.wMinorVerNum, library.lcid, unit};
  FExternalUnits.push_back(external);
  return unit;
}

TTypeText TImportWriter::UserTypeName(HREFTYPE ARef, ITypeInfo* AContext, TUse AUse, int ADepth) {
  // A description names the same few types again and again; resolving one is a search.
  const auto key = std::make_tuple(AContext, ARef, AUse == TUse::uUnionField);
  auto known = FUserTypes.find(key);
  if (known != FUserTypes.end()) return known->second;
  TTypeText text = ResolveUserType(ARef, AContext, AUse, ADepth);
  FUserTypes.emplace(key, text);
  return text;
}

TTypeText TImportWriter::ResolveUserType(HREFTYPE ARef, ITypeInfo* AContext, TUse AUse, int ADepth) {
  TComPtr<ITypeInfo> referred;
  if (FAILED(ReadRefTypeInfo(AContext, ARef, referred))) return {L"Pointer", false, false, false, false};
  TDecl* decl = DeclOf(referred.get());
  if (!decl) return ExternalTypeName(referred.get(), AUse, ADepth);
  const bool union_ = AUse == TUse::uUnionField;
  if (decl->Skip) {
    if (union_) return {L"Pointer", false};
    return IsEqualGUID((*decl->Attr)->guid, kIUnknown) ? TTypeText{L"IUnknown", true, true, true}
                                                       : TTypeText{L"IDispatch", true, true, true};
  }
  switch (decl->Kind) {
    case TKIND_ENUM: return {decl->Name};
    case TKIND_INTERFACE:
      if (union_) return {L"Pointer", false};
      return {decl->Name, true, true, true};
    case TKIND_DISPATCH:
      if (union_) return {L"Pointer", false};
      return {decl->Vtbl ? decl->Name : decl->DispName, true, true, true};
    case TKIND_COCLASS: {
      if (union_) return {L"Pointer", false};
      bool disp = false;
      const std::wstring name = DefaultInterface(*decl, &disp);
      return {name, true, true, true};
    }
    case TKIND_ALIAS: {
      const TTypeText aliased = TypeName((*decl->Attr)->tdescAlias, decl->Info.get(), AUse, ADepth + 1);
      if (union_ && aliased.Managed) return aliased;
      TTypeText text = aliased;
      text.Text = decl->Name;
      return text;
    }
    case TKIND_RECORD:
    case TKIND_UNION: {
      const bool managed = HoldsManaged(*decl, ADepth + 1);
      if (union_ && managed) {
        // A variant part holds no managed fields: the record stands in as units of its alignment,
        // which keep its size and the place it takes.
        const ULONG size = std::max<ULONG>((*decl->Attr)->cbSizeInstance, 1);
        const ULONG align = (*decl->Attr)->cbAlignment;
        static const std::pair<ULONG, const wchar_t*> kUnits[] = {{8, L"Int64"}, {4, L"Integer"}, {2, L"Word"}, {1, L"Byte"}};
        for (const auto& [unitSize, unit] : kUnits) {
          if (align >= unitSize && size % unitSize == 0) {
            return {L"array[0.." + std::to_wstring(size / unitSize - 1) + L"] of " + unit, false};
          }
        }
      }
      TTypeText text{decl->Name, false};
      text.Managed = managed;
      return text;
    }
    default:
      return {L"Pointer", false};
  }
}

TTypeText TImportWriter::TypeName(const TYPEDESC& ADesc, ITypeInfo* AContext, TUse AUse, int ADepth) {
  if (ADepth > kMaxTypeDepth) return {L"Pointer", false, false, false, false};
  const bool union_ = AUse == TUse::uUnionField;
  if (const TPlatformType* basic = FindPlatformType(ADesc.vt)) {
    if (union_ && basic->Managed) return {std::wstring(basic->PascalInUnion), false};
    return {std::wstring(basic->Pascal), basic->Automatable, basic->Interface, basic->Managed};
  }
  switch (ADesc.vt) {
    case VT_SAFEARRAY: return {L"PSafeArray", false};
    case VT_PTR: {
      if (!ADesc.lptdesc) return {L"Pointer", false, false, false, false};
      const TYPEDESC& target = *ADesc.lptdesc;
      if (target.vt == VT_VOID) return {L"Pointer", false};
      // A C array's pointer is a pointer to its first element.
      const TYPEDESC& pointee = target.vt == VT_CARRAY && target.lpadesc ? target.lpadesc->tdescElem : target;
      const TTypeText inner = TypeName(pointee, AContext, TUse::uField, ADepth + 1);
      // A pointer to an interface is the interface reference itself; a pointer to a reference
      // (IUnknown*, or IFoo* behind a second pointer) is a pointer to the reference.
      if (inner.Interface && pointee.vt == VT_USERDEFINED) {
        if (union_) return {L"Pointer", false};
        return inner;
      }
      return {PointerTo(inner), false, false, false, inner.Valid};
    }
    case VT_CARRAY: {
      const ARRAYDESC* array = ADesc.lpadesc;
      if (!array) return {L"Pointer", false, false, false, false};
      const TTypeText element = TypeName(array->tdescElem, AContext, AUse, ADepth + 1);
      if (AUse != TUse::uField && AUse != TUse::uUnionField && AUse != TUse::uAlias) {
        // Arrays travel as a pointer to their first element.
        return {PointerTo(element), false, false, false, element.Valid};
      }
      std::wstring text = L"array[";
      for (USHORT i = 0; i < array->cDims; ++i) {
        if (i) text += L", ";
        // Counted from 0 as C counts: the platform's lower bounds are not always set.
        const ULONG count = std::max<ULONG>(array->rgbounds[i].cElements, 1);
        text += L"0.." + std::to_wstring(count - 1);
      }
      if (array->cDims == 0) text += L"0..0";
      text += L"] of " + element.Text;
      return {text, false, false, element.Managed, element.Valid};
    }
    case VT_USERDEFINED: return UserTypeName(ADesc.hreftype, AContext, AUse, ADepth + 1);
    default: return {L"Pointer", false, false, false, false};
  }
}

std::wstring TImportWriter::DefaultInterface(TDecl& ADecl, bool* AIsDisp) {
  *AIsDisp = false;
  const TYPEATTR& attr = *ADecl.Attr->get();
  int chosen = -1;
  for (UINT i = 0; i < attr.cImplTypes; ++i) {
    INT flags = 0;
    if (FAILED(ADecl.Info->GetImplTypeFlags(i, &flags))) continue;
    if (flags & IMPLTYPEFLAG_FSOURCE) continue;
    if (chosen < 0 || (flags & IMPLTYPEFLAG_FDEFAULT)) chosen = static_cast<int>(i);
    if (flags & IMPLTYPEFLAG_FDEFAULT) break;
  }
  if (chosen < 0) return L"IUnknown";
  HREFTYPE ref = 0;
  TComPtr<ITypeInfo> implemented;
  if (FAILED(ADecl.Info->GetRefTypeOfImplType(static_cast<UINT>(chosen), &ref)) ||
      FAILED(ReadRefTypeInfo(ADecl.Info.get(), ref, implemented))) {
    return L"IUnknown";
  }
  TDecl* decl = DeclOf(implemented.get());
  if (!decl) {
    const TTypeText text = ExternalTypeName(implemented.get(), TUse::uParam, 0);
    return text.Interface ? text.Text : L"IUnknown";
  }
  if (decl->Skip) return IsEqualGUID((*decl->Attr)->guid, kIUnknown) ? L"IUnknown" : L"IDispatch";
  if (decl->Kind == TKIND_DISPATCH && !decl->Vtbl) {
    *AIsDisp = true;
    return decl->DispName;
  }
  if (decl->Kind == TKIND_INTERFACE || decl->Kind == TKIND_DISPATCH) return decl->Name;
  return L"IUnknown";
}

void TImportWriter::WriteConstants() {
  TLIBATTR* libAttr = nullptr;
  GUID libid = GUID_NULL;
  WORD major = 0, minor = 0;
  if (SUCCEEDED(FLib->GetLibAttr(&libAttr)) && libAttr) {
    libid = libAttr->guid;
    major = libAttr->wMajorVerNum;
    minor = libAttr->wMinorVerNum;
    FLib->ReleaseTLibAttr(libAttr);
  }
  FOut.Add(L"const");
  FOut.Add(L"  // The library's version, as it says of itself.");
  FOut.Add(L"  " + FVersionNames[0] + L" = " + std::to_wstring(major) + L";");
  FOut.Add(L"  " + FVersionNames[1] + L" = " + std::to_wstring(minor) + L";");
  FOut.Add(std::wstring());
  FOut.Add(L"  " + FVersionNames[2] + L": TGUID = '" + GuidText(libid) + L"';");
  FOut.Add(std::wstring());
  for (TDecl& decl : FDecls) {
    if (!decl.GuidConstant.empty()) {
      FOut.Add(L"  " + decl.GuidConstant + L": TGUID = '" + GuidText((*decl.Attr)->guid) + L"';");
    }
  }
  FOut.Add(std::wstring());
}

// A constant's value as Pascal writes it; empty when it has none.
std::wstring ConstantText(const VARIANT* AValue) {
  if (!AValue) return std::wstring();
  switch (V_VT(AValue)) {
    case VT_I1: return std::to_wstring(V_I1(AValue));
    case VT_UI1: return std::to_wstring(V_UI1(AValue));
    case VT_I2: return std::to_wstring(V_I2(AValue));
    case VT_UI2: return std::to_wstring(V_UI2(AValue));
    case VT_I4:
    case VT_INT: return std::to_wstring(V_I4(AValue));
    case VT_UI4:
    case VT_UINT: return std::to_wstring(V_UI4(AValue));
    case VT_I8: return std::to_wstring(V_I8(AValue));
    case VT_UI8: return std::to_wstring(V_UI8(AValue));
    case VT_BOOL: return V_BOOL(AValue) ? L"True" : L"False";
    case VT_BSTR: return PascalString(WholeText(V_BSTR(AValue)));
    case VT_R4:
    case VT_R8: {
      const double value = V_VT(AValue) == VT_R4 ? V_R4(AValue) : V_R8(AValue);
      if (value != value || value - value != 0) return std::wstring();  // NaN and infinities
      wchar_t text[64];
      swprintf(text, 64, L"%.17g", value);
      std::wstring result = text;
      if (result.find_first_of(L".eE") == std::wstring::npos) result += L".0";
      return result;
    }
    default: return std::wstring();
  }
}

void TImportWriter::WriteEnums() {
  bool any = false;
  for (TDecl& decl : FDecls) {
    if (!decl.Attr || decl.Kind != TKIND_ENUM) continue;
    if (!any) FOut.Add(L"type");
    any = true;
    if (!decl.Doc.empty()) FOut.Add(L"  // " + decl.Doc);
    if (!decl.RenameNote.empty()) FOut.Add(decl.RenameNote);
    FOut.Add(L"  " + decl.Name + L" = TOleEnum;");
  }
  if (any) FOut.Add(std::wstring());
  // Members of enumerations and constants of modules are constants of the unit.
  bool opened = false;
  for (TDecl& decl : FDecls) {
    if (!decl.Attr || (decl.Kind != TKIND_ENUM && decl.Kind != TKIND_MODULE)) continue;
    for (UINT i = 0; i < (*decl.Attr)->cVars; ++i) {
      TVarDescHolder var(decl.Info.get());
      if (FAILED(var.Fetch(i)) || var->varkind != VAR_CONST) continue;
      TBstr name, doc;
      if (FAILED(ReadTypeDocumentation(decl.Info.get(), var->memid, &name, &doc))) continue;
      std::wstring value = ConstantText(var->lpvarValue);
      if (value.empty()) continue;
      if (!opened) FOut.Add(L"const");
      opened = true;
      const std::wstring base = Sanitized(CutAtNul(name.get()));
      const std::wstring unique = FGlobal.Unique(base);
      std::wstring line = L"  " + Escaped(unique) + L" = " + value + L";";
      if (unique != base) line += L" // " + base + L" is taken";
      const std::wstring comment = CommentText(CutAtNul(doc.get()));
      if (!comment.empty()) FOut.Add(L"  // " + comment);
      FOut.Add(line);
    }
  }
  if (opened) FOut.Add(std::wstring());
}

bool TImportWriter::HoldsManaged(TDecl& ADecl, int ADepth) {
  if (ADepth > kMaxTypeDepth) return true;
  const TYPEATTR& attr = *ADecl.Attr->get();
  for (UINT i = 0; i < attr.cVars; ++i) {
    TVarDescHolder var(ADecl.Info.get());
    if (FAILED(var.Fetch(i))) continue;
    if (TypeName(var->elemdescVar.tdesc, ADecl.Info.get(), TUse::uField, ADepth + 1).Managed) return true;
  }
  return false;
}

TImportWriter::TSizeAlign TImportWriter::LayoutOf(const TYPEDESC& ADesc, ITypeInfo* AContext, int ADepth) {
  const ULONG pointer = static_cast<ULONG>(FPointerSize);
  if (ADepth > kMaxTypeDepth) return {};
  if (const TPlatformType* basic = FindPlatformType(ADesc.vt)) return {basic->SizeOn(pointer), basic->AlignOn(pointer)};
  switch (ADesc.vt) {
    case VT_PTR: case VT_SAFEARRAY: return {pointer, pointer};
    case VT_CARRAY: {
      if (!ADesc.lpadesc) return {};
      const TSizeAlign element = LayoutOf(ADesc.lpadesc->tdescElem, AContext, ADepth + 1);
      ULONG count = 1;
      for (USHORT i = 0; i < ADesc.lpadesc->cDims; ++i) count *= std::max<ULONG>(ADesc.lpadesc->rgbounds[i].cElements, 1);
      return {element.Size * count, element.Align};
    }
    case VT_USERDEFINED: {
      TComPtr<ITypeInfo> referred;
      if (FAILED(ReadRefTypeInfo(AContext, ADesc.hreftype, referred))) return {};
      TTypeAttrHolder attr(referred.get());
      if (FAILED(attr.Fetch())) return {};
      switch (attr->typekind) {
        case TKIND_ENUM: return {4, 4};
        case TKIND_ALIAS: return LayoutOf(attr->tdescAlias, referred.get(), ADepth + 1);
        case TKIND_RECORD:
        case TKIND_UNION: return {attr->cbSizeInstance, std::max<ULONG>(attr->cbAlignment, 1)};
        default: return {pointer, pointer};  // an interface stands for a reference
      }
    }
    default: return {};
  }
}

void TImportWriter::WriteRecord(TDecl& ADecl) {
  const TYPEATTR& attr = *ADecl.Attr->get();
  const bool union_ = ADecl.Kind == TKIND_UNION;
  const ULONG alignment = attr.cbAlignment == 1 || attr.cbAlignment == 2 || attr.cbAlignment == 4 ||
                                  attr.cbAlignment == 8 || attr.cbAlignment == 16
                              ? attr.cbAlignment
                              : 4;
  // The fields that can be read, in the library's order, with their place in it.
  struct TField {
    std::wstring Declaration;  // "Name: Type"
    std::wstring Note;         // its comments
    std::wstring Name;
    ULONG Offset;
    TSizeAlign Layout;
  };
  std::vector<TField> read;
  TScope fields;
  for (UINT i = 0; i < attr.cVars; ++i) {
    TVarDescHolder var(ADecl.Info.get());
    if (FAILED(var.Fetch(i))) continue;
    TBstr name;
    if (FAILED(ReadTypeDocumentation(ADecl.Info.get(), var->memid, &name, nullptr))) continue;
    const TTypeText type =
        TypeName(var->elemdescVar.tdesc, ADecl.Info.get(), union_ ? TUse::uUnionField : TUse::uField);
    const std::wstring base = Sanitized(CutAtNul(name.get()));
    const std::wstring field = Escaped(fields.Unique(base));
    std::wstring note;
    if (!SameTextAscii(field, base) && field != L"&" + base) note += L" // " + base + L" is taken";
    if (!type.Valid) note += L" // stands in for a type the library does not hold";
    read.push_back({field + L": " + type.Text, note, field, var->oInst, LayoutOf(var->elemdescVar.tdesc, ADecl.Info.get())});
  }
  auto roundUp = [](ULONG AValue, ULONG AAlign) { return AAlign ? (AValue + AAlign - 1) / AAlign * AAlign : AValue; };
  // Where the compiler puts the fields under the record's alignment, as a C compiler does.
  bool natural = !read.empty();
  ULONG end = 0, widest = 1, largest = 0;
  for (const TField& field : read) {
    if (field.Layout.Size == 0) natural = false;
    const ULONG align = std::min(field.Layout.Align, alignment);
    widest = std::max(widest, align);
    if (union_) {
      natural = natural && field.Offset == 0;
      largest = std::max(largest, field.Layout.Size);
      continue;
    }
    end = roundUp(end, align);
    natural = natural && field.Offset == end;
    end += field.Layout.Size;
  }
  const ULONG size = roundUp(union_ ? largest : end, widest);
  natural = natural && size == attr.cbSizeInstance;
  // A library that gives no layout (no size, every offset 0) leaves it to the compiler.
  const bool noLayout = attr.cbSizeInstance == 0 &&
                        std::all_of(read.begin(), read.end(), [](const TField& A) { return A.Offset == 0; });
  if (noLayout) natural = true;

  if (!ADecl.Doc.empty()) Body(L"  // " + ADecl.Doc);
  if (!ADecl.RenameNote.empty()) Body(ADecl.RenameNote);
  TRecordLayout layout{ADecl.Name, attr.cbSizeInstance, {}};
  auto declaration = [](const TField& AField) { return AField.Declaration; };
  auto comments = [](const TField& AField) { return AField.Note; };
  auto bytes = [](const std::wstring& AName, ULONG ACount) {
    return AName + L": array[0.." + std::to_wstring(std::max<ULONG>(ACount, 1) - 1) + L"] of Byte";
  };
  if (read.empty()) {
    // A record with no field that could be read keeps its size.
    Body(L"  {$ALIGN " + std::to_wstring(alignment) + L"}");
    Body(L"  " + ADecl.Name + L" = record");
    if (union_) Body(L"    case Integer of");
    Body(union_ ? L"      0: (" + bytes(L"Data", attr.cbSizeInstance) + L");" : L"    " + bytes(L"Data", attr.cbSizeInstance) + L";");
  } else if (natural) {
    Body(L"  {$ALIGN " + std::to_wstring(alignment) + L"}");
    Body(L"  " + ADecl.Name + L" = record");
    if (union_) Body(L"    case Integer of");
    int index = 0;
    for (const TField& field : read) {
      Body(union_ ? L"      " + std::to_wstring(index++) + L": (" + declaration(field) + L");" + comments(field)
                  : L"    " + declaration(field) + L";" + comments(field));
      layout.Fields.push_back({field.Name, field.Offset});
    }
  } else {
    // The compiler would not put the fields where the library has them: they are placed by hand,
    // packed, with filler bytes between them, so that every field and the size match.
    Body(L"  {$ALIGN 1}");
    Body(L"  " + ADecl.Name + L" = record");
    std::vector<std::wstring> lines;
    bool placed = !read.empty();
    if (union_) {
      lines.push_back(L"    case Integer of");
      int index = 0;
      for (const TField& field : read) {
        if (field.Layout.Size == 0 || field.Offset != 0 || field.Layout.Size > attr.cbSizeInstance) {
          placed = false;
          break;
        }
        lines.push_back(L"      " + std::to_wstring(index++) + L": (" + declaration(field) + L");" + comments(field));
        layout.Fields.push_back({field.Name, 0});
      }
      if (placed) lines.push_back(L"      " + std::to_wstring(index) + L": (" + bytes(L"Size_", attr.cbSizeInstance) + L");");
    } else {
      ULONG cursor = 0;
      for (const TField& field : read) {
        // A field where the record ends: a conformant array that follows the record's data.
        if (field.Offset == attr.cbSizeInstance && &field == &read.back()) {
          lines.push_back(L"    // " + declaration(field) + L": follows the record's " + std::to_wstring(attr.cbSizeInstance) +
                          L" bytes (an array whose length the data gives)");
          break;
        }
        if (field.Layout.Size == 0 || field.Offset < cursor || field.Offset + field.Layout.Size > attr.cbSizeInstance) {
          placed = false;
          break;
        }
        if (field.Offset > cursor) lines.push_back(L"    " + bytes(L"Filler" + std::to_wstring(cursor), field.Offset - cursor) + L";");
        lines.push_back(L"    " + declaration(field) + L";" + comments(field));
        layout.Fields.push_back({field.Name, field.Offset});
        cursor = field.Offset + field.Layout.Size;
      }
      if (placed && cursor < attr.cbSizeInstance) {
        lines.push_back(L"    " + bytes(L"Filler" + std::to_wstring(cursor), attr.cbSizeInstance - cursor) + L";");
      }
    }
    if (placed) {
      Body(L"    // Laid out as the library lays it out: the compiler would place its fields elsewhere.");
      for (const std::wstring& line : lines) Body(line);
    } else {
      // Nothing else matches the library: the record keeps its size, its fields are not declared.
      Body(L"    // Its fields cannot be laid out as the library lays them out: it keeps its size only.");
      if (union_) Body(L"    case Integer of");
      Body(union_ ? L"      0: (" + bytes(L"Data", attr.cbSizeInstance) + L");" : L"    " + bytes(L"Data", attr.cbSizeInstance) + L";");
      layout.Fields.clear();
    }
  }
  Body(L"  end;");
  Body(L"  {$ALIGN 8}");
  Body(std::wstring());
  if (!read.empty()) FLayouts.push_back(std::move(layout));
}

// A type of the compilers' units named with its unit ("System.Byte"), for a declaration of the
// same name; empty for a type of this unit.
std::wstring QualifiedTypeName(const std::wstring& AType) {
  static const std::pair<const wchar_t*, const wchar_t*> kUnits[] = {
      {L"Byte", L"System"},       {L"Word", L"System"},      {L"SmallInt", L"System"},   {L"Integer", L"System"},
      {L"LongWord", L"System"},   {L"ShortInt", L"System"},  {L"Int64", L"System"},      {L"UInt64", L"System"},
      {L"Single", L"System"},     {L"Double", L"System"},    {L"Currency", L"System"},   {L"WordBool", L"System"},
      {L"WideString", L"System"}, {L"OleVariant", L"System"}, {L"Pointer", L"System"},   {L"TDateTime", L"System"},
      {L"PWideChar", L"System"},  {L"PAnsiChar", L"System"}, {L"NativeInt", L"System"},  {L"NativeUInt", L"System"},
      {L"HResult", L"System"},    {L"TGUID", L"System"},     {L"TVarData", L"System"},   {L"IUnknown", L"System"},
      {L"IDispatch", L"System"},  {L"TFileTime", L"Windows"}, {L"PSafeArray", L"ActiveX"}, {L"TDecimal", L"ActiveX"},
  };
  for (const auto& [name, unit] : kUnits) {
    if (SameTextAscii(AType, name)) return std::wstring(unit) + L"." + name;
  }
  return std::wstring();
}

// The declarations a record, union or alias holds by value, which must come before it.
void CollectValueDependencies(const TYPEDESC& ADesc, ITypeInfo* AContext, std::vector<ITypeInfo*>& AOut,
                              std::vector<TComPtr<ITypeInfo>>& AKeep, int ADepth) {
  if (ADepth > kMaxTypeDepth) return;
  if (ADesc.vt == VT_CARRAY && ADesc.lpadesc) {
    CollectValueDependencies(ADesc.lpadesc->tdescElem, AContext, AOut, AKeep, ADepth + 1);
  } else if (ADesc.vt == VT_USERDEFINED) {
    TComPtr<ITypeInfo> referred;
    if (SUCCEEDED(ReadRefTypeInfo(AContext, ADesc.hreftype, referred))) {
      AOut.push_back(referred.get());
      AKeep.push_back(std::move(referred));
    }
  }
}

void TImportWriter::WriteValueType(TDecl& ADecl, int ADepth) {
  if (ADecl.Emitted || ADecl.Visiting || ADepth > kMaxTypeDepth) return;
  ADecl.Visiting = true;
  std::vector<ITypeInfo*> dependencies;
  std::vector<TComPtr<ITypeInfo>> keep;
  const TYPEATTR& attr = *ADecl.Attr->get();
  if (ADecl.Kind == TKIND_ALIAS) {
    CollectValueDependencies(attr.tdescAlias, ADecl.Info.get(), dependencies, keep, 0);
  } else {
    for (UINT i = 0; i < attr.cVars; ++i) {
      TVarDescHolder var(ADecl.Info.get());
      if (SUCCEEDED(var.Fetch(i))) {
        CollectValueDependencies(var->elemdescVar.tdesc, ADecl.Info.get(), dependencies, keep, 0);
      }
    }
  }
  for (ITypeInfo* dependency : dependencies) {
    TDecl* decl = DeclOf(dependency);
    if (decl && (decl->Kind == TKIND_RECORD || decl->Kind == TKIND_UNION || decl->Kind == TKIND_ALIAS)) {
      WriteValueType(*decl, ADepth + 1);
    }
  }
  ADecl.Visiting = false;
  ADecl.Emitted = true;
  if (ADecl.Kind == TKIND_ALIAS) {
    const TTypeText type = TypeName(attr.tdescAlias, ADecl.Info.get(), TUse::uAlias);
    if (!ADecl.Doc.empty()) Body(L"  // " + ADecl.Doc);
    if (!ADecl.RenameNote.empty()) Body(ADecl.RenameNote);
    // An alias named like its target (BYTE = Byte: Pascal ignores case) names the target by its
    // unit; only a broken library has an alias of itself, which stands in as a pointer.
    std::wstring target = type.Text;
    std::wstring note = type.Valid ? std::wstring() : L" // stands in for a type the library does not hold";
    if (SameTextAscii(type.Text, ADecl.Name)) {
      target = QualifiedTypeName(type.Text);
      if (target.empty()) {
        target = L"Pointer";
        note = L" // stands in for a type the library does not hold";
      }
    }
    Body(L"  " + ADecl.Name + L" = " + target + L";" + note);
    return;
  }
  WriteRecord(ADecl);
}

void TImportWriter::WriteValueTypes() {
  for (TDecl& decl : FDecls) {
    if (decl.Attr && (decl.Kind == TKIND_RECORD || decl.Kind == TKIND_UNION || decl.Kind == TKIND_ALIAS)) {
      WriteValueType(decl, 0);
    }
  }
  Body(std::wstring());
}

void TImportWriter::InheritedNames(TDecl& ADecl, TScope& AScope, int ADepth) {
  for (const wchar_t* name : kDispatchMembers) AScope.Take(name);
  if (ADepth > kMaxTypeDepth) return;
  ITypeInfo* info = ADecl.Vtbl ? ADecl.Vtbl.get() : ADecl.Info.get();
  const TYPEATTR& attr = ADecl.Vtbl ? *ADecl.VtblAttr->get() : *ADecl.Attr->get();
  if (attr.cImplTypes == 0) return;
  HREFTYPE ref = 0;
  TComPtr<ITypeInfo> base;
  if (FAILED(info->GetRefTypeOfImplType(0, &ref)) || FAILED(ReadRefTypeInfo(info, ref, base))) return;
  TDecl* decl = DeclOf(base.get());
  if (!decl || decl->Skip) return;
  auto known = FMemberNames.find(decl);
  if (known == FMemberNames.end()) {
    // Read once per interface: every interface below it asks again.
    std::vector<std::wstring> names;
    ITypeInfo* baseInfo = decl->Vtbl ? decl->Vtbl.get() : decl->Info.get();
    const TYPEATTR& baseAttr = decl->Vtbl ? *decl->VtblAttr->get() : *decl->Attr->get();
    for (UINT i = 0; i < baseAttr.cFuncs; ++i) {
      TFuncDescHolder func(baseInfo);
      if (FAILED(func.Fetch(i)) || FAILED(FNames.Read(baseInfo, func->memid))) continue;
      const std::wstring name = Sanitized(FNames.Name(0));
      for (const wchar_t* prefix : {L"", L"Get_", L"Set_", L"_Set_"}) names.push_back(prefix + name);
    }
    known = FMemberNames.emplace(decl, std::move(names)).first;
  }
  for (const std::wstring& name : known->second) AScope.Take(name);
  InheritedNames(*decl, AScope, ADepth + 1);
}

// A default value as a constant of the parameter's Pascal type; empty when none is legal.
std::wstring DefaultValueText(const PARAMDESC& AParam, const TTypeText& AType) {
  if (!(AParam.wParamFlags & PARAMFLAG_FHASDEFAULT) || !AParam.pparamdescex) return std::wstring();
  const VARIANT& value = AParam.pparamdescex->varDefaultValue;
  const std::wstring type = Lower(AType.Text);
  TVariant converted;
  auto convert = [&](VARTYPE ATarget) {
    return SUCCEEDED(VariantChangeType(converted.get(), const_cast<VARIANT*>(&value), 0, ATarget));
  };
  if (type == L"widestring") return convert(VT_BSTR) ? PascalString(WholeText(V_BSTR(converted.get()))) : L"";
  if (type == L"wordbool") return convert(VT_BOOL) ? (V_BOOL(converted.get()) ? L"True" : L"False") : L"";
  if (type == L"smallint" || type == L"integer" || type == L"shortint") {
    return convert(VT_I4) ? std::to_wstring(V_I4(converted.get())) : L"";
  }
  if (type == L"byte" || type == L"word" || type == L"longword") {
    if (!convert(VT_I8)) return L"";
    const long long number = V_I8(converted.get());
    const long long limit = type == L"byte" ? 0xFF : type == L"word" ? 0xFFFF : 0xFFFFFFFFLL;
    return number >= 0 && number <= limit ? std::to_wstring(number) : L"";
  }
  if (type == L"int64") return convert(VT_I8) ? std::to_wstring(V_I8(converted.get())) : L"";
  if (type == L"single" || type == L"double" || type == L"currency") {
    if (!convert(VT_R8)) return L"";
    VARIANT number;
    VariantInit(&number);
    V_VT(&number) = VT_R8;
    V_R8(&number) = V_R8(converted.get());
    return ConstantText(&number);
  }
  return std::wstring();
}

int TImportWriter::LibrarySlots(ITypeInfo* AInfo) {
  TTypeAttrHolder attr(AInfo);
  if (FAILED(attr.Fetch())) return -1;
  // cbSizeVft counts in pointers of the library's own platform.
  int pointer = FPointerSize;
  TComPtr<ITypeLib> lib;
  UINT index = 0;
  if (SUCCEEDED(AInfo->GetContainingTypeLib(lib.put(), &index)) && lib) {
    TLIBATTR* libAttr = nullptr;
    if (SUCCEEDED(lib->GetLibAttr(&libAttr)) && libAttr) {
      pointer = libAttr->syskind == SYS_WIN64 ? 8 : 4;
      lib->ReleaseTLibAttr(libAttr);
    }
  }
  if (attr->cbSizeVft == 0 || attr->cbSizeVft % pointer != 0) return -1;
  return attr->cbSizeVft / pointer;
}

std::wstring TImportWriter::MethodLine(const TMethod& AMethod, const std::wstring& AName, std::wstring& AWhyNot) {
  std::wstring convention;
  if (AMethod.Safecall) {
    convention = L"safecall";
  } else {
    switch (AMethod.CallConv) {
      case CC_STDCALL: convention = L"stdcall"; break;
      case CC_CDECL: convention = L"cdecl"; break;
      case CC_PASCAL: convention = L"pascal"; break;
      default: {
        // Pascal's own register convention is not the platform's fastcall: no call may guess.
        const wchar_t* name = AMethod.CallConv == CC_FASTCALL     ? L"fastcall"
                              : AMethod.CallConv == CC_SYSCALL    ? L"syscall"
                              : AMethod.CallConv == CC_MACPASCAL  ? L"macpascal"
                              : AMethod.CallConv == CC_MPWCDECL   ? L"mpwcdecl"
                              : AMethod.CallConv == CC_MPWPASCAL  ? L"mpwpascal"
                                                                  : nullptr;
        AWhyNot = name ? L"the " + std::wstring(name) + L" calling convention cannot be declared"
                       : L"its calling convention (" + std::to_wstring(static_cast<int>(AMethod.CallConv)) +
                             L") cannot be declared";
        return std::wstring();
      }
    }
  }
  // A safecall method's retval parameter is its result.
  std::vector<const TParam*> params;
  TTypeText result = AMethod.Result;
  bool hasResult = AMethod.HasResult;
  std::wstring note;
  bool resultFirst = false;
  if (AMethod.Safecall) {
    hasResult = false;
    for (const TParam& param : AMethod.Params) {
      if ((param.Flags & PARAMFLAG_FRETVAL) && &param == &AMethod.Params.back()) {
        result = param.Type;
        hasResult = true;
      } else {
        params.push_back(&param);
      }
    }
  } else {
    for (const TParam& param : AMethod.Params) params.push_back(&param);
    hasResult = true;
    if (AMethod.Result.Text == L"Pointer" && !AMethod.HasResult) hasResult = false;
    // The compilers return managed types through a hidden parameter, which a method of the platform
    // does not take: the result is declared as what the method really returns.
    const std::wstring type = Lower(result.Text);
    if (result.Interface) {
      result = {L"Pointer", false};
      note = L" // returns an interface reference the caller releases";
    } else if (type == L"widestring") {
      result = {L"PWideChar", false};
      note = L" // returns a BSTR the caller frees with SysFreeString";
    } else if (type == L"olevariant" || type == L"tdecimal") {
      // Returned through a pointer the caller passes before the parameters, as the platform does.
      resultFirst = true;
    }
  }
  std::wstring line = L"    ";
  line += hasResult && !resultFirst ? L"function " : L"procedure ";
  line += AName;
  std::vector<std::wstring> parts;
  if (resultFirst) {
    std::wstring name = L"Result_";
    for (bool taken = true; taken;) {
      taken = false;
      for (const TParam* param : params) taken = taken || SameTextAscii(param->Name, name);
      if (taken) name += L"_";
    }
    parts.push_back(L"out " + name + L": " + std::wstring(SameTextAscii(result.Text, L"olevariant") ? L"TVarData" : result.Text));
    note = L" // returns its result through " + name;
  }
  for (const TParam* param : params) {
    std::wstring part = param->Modifier + param->Name + L": " + param->Type.Text;
    if (!param->Default.empty()) part += L" = " + param->Default;
    parts.push_back(part);
  }
  if (!parts.empty()) {
    line += L'(';
    for (size_t i = 0; i < parts.size(); ++i) line += (i ? L"; " : L"") + parts[i];
    line += L')';
  }
  if (hasResult && !resultFirst) line += L": " + result.Text;
  line += L"; " + convention + L";" + note;
  bool unknownType = hasResult && !result.Valid;
  for (const TParam* param : params) unknownType = unknownType || !param->Type.Valid;
  if (unknownType) line += L" // a type the library does not hold stands in as Pointer";
  return line;
}

void TImportWriter::WriteInterface(TDecl& ADecl, int ADepth) {
  if (ADecl.Emitted || ADecl.Visiting || ADepth > kMaxTypeDepth) return;
  ADecl.Visiting = true;
  ITypeInfo* info = ADecl.Vtbl ? ADecl.Vtbl.get() : ADecl.Info.get();
  const TYPEATTR& attr = ADecl.Vtbl ? *ADecl.VtblAttr->get() : *ADecl.Attr->get();
  // The base first: an interface derives from a complete declaration. Its slots: those the library
  // describes, and those of the declaration the unit can name (IUnknown's when it names none).
  std::wstring baseName = L"IUnknown";
  int baseSlots = -1, declaredBaseSlots = 3;
  if (attr.cImplTypes > 0) {
    HREFTYPE ref = 0;
    TComPtr<ITypeInfo> base;
    if (SUCCEEDED(info->GetRefTypeOfImplType(0, &ref)) && SUCCEEDED(ReadRefTypeInfo(info, ref, base))) {
      baseSlots = LibrarySlots(base.get());
      TDecl* decl = DeclOf(base.get());
      if (decl && !decl->Skip && (decl->Kind == TKIND_INTERFACE || (decl->Kind == TKIND_DISPATCH && decl->Vtbl))) {
        WriteInterface(*decl, ADepth + 1);
        baseName = decl->Name;
        // A base still being written (a loop only a broken library has) counts as IUnknown.
        if (decl->Slots >= 0) declaredBaseSlots = decl->Slots;
      } else if (decl && decl->Skip) {
        const bool unknown = IsEqualGUID((*decl->Attr)->guid, kIUnknown);
        baseName = unknown ? L"IUnknown" : L"IDispatch";
        declaredBaseSlots = unknown ? 3 : 7;
      } else if (!decl) {
        const TTypeText text = ExternalTypeName(base.get(), TUse::uParam, 0);
        if (text.Interface) {
          baseName = text.Text;
          // The base's own unit declares it as its library describes it.
          declaredBaseSlots = text.Text == L"IUnknown" ? 3 : text.Text == L"IDispatch" ? 7 : std::max(baseSlots, 3);
        }
      }
    }
  } else {
    baseSlots = 0;
  }
  ADecl.Visiting = false;
  ADecl.Emitted = true;

  const bool automation =
      (attr.wTypeFlags & (TYPEFLAG_FDUAL | TYPEFLAG_FOLEAUTOMATION)) != 0 || ADecl.Vtbl;
  TScope scope;
  InheritedNames(ADecl, scope, 0);
  if (!ADecl.Doc.empty()) Body(L"  // " + ADecl.Doc);
  if (!ADecl.RenameNote.empty()) Body(ADecl.RenameNote);
  Body(L"  " + ADecl.Name + L" = interface(" + baseName + L")");
  Body(L"    ['" + GuidText(attr.guid) + L"']");

  struct TAccessor {
    std::wstring Method;
    const TMethod* Source;
  };
  struct TPropertyParts {
    std::wstring Name;
    const TMethod* Get = nullptr;
    std::wstring GetMethod;
    const TMethod* Put = nullptr;
    std::wstring PutMethod;
  };
  // The methods as the library lists them, with their vtable offsets; one whose description cannot
  // be read leaves its slot empty.
  std::vector<TMethod> methods;
  std::vector<int> offsets;
  methods.reserve(attr.cFuncs);
  for (UINT i = 0; i < attr.cFuncs; ++i) {
    TFuncDescHolder func(info);
    if (FAILED(func.Fetch(i))) continue;
    TMethod method = ReadMethod(*func.get(), info);
    method.Safecall = automation && func->elemdescFunc.tdesc.vt == VT_HRESULT;
    offsets.push_back(func->oVft);
    methods.push_back(std::move(method));
  }
  // A root interface that declares IUnknown's own methods: the unit's IUnknown has them.
  const bool offsetsGiven =
      attr.cbSizeVft != 0 || std::any_of(offsets.begin(), offsets.end(), [&](int A) { return A != offsets[0]; });
  if (baseSlots == 0 && offsetsGiven) {
    for (size_t i = methods.size(); i-- > 0;) {
      for (const wchar_t* own : {L"QueryInterface", L"AddRef", L"Release"}) {
        if (SameTextAscii(methods[i].Name, own) && offsets[i] < 3 * 8) {
          methods.erase(methods.begin() + static_cast<ptrdiff_t>(i));
          offsets.erase(offsets.begin() + static_cast<ptrdiff_t>(i));
          break;
        }
      }
    }
    baseSlots = 3;
  }
  // Calls go through slots: every method in the slot its offset gives, after the base's.
  const TVtableLayout layout =
      PlanVtable(offsets, attr.cbSizeVft, FPointerSize, baseSlots < 0 ? declaredBaseSlots : baseSlots, declaredBaseSlots);
  if (!layout.Refusal.empty()) {
    Body(L"    // Its methods are left out, so that no call reaches the wrong one: " + layout.Refusal + L".");
    Body(L"  end;");
    Body(std::wstring());
    ADecl.Slots = declaredBaseSlots;
    return;
  }
  std::vector<int> order;  // indices into methods, or -1 - slot for an empty slot
  if (layout.Known) {
    std::vector<int> bySlot(static_cast<size_t>(std::max(layout.Count, declaredBaseSlots)), -1);
    for (size_t i = 0; i < methods.size(); ++i) bySlot[static_cast<size_t>(layout.Slots[i])] = static_cast<int>(i);
    for (int slot = declaredBaseSlots; slot < layout.Count; ++slot) {
      order.push_back(bySlot[static_cast<size_t>(slot)] >= 0 ? bySlot[static_cast<size_t>(slot)] : -1 - slot);
    }
    ADecl.Slots = layout.Count;
  } else {
    Body(L"    // The library gives no vtable offsets: the methods are in the order it lists them.");
    for (size_t i = 0; i < methods.size(); ++i) order.push_back(static_cast<int>(i));
    ADecl.Slots = declaredBaseSlots + static_cast<int>(methods.size());
  }
  // A slot that cannot have its method still needs a method there, or every later one would shift.
  auto placeholder = [&](int ASlot, const std::wstring& AWhy) {
    Body(L"    procedure " + scope.Unique(L"VtblSlot" + std::to_wstring(ASlot)) + L"; stdcall; // " + AWhy);
  };
  std::vector<const TMethod*> declared;
  std::vector<std::wstring> declaredNames;
  for (size_t position = 0; position < order.size(); ++position) {
    const int entry = order[position];
    const int slot = layout.Known ? declaredBaseSlots + static_cast<int>(position) : -1;
    if (entry < 0) {
      placeholder(-1 - entry, -1 - entry < baseSlots ? L"a method of the base interface, which the unit cannot name"
                                                     : L"a member the library does not describe");
      continue;
    }
    const TMethod& method = methods[static_cast<size_t>(entry)];
    if (method.Name.empty()) {
      if (slot >= 0) placeholder(slot, L"a member whose name cannot be read");
      continue;
    }
    std::wstring prefix;
    switch (method.Kind) {
      case INVOKE_PROPERTYGET: prefix = L"Get_"; break;
      case INVOKE_PROPERTYPUT: prefix = L"Set_"; break;
      case INVOKE_PROPERTYPUTREF: prefix = L"_Set_"; break;
      default: break;
    }
    const std::wstring base = Sanitized(method.Name);
    std::wstring whyNot;
    const std::wstring name = Escaped(scope.Unique(prefix + base));
    std::wstring line = MethodLine(method, name, whyNot);
    if (line.empty()) {
      if (slot >= 0) placeholder(slot, base + L": " + whyNot);
      else Comment(L"    ", base + L" is left out: " + whyNot);
      continue;
    }
    if (!SameTextAscii(name, prefix + base) && name != L"&" + prefix + base) line += L" // " + prefix + base + L" is taken";
    if (!method.Renames.empty()) line += L" // parameters renamed: " + method.Renames;
    if (!method.Doc.empty()) Body(L"    // " + method.Doc);
    Body(line);
    declared.push_back(&method);
    declaredNames.push_back(name);
  }
  std::vector<TPropertyParts> properties;
  std::map<std::pair<MEMBERID, std::wstring>, size_t> propertyOf;
  for (size_t i = 0; i < declared.size(); ++i) {
    const TMethod& method = *declared[i];
    if (method.Kind == INVOKE_FUNC || !method.Safecall) continue;
    const std::wstring base = Sanitized(method.Name);
    auto key = std::make_pair(method.Id, Lower(base));
    auto found = propertyOf.find(key);
    if (found == propertyOf.end()) {
      found = propertyOf.emplace(key, properties.size()).first;
      properties.push_back({base});
    }
    TPropertyParts& parts = properties[found->second];
    if (method.Kind == INVOKE_PROPERTYGET && !parts.Get) {
      parts.Get = &method;
      parts.GetMethod = declaredNames[i];
    } else if (method.Kind != INVOKE_PROPERTYGET && (!parts.Put || method.Kind == INVOKE_PROPERTYPUT)) {
      // A value put is the property's writer rather than a reference put.
      parts.Put = &method;
      parts.PutMethod = declaredNames[i];
    }
  }
  // Properties over accessor pairs whose types agree.
  bool defaultTaken = false;
  for (TPropertyParts& parts : properties) {
    // The index parameters and the type, from the getter or else the setter.
    std::vector<const TParam*> getIndex, putIndex;
    std::wstring getType, putType;
    bool getOk = false, putOk = false;
    if (parts.Get) {
      const auto& params = parts.Get->Params;
      if (!params.empty() && (params.back().Flags & PARAMFLAG_FRETVAL)) {
        getType = params.back().Type.Text;
        getOk = true;
        for (size_t i = 0; i + 1 < params.size(); ++i) {
          getIndex.push_back(&params[i]);
          if (params[i].Modifier == L"var " || params[i].Modifier == L"out ") getOk = false;
        }
      }
    }
    if (parts.Put) {
      const auto& params = parts.Put->Params;
      if (!params.empty() && !(params.back().Flags & PARAMFLAG_FRETVAL) && params.back().Modifier != L"out ") {
        putType = params.back().Type.Text;
        putOk = params.back().Modifier != L"var ";
        for (size_t i = 0; i + 1 < params.size(); ++i) {
          putIndex.push_back(&params[i]);
          if (params[i].Modifier == L"var " || params[i].Modifier == L"out ") putOk = false;
        }
      }
    }
    auto sameIndex = [&] {
      if (getIndex.size() != putIndex.size()) return false;
      for (size_t i = 0; i < getIndex.size(); ++i) {
        if (!SameTextAscii(getIndex[i]->Type.Text, putIndex[i]->Type.Text) ||
            getIndex[i]->Modifier != putIndex[i]->Modifier) {
          return false;
        }
      }
      return true;
    };
    if (getOk && putOk && (!SameTextAscii(getType, putType) || !sameIndex())) putOk = false;
    if (!getOk && !putOk) continue;
    const std::vector<const TParam*>& index = getOk ? getIndex : putIndex;
    const std::wstring name = Escaped(scope.Unique(parts.Name));
    std::wstring line = L"    property " + name;
    if (!index.empty()) {
      line += L'[';
      for (size_t i = 0; i < index.size(); ++i) {
        if (i) line += L"; ";
        line += index[i]->Modifier + index[i]->Name + L": " + index[i]->Type.Text;
      }
      line += L']';
    }
    line += L": " + (getOk ? getType : putType);
    if (getOk) line += L" read " + parts.GetMethod;
    if (putOk) line += L" write " + parts.PutMethod;
    line += L';';
    const MEMBERID id = (parts.Get ? parts.Get : parts.Put)->Id;
    if (id == DISPID_VALUE && !index.empty() && !defaultTaken) {
      line += L" default;";
      defaultTaken = true;
    }
    if (!SameTextAscii(name, parts.Name) && name != L"&" + parts.Name) line += L" // " + parts.Name + L" is taken";
    Body(line);
  }
  Body(L"  end;");
  Body(std::wstring());
}

void TImportWriter::WriteInterfaces() {
  for (TDecl& decl : FDecls) {
    if (!decl.Attr || decl.Skip) continue;
    if (decl.Kind == TKIND_INTERFACE || (decl.Kind == TKIND_DISPATCH && decl.Vtbl)) WriteInterface(decl, 0);
  }
  for (TDecl& decl : FDecls) {
    if (decl.Attr && !decl.Skip && decl.Kind == TKIND_DISPATCH) WriteDispinterface(decl);
  }
}

// A type as a dispatch call passes it: a SAFEARRAY in a variant.
void AsDispatchType(TTypeText& AType) {
  if (AType.Text == L"PSafeArray") AType = {L"OleVariant", true, false, true};
}

void TImportWriter::WriteDispinterface(TDecl& ADecl) {
  // The members: a dual interface's from its interface side and every dual base, a pure
  // dispinterface's from its own description.
  std::vector<std::pair<ITypeInfo*, const TYPEATTR*>> sources;
  if (ADecl.Vtbl) {
    ITypeInfo* info = ADecl.Vtbl.get();
    const TYPEATTR* attr = ADecl.VtblAttr->get();
    for (int depth = 0; info && depth < kMaxTypeDepth; ++depth) {
      sources.insert(sources.begin(), {info, attr});
      if (attr->cImplTypes == 0) break;
      HREFTYPE ref = 0;
      TComPtr<ITypeInfo> base;
      if (FAILED(info->GetRefTypeOfImplType(0, &ref)) || FAILED(ReadRefTypeInfo(info, ref, base))) break;
      // The base as this library lists it: a dual base's methods are on its interface side.
      TDecl* decl = DeclOf(base.get());
      if (!decl || decl->Skip) break;
      if (decl->Vtbl) {
        info = decl->Vtbl.get();
        attr = decl->VtblAttr->get();
      } else if (decl->Kind == TKIND_INTERFACE) {
        info = decl->Info.get();
        attr = decl->Attr->get();
      } else {
        break;
      }
    }
  } else {
    sources.push_back({ADecl.Info.get(), ADecl.Attr->get()});
  }

  if (!ADecl.Doc.empty()) Body(L"  // " + ADecl.Doc);
  if (!ADecl.Vtbl && !ADecl.RenameNote.empty()) Body(ADecl.RenameNote);
  Body(L"  " + ADecl.DispName + L" = dispinterface");
  Body(L"    ['" + GuidText((*ADecl.Attr)->guid) + L"']");
  TScope scope;
  for (const wchar_t* name : kDispatchMembers) scope.Take(name);
  // Properties of a dispinterface's own variables.
  if (!ADecl.Vtbl) {
    const TYPEATTR& attr = *ADecl.Attr->get();
    for (UINT i = 0; i < attr.cVars; ++i) {
      TVarDescHolder var(ADecl.Info.get());
      if (FAILED(var.Fetch(i))) continue;
      TBstr name;
      if (FAILED(ReadTypeDocumentation(ADecl.Info.get(), var->memid, &name, nullptr))) continue;
      TTypeText type = TypeName(var->elemdescVar.tdesc, ADecl.Info.get(), TUse::uParam);
      AsDispatchType(type);
      const std::wstring base = Sanitized(CutAtNul(name.get()));
      if (!type.Automatable) {
        Comment(L"    ", L"property " + base + L": " + type.Text + L" dispid " + std::to_wstring(var->memid) +
                              L" (not an automation type)");
        continue;
      }
      const std::wstring unique = Escaped(scope.Unique(base));
      std::wstring line = L"    property " + unique + L": " + type.Text +
                          ((var->wVarFlags & VARFLAG_FREADONLY) ? L" readonly" : L"") + L" dispid " +
                          std::to_wstring(var->memid) + L";";
      Body(line);
    }
  }
  struct TDispProperty {
    std::wstring Name;
    const TMethod* Get = nullptr;
    const TMethod* Put = nullptr;
  };
  std::vector<TMethod> methods;
  for (auto [info, attr] : sources) {
    for (UINT i = 0; i < attr->cFuncs; ++i) {
      TFuncDescHolder func(info);
      if (FAILED(func.Fetch(i))) continue;
      // The members of IUnknown and IDispatch are the dispinterface's own.
      if (func->memid >= 0x60000000 && func->memid < 0x60020000) continue;
      TMethod method = ReadMethod(*func.get(), info);
      if (method.Name.empty()) continue;
      bool standard = false;
      for (const wchar_t* name : kDispatchMembers) standard = standard || SameTextAscii(method.Name, name);
      if (standard) continue;
      method.Safecall = func->funckind != FUNC_DISPATCH;
      // A dispatch call passes a SAFEARRAY as a variant holding it.
      for (TParam& param : method.Params) AsDispatchType(param.Type);
      AsDispatchType(method.Result);
      methods.push_back(std::move(method));
    }
  }
  std::vector<TDispProperty> properties;
  std::map<MEMBERID, size_t> propertyOf;
  auto declaration = [&](const TMethod& AMethod, std::vector<const TParam*>& AParams, TTypeText& AResult,
                         bool& AHasResult) {
    AHasResult = AMethod.HasResult && AMethod.Result.Text != L"HResult";
    AResult = AMethod.Result;
    for (const TParam& param : AMethod.Params) {
      if (param.Flags & PARAMFLAG_FLCID) continue;  // the dispatch call passes the locale itself
      if ((param.Flags & PARAMFLAG_FRETVAL) && &param == &AMethod.Params.back()) {
        AResult = param.Type;
        AHasResult = true;
        continue;
      }
      AParams.push_back(&param);
    }
    bool automatable = !AHasResult || AResult.Automatable;
    for (const TParam* param : AParams) automatable = automatable && param->Type.Automatable;
    return automatable;
  };
  for (const TMethod& method : methods) {
    if (method.Kind != INVOKE_FUNC) {
      auto found = propertyOf.find(method.Id);
      if (found == propertyOf.end()) {
        found = propertyOf.emplace(method.Id, properties.size()).first;
        properties.push_back({Sanitized(method.Name)});
      }
      TDispProperty& property = properties[found->second];
      if (method.Kind == INVOKE_PROPERTYGET) {
        if (!property.Get) property.Get = &method;
      } else if (!property.Put || method.Kind == INVOKE_PROPERTYPUT) {
        property.Put = &method;
      }
      continue;
    }
    std::vector<const TParam*> params;
    TTypeText result;
    bool hasResult = false;
    const bool automatable = declaration(method, params, result, hasResult);
    const std::wstring base = Sanitized(method.Name);
    std::wstring line = (hasResult ? L"function " : L"procedure ") + Escaped(scope.Unique(base));
    if (!params.empty()) {
      line += L'(';
      for (size_t i = 0; i < params.size(); ++i) {
        if (i) line += L"; ";
        std::wstring modifier = params[i]->Modifier == L"out " ? L"var " : params[i]->Modifier;
        line += modifier + params[i]->Name + L": " + params[i]->Type.Text;
        if (!params[i]->Default.empty()) line += L" = " + params[i]->Default;
      }
      line += L')';
    }
    if (hasResult) line += L": " + result.Text;
    line += L"; dispid " + std::to_wstring(method.Id) + L";";
    if (!method.Doc.empty()) Body(L"    // " + method.Doc);
    if (!automatable) {
      Comment(L"    ", line + L" (not an automation type)");
      continue;
    }
    Body(L"    " + line);
  }
  bool defaultTaken = false;
  for (const TDispProperty& property : properties) {
    const TMethod* source = property.Get ? property.Get : property.Put;
    std::vector<const TParam*> params;
    TTypeText result;
    bool hasResult = false;
    bool automatable = declaration(*source, params, result, hasResult);
    if (!property.Get && !params.empty()) {
      result = params.back()->Type;
      params.pop_back();
    }
    for (const TParam* param : params) {
      automatable = automatable && param->Modifier != L"var " && param->Modifier != L"out ";
    }
    const std::wstring name = Escaped(scope.Unique(property.Name));
    std::wstring line = L"property " + name;
    if (!params.empty()) {
      line += L'[';
      for (size_t i = 0; i < params.size(); ++i) {
        if (i) line += L"; ";
        line += params[i]->Modifier + params[i]->Name + L": " + params[i]->Type.Text;
      }
      line += L']';
    }
    line += L": " + result.Text;
    if (!property.Put) line += L" readonly";
    if (!property.Get) line += L" writeonly";
    line += L" dispid " + std::to_wstring(source->Id) + L";";
    if (source->Id == DISPID_VALUE && !params.empty() && !defaultTaken) {
      line += L" default;";
      defaultTaken = true;
    }
    if (!automatable || result.Text == L"Pointer") {
      Comment(L"    ", line + L" (not an automation type)");
      continue;
    }
    Body(L"    " + line);
  }
  Body(L"  end;");
  Body(std::wstring());
}

void TImportWriter::WriteCoclasses() {
  for (TDecl& decl : FDecls) {
    if (!decl.Attr || decl.Kind != TKIND_COCLASS) continue;
    bool disp = false;
    const std::wstring intf = DefaultInterface(decl, &disp);
    if (!decl.Doc.empty()) Body(L"  // " + decl.Doc);
    if (!decl.RenameNote.empty()) Body(decl.RenameNote);
    Body(L"  " + decl.Name + L" = " + intf + L";");
    Body(std::wstring());
  }
  for (TDecl& decl : FDecls) {
    if (!decl.Attr || decl.Kind != TKIND_COCLASS || !((*decl.Attr)->wTypeFlags & TYPEFLAG_FCANCREATE)) continue;
    bool disp = false;
    const std::wstring intf = DefaultInterface(decl, &disp);
    std::wstring bare = decl.Name;
    bare.erase(std::remove(bare.begin(), bare.end(), L'&'), bare.end());
    const std::wstring creator = FGlobal.Unique(L"Co" + bare);
    Body(L"  // Creates " + bare + L" objects, on this machine or another.");
    Body(L"  " + creator + L" = class");
    Body(L"    class function Create: " + intf + L";");
    Body(L"    class function CreateRemote(const MachineName: string): " + intf + L";");
    Body(L"  end;");
    Body(std::wstring());
    const std::wstring& clsid = decl.GuidConstant;
    auto cast = [&](const std::wstring& AObject) {
      return disp ? intf + L"(" + AObject + L" as IDispatch)" : AObject + L" as " + intf;
    };
    FImplementation.push_back(L"class function " + creator + L".Create: " + intf + L";");
    FImplementation.push_back(L"begin");
    FImplementation.push_back(L"  Result := " + cast(L"CreateComObject(" + clsid + L")") + L";");
    FImplementation.push_back(L"end;");
    FImplementation.push_back(std::wstring());
    FImplementation.push_back(L"class function " + creator + L".CreateRemote(const MachineName: string): " + intf +
                              L";");
    FImplementation.push_back(L"begin");
    FImplementation.push_back(L"  Result := " + cast(L"CreateRemoteComObject(MachineName, " + clsid + L")") + L";");
    FImplementation.push_back(L"end;");
    FImplementation.push_back(std::wstring());
  }
}

TMethod TImportWriter::ReadMethod(const FUNCDESC& AFunc, ITypeInfo* AInfo) {
  TMethod method;
  if (FAILED(FNames.Read(AInfo, AFunc.memid)) || FNames.Count() < 1) return method;
  method.Name = std::wstring(FNames.Name(0));
  if (IsBlankText(method.Name)) {
    method.Name.clear();
    return method;
  }
  method.Id = AFunc.memid;
  method.Kind = AFunc.invkind;
  method.CallConv = AFunc.callconv;
  TBstr doc;
  ReadTypeDocumentation(AInfo, AFunc.memid, nullptr, &doc);
  method.Doc = CommentText(CutAtNul(doc.get()));
  const VARTYPE result = AFunc.elemdescFunc.tdesc.vt;
  method.HasResult = result != VT_VOID;
  method.Result = method.HasResult ? TypeName(AFunc.elemdescFunc.tdesc, AInfo, TUse::uParam)
                                   : TTypeText{L"Pointer", false};
  TScope names;
  for (const wchar_t* reserved : kMemberReserved) names.Take(reserved);
  const int count = AFunc.lprgelemdescParam ? AFunc.cParams : 0;
  for (int i = 0; i < count; ++i) {
    const ELEMDESC& element = AFunc.lprgelemdescParam[i];
    TParam param;
    param.Flags = element.paramdesc.wParamFlags;
    const std::wstring_view given = static_cast<UINT>(i) + 1 < FNames.Count() ? FNames.Name(static_cast<UINT>(i) + 1)
                                                                              : std::wstring_view();
    const bool putValue = i + 1 == count && (AFunc.invkind == INVOKE_PROPERTYPUT || AFunc.invkind == INVOKE_PROPERTYPUTREF);
    std::wstring base = !IsBlankText(given) ? Sanitized(given) : putValue ? L"Value" : L"Param" + std::to_wstring(i + 1);
    const TYPEDESC& desc = element.tdesc;
    const bool out = (param.Flags & PARAMFLAG_FOUT) != 0;
    const bool in = (param.Flags & PARAMFLAG_FIN) != 0 || !out;
    if (desc.vt == VT_PTR && desc.lptdesc && desc.lptdesc->vt != VT_VOID) {
      const TTypeText pointee = TypeName(*desc.lptdesc, AInfo, TUse::uParam);
      const TTypeText whole = TypeName(desc, AInfo, TUse::uParam);
      if (whole.Interface && !out) {
        // [in] IFoo*: the interface reference itself.
        param.Type = whole;
        param.Modifier = L"const ";
      } else if (!out && SameTextAscii(pointee.Text, L"olevariant")) {
        // [in] VARIANT*: a constant passed by reference, as Pascal passes a constant variant.
        param.Type = pointee;
        param.Modifier = L"const ";
      } else {
        param.Type = pointee;
        param.Modifier = out && !in ? L"out " : L"var ";
        if (out && in) param.Modifier = L"var ";
        // A pointer to an interface reference passed out is the reference itself.
        if (pointee.Interface && out && !in) param.Modifier = L"out ";
      }
    } else {
      param.Type = TypeName(desc, AInfo, TUse::uParam);
      if (param.Type.Interface || SameTextAscii(param.Type.Text, L"widestring")) param.Modifier = L"const ";
    }
    // A parameter of the name of its own type would hide the type for the rest of the list.
    if (SameTextAscii(base, param.Type.Text)) base += L"_";
    const std::wstring unique = names.Unique(base);
    param.Name = Escaped(unique);
    // A retval parameter becomes the result and keeps no name.
    if (unique != base && !(param.Flags & PARAMFLAG_FRETVAL)) {
      method.Renames += (method.Renames.empty() ? L"" : L", ") + base + L" as " + unique;
    }
    if (param.Modifier.empty() || param.Modifier == L"const ") param.Default = DefaultValueText(element.paramdesc, param.Type);
    method.Params.push_back(std::move(param));
  }
  // Defaults only where every later parameter has one too; never on a retval.
  bool trailing = true;
  for (size_t i = method.Params.size(); i-- > 0;) {
    TParam& param = method.Params[i];
    if (param.Flags & PARAMFLAG_FRETVAL) {
      param.Default.clear();
      continue;
    }
    if (!trailing || param.Default.empty()) {
      trailing = false;
      param.Default.clear();
    }
  }
  return method;
}

// ---- Event sinks --------------------------------------------------------------------------------
// A class whose default source interface is a dispinterface gets a sink class: it advises the
// object's connection point for that dispinterface and, in Invoke, calls the handler of the
// event's dispid with the arguments converted from their variants. The sinks share a base class
// the unit declares once. The sink's code names the compilers' own identifiers with their unit
// where a declaration of the library would hide them.

// How an argument travels between its variant and the handler's parameter.
enum class TEventConv {
  ecNone,          // no conversion: the handler gets an OleVariant
  ecVariant,       // OleVariant
  ecPlain,         // a type the variant converts to by itself (Integer, WideString, ...)
  ecCast,          // an enumeration or an alias: through its basic type
  ecUnknown,       // IUnknown
  ecDispatch,      // IDispatch
  ecDispinterface, // a dispinterface: the object's IDispatch
  ecQuery,         // another interface: asked for with QueryInterface
};

// The Pascal type a variant of a basic type converts to; empty for the others.
std::wstring BasicTypeName(VARTYPE AType) {
  if (!IsVariantBasicType(AType)) return std::wstring();
  return std::wstring(FindPlatformType(AType)->Pascal);
}

TEventConv EventConvOfInfo(ITypeInfo* AInfo, VARTYPE& ABasic, int ADepth);

// How an argument of a type travels; ABasic is set for ecPlain and ecCast.
TEventConv EventConv(const TYPEDESC& ADesc, ITypeInfo* AContext, VARTYPE& ABasic, int ADepth) {
  if (ADepth > kMaxTypeDepth) return TEventConv::ecNone;
  switch (ADesc.vt) {
    case VT_VARIANT: return TEventConv::ecVariant;
    case VT_UNKNOWN: return TEventConv::ecUnknown;
    case VT_DISPATCH: return TEventConv::ecDispatch;
    case VT_PTR: {
      // A pointer to an interface is the reference; a VARIANT* the variant.
      if (!ADesc.lptdesc) return TEventConv::ecNone;
      if (ADesc.lptdesc->vt == VT_VARIANT) return TEventConv::ecVariant;
      if (ADesc.lptdesc->vt != VT_USERDEFINED) return TEventConv::ecNone;
      const TEventConv target = EventConv(*ADesc.lptdesc, AContext, ABasic, ADepth + 1);
      return target >= TEventConv::ecUnknown ? target : TEventConv::ecNone;
    }
    case VT_USERDEFINED: {
      TComPtr<ITypeInfo> referred;
      if (FAILED(ReadRefTypeInfo(AContext, ADesc.hreftype, referred))) return TEventConv::ecNone;
      return EventConvOfInfo(referred.get(), ABasic, ADepth + 1);
    }
    default:
      if (BasicTypeName(ADesc.vt).empty()) return TEventConv::ecNone;
      ABasic = ADesc.vt;
      return TEventConv::ecPlain;
  }
}

TEventConv EventConvOfInfo(ITypeInfo* AInfo, VARTYPE& ABasic, int ADepth) {
  TTypeAttrHolder attr(AInfo);
  if (FAILED(attr.Fetch()) || ADepth > kMaxTypeDepth) return TEventConv::ecNone;
  switch (attr->typekind) {
    case TKIND_ENUM:
      ABasic = VT_I4;
      return TEventConv::ecCast;
    case TKIND_ALIAS: {
      const TEventConv aliased = EventConv(attr->tdescAlias, AInfo, ABasic, ADepth + 1);
      return aliased == TEventConv::ecPlain ? TEventConv::ecCast : aliased;
    }
    case TKIND_INTERFACE:
      return IsEqualGUID(attr->guid, kIUnknown) ? TEventConv::ecUnknown : TEventConv::ecQuery;
    case TKIND_DISPATCH: {
      if (IsEqualGUID(attr->guid, kIDispatch)) return TEventConv::ecDispatch;
      // A dual interface whose interface side can be read is declared as an interface.
      HREFTYPE ref = 0;
      TComPtr<ITypeInfo> vtbl;
      if (!(attr->wTypeFlags & TYPEFLAG_FDUAL) || FAILED(AInfo->GetRefTypeOfImplType(static_cast<UINT>(-1), &ref)) ||
          FAILED(ReadRefTypeInfo(AInfo, ref, vtbl))) {
        return TEventConv::ecDispinterface;
      }
      TTypeAttrHolder vtblAttr(vtbl.get());
      return SUCCEEDED(vtblAttr.Fetch()) && vtblAttr->typekind == TKIND_INTERFACE ? TEventConv::ecQuery
                                                                                 : TEventConv::ecDispinterface;
    }
    case TKIND_COCLASS: {
      // The class stands for its default interface: the one marked default, else the first.
      int chosen = -1;
      for (UINT i = 0; i < attr->cImplTypes; ++i) {
        INT flags = 0;
        if (FAILED(AInfo->GetImplTypeFlags(i, &flags)) || (flags & IMPLTYPEFLAG_FSOURCE)) continue;
        if (chosen < 0 || (flags & IMPLTYPEFLAG_FDEFAULT)) chosen = static_cast<int>(i);
        if (flags & IMPLTYPEFLAG_FDEFAULT) break;
      }
      HREFTYPE ref = 0;
      TComPtr<ITypeInfo> implemented;
      if (chosen < 0 || FAILED(AInfo->GetRefTypeOfImplType(static_cast<UINT>(chosen), &ref)) ||
          FAILED(ReadRefTypeInfo(AInfo, ref, implemented))) {
        return TEventConv::ecUnknown;
      }
      return EventConvOfInfo(implemented.get(), ABasic, ADepth + 1);
    }
    default: return TEventConv::ecNone;
  }
}

// The index of a class's default source interface: the one marked default, else the first;
// -1 when it has none.
int DefaultSourceIndex(ITypeInfo* AClass, UINT ACount) {
  int first = -1;
  for (UINT i = 0; i < ACount; ++i) {
    INT flags = 0;
    if (FAILED(AClass->GetImplTypeFlags(i, &flags)) || !(flags & IMPLTYPEFLAG_FSOURCE)) continue;
    if (flags & IMPLTYPEFLAG_FDEFAULT) return static_cast<int>(i);
    if (first < 0) first = static_cast<int>(i);
  }
  return first;
}

// The base class of the sinks. "%Base%" is its name; "%Unit.Name%" an identifier of the
// compilers' units, named with its unit where the library's declarations would hide it.
constexpr const wchar_t* kSinkBaseDeclaration[] = {
    L"  // Receives the events of an object through its connection point and hands them to the On",
    L"  // properties of the sinks derived from it. It counts no references: free it when done.",
    L"  %Base% = class(%System.TObject%, IUnknown, IDispatch)",
    L"  private",
    L"    FEventsIID: TGUID;",
    L"    FConnectionPoint: %ActiveX.IConnectionPoint%;",
    L"    FCookie: {$IFDEF FPC}%System.DWord%{$ELSE}%System.Longint%{$ENDIF};",
    L"    function ValueSize(VType: %System.Word%): Integer;",
    L"  protected",
    L"    function QueryInterface({$IFDEF FPC}constref{$ELSE}const{$ENDIF} IID: TGUID; out Obj): %System.HResult%; stdcall;",
    L"    function _AddRef: Integer; stdcall;",
    L"    function _Release: Integer; stdcall;",
    L"    function GetTypeInfoCount(out Count: Integer): %System.HResult%; stdcall;",
    L"    function GetTypeInfo(Index, LocaleID: Integer; out TypeInfo): %System.HResult%; stdcall;",
    L"    function GetIDsOfNames(const IID: TGUID; Names: %System.Pointer%; NameCount, LocaleID: Integer;",
    L"      DispIDs: %System.Pointer%): %System.HResult%; stdcall;",
    L"    function Invoke(DispID: Integer; const IID: TGUID; LocaleID: Integer; Flags: %System.Word%; var Params;",
    L"      VarResult, ExcepInfo, ArgErr: %System.Pointer%): %System.HResult%; stdcall;",
    L"    // Calls the handler of an event; False for a dispid that is no event.",
    L"    function DispatchEvent(DispID: Integer; var Params: %ActiveX.TDispParams%; VarResult: %System.POleVariant%):",
    L"      %System.Boolean%; virtual;",
    L"    // The argument at a position of the event's parameters: a named one by its dispid, the others",
    L"    // counted from the end, as the caller passes them in reverse order; nil when not passed.",
    L"    function ArgData(const Params: %ActiveX.TDispParams%; Position: Integer): %System.PVarData%;",
    L"    // The argument's value, by reference or not; empty when not passed.",
    L"    function ArgValue(const Params: %ActiveX.TDispParams%; Position: Integer): OleVariant;",
    L"    function ArgUnknown(const Params: %ActiveX.TDispParams%; Position: Integer): IUnknown;",
    L"    function ArgDispatch(const Params: %ActiveX.TDispParams%; Position: Integer): IDispatch;",
    L"    // Writes a value back through a by-reference argument, converted to the argument's type.",
    L"    procedure SetArg(const Params: %ActiveX.TDispParams%; Position: Integer; const Value: OleVariant);",
    L"  public",
    L"    constructor Create(const AEventsIID: TGUID);",
    L"    destructor Destroy; override;",
    L"    // Advises ASource's connection point for the events, leaving an object connected before.",
    L"    procedure Connect(const ASource: IUnknown);",
    L"    procedure Disconnect;",
    L"    function Connected: %System.Boolean%;",
    L"  end;",
    L"",
};

constexpr const wchar_t* kSinkBaseImplementation[] = {
    L"constructor %Base%.Create(const AEventsIID: TGUID);",
    L"begin",
    L"  inherited Create;",
    L"  FEventsIID := AEventsIID;",
    L"end;",
    L"",
    L"destructor %Base%.Destroy;",
    L"begin",
    L"  Disconnect;",
    L"  inherited Destroy;",
    L"end;",
    L"",
    L"procedure %Base%.Connect(const ASource: IUnknown);",
    L"var",
    L"  Container: %ActiveX.IConnectionPointContainer%;",
    L"  Point: %ActiveX.IConnectionPoint%;",
    L"  Cookie: {$IFDEF FPC}%System.DWord%{$ELSE}%System.Longint%{$ENDIF};",
    L"begin",
    L"  Disconnect;",
    L"  if ASource <> nil then",
    L"  begin",
    L"    %ComObj.OleCheck%(ASource.QueryInterface(%ActiveX.IConnectionPointContainer%, Container));",
    L"    %ComObj.OleCheck%(Container.FindConnectionPoint(FEventsIID, Point));",
    L"    %ComObj.OleCheck%(Point.Advise(Self, Cookie));",
    L"    FConnectionPoint := Point;",
    L"    FCookie := Cookie;",
    L"  end;",
    L"end;",
    L"",
    L"procedure %Base%.Disconnect;",
    L"var",
    L"  Point: %ActiveX.IConnectionPoint%;",
    L"begin",
    L"  if FConnectionPoint <> nil then",
    L"  begin",
    L"    Point := FConnectionPoint;",
    L"    FConnectionPoint := nil;",
    L"    // An object that has gone away cannot unadvise; the connection ends all the same.",
    L"    Point.Unadvise(FCookie);",
    L"  end;",
    L"end;",
    L"",
    L"function %Base%.Connected: %System.Boolean%;",
    L"begin",
    L"  Result := FConnectionPoint <> nil;",
    L"end;",
    L"",
    L"function %Base%.QueryInterface({$IFDEF FPC}constref{$ELSE}const{$ENDIF} IID: TGUID; out Obj): %System.HResult%;",
    L"begin",
    L"  // The object asks for the interface of its events, which this IDispatch is.",
    L"  if GetInterface(IID, Obj) or (SysUtils.IsEqualGUID(IID, FEventsIID) and GetInterface(IDispatch, Obj)) then",
    L"    Result := %Windows.S_OK%",
    L"  else",
    L"    Result := %Windows.E_NOINTERFACE%;",
    L"end;",
    L"",
    L"function %Base%._AddRef: Integer;",
    L"begin",
    L"  Result := -1;",
    L"end;",
    L"",
    L"function %Base%._Release: Integer;",
    L"begin",
    L"  Result := -1;",
    L"end;",
    L"",
    L"function %Base%.GetTypeInfoCount(out Count: Integer): %System.HResult%;",
    L"begin",
    L"  Count := 0;",
    L"  Result := %Windows.S_OK%;",
    L"end;",
    L"",
    L"function %Base%.GetTypeInfo(Index, LocaleID: Integer; out TypeInfo): %System.HResult%;",
    L"begin",
    L"  %System.Pointer%(TypeInfo) := nil;",
    L"  Result := %Windows.E_NOTIMPL%;",
    L"end;",
    L"",
    L"function %Base%.GetIDsOfNames(const IID: TGUID; Names: %System.Pointer%; NameCount, LocaleID: Integer;",
    L"  DispIDs: %System.Pointer%): %System.HResult%;",
    L"begin",
    L"  Result := %Windows.E_NOTIMPL%;",
    L"end;",
    L"",
    L"function %Base%.Invoke(DispID: Integer; const IID: TGUID; LocaleID: Integer; Flags: %System.Word%; var Params;",
    L"  VarResult, ExcepInfo, ArgErr: %System.Pointer%): %System.HResult%;",
    L"begin",
    L"  // No exception of a handler may reach the object that raised the event.",
    L"  try",
    L"    if DispatchEvent(DispID, %ActiveX.TDispParams%(Params), VarResult) then",
    L"      Result := %Windows.S_OK%",
    L"    else",
    L"      Result := %Windows.DISP_E_MEMBERNOTFOUND%;",
    L"  except",
    L"    on E: SysUtils.Exception do",
    L"    begin",
    L"      if ExcepInfo <> nil then",
    L"      begin",
    L"        %System.FillChar%(ExcepInfo^, %System.SizeOf%(%ActiveX.TExcepInfo%), 0);",
    L"        %ActiveX.TExcepInfo%(ExcepInfo^).{$IFDEF FPC}Description{$ELSE}bstrDescription{$ENDIF} := E.Message;",
    L"        %ActiveX.TExcepInfo%(ExcepInfo^).scode := %Windows.E_FAIL%;",
    L"      end;",
    L"      Result := %Windows.DISP_E_EXCEPTION%;",
    L"    end;",
    L"  else",
    L"    Result := %Windows.DISP_E_EXCEPTION%;",
    L"  end;",
    L"end;",
    L"",
    L"function %Base%.DispatchEvent(DispID: Integer; var Params: %ActiveX.TDispParams%; VarResult: %System.POleVariant%):",
    L"  %System.Boolean%;",
    L"begin",
    L"  Result := %System.False%;",
    L"end;",
    L"",
    L"function %Base%.ValueSize(VType: %System.Word%): Integer;",
    L"begin",
    L"  case VType of",
    L"    %ActiveX.VT_I1%, %ActiveX.VT_UI1%: Result := 1;",
    L"    %ActiveX.VT_I2%, %ActiveX.VT_UI2%, %ActiveX.VT_BOOL%: Result := 2;",
    L"    %ActiveX.VT_I4%, %ActiveX.VT_UI4%, %ActiveX.VT_INT%, %ActiveX.VT_UINT%, %ActiveX.VT_R4%, %ActiveX.VT_ERROR%: Result := 4;",
    L"    %ActiveX.VT_I8%, %ActiveX.VT_UI8%, %ActiveX.VT_R8%, %ActiveX.VT_CY%, %ActiveX.VT_DATE%: Result := 8;",
    L"    %ActiveX.VT_BSTR%, %ActiveX.VT_UNKNOWN%, %ActiveX.VT_DISPATCH%: Result := %System.SizeOf%(%System.Pointer%);",
    L"  else",
    L"    Result := 0;  // not read or written through a reference here",
    L"  end;",
    L"end;",
    L"",
    L"function %Base%.ArgData(const Params: %ActiveX.TDispParams%; Position: Integer): %System.PVarData%;",
    L"var",
    L"  I: Integer;",
    L"begin",
    L"  Result := nil;",
    L"  for I := 0 to Integer(Params.cNamedArgs) - 1 do",
    L"    if Params.rgdispidNamedArgs^[I] = Position then",
    L"      Result := @Params.rgvarg^[I];",
    L"  if (Result = nil) and (Position < Integer(Params.cArgs) - Integer(Params.cNamedArgs)) then",
    L"    Result := @Params.rgvarg^[Integer(Params.cArgs) - 1 - Position];",
    L"end;",
    L"",
    L"function %Base%.ArgValue(const Params: %ActiveX.TDispParams%; Position: Integer): OleVariant;",
    L"var",
    L"  Arg: %System.PVarData%;",
    L"  Data: %System.TVarData%;",
    L"begin",
    L"  Result := %Variants.Unassigned%;",
    L"  Arg := ArgData(Params, Position);",
    L"  if Arg <> nil then",
    L"    if Arg^.VType and %System.varByRef% = 0 then",
    L"      Result := %System.POleVariant%(Arg)^",
    L"    else if Arg^.VType = %System.varByRef% or %System.varVariant% then",
    L"      Result := %System.POleVariant%(Arg^.VPointer)^",
    L"    else if ValueSize(Arg^.VType and not %System.varByRef%) > 0 then",
    L"    begin",
    L"      // The value the argument points to, copied into a variant of its own.",
    L"      %System.FillChar%(Data, %System.SizeOf%(Data), 0);",
    L"      Data.VType := Arg^.VType and not %System.varByRef%;",
    L"      %System.Move%(Arg^.VPointer^, Data.VInt64, ValueSize(Data.VType));",
    L"      if Data.VType = %ActiveX.VT_INT% then Data.VType := %ActiveX.VT_I4%;",
    L"      if Data.VType = %ActiveX.VT_UINT% then Data.VType := %ActiveX.VT_UI4%;",
    L"      Result := %System.POleVariant%(@Data)^;",
    L"    end;",
    L"end;",
    L"",
    L"function %Base%.ArgUnknown(const Params: %ActiveX.TDispParams%; Position: Integer): IUnknown;",
    L"var",
    L"  Value: OleVariant;",
    L"begin",
    L"  Value := ArgValue(Params, Position);",
    L"  if (%System.TVarData%(Value).VType = %System.varUnknown%) or (%System.TVarData%(Value).VType = %System.varDispatch%) then",
    L"    Result := IUnknown(%System.TVarData%(Value).VUnknown)",
    L"  else",
    L"    Result := nil;",
    L"end;",
    L"",
    L"function %Base%.ArgDispatch(const Params: %ActiveX.TDispParams%; Position: Integer): IDispatch;",
    L"var",
    L"  Value: OleVariant;",
    L"begin",
    L"  Value := ArgValue(Params, Position);",
    L"  if %System.TVarData%(Value).VType = %System.varDispatch% then",
    L"    Result := IDispatch(%System.TVarData%(Value).VDispatch)",
    L"  else if %System.TVarData%(Value).VType = %System.varUnknown% then",
    L"    Result := IUnknown(%System.TVarData%(Value).VUnknown) as IDispatch",
    L"  else",
    L"    Result := nil;",
    L"end;",
    L"",
    L"procedure %Base%.SetArg(const Params: %ActiveX.TDispParams%; Position: Integer; const Value: OleVariant);",
    L"var",
    L"  Arg: %System.PVarData%;",
    L"  Target: %System.Pointer%;",
    L"  VType: %System.Word%;",
    L"  Converted: OleVariant;",
    L"  Unchanged: %System.Boolean%;",
    L"begin",
    L"  Arg := ArgData(Params, Position);",
    L"  // An argument passed by value has nothing to write to.",
    L"  if (Arg = nil) or (Arg^.VType and %System.varByRef% = 0) then",
    L"    VType := %System.varEmpty%",
    L"  else",
    L"    VType := Arg^.VType and not %System.varByRef%;",
    L"  if VType = %System.varVariant% then",
    L"  begin",
    L"    // A value the handler left as it was keeps the type the caller gave it.",
    L"    Target := Arg^.VPointer;",
    L"    Unchanged := %System.False%;",
    L"    if ValueSize(%System.PVarData%(Target)^.VType) > 0 then",
    L"    try",
    L"      Unchanged := %System.POleVariant%(Target)^ = Value;",
    L"    except",
    L"      Unchanged := %System.False%;",
    L"    end;",
    L"    if not Unchanged then",
    L"      %System.POleVariant%(Target)^ := Value;",
    L"  end",
    L"  else if ValueSize(VType) > 0 then",
    L"  begin",
    L"    Target := Arg^.VPointer;",
    L"    if VType = %ActiveX.VT_INT% then VType := %ActiveX.VT_I4%;",
    L"    if VType = %ActiveX.VT_UINT% then VType := %ActiveX.VT_UI4%;",
    L"    Converted := %Variants.VarAsType%(Value, VType);",
    L"    case VType of",
    L"      %ActiveX.VT_BSTR%: %System.PWideString%(Target)^ := %System.TVarData%(Converted).VOleStr;",
    L"      %ActiveX.VT_UNKNOWN%: %System.PUnknown%(Target)^ := IUnknown(%System.TVarData%(Converted).VUnknown);",
    L"      %ActiveX.VT_DISPATCH%: %System.PDispatch%(Target)^ := IDispatch(%System.TVarData%(Converted).VDispatch);",
    L"    else",
    L"      %System.Move%(%System.TVarData%(Converted).VInt64, Target^, ValueSize(VType));",
    L"    end;",
    L"  end;",
    L"end;",
    L"",
};

// What DispatchEvent names besides its locals: no local may hide these.
constexpr const wchar_t* kDispatchEventNames[] = {
    L"DispID", L"Params",  L"VarResult", L"Result",  L"Self",     L"ArgValue", L"ArgUnknown", L"ArgDispatch",
    L"SetArg", L"System",  L"Windows",   L"ActiveX", L"ComObj",   L"Variants", L"SysUtils",   L"stdole2"};

// The members of the sinks' base class, which no event property may take.
constexpr const wchar_t* kSinkBaseMembers[] = {
    L"FEventsIID", L"FConnectionPoint", L"FCookie",  L"ValueSize", L"DispatchEvent", L"ArgData",   L"ArgValue",
    L"ArgUnknown", L"ArgDispatch",      L"SetArg",   L"Create",    L"Destroy",       L"Connect",   L"Disconnect",
    L"Connected"};

constexpr const wchar_t* kDispatchEventHead =
    L"DispatchEvent(DispID: Integer; var Params: %ActiveX.TDispParams%; VarResult: %System.POleVariant%): "
    L"%System.Boolean%";

// Writes the event sinks of a unit's classes into its body and implementation.
class TSinkWriter {
 public:
  explicit TSinkWriter(TImportWriter& AUnit) : FUnit(AUnit) {}
  void Write();

 private:
  // An argument of an event as its handler takes it.
  struct TArg {
    std::wstring Name;      // of the handler's parameter
    std::wstring Modifier;  // "", "const " or "var "
    std::wstring Type;      // as the unit's interface part names it
    TEventConv Conv = TEventConv::ecVariant;
    VARTYPE Basic = VT_EMPTY;  // ecPlain, ecCast: the basic type it converts through
    int Position = 0;          // among the arguments of the dispatch call
  };
  struct TEvent {
    std::wstring Name;  // as an identifier
    MEMBERID Id = 0;
    std::wstring Doc;
    std::vector<TArg> Args;
    bool HasResult = false;
    TArg Result;
  };

  bool Taken(std::wstring_view AName) const { return FUnit.FGlobal.Contains(AName) || FConstants.Contains(AName); }
  // "Unit.Name" as the sinks' code names it: with its unit where the library's names hide it.
  std::wstring Qualified(std::wstring_view AName) const;
  std::wstring Filled(std::wstring_view ALine, const std::wstring& ASink = std::wstring()) const;
  // A type of an argument as the implementation part names it: the unit's own types with the
  // unit's name, which no member of a sink hides.
  std::wstring ImplementationType(const std::wstring& AType) const;
  TArg ReadArg(const TTypeText& AType, const std::wstring& AModifier, const TYPEDESC& ADesc, ITypeInfo* AInfo) const;
  std::vector<TEvent> ReadEvents(ITypeInfo* AInfo, const TYPEATTR& AAttr, std::vector<std::wstring>& ANotes);
  std::wstring ReadExpression(const TArg& AArg) const;
  std::wstring VariantExpression(const TArg& AArg, const std::wstring& ALocal) const;
  void WriteBase();
  void WriteSink(const std::wstring& AClass, const std::wstring& ASink, ITypeInfo* AInfo, const TYPEATTR& AAttr,
                 const std::wstring& AIidConstant);

  TImportWriter& FUnit;
  TScope FConstants;  // the names the unit's constants take after the sinks are written
  std::wstring FBase;
};

std::wstring TSinkWriter::Qualified(std::wstring_view AName) const {
  const size_t dot = AName.find(L'.');
  const std::wstring_view name = dot == std::wstring_view::npos ? AName : AName.substr(dot + 1);
  // The names NameDecls keeps for the system are never the library's.
  for (const wchar_t* system : {L"IUnknown", L"IDispatch", L"TGUID", L"OleVariant", L"WideString", L"Integer"}) {
    if (SameTextAscii(name, system)) return std::wstring(name);
  }
  return std::wstring(Taken(name) ? AName : name);
}

std::wstring TSinkWriter::Filled(std::wstring_view ALine, const std::wstring& ASink) const {
  std::wstring line;
  size_t at = 0;
  for (size_t open = ALine.find(L'%'); open != std::wstring_view::npos; open = ALine.find(L'%', at)) {
    const size_t close = ALine.find(L'%', open + 1);
    const std::wstring_view token = ALine.substr(open + 1, close - open - 1);
    line += ALine.substr(at, open - at);
    line += token == L"Base" ? FBase : token == L"Sink" ? ASink : Qualified(token);
    at = close + 1;
  }
  line += ALine.substr(at);
  return line;
}

std::wstring TSinkWriter::ImplementationType(const std::wstring& AType) const {
  if (AType.find(L'.') != std::wstring::npos || AType.front() == L'&') return AType;
  for (const wchar_t* system : {L"OleVariant", L"IUnknown", L"IDispatch"}) {
    if (SameTextAscii(AType, system)) return AType;
  }
  if (SameTextAscii(AType, L"TOleEnum")) return Qualified(L"ActiveX.TOleEnum");
  for (VARTYPE basic : {VT_I2, VT_I4, VT_R4, VT_R8, VT_CY, VT_DATE, VT_BSTR, VT_BOOL, VT_I1, VT_UI1, VT_UI2, VT_UI4,
                        VT_I8, VT_UI8}) {
    if (SameTextAscii(AType, BasicTypeName(basic))) return Qualified(L"System." + BasicTypeName(basic));
  }
  return FUnit.FUnitName + L"." + AType;
}

TSinkWriter::TArg TSinkWriter::ReadArg(const TTypeText& AType, const std::wstring& AModifier, const TYPEDESC& ADesc,
                                       ITypeInfo* AInfo) const {
  TArg arg;
  TTypeText type = AType;
  AsDispatchType(type);
  arg.Modifier = AModifier == L"out " ? L"var " : AModifier;
  // A by-reference parameter's type is what its pointer points to.
  const TYPEDESC& desc = arg.Modifier == L"var " && ADesc.vt == VT_PTR && ADesc.lptdesc ? *ADesc.lptdesc : ADesc;
  arg.Conv = type.Valid && type.Automatable ? EventConv(desc, AInfo, arg.Basic, 0) : TEventConv::ecNone;
  if (arg.Conv == TEventConv::ecCast && SameTextAscii(type.Text, BasicTypeName(arg.Basic))) arg.Conv = TEventConv::ecPlain;
  // What the sink cannot convert reaches the handler as the variant it came in.
  arg.Type = arg.Conv == TEventConv::ecNone || arg.Conv == TEventConv::ecVariant ? L"OleVariant" : type.Text;
  if (arg.Conv == TEventConv::ecNone) arg.Conv = TEventConv::ecVariant;
  return arg;
}

std::vector<TSinkWriter::TEvent> TSinkWriter::ReadEvents(ITypeInfo* AInfo, const TYPEATTR& AAttr,
                                                         std::vector<std::wstring>& ANotes) {
  std::vector<TEvent> events;
  std::set<MEMBERID> ids;
  for (UINT i = 0; i < AAttr.cFuncs; ++i) {
    TFuncDescHolder func(AInfo);
    // Properties of the dispinterface are no events, and IUnknown's and IDispatch's members are the sink's own.
    if (FAILED(func.Fetch(i)) || func->invkind != INVOKE_FUNC ||
        (func->memid >= 0x60000000 && func->memid < 0x60020000)) {
      continue;
    }
    const TMethod method = FUnit.ReadMethod(*func.get(), AInfo);
    bool standard = method.Name.empty();
    for (const wchar_t* name : kDispatchMembers) standard = standard || SameTextAscii(method.Name, name);
    if (standard) continue;
    TEvent event;
    event.Name = Sanitized(method.Name);
    event.Id = func->memid;
    event.Doc = method.Doc;
    if (!ids.insert(event.Id).second) {
      ANotes.push_back(L"    // An event listed again under dispid " + std::to_wstring(event.Id) + L" (" + event.Name +
                       L") is left out.");
      continue;
    }
    const size_t count = std::min(method.Params.size(), static_cast<size_t>(func->lprgelemdescParam ? func->cParams : 0));
    int position = 0;
    for (size_t p = 0; p < count; ++p) {
      const TParam& param = method.Params[p];
      const TYPEDESC& desc = func->lprgelemdescParam[p].tdesc;
      if (param.Flags & PARAMFLAG_FLCID) continue;  // the caller passes the locale itself
      if ((param.Flags & PARAMFLAG_FRETVAL) && p + 1 == count) {
        event.HasResult = true;
        event.Result = ReadArg(param.Type, L"", desc.vt == VT_PTR && desc.lptdesc ? *desc.lptdesc : desc, AInfo);
        continue;
      }
      TArg arg = ReadArg(param.Type, param.Modifier, desc, AInfo);
      arg.Name = param.Name;
      arg.Position = position++;
      event.Args.push_back(std::move(arg));
    }
    if (!event.HasResult && method.HasResult && method.Result.Text != L"HResult") {
      event.HasResult = true;
      event.Result = ReadArg(method.Result, L"", func->elemdescFunc.tdesc, AInfo);
    }
    events.push_back(std::move(event));
  }
  return events;
}

std::wstring TSinkWriter::ReadExpression(const TArg& AArg) const {
  const std::wstring at = L"(Params, " + std::to_wstring(AArg.Position) + L")";
  const std::wstring type = ImplementationType(AArg.Type);
  switch (AArg.Conv) {
    case TEventConv::ecCast:
      return type + L"(" + Qualified(L"System." + BasicTypeName(AArg.Basic)) + L"(ArgValue" + at + L"))";
    case TEventConv::ecUnknown: return L"ArgUnknown" + at;
    case TEventConv::ecDispatch: return L"ArgDispatch" + at;
    case TEventConv::ecDispinterface: return type + L"(ArgDispatch" + at + L")";
    case TEventConv::ecQuery: return L"ArgUnknown" + at + L" as " + type;
    default: return L"ArgValue" + at;
  }
}

std::wstring TSinkWriter::VariantExpression(const TArg& AArg, const std::wstring& ALocal) const {
  switch (AArg.Conv) {
    case TEventConv::ecCast: return Qualified(L"System." + BasicTypeName(AArg.Basic)) + L"(" + ALocal + L")";
    case TEventConv::ecQuery: return L"IUnknown(" + ALocal + L")";
    case TEventConv::ecDispinterface: return L"IDispatch(" + ALocal + L")";
    default: return ALocal;
  }
}

void TSinkWriter::WriteBase() {
  FBase = FUnit.FGlobal.Unique(L"TEventSink");
  for (const wchar_t* line : kSinkBaseDeclaration) FUnit.Body(Filled(line));
  // SysUtils in the implementation part only: its names stay out of the unit's interface.
  FUnit.FImplementation.insert(FUnit.FImplementation.begin(), {L"uses SysUtils;", std::wstring()});
  for (const wchar_t* line : kSinkBaseImplementation) FUnit.FImplementation.push_back(Filled(line));
}

void TSinkWriter::WriteSink(const std::wstring& AClass, const std::wstring& ASink, ITypeInfo* AInfo,
                            const TYPEATTR& AAttr, const std::wstring& AIidConstant) {
  std::vector<std::wstring> notes;
  const std::vector<TEvent> events = ReadEvents(AInfo, AAttr, notes);
  TBstr eventsName;
  ReadTypeDocumentation(AInfo, MEMBERID_NIL, &eventsName, nullptr);
  if (FBase.empty()) WriteBase();

  // The handlers' types, and the names of the properties and fields.
  TScope members;
  for (const wchar_t* name : kSinkBaseMembers) members.Take(name);
  std::vector<std::wstring> properties, fields, types;
  for (const TEvent& event : events) {
    properties.push_back(members.Unique(L"On" + event.Name));
    fields.push_back(members.Unique(L"F" + properties.back()));
    types.push_back(FUnit.FGlobal.Unique(L"T" + AClass + event.Name + L"Event"));
    // A parameter may not take the name of a type the list names, nor one another's.
    TScope params;
    for (const wchar_t* reserved : kMemberReserved) params.Take(reserved);
    auto takeType = [&](const std::wstring& AType) { params.Take(AType.substr(0, AType.find(L'.'))); };
    const std::wstring sender = Qualified(L"System.TObject");
    takeType(sender);
    for (const TArg& arg : event.Args) takeType(arg.Type);
    if (event.HasResult) takeType(event.Result.Type);
    std::wstring line = L"  " + types.back() + L" = " + (event.HasResult ? L"function" : L"procedure") + L"(" +
                        params.Unique(L"Sender") + L": " + sender;
    for (const TArg& arg : event.Args) {
      std::wstring name = arg.Name;
      name.erase(std::remove(name.begin(), name.end(), L'&'), name.end());
      line += L"; " + arg.Modifier + Escaped(params.Unique(name)) + L": " + arg.Type;
    }
    line += L")";
    if (event.HasResult) line += L": " + event.Result.Type;
    line += L" of object;";
    if (!event.Doc.empty()) FUnit.Body(L"  // " + event.Doc);
    FUnit.Body(line);
  }
  if (!events.empty()) FUnit.Body(std::wstring());

  FUnit.Body(L"  // Events of " + AClass + L" objects (" + CommentText(CutAtNul(eventsName.get())) +
             L"): set the On properties, then Connect to an object.");
  FUnit.Body(L"  " + ASink + L" = class(" + FBase + L")");
  if (!events.empty()) {
    FUnit.Body(L"  private");
    for (size_t i = 0; i < events.size(); ++i) FUnit.Body(L"    " + fields[i] + L": " + types[i] + L";");
    FUnit.Body(L"  protected");
    FUnit.Body(Filled(L"    function " + std::wstring(kDispatchEventHead) + L"; override;"));
  }
  FUnit.Body(L"  public");
  FUnit.Body(L"    constructor Create;");
  for (const std::wstring& note : notes) FUnit.Body(note);
  for (size_t i = 0; i < events.size(); ++i) {
    FUnit.Body(L"    property " + properties[i] + L": " + types[i] + L" read " + fields[i] + L" write " + fields[i] + L";");
  }
  FUnit.Body(L"  end;");
  FUnit.Body(std::wstring());

  std::vector<std::wstring>& code = FUnit.FImplementation;
  code.push_back(L"constructor " + ASink + L".Create;");
  if (AIidConstant.empty()) {
    code.push_back(L"const");
    code.push_back(L"  EventsIID: TGUID = '" + GuidText(AAttr.guid) + L"';");
  }
  code.push_back(L"begin");
  code.push_back(L"  inherited Create(" + (AIidConstant.empty() ? L"EventsIID" : AIidConstant) + L");");
  code.push_back(L"end;");
  code.push_back(std::wstring());
  if (events.empty()) return;

  // One local for every argument and result, named after its event.
  TScope locals;
  for (const wchar_t* name : kDispatchEventNames) locals.Take(name);
  locals.Take(FUnit.FUnitName);
  for (const auto& external : FUnit.FExternalUnits) locals.Take(external.Unit);
  for (const std::wstring& field : fields) locals.Take(field);
  auto local = [&](const std::wstring& ABase) {
    std::wstring name = ABase;
    for (int n = 1; locals.Contains(name) || Taken(name); ++n) name = ABase + L"_" + std::to_wstring(n);
    locals.Take(name);
    return name;
  };
  std::vector<std::wstring> declarations, body;
  for (size_t i = 0; i < events.size(); ++i) {
    const TEvent& event = events[i];
    std::vector<std::wstring> names;
    for (const TArg& arg : event.Args) {
      std::wstring name = arg.Name;
      name.erase(std::remove(name.begin(), name.end(), L'&'), name.end());
      names.push_back(local(event.Name + L"_" + name));
      declarations.push_back(L"  " + names.back() + L": " + ImplementationType(arg.Type) + L";");
    }
    std::wstring result;
    if (event.HasResult) {
      result = local(event.Name + L"_Result");
      declarations.push_back(L"  " + result + L": " + ImplementationType(event.Result.Type) + L";");
    }
    std::wstring call = fields[i] + L"(Self";
    for (const std::wstring& name : names) call += L", " + name;
    call += L")";
    const std::wstring assigned = Qualified(L"System.Assigned") + L"(" + fields[i] + L")";
    body.push_back(L"    " + std::to_wstring(event.Id) + L":");
    if (names.empty() && !event.HasResult) {
      body.push_back(L"      if " + assigned + L" then " + call + L";");
      continue;
    }
    body.push_back(L"      if " + assigned + L" then");
    body.push_back(L"      begin");
    for (size_t a = 0; a < names.size(); ++a) body.push_back(L"        " + names[a] + L" := " + ReadExpression(event.Args[a]) + L";");
    if (event.HasResult) {
      body.push_back(L"        " + result + L" := " + call + L";");
      body.push_back(L"        if VarResult <> nil then VarResult^ := " + VariantExpression(event.Result, result) + L";");
    } else {
      body.push_back(L"        " + call + L";");
    }
    for (size_t a = 0; a < names.size(); ++a) {
      if (event.Args[a].Modifier != L"var ") continue;
      body.push_back(L"        SetArg(Params, " + std::to_wstring(event.Args[a].Position) + L", " +
                     VariantExpression(event.Args[a], names[a]) + L");");
    }
    body.push_back(L"      end;");
  }
  code.push_back(Filled(L"function %Sink%." + std::wstring(kDispatchEventHead) + L";", ASink));
  if (!declarations.empty()) code.push_back(L"var");
  code.insert(code.end(), declarations.begin(), declarations.end());
  code.push_back(L"begin");
  code.push_back(L"  Result := " + Qualified(L"System.True") + L";");
  code.push_back(L"  case DispID of");
  code.insert(code.end(), body.begin(), body.end());
  code.push_back(L"  else");
  code.push_back(L"    Result := " + Qualified(L"System.False") + L";");
  code.push_back(L"  end;");
  code.push_back(L"end;");
  code.push_back(std::wstring());
}

void TSinkWriter::Write() {
  for (TDecl& decl : FUnit.FDecls) {
    if (!decl.Attr || (decl.Kind != TKIND_ENUM && decl.Kind != TKIND_MODULE)) continue;
    for (UINT i = 0; i < (*decl.Attr)->cVars; ++i) {
      TVarDescHolder var(decl.Info.get());
      TBstr name;
      if (SUCCEEDED(var.Fetch(i)) && var->varkind == VAR_CONST &&
          SUCCEEDED(ReadTypeDocumentation(decl.Info.get(), var->memid, &name, nullptr))) {
        FConstants.Take(Sanitized(CutAtNul(name.get())));
      }
    }
  }
  // Classes that raise the same events share one sink.
  std::vector<std::pair<GUID, std::wstring>> sinks;
  for (TDecl& decl : FUnit.FDecls) {
    if (!decl.Attr || decl.Kind != TKIND_COCLASS) continue;
    const int source = DefaultSourceIndex(decl.Info.get(), (*decl.Attr)->cImplTypes);
    if (source < 0) continue;
    std::wstring bare = decl.Name;
    bare.erase(std::remove(bare.begin(), bare.end(), L'&'), bare.end());
    HREFTYPE ref = 0;
    TComPtr<ITypeInfo> events;
    HRESULT result = decl.Info->GetRefTypeOfImplType(static_cast<UINT>(source), &ref);
    if (SUCCEEDED(result)) result = ReadRefTypeInfo(decl.Info.get(), ref, events);
    if (FAILED(result)) {
      FUnit.Comment(L"  ", bare + L" gets no event sink; the interface of its events cannot be read: " +
                               SystemMessageLine(result) + L".");
      FUnit.Body(std::wstring());
      continue;
    }
    TTypeAttrHolder attr(events.get());
    TBstr name;
    ReadTypeDocumentation(events.get(), MEMBERID_NIL, &name, nullptr);
    const std::wstring eventsName = CommentText(CutAtNul(name.get()));
    if (FAILED(result = attr.Fetch())) {
      FUnit.Comment(L"  ", bare + L" gets no event sink; the interface of its events, " + eventsName +
                               L", cannot be read: " + SystemMessageLine(result) + L".");
      FUnit.Body(std::wstring());
      continue;
    }
    if (attr->typekind != TKIND_DISPATCH || (attr->wTypeFlags & TYPEFLAG_FDUAL) || IsEqualGUID(attr->guid, kIDispatch)) {
      FUnit.Comment(L"  ", bare + L" gets no event sink: it raises its events through " + eventsName +
                               L", which is no dispinterface.");
      FUnit.Body(std::wstring());
      continue;
    }
    const std::wstring sink = FUnit.FGlobal.Unique(L"T" + bare + L"Events");
    auto shared = std::find_if(sinks.begin(), sinks.end(), [&](const auto& AKnown) { return IsEqualGUID(AKnown.first, attr->guid); });
    if (shared != sinks.end()) {
      FUnit.Body(L"  // Events of " + bare + L" objects: those of " + shared->second + L".");
      FUnit.Body(L"  " + sink + L" = " + shared->second + L";");
      FUnit.Body(std::wstring());
      continue;
    }
    sinks.emplace_back(attr->guid, sink);
    const TDecl* own = FUnit.DeclOf(events.get());
    WriteSink(bare, sink, events.get(), *attr.get(), own ? own->GuidConstant : std::wstring());
  }
}

// ---- End of the event sinks ---------------------------------------------------------------------

void TImportWriter::Run(std::wstring& AUnitName) {
  std::wstring libName, libDoc;
  ReadLibDocumentation(FLib, -1, &libName, &libDoc, nullptr);
  FLibName = Sanitized(TruncateAtNul(libName));
  TLIBATTR* libAttr = nullptr;
  if (SUCCEEDED(FLib->GetLibAttr(&libAttr)) && libAttr) {
    FPointerSize = libAttr->syskind == SYS_WIN64 ? 8 : 4;
    FLib->ReleaseTLibAttr(libAttr);
  }
  const std::wstring unitName = FLibName + L"_TLB";
  AUnitName = unitName;
  FUnitName = unitName;
  FGlobal.Take(unitName);
  ReadDecls();
  NameDecls();

  // The body first: it tells which pointer types and units the unit needs.
  WriteValueTypes();
  WriteInterfaces();
  WriteCoclasses();
  TSinkWriter(*this).Write();

  FOut.Reserve(FOut.Count() + FBody.Count() + FImplementation.size() + 256);
  FOut.Add(L"// Import unit of the type library " + PascalString(CommentText(TruncateAtNul(libName))) +
           (CommentText(TruncateAtNul(libDoc)).empty() ? std::wstring() : L" (" + CommentText(TruncateAtNul(libDoc)) + L")"));
  if (!IsBlankText(FData.Server)) FOut.Add(L"// File: " + CommentText(std::wstring(FData.Server)));
  FOut.Add(L"// Written by Vantrel for Free Pascal (Delphi mode) and Delphi.");
  FOut.Add(L"// Use: add the unit to a project, call CoInitialize, create objects with the Co classes.");
  FOut.Add(std::wstring());
  FOut.Add(L"unit " + unitName + L";");
  FOut.Add(std::wstring());
  FOut.Add(L"{$IFDEF FPC}");
  FOut.Add(L"  {$MODE DELPHI}");
  FOut.Add(L"{$ENDIF}");
  FOut.Add(L"{$WARNINGS OFF}");
  FOut.Add(std::wstring());
  FOut.Add(L"interface");
  FOut.Add(std::wstring());
  if (FExternalUnits.empty()) {
    FOut.Add(FUsesStdole ? L"uses Windows, ActiveX, ComObj, Variants, stdole2;" : L"uses Windows, ActiveX, ComObj, Variants;");
  } else {
    FOut.Add(L"uses");
    FOut.Add(FUsesStdole ? L"  Windows, ActiveX, ComObj, Variants, stdole2," : L"  Windows, ActiveX, ComObj, Variants,");
    for (size_t i = 0; i < FExternalUnits.size(); ++i) {
      const TExternalUnit& external = FExternalUnits[i];
      FOut.Add(L"  // " + external.Library + L": " + (external.File.empty() ? L"not registered" : external.File));
      FOut.Add(L"  " + external.Unit + (i + 1 < FExternalUnits.size() ? L"," : L";"));
    }
  }
  FOut.Add(std::wstring());
  WriteConstants();
  WriteEnums();

  FOut.Add(L"type");
  bool forward = false;
  for (TDecl& decl : FDecls) {
    if (!decl.Attr || decl.Skip) continue;
    if (decl.Kind == TKIND_INTERFACE || (decl.Kind == TKIND_DISPATCH && decl.Vtbl)) {
      FOut.Add(L"  " + decl.Name + L" = interface;");
      forward = true;
    }
    if (decl.Kind == TKIND_DISPATCH) {
      FOut.Add(L"  " + decl.DispName + L" = dispinterface;");
      forward = true;
    }
  }
  if (forward) FOut.Add(std::wstring());
  for (const auto& [name, target] : FPointers) FOut.Add(L"  " + name + L" = ^" + target + L";");
  if (!FPointers.empty()) FOut.Add(std::wstring());
  for (size_t i = 0; i < FBody.Count(); ++i) FOut.Add(FBody[i]);
  FOut.Add(L"implementation");
  FOut.Add(std::wstring());
  for (const std::wstring& line : FImplementation) FOut.Add(line);
  FOut.Add(L"end.");
}

}  // namespace

std::wstring PascalIdentifier(std::wstring_view AName) { return Escaped(Sanitized(AName)); }

std::wstring ImportUnitName(std::wstring_view ALibraryName) { return Sanitized(TruncateAtNul(std::wstring(ALibraryName))) + L"_TLB"; }

TVtableLayout PlanVtable(const std::vector<int>& AOffsets, int ASizeVft, int APointerSize, int ABaseSlots,
                         int ADeclaredBaseSlots) {
  TVtableLayout layout;
  const int pointer = APointerSize == 8 ? 8 : 4;
  const int total = ASizeVft > 0 && ASizeVft % pointer == 0 ? ASizeVft / pointer : 0;
  const bool sameOffsets =
      AOffsets.size() > 1 && std::all_of(AOffsets.begin(), AOffsets.end(), [&](int A) { return A == AOffsets[0]; });
  if (sameOffsets || (ASizeVft == 0 && std::all_of(AOffsets.begin(), AOffsets.end(), [](int A) { return A == 0; }))) {
    return layout;  // no layout to follow
  }
  layout.Known = true;
  std::wstring refusal;
  int bestGaps = -1;
  for (int size : {pointer, pointer == 8 ? 4 : 8}) {
    std::vector<int> slots;
    std::set<int> taken;
    std::wstring why;
    for (int offset : AOffsets) {
      if (offset < 0 || offset % size != 0) {
        why = L"a vtable offset is no multiple of a pointer";
        break;
      }
      const int slot = offset / size;
      if (slot < ABaseSlots) {
        why = L"a vtable offset lies inside the base interface";
        break;
      }
      if (!taken.insert(slot).second) {
        why = L"two members share a vtable slot";
        break;
      }
      slots.push_back(slot);
    }
    if (!why.empty()) {
      if (refusal.empty()) refusal = why;
      continue;
    }
    const int count = std::max({total, ABaseSlots, taken.empty() ? 0 : *taken.rbegin() + 1});
    const int gaps = count - ABaseSlots - static_cast<int>(slots.size());
    if (bestGaps < 0 || gaps < bestGaps) {
      bestGaps = gaps;
      layout.Slots = std::move(slots);
      layout.Count = count;
    }
  }
  if (bestGaps < 0) {
    layout.Refusal = refusal;
    return layout;
  }
  for (int slot : layout.Slots) {
    if (slot < ADeclaredBaseSlots) {
      layout.Refusal = L"the base interface the unit can name has more methods than the library's base";
      return layout;
    }
  }
  layout.Count = std::max(layout.Count, ADeclaredBaseSlots);
  return layout;
}

void GenerateCompilableUnit(const TObjectData& AData, ITypeLib* ALib, TLineList& ALines, std::wstring& AUnitName) {
  TImportWriter writer(AData, ALib, ALines);
  writer.Run(AUnitName);
}

void GenerateCompilableUnit(const TObjectData& AData, ITypeLib* ALib, TLineList& ALines, std::wstring& AUnitName,
                            std::vector<TImportedLibrary>* AImports, const std::vector<GUID>& AStandIns) {
  TImportWriter writer(AData, ALib, ALines, AStandIns);
  writer.Run(AUnitName);
  if (AImports) *AImports = writer.Imports();
}

void GenerateLayoutCheck(const TObjectData& AData, ITypeLib* ALib, TLineList& ALines) {
  TLineList unit;
  std::wstring unitName;
  TImportWriter writer(AData, ALib, unit);
  writer.Run(unitName);
  ALines.Add(L"// Checks the records of " + unitName + L" against the sizes and field offsets the library gives.");
  ALines.Add(L"program LayoutCheck;");
  ALines.Add(std::wstring());
  ALines.Add(L"{$IFDEF FPC}");
  ALines.Add(L"  {$MODE DELPHI}");
  ALines.Add(L"{$ENDIF}");
  ALines.Add(L"{$APPTYPE CONSOLE}");
  ALines.Add(std::wstring());
  ALines.Add(L"uses " + unitName + L";");
  ALines.Add(std::wstring());
  ALines.Add(L"var");
  ALines.Add(L"  Failures: Integer = 0;");
  const auto& layouts = writer.Layouts();
  for (size_t i = 0; i < layouts.size(); ++i) ALines.Add(L"  R" + std::to_wstring(i) + L": " + layouts[i].Name + L";");
  ALines.Add(std::wstring());
  ALines.Add(L"procedure Check(const AName: string; AActual, AExpected: NativeInt);");
  ALines.Add(L"begin");
  ALines.Add(L"  if AActual = AExpected then Exit;");
  ALines.Add(L"  WriteLn('FAIL ', AName, ': ', AActual, ' where the library says ', AExpected);");
  ALines.Add(L"  Inc(Failures);");
  ALines.Add(L"end;");
  ALines.Add(std::wstring());
  ALines.Add(L"begin");
  for (size_t i = 0; i < layouts.size(); ++i) {
    const std::wstring var = L"R" + std::to_wstring(i);
    const std::wstring shown = PascalString(layouts[i].Name);
    ALines.Add(L"  Check(" + shown + L", SizeOf(" + var + L"), " + std::to_wstring(layouts[i].Size) + L");");
    for (const auto& field : layouts[i].Fields) {
      if (field.Name.empty()) continue;
      ALines.Add(L"  Check(" + PascalString(layouts[i].Name + L"." + field.Name) + L", NativeInt(@" + var + L"." +
                 field.Name + L") - NativeInt(@" + var + L"), " + std::to_wstring(field.Offset) + L");");
    }
  }
  ALines.Add(L"  WriteLn(" + std::to_wstring(layouts.size()) + L", ' records checked, ', Failures, ' differences');");
  ALines.Add(L"  if Failures > 0 then Halt(1);");
  ALines.Add(L"end.");
}

}  // namespace vantrel
