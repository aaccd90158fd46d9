// Loading a library the way the viewer does (by registration, then by file), and the check that
// keeps damaged data away from the platform's loader.
#include <gtest/gtest.h>

#include "base/Zarvek_Handles.h"
#include "base/Zarvek_SysUtils.h"
#include "tests/support/RegistryFixture.h"
#include "tests/support/TestSupport.h"
#include "tests/tlbgen/GeneratorTestSupport.h"
#include "tests/tlbgen/LibraryData.h"
#include "typelib/TypeLibLoader.h"

using namespace vantrel;
using namespace vantrel::test;

namespace {

const wchar_t kStdOleGuid[] = L"{00020430-0000-0000-C000-000000000046}";
const wchar_t kShapesGuid[] = L"{5C1D3A70-4B2E-4F60-9A81-0000000000A1}";

std::wstring StdOlePath() { return SystemDirectoryPath() + L"stdole2.tlb"; }

std::wstring LibraryName(const TComPtr<ITypeLib>& ALib) {
  TBstr name;
  if (!ALib || FAILED(ALib->GetDocumentation(-1, name.put(), nullptr, nullptr, nullptr))) return L"";
  return name.str();
}

// Repaired copies the loader left in the temporary folder.
size_t RepairedCopiesLeft() {
  wchar_t folder[MAX_PATH + 1];
  GetTempPathW(MAX_PATH + 1, folder);
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW((std::wstring(folder) + L"vantrel-*.tlb").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return 0;
  size_t count = 0;
  do ++count;
  while (FindNextFileW(search, &found));
  FindClose(search);
  return count;
}

bool EndsWith(const std::wstring& AText, const std::wstring& AEnd) {
  return AText.size() >= AEnd.size() && AText.compare(AText.size() - AEnd.size(), AEnd.size(), AEnd) == 0;
}

}  // namespace

struct TGuidCase {
  const wchar_t* Text;
  bool Valid;
};

class GuidText : public testing::TestWithParam<TGuidCase> {};

TEST_P(GuidText, OnlyTheRegistryFormIsAccepted) {
  GUID guid = {};
  EXPECT_EQ(TryStringToGUID(GetParam().Text, guid), GetParam().Valid);
  if (GetParam().Valid) {
    wchar_t back[40];
    StringFromGUID2(guid, back, 40);
    EXPECT_EQ(_wcsicmp(back, GetParam().Text), 0);
  } else {
    try {
      StringToGUID(GetParam().Text);
      ADD_FAILURE() << "no error raised";
    } catch (const EConvertError& e) {
      EXPECT_EQ(e.Message(), L"'" + std::wstring(GetParam().Text) + L"' is not a valid GUID value");
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Table, GuidText,
    testing::Values(TGuidCase{L"{5C1D3A70-4B2E-4F60-9A81-0000000000A1}", true},
                    TGuidCase{L"{5c1d3a70-4b2e-4f60-9a81-0000000000a1}", true},
                    TGuidCase{L"{00000000-0000-0000-0000-000000000000}", true}, TGuidCase{L"", false},
                    TGuidCase{L" {5C1D3A70-4B2E-4F60-9A81-0000000000A1}", false},
                    TGuidCase{L"{5C1D3A70-4B2E-4F60-9A81-0000000000A1} ", false},
                    TGuidCase{L"5C1D3A70-4B2E-4F60-9A81-0000000000A1", false},
                    TGuidCase{L"{5C1D3A70-4B2E-4F60-9A81-0000000000A}", false},
                    TGuidCase{L"{5C1D3A70-4B2E-4F60-9A81-0000000000AG}", false},
                    TGuidCase{L"{5C1D3A70-4B2E-4F60-9A810-000000000A1}", false},
                    TGuidCase{L"(5C1D3A70-4B2E-4F60-9A81-0000000000A1)", false},
                    TGuidCase{L"{+C1D3A70-4B2E-4F60-9A81-0000000000A1}", false},
                    TGuidCase{L"Word.Application", false}));

TEST(LoadTypeLibraryFor, NeitherAGuidNorAFileIsNotImplemented) {
  TComPtr<ITypeLib> lib;
  TObjectData data;
  EXPECT_EQ(LoadTypeLibraryFor(data, lib), E_NOTIMPL);
  data.Server = L"C:\\no\\such\\library.tlb";
  EXPECT_EQ(LoadTypeLibraryFor(data, lib), E_NOTIMPL);
  EXPECT_FALSE(lib);
  const std::wstring message = LoadErrorText(E_NOTIMPL);
  EXPECT_TRUE(EndsWith(message, L" (Error code: 0x80004001)")) << WideToCodePage(message, CP_UTF8);
  EXPECT_EQ(message, OleErrorText(E_NOTIMPL));
}

TEST(LoadTypeLibraryFor, ServerFileIsFoundInsideQuotesAndBeforeArguments) {
  for (const std::wstring& server : {L"\"" + StdOlePath() + L"\"", L"\"" + StdOlePath() + L"\" /automation",
                                     StdOlePath() + L" /s"}) {
    TComPtr<ITypeLib> lib;
    TObjectData data;
    data.Server = server;
    ASSERT_EQ(LoadTypeLibraryFor(data, lib), S_OK) << testing::PrintToString(server);
    EXPECT_EQ(LibraryName(lib), L"stdole");
  }
}

TEST(RegisteredLibraryPath, SameMajorVersionAndTheExactOrHighestMinorAbove) {
  TRegistryFixture reg;
  const std::wstring guid = NewGuid();
  for (const wchar_t* version : {L"1.0", L"1.5", L"1.a", L"2.0"}) {
    reg.SetString(L"TypeLib\\" + guid + L"\\" + version + L"\\0\\win32", L"", std::wstring(L"C:\\v") + version);
  }
  reg.SetString(L"TypeLib\\" + guid + L"\\3.0\\0\\win64", L"", L"C:\\v3.0-64");
  struct Case {
    WORD major, minor;
    TRegView view;
    const wchar_t* path;
  } cases[] = {
      {1, 0, TRegView::rv32, L"C:\\v1.0"},  {1, 5, TRegView::rv32, L"C:\\v1.5"},
      {1, 2, TRegView::rv32, L"C:\\v1.a"},  // version keys are hexadecimal: 1.a is 1.10
      {1, 10, TRegView::rv32, L"C:\\v1.a"}, {1, 11, TRegView::rv32, L""},
      {2, 0, TRegView::rv64, L"C:\\v2.0"},  // the 64-bit view falls back to win32
      {3, 0, TRegView::rv64, L"C:\\v3.0-64"}, {3, 0, TRegView::rv32, L""},
      {4, 0, TRegView::rv64, L""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(RegisteredLibraryPath(guid, c.major, c.minor, c.view), c.path)
        << c.major << "." << c.minor << " " << RegViewBits(c.view);
  }
}

TEST(LoadTypeLibraryFor, LibraryRegisteredForTheOtherViewsProgramsLoadsInTheirView) {
  if (!Is64BitWindows()) GTEST_SKIP() << "one registry view only";
  TRegistryFixture reg;
  TOtherViewLibrary library(reg);
  TObjectData data;
  data.TypeLib = library.Guid();
  data.MajorVersion = 1;
  TComPtr<ITypeLib> lib;
  const HRESULT own = LoadTypeLibraryFor(data, lib, ProcessRegView());
  if (ProcessRegView() == TRegView::rv32) {
    EXPECT_EQ(own, TYPE_E_LIBNOTREGISTERED);
  } else {
    EXPECT_TRUE(FAILED(own)) << own;  // the win32 file is not in the 64-bit system folder
  }
  EXPECT_EQ(LoadTypeLibraryFor(data, lib, OtherRegView()), S_OK);
  EXPECT_EQ(LibraryName(lib), L"ShapesLib");
}

TEST(LoadTypeLibraryFor, RegisteredLibraryByGuidAndVersion) {
  TComPtr<ITypeLib> lib;
  TObjectData data;
  data.TypeLib = kStdOleGuid;
  data.MajorVersion = 2;
  data.Server = L"C:\\no\\such\\library.tlb";
  ASSERT_EQ(LoadTypeLibraryFor(data, lib), S_OK);
  EXPECT_EQ(LibraryName(lib), L"stdole");
}

TEST(LoadTypeLibraryFor, UnregisteredVersionFallsBackToTheFileSilently) {
  TComPtr<ITypeLib> lib;
  TObjectData data;
  data.TypeLib = kStdOleGuid;
  data.MajorVersion = 99;
  data.Server = StdOlePath();
  ASSERT_EQ(LoadTypeLibraryFor(data, lib), S_OK);
  EXPECT_EQ(LibraryName(lib), L"stdole");
}

TEST(LoadTypeLibraryFor, OnlyTheLow16BitsOfTheVersionAreAsked) {
  TRegistryFixture reg;
  const std::wstring key = std::wstring(L"TypeLib\\") + kShapesGuid + L"\\2.5";
  reg.SetString(key, L"", L"Shapes fixture library");
  reg.SetString(key + L"\\0\\win32", L"", FixturePath(L"Shapes.tlb"));
  TComPtr<ITypeLib> lib;
  TObjectData data;
  data.TypeLib = kShapesGuid;
  data.MajorVersion = 0x10002;
  data.MinorVersion = 0x20005;
  ASSERT_EQ(LoadTypeLibraryFor(data, lib), S_OK);
  EXPECT_EQ(LibraryName(lib), L"ShapesLib");
}

TEST(LoadTypeLibraryFor, UnregisteredLibraryWithoutFileReportsTheRegistryCode) {
  TComPtr<ITypeLib> lib;
  TObjectData data;
  data.TypeLib = NewGuid();
  EXPECT_EQ(LoadTypeLibraryFor(data, lib), TYPE_E_LIBNOTREGISTERED);
  EXPECT_TRUE(EndsWith(LoadErrorText(TYPE_E_LIBNOTREGISTERED), L" (Error code: 0x8002801D)"));
}

TEST(LoadTypeLibraryFor, MalformedGuidRaisesBeforeTheFileIsTried) {
  TComPtr<ITypeLib> lib;
  TObjectData data;
  data.TypeLib = L"{not-a-guid}";
  data.Server = StdOlePath();
  try {
    LoadTypeLibraryFor(data, lib);
    ADD_FAILURE() << "no error raised";
  } catch (const EConvertError& e) {
    EXPECT_EQ(e.Message(), L"'{not-a-guid}' is not a valid GUID value");
  }
  EXPECT_FALSE(lib);
}

TEST(LoadTypeLibraryFile, FilesThatAreNoLibrariesEndInAMessage) {
  TTempDir temp;
  WriteFileText(temp.File(L"notes.tlb"), "This is not a type library at all.\r\n");
  WriteFileText(temp.File(L"empty.tlb"), "");
  const std::string shapes = ReadFileBytes(FixturePath(L"Shapes.tlb"));
  WriteFileText(temp.File(L"truncated.tlb"), shapes.substr(0, shapes.size() / 3));
  WriteFileText(temp.File(L"header.tlb"), shapes.substr(0, 40));
  for (const wchar_t* name : {L"notes.tlb", L"empty.tlb", L"truncated.tlb", L"header.tlb"}) {
    TComPtr<ITypeLib> lib;
    TObjectData data;
    data.Server = temp.File(name);
    HRESULT hr = LoadTypeLibraryFor(data, lib);
    EXPECT_TRUE(FAILED(hr)) << WideToCodePage(name, CP_UTF8);
    EXPECT_FALSE(lib);
    EXPECT_FALSE(IsBlankText(LoadErrorText(hr)));
  }
  EXPECT_EQ(CheckTypeLibraryFile(temp.File(L"truncated.tlb")).Verdict, TLibraryVerdict::Unsafe);
}

// Damage placed by hand into the widl fixture, each of a kind that makes the platform's loader
// read outside the data, loop, or corrupt its memory.
class DamagedData : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_GT(Shapes.size(), 1000u);
    ASSERT_EQ(CheckTypeLibraryData(Shapes.data(), Shapes.size()).Verdict, TLibraryVerdict::Sound);
  }
  // Checks the data and loads it from a file the way the viewer would.
  TLibraryCheck Check(const std::string& AData, HRESULT* ALoadResult = nullptr) {
    TLibraryCheck check = CheckTypeLibraryData(AData.data(), AData.size());
    WriteFileText(Temp.File(L"damaged.tlb"), AData);
    TComPtr<ITypeLib> lib;
    HRESULT hr = LoadTypeLibraryFile(Temp.File(L"damaged.tlb"), lib);
    if (ALoadResult) *ALoadResult = hr;
    if (check.Verdict == TLibraryVerdict::Unsafe) {
      EXPECT_EQ(hr, TYPE_E_CANTLOADLIBRARY);
      EXPECT_FALSE(lib);
    }
    return check;
  }
  int FirstTypeWithFunctions() const {
    for (int i = 0; i < Layout.TypeInfoCount; ++i) {
      if (!Layout.FunctionRecords(i).empty()) return i;
    }
    return -1;
  }

  std::string Shapes = ReadLibraryData(FixturePath(L"Shapes.tlb"));
  TMsftLayout Layout{Shapes};
  TTempDir Temp;
};

TEST_F(DamagedData, TableBeyondTheEnd) {
  std::string data = Shapes;
  PutInt(data, Layout.SegmentEntry(TMsftLayout::Name), static_cast<int32_t>(data.size()) + 64);
  TLibraryCheck check = Check(data);
  EXPECT_EQ(check.Verdict, TLibraryVerdict::Unsafe);
  EXPECT_EQ(check.Problem, "table outside the data");
}

TEST_F(DamagedData, StringOfNegativeLength) {
  std::string data = Shapes;
  PutShort(data, static_cast<size_t>(Layout.Offset(TMsftLayout::String)), -5);
  EXPECT_EQ(Check(data).Problem, "string of impossible length");
}

TEST_F(DamagedData, CustomDataThatNeverEnds) {
  ASSERT_GE(Layout.Length(TMsftLayout::CDGuids), 12);
  std::string data = Shapes;
  PutInt(data, 0x40, 0);  // the library's own custom data starts at the first entry...
  PutInt(data, static_cast<size_t>(Layout.Offset(TMsftLayout::CDGuids)) + 8, 0);  // ...which names itself next
  EXPECT_EQ(Check(data).Problem, "custom data that never ends");
}

TEST_F(DamagedData, TypeDescriptionThatRefersToItself) {
  std::string data = Shapes;
  bool placed = false;
  for (int32_t i = 0; i < Layout.Length(TMsftLayout::TypeDesc) / 8 && !placed; ++i) {
    const size_t entry = static_cast<size_t>(Layout.Offset(TMsftLayout::TypeDesc)) + static_cast<size_t>(i) * 8;
    if (GetShort(data, entry) == VT_PTR && GetShort(data, entry + 6) >= 0) {
      PutShort(data, entry + 4, static_cast<int16_t>(i * 8));
      placed = true;
    }
  }
  ASSERT_TRUE(placed) << "the fixture has pointer types";
  EXPECT_EQ(Check(data).Problem, "type descriptions refer to themselves");
}

TEST_F(DamagedData, FunctionRecordTooShort) {
  const int type = FirstTypeWithFunctions();
  ASSERT_GE(type, 0);
  std::string data = Shapes;
  PutInt(data, Layout.FunctionRecords(type)[0].Pos, 8);
  EXPECT_EQ(Check(data).Problem, "function record of impossible length");
}

TEST_F(DamagedData, MoreImplementedTypesThanTheKindHasRoomFor) {
  std::string data = Shapes;
  int interfaceIndex = -1;
  for (int i = 0; i < Layout.TypeInfoCount && interfaceIndex < 0; ++i) {
    if ((GetInt(data, Layout.TypeInfoRecord(i)) & 0xF) == TKIND_INTERFACE) interfaceIndex = i;
  }
  ASSERT_GE(interfaceIndex, 0);
  PutShort(data, Layout.TypeInfoRecord(interfaceIndex) + 0x4C, 5);
  EXPECT_EQ(Check(data).Problem, "more implemented types than the kind can have");
}

TEST_F(DamagedData, DefaultFlagWithoutDefaultValues) {
  std::string data = Shapes;
  bool placed = false;
  for (int i = 0; i < Layout.TypeInfoCount && !placed; ++i) {
    for (const TMsftLayout::TRecord& record : Layout.FunctionRecords(i)) {
      const int16_t args = GetShort(data, record.Pos + 20);
      if (args > 0 && !(GetInt(data, record.Pos + 16) & 0x1000)) {
        const size_t flags = record.Pos + record.Length - static_cast<size_t>(args) * 12 + 8;
        PutInt(data, flags, GetInt(data, flags) | PARAMFLAG_FHASDEFAULT);
        placed = true;
        break;
      }
    }
  }
  ASSERT_TRUE(placed);
  EXPECT_EQ(Check(data).Problem, "default value flag without a value");
}

TEST_F(DamagedData, PointerPackedIntoADefaultIsRepairedToNull) {
  // The first default value of the fixture is Draw's "repeat" (42), packed into its reference.
  std::string data = Shapes;
  size_t reference = 0;
  for (int i = 0; i < Layout.TypeInfoCount && !reference; ++i) {
    for (const TMsftLayout::TRecord& record : Layout.FunctionRecords(i)) {
      const int16_t args = GetShort(data, record.Pos + 20);
      if (!(GetInt(data, record.Pos + 16) & 0x1000)) continue;
      for (int16_t j = 0; j < args && !reference; ++j) {
        const size_t flags = record.Pos + record.Length - static_cast<size_t>(args - j) * 12 + 8;
        if (GetInt(data, flags) & PARAMFLAG_FHASDEFAULT) {
          reference = record.Pos + record.Length - static_cast<size_t>(args) * 16 + static_cast<size_t>(j) * 4;
        }
      }
      if (reference) break;
    }
  }
  ASSERT_NE(reference, 0u);
  ASSERT_EQ(GetInt(data, reference), static_cast<int32_t>(0x8C00002A)) << "a packed VT_I4 42";
  PutInt(data, reference, static_cast<int32_t>(0xA0001234));  // a BSTR "pointer" 0x1234
  HRESULT hr = E_FAIL;
  TLibraryCheck check = Check(data, &hr);
  EXPECT_EQ(check.Verdict, TLibraryVerdict::Repairable);
  ASSERT_EQ(check.UnreadableValues, std::vector<size_t>{reference});
  const std::string repaired = RepairTypeLibraryData(data.data(), data.size(), check);
  EXPECT_EQ(GetInt(repaired, reference), static_cast<int32_t>(0x84000000));
  EXPECT_EQ(CheckTypeLibraryData(repaired.data(), repaired.size()).Verdict, TLibraryVerdict::Sound);

  ASSERT_EQ(hr, S_OK);
  TComPtr<ITypeLib> lib;
  ASSERT_EQ(LoadTypeLibraryFile(Temp.File(L"damaged.tlb"), lib), S_OK);
  TGenerated unit = GenerateUnit(lib.get());
  const std::string text = Joined(unit.Lines);
  EXPECT_NE(text.find("repeat: LongIntconst optional ; label: WideStringconst optional  = 'it's'"), std::string::npos)
      << text;
  EXPECT_EQ(RepairedCopiesLeft(), 0u) << "the repaired copy is removed once loaded";
}

TEST(LoadTypeLibraryFor, RegisteredFileIsCheckedLikeAnyOther) {
  TTempDir temp;
  std::string shapes = ReadLibraryData(FixturePath(L"Shapes.tlb"));
  std::string damaged = shapes;
  PutShort(damaged, static_cast<size_t>(TMsftLayout(damaged).Offset(TMsftLayout::String)), -5);
  WriteFileText(temp.File(L"damaged.tlb"), damaged);
  TRegistryFixture reg;
  const std::wstring key = std::wstring(L"TypeLib\\") + kShapesGuid + L"\\2.5";
  reg.SetString(key, L"", L"Shapes fixture library");
  reg.SetString(key + L"\\0\\win32", L"", temp.File(L"damaged.tlb"));
  TComPtr<ITypeLib> lib;
  TObjectData data;
  data.TypeLib = kShapesGuid;
  data.MajorVersion = 2;
  data.MinorVersion = 5;
  EXPECT_EQ(LoadTypeLibraryFor(data, lib), TYPE_E_CANTLOADLIBRARY);
  // The sound file at Server is used instead.
  data.Server = FixturePath(L"Shapes.tlb");
  ASSERT_EQ(LoadTypeLibraryFor(data, lib), S_OK);
  EXPECT_EQ(LibraryName(lib), L"ShapesLib");
}

TEST(TypeLibraryResources, EachLibraryOfAFileIsReachedByItsNumber) {
  const std::wstring two = FixturePath(L"TwoLibraries.dll");
  EXPECT_EQ(TypeLibraryResources(two), (std::vector<int>{1, 2}));
  EXPECT_EQ(TypeLibraryResources(FixturePath(L"Shapes.tlb")), std::vector<int>{});
  EXPECT_EQ(TypeLibraryResources(FixturePath(L"no-such.dll")), std::vector<int>{});
  struct Case {
    std::wstring path;
    const wchar_t* name;
  } cases[] = {
      {two, L"ShapesLib"}, {two + L"\\1", L"ShapesLib"}, {two + L"\\2", L"PensLib"},
  };
  for (const Case& c : cases) {
    TComPtr<ITypeLib> lib;
    ASSERT_EQ(LoadTypeLibraryFile(c.path, lib), S_OK) << WideToCodePage(c.path, CP_UTF8);
    EXPECT_EQ(LibraryName(lib), c.name);
  }
  TComPtr<ITypeLib> lib;
  EXPECT_TRUE(FAILED(LoadTypeLibraryFile(two + L"\\3", lib)));
  // The data of the library a number names is what the check reads.
  EXPECT_EQ(CheckTypeLibraryFile(two + L"\\2").Verdict, TLibraryVerdict::Sound);
}
