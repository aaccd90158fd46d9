// The unit generator against type information made of plain records: every rule that no
// compiler can be made to exercise (failing calls, NUL characters, odd codes), and the tables.
#include <gtest/gtest.h>

#include "base/Zarvek_StrUtils.h"
#include "tests/tlbgen/FakeBuilders.h"
#include "tests/tlbgen/FakeTypeLib.h"
#include "tests/tlbgen/GeneratorTestSupport.h"
#include "generators/TLBGenerator.h"

using namespace vantrel;
using namespace vantrel::test;
using namespace std::string_literals;

namespace {

const GUID kGuid = {0x12345678, 0x9ABC, 0xDEF0, {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF}};
const wchar_t kGuidText[] = L"{12345678-9ABC-DEF0-0123-456789ABCDEF}";

}  // namespace

TEST(UnitSkeleton, LibraryWithoutTypesIsHeaderAndFooter) {
  TFakeLibrary lib;
  lib.Name = L"Empty";
  lib.Doc = L"Nothing inside";
  lib.HelpFile = L"C:\\help\\empty.hlp";
  TObjectData data;
  data.Server = L"\"C:\\libs\\empty.tlb\" /x";
  data.TypeLib = L"{00000000-0000-0000-0000-000000000001}";
  data.MajorVersion = 65537;
  data.MinorVersion = 3;
  TGenerated unit = GenerateUnit(lib, data);
  const TStringList expected = {
      L"// typelib filename: \"C:\\libs\\empty.tlb\" /x",
      L"",
      L"// uid: {00000000-0000-0000-0000-000000000001}",
      L"// version: 65537.3",
      L"// helpstring: Nothing inside",
      L"// helpfile: C:\\help\\empty.hlp",
      L"",
      L"unit Empty;",
      L"",
      L"interface",
      L"",
      L"uses Windows, ActiveX, Classes;",
      L"",
      L"",
      L"implementation",
      L"",
      L"end.",
  };
  EXPECT_EQ(unit.Lines, expected) << Joined(unit.Lines);
  EXPECT_EQ(unit.UnitName, L"Empty");
}

TEST(UnitSkeleton, UnreadableLibraryDocumentationLeavesTheNamesEmpty) {
  TFakeLibrary lib;
  lib.Name = L"Hidden";
  lib.Doc = L"never shown";
  lib.DocResult = E_FAIL;
  TGenerated unit = GenerateUnit(lib);
  ASSERT_EQ(unit.Lines.size(), 17u);
  EXPECT_EQ(unit.Lines[0], L"// typelib filename: ");
  EXPECT_EQ(unit.Lines[2], L"// uid: ");
  EXPECT_EQ(unit.Lines[3], L"// version: 0.0");
  EXPECT_EQ(unit.Lines[4], L"// helpstring: ");
  EXPECT_EQ(unit.Lines[5], L"// helpfile: ");
  EXPECT_EQ(unit.Lines[7], L"unit ;");
  EXPECT_EQ(unit.UnitName, L"");
}

TEST(UnitSkeleton, TextsAreCutAtTheFirstNulButReferencedTypeNamesAreWhole) {
  TFakeLibrary lib;
  lib.Name = L"Lib\0Tail"s;
  lib.Doc = L"Help\0hidden"s;
  lib.HelpFile = L"lib.hlp\0.bak"s;
  TFakeType record = Type(TKIND_RECORD, L"Rec\0ord"s, L"Doc\0more"s);
  record.Vars.push_back(Field(1, L"fi\0eld"s, lib.Pool.User(7), L"about\0it"s));
  lib.Types.push_back(record);
  lib.Types.push_back(Type(TKIND_RECORD, L"Ref\0Tail"s));
  lib.Refs[7] = 1;
  TGenerated unit = GenerateUnit(lib);
  EXPECT_EQ(unit.UnitName, L"Lib");
  EXPECT_EQ(unit.Lines[4], L"// helpstring: Help");
  EXPECT_EQ(unit.Lines[5], L"// helpfile: lib.hlp");
  EXPECT_EQ(unit.Lines[7], L"unit Lib;");
  const TStringList expected = {
      L"type", L"  // Doc", L"  Rec = record", L"    // about", L"    fi: Ref\0Tail;"s, L"  end;", L"",
      L"type", L"  Ref = record", L"  end;", L"",
  };
  EXPECT_EQ(Declarations(unit.Lines), expected) << Joined(unit.Lines);
}

TEST(UnitSkeleton, UnreadableTypesLeaveTheSystemMessageAndTheRestGoesOn) {
  TFakeLibrary lib;
  lib.Name = L"Broken";
  TFakeType noDoc = Type(TKIND_RECORD, L"NoDoc");
  noDoc.LibDocResult = E_OUTOFMEMORY;
  TFakeType noInfo = Type(TKIND_RECORD, L"NoInfo");
  noInfo.InfoResult = TYPE_E_ELEMENTNOTFOUND;
  TFakeType noAttr = Type(TKIND_RECORD, L"NoAttr");
  noAttr.AttrResult = E_ACCESSDENIED;
  lib.Types = {noDoc, noInfo, noAttr, Type(TKIND_RECORD, L"After")};
  TGenerated unit = GenerateUnit(lib);
  const TStringList expected = {
      ExpectedMessageLine(E_OUTOFMEMORY), ExpectedMessageLine(TYPE_E_ELEMENTNOTFOUND),
      ExpectedMessageLine(E_ACCESSDENIED), L"type", L"  After = record", L"  end;", L"",
  };
  EXPECT_EQ(Declarations(unit.Lines), expected) << Joined(unit.Lines);
  // A message is one line of text, never a line break or an empty line.
  for (const std::wstring& line : TStringList(expected.begin(), expected.begin() + 3)) {
    EXPECT_FALSE(IsBlankText(line));
    EXPECT_EQ(line.find_first_of(L"\r\n"), std::wstring::npos);
    EXPECT_NE(line.back(), L'.');
  }
}

TEST(UnitSkeleton, SystemMessageLineWithoutSystemTextShowsTheCode) {
  // Codes the system has no text for, as the platform's own range does not describe them.
  EXPECT_EQ(SystemMessageLine(static_cast<HRESULT>(0xA0B0C0D0)), L"(Error code: 0xA0B0C0D0)");
  EXPECT_EQ(SystemMessageLine(E_OUTOFMEMORY), ExpectedMessageLine(E_OUTOFMEMORY));
}

TEST(Declarations, BlocksOfEveryKind) {
  TFakeLibrary lib;
  lib.Name = L"Kinds";
  TFakeType empty = Type(TKIND_ENUM, L"NoConstants");
  TFakeType colours = Type(TKIND_ENUM, L"Colours", L"  Some colours  ");
  colours.Vars = {Constant(1, L"clRed", TOwnedVariant::Int(0)), Constant(2, L"clDark", TOwnedVariant::Int(-7))};
  colours.Vars[1].Doc = L"darker";
  TFakeType either = Type(TKIND_UNION, L"Either", L" \t ");
  either.Vars = {Field(1, L"asLong", lib.Pool.Basic(VT_I4)), Field(2, L"asText", lib.Pool.Basic(VT_BSTR), L"as text"),
                 Field(3, L"asReal", lib.Pool.Basic(VT_R8))};
  TFakeType module = Type(TKIND_MODULE, L"Helpers", L"module help");
  module.Funcs = {Func(1, L"Helper", lib.Pool.Basic(VT_I4))};
  module.Vars = {Constant(2, L"HelperConst", TOwnedVariant::Int(3))};
  TFakeType alias = Type(TKIND_ALIAS, L"Names", L"An alias");
  alias.Alias = lib.Pool.SafeArray(lib.Pool.Basic(VT_BSTR));
  TFakeType nothing = Type(TKIND_COCLASS, L"Nothing");
  nothing.Guid = kGuid;
  nothing.Flags = 0x0006;
  TFakeType several = Type(TKIND_COCLASS, L"Several", L"A class");
  several.Guid = kGuid;
  several.ImplTypes = {21, 22, 23};  // the second cannot be resolved and is left out
  lib.FailingRefs[22] = TYPE_E_CANTLOADLIBRARY;
  lib.Refs[21] = 7;
  lib.Refs[23] = 8;
  TFakeType base = Type(TKIND_INTERFACE, L"IBase");
  base.Guid = kGuid;
  base.Flags = 0x0030;
  base.ImplTypes = {23};
  TFakeType events = Type(TKIND_DISPATCH, L"DEvents");
  lib.Types = {empty, colours, either, module, alias, nothing, several, base, events};
  TGenerated unit = GenerateUnit(lib);
  const std::wstring guid = kGuidText;
  const TStringList expected = {
      L"type", L"  NoConstants = TOleEnum;", L"const", L"",
      L"type", L"  //   Some colours  ", L"  Colours = TOleEnum;", L"const", L"  clRed = 0;", L"  // darker",
      L"  clDark = -7;", L"",
      L"type", L"  Either = record", L"  case Integer of", L"    0: asLong: LongInt;", L"    1: // as text",
      L"    2: asText: WideString;", L"    3: asReal: Double;", L"  end;", L"",
      L"type", L"  // An alias", L"  Names = array of WideString;", L"",
      L"type", L"  // CLSID: " + guid, L"  // Flags: (6) cancreate,licensed", L"  TNothing = class(TAutoObject);", L"",
      L"type", L"  // A class", L"  // CLSID: " + guid, L"  // Flags: (0)",
      L"  TSeveral = class(TAutoObject, IBase, DEvents);", L"",
      L"type", L"  // Flags: (48) control,hidden", L"  IBase = interface(IDispatch)", L"     ['" + guid + L"']",
      L"  end;", L"",
      L"type", L"  // Flags: (0)", L"  DEventsDisp = dispinterface", L"     ['{00000000-0000-0000-0000-000000000000}']",
      L"  end;", L"",
  };
  EXPECT_EQ(Declarations(unit.Lines), expected) << Joined(unit.Lines);
}

TEST(Members, PropertiesAndFunctionsOfInterfacesAndDispatchInterfaces) {
  TFakeLibrary lib;
  lib.Name = L"Members";
  TTypePool& pool = lib.Pool;
  TFakeType shape = Type(TKIND_DISPATCH, L"IShape");
  shape.Vars = {Field(1, L"Width", pool.Basic(VT_I4), L"in pixels")};
  TFakeFunc get = Func(2, L"Caption", pool.Basic(VT_BSTR));
  get.FuncKind = FUNC_DISPATCH;
  get.InvokeKind = INVOKE_PROPERTYGET;
  get.Doc = L"The caption";
  TFakeFunc put = Func(3, L"Value", pool.Basic(VT_VOID), {Param(L"", pool.Basic(VT_VARIANT))});
  put.FuncKind = FUNC_DISPATCH;
  put.InvokeKind = INVOKE_PROPERTYPUT;
  put.ExplicitNames = true;
  put.Names = {L"Value"};  // the value parameter has no name
  TFakeFunc putRef = Func(4, L"Brush", pool.Basic(VT_VOID),
                          {Param(L"index", pool.Basic(VT_I4)), Param(L"  ", pool.Basic(VT_UNKNOWN))});
  putRef.FuncKind = FUNC_DISPATCH;
  putRef.InvokeKind = INVOKE_PROPERTYPUTREF;
  TFakeFunc newEnum = Func(DISPID_NEWENUM, L"_NewEnum", pool.Basic(VT_UNKNOWN));
  newEnum.FuncKind = FUNC_DISPATCH;
  TFakeFunc inherited = Func(0x60000000, L"Query\0Interface"s, pool.Basic(VT_HRESULT),
                             {Param(L"riid\0x"s, pool.Ptr(pool.Basic(VT_I4)), PARAMFLAG_FIN)});
  inherited.FuncKind = FUNC_DISPATCH;
  shape.Funcs = {get, put, putRef, newEnum, inherited};

  TFakeType canvas = Type(TKIND_INTERFACE, L"ICanvas");
  TFakeFunc clear = Func(1, L"Clear", pool.Basic(VT_HRESULT));
  TFakeFunc count = Func(2, L"Count", pool.Basic(VT_I4));
  TFakeFunc reset = Func(3, L"Reset", pool.Basic(VT_VOID));
  TFakeFunc nameless = Func(4, L"Nameless", pool.Basic(VT_HRESULT), {Param(L"a", pool.Basic(VT_I4))});
  nameless.ExplicitNames = true;  // no names at all: no brackets either
  canvas.Funcs = {clear, count, reset, nameless};
  lib.Types = {shape, canvas};

  TGenerated unit = GenerateUnit(lib);
  const TStringList expected = {
      L"type",
      L"  // Flags: (0)",
      L"  IShapeDisp = dispinterface",
      L"     ['{00000000-0000-0000-0000-000000000000}']",
      L"    // in pixels",
      L"    property Width: LongInt;",
      L"    // The caption",
      L"    function Get_Caption: WideString; dispid 2;",
      L"    procedure Set_Value(const Param1: Variant); dispid 3;",
      L"    procedure Set_Brush(const index: LongInt; const Param2: IUnknown); dispid 4;",
      L"    function _NewEnum: IUnknown; dispid -4;",
      L"    procedure Query(const riid: LongInt): HRESULT; dispid 1610612736;",
      L"  end;",
      L"",
      L"type",
      L"  // Flags: (0)",
      L"  ICanvas = interface(IDispatch)",
      L"     ['{00000000-0000-0000-0000-000000000000}']",
      L"    procedure Clear: HRESULT;;",
      L"    function Count: LongInt;;",
      L"    procedure Reset;;",
      L"    procedure : HRESULT;;",
      L"  end;",
      L"",
  };
  EXPECT_EQ(Declarations(unit.Lines), expected) << Joined(unit.Lines);
}

TEST(Members, UnreadableMembersAreLeftOutOrLeftEmpty) {
  TFakeLibrary lib;
  lib.Name = L"Failures";
  TTypePool& pool = lib.Pool;
  TFakeType type = Type(TKIND_INTERFACE, L"IFailing");
  TFakeVar noDesc = Field(1, L"NoDesc", pool.Basic(VT_I4), L"never shown");
  noDesc.DescResult = E_FAIL;
  TFakeVar noDoc = Field(2, L"NoDoc", pool.Basic(VT_I4), L"never shown");
  noDoc.DocResult = TYPE_E_ELEMENTNOTFOUND;
  TFakeVar unknownType = Field(3, L"Shade", pool.User(99));
  lib.FailingRefs[99] = TYPE_E_CANTLOADLIBRARY;
  type.Vars = {noDesc, noDoc, unknownType};
  TFakeFunc noNames = Func(4, L"NoNames", pool.Basic(VT_HRESULT));
  noNames.Doc = L"the comment goes with the function";
  noNames.NamesResult = E_OUTOFMEMORY;
  TFakeFunc noFuncDesc = Func(5, L"NoFuncDesc", pool.Basic(VT_HRESULT));
  noFuncDesc.DescResult = E_FAIL;
  TFakeFunc noFuncDoc = Func(6, L"NoFuncDoc", pool.Basic(VT_HRESULT));
  noFuncDoc.DocResult = E_FAIL;
  type.Funcs = {noNames, noFuncDesc, noFuncDoc};
  lib.Types = {type};
  TGenerated unit = GenerateUnit(lib);
  const TStringList expected = {
      L"type",
      L"  // Flags: (0)",
      L"  IFailing = interface(IDispatch)",
      L"     ['{00000000-0000-0000-0000-000000000000}']",
      L"    property ",
      L"    property Shade: <UnknownCustomType>;",
      L"    procedure NoFuncDoc: HRESULT;;",
      L"  end;",
      L"",
  };
  EXPECT_EQ(Declarations(unit.Lines), expected) << Joined(unit.Lines);
}

TEST(Members, ConstantValues) {
  TFakeLibrary lib;
  TFakeType values = Type(TKIND_ENUM, L"Values");
  TFakeVar noRecord = Constant(7, L"NoRecord", TOwnedVariant::Int(1));
  noRecord.HasValue = false;
  values.Vars = {
      Constant(1, L"Negative", TOwnedVariant::Int(-2147483647 - 1)),
      Constant(2, L"Quoted", TOwnedVariant::Text(L"it's \"so\"")),
      Constant(3, L"Nothing", TOwnedVariant::Null()),
      Constant(4, L"Real", TOwnedVariant::Double(2.5)),
      Constant(5, L"Yes", TOwnedVariant::Bool(true)),
      Constant(6, L"Failure", TOwnedVariant::Error(E_FAIL)),
      noRecord,
  };
  lib.Types = {values};
  TGenerated unit = GenerateUnit(lib);
  const TStringList expected = {
      L"type",
      L"  Values = TOleEnum;",
      L"const",
      L"  Negative = -2147483648;",
      L"  Quoted = it's \"so\";",
      L"  Nothing = <?>;",
      L"  Real = 2.5;",
      L"  Yes = True;",
      L"  Failure = <?>;",
      L"  NoRecord = <?>;",
      L"",
  };
  EXPECT_EQ(Declarations(unit.Lines), expected) << Joined(unit.Lines);
}

TEST(DocStrings, OneCommentLinePerLineOfTextInItsPlace) {
  TFakeLibrary lib;
  lib.Name = L"Docs";
  lib.Doc = L"\r\n \r\n";  // only line breaks: the label stays, empty
  lib.HelpFile = L"first.hlp\nsecond.hlp";
  TFakeType record = Type(TKIND_RECORD, L"Rec", L"a\n\rb\0hidden\r\nafter the NUL"s);
  record.Vars = {Field(1, L"Field", lib.Pool.Basic(VT_I4), L"  \r\n  indented  \r\n\r\n")};
  TFakeType either = Type(TKIND_UNION, L"Either");
  either.Vars = {Field(1, L"asLong", lib.Pool.Basic(VT_I4), L"\r\n\r\n")};
  TFakeType iface = Type(TKIND_INTERFACE, L"IDoc");
  TFakeFunc func = Func(2, L"Go", lib.Pool.Basic(VT_HRESULT));
  func.Doc = L"go\rnow";
  iface.Funcs = {func};
  lib.Types = {record, either, iface};
  TObjectData data;
  data.Server = L"C:\\lib.tlb\r\n";
  TGenerated unit = GenerateUnit(lib, data);
  const TStringList head = {
      L"// typelib filename: C:\\lib.tlb", L"", L"// uid: ", L"// version: 0.0", L"// helpstring: ",
      L"// helpfile: first.hlp",           L"//           second.hlp",
  };
  EXPECT_EQ(TStringList(unit.Lines.begin(), unit.Lines.begin() + 7), head) << Joined(unit.Lines);
  // The head has one line more; its last six lines are as always.
  const TStringList declarations(unit.Lines.begin() + 14, unit.Lines.end() - 4);
  const TStringList expected = {
      L"type",
      L"  // a",
      L"  //",
      L"  // b",
      L"  Rec = record",
      L"    //   indented  ",
      L"    Field: LongInt;",
      L"  end;",
      L"",
      L"type",
      L"  Either = record",
      L"  case Integer of",
      L"    0: asLong: LongInt;",
      L"  end;",
      L"",
      L"type",
      L"  // Flags: (0)",
      L"  IDoc = interface(IDispatch)",
      L"     ['{00000000-0000-0000-0000-000000000000}']",
      L"    // go",
      L"    // now",
      L"    procedure Go: HRESULT;;",
      L"  end;",
      L"",
  };
  EXPECT_EQ(declarations, expected) << Joined(unit.Lines);
  EXPECT_EQ(unit.Lines[13], L"");
  EXPECT_EQ(unit.Lines[8], L"unit Docs;");
}

TEST(Names, ALineBreakInANameIsShownAsABlank) {
  TFakeLibrary lib;
  lib.Name = L"Lib\r\nName";
  TFakeType record = Type(TKIND_RECORD, L"Two\nLines");
  record.Vars = {Field(1, L"fi\reld", lib.Pool.User(7))};
  TFakeType referred = Type(TKIND_RECORD, L"Ref\0Tail\n"s);
  TFakeType iface = Type(TKIND_INTERFACE, L"I\r\nFace");
  iface.Funcs = {Func(2, L"Do\nIt", lib.Pool.Basic(VT_HRESULT), {Param(L"pa\r\nram", lib.Pool.Basic(VT_I4))})};
  TFakeType coclass = Type(TKIND_COCLASS, L"Cls");
  coclass.ImplTypes = {8};
  lib.Types = {record, referred, iface, coclass};
  lib.Refs[7] = 1;
  lib.Refs[8] = 2;
  TGenerated unit = GenerateUnit(lib);
  EXPECT_EQ(unit.UnitName, L"Lib  Name");
  EXPECT_EQ(unit.Lines[7], L"unit Lib  Name;");
  const TStringList expected = {
      L"type",
      L"  Two Lines = record",
      L"    fi eld: Ref\0Tail ;"s,
      L"  end;",
      L"",
      L"type",
      L"  Ref = record",
      L"  end;",
      L"",
      L"type",
      L"  // Flags: (0)",
      L"  I  Face = interface(IDispatch)",
      L"     ['{00000000-0000-0000-0000-000000000000}']",
      L"    procedure Do It(const pa  ram: LongInt): HRESULT;;",
      L"  end;",
      L"",
      L"type",
      L"  // CLSID: {00000000-0000-0000-0000-000000000000}",
      L"  // Flags: (0)",
      L"  TCls = class(TAutoObject, I  Face);",
      L"",
  };
  EXPECT_EQ(Declarations(unit.Lines), expected) << Joined(unit.Lines);
  EXPECT_EQ(NameOnOneLine(L"a\r\nb\rc\n"), L"a  b c ");
}

struct TStringValueCase {
  std::wstring Value;
  std::wstring Constant;  // the constant's value, bare unless it holds a line break
  std::wstring Default;   // the string default's value, quoted
};

class StringValues : public testing::TestWithParam<TStringValueCase> {};

TEST_P(StringValues, LineBreaksBecomeCharacterCodesAndOtherTextsStayAsTheyWere) {
  const TStringValueCase& c = GetParam();
  TFakeLibrary lib;
  TFakeType values = Type(TKIND_ENUM, L"Values");
  values.Vars = {Constant(1, L"C", TOwnedVariant::Text(c.Value))};
  lib.Types = {values};
  TGenerated unit = GenerateUnit(lib);
  const TStringList declarations = Declarations(unit.Lines);
  ASSERT_EQ(declarations.size(), 5u) << Joined(unit.Lines);
  EXPECT_EQ(declarations[3], L"  C = " + c.Constant + L";");

  TOwnedVariant value = TOwnedVariant::Text(c.Value);
  PARAMDESCEX extension = {};
  extension.cBytes = sizeof(extension);
  extension.varDefaultValue = *value.get();
  PARAMDESC desc = {};
  desc.wParamFlags = PARAMFLAG_FHASDEFAULT;
  desc.pparamdescex = &extension;
  EXPECT_EQ(RenderParamFlags(desc), L" = " + c.Default);
}

INSTANTIATE_TEST_SUITE_P(
    Table, StringValues,
    testing::Values(TStringValueCase{L"plain text", L"plain text", L"'plain text'"},
                    TStringValueCase{L"it's", L"it's", L"'it's'"}, TStringValueCase{L"", L"", L"''"},
                    TStringValueCase{L"n\0m"s, L"n\0m"s, L"'n\0m'"s},
                    TStringValueCase{L"a\r\nb", L"'a'#13#10'b'", L"'a'#13#10'b'"},
                    TStringValueCase{L"\r\n", L"#13#10", L"#13#10"},
                    TStringValueCase{L"\n\nx", L"#10#10'x'", L"#10#10'x'"},
                    TStringValueCase{L"x\r", L"'x'#13", L"'x'#13"},
                    TStringValueCase{L"n\0m\n\r"s, L"'n\0m'#10#13"s, L"'n\0m'#10#13"s}));

TEST(DualInterfaces, WrittenTwiceFromTheSameDescription) {
  TFakeLibrary lib;
  lib.Name = L"Duals";
  TTypePool& pool = lib.Pool;
  TFakeType dual = Type(TKIND_DISPATCH, L"IFoo", L"A dual one");
  dual.Guid = kGuid;
  dual.Flags = 0x1040;
  dual.ImplTypes = {31};
  dual.Vars = {Field(1, L"Size", pool.Basic(VT_I4))};
  TFakeFunc move = Func(2, L"Move", pool.Basic(VT_VOID), {Param(L"dx", pool.Basic(VT_I4))});
  move.FuncKind = FUNC_DISPATCH;
  move.Doc = L"Moves";
  dual.Funcs = {move};
  TFakeType base = Type(TKIND_INTERFACE, L"IDispatch");
  lib.Refs[31] = 1;
  // A dual whose first implemented type cannot be fetched is written once.
  TFakeType lonely = Type(TKIND_DISPATCH, L"ILonely");
  lonely.Flags = 0x0040;
  lonely.ImplTypes = {32};
  lib.FailingRefs[32] = TYPE_E_ELEMENTNOTFOUND;
  // Reported with the interface kind and based on a dispatch interface: the second name gets "Disp".
  TFakeType reverse = Type(TKIND_INTERFACE, L"IReverse");
  reverse.Flags = 0x0040;
  reverse.ImplTypes = {33};
  lib.Refs[33] = 4;
  TFakeType events = Type(TKIND_DISPATCH, L"DEvents");
  lib.Types = {dual, base, lonely, reverse, events};
  TGenerated unit = GenerateUnit(lib);
  const std::wstring guid = kGuidText;
  const std::wstring zero = L"{00000000-0000-0000-0000-000000000000}";
  const TStringList expected = {
      L"type", L"  // A dual one", L"  // Flags: (4160) dual,dispatchable", L"  IFooDisp = dispinterface",
      L"     ['" + guid + L"']", L"    property Size: LongInt;", L"    // Moves",
      L"    procedure Move(const dx: LongInt); dispid 2;", L"  end;", L"",
      L"type", L"  // A dual one", L"  // Flags: (4160) dual,dispatchable", L"  IFoo = interface(IDispatch)",
      L"     ['" + guid + L"']", L"    property Size: LongInt;", L"    // Moves",
      L"    procedure Move(const dx: LongInt); dispid 2;", L"  end;", L"",
      L"type", L"  // Flags: (0)", L"  IDispatch = interface(IDispatch)", L"     ['" + zero + L"']", L"  end;", L"",
      L"type", L"  // Flags: (64) dual", L"  ILonelyDisp = dispinterface", L"     ['" + zero + L"']", L"  end;", L"",
      L"type", L"  // Flags: (64) dual", L"  IReverse = interface(IDispatch)", L"     ['" + zero + L"']", L"  end;", L"",
      L"type", L"  // Flags: (64) dual", L"  IReverseDisp = dispinterface", L"     ['" + zero + L"']", L"  end;", L"",
      L"type", L"  // Flags: (0)", L"  DEventsDisp = dispinterface", L"     ['" + zero + L"']", L"  end;", L"",
  };
  EXPECT_EQ(Declarations(unit.Lines), expected) << Joined(unit.Lines);
}

TEST(DualInterfaces, ASecondKindWithoutFunctionsGetsItsOwnMembers) {
  // Only a broken source reports such a base; the second block follows its kind all the same.
  TFakeLibrary lib;
  TTypePool& pool = lib.Pool;
  TFakeType dual = Type(TKIND_DISPATCH, L"IOdd");
  dual.Flags = 0x0040;
  dual.ImplTypes = {1};
  dual.Vars = {Field(1, L"Size", pool.Basic(VT_I4))};
  dual.Funcs = {Func(2, L"Go", pool.Basic(VT_HRESULT))};
  lib.Types = {dual, Type(TKIND_RECORD, L"Base")};
  lib.Refs[1] = 1;
  TGenerated unit = GenerateUnit(lib);
  const TStringList expected = {
      L"type", L"  // Flags: (64) dual", L"  IOddDisp = dispinterface",
      L"     ['{00000000-0000-0000-0000-000000000000}']", L"    property Size: LongInt;",
      L"    procedure Go: HRESULT;;", L"  end;", L"",
      L"type", L"  IOdd = record", L"    Size: LongInt;", L"  end;", L"",
      L"type", L"  Base = record", L"  end;", L"",
  };
  EXPECT_EQ(Declarations(unit.Lines), expected) << Joined(unit.Lines);
}

TEST(Signatures, ParametersWithFlagsAndDefaults) {
  TFakeLibrary lib;
  TTypePool& pool = lib.Pool;
  TFakeType type = Type(TKIND_INTERFACE, L"IParams");
  type.Funcs = {Func(1, L"All", pool.Basic(VT_HRESULT),
                     {Param(L"plain", pool.Basic(VT_I4), 0), Param(L"inOut", pool.Basic(VT_BSTR), 0x03),
                      Param(L"locale", pool.Basic(VT_I4), 0x05),
                      DefaultParam(L"count", pool.Basic(VT_I4), PARAMFLAG_FIN | PARAMFLAG_FOPT, TOwnedVariant::Int(0)),
                      DefaultParam(L"label", pool.Basic(VT_BSTR), PARAMFLAG_FIN, TOwnedVariant::Text(L"it's")),
                      DefaultParam(L"ratio", pool.Basic(VT_R8), 0, TOwnedVariant::Double(1.5)),
                      Param(L"result", pool.Ptr(pool.Ptr(pool.Basic(VT_BSTR))), 0x0A)})};
  lib.Types = {type};
  TGenerated unit = GenerateUnit(lib);
  ASSERT_EQ(Declarations(unit.Lines).size(), 7u) << Joined(unit.Lines);
  EXPECT_EQ(Declarations(unit.Lines)[4],
            L"    procedure All(plain: LongInt; const var inOut: WideString; const lcid locale: LongInt; "
            L"count: LongIntconst optional  = 0; label: WideStringconst  = 'it's'; ratio: Double = 1.5; "
            L"var retval result: WideString): HRESULT;;");
}

struct TParamFlagsCase {
  USHORT Flags;
  int Default;  // 0 none, 1 int 7, 2 text, 3 double, 4 bool, 5 error (no text form), 6 flag without record
  const wchar_t* Expected;
};

class ParamFlags : public testing::TestWithParam<TParamFlagsCase> {};

TEST_P(ParamFlags, WordsInOrderAndTheDefault) {
  const TParamFlagsCase& c = GetParam();
  PARAMDESCEX extension = {};
  extension.cBytes = sizeof(extension);
  VariantInit(&extension.varDefaultValue);
  TOwnedVariant value;
  switch (c.Default) {
    case 1: value = TOwnedVariant::Int(7); break;
    case 2: value = TOwnedVariant::Text(L"a 'b'"); break;
    case 3: value = TOwnedVariant::Double(-0.25); break;
    case 4: value = TOwnedVariant::Bool(true); break;
    case 5: value = TOwnedVariant::Error(E_FAIL); break;
    default: break;
  }
  extension.varDefaultValue = *value.get();
  PARAMDESC desc = {};
  desc.wParamFlags = c.Flags;
  desc.pparamdescex = c.Default > 0 && c.Default < 6 ? &extension : nullptr;
  EXPECT_EQ(RenderParamFlags(desc), c.Expected);
}

INSTANTIATE_TEST_SUITE_P(
    Table, ParamFlags,
    testing::Values(TParamFlagsCase{0x00, 0, L""}, TParamFlagsCase{0x01, 0, L"const "}, TParamFlagsCase{0x02, 0, L"var "},
                    TParamFlagsCase{0x03, 0, L"const var "}, TParamFlagsCase{0x0A, 0, L"var retval "},
                    TParamFlagsCase{0x05, 0, L"const lcid "}, TParamFlagsCase{0x11, 0, L"const optional "},
                    TParamFlagsCase{0x1F, 0, L"const var lcid retval optional "}, TParamFlagsCase{0x40, 0, L""},
                    TParamFlagsCase{0x31, 1, L"const optional  = 7"}, TParamFlagsCase{0x20, 2, L" = 'a 'b''"},
                    TParamFlagsCase{0x20, 3, L" = -0.25"}, TParamFlagsCase{0x20, 4, L" = -1"},
                    TParamFlagsCase{0x21, 5, L"const "}, TParamFlagsCase{0x21, 6, L"const "},
                    TParamFlagsCase{0x01, 1, L"const "}));

struct TTypeNameCase {
  VARTYPE Type;
  const wchar_t* Expected;
};

class TypeCodes : public testing::TestWithParam<TTypeNameCase> {};

TEST_P(TypeCodes, NameOfEachCode) {
  TYPEDESC desc = {};
  desc.vt = GetParam().Type;
  EXPECT_EQ(TypeDescToName(desc, nullptr), GetParam().Expected);
}

INSTANTIATE_TEST_SUITE_P(
    Table, TypeCodes,
    testing::Values(TTypeNameCase{0, L"Unknown"}, TTypeNameCase{1, L"Unknown"}, TTypeNameCase{2, L"SmallInt"},
                    TTypeNameCase{3, L"LongInt"}, TTypeNameCase{4, L"Single"}, TTypeNameCase{5, L"Double"},
                    TTypeNameCase{6, L"Currency"}, TTypeNameCase{7, L"TDateTime"}, TTypeNameCase{8, L"WideString"},
                    TTypeNameCase{9, L"IDispatch"}, TTypeNameCase{10, L"HRESULT"}, TTypeNameCase{11, L"WordBool"},
                    TTypeNameCase{12, L"Variant"}, TTypeNameCase{13, L"IUnknown"}, TTypeNameCase{14, L"Unknown"},
                    TTypeNameCase{15, L"Unknown"}, TTypeNameCase{16, L"ShortInt"}, TTypeNameCase{17, L"Byte"},
                    TTypeNameCase{18, L"Word"}, TTypeNameCase{19, L"Cardinal"}, TTypeNameCase{20, L"Int64"},
                    TTypeNameCase{21, L"Int64(?)"}, TTypeNameCase{22, L"Integer"}, TTypeNameCase{23, L"DWORD"},
                    TTypeNameCase{24, L"out"}, TTypeNameCase{25, L"HRESULT"}, TTypeNameCase{30, L"PChar"},
                    TTypeNameCase{31, L"PWideChar"}, TTypeNameCase{32, L"Unknown"}, TTypeNameCase{36, L"Unknown"},
                    TTypeNameCase{64, L"Unknown"}, TTypeNameCase{0x4003, L"Unknown"}, TTypeNameCase{0x2003, L"Unknown"},
                    TTypeNameCase{0x1003, L"Unknown"}, TTypeNameCase{0x8008, L"Unknown"},
                    // Operand codes without their operand: a broken source, named like an unknown code.
                    TTypeNameCase{26, L"Unknown"}, TTypeNameCase{27, L"Unknown"}, TTypeNameCase{28, L"Unknown"}));

TEST(TypeNames, CompositeTypes) {
  TFakeLibrary lib;
  TTypePool& pool = lib.Pool;
  lib.Types = {Type(TKIND_RECORD, L"Point"), Type(TKIND_DISPATCH, L"IShape"), Type(TKIND_COCLASS, L"Canvas")};
  lib.Refs = {{1, 0}, {2, 1}, {3, 2}};
  lib.FailingRefs[4] = E_FAIL;
  ITypeInfo* info = lib.Info(0);
  EXPECT_EQ(TypeDescToName(pool.Ptr(pool.Ptr(pool.Basic(VT_BSTR))), info), L"WideString");
  EXPECT_EQ(TypeDescToName(pool.SafeArray(pool.Ptr(pool.Basic(VT_I4))), info), L"array of LongInt");
  EXPECT_EQ(TypeDescToName(pool.SafeArray(pool.SafeArray(pool.Basic(VT_UI1))), info), L"array of array of Byte");
  EXPECT_EQ(TypeDescToName(pool.CArray(pool.Basic(VT_R4), {3, 4}), info), L"array[0..3][0..4] of Single");
  EXPECT_EQ(TypeDescToName(pool.CArray(pool.User(1), {2}), info), L"array[0..2] of Point");
  EXPECT_EQ(TypeDescToName(pool.Ptr(pool.User(2)), info), L"IShape");
  EXPECT_EQ(TypeDescToName(pool.User(3), info), L"Canvas");
  EXPECT_EQ(TypeDescToName(pool.Ptr(pool.User(4)), info), L"<UnknownCustomType>");
  EXPECT_EQ(UserTypeName(2, info), L"IShape");
  EXPECT_EQ(UserTypeName(5, info), L"<UnknownCustomType>");
  EXPECT_EQ(lib.Outstanding(), 0);
  EXPECT_TRUE(lib.ReferencesBalanced());
}

TEST(TypeNames, LoopingPointerChainEnds) {
  TYPEDESC loop = {};
  loop.vt = VT_PTR;
  loop.lptdesc = &loop;
  EXPECT_EQ(TypeDescToName(loop, nullptr), L"Unknown");
}

struct TFlagsCase {
  WORD Flags;
  const wchar_t* Expected;
};

class TypeFlags : public testing::TestWithParam<TFlagsCase> {};

TEST_P(TypeFlags, WordsInTheirOrder) { EXPECT_EQ(RenderTypeFlags(GetParam().Flags), GetParam().Expected); }

INSTANTIATE_TEST_SUITE_P(
    Table, TypeFlags,
    testing::Values(TFlagsCase{0x0000, L"Flags: (0)"}, TFlagsCase{0x0030, L"Flags: (48) control,hidden"},
                    TFlagsCase{0x0001, L"Flags: (1) appobject"}, TFlagsCase{0x1040, L"Flags: (4160) dual,dispatchable"},
                    TFlagsCase{0x4000, L"Flags: (16384)"}, TFlagsCase{0x8002, L"Flags: (32770) cancreate"},
                    TFlagsCase{0xFFFF,
                               L"Flags: (65535) appobject,cancreate,licensed,predeclid,control,hidden,dual,"
                               L"nonextensible,oleautomation,restricted,aggregatable,replaceable,dispatchable,"
                               L"reversebind"}));

TEST(SingleRenderers, WorkOnTheirOwn) {
  TFakeLibrary lib;
  TTypePool& pool = lib.Pool;
  TFakeType type = Type(TKIND_INTERFACE, L"ISingle");
  type.Vars = {Field(1, L"Count", pool.Basic(VT_I4))};
  TFakeVar failing = Field(2, L"Hidden", pool.Basic(VT_I4));
  failing.DocResult = E_FAIL;
  type.Vars.push_back(failing);
  TFakeFunc func = Func(3, L"Go", pool.Basic(VT_I4), {Param(L"speed", pool.Basic(VT_R8))});
  func.FuncKind = FUNC_DISPATCH;
  TFakeFunc nameless = Func(4, L"Nameless", pool.Basic(VT_VOID), {Param(L"speed", pool.Basic(VT_R8))});
  nameless.NamesResult = E_FAIL;
  type.Funcs = {func, nameless};
  lib.Types = {type};
  ITypeInfo* info = lib.Info(0);
  VARDESC* var = nullptr;
  ASSERT_EQ(info->GetVarDesc(0, &var), S_OK);
  EXPECT_EQ(RenderVariable(*var, info), L"Count: LongInt;");
  info->ReleaseVarDesc(var);
  ASSERT_EQ(info->GetVarDesc(1, &var), S_OK);
  EXPECT_EQ(RenderVariable(*var, info), L"");
  info->ReleaseVarDesc(var);
  FUNCDESC* desc = nullptr;
  ASSERT_EQ(info->GetFuncDesc(0, &desc), S_OK);
  EXPECT_EQ(RenderFunctionSignature(*desc, info), L"(const speed: Double): LongInt; dispid 3");
  info->ReleaseFuncDesc(desc);
  ASSERT_EQ(info->GetFuncDesc(1, &desc), S_OK);
  EXPECT_EQ(RenderFunctionSignature(*desc, info), L";");
  info->ReleaseFuncDesc(desc);

  TYPEATTR* attr = nullptr;
  ASSERT_EQ(info->GetTypeAttr(&attr), S_OK);
  TLineList members;
  RenderTypeMembers(info, *attr, members);
  EXPECT_EQ(members.ToStringList(), (TStringList{L"property Count: LongInt;", L"property ",
                                                 L"function Go(const speed: Double): LongInt; dispid 3;"}));
  TLineList block;
  RenderTypeDeclaration(L"ISingleDisp", L"doc", info, block, *attr);
  EXPECT_EQ(block.Count(), 10u);
  EXPECT_EQ(block[3], L"  ISingleDisp = interface(IDispatch)");
  info->ReleaseTypeAttr(attr);
  EXPECT_EQ(lib.Outstanding(), 0);
  EXPECT_TRUE(lib.ReferencesBalanced());
}

TEST(LineList, KeepsLinesApartAcrossBlocks) {
  TLineList lines;
  std::wstring longLine(40000, L'x');
  lines.Add(L"first");
  lines.Add(longLine);
  lines.Add(L"");
  for (int i = 0; i < 5000; ++i) {
    TTextBuffer& text = lines.Open();
    text += L"line ";
    text += std::to_wstring(i);
    lines.Close();
  }
  lines.AddCopies(0, 3);
  ASSERT_EQ(lines.Count(), 5006u);
  EXPECT_EQ(lines[0], L"first");
  EXPECT_EQ(lines[1], longLine);
  EXPECT_EQ(lines[2], L"");
  EXPECT_EQ(lines[4999 + 3], L"line 4999");
  EXPECT_EQ(lines[5003], L"first");
  EXPECT_EQ(lines[5004], longLine);
  EXPECT_EQ(lines[5005], L"");
  std::wstring text = lines.Text(L"\r\n");
  EXPECT_EQ(text.substr(0, 7), L"first\r\n");
  EXPECT_EQ(text.size(), 5 + 40000 + 0 + 5 + 40000 + 5006 * 2 + [] {
    size_t digits = 0;
    for (int i = 0; i < 5000; ++i) digits += 5 + std::to_wstring(i).size();
    return digits;
  }());
}
