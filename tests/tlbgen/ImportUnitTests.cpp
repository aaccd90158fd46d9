// The import unit that compiles, from fake libraries: what each type code becomes, names the
// compiler would refuse, properties over accessor pairs, default values, and broken answers. The
// proof that whole units compile is the compiler's own (tests/pascal).
#include <gtest/gtest.h>

#include <algorithm>

#include "base/Zarvek_Handles.h"
#include "tests/tlbgen/FakeBuilders.h"
#include "tests/tlbgen/FakeTypeLib.h"
#include "tests/tlbgen/GeneratorTestSupport.h"
#include "tlbviewer/ImportUnit.h"
#include "tlbviewer/TypeLibSnapshot.h"

using namespace vantrel;
using namespace vantrel::test;
using namespace std::string_literals;

namespace {

const GUID kInterfaceGuid = {0x11111111, 0x2222, 0x3333, {0x44, 0x44, 0x55, 0x55, 0x55, 0x55, 0x55, 0x55}};

// The unit's lines; checks that everything the fake handed out came back and that the reader's
// record of the fake gives the same unit.
TStringList ImportUnit(TFakeLibrary& ALib) {
  TLineList lines;
  std::wstring name;
  GenerateCompilableUnit({}, ALib.Lib(), lines, name);
  EXPECT_EQ(ALib.Outstanding(), 0) << "attribute records or descriptions not released";
  EXPECT_EQ(ALib.BadReleases(), 0);
  EXPECT_TRUE(ALib.ReferencesBalanced());
  TSnapshotContent replayed = ReplayTypeLibrary(RecordTypeLibrary(ALib.Lib()));
  TLineList again;
  GenerateCompilableUnit({}, replayed.Library.get(), again, name);
  EXPECT_EQ(again.ToStringList(), lines.ToStringList()) << "replayed";
  return lines.ToStringList();
}

bool Has(const TStringList& ALines, const std::wstring& ALine) {
  return std::find(ALines.begin(), ALines.end(), ALine) != ALines.end();
}

}  // namespace

TEST(ImportUnit, EveryTypeCodeBecomesARealType) {
  TFakeLibrary lib;
  lib.Name = L"Codes";
  TTypePool& pool = lib.Pool;
  struct TCase {
    TYPEDESC Type;
    const wchar_t* Expected;
  } cases[] = {
      {pool.Basic(VT_I2), L"SmallInt"},
      {pool.Basic(VT_I4), L"Integer"},
      {pool.Basic(VT_UI8), L"UInt64"},
      {pool.Basic(VT_I8), L"Int64"},
      {pool.Basic(VT_UINT), L"LongWord"},
      {pool.Basic(VT_BSTR), L"WideString"},
      {pool.Basic(VT_BOOL), L"WordBool"},
      {pool.Basic(VT_VARIANT), L"OleVariant"},
      {pool.Basic(VT_DECIMAL), L"TDecimal"},
      {pool.Basic(VT_DATE), L"TDateTime"},
      {pool.Basic(VT_LPWSTR), L"PWideChar"},
      {pool.Ptr(pool.Basic(VT_VOID)), L"Pointer"},
      {pool.Ptr(pool.Basic(VT_BSTR)), L"PWideString"},
      {pool.Ptr(pool.Ptr(pool.Basic(VT_I4))), L"PPInteger"},
      {pool.SafeArray(pool.Basic(VT_BSTR)), L"PSafeArray"},
      {pool.CArray(pool.Basic(VT_UI1), {16}), L"array[0..15] of Byte"},  // whatever the lower bound says
      {pool.CArray(pool.Basic(VT_I4), {2, 3}), L"array[0..1, 0..2] of Integer"},
      {pool.Basic(VT_RECORD), L"Pointer"},  // a code no Pascal type stands for
      {pool.User(99), L"Pointer"},          // a reference that cannot be resolved
  };
  TFakeType record = Type(TKIND_RECORD, L"AllCodes");
  MEMBERID id = 1;
  for (const TCase& c : cases) {
    ++id;
    record.Vars.push_back(Field(id, L"F" + std::to_wstring(id), c.Type));
  }
  lib.FailingRefs[99] = TYPE_E_ELEMENTNOTFOUND;
  lib.Types = {record};
  const TStringList lines = ImportUnit(lib);
  id = 1;
  for (const TCase& c : cases) {
    ++id;
    EXPECT_TRUE(Has(lines, L"    F" + std::to_wstring(id) + L": " + c.Expected + L";")) << Joined(lines);
  }
  // Pointer types are declared once, before the records that use them.
  EXPECT_TRUE(Has(lines, L"  PWideString = ^WideString;"));
  EXPECT_TRUE(Has(lines, L"  PInteger = ^Integer;"));
  EXPECT_TRUE(Has(lines, L"  PPInteger = ^PInteger;"));
  for (const std::wstring& line : lines) EXPECT_EQ(line.find(L"Unknown"), std::wstring::npos) << line;
}

TEST(ImportUnit, UnionsHoldNoManagedTypes) {
  TFakeLibrary lib;
  lib.Name = L"Unions";
  TTypePool& pool = lib.Pool;
  TFakeType either = Type(TKIND_UNION, L"Either");
  either.Vars = {Field(1, L"Text", pool.Basic(VT_BSTR)), Field(2, L"Any", pool.Basic(VT_VARIANT)),
                 Field(3, L"Object", pool.Basic(VT_UNKNOWN)), Field(4, L"Number", pool.Basic(VT_R8))};
  lib.Types = {either};
  const TStringList lines = ImportUnit(lib);
  const TStringList expected = {L"  Either = record", L"    case Integer of", L"      0: (Text: PWideChar);",
                                L"      1: (Any: TVarData);", L"      2: (&Object: Pointer);", L"      3: (Number: Double);",
                                L"  end;"};
  auto start = std::find(lines.begin(), lines.end(), expected[0]);
  ASSERT_NE(start, lines.end());
  EXPECT_EQ(TStringList(start, start + static_cast<ptrdiff_t>(expected.size())), expected);
}

TEST(ImportUnit, NamesTheCompilerWouldRefuseAreEscapedOrMadeUnique) {
  TFakeLibrary lib;
  lib.Name = L"My Library";
  TTypePool& pool = lib.Pool;
  TFakeType first = Type(TKIND_ENUM, L"Type");
  first.Vars = {Constant(1, L"Shared", TOwnedVariant::Int(1)), Constant(2, L"begin", TOwnedVariant::Int(-2))};
  TFakeType clash = Type(TKIND_RECORD, L"TYPE");  // Pascal compares names without case
  clash.Vars = {Field(1, L"x", pool.Basic(VT_I4))};
  TFakeType second = Type(TKIND_ENUM, L"Second");
  second.Vars = {Constant(1, L"SHARED", TOwnedVariant::Int(3))};
  TFakeType item = Type(TKIND_INTERFACE, L"IItem");
  item.Guid = kInterfaceGuid;
  item.Flags = TYPEFLAG_FOLEAUTOMATION;
  TFakeFunc getName = Func(1, L"Name", pool.Basic(VT_HRESULT),
                           {Param(L"Result", pool.Ptr(pool.Basic(VT_BSTR)), PARAMFLAG_FOUT | PARAMFLAG_FRETVAL)});
  // The put shares the getter's member: its names are the getter's, its value named after the retval.
  getName.InvokeKind = INVOKE_PROPERTYGET;
  TFakeFunc putName = Func(1, L"name", pool.Basic(VT_HRESULT), {Param(L"", pool.Basic(VT_BSTR))});
  putName.InvokeKind = INVOKE_PROPERTYPUT;
  TFakeFunc queryInterface = Func(2, L"QueryInterface", pool.Basic(VT_HRESULT));
  TFakeFunc method = Func(3, L"Name", pool.Basic(VT_HRESULT),
                          {Param(L"Self", pool.Basic(VT_I4)), Param(L"type", pool.Basic(VT_I4))});
  item.Funcs = {getName, putName, queryInterface, method};
  lib.Types = {first, clash, second, item};
  const TStringList lines = ImportUnit(lib);
  EXPECT_TRUE(Has(lines, L"unit My_Library_TLB;"));
  EXPECT_TRUE(Has(lines, L"  &Type = TOleEnum;"));
  EXPECT_TRUE(Has(lines, L"  // TYPE is named TYPE_1: the name is taken"));
  EXPECT_TRUE(Has(lines, L"  TYPE_1 = record"));
  EXPECT_TRUE(Has(lines, L"  Shared = 1;"));
  EXPECT_TRUE(Has(lines, L"  &begin = -2;"));
  EXPECT_TRUE(Has(lines, L"  SHARED_1 = 3; // SHARED is taken"));
  EXPECT_TRUE(Has(lines, L"    function Get_Name: WideString; safecall;")) << Joined(lines);
  EXPECT_TRUE(Has(lines, L"    procedure Set_Name(const Result_1: WideString); safecall; // parameters renamed: Result as Result_1"));
  EXPECT_TRUE(Has(lines, L"    procedure QueryInterface_1; safecall; // QueryInterface is taken"));
  EXPECT_TRUE(Has(lines, L"    procedure Name(Self_1: Integer; &type: Integer); safecall; // parameters renamed: Self as Self_1"));
  EXPECT_TRUE(Has(lines, L"    property Name_1: WideString read Get_Name write Set_Name; // Name is taken"));
  EXPECT_EQ(PascalIdentifier(L"3D View"), L"_3D_View");
  EXPECT_EQ(PascalIdentifier(L"Property"), L"&Property");
  EXPECT_EQ(ImportUnitName(L"Excel"), L"Excel_TLB");
}

TEST(ImportUnit, MethodsParametersAndDefaults) {
  TFakeLibrary lib;
  lib.Name = L"Calls";
  TTypePool& pool = lib.Pool;
  TFakeType plain = Type(TKIND_INTERFACE, L"IPlain");
  plain.Guid = kInterfaceGuid;
  TFakeFunc read = Func(1, L"Read", pool.Basic(VT_HRESULT),
                        {Param(L"buffer", pool.Ptr(pool.Basic(VT_VOID))), Param(L"size", pool.Basic(VT_UI4)),
                         Param(L"done", pool.Ptr(pool.Basic(VT_UI4)), PARAMFLAG_FOUT)});
  TFakeFunc count = Func(2, L"Count", pool.Basic(VT_UI4));
  plain.Funcs = {read, count};
  TFakeType automation = Type(TKIND_INTERFACE, L"IAuto");
  automation.Guid = kInterfaceGuid;
  automation.Flags = TYPEFLAG_FOLEAUTOMATION;
  TFakeFunc find = Func(1, L"Find", pool.Basic(VT_HRESULT),
                        {Param(L"text", pool.Basic(VT_BSTR)),
                         DefaultParam(L"start", pool.Basic(VT_I4), PARAMFLAG_FIN, TOwnedVariant::Int(-1)),
                         DefaultParam(L"caseless", pool.Basic(VT_BOOL), PARAMFLAG_FIN, TOwnedVariant::Bool(true)),
                         DefaultParam(L"mark", pool.Basic(VT_BSTR), PARAMFLAG_FIN, TOwnedVariant::Text(L"it's")),
                         Param(L"found", pool.Ptr(pool.Basic(VT_I4)), PARAMFLAG_FOUT | PARAMFLAG_FRETVAL)});
  // A default before a parameter without one, and one that does not fit its type, are left out.
  TFakeFunc gap = Func(2, L"Gap", pool.Basic(VT_HRESULT),
                       {DefaultParam(L"a", pool.Basic(VT_I4), PARAMFLAG_FIN, TOwnedVariant::Int(1)),
                        Param(L"b", pool.Basic(VT_I4)),
                        DefaultParam(L"c", pool.Basic(VT_UI1), PARAMFLAG_FIN, TOwnedVariant::Int(300))});
  automation.Funcs = {find, gap};
  lib.Types = {plain, automation};
  const TStringList lines = ImportUnit(lib);
  EXPECT_TRUE(Has(lines, L"  IPlain = interface(IUnknown)"));
  EXPECT_TRUE(Has(lines, L"    function Read(buffer: Pointer; size: LongWord; out done: LongWord): HResult; stdcall;"));
  EXPECT_TRUE(Has(lines, L"    function Count: LongWord; stdcall;"));
  EXPECT_TRUE(Has(lines, L"    function Find(const text: WideString; start: Integer = -1; caseless: WordBool = True; "
                         L"const mark: WideString = 'it''s'): Integer; safecall;"));
  EXPECT_TRUE(Has(lines, L"    procedure Gap(a: Integer; b: Integer; c: Byte); safecall;"));
}

TEST(ImportUnit, DualInterfacesGetTheirDispinterfaceAndClassesTheirCreators) {
  // A real library: the widl fixture, through the reader's record as /PAS reads it.
  TComPtr<ITypeLib> fixture;
  ASSERT_HRESULT_SUCCEEDED(LoadTypeLibEx(FixturePath(L"Shapes.tlb").c_str(), REGKIND_NONE, fixture.put()));
  TSnapshotContent replayed = ReplayTypeLibrary(RecordTypeLibrary(fixture.get()));
  TLineList lines;
  std::wstring name;
  GenerateCompilableUnit({}, replayed.Library.get(), lines, name);
  const TStringList text = lines.ToStringList();
  TLineList direct;
  GenerateCompilableUnit({}, fixture.get(), direct, name);
  EXPECT_EQ(direct.ToStringList(), text);
  EXPECT_EQ(name, L"ShapesLib_TLB");
  auto count = [&](const std::wstring& APrefix) {
    return std::count_if(text.begin(), text.end(), [&](const std::wstring& ALine) { return ALine.rfind(APrefix, 0) == 0; });
  };
  EXPECT_GT(count(L"  IID_"), 0);
  EXPECT_GT(count(L"  CLASS_"), 0);
  EXPECT_GT(count(L"    class function Create: "), 0);
  // Every dual interface is declared twice: as an interface and as its dispinterface.
  for (const std::wstring& line : text) {
    const size_t at = line.find(L" = interface(");
    if (at == std::wstring::npos) continue;
    const std::wstring dual = line.substr(2, at - 2);
    EXPECT_TRUE(Has(text, L"  " + dual + L"Disp = dispinterface") || !Has(text, L"  " + dual + L"Disp = dispinterface;"))
        << dual;
  }
  EXPECT_EQ(text.back(), L"end.");
}

TEST(ImportUnit, BrokenAnswersLeaveOutWhatCannotBeRead) {
  TFakeLibrary lib;
  lib.Name = L"Broken";
  TTypePool& pool = lib.Pool;
  TFakeType unreadable = Type(TKIND_INTERFACE, L"IGone");
  unreadable.AttrResult = E_OUTOFMEMORY;
  TFakeType holes = Type(TKIND_INTERFACE, L"IHoles");
  holes.Guid = kInterfaceGuid;
  TFakeFunc noDesc = Func(1, L"NoDesc", pool.Basic(VT_HRESULT));
  noDesc.DescResult = E_FAIL;
  TFakeFunc noNames = Func(2, L"NoNames", pool.Basic(VT_HRESULT));
  noNames.NamesResult = E_FAIL;
  TFakeFunc nul = Func(3, L"Cut\0Here"s, pool.Basic(VT_HRESULT), {Param(L"a\0b"s, pool.Basic(VT_I4))});
  holes.Funcs = {noDesc, noNames, nul};
  holes.ImplTypes = {7};
  lib.FailingRefs[7] = E_FAIL;  // a base that cannot be read: the interface derives from IUnknown
  TFakeType loop = Type(TKIND_ALIAS, L"Loop");
  loop.Alias = pool.User(8);
  lib.Refs[8] = 3;  // the alias names itself
  lib.Types = {unreadable, holes, Type(TKIND_RECORD, L"Empty"), loop};
  const TStringList lines = ImportUnit(lib);
  EXPECT_TRUE(Has(lines, L"  IHoles = interface(IUnknown)"));
  EXPECT_TRUE(Has(lines, L"    function Cut(a: Integer): HResult; stdcall;"));
  EXPECT_TRUE(Has(lines, L"    Data: array[0..0] of Byte;"));
  EXPECT_TRUE(Has(lines, L"  Loop = Pointer;"));
  for (const std::wstring& line : lines) EXPECT_EQ(line.find(L"NoDesc"), std::wstring::npos);
  EXPECT_EQ(lines.back(), L"end.");
}

TEST(ImportUnit, TypesOfAnotherLibraryComeFromThatLibrarysUnit) {
  // Drawing imports Pens; Pens is found through its registration, as a library's imports are.
  const std::wstring pens = FixturePath(L"Pens.tlb");
  TComPtr<ITypeLib> pensLib;
  ASSERT_HRESULT_SUCCEEDED(LoadTypeLibEx(pens.c_str(), REGKIND_REGISTER, pensLib.put()));
  TLIBATTR* attr = nullptr;
  ASSERT_HRESULT_SUCCEEDED(pensLib->GetLibAttr(&attr));
  const TLIBATTR registered = *attr;
  pensLib->ReleaseTLibAttr(attr);
  TScopeExit unregister([&] {
    UnRegisterTypeLib(registered.guid, registered.wMajorVerNum, registered.wMinorVerNum, registered.lcid,
                      registered.syskind);
  });
  TComPtr<ITypeLib> drawing;
  ASSERT_HRESULT_SUCCEEDED(LoadTypeLibEx(FixturePath(L"Drawing.tlb").c_str(), REGKIND_NONE, drawing.put()));
  // Through the reader's record, as /PAS and the viewer read it.
  TSnapshotContent replayed = ReplayTypeLibrary(RecordTypeLibrary(drawing.get()));
  TLineList lines;
  std::wstring name;
  GenerateCompilableUnit({}, replayed.Library.get(), lines, name);
  const TStringList text = lines.ToStringList();
  BSTR path = nullptr;
  ASSERT_HRESULT_SUCCEEDED(QueryPathOfRegTypeLib(registered.guid, 1, 0, registered.lcid, &path));
  const std::wstring registeredPath = path;
  SysFreeString(path);
  auto uses = std::find(text.begin(), text.end(), L"uses");
  ASSERT_NE(uses, text.end()) << Joined(text);
  EXPECT_EQ(TStringList(uses, uses + 4),
            (TStringList{L"uses", L"  Windows, ActiveX, ComObj, Variants,", L"  // PensLib 1.0: " + registeredPath,
                         L"  PensLib_TLB;"}));
  EXPECT_TRUE(Has(text, L"    procedure Draw(const pen: PensLib_TLB.IPen; style: PensLib_TLB.PenStyle); safecall;"))
      << Joined(text);
  // The library keeps one spelling of a name, the first it met: the parameter "pen".
  EXPECT_TRUE(Has(text, L"    function Get_pen: PensLib_TLB.IPen; safecall;")) << Joined(text);
}

