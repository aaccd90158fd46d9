// The import unit that compiles, from fake libraries: what each type code becomes, names the
// compiler would refuse, properties over accessor pairs, default values, and broken answers. The
// proof that whole units compile is the compiler's own (tests/pascal).
#include <gtest/gtest.h>

#include <algorithm>

#include "base/Zarvek_Handles.h"
#include "tests/tlbgen/FakeBuilders.h"
#include "tests/tlbgen/FakeTypeLib.h"
#include "tests/tlbgen/GeneratorTestSupport.h"
#include "generators/ImportUnit.h"
#include "typelib/TypeLibSnapshot.h"

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
  EXPECT_EQ(Joined(again.ToStringList()), Joined(lines.ToStringList())) << "replayed";
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
      // A code no Pascal type stands for, and a reference that cannot be resolved: said where used.
      {pool.Basic(VT_RECORD), L"Pointer; // stands in for a type the library does not hold"},
      {pool.User(99), L"Pointer; // stands in for a type the library does not hold"},
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
    const std::wstring expected = c.Expected;
    EXPECT_TRUE(Has(lines, L"    F" + std::to_wstring(id) + L": " + expected + (expected.find(L';') != std::wstring::npos ? L"" : L";")))
        << Joined(lines);
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
  EXPECT_TRUE(Has(lines, L"  Loop = Pointer; // stands in for a type the library does not hold"));
  for (const std::wstring& line : lines) EXPECT_EQ(line.find(L"NoDesc"), std::wstring::npos);
  EXPECT_EQ(lines.back(), L"end.");
}

TEST(ImportUnit, TypesOfAnotherLibraryComeFromThatLibrarysUnit) {
  // Drawing imports Pens; Pens is found through its registration, as a library's imports are.
  const TRegisteredLibrary pens(FixturePath(L"Pens.tlb"));
  ASSERT_HRESULT_SUCCEEDED(pens.Result());
  TComPtr<ITypeLib> drawing;
  ASSERT_HRESULT_SUCCEEDED(LoadTypeLibEx(FixturePath(L"Drawing.tlb").c_str(), REGKIND_NONE, drawing.put()));
  // Through the reader's record, as /PAS and the viewer read it.
  TSnapshotContent replayed = ReplayTypeLibrary(RecordTypeLibrary(drawing.get()));
  TLineList lines;
  std::wstring name;
  GenerateCompilableUnit({}, replayed.Library.get(), lines, name);
  const TStringList text = lines.ToStringList();
  const std::wstring registeredPath = pens.RegisteredPath();
  ASSERT_FALSE(registeredPath.empty());
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


namespace {

// The lines of one interface's declaration, from its head to its end.
TStringList InterfaceLines(const TStringList& ALines, const std::wstring& AHead) {
  auto start = std::find(ALines.begin(), ALines.end(), AHead);
  if (start == ALines.end()) return {};
  auto end = std::find(start, ALines.end(), L"  end;");
  return TStringList(start + 2, end);  // after the head and the GUID
}

TFakeFunc At(TFakeFunc AFunc, SHORT AOffset) {
  AFunc.VtableOffset = AOffset;
  return AFunc;
}

}  // namespace

TEST(VtableLayout, OffsetsGiveSlotsAndTheLayoutWithFewestGapsWins) {
  struct TCase {
    const char* Label;
    std::vector<int> Offsets;
    int SizeVft, Pointer, Base, Declared;
    std::vector<int> Slots;
    int Count;
    const wchar_t* Refusal;
  } cases[] = {
      {"in order", {12, 16, 20}, 24, 4, 3, 3, {3, 4, 5}, 6, L""},
      {"listed out of order", {20, 12, 16}, 24, 4, 3, 3, {5, 3, 4}, 6, L""},
      {"a 32-bit library counted in 64-bit pointers", {40, 24, 32}, 24, 4, 3, 3, {5, 3, 4}, 6, L""},
      {"a 64-bit library counted in 32-bit pointers", {12, 20}, 48, 8, 3, 3, {3, 5}, 6, L""},
      {"gaps and a tail", {16, 28}, 36, 4, 3, 3, {4, 7}, 9, L""},
      {"after IDispatch", {28, 32}, 36, 4, 7, 7, {7, 8}, 9, L""},
      {"a base the unit names with fewer methods", {40}, 44, 4, 10, 3, {10}, 11, L""},
      {"a shared slot", {12, 12, 16}, 20, 4, 3, 3, {}, 0, L"two members share a vtable slot"},
      {"inside the base", {8, 12}, 16, 4, 3, 3, {}, 0, L"a vtable offset lies inside the base interface"},
      {"a base the unit names with more methods", {12}, 16, 4, 3, 7, {}, 0,
       L"the base interface the unit can name has more methods than the library's base"},
  };
  for (const TCase& c : cases) {
    const TVtableLayout layout = PlanVtable(c.Offsets, c.SizeVft, c.Pointer, c.Base, c.Declared);
    EXPECT_TRUE(layout.Known) << c.Label;
    EXPECT_EQ(layout.Refusal, c.Refusal) << c.Label;
    if (!*c.Refusal) {
      EXPECT_EQ(layout.Slots, c.Slots) << c.Label;
      EXPECT_EQ(layout.Count, c.Count) << c.Label;
    }
  }
  // Without offsets (every one the same), the library's order is all there is.
  EXPECT_FALSE(PlanVtable({0, 0}, 0, 4, 3, 3).Known);
  EXPECT_FALSE(PlanVtable({24, 24}, 32, 4, 3, 3).Known);
}

TEST(ImportUnit, MethodsSitInTheSlotsTheirOffsetsGiveWithPlaceholdersForGaps) {
  // A root interface listed out of order, with a member that cannot be described and one whose
  // name cannot be read; the offsets once in the library's pointers, once in a 64-bit process's.
  for (const SHORT unit : {SHORT{4}, SHORT{8}}) {
    SCOPED_TRACE(unit);
    TFakeLibrary lib;
    lib.Name = L"Order";
    lib.HasAttr = true;
    TTypePool& pool = lib.Pool;
    TFakeType order = Type(TKIND_INTERFACE, L"IOrder");
    order.Guid = kInterfaceGuid;
    order.SizeVft = 8 * 4;
    TFakeFunc gone = Func(9, L"Gone", pool.Basic(VT_HRESULT));
    gone.DescResult = E_FAIL;
    TFakeFunc nameless = At(Func(4, L"Nameless", pool.Basic(VT_HRESULT)), static_cast<SHORT>(6 * unit));
    nameless.NamesResult = E_FAIL;
    order.Funcs = {At(Func(3, L"Third", pool.Basic(VT_HRESULT)), static_cast<SHORT>(5 * unit)),
                   At(Func(1, L"First", pool.Basic(VT_HRESULT)), static_cast<SHORT>(3 * unit)), gone, nameless,
                   At(Func(5, L"Last", pool.Basic(VT_HRESULT)), static_cast<SHORT>(7 * unit))};
    // An interface derived from it follows the slots its declaration has.
    TFakeType child = Type(TKIND_INTERFACE, L"IChild");
    child.Guid = {0x22222222, 0, 0, {1, 2, 3, 4, 5, 6, 7, 8}};
    child.ImplTypes = {1};
    child.SizeVft = 10 * 4;
    child.Funcs = {At(Func(1, L"Ninth", pool.Basic(VT_HRESULT)), static_cast<SHORT>(9 * unit))};
    lib.Refs[1] = 0;
    lib.Types = {order, child};
    const TStringList lines = ImportUnit(lib);
    EXPECT_EQ(InterfaceLines(lines, L"  IOrder = interface(IUnknown)"),
              (TStringList{L"    function First: HResult; stdcall;",
                           L"    procedure VtblSlot4; stdcall; // a member the library does not describe",
                           L"    function Third: HResult; stdcall;",
                           L"    procedure VtblSlot6; stdcall; // a member whose name cannot be read",
                           L"    function Last: HResult; stdcall;"}))
        << Joined(lines);
    EXPECT_EQ(InterfaceLines(lines, L"  IChild = interface(IOrder)"),
              (TStringList{L"    procedure VtblSlot8; stdcall; // a member the library does not describe",
                           L"    function Ninth: HResult; stdcall;"}))
        << Joined(lines);
  }
}

TEST(ImportUnit, AnInterfaceWhoseSlotsCannotBePlacedKeepsNoMethodsAndItsHeirsTheirSlots) {
  TFakeLibrary lib;
  lib.Name = L"Clash";
  lib.HasAttr = true;
  TTypePool& pool = lib.Pool;
  TFakeType clash = Type(TKIND_INTERFACE, L"IClash");
  clash.Guid = kInterfaceGuid;
  clash.SizeVft = 5 * 4;
  clash.Funcs = {At(Func(1, L"One", pool.Basic(VT_HRESULT)), 12), At(Func(2, L"Two", pool.Basic(VT_HRESULT)), 12),
                 At(Func(3, L"Three", pool.Basic(VT_HRESULT)), 16)};
  TFakeType heir = Type(TKIND_INTERFACE, L"IHeir");
  heir.Guid = {0x33333333, 0, 0, {1, 2, 3, 4, 5, 6, 7, 8}};
  heir.ImplTypes = {1};
  heir.SizeVft = 6 * 4;
  heir.Funcs = {At(Func(1, L"Own", pool.Basic(VT_HRESULT)), 20)};
  // A base that cannot be read: the unit names IUnknown and fills the base's slots.
  TFakeType orphan = Type(TKIND_INTERFACE, L"IOrphan");
  orphan.Guid = {0x44444444, 0, 0, {1, 2, 3, 4, 5, 6, 7, 8}};
  orphan.ImplTypes = {2};
  orphan.SizeVft = 6 * 4;
  orphan.Funcs = {At(Func(1, L"Late", pool.Basic(VT_HRESULT)), 20)};
  lib.Refs[1] = 0;
  lib.FailingRefs[2] = E_FAIL;
  lib.Types = {clash, heir, orphan};
  const TStringList lines = ImportUnit(lib);
  EXPECT_EQ(InterfaceLines(lines, L"  IClash = interface(IUnknown)"),
            (TStringList{L"    // Its methods are left out, so that no call reaches the wrong one: two members share a "
                         L"vtable slot."}))
      << Joined(lines);
  EXPECT_EQ(InterfaceLines(lines, L"  IHeir = interface(IClash)"),
            (TStringList{L"    procedure VtblSlot3; stdcall; // a method of the base interface, which the unit cannot name",
                         L"    procedure VtblSlot4; stdcall; // a method of the base interface, which the unit cannot name",
                         L"    function Own: HResult; stdcall;"}))
      << Joined(lines);
  EXPECT_EQ(InterfaceLines(lines, L"  IOrphan = interface(IUnknown)"),
            (TStringList{L"    procedure VtblSlot3; stdcall; // a member the library does not describe",
                         L"    procedure VtblSlot4; stdcall; // a member the library does not describe",
                         L"    function Late: HResult; stdcall;"}))
      << Joined(lines);
}

TEST(ImportUnit, ResultsAndParametersAreDeclaredAsTheMethodPassesThem) {
  TFakeLibrary lib;
  lib.Name = L"Calls";
  lib.HasAttr = true;
  TTypePool& pool = lib.Pool;
  TFakeType target = Type(TKIND_INTERFACE, L"ITarget");
  target.Guid = {0x55555555, 0, 0, {1, 2, 3, 4, 5, 6, 7, 8}};
  target.SizeVft = 3 * 4;
  TFakeType calls = Type(TKIND_INTERFACE, L"ICalls");
  calls.Guid = kInterfaceGuid;
  calls.SizeVft = 8 * 4;
  TFakeFunc name = At(Func(1, L"Name", pool.Basic(VT_BSTR)), 12);
  name.CallConv = CC_CDECL;
  TFakeFunc object = At(Func(2, L"Obj", pool.Basic(VT_UNKNOWN)), 16);
  object.CallConv = CC_PASCAL;
  TFakeFunc fast = At(Func(3, L"Fast", pool.Basic(VT_I4)), 20);
  fast.CallConv = CC_FASTCALL;
  TFakeFunc value = At(Func(4, L"Value", pool.Basic(VT_VARIANT), {Param(L"index", pool.Basic(VT_I4))}), 24);
  // One level of pointer to an interface is the reference; more is a reference passed by address.
  TFakeFunc refs = At(Func(5, L"Refs", pool.Basic(VT_HRESULT),
                           {Param(L"one", pool.Ptr(pool.User(1))), Param(L"two", pool.Ptr(pool.Ptr(pool.User(1)))),
                            Param(L"unknown", pool.Basic(VT_UNKNOWN)), Param(L"unknowns", pool.Ptr(pool.Basic(VT_UNKNOWN)))}),
                      28);
  calls.Funcs = {name, object, fast, value, refs};
  // Aliases named like the types they stand for keep their size.
  TFakeType byteAlias = Type(TKIND_ALIAS, L"BYTE");
  byteAlias.Alias = pool.Basic(VT_UI1);
  TFakeType currency = Type(TKIND_ALIAS, L"CURRENCY");
  currency.Alias = pool.Basic(VT_CY);
  // A dispatch call passes a SAFEARRAY in a variant.
  TFakeType lists = Type(TKIND_DISPATCH, L"DLists");
  lists.Guid = {0x66666666, 0, 0, {1, 2, 3, 4, 5, 6, 7, 8}};
  TFakeFunc items = Func(1, L"Items", pool.SafeArray(pool.Basic(VT_BSTR)), {Param(L"list", pool.SafeArray(pool.Basic(VT_I4)))});
  items.FuncKind = FUNC_DISPATCH;
  lists.Funcs = {items};
  lib.Refs[1] = 0;
  lib.Types = {target, calls, byteAlias, currency, lists};
  const TStringList lines = ImportUnit(lib);
  EXPECT_EQ(InterfaceLines(lines, L"  ICalls = interface(IUnknown)"),
            (TStringList{
                L"    function Name: PWideChar; cdecl; // returns a BSTR the caller frees with SysFreeString",
                L"    function Obj: Pointer; pascal; // returns an interface reference the caller releases",
                L"    procedure VtblSlot5; stdcall; // Fast: the fastcall calling convention cannot be declared",
                L"    procedure Value(out Result_: TVarData; index: Integer); stdcall; // returns its result through Result_",
                L"    function Refs(const one: ITarget; var two: ITarget; const unknown: IUnknown; var unknowns: IUnknown): "
                L"HResult; stdcall;"}))
      << Joined(lines);
  EXPECT_TRUE(Has(lines, L"  BYTE = System.Byte;")) << Joined(lines);
  EXPECT_TRUE(Has(lines, L"  CURRENCY = System.Currency;"));
  EXPECT_TRUE(Has(lines, L"    function Items(list: OleVariant): OleVariant; dispid 1;")) << Joined(lines);
}

namespace {

TFakeVar FieldAt(MEMBERID AId, const std::wstring& AName, TYPEDESC AType, ULONG AOffset) {
  TFakeVar var = Field(AId, AName, AType);
  var.Offset = AOffset;
  return var;
}

TFakeType RecordOf(TYPEKIND AKind, const std::wstring& AName, ULONG ASize, WORD AAlignment, std::vector<TFakeVar> AFields) {
  TFakeType type = Type(AKind, AName);
  type.Size = ASize;
  type.Alignment = AAlignment;
  type.Vars = std::move(AFields);
  return type;
}

// The lines of one record's declaration, after its head up to its end.
TStringList RecordLines(const TStringList& ALines, const std::wstring& AHead) {
  auto start = std::find(ALines.begin(), ALines.end(), AHead);
  if (start == ALines.end()) return {};
  auto end = std::find(start, ALines.end(), L"  end;");
  return TStringList(start + 1, end);
}

const GUID kEventsGuid = {0x77777777, 0, 0, {1, 2, 3, 4, 5, 6, 7, 8}};

// Lines from the first that equals AFirst up to the first after it that equals ALast, both included.
TStringList Block(const TStringList& ALines, const std::wstring& AFirst, const std::wstring& ALast) {
  auto start = std::find(ALines.begin(), ALines.end(), AFirst);
  if (start == ALines.end()) return {};
  auto end = std::find(start, ALines.end(), ALast);
  return TStringList(start, end == ALines.end() ? end : end + 1);
}

TFakeType Coclass(const std::wstring& AName, std::vector<HREFTYPE> AImplTypes, std::vector<INT> AFlags) {
  TFakeType type = Type(TKIND_COCLASS, AName);
  type.Guid = {0x88888888, 0, 0, {1, 2, 3, 4, 5, 6, 7, static_cast<BYTE>(AName.size())}};
  type.Flags = TYPEFLAG_FCANCREATE;
  type.ImplTypes = std::move(AImplTypes);
  type.ImplTypeFlags = std::move(AFlags);
  return type;
}

TFakeFunc Event(MEMBERID AId, const std::wstring& AName, TYPEDESC AResult, std::vector<TFakeParam> AParams = {}) {
  TFakeFunc func = Func(AId, AName, AResult, std::move(AParams));
  func.FuncKind = FUNC_DISPATCH;
  return func;
}

}  // namespace

TEST(ImportUnit, RecordsKeepTheLayoutTheLibraryGives) {
  TFakeLibrary lib;
  lib.Name = L"Layouts";
  lib.HasAttr = true;
  TTypePool& pool = lib.Pool;
  // A field that cannot be read leaves filler of its size.
  TFakeVar lost = FieldAt(2, L"Lost", pool.Basic(VT_I4), 4);
  lost.DescResult = E_FAIL;
  TFakeType gap = RecordOf(TKIND_RECORD, L"Gap", 12, 4,
                           {FieldAt(1, L"a", pool.Basic(VT_I4), 0), lost, FieldAt(3, L"c", pool.Basic(VT_I4), 8)});
  // Fields packed closer than the alignment says: placed by hand.
  TFakeType tight = RecordOf(TKIND_RECORD, L"Tight", 5, 4,
                             {FieldAt(1, L"c", pool.Basic(VT_I1), 0), FieldAt(2, L"i", pool.Basic(VT_I4), 1)});
  // Fields on top of each other in a record: only the size can be kept.
  TFakeType overlap = RecordOf(TKIND_RECORD, L"Overlap", 8, 4,
                               {FieldAt(1, L"a", pool.Basic(VT_I4), 0), FieldAt(2, L"b", pool.Basic(VT_I4), 2)});
  // A record with a string in a union stands in by units of its alignment, which keep the union's.
  TFakeType managed = RecordOf(TKIND_RECORD, L"Named", 16, 8,
                               {FieldAt(1, L"name", pool.Basic(VT_BSTR), 0), FieldAt(2, L"d", pool.Basic(VT_R8), 8)});
  TFakeType plain = RecordOf(TKIND_RECORD, L"Plain", 16, 8,
                             {FieldAt(1, L"d", pool.Basic(VT_R8), 0), FieldAt(2, L"i", pool.Basic(VT_I4), 8)});
  TFakeType either = RecordOf(TKIND_UNION, L"Either", 16, 8,
                              {FieldAt(1, L"named", pool.User(4), 0), FieldAt(2, L"plain", pool.User(5), 0)});
  lib.Refs[4] = 3;
  lib.Refs[5] = 4;
  lib.Types = {gap, tight, overlap, managed, plain, either};
  const TStringList lines = ImportUnit(lib);
  EXPECT_EQ(RecordLines(lines, L"  Gap = record"),
            (TStringList{L"    // Laid out as the library lays it out: the compiler would place its fields elsewhere.",
                         L"    a: Integer;", L"    Filler4: array[0..3] of Byte;", L"    c: Integer;"}))
      << Joined(lines);
  EXPECT_EQ(RecordLines(lines, L"  Tight = record"),
            (TStringList{L"    // Laid out as the library lays it out: the compiler would place its fields elsewhere.",
                         L"    c: ShortInt;", L"    i: Integer;"}));
  EXPECT_EQ(RecordLines(lines, L"  Overlap = record"),
            (TStringList{L"    // Its fields cannot be laid out as the library lays them out: it keeps its size only.",
                         L"    Data: array[0..7] of Byte;"}));
  EXPECT_EQ(RecordLines(lines, L"  Either = record"),
            (TStringList{L"    case Integer of", L"      0: (named: array[0..1] of Int64);", L"      1: (plain: Plain);"}))
      << Joined(lines);
  EXPECT_EQ(RecordLines(lines, L"  Plain = record"), (TStringList{L"    d: Double;", L"    i: Integer;"}));
}

TEST(EventSinks, OnlyAClassWhoseDefaultSourceIsADispinterfaceGetsOne) {
  TFakeLibrary lib;
  lib.Name = L"Sources";
  lib.HasAttr = true;
  TTypePool& pool = lib.Pool;
  TFakeType events = Type(TKIND_DISPATCH, L"DEvents");
  events.Guid = kEventsGuid;
  events.Funcs = {Event(1, L"Ping", pool.Basic(VT_VOID))};
  TFakeType dual = Type(TKIND_DISPATCH, L"IDualEvents");
  dual.Guid = {0x99999999, 0, 0, {1, 2, 3, 4, 5, 6, 7, 8}};
  dual.Flags = TYPEFLAG_FDUAL | TYPEFLAG_FDISPATCHABLE;
  TFakeType plain = Type(TKIND_INTERFACE, L"IPlainEvents");
  plain.Guid = kInterfaceGuid;
  TFakeType gone = Type(TKIND_DISPATCH, L"DGone");
  gone.AttrResult = E_OUTOFMEMORY;
  lib.Refs = {{1, 0}, {2, 1}, {3, 2}, {4, 3}};
  lib.FailingRefs[9] = TYPE_E_CANTLOADLIBRARY;
  constexpr INT kDefaultSource = IMPLTYPEFLAG_FDEFAULT | IMPLTYPEFLAG_FSOURCE;
  struct TCase {
    TFakeType Class;
    std::wstring Expected;  // a line of the unit; empty: the class is not mentioned among the sinks
  } cases[] = {
      {Coclass(L"Pure", {3, 1}, {IMPLTYPEFLAG_FDEFAULT, kDefaultSource}), L"  TPureEvents = class(TEventSink)"},
      // Without a source marked default, the first source is the default one.
      // Classes raising the same events share a sink; without a source marked default, the first source is
      // the default one.
      {Coclass(L"Same", {1}, {kDefaultSource}), L"  TSameEvents = TPureEvents;"},
      {Coclass(L"Unmarked", {3, 1}, {0, IMPLTYPEFLAG_FSOURCE}), L"  TUnmarkedEvents = TPureEvents;"},
      {Coclass(L"Dual", {2}, {kDefaultSource}),
       L"  // Dual gets no event sink: it raises its events through IDualEvents, which is no dispinterface."},
      {Coclass(L"Plain", {3}, {kDefaultSource}),
       L"  // Plain gets no event sink: it raises its events through IPlainEvents, which is no dispinterface."},
      {Coclass(L"DefaultWins", {1, 3}, {IMPLTYPEFLAG_FSOURCE, kDefaultSource}),
       L"  // DefaultWins gets no event sink: it raises its events through IPlainEvents, which is no dispinterface."},
      {Coclass(L"NoSource", {3}, {IMPLTYPEFLAG_FDEFAULT}), L""},
      {Coclass(L"Lost", {9}, {kDefaultSource}),
       L"  // Lost gets no event sink; the interface of its events cannot be read: " +
           ExpectedMessageLine(TYPE_E_CANTLOADLIBRARY) + L"."},
      {Coclass(L"Broken", {4}, {kDefaultSource}),
       L"  // Broken gets no event sink; the interface of its events, DGone, cannot be read: " +
           ExpectedMessageLine(E_OUTOFMEMORY) + L"."},
  };
  lib.Types = {events, dual, plain, gone};
  for (const TCase& c : cases) lib.Types.push_back(c.Class);
  const TStringList lines = ImportUnit(lib);
  for (const TCase& c : cases) {
    std::wstring bare = c.Class.Name;
    if (!c.Expected.empty()) {
      EXPECT_TRUE(Has(lines, c.Expected)) << Joined(lines);
    }
    for (const std::wstring& line : lines) {
      if (line == c.Expected || line.find(L"  T" + bare + L"Events") != 0) continue;
      ADD_FAILURE() << bare << ": " << Joined({line});
    }
  }
  // The sink connects through the dispinterface's constant and hands Ping to its handler.
  EXPECT_EQ(Block(lines, L"constructor TPureEvents.Create;", L"end;"),
            (TStringList{L"constructor TPureEvents.Create;", L"begin", L"  inherited Create(DIID_DEvents);", L"end;"}));
  EXPECT_TRUE(Has(lines, L"    property OnPing: TPurePingEvent read FOnPing write FOnPing;"));
  EXPECT_TRUE(Has(lines, L"uses SysUtils;"));
  EXPECT_EQ(std::count(lines.begin(), lines.end(), L"  TEventSink = class(TObject, IUnknown, IDispatch)"), 1);
}

TEST(EventSinks, HandlersGetTypedArgumentsAndWriteBackThoseByReference) {
  TFakeLibrary lib;
  lib.Name = L"Clock";
  lib.HasAttr = true;
  TTypePool& pool = lib.Pool;
  TFakeType colour = Type(TKIND_ENUM, L"Colour");
  colour.Vars = {Constant(1, L"clRed", TOwnedVariant::Int(0))};
  TFakeType thing = Type(TKIND_INTERFACE, L"IThing");
  thing.Guid = kInterfaceGuid;
  thing.Flags = TYPEFLAG_FOLEAUTOMATION;
  TFakeType other = Type(TKIND_DISPATCH, L"DOther");
  other.Guid = {0x12121212, 0, 0, {1, 2, 3, 4, 5, 6, 7, 8}};
  TFakeType point = Type(TKIND_RECORD, L"TPoint");
  point.Vars = {Field(1, L"x", pool.Basic(VT_I4))};
  TFakeType events = Type(TKIND_DISPATCH, L"DClockEvents");
  events.Guid = kEventsGuid;
  const USHORT inOut = PARAMFLAG_FIN | PARAMFLAG_FOUT;
  TFakeFunc cell = Event(7, L"Cell", pool.Basic(VT_VOID));
  cell.InvokeKind = INVOKE_PROPERTYGET;  // a property: no event
  events.Funcs = {
      Event(1, L"Started", pool.Basic(VT_VOID)),
      Event(2, L"Tick",  pool.Basic(VT_VOID),
            {Param(L"count", pool.Basic(VT_I4)), Param(L"label", pool.Basic(VT_BSTR)), Param(L"last", pool.Basic(VT_BOOL))}),
      // The locale is no argument of the dispatch call: "any" comes third.
      Event(3, L"Adjust", pool.Basic(VT_VOID),
            {Param(L"value", pool.Ptr(pool.Basic(VT_I4)), inOut), Param(L"text", pool.Ptr(pool.Basic(VT_BSTR)), inOut),
             Param(L"locale", pool.Basic(VT_I4), PARAMFLAG_FIN | PARAMFLAG_FLCID),
             Param(L"any", pool.Ptr(pool.Basic(VT_VARIANT)), inOut)}),
      Event(4, L"Ask", pool.Basic(VT_BOOL), {Param(L"question", pool.Basic(VT_BSTR))}),
      Event(5, L"Found", pool.Basic(VT_VOID),
            {Param(L"tint", pool.User(1)), Param(L"item", pool.Ptr(pool.User(2))), Param(L"other", pool.Ptr(pool.User(3))),
             Param(L"where", pool.User(4)), Param(L"raw", pool.Ptr(pool.Basic(VT_VOID)))}),
      Event(6, L"Pick", pool.Basic(VT_VOID),
            {Param(L"tint", pool.Ptr(pool.User(1)), inOut), Param(L"item", pool.Ptr(pool.Ptr(pool.User(2))), PARAMFLAG_FOUT)}),
      cell};
  lib.Refs = {{1, 0}, {2, 1}, {3, 2}, {4, 3}, {5, 4}};
  lib.Types = {colour, thing, other, point, events, Coclass(L"Clock", {5}, {IMPLTYPEFLAG_FDEFAULT | IMPLTYPEFLAG_FSOURCE})};
  const TStringList lines = ImportUnit(lib);
  // Records and pointers do not convert: they reach the handler as the variant they came in.
  EXPECT_EQ(Block(lines, L"  TClockStartedEvent = procedure(Sender: TObject) of object;", L"  end;"),
            (TStringList{
                L"  TClockStartedEvent = procedure(Sender: TObject) of object;",
                L"  TClockTickEvent = procedure(Sender: TObject; count: Integer; const &label: WideString; last: WordBool) of object;",
                L"  TClockAdjustEvent = procedure(Sender: TObject; var value: Integer; var text: WideString; var any: OleVariant) of object;",
                L"  TClockAskEvent = function(Sender: TObject; const question: WideString): WordBool of object;",
                L"  TClockFoundEvent = procedure(Sender: TObject; tint: Colour; const item: IThing; const other: DOther; "
                L"where: OleVariant; raw: OleVariant) of object;",
                L"  TClockPickEvent = procedure(Sender: TObject; var tint: Colour; var item: IThing) of object;",
                L"",
                L"  // Events of Clock objects (DClockEvents): set the On properties, then Connect to an object.",
                L"  TClockEvents = class(TEventSink)",
                L"  private",
                L"    FOnStarted: TClockStartedEvent;",
                L"    FOnTick: TClockTickEvent;",
                L"    FOnAdjust: TClockAdjustEvent;",
                L"    FOnAsk: TClockAskEvent;",
                L"    FOnFound: TClockFoundEvent;",
                L"    FOnPick: TClockPickEvent;",
                L"  protected",
                L"    function DispatchEvent(DispID: Integer; var Params: TDispParams; VarResult: System.POleVariant): Boolean; "
                L"override;",
                L"  public",
                L"    constructor Create;",
                L"    property OnStarted: TClockStartedEvent read FOnStarted write FOnStarted;",
                L"    property OnTick: TClockTickEvent read FOnTick write FOnTick;",
                L"    property OnAdjust: TClockAdjustEvent read FOnAdjust write FOnAdjust;",
                L"    property OnAsk: TClockAskEvent read FOnAsk write FOnAsk;",
                L"    property OnFound: TClockFoundEvent read FOnFound write FOnFound;",
                L"    property OnPick: TClockPickEvent read FOnPick write FOnPick;",
                L"  end;"}))
      << Joined(lines);
  // Arguments by dispatch position, converted; those by reference written back; the result returned. The
  // unit declares a POleVariant of its own for the VARIANT* parameter: the sink names the compiler's.
  EXPECT_EQ(Block(lines,
                  L"function TClockEvents.DispatchEvent(DispID: Integer; var Params: TDispParams; VarResult: "
                  L"System.POleVariant): Boolean;",
                  L"end;"),
            (TStringList{
                L"function TClockEvents.DispatchEvent(DispID: Integer; var Params: TDispParams; VarResult: "
                L"System.POleVariant): Boolean;",
                L"var",
                L"  Tick_count: Integer;",
                L"  Tick_label: WideString;",
                L"  Tick_last: WordBool;",
                L"  Adjust_value: Integer;",
                L"  Adjust_text: WideString;",
                L"  Adjust_any: OleVariant;",
                L"  Ask_question: WideString;",
                L"  Ask_Result: WordBool;",
                L"  Found_tint: Clock_TLB.Colour;",
                L"  Found_item: Clock_TLB.IThing;",
                L"  Found_other: Clock_TLB.DOther;",
                L"  Found_where: OleVariant;",
                L"  Found_raw: OleVariant;",
                L"  Pick_tint: Clock_TLB.Colour;",
                L"  Pick_item: Clock_TLB.IThing;",
                L"begin",
                L"  Result := True;",
                L"  case DispID of",
                L"    1:",
                L"      if Assigned(FOnStarted) then FOnStarted(Self);",
                L"    2:",
                L"      if Assigned(FOnTick) then",
                L"      begin",
                L"        Tick_count := ArgValue(Params, 0);",
                L"        Tick_label := ArgValue(Params, 1);",
                L"        Tick_last := ArgValue(Params, 2);",
                L"        FOnTick(Self, Tick_count, Tick_label, Tick_last);",
                L"      end;",
                L"    3:",
                L"      if Assigned(FOnAdjust) then",
                L"      begin",
                L"        Adjust_value := ArgValue(Params, 0);",
                L"        Adjust_text := ArgValue(Params, 1);",
                L"        Adjust_any := ArgValue(Params, 2);",
                L"        FOnAdjust(Self, Adjust_value, Adjust_text, Adjust_any);",
                L"        SetArg(Params, 0, Adjust_value);",
                L"        SetArg(Params, 1, Adjust_text);",
                L"        SetArg(Params, 2, Adjust_any);",
                L"      end;",
                L"    4:",
                L"      if Assigned(FOnAsk) then",
                L"      begin",
                L"        Ask_question := ArgValue(Params, 0);",
                L"        Ask_Result := FOnAsk(Self, Ask_question);",
                L"        if VarResult <> nil then VarResult^ := Ask_Result;",
                L"      end;",
                L"    5:",
                L"      if Assigned(FOnFound) then",
                L"      begin",
                L"        Found_tint := Clock_TLB.Colour(Integer(ArgValue(Params, 0)));",
                L"        Found_item := ArgUnknown(Params, 1) as Clock_TLB.IThing;",
                L"        Found_other := Clock_TLB.DOther(ArgDispatch(Params, 2));",
                L"        Found_where := ArgValue(Params, 3);",
                L"        Found_raw := ArgValue(Params, 4);",
                L"        FOnFound(Self, Found_tint, Found_item, Found_other, Found_where, Found_raw);",
                L"      end;",
                L"    6:",
                L"      if Assigned(FOnPick) then",
                L"      begin",
                L"        Pick_tint := Clock_TLB.Colour(Integer(ArgValue(Params, 0)));",
                L"        Pick_item := ArgUnknown(Params, 1) as Clock_TLB.IThing;",
                L"        FOnPick(Self, Pick_tint, Pick_item);",
                L"        SetArg(Params, 0, Integer(Pick_tint));",
                L"        SetArg(Params, 1, IUnknown(Pick_item));",
                L"      end;",
                L"  else",
                L"    Result := False;",
                L"  end;",
                L"end;"}))
      << Joined(lines);
}

TEST(EventSinks, NamesThatClashAreMadeUnique) {
  TFakeLibrary lib;
  lib.Name = L"Clash";
  lib.HasAttr = true;
  TTypePool& pool = lib.Pool;
  // Names the unit takes before the sinks, and constants that hide the compilers' own names.
  TFakeType sinkName = Type(TKIND_RECORD, L"TEventSink");
  sinkName.Vars = {Field(1, L"x", pool.Basic(VT_I4))};
  TFakeType className = Type(TKIND_RECORD, L"TCanvasEvents");
  className.Vars = {Field(1, L"x", pool.Basic(VT_I4))};
  TFakeType hiding = Type(TKIND_ENUM, L"Hiding");
  hiding.Vars = {Constant(1, L"S_OK", TOwnedVariant::Int(0)), Constant(2, L"TObject", TOwnedVariant::Int(1)),
                 Constant(3, L"Assigned", TOwnedVariant::Int(2)), Constant(4, L"Click_Sender", TOwnedVariant::Int(3))};
  TFakeType events = Type(TKIND_DISPATCH, L"DCanvasEvents");
  events.Guid = kEventsGuid;
  events.Funcs = {Event(1, L"Click", pool.Basic(VT_VOID), {Param(L"Sender", pool.Basic(VT_I4))}),
                  Event(2, L"click", pool.Basic(VT_VOID)),  // the same name to Pascal
                  Event(1, L"Again", pool.Basic(VT_VOID))};
  lib.Refs = {{1, 3}};
  lib.Types = {sinkName, className, hiding, events,
               Coclass(L"Canvas", {1}, {IMPLTYPEFLAG_FDEFAULT | IMPLTYPEFLAG_FSOURCE})};
  const TStringList lines = ImportUnit(lib);
  EXPECT_TRUE(Has(lines, L"  TEventSink_1 = class(System.TObject, IUnknown, IDispatch)")) << Joined(lines);
  EXPECT_TRUE(Has(lines, L"    Result := Windows.S_OK")) << Joined(lines);
  EXPECT_EQ(Block(lines, L"  TCanvasClickEvent = procedure(Sender: System.TObject; Sender_1: Integer) of object;",
                  L"  end;"),
            (TStringList{L"  TCanvasClickEvent = procedure(Sender: System.TObject; Sender_1: Integer) of object;",
                         L"  TCanvasclickEvent_1 = procedure(Sender: System.TObject) of object;",
                         L"",
                         L"  // Events of Canvas objects (DCanvasEvents): set the On properties, then Connect to an object.",
                         L"  TCanvasEvents_1 = class(TEventSink_1)",
                         L"  private",
                         L"    FOnClick: TCanvasClickEvent;",
                         L"    FOnclick_1: TCanvasclickEvent_1;",
                         L"  protected",
                         L"    function DispatchEvent(DispID: Integer; var Params: TDispParams; VarResult: POleVariant): "
                         L"Boolean; override;",
                         L"  public",
                         L"    constructor Create;",
                         L"    // An event listed again under dispid 1 (Click) is left out.",
                         L"    property OnClick: TCanvasClickEvent read FOnClick write FOnClick;",
                         L"    property Onclick_1: TCanvasclickEvent_1 read FOnclick_1 write FOnclick_1;",
                         L"  end;"}))
      << Joined(lines);
  // Locals keep clear of the unit's names; the compilers' names hidden by the library's are named by their unit.
  EXPECT_TRUE(Has(lines, L"  Click_Sender_1: Integer;")) << Joined(lines);
  EXPECT_TRUE(Has(lines, L"      if System.Assigned(FOnclick_1) then FOnclick_1(Self);")) << Joined(lines);
}

TEST(EventSinks, ADispinterfaceOfAnotherLibraryIsConnectedByItsGuid) {
  // A library that cannot say which it is: the dispinterface counts as another library's, which
  // declares no DIID_ constant in this unit.
  TFakeLibrary lib;
  lib.Name = L"Elsewhere";
  TTypePool& pool = lib.Pool;
  TFakeType events = Type(TKIND_DISPATCH, L"DRemoteEvents");
  events.Guid = kEventsGuid;
  events.Funcs = {Event(1, L"Ping", pool.Basic(VT_VOID), {Param(L"count", pool.Basic(VT_I4))})};
  lib.Refs = {{1, 0}};
  lib.Types = {events, Coclass(L"Remote", {1}, {IMPLTYPEFLAG_FDEFAULT | IMPLTYPEFLAG_FSOURCE})};
  // Generated directly: a record of the fake would know its library.
  TLineList generated;
  std::wstring name;
  GenerateCompilableUnit({}, lib.Lib(), generated, name);
  const TStringList lines = generated.ToStringList();
  EXPECT_EQ(Block(lines, L"constructor TRemoteEvents.Create;", L"end;"),
            (TStringList{L"constructor TRemoteEvents.Create;", L"const",
                         L"  EventsIID: TGUID = '{77777777-0000-0000-0102-030405060708}';", L"begin",
                         L"  inherited Create(EventsIID);", L"end;"}))
      << Joined(lines);
  EXPECT_TRUE(Has(lines, L"  TRemotePingEvent = procedure(Sender: TObject; count: Integer) of object;"));
}
