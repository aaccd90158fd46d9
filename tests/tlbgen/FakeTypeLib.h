// A type library made of plain records, answering ITypeLib and ITypeInfo from them, for what no
// compiler writes into a real library: NUL characters in names, calls that fail, odd type codes.
// It counts every attribute record and description it hands out, and every reference taken on
// its objects, so a test can check that the generator gave all of them back.
#pragma once

#include <windows.h>
#include <oaidl.h>

#include <deque>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace vantrel::test {

// A VARIANT that owns its value and copies it with VariantCopy.
class TOwnedVariant {
 public:
  TOwnedVariant() { VariantInit(&FValue); }
  TOwnedVariant(const TOwnedVariant& AOther) : TOwnedVariant() { VariantCopy(&FValue, const_cast<VARIANT*>(&AOther.FValue)); }
  TOwnedVariant& operator=(const TOwnedVariant& AOther) {
    if (this != &AOther) VariantCopy(&FValue, const_cast<VARIANT*>(&AOther.FValue));
    return *this;
  }
  ~TOwnedVariant() { VariantClear(&FValue); }
  static TOwnedVariant Int(LONG AValue);
  static TOwnedVariant Text(const std::wstring& AValue);
  static TOwnedVariant Double(double AValue);
  static TOwnedVariant Bool(bool AValue);
  static TOwnedVariant Null();
  static TOwnedVariant Error(SCODE AValue);
  VARIANT* get() { return &FValue; }
  const VARIANT* get() const { return &FValue; }

 private:
  VARIANT FValue;
};

// Type descriptions whose nested parts (pointed-to types, array shapes) stay alive as long as
// the pool.
class TTypePool {
 public:
  TYPEDESC Basic(VARTYPE AType);
  TYPEDESC Ptr(const TYPEDESC& ATarget);
  TYPEDESC SafeArray(const TYPEDESC& AElement);
  TYPEDESC CArray(const TYPEDESC& AElement, std::initializer_list<ULONG> ACounts);
  TYPEDESC User(HREFTYPE ARefType);

 private:
  std::deque<TYPEDESC> FDescs;
  std::vector<std::unique_ptr<BYTE[]>> FArrays;
};

struct TFakeParam {
  std::wstring Name;
  TYPEDESC Type = {};
  USHORT Flags = 0;
  bool HasDefault = false;  // gives the parameter a PARAMDESCEX holding Default
  TOwnedVariant Default;
};

struct TFakeFunc {
  MEMBERID MemberId = 0;
  FUNCKIND FuncKind = FUNC_PUREVIRTUAL;
  INVOKEKIND InvokeKind = INVOKE_FUNC;
  TYPEDESC Result = {};
  std::vector<TFakeParam> Params;
  std::wstring Name;
  std::wstring Doc;
  // What GetNames gives when set; otherwise Name and the parameters' names.
  bool ExplicitNames = false;
  std::vector<std::wstring> Names;
  HRESULT DescResult = S_OK;
  HRESULT NamesResult = S_OK;
  HRESULT DocResult = S_OK;
  // Its place in the vtable (oVft, in bytes) and its calling convention.
  SHORT VtableOffset = 0;
  CALLCONV CallConv = CC_STDCALL;
  // A module's function: GetDllEntry's answer when Dll is set, by Entry or else by Ordinal.
  std::wstring Dll;
  std::wstring Entry;
  WORD Ordinal = 0;
};

struct TFakeVar {
  MEMBERID MemberId = 0;
  VARKIND Kind = VAR_PERINSTANCE;
  TYPEDESC Type = {};
  bool HasValue = true;  // a constant without a value record hands out a null pointer
  TOwnedVariant Value;
  std::wstring Name;
  std::wstring Doc;
  HRESULT DescResult = S_OK;
  HRESULT DocResult = S_OK;
  ULONG Offset = 0;  // oInst: the field's place in its record
  WORD Flags = 0;    // VARFLAG_...
};

struct TFakeType {
  std::wstring Name;
  std::wstring Doc;
  TYPEKIND Kind = TKIND_RECORD;
  WORD Flags = 0;
  GUID Guid = {};
  TYPEDESC Alias = {};
  std::vector<TFakeFunc> Funcs;
  std::vector<TFakeVar> Vars;
  std::vector<HREFTYPE> ImplTypes;
  // GetImplTypeFlags' answers for the first implemented types (IMPLTYPEFLAG_...); it fails for the others.
  std::vector<INT> ImplTypeFlags;
  WORD SizeVft = 0;  // cbSizeVft: the vtable's size in bytes, the base's included
  ULONG Size = 0;       // cbSizeInstance
  WORD Alignment = 0;   // cbAlignment
  // Answers of the library for this index, and of the description itself.
  HRESULT LibDocResult = S_OK;
  HRESULT KindResult = S_OK;
  HRESULT InfoResult = S_OK;
  HRESULT AttrResult = S_OK;
  HRESULT TypeDocResult = S_OK;
};

class TFakeTypeInfo;
class TFakeTypeLibObject;

class TFakeLibrary {
 public:
  TFakeLibrary();
  ~TFakeLibrary();
  TFakeLibrary(const TFakeLibrary&) = delete;
  TFakeLibrary& operator=(const TFakeLibrary&) = delete;

  std::wstring Name;
  std::wstring Doc;
  std::wstring HelpFile;
  // GetLibAttr's answer when set; without it the library cannot say which it is, and its own
  // types referred to by handle count as another library's.
  bool HasAttr = false;
  TLIBATTR Attr = {};
  HRESULT DocResult = S_OK;
  std::vector<TFakeType> Types;
  // Reference handles: the index of the type they lead to, or a failure code.
  std::map<HREFTYPE, size_t> Refs;
  std::map<HREFTYPE, HRESULT> FailingRefs;
  TTypePool Pool;

  // The COM objects; the specs above must not change once these have been asked for.
  ITypeLib* Lib();
  ITypeInfo* Info(size_t AIndex);

  // Attribute records and descriptions handed out and not given back, and records given back
  // that were never handed out (or twice).
  int Outstanding() const { return FOutstanding; }
  int BadReleases() const { return FBadReleases; }
  // True when every reference taken on the objects was given back.
  bool ReferencesBalanced() const;

 private:
  friend class TFakeTypeInfo;
  friend class TFakeTypeLibObject;
  void Build();

  std::unique_ptr<TFakeTypeLibObject> FLib;
  std::vector<std::unique_ptr<TFakeTypeInfo>> FInfos;
  int FOutstanding = 0;
  int FBadReleases = 0;
};

}  // namespace vantrel::test
