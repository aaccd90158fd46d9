// Whole units of real libraries: one compiled by widl from IDL, two written by the platform's own
// writer for what widl cannot express, each against an expected text worked out from the rules.
#include <gtest/gtest.h>

#include "base/Zarvek_Handles.h"
#include "base/Zarvek_SysUtils.h"
#include "tests/support/TestSupport.h"
#include "tests/tlbgen/GeneratorTestSupport.h"
#include "tests/tlbgen/WrittenLibrary.h"
#include "generators/TLBGenerator.h"
#include "typelib/TypeLibLoader.h"

using namespace vantrel;
using namespace vantrel::test;

namespace {

void ExpectSameLines(const TStringList& AActual, const TStringList& AExpected) {
  EXPECT_EQ(AActual.size(), AExpected.size());
  for (size_t i = 0; i < std::min(AActual.size(), AExpected.size()); ++i) {
    EXPECT_EQ(AActual[i], AExpected[i]) << "line " << i + 1;
  }
  if (AActual != AExpected) ADD_FAILURE() << "generated:\n" << Joined(AActual);
}

}  // namespace

TEST(WidlFixture, ShapesUnitIsTheExpectedText) {
  TComInit com;
  TComPtr<ITypeLib> lib;
  ASSERT_EQ(LoadTypeLibraryFile(FixturePath(L"Shapes.tlb"), lib), S_OK);
  TObjectData data;
  data.Server = L"shapes.tlb";
  data.TypeLib = L"{5C1D3A70-4B2E-4F60-9A81-0000000000A1}";
  data.MajorVersion = 2;
  data.MinorVersion = 5;
  TGenerated unit = GenerateUnit(lib.get(), data);
  EXPECT_EQ(unit.UnitName, L"ShapesLib");
  ExpectSameLines(unit.Lines, ReadExpectedLines(L"tests\\tlbgen\\expected\\Shapes.pas"));
}

namespace {

const GUID kWrittenLib = {0x7A11E2B0, 0x51C4, 0x4D6E, {0x8F, 0x20, 0x00, 0x00, 0x00, 0x00, 0x00, 0xB1}};
const GUID kWriterIid = {0x7A11E2B0, 0x51C4, 0x4D6E, {0x8F, 0x20, 0x00, 0x00, 0x00, 0x00, 0x00, 0xB2}};

// Enumeration constants with doc strings, a string constant, a union whose second member has a
// doc string, record fields with doc strings and an unnamed parameter.
void WriteLibrary(const std::wstring& APath) {
  TComPtr<ICreateTypeLib2> lib;
  Check(CreateTypeLib2(SYS_WIN32, APath.c_str(), lib.put()), "CreateTypeLib2");
  Check(lib->SetName(const_cast<LPOLESTR>(L"Written")), "SetName");
  Check(lib->SetGuid(kWrittenLib), "SetGuid");
  Check(lib->SetVersion(1, 0), "SetVersion");
  Check(lib->SetDocString(const_cast<LPOLESTR>(L"Written by the platform")), "SetDocString");

  TComPtr<ICreateTypeInfo> mood = NewType(lib.get(), L"Mood", TKIND_ENUM);
  VARIANT value;
  V_VT(&value) = VT_I4;
  V_I4(&value) = 0;
  AddVariable(mood.get(), 0, L"mdCalm", VT_I4, &value, L"Nothing happens");
  V_I4(&value) = -1;
  AddVariable(mood.get(), 1, L"mdTense", VT_I4, &value);
  TVariant text;
  V_VT(text.get()) = VT_BSTR;
  V_BSTR(text.get()) = SysAllocString(L"fast 'n' loose");
  AddVariable(mood.get(), 2, L"mdText", VT_BSTR, text.get(), L"A string constant");

  TComPtr<ICreateTypeInfo> pair = NewType(lib.get(), L"Pair", TKIND_RECORD);
  AddVariable(pair.get(), 0, L"Left", VT_I4, nullptr, L"the left one");
  AddVariable(pair.get(), 1, L"Right", VT_BSTR, nullptr);

  TComPtr<ICreateTypeInfo> either = NewType(lib.get(), L"Either", TKIND_UNION);
  Check(either->SetDocString(const_cast<LPOLESTR>(L"One of three")), "SetDocString");
  AddVariable(either.get(), 0, L"asLong", VT_I4, nullptr);
  AddVariable(either.get(), 1, L"asText", VT_BSTR, nullptr, L"as text");
  AddVariable(either.get(), 2, L"asReal", VT_R8, nullptr);

  TComPtr<ICreateTypeInfo> writer = NewType(lib.get(), L"IWriter", TKIND_INTERFACE);
  Check(writer->SetGuid(kWriterIid), "SetGuid");
  ELEMDESC params[2] = {};
  // A double default would do here too, but Wine's writer stores one that its reader rejects.
  PARAMDESCEX ratio = {};
  ratio.cBytes = sizeof(ratio);
  V_VT(&ratio.varDefaultValue) = VT_I4;
  V_I4(&ratio.varDefaultValue) = 3;
  params[0].tdesc.vt = VT_I4;
  params[0].paramdesc.wParamFlags = PARAMFLAG_FIN | PARAMFLAG_FOPT | PARAMFLAG_FHASDEFAULT;
  params[0].paramdesc.pparamdescex = &ratio;
  params[1].tdesc.vt = VT_I4;
  params[1].paramdesc.wParamFlags = PARAMFLAG_FIN;
  FUNCDESC func = {};
  func.memid = 0x60000000;
  func.funckind = FUNC_PUREVIRTUAL;
  func.invkind = INVOKE_FUNC;
  func.callconv = CC_STDCALL;
  func.cParams = 2;
  func.lprgelemdescParam = params;
  func.elemdescFunc.tdesc.vt = VT_HRESULT;
  Check(writer->AddFuncDesc(0, &func), "AddFuncDesc");
  // Only the function and its first parameter are named.
  LPOLESTR names[] = {const_cast<LPOLESTR>(L"Scale"), const_cast<LPOLESTR>(L"ratio")};
  Check(writer->SetFuncAndParamNames(0, names, 2), "SetFuncAndParamNames");
  Check(writer->SetFuncDocString(0, const_cast<LPOLESTR>(L"Scales")), "SetFuncDocString");

  Check(lib->SaveAllChanges(), "SaveAllChanges");
}

}  // namespace

TEST(WriterFixture, WrittenUnitIsTheExpectedText) {
  TComInit com;
  TTempDir temp;
  const std::wstring path = temp.File(L"written.tlb");
  ASSERT_NO_THROW(WriteLibrary(path));
  TComPtr<ITypeLib> lib;
  ASSERT_EQ(LoadTypeLibraryFile(path, lib), S_OK);
  TGenerated unit = GenerateUnit(lib.get());
  const TStringList expected = {
      L"type",
      L"  Mood = TOleEnum;",
      L"const",
      L"  // Nothing happens",
      L"  mdCalm = 0;",
      L"  mdTense = -1;",
      L"  // A string constant",
      L"  mdText = fast 'n' loose;",
      L"",
      L"type",
      L"  Pair = record",
      L"    // the left one",
      L"    Left: LongInt;",
      L"    Right: WideString;",
      L"  end;",
      L"",
      L"type",
      L"  // One of three",
      L"  Either = record",
      L"  case Integer of",
      L"    0: asLong: LongInt;",
      L"    1: // as text",
      L"    2: asText: WideString;",
      L"    3: asReal: Double;",
      L"  end;",
      L"",
      L"type",
      L"  // Flags: (0)",
      L"  IWriter = interface(IDispatch)",
      L"     ['{7A11E2B0-51C4-4D6E-8F20-0000000000B2}']",
      L"    // Scales",
      L"    procedure Scale(ratio: LongIntconst optional  = 3; const Param2: LongInt): HRESULT;;",
      L"  end;",
      L"",
  };
  ExpectSameLines(Declarations(unit.Lines), expected);
  EXPECT_EQ(unit.Lines[4], L"// helpstring: Written by the platform");
  EXPECT_EQ(unit.UnitName, L"Written");
}

TEST(WriterFixture, LineBreaksMakeCommentLinesAndCharacterCodesAndNulsStay) {
  TComInit com;
  TTempDir temp;
  const std::wstring path = temp.File(L"texts.tlb");
  ASSERT_NO_THROW(WriteTextsLibrary(path));
  TComPtr<ITypeLib> lib;
  ASSERT_EQ(LoadTypeLibraryFile(path, lib), S_OK);
  TGenerated unit = GenerateUnit(lib.get());
  // The doc string's second line continues the head's comment, and the head keeps its length.
  ASSERT_EQ(unit.Lines.size(), 18 + TextsDeclarations().size());
  EXPECT_EQ(unit.Lines[4], kTextsHelpLine1);
  EXPECT_EQ(unit.Lines[5], kTextsHelpLine2);
  EXPECT_EQ(unit.Lines[6], L"// helpfile: ");
  EXPECT_EQ(unit.Lines[8], L"unit Texts;");
  ExpectSameLines(TStringList(unit.Lines.begin() + 14, unit.Lines.end() - 4), TextsDeclarations());
  // No line holds a line break: each is one line in the editor and in the file.
  for (const std::wstring& line : unit.Lines) EXPECT_EQ(line.find_first_of(L"\r\n"), std::wstring::npos) << Joined({line});
}
