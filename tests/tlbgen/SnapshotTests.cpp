// The record a reader sends of a library: real libraries replay to the same units, and a record
// that is damaged in any way is refused or replayed without harm.
#include <gtest/gtest.h>
#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <random>
#include <tuple>

#include "base/Zarvek_Handles.h"
#include "base/Zarvek_SysUtils.h"
#include "tests/tlbgen/FakeBuilders.h"
#include "tests/tlbgen/GeneratorTestSupport.h"
#include "typelib/TypeInfoSource.h"
#include "typelib/TypeLibLoader.h"
#include "typelib/TypeLibSnapshot.h"

using namespace vantrel;
using namespace vantrel::test;

namespace {

// The widl fixture and Wine's own libraries.
std::vector<std::wstring> LibraryFiles() {
  std::vector<std::wstring> files = WineLibraryFiles();
  files.insert(files.begin(), FixturePath(L"Shapes.tlb"));
  return files;
}

std::string FixtureRecord(const std::wstring& AName) {
  TComPtr<ITypeLib> lib;
  EXPECT_EQ(LoadTypeLibraryFile(FixturePath(AName), lib), S_OK);
  return lib ? RecordTypeLibrary(lib.get()) : std::string();
}

std::string ShapesRecord() { return FixtureRecord(L"Shapes.tlb"); }

std::string Hex(HRESULT AValue) {
  char text[16];
  std::snprintf(text, sizeof(text), "%08lX", static_cast<unsigned long>(AValue));
  return text;
}

std::string GuidText(const GUID& AGuid) {
  wchar_t text[40] = {};
  StringFromGUID2(AGuid, text, 40);
  return WideToCodePage(text, CP_UTF8);
}

// A value as its type and text.
std::string ValueText(const VARIANT& AValue) {
  std::string result = std::to_string(V_VT(&AValue)) + ":";
  TVariant text;
  if (SUCCEEDED(VariantChangeTypeEx(text.get(), const_cast<VARIANT*>(&AValue), LOCALE_INVARIANT, 0, VT_BSTR))) {
    result += WideToCodePage(std::wstring(WholeText(V_BSTR(text.get()))), CP_UTF8);
  }
  return result;
}

// The GUID of the fixture's library text.
constexpr GUID kLibraryTextGuid = {0x3E8B6F20, 0x7C14, 0x4D5A, {0x8E, 0x61, 0x00, 0x00, 0x0C, 0x0D, 0xA0, 0x01}};
// A GUID no library here stores data under.
constexpr GUID kUnknownGuid = {0x3E8B6F20, 0x7C14, 0x4D5A, {0x8E, 0x61, 0x00, 0x00, 0x0C, 0x0D, 0xFF, 0xFF}};

// What ITypeLib2 and ITypeInfo2 answer of a library, one line per answer: every GetAll*CustData
// call at every position and one past the last, each item looked up again by its GUID, a GUID
// that is not there, and the kinds, flags and member positions. The library's list is walked, and
// the interface face of each dual interface.
class TSecondInterfaceProbe {
 public:
  std::vector<std::string> Lines;

  void Library(ITypeLib* ALib) {
    TComPtr<ITypeLib2> lib;
    if (SUCCEEDED(ALib->QueryInterface(IID_ITypeLib2, lib.put_void())) && lib) {
      Custom("library", [&](CUSTDATA* AData) { return lib->GetAllCustData(AData); },
             [&](REFGUID AGuid, VARIANT* AValue) { return lib->GetCustData(AGuid, AValue); });
    } else {
      Lines.push_back("library: no ITypeLib2");
    }
    for (UINT i = 0; i < ALib->GetTypeInfoCount(); ++i) {
      TComPtr<ITypeInfo> info;
      if (FAILED(ReadTypeInfo(ALib, i, info))) continue;
      std::wstring name;
      ReadTypeDocumentation(info.get(), MEMBERID_NIL, &name, nullptr);
      const std::string label = "type " + WideToCodePage(name, CP_UTF8);
      Type(label, info.get());
      HREFTYPE face = 0;
      TComPtr<ITypeInfo> faceInfo;
      if (SUCCEEDED(info->GetRefTypeOfImplType(static_cast<UINT>(-1), &face)) &&
          SUCCEEDED(ReadRefTypeInfo(info.get(), face, faceInfo))) {
        Type(label + " interface face", faceInfo.get());
      }
    }
  }

 private:
  template <class TAll, class TOne>
  void Custom(const std::string& ALabel, TAll AAll, TOne AOne) {
    TCustDataHolder data;
    const HRESULT hr = AAll(data.put());
    std::string line = ALabel + ": " + Hex(hr);
    const CUSTDATA& items = data.get();
    for (DWORD i = 0; SUCCEEDED(hr) && i < items.cCustData; ++i) {
      TVariant value;
      const HRESULT found = AOne(items.prgCustData[i].guid, value.get());
      line.append(" ").append(GuidText(items.prgCustData[i].guid)).append("=");
      line.append(ValueText(items.prgCustData[i].varValue)).append(" (by GUID ").append(Hex(found));
      line.append(" ").append(ValueText(*value.get())).append(")");
    }
    TVariant none;
    const HRESULT missing = AOne(kUnknownGuid, none.get());
    line.append("; unknown GUID ").append(Hex(missing)).append(" ").append(ValueText(*none.get()));
    Lines.push_back(line);
  }

  void Type(const std::string& ALabel, ITypeInfo* AInfo) {
    TComPtr<ITypeInfo2> info;
    TTypeAttrHolder attr(AInfo);
    if (FAILED(AInfo->QueryInterface(IID_ITypeInfo2, info.put_void())) || !info || FAILED(attr.Fetch())) {
      Lines.push_back(ALabel + ": no ITypeInfo2 or attributes");
      return;
    }
    TYPEKIND kind = TKIND_MAX;
    ULONG flags = 0;
    HRESULT kindResult = info->GetTypeKind(&kind);
    HRESULT flagsResult = info->GetTypeFlags(&flags);
    // The replay answers from the attributes, where Wine leaves FOLEAUTOMATION out of a
    // dispinterface's flags; its GetTypeFlags keeps it.
    if (kind == TKIND_DISPATCH) flags &= ~static_cast<ULONG>(TYPEFLAG_FOLEAUTOMATION);
    Lines.push_back(ALabel + " kind " + Hex(kindResult) + " " + std::to_string(kind) + " flags " + Hex(flagsResult) +
                    " " + std::to_string(flags));
    Custom(ALabel, [&](CUSTDATA* AData) { return info->GetAllCustData(AData); },
           [&](REFGUID AGuid, VARIANT* AValue) { return info->GetCustData(AGuid, AValue); });
    for (UINT f = 0; f <= attr->cFuncs; ++f) {
      const std::string func = ALabel + " function " + std::to_string(f);
      Custom(func, [&](CUSTDATA* AData) { return info->GetAllFuncCustData(f, AData); },
             [&](REFGUID AGuid, VARIANT* AValue) { return info->GetFuncCustData(f, AGuid, AValue); });
      TFuncDescHolder desc(AInfo);
      const UINT params = SUCCEEDED(desc.Fetch(f)) ? static_cast<UINT>(std::max<SHORT>(desc->cParams, 0)) : 0;
      for (UINT p = 0; p <= params; ++p) {
        Custom(func + " parameter " + std::to_string(p),
               [&](CUSTDATA* AData) { return info->GetAllParamCustData(f, p, AData); },
               [&](REFGUID AGuid, VARIANT* AValue) { return info->GetParamCustData(f, p, AGuid, AValue); });
      }
      // Wine looks a dispinterface's members up among its own functions only and answers their
      // positions among those; the replay answers GetFuncDesc's positions.
      if (desc && kind != TKIND_DISPATCH) {
        UINT index = 9999;
        const HRESULT hr = info->GetFuncIndexOfMemId(desc->memid, desc->invkind, &index);
        Lines.push_back(func + " by member " + Hex(hr) + " " + std::to_string(index));
      }
    }
    for (UINT v = 0; v <= attr->cVars; ++v) {
      const std::string var = ALabel + " variable " + std::to_string(v);
      Custom(var, [&](CUSTDATA* AData) { return info->GetAllVarCustData(v, AData); },
             [&](REFGUID AGuid, VARIANT* AValue) { return info->GetVarCustData(v, AGuid, AValue); });
      TVarDescHolder desc(AInfo);
      if (SUCCEEDED(desc.Fetch(v))) {
        UINT index = 9999;
        const HRESULT hr = info->GetVarIndexOfMemId(desc->memid, &index);
        Lines.push_back(var + " by member " + Hex(hr) + " " + std::to_string(index));
      }
    }
    // Wine's loader crashes when asked for a dispinterface's implemented type's custom data.
    const UINT implTypes = attr->typekind == TKIND_DISPATCH ? 0 : attr->cImplTypes + 1u;
    for (UINT i = 0; i < implTypes; ++i) {
      Custom(ALabel + " implemented type " + std::to_string(i),
             [&](CUSTDATA* AData) { return info->GetAllImplTypeCustData(i, AData); },
             [&](REFGUID AGuid, VARIANT* AValue) { return info->GetImplTypeCustData(i, AGuid, AValue); });
    }
    UINT index = 9999;
    const HRESULT func = info->GetFuncIndexOfMemId(0x7EADBEEF, INVOKE_FUNC, &index);
    const HRESULT var = info->GetVarIndexOfMemId(0x7EADBEEF, &index);
    Lines.push_back(ALabel + " unknown member " + Hex(func) + " " + Hex(var));
  }
};

std::vector<std::string> SecondInterfaceAnswers(ITypeLib* ALib) {
  TSecondInterfaceProbe probe;
  probe.Library(ALib);
  return probe.Lines;
}

// How many references the object holds.
ULONG References(IUnknown* AObject) {
  AObject->AddRef();
  return AObject->Release();
}

std::wstring ReplayFailure(const std::string& ARecord) {
  try {
    ReplayTypeLibrary(ARecord);
  } catch (const ESnapshotError& e) {
    return e.Reason();
  }
  return L"";
}

// Every cut of a record is refused; changed bytes make it refused or replay harmlessly.
void CheckDamagedCopies(const std::string& ARecord) {
  for (size_t length = 0; length < ARecord.size(); ++length) {
    EXPECT_FALSE(ReplayFailure(ARecord.substr(0, length)).empty()) << "cut at " << length;
  }
  std::mt19937 random(20261210);
  size_t refused = 0, replayed = 0;
  for (int round = 0; round < 3000; ++round) {
    std::string damaged = ARecord;
    const int changes = 1 + static_cast<int>(random() % 4);
    for (int c = 0; c < changes; ++c) {
      const size_t pos = random() % damaged.size();
      switch (random() % 3) {
        case 0: damaged[pos] = static_cast<char>(damaged[pos] ^ (1 << (random() % 8))); break;
        case 1: damaged[pos] = static_cast<char>(random()); break;
        default: damaged.replace(pos, std::min<size_t>(4, damaged.size() - pos), std::string(4, '\xFF')); break;
      }
    }
    damaged.resize(std::min(damaged.size(), ARecord.size()));
    try {
      TSnapshotContent content = ReplayTypeLibrary(damaged);
      if (content.Library) {
        GenerateUnit(content.Library.get());
        SecondInterfaceAnswers(content.Library.get());
      }
      ++replayed;
    } catch (const ESnapshotError&) {
      ++refused;
    }
  }
  EXPECT_GT(refused, 0u);
  EXPECT_GT(replayed, 0u);
}

}  // namespace

TEST(TypeLibSnapshot, ReplayedLibrariesGiveTheUnitsOfTheLoadedOnes) {
  TComInit com;
  for (const std::wstring& path : LibraryFiles()) {
    const std::string label = WideToCodePage(path, CP_UTF8);
    TComPtr<ITypeLib> lib;
    ASSERT_EQ(LoadTypeLibraryFile(path, lib), S_OK) << label;
    TObjectData data;
    data.Server = path;
    const TGenerated loaded = GenerateUnit(lib.get(), data);
    TSnapshotContent replayed = ReplayTypeLibrary(RecordTypeLibrary(lib.get()));
    ASSERT_TRUE(replayed.Library) << label;
    const TGenerated again = GenerateUnit(replayed.Library.get(), data);
    EXPECT_EQ(again.UnitName, loaded.UnitName) << label;
    ASSERT_EQ(again.Lines.size(), loaded.Lines.size()) << label;
    for (size_t i = 0; i < loaded.Lines.size(); ++i) {
      ASSERT_EQ(again.Lines[i], loaded.Lines[i]) << label << " line " << i + 1;
    }
  }
}

TEST(TypeLibSnapshot, ReplayedDescriptionsAnswerAsTheLoadedOnes) {
  TComInit com;
  TComPtr<ITypeLib> lib;
  ASSERT_EQ(LoadTypeLibraryFile(FixturePath(L"Shapes.tlb"), lib), S_OK);
  TSnapshotContent replayed = ReplayTypeLibrary(RecordTypeLibrary(lib.get()));
  ASSERT_TRUE(replayed.Library);
  ITypeLib* copy = replayed.Library.get();
  ASSERT_EQ(copy->GetTypeInfoCount(), lib->GetTypeInfoCount());

  TLIBATTR* attr = nullptr;
  TLIBATTR* copyAttr = nullptr;
  ASSERT_EQ(lib->GetLibAttr(&attr), S_OK);
  ASSERT_EQ(copy->GetLibAttr(&copyAttr), S_OK);
  EXPECT_EQ(copyAttr->guid, attr->guid);
  EXPECT_EQ(copyAttr->wMajorVerNum, attr->wMajorVerNum);
  EXPECT_EQ(copyAttr->wMinorVerNum, attr->wMinorVerNum);
  lib->ReleaseTLibAttr(attr);
  copy->ReleaseTLibAttr(copyAttr);

  for (UINT i = 0; i < lib->GetTypeInfoCount(); ++i) {
    TComPtr<ITypeInfo> info, copyInfo;
    ASSERT_EQ(ReadTypeInfo(lib.get(), i, info), S_OK);
    ASSERT_EQ(ReadTypeInfo(copy, i, copyInfo), S_OK);
    TTypeAttrHolder typeAttr(info.get()), copyTypeAttr(copyInfo.get());
    ASSERT_EQ(typeAttr.Fetch(), S_OK);
    ASSERT_EQ(copyTypeAttr.Fetch(), S_OK);
    EXPECT_EQ(copyTypeAttr->guid, typeAttr->guid);
    EXPECT_EQ(copyTypeAttr->typekind, typeAttr->typekind);
    EXPECT_EQ(copyTypeAttr->cFuncs, typeAttr->cFuncs);
    EXPECT_EQ(copyTypeAttr->cbSizeVft, typeAttr->cbSizeVft);
    // The library's own descriptions know their place in it; the implemented ones answer too.
    TComPtr<ITypeLib> container;
    UINT index = 99;
    EXPECT_EQ(copyInfo->GetContainingTypeLib(container.put(), &index), S_OK);
    EXPECT_EQ(index, i);
    EXPECT_EQ(container.get(), copy);
    for (UINT impl = 0; impl < typeAttr->cImplTypes; ++impl) {
      INT flags = -1, copyFlags = -2;
      EXPECT_EQ(info->GetImplTypeFlags(impl, &flags), copyInfo->GetImplTypeFlags(impl, &copyFlags));
      EXPECT_EQ(copyFlags, flags);
    }
    for (UINT f = 0; f < typeAttr->cFuncs; ++f) {
      TFuncDescHolder func(info.get()), copyFunc(copyInfo.get());
      ASSERT_EQ(func.Fetch(f), S_OK);
      ASSERT_EQ(copyFunc.Fetch(f), S_OK);
      EXPECT_EQ(copyFunc->oVft, func->oVft);
      EXPECT_EQ(copyFunc->callconv, func->callconv);
      EXPECT_EQ(copyFunc->cParamsOpt, func->cParamsOpt);
      EXPECT_EQ(copyFunc->wFuncFlags, func->wFuncFlags);
    }
  }
  // Positions and members the library does not have fail as they fail on the loaded library.
  TComPtr<ITypeInfo> none;
  EXPECT_EQ(ReadTypeInfo(copy, copy->GetTypeInfoCount(), none), TYPE_E_ELEMENTNOTFOUND);
  EXPECT_EQ(copy->GetDocumentation(static_cast<INT>(copy->GetTypeInfoCount()), nullptr, nullptr, nullptr, nullptr),
            TYPE_E_ELEMENTNOTFOUND);
}

// Custom data, kinds, flags and member positions come through the record as the loader gives them,
// failures for positions past the end included.
TEST(TypeLibSnapshot, ReplayedLibrariesAnswerTheSecondInterfacesAsTheLoadedOnes) {
  TComInit com;
  std::vector<std::wstring> files = LibraryFiles();
  files.insert(files.begin(), FixturePath(L"CustomData.tlb"));
  for (const std::wstring& path : files) {
    const std::string label = WideToCodePage(path, CP_UTF8);
    TComPtr<ITypeLib> lib;
    ASSERT_EQ(LoadTypeLibraryFile(path, lib), S_OK) << label;
    const std::vector<std::string> loaded = SecondInterfaceAnswers(lib.get());
    TSnapshotContent replayed = ReplayTypeLibrary(RecordTypeLibrary(lib.get()));
    ASSERT_TRUE(replayed.Library) << label;
    const std::vector<std::string> again = SecondInterfaceAnswers(replayed.Library.get());
    ASSERT_EQ(again.size(), loaded.size()) << label;
    for (size_t i = 0; i < loaded.size(); ++i) ASSERT_EQ(again[i], loaded[i]) << label;
  }
}

// Each item of the fixture comes back where CustomData.idl declares it, and by its GUID.
TEST(TypeLibSnapshot, ReplayedCustomDataIsWhereTheFixtureDeclaresIt) {
  TComInit com;
  TSnapshotContent replayed = ReplayTypeLibrary(FixtureRecord(L"CustomData.tlb"));
  ASSERT_TRUE(replayed.Library);
  const std::vector<std::string> lines = SecondInterfaceAnswers(replayed.Library.get());
  const struct {
    const char* Part;
    const char* Item;
  } cases[] = {
      {"library", "{3E8B6F20-7C14-4D5A-8E61-00000C0DA001}=8:library text (by GUID 00000000 8:library text)"},
      {"library", "{3E8B6F20-7C14-4D5A-8E61-00000C0DA002}=3:42 (by GUID 00000000 3:42)"},
      {"type Extent", "{3E8B6F20-7C14-4D5A-8E61-00000C0DA003}=8:struct text (by GUID 00000000 8:struct text)"},
      {"type Extent variable 1", "{3E8B6F20-7C14-4D5A-8E61-00000C0DA004}=3:7 (by GUID 00000000 3:7)"},
      {"type IMeasure", "{3E8B6F20-7C14-4D5A-8E61-00000C0DA005}=8:interface text (by GUID 00000000 8:interface text)"},
      {"type IMeasure function 1", "{3E8B6F20-7C14-4D5A-8E61-00000C0DA006}=8:method text (by GUID 00000000 8:method text)"},
      {"type IMeasure function 1", "{3E8B6F20-7C14-4D5A-8E61-00000C0DA007}=3:0 (by GUID 00000000 3:0)"},
      {"type IMeasure function 1 parameter 1",
       "{3E8B6F20-7C14-4D5A-8E61-00000C0DA008}=8:param text (by GUID 00000000 8:param text)"},
      {"type IRuler interface face function 1",
       "{3E8B6F20-7C14-4D5A-8E61-00000C0DA009}=3:2147483647 (by GUID 00000000 3:2147483647)"},
      {"type IRuler interface face function 1 parameter 0",
       "{3E8B6F20-7C14-4D5A-8E61-00000C0DA00A}=8:dual param (by GUID 00000000 8:dual param)"},
      {"type IRuler interface face function 2 parameter 0",
       "{3E8B6F20-7C14-4D5A-8E61-00000C0DA00B}=8:retval param (by GUID 00000000 8:retval param)"},
      // The dispinterface face: IDispatch's seven methods first; Length's get has no parameter
      // in its description.
      {"type IRuler function 8",
       "{3E8B6F20-7C14-4D5A-8E61-00000C0DA009}=3:2147483647 (by GUID 00000000 3:2147483647)"},
      {"type IRuler function 9 parameter 0",
       "{3E8B6F20-7C14-4D5A-8E61-00000C0DA00B}=8:retval param (by GUID 00000000 8:retval param)"},
  };
  for (const auto& c : cases) {
    const std::string start = std::string(c.Part) + ": 00000000 ";
    auto line = std::find_if(lines.begin(), lines.end(), [&](const std::string& A) { return A.rfind(start, 0) == 0; });
    ASSERT_NE(line, lines.end()) << c.Part;
    EXPECT_NE(line->find(c.Item), std::string::npos) << *line;
  }
}

// A member's position found by its id is the one GetFuncDesc and GetVarDesc give it, in the faces
// of a dual interface too.
TEST(TypeLibSnapshot, ReplayedMemberPositionsLeadToTheirDescriptions) {
  TComInit com;
  TSnapshotContent replayed = ReplayTypeLibrary(FixtureRecord(L"CustomData.tlb"));
  ASSERT_TRUE(replayed.Library);
  ITypeLib* lib = replayed.Library.get();
  size_t checked = 0;
  for (UINT i = 0; i < lib->GetTypeInfoCount(); ++i) {
    TComPtr<ITypeInfo> info;
    ASSERT_EQ(ReadTypeInfo(lib, i, info), S_OK);
    TComPtr<ITypeInfo2> info2;
    ASSERT_EQ(info->QueryInterface(IID_ITypeInfo2, info2.put_void()), S_OK);
    TTypeAttrHolder attr(info.get());
    ASSERT_EQ(attr.Fetch(), S_OK);
    for (UINT f = 0; f < attr->cFuncs; ++f) {
      TFuncDescHolder func(info.get());
      ASSERT_EQ(func.Fetch(f), S_OK);
      UINT index = 9999;
      EXPECT_EQ(info2->GetFuncIndexOfMemId(func->memid, func->invkind, &index), S_OK);
      EXPECT_EQ(index, f) << i << " " << f;
      ++checked;
    }
    for (UINT v = 0; v < attr->cVars; ++v) {
      TVarDescHolder var(info.get());
      ASSERT_EQ(var.Fetch(v), S_OK);
      UINT index = 9999;
      EXPECT_EQ(info2->GetVarIndexOfMemId(var->memid, &index), S_OK);
      EXPECT_EQ(index, v) << i << " " << v;
      ++checked;
    }
  }
  // The dual interface's dispinterface face alone has 11 functions.
  EXPECT_GE(checked, 15u);
}

// A loader without ITypeLib2 and ITypeInfo2 (here a fake) gives no custom data: the replay has
// none, while positions the descriptions do not have still fail.
TEST(TypeLibSnapshot, LibrariesWithoutSecondInterfacesReplayWithoutCustomData) {
  TComInit com;
  TFakeLibrary fake;
  fake.Name = L"Plain";
  TFakeType iface = Type(TKIND_INTERFACE, L"IPlain");
  iface.Funcs.push_back(Func(5, L"Go", fake.Pool.Basic(VT_HRESULT), {Param(L"speed", fake.Pool.Basic(VT_I4))}));
  TFakeType record = Type(TKIND_RECORD, L"Pair");
  record.Vars.push_back(Field(7, L"left", fake.Pool.Basic(VT_I4)));
  fake.Types = {iface, record};
  TSnapshotContent replayed = ReplayTypeLibrary(RecordTypeLibrary(fake.Lib()));
  ASSERT_TRUE(replayed.Library);
  const std::vector<std::string> expected = {
      "library: 00000000; unknown GUID 8002802B 0:",
      "type IPlain kind 00000000 3 flags 00000000 0",
      "type IPlain: 00000000; unknown GUID 00000000 0:",
      "type IPlain function 0: 00000000; unknown GUID 00000000 0:",
      "type IPlain function 0 parameter 0: 00000000; unknown GUID 8002802B 0:",
      "type IPlain function 0 parameter 1: 8002802B; unknown GUID 8002802B 0:",
      "type IPlain function 0 by member 00000000 0",
      "type IPlain function 1: 8002802B; unknown GUID 8002802B 0:",
      "type IPlain function 1 parameter 0: 8002802B; unknown GUID 8002802B 0:",
      "type IPlain variable 0: 8002802B; unknown GUID 8002802B 0:",
      "type IPlain implemented type 0: 8002802B; unknown GUID 8002802B 0:",
      "type IPlain unknown member 8002802B 8002802B",
      "type Pair kind 00000000 1 flags 00000000 0",
      "type Pair: 00000000; unknown GUID 00000000 0:",
      "type Pair function 0: 8002802B; unknown GUID 8002802B 0:",
      "type Pair function 0 parameter 0: 8002802B; unknown GUID 8002802B 0:",
      "type Pair variable 0: 00000000; unknown GUID 8002802B 0:",
      "type Pair variable 0 by member 00000000 0",
      "type Pair variable 1: 8002802B; unknown GUID 8002802B 0:",
      "type Pair implemented type 0: 8002802B; unknown GUID 8002802B 0:",
      "type Pair unknown member 8002802B 8002802B",
  };
  EXPECT_EQ(SecondInterfaceAnswers(replayed.Library.get()), expected);
  EXPECT_TRUE(fake.ReferencesBalanced());
}

// ITypeLib2 and ITypeInfo2 are faces of the replayed objects: they count their references on the
// library, keep it alive alone, and lead back to the same objects.
TEST(TypeLibSnapshot, SecondInterfacesAreFacesOfTheReplayedObjects) {
  TComInit com;
  TSnapshotContent replayed = ReplayTypeLibrary(FixtureRecord(L"CustomData.tlb"));
  ASSERT_TRUE(replayed.Library);
  ITypeLib* lib = replayed.Library.get();
  TComPtr<ITypeInfo> info;
  ASSERT_EQ(ReadTypeInfo(lib, 0, info), S_OK);
  const ULONG held = References(lib);
  TComPtr<ITypeLib2> lib2;
  TComPtr<ITypeInfo2> info2;
  ASSERT_EQ(lib->QueryInterface(IID_ITypeLib2, lib2.put_void()), S_OK);
  ASSERT_EQ(info->QueryInterface(IID_ITypeInfo2, info2.put_void()), S_OK);
  EXPECT_EQ(References(lib), held + 2);
  {
    TComPtr<IUnknown> first, second;
    ASSERT_EQ(lib->QueryInterface(IID_IUnknown, first.put_void()), S_OK);
    ASSERT_EQ(lib2->QueryInterface(IID_IUnknown, second.put_void()), S_OK);
    EXPECT_EQ(first.get(), second.get());
    TComPtr<ITypeInfo> back;
    ASSERT_EQ(info2->QueryInterface(IID_ITypeInfo, back.put_void()), S_OK);
    EXPECT_EQ(back.get(), info.get());
    TComPtr<IDispatch> none;
    EXPECT_EQ(info2->QueryInterface(IID_IDispatch, none.put_void()), E_NOINTERFACE);
    EXPECT_FALSE(none);
  }
  EXPECT_EQ(References(lib), held + 2);
  info.reset();
  replayed.Library.reset();
  EXPECT_EQ(References(lib2.get()), held);
  EXPECT_EQ(lib2->GetTypeInfoCount(), 4u);
  TYPEKIND kind = TKIND_MAX;
  EXPECT_EQ(info2->GetTypeKind(&kind), S_OK);
  TVariant text;
  EXPECT_EQ(lib2->GetCustData(kLibraryTextGuid, text.get()), S_OK);
  EXPECT_EQ(ValueText(*text.get()), "8:library text");
}

TEST(TypeLibSnapshot, DescriptionsKeepTheReplayedLibraryAlive) {
  TComInit com;
  TComPtr<ITypeInfo> info;
  {
    TSnapshotContent replayed = ReplayTypeLibrary(ShapesRecord());
    ASSERT_EQ(ReadTypeInfo(replayed.Library.get(), 0, info), S_OK);
  }
  std::wstring name;
  EXPECT_EQ(ReadTypeDocumentation(info.get(), MEMBERID_NIL, &name, nullptr), S_OK);
  EXPECT_FALSE(name.empty());
  TTypeAttrHolder attr(info.get());
  EXPECT_EQ(attr.Fetch(), S_OK);
}

TEST(TypeLibSnapshot, FailedLoadsAndMessagesTravelAsThemselves) {
  TSnapshotContent failed = ReplayTypeLibrary(RecordLoadFailure(TYPE_E_CANTLOADLIBRARY));
  EXPECT_FALSE(failed.Library);
  EXPECT_EQ(failed.LoadResult, TYPE_E_CANTLOADLIBRARY);
  EXPECT_TRUE(failed.FailureText.empty());

  TSnapshotContent message = ReplayTypeLibrary(RecordFailureText(L"out of memory"));
  EXPECT_FALSE(message.Library);
  EXPECT_TRUE(FAILED(message.LoadResult));
  EXPECT_EQ(message.FailureText, L"out of memory");
}

TEST(TypeLibSnapshot, RecordsOfAnotherKindAreRefused) {
  const std::string good = RecordLoadFailure(E_FAIL);
  std::string otherVersion = good;
  otherVersion[4] = static_cast<char>(good[4] + 1);  // a version this program does not write
  std::string successAsFailure = good;
  successAsFailure.replace(9, 4, std::string(4, '\0'));
  const struct {
    const char* Label;
    std::string Record;
    const wchar_t* Reason;
  } cases[] = {
      {"empty", "", L"it ends too early"},
      {"other magic", "XTLS" + good.substr(4), L"it is not a type library record"},
      {"other version", otherVersion, L"it was written in another format version"},
      {"unknown outcome", good.substr(0, 8) + "\x07" + good.substr(9), L"its outcome is unknown"},
      {"success as a failure", successAsFailure, L"a failed load has a success code"},
      {"no end mark", good.substr(0, good.size() - 4) + "END!", L"its end mark is missing"},
      {"data after the end", good + "x", L"data follows its end"},
  };
  for (const auto& c : cases) EXPECT_EQ(ReplayFailure(c.Record), c.Reason) << c.Label;
}

// Every cut of a real record is refused, and bytes changed anywhere either make it refused or
// replay to a library the generator, and a reader of custom data, read without harm.
TEST(TypeLibSnapshot, DamagedRecordsAreRefusedOrReplayedSafely) {
  TComInit com;
  for (const wchar_t* fixture : {L"Shapes.tlb", L"CustomData.tlb"}) {
    SCOPED_TRACE(WideToCodePage(fixture, CP_UTF8));
    const std::string record = FixtureRecord(fixture);
    ASSERT_FALSE(record.empty());
    CheckDamagedCopies(record);
  }
}

// Lookups the replay answers by search rather than by scanning: a module's functions listed out
// of the order of their members, with one member under two kinds, and a class implementing many
// types, one of whose flags cannot be read.
TEST(TypeLibSnapshot, ReplayedModuleEntriesAndImplementedTypesAnswerAsRecorded) {
  TFakeLibrary lib;
  lib.Name = L"Lookups";
  TTypePool& pool = lib.Pool;
  TFakeType module = Type(TKIND_MODULE, L"Entries");
  for (auto [id, kind, entry] : {std::tuple{9, INVOKE_FUNC, L"Ninth"}, std::tuple{2, INVOKE_PROPERTYGET, L"GetSecond"},
                                 std::tuple{2, INVOKE_PROPERTYPUT, L"PutSecond"}, std::tuple{5, INVOKE_FUNC, L""}}) {
    TFakeFunc func = Func(id, entry[0] ? entry : L"ByOrdinal", pool.Basic(VT_I4));
    func.FuncKind = FUNC_STATIC;
    func.InvokeKind = kind;
    func.Dll = L"entries.dll";
    func.Entry = entry;
    func.Ordinal = static_cast<WORD>(id * 10);
    module.Funcs.push_back(func);
  }
  TFakeType many = Type(TKIND_COCLASS, L"Many");
  for (HREFTYPE i = 0; i < 40; ++i) many.ImplTypes.push_back(1000 + i);
  for (INT i = 0; i < 39; ++i) many.ImplTypeFlags.push_back(i % 3);
  lib.Types = {module, many};

  TComInit com;
  TSnapshotContent replayed = ReplayTypeLibrary(RecordTypeLibrary(lib.Lib()));
  ASSERT_TRUE(replayed.Library);
  TComPtr<ITypeInfo> fakeModule, copyModule, fakeMany, copyMany;
  ASSERT_EQ(lib.Lib()->GetTypeInfo(0, fakeModule.put()), S_OK);
  ASSERT_EQ(replayed.Library->GetTypeInfo(0, copyModule.put()), S_OK);
  ASSERT_EQ(lib.Lib()->GetTypeInfo(1, fakeMany.put()), S_OK);
  ASSERT_EQ(replayed.Library->GetTypeInfo(1, copyMany.put()), S_OK);

  auto entry = [](ITypeInfo* AInfo, MEMBERID AMember, INVOKEKIND AKind) {
    TBstr dll, name;
    WORD ordinal = 0;
    const HRESULT hr = AInfo->GetDllEntry(AMember, AKind, dll.put(), name.put(), &ordinal);
    return Hex(hr) + " " + WideToCodePage(CutAtNul(dll.get()), CP_UTF8) + " " +
           WideToCodePage(CutAtNul(name.get()), CP_UTF8) + " " + std::to_string(ordinal);
  };
  for (MEMBERID member : {2, 5, 9, 7}) {
    for (INVOKEKIND kind : {INVOKE_FUNC, INVOKE_PROPERTYGET, INVOKE_PROPERTYPUT}) {
      SCOPED_TRACE(std::to_string(member) + " " + std::to_string(kind));
      EXPECT_EQ(entry(copyModule.get(), member, kind), entry(fakeModule.get(), member, kind));
    }
  }
  EXPECT_EQ(entry(copyModule.get(), 2, INVOKE_PROPERTYPUT), Hex(S_OK) + " entries.dll PutSecond 0");
  EXPECT_EQ(entry(copyModule.get(), 5, INVOKE_FUNC), Hex(S_OK) + " entries.dll  50");

  for (UINT i = 0; i < 40; ++i) {
    SCOPED_TRACE(i);
    HREFTYPE fakeRef = 0, copyRef = 0;
    INT fakeFlags = -7, copyFlags = -7;
    EXPECT_EQ(copyMany->GetRefTypeOfImplType(i, &copyRef), fakeMany->GetRefTypeOfImplType(i, &fakeRef));
    EXPECT_EQ(copyRef, fakeRef);
    EXPECT_EQ(copyMany->GetImplTypeFlags(i, &copyFlags), fakeMany->GetImplTypeFlags(i, &fakeFlags));
    EXPECT_EQ(copyFlags, fakeFlags);
  }
}

namespace {

// The record of a library of one record type, and where the four bytes that count its types
// stand: the last place from which one copy of the rest makes a record that replays.
struct TOneTypeRecord {
  std::string Record;
  size_t CountAt = std::string::npos;
  std::string Head() const { return Record.substr(0, CountAt); }
  std::string Type() const { return Record.substr(CountAt + 4, Record.size() - CountAt - 8); }
  std::string WithTypes(uint32_t ACount, size_t ACopies) const {
    std::string record = Head();
    record.append(reinterpret_cast<const char*>(&ACount), 4);
    const std::string type = Type();
    record.reserve(record.size() + type.size() * ACopies + 4);
    for (size_t i = 0; i < ACopies; ++i) record += type;
    return record + "END.";
  }
};

TOneTypeRecord OneTypeRecord(const std::wstring& AName) {
  TFakeLibrary lib;
  lib.Name = L"Hostile";
  TFakeType type = Type(TKIND_RECORD, AName);
  lib.Types = {type};
  TOneTypeRecord one;
  one.Record = RecordTypeLibrary(lib.Lib());
  const std::string one32("\x01\0\0\0", 4);
  for (size_t at = one.Record.rfind(one32); at != std::string::npos && at > 0; at = one.Record.rfind(one32, at - 1)) {
    one.CountAt = at;
    if (ReplayFailure(one.WithTypes(2, 2)).empty()) return one;
  }
  one.CountAt = std::string::npos;
  return one;
}

SIZE_T PeakPagefile() {
  PROCESS_MEMORY_COUNTERS counters = {sizeof(counters)};
  GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof(counters));
  return counters.PeakPagefileUsage;
}

}  // namespace

// Records a compromised reader could send to exhaust the program: a million tiny types, a count
// of types with nothing behind it, a name of a megabyte. Each is refused or replayed while the
// program's memory grows by less than 64 MB beyond the record itself.
TEST(TypeLibSnapshot, HostileRecordsCostBoundedMemory) {
  TComInit com;
  const TOneTypeRecord one = OneTypeRecord(L"Tiny");
  ASSERT_NE(one.CountAt, std::string::npos) << "no place for the count of types found";
  constexpr SIZE_T kBound = SIZE_T(64) << 20;
  const struct {
    const char* Name;
    std::string Record;
    bool Refused;
  } cases[] = {
      {"a million tiny types", one.WithTypes(1000000, 1000000), true},
      {"a count of types with nothing behind it", one.WithTypes(0x7FFFFFFF, 1), true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    const SIZE_T before = PeakPagefile();
    const ULONGLONG start = GetTickCount64();
    const std::wstring failure = ReplayFailure(c.Record);
    const ULONGLONG took = GetTickCount64() - start;
    const SIZE_T grown = PeakPagefile() - before;
    EXPECT_EQ(!failure.empty(), c.Refused) << WideToCodePage(failure, CP_UTF8);
    EXPECT_LT(grown, kBound);
    std::printf("%s (%zu bytes): %s, peak memory grew %zu KB, %llu ms\n", c.Name, c.Record.size(),
                failure.empty() ? "replayed" : WideToCodePage(failure, CP_UTF8).c_str(), static_cast<size_t>(grown >> 10),
                static_cast<unsigned long long>(took));
  }
  // A name of a megabyte is text the record holds: it replays, and costs about its own size.
  const TOneTypeRecord named = OneTypeRecord(std::wstring(1 << 19, L'N'));
  ASSERT_NE(named.CountAt, std::string::npos);
  const SIZE_T before = PeakPagefile();
  TSnapshotContent content = ReplayTypeLibrary(named.Record);
  EXPECT_LT(PeakPagefile() - before, kBound);
  ASSERT_TRUE(content.Library);
  TBstr name;
  EXPECT_EQ(content.Library->GetDocumentation(0, name.put(), nullptr, nullptr, nullptr), S_OK);
  EXPECT_EQ(SysStringLen(name.get()), 1u << 19);
}
