// The IDL writer: whole texts of fixture libraries against reviewed expected files, and from fakes
// what no compiler puts into a library (names that are keywords, types that cannot be found).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "base/Zarvek_Handles.h"
#include "tests/support/TestSupport.h"
#include "tests/tlbgen/FakeBuilders.h"
#include "tests/tlbgen/FakeTypeLib.h"
#include "tests/tlbgen/GeneratorTestSupport.h"
#include "generators/IdlGenerator.h"
#include "typelib/TypeLibLoader.h"
#include "typelib/TypeLibSnapshot.h"

using namespace vantrel;
using namespace vantrel::test;

namespace {

TStringList Idl(ITypeLib* ALib, const std::wstring& AServer = {}) {
  TObjectData data;
  data.Server = AServer;
  TLineList lines;
  std::wstring name;
  GenerateIdl(data, ALib, lines, name);
  return lines.ToStringList();
}

// The text of a fake; checks that everything the fake handed out came back and that the
// reader's record of it gives the same text.
TStringList Idl(TFakeLibrary& ALib) {
  const TStringList lines = Idl(ALib.Lib());
  EXPECT_EQ(ALib.Outstanding(), 0) << "attribute records or descriptions not released";
  EXPECT_EQ(ALib.BadReleases(), 0);
  EXPECT_TRUE(ALib.ReferencesBalanced());
  TSnapshotContent replayed = ReplayTypeLibrary(RecordTypeLibrary(ALib.Lib()));
  EXPECT_EQ(Joined(Idl(replayed.Library.get())), Joined(lines)) << "replayed";
  return lines;
}

bool Has(const TStringList& ALines, const std::wstring& ALine) {
  return std::find(ALines.begin(), ALines.end(), ALine) != ALines.end();
}

}  // namespace

// Each fixture holds a group of cases: Shapes one of each construct, IdlCases every attribute,
// type form and flag widl writes (help string contexts and DLL included), CustomData custom data on
// every part that carries it, Imports types the platform's IDL files declare. The viewer
// reads libraries through the reader's record, so the replayed library must give the same text.
TEST(IdlFixture, LibrariesAreWrittenAsTheExpectedText) {
  TComInit com;
  for (const wchar_t* name : {L"Shapes", L"IdlCases", L"CustomData", L"Imports"}) {
    SCOPED_TRACE(testing::Message() << WideToCodePage(name, CP_UTF8));
    TComPtr<ITypeLib> lib;
    ASSERT_EQ(LoadTypeLibraryFile(FixturePath(std::wstring(name) + L".tlb"), lib), S_OK);
    const std::wstring server = std::wstring(name) + L".tlb";
    const TStringList expected = ReadExpectedLines(L"tests\\tlbgen\\expected\\" + std::wstring(name) + L".idl");
    const TStringList loaded = Idl(lib.get(), server);
    EXPECT_EQ(Joined(loaded), Joined(expected)) << "loaded in this process";
    TSnapshotContent replayed = ReplayTypeLibrary(RecordTypeLibrary(lib.get()));
    ASSERT_TRUE(replayed.Library);
    EXPECT_EQ(Joined(Idl(replayed.Library.get(), server)), Joined(expected)) << "replayed from the reader's record";
  }
}

TEST(Idl, NamesBecomeIdentifiersTheCompilerAccepts) {
  const struct {
    std::wstring Name;
    const wchar_t* Expected;
  } cases[] = {
      {L"Plain_Name1", L"Plain_Name1"},
      {L"default", L"default_"},            // keywords wherever a name stands
      {L"module", L"module_"},
      {L"byte", L"byte_"},
      {L"__stdcall", L"__stdcall_"},
      {L"TRUE", L"TRUE_"},
      {L"pipe", L"pipe_"},                  // MIDL's words too: every compiler reads the IDL alike
      {L"midl_pragma", L"midl_pragma_"},
      {L"SAFEARRAY", L"SAFEARRAY_"},
      {L"__int128", L"__int128_"},
      {L"Default", L"Default"},             // case matters
      {L"in", L"in"},                       // attribute words are names outside brackets
      {L"BSTR", L"BSTR"},                   // so are the names of known types
      {L"1st", L"_1st"},
      {L"Gr\u00F6\u00DFe", L"Gr__e"},
      {L"two words", L"two_words"},
      {L"", L"_"},
      {std::wstring(L"cut\0tail", 8), L"cut"},
  };
  for (const auto& c : cases) EXPECT_EQ(IdlIdentifier(c.Name), c.Expected) << WideToCodePage(c.Name, CP_UTF8);
}

TEST(Idl, StringsAreEscapedAsCEscapesThem) {
  EXPECT_EQ(IdlString(L"plain"), L"\"plain\"");
  EXPECT_EQ(IdlString(L"say \"hi\"\\now"), L"\"say \\\"hi\\\"\\\\now\"");
  EXPECT_EQ(IdlString(L"a\r\nb\tc\x01"), L"\"a\\r\\nb\\tc\\x01\"");
}

// A library may name a type it does not hold, and names that are keywords of IDL: the text still
// compiles, and says what it could not find.
TEST(Idl, KeywordNamesAndMissingTypesStillCompile) {
  TFakeLibrary lib;
  lib.Name = std::wstring(L"interface\r\n};\0", 14);
  TTypePool& pool = lib.Pool;
  lib.FailingRefs[99] = TYPE_E_ELEMENTNOTFOUND;
  TFakeType unknown = Type(TKIND_INTERFACE, L"IUnknown");
  unknown.Guid = {0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
  TFakeType item = Type(TKIND_INTERFACE, L"switch");
  item.Guid = {0x11111111, 0x2222, 0x3333, {0x44, 0x44, 0x55, 0x55, 0x55, 0x55, 0x55, 0x55}};
  item.ImplTypes = {1};
  lib.Refs[1] = 0;
  item.Funcs.push_back(Func(0x60010000, L"default", pool.Basic(VT_HRESULT),
                            {Param(L"byte", pool.User(99)), Param(L"found", pool.Ptr(pool.User(99)), PARAMFLAG_FOUT)}));
  TFakeType alias = Type(TKIND_ALIAS, L"Lost");
  alias.Alias = pool.User(99);
  lib.Types = {unknown, item, alias};
  const TStringList text = Idl(lib);
  // A line break in the library's name stays inside the comment line.
  EXPECT_EQ(text[0], L"// IDL of the type library interface  };") << Joined(text);
  EXPECT_TRUE(Has(text, L"interface switch_;")) << Joined(text);
  EXPECT_TRUE(Has(text, L"library interface____")) << Joined(text);
  EXPECT_TRUE(Has(text, L"    interface switch_ : IUnknown {")) << Joined(text);
  EXPECT_TRUE(Has(text, L"        [id(0x60010000)] HRESULT default_([in] /* unknown type */ void* byte_, "
                        L"[out] /* unknown type */ void** found);"))
      << Joined(text);
  EXPECT_TRUE(Has(text, L"    typedef [public] /* unknown type */ void* Lost;")) << Joined(text);
}

// What widl does not keep and the platform's writer cannot write: a module's constants and its
// entry points by name. The fake's record replays to the same text, so the reader keeps them too.
TEST(Idl, ModulesKeepTheirFileConstantsAndEntryPoints) {
  TFakeLibrary lib;
  lib.Name = L"Entries";
  TTypePool& pool = lib.Pool;
  TFakeType module = Type(TKIND_MODULE, L"Helpers");
  module.Vars = {Constant(0x40000000, L"Answer", TOwnedVariant::Int(42)),
                 Constant(0x40000001, L"Greeting", TOwnedVariant::Text(L"say \"hi\""))};
  module.Vars[0].Type = pool.Basic(VT_I4);
  module.Vars[1].Type = pool.Basic(VT_BSTR);
  TFakeFunc byName = Func(0x60000000, L"ByName", pool.Basic(VT_I4), {Param(L"count", pool.Basic(VT_I4))});
  byName.FuncKind = FUNC_STATIC;
  byName.Dll = L"helpers.dll";
  byName.Entry = L"ComputeIt";
  TFakeFunc byOrdinal = Func(0x60000001, L"ByOrdinal", pool.Basic(VT_BSTR));
  byOrdinal.FuncKind = FUNC_STATIC;
  byOrdinal.Dll = L"helpers.dll";
  byOrdinal.Ordinal = 7;
  TFakeFunc varying = Func(0x60000002, L"Varying", pool.Basic(VT_I4));
  varying.FuncKind = FUNC_STATIC;
  varying.CallConv = CC_CDECL;
  varying.Dll = L"helpers.dll";
  varying.Ordinal = 8;
  module.Funcs = {byName, byOrdinal, varying};
  lib.Types = {module};
  const TStringList text = Idl(lib);
  // A calling convention is written once.
  EXPECT_TRUE(Has(text, L"        [entry(8)] long __cdecl Varying(void);")) << Joined(text);
  EXPECT_TRUE(Has(text, L"    [dllname(\"helpers.dll\")]")) << Joined(text);
  EXPECT_TRUE(Has(text, L"    module Helpers {")) << Joined(text);
  EXPECT_TRUE(Has(text, L"        const long Answer = 42;")) << Joined(text);
  EXPECT_TRUE(Has(text, L"        const BSTR Greeting = \"say \\\"hi\\\"\";")) << Joined(text);
  EXPECT_TRUE(Has(text, L"        [entry(\"ComputeIt\")] long __stdcall ByName([in] long count);")) << Joined(text);
  EXPECT_TRUE(Has(text, L"        [entry(7)] BSTR __stdcall ByOrdinal(void);")) << Joined(text);
}

// Every kind of value a default can hold, as IDL writes it; what IDL cannot write is left out
// rather than written wrong.
TEST(Idl, DefaultValuesOfEveryKind) {
  auto value = [](VARTYPE AType, auto ASet) {
    TOwnedVariant result;
    V_VT(result.get()) = AType;
    ASet(*result.get());
    return result;
  };
  const struct {
    TOwnedVariant Value;
    const wchar_t* Expected;  // empty: no defaultvalue
  } cases[] = {
      {TOwnedVariant::Int(-5), L"defaultvalue(-5)"},
      {TOwnedVariant::Bool(true), L"defaultvalue(-1)"},
      {TOwnedVariant::Text(L"a \"b\"\\"), L"defaultvalue(\"a \\\"b\\\"\\\\\")"},
      {TOwnedVariant::Double(0.5), L"defaultvalue(0.5)"},
      {value(VT_R4, [](VARIANT& A) { V_R4(&A) = 0.1f; }), L"defaultvalue(0.100000001)"},
      {value(VT_UI1, [](VARIANT& A) { V_UI1(&A) = 200; }), L"defaultvalue(200)"},
      {value(VT_I8, [](VARIANT& A) { V_I8(&A) = -9000000000LL; }), L"defaultvalue(-9000000000)"},
      {value(VT_CY, [](VARIANT& A) { V_CY(&A).int64 = 25000; }), L"defaultvalue(2.5)"},
      {value(VT_DATE, [](VARIANT& A) { V_DATE(&A) = 36526.5; }), L"defaultvalue(36526.5)"},
      {value(VT_DISPATCH, [](VARIANT& A) { V_DISPATCH(&A) = nullptr; }), L"defaultvalue(0)"},
      {TOwnedVariant::Error(DISP_E_PARAMNOTFOUND), L"defaultvalue(-2147352572)"},
      {TOwnedVariant::Null(), L""},
      {value(VT_R8, [](VARIANT& A) { V_R8(&A) = HUGE_VAL; }), L""},
  };
  for (const auto& c : cases) {
    TFakeLibrary lib;
    lib.Name = L"Defaults";
    TFakeType item = Type(TKIND_INTERFACE, L"IDefaults");
    item.Funcs.push_back(Func(0x60010000, L"Take", lib.Pool.Basic(VT_HRESULT),
                              {DefaultParam(L"value", lib.Pool.Basic(VT_VARIANT), PARAMFLAG_FIN, c.Value)}));
    lib.Types = {item};
    const TStringList text = Idl(lib);
    const std::wstring attributes = std::wstring(L"[in") + (*c.Expected ? L", " : L"") + c.Expected + L"]";
    EXPECT_TRUE(Has(text, L"        [id(0x60010000)] HRESULT Take(" + attributes + L" VARIANT value);"))
        << WideToCodePage(c.Expected, CP_UTF8) << Joined(text);
  }
}

// IDL puts the enumerators of every enumeration in one scope: a name two enumerations share is
// made unique where it comes again, with a comment naming it.
TEST(Idl, EnumeratorsTwoEnumerationsShareAreMadeUnique) {
  TFakeLibrary lib;
  lib.Name = L"Shared";
  TTypePool& pool = lib.Pool;
  auto enumeration = [&](const wchar_t* AName, std::initializer_list<std::pair<const wchar_t*, int>> AValues) {
    TFakeType type = Type(TKIND_ENUM, AName);
    MEMBERID id = 0x40000000;
    for (const auto& [name, value] : AValues) {
      TFakeVar constant = Constant(id++, name, TOwnedVariant::Int(value));
      constant.Type = pool.Basic(VT_I4);
      type.Vars.push_back(constant);
    }
    return type;
  };
  lib.Types = {enumeration(L"Colours", {{L"None", 0}, {L"Red", 1}}),
               enumeration(L"Shapes", {{L"None", 0}, {L"Round", 1}}),
               enumeration(L"Sizes", {{L"None", 0}, {L"None_2", 5}})};
  const TStringList text = Idl(lib);
  EXPECT_TRUE(Has(text, L"        None = 0,")) << Joined(text);
  EXPECT_TRUE(Has(text, L"        None_2 = 0 /* None of another enumeration */,")) << Joined(text);
  EXPECT_TRUE(Has(text, L"        None_3 = 0 /* None of another enumeration */,")) << Joined(text);
  EXPECT_TRUE(Has(text, L"        None_2_2 = 5 /* None_2 of another enumeration */")) << Joined(text);
}

// A record that names a type of an imported library cannot go before the library block, where the
// compiler knows no imported type yet: it stays in the block, after importlib, before its first user.
TEST(Idl, ATypeNamingAnImportedLibrarysTypeStaysAfterItsImportlib) {
  TComInit com;
  const TRegisteredLibrary pens(FixturePath(L"Pens.tlb"));
  ASSERT_HRESULT_SUCCEEDED(pens.Result());
  TComPtr<ITypeLib> strokes;
  ASSERT_HRESULT_SUCCEEDED(LoadTypeLibEx(FixturePath(L"Strokes.tlb").c_str(), REGKIND_NONE, strokes.put()));
  const TStringList text = Idl(strokes.get());
  auto lineOf = [&](std::wstring_view ALine) {
    const auto found = std::find(text.begin(), text.end(), ALine);
    return found == text.end() ? std::wstring::npos : static_cast<size_t>(found - text.begin());
  };
  const size_t library = lineOf(L"library StrokesLib");
  const size_t importlib = lineOf(L"    importlib(\"Pens.tlb\");");
  const size_t stroke = lineOf(L"    typedef [uuid(7A4C2E10-5D3B-4E8F-9B20-0000000BA5F1)] struct Stroke {");
  const size_t user = lineOf(L"    interface IStrokes : IUnknown {");
  ASSERT_NE(library, std::wstring::npos) << Joined(text);
  ASSERT_NE(importlib, std::wstring::npos) << Joined(text);
  ASSERT_NE(stroke, std::wstring::npos) << Joined(text);
  ASSERT_NE(user, std::wstring::npos) << Joined(text);
  EXPECT_LT(library, importlib);
  EXPECT_LT(importlib, stroke);
  EXPECT_LT(stroke, user);
  EXPECT_TRUE(Has(text, L"        PenStyle Style;")) << Joined(text);
}

// A library registered as a resource of a program or DLL ("TwoLibraries.dll\2") is imported by
// the file's name, not by the number of its resource.
TEST(Idl, ALibraryRegisteredAsAResourceIsImportedByItsFile) {
  TComInit com;
  const std::wstring pens = FixturePath(L"TwoLibraries.dll") + L"\\2";
  const TRegisteredLibrary registration(pens);
  ASSERT_HRESULT_SUCCEEDED(registration.Result());
  // The platform registers the file alone; an installer may register the resource's number too.
  wchar_t guid[40] = {};
  StringFromGUID2(registration.Attr().guid, guid, 40);
  for (const wchar_t* platform : {L"win32", L"win64"}) {
    const std::wstring key = L"TypeLib\\" + std::wstring(guid) + L"\\1.0\\0\\" + platform;
    TRegKey opened;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_SET_VALUE, opened.put()) != ERROR_SUCCESS) continue;
    RegSetValueExW(opened.get(), nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(pens.c_str()),
                   static_cast<DWORD>((pens.size() + 1) * sizeof(wchar_t)));
  }
  const std::wstring registeredPath = registration.RegisteredPath();
  ASSERT_GE(registeredPath.size(), 2u);
  ASSERT_EQ(registeredPath.substr(registeredPath.size() - 2), L"\\2") << WideToCodePage(registeredPath, CP_UTF8);
  TComPtr<ITypeLib> drawing;
  ASSERT_HRESULT_SUCCEEDED(LoadTypeLibEx(FixturePath(L"Drawing.tlb").c_str(), REGKIND_NONE, drawing.put()));
  const TStringList text = Idl(drawing.get());
  EXPECT_TRUE(Has(text, L"    importlib(\"TwoLibraries.dll\");")) << Joined(text);
}

// IDL compilers refuse a helpstring on a field of a struct: its text stays, as a comment that no
// text of the library can end early.
TEST(Idl, AFieldsDocStringIsAComment) {
  TFakeLibrary lib;
  lib.Name = L"Fields";
  TTypePool& pool = lib.Pool;
  TFakeType record = Type(TKIND_RECORD, L"Point");
  record.Vars = {Field(0x40000000, L"x", pool.Basic(VT_I4)), Field(0x40000001, L"y", pool.Basic(VT_I4))};
  record.Vars[0].Doc = L"Across, in pixels";
  record.Vars[1].Doc = L"Down */ not code\r\nhere";
  lib.Types = {record};
  const TStringList text = Idl(lib);
  EXPECT_TRUE(Has(text, L"        long x; /* Across, in pixels */")) << Joined(text);
  EXPECT_TRUE(Has(text, L"        long y; /* Down * / not code  here */")) << Joined(text);
}

// Every flag a variable can hold becomes its attribute: a dispinterface's properties carry them.
TEST(Idl, PropertiesKeepEveryFlagOfTheirVariables) {
  TFakeLibrary lib;
  lib.Name = L"Flags";
  TTypePool& pool = lib.Pool;
  TFakeType disp = Type(TKIND_DISPATCH, L"DBound");
  disp.Flags = TYPEFLAG_FDISPATCHABLE;
  disp.Vars = {Field(1, L"Value", pool.Basic(VT_I4))};
  disp.Vars[0].Kind = VAR_DISPATCH;
  disp.Vars[0].Flags = VARFLAG_FBINDABLE | VARFLAG_FREQUESTEDIT | VARFLAG_FDISPLAYBIND | VARFLAG_FDEFAULTBIND |
                       VARFLAG_FSOURCE | VARFLAG_FUIDEFAULT | VARFLAG_FNONBROWSABLE | VARFLAG_FREPLACEABLE |
                       VARFLAG_FIMMEDIATEBIND | VARFLAG_FDEFAULTCOLLELEM | VARFLAG_FREADONLY;
  lib.Types = {disp};
  const TStringList text = Idl(lib);
  EXPECT_TRUE(Has(text, L"        [id(0x00000001), readonly, source, bindable, requestedit, displaybind, defaultbind, "
                        L"defaultcollelem, uidefault, nonbrowsable, replaceable, immediatebind] long Value;"))
      << Joined(text);
}

// Enumerators of every integer type, as the platform's writer may store them: each value in a
// literal of its own, the extremes included; IDL's 32 bits cannot hold a wider value, which is
// written whole and says so.
TEST(Idl, EnumeratorsOfEveryIntegerTypeKeepTheirValues) {
  auto value = [](VARTYPE AType, auto ASet) {
    TOwnedVariant result;
    V_VT(result.get()) = AType;
    ASet(*result.get());
    return result;
  };
  const struct {
    TOwnedVariant Value;
    const wchar_t* Expected;
  } cases[] = {
      {value(VT_I1, [](VARIANT& A) { V_I1(&A) = -128; }), L"-128"},
      {value(VT_UI1, [](VARIANT& A) { V_UI1(&A) = 255; }), L"255"},
      {value(VT_I2, [](VARIANT& A) { V_I2(&A) = -32768; }), L"-32768"},
      {value(VT_UI2, [](VARIANT& A) { V_UI2(&A) = 65535; }), L"65535"},
      {value(VT_I4, [](VARIANT& A) { V_I4(&A) = INT32_MIN; }), L"-2147483647 - 1"},
      {value(VT_I4, [](VARIANT& A) { V_I4(&A) = INT32_MAX; }), L"2147483647"},
      {value(VT_UI4, [](VARIANT& A) { V_UI4(&A) = UINT32_MAX; }), L"0xffffffff"},
      {value(VT_UI4, [](VARIANT& A) { V_UI4(&A) = 0x80000000u; }), L"0x80000000"},
      {value(VT_INT, [](VARIANT& A) { V_INT(&A) = -7; }), L"-7"},
      {value(VT_UINT, [](VARIANT& A) { V_UINT(&A) = 0xFFFFFFFEu; }), L"0xfffffffe"},
      {value(VT_I8, [](VARIANT& A) { V_I8(&A) = -5; }), L"-5"},
      {value(VT_I8, [](VARIANT& A) { V_I8(&A) = INT64_MIN; }), L"-9223372036854775807 - 1 /* wider than 32 bits */"},
      {value(VT_I8, [](VARIANT& A) { V_I8(&A) = INT64_MAX; }), L"0x7fffffffffffffff /* wider than 32 bits */"},
      {value(VT_UI8, [](VARIANT& A) { V_UI8(&A) = 42; }), L"42"},
      {value(VT_UI8, [](VARIANT& A) { V_UI8(&A) = UINT32_MAX; }), L"0xffffffff"},
      {value(VT_UI8, [](VARIANT& A) { V_UI8(&A) = UINT64_MAX; }), L"0xffffffffffffffff /* wider than 32 bits */"},
  };
  for (const auto& c : cases) {
    TFakeLibrary lib;
    lib.Name = L"Values";
    TFakeType type = Type(TKIND_ENUM, L"Values");
    TFakeVar constant = Constant(0x40000000, L"Only", c.Value);
    constant.Type = lib.Pool.Basic(V_VT(c.Value.get()));
    type.Vars = {constant};
    lib.Types = {type};
    const TStringList text = Idl(lib);
    EXPECT_TRUE(Has(text, L"        Only = " + std::wstring(c.Expected))) << WideToCodePage(c.Expected, CP_UTF8) << Joined(text);
  }
}

// A record aligned tighter than its fields was packed, and is packed so again; one aligned as
// its fields are is not. A class the platform creates before it is asked for says so.
TEST(Idl, PackedRecordsAndPredeclaredClasses) {
  TFakeLibrary lib;
  lib.Name = L"Packing";
  TTypePool& pool = lib.Pool;
  auto record = [&](const wchar_t* AName, VARTYPE ASecond, WORD AAlignment) {
    TFakeType type = Type(TKIND_RECORD, AName);
    type.Vars = {Field(0x40000000, L"first", pool.Basic(VT_I1)), Field(0x40000001, L"second", pool.Basic(ASecond))};
    type.Alignment = AAlignment;
    return type;
  };
  TFakeType created = Type(TKIND_COCLASS, L"Created");
  created.Flags = TYPEFLAG_FCANCREATE | TYPEFLAG_FPREDECLID;
  // A pointer alias, whose own alignment a loader gives for its process: aligned as a pointer of
  // the library's platform.
  TFakeType pointerAlias = Type(TKIND_ALIAS, L"PText");
  pointerAlias.Alias = pool.Ptr(pool.Basic(VT_I1));
  pointerAlias.Alignment = 8;
  TFakeType aliased = record(L"Aliased", VT_I4, 4);
  aliased.Vars[1].Type = pool.User(1);
  lib.Refs[1] = 5;
  lib.Types = {record(L"Tight", VT_I4, 2), record(L"Natural", VT_I4, 4), record(L"Doubles", VT_R8, 4),
               record(L"Texts", VT_BSTR, 4), created, pointerAlias, aliased};
  const TStringList text = Idl(lib);
  const std::string joined = Joined(text);
  EXPECT_NE(joined.find("    #pragma pack(push, 2)\n    typedef struct Tight {"), std::string::npos) << joined;
  EXPECT_NE(joined.find("    } Tight;\n    #pragma pack(pop)"), std::string::npos) << joined;
  EXPECT_NE(joined.find("    #pragma pack(push, 4)\n    typedef struct Doubles {"), std::string::npos) << joined;
  EXPECT_NE(joined.find("\n    typedef struct Natural {"), std::string::npos) << joined;
  // A pointer of a 32-bit library takes 4 bytes.
  EXPECT_EQ(std::count_if(text.begin(), text.end(), [](const std::wstring& A) { return A.find(L"#pragma") != A.npos; }), 4)
      << joined;
  EXPECT_TRUE(Has(text, L"    [predeclid]")) << joined;
}

// What a library imports follows from what it declares and names: the OLE Automation library
// declares IUnknown itself and imports nothing; ATL's names a type of stdole that only ocidl.idl
// declares; a library of values alone needs no import; one that holds types of the imported files
// names them in their places (the Imports fixture's whole text shows that).
TEST(Idl, TheImportFollowsWhatTheLibraryDeclares) {
  TComInit com;
  TComPtr<ITypeLib> stdole;
  ASSERT_EQ(LoadTypeLibraryFile(SystemDirectoryPath() + L"stdole2.tlb", stdole), S_OK);
  const TStringList ole = Idl(stdole.get());
  const std::string oleText = Joined(ole);
  EXPECT_EQ(oleText.find("import \""), std::string::npos) << oleText;
  EXPECT_TRUE(Has(ole, L"typedef long BSTR;")) << oleText;
  EXPECT_TRUE(Has(ole, L"    interface IUnknown {")) << oleText;
  EXPECT_TRUE(Has(ole, L"    interface IEnumVARIANT : IUnknown {")) << oleText;
  TSnapshotContent replayed = ReplayTypeLibrary(RecordTypeLibrary(stdole.get()));
  ASSERT_TRUE(replayed.Library);
  EXPECT_EQ(Joined(Idl(replayed.Library.get())), oleText) << "replayed";

  // ATL's library names stdole's IFontDisp, which ocidl.idl declares; it holds the alias wireHWND
  // that the import makes for HWND, whose [wire_marshal] the compiler writes as that alias; and the
  // unnamed union of _RemotableHandle that widl named after ATL's IDL file.
  TComPtr<ITypeLib> atl;
  ASSERT_EQ(LoadTypeLibraryFile(SystemDirectoryPath() + L"atl.dll", atl), S_OK);
  const TStringList atlText = Idl(atl.get());
  EXPECT_TRUE(Has(atlText, L"import \"ocidl.idl\";")) << Joined(atlText);
  EXPECT_TRUE(Has(atlText, L"// Compile as \"atl_lib.idl\": widl names unnamed types after the file.")) << Joined(atlText);
  EXPECT_EQ(Joined(atlText).find("wireHWND"), std::string::npos) << Joined(atlText);
  EXPECT_NE(Joined(atlText).find("HRESULT TranslateAccelerator([in] HWND hwnd,"), std::string::npos) << Joined(atlText);

  TFakeLibrary values;
  values.Name = L"Values";
  TFakeType colours = Type(TKIND_ENUM, L"Colours");
  TFakeVar red = Constant(0x40000000, L"Red", TOwnedVariant::Int(1));
  red.Type = values.Pool.Basic(VT_I4);
  colours.Vars = {red};
  values.Types = {colours};
  const TStringList valueText = Idl(values);
  EXPECT_EQ(Joined(valueText).find("import \""), std::string::npos) << Joined(valueText);
  EXPECT_TRUE(Has(valueText, L"typedef long VARIANT;")) << Joined(valueText);
}
