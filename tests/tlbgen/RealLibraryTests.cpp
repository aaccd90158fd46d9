// The type libraries that ship with Wine, 32-bit and 64-bit: each passes the data check, its
// unit is generated in full, and the text has the shape of a unit.
#include <gtest/gtest.h>

#include <algorithm>

#include "base/Zarvek_Handles.h"
#include "base/Zarvek_SysUtils.h"
#include "tests/tlbgen/GeneratorTestSupport.h"
#include "typelib/TypeLibLoader.h"

using namespace vantrel;
using namespace vantrel::test;

namespace {

bool EndsWith(const std::wstring& AText, const std::wstring& AEnd) {
  return AText.size() >= AEnd.size() && AText.compare(AText.size() - AEnd.size(), AEnd.size(), AEnd) == 0;
}

// The interface section as blocks from "type" to the blank line after it; every block with a
// body ends in "  end;" and only such blocks have one.
void ExpectBalancedBlocks(const TStringList& ADeclarations, size_t& ABlocks, const std::string& ALibrary) {
  ABlocks = 0;
  size_t i = 0;
  while (i < ADeclarations.size()) {
    ASSERT_EQ(ADeclarations[i], L"type") << ALibrary << " line " << i + 14;
    size_t end = i + 1;
    bool body = false;
    size_t ends = 0;
    while (end < ADeclarations.size() && !ADeclarations[end].empty()) {
      const std::wstring& line = ADeclarations[end];
      body = body || EndsWith(line, L" = record") || EndsWith(line, L" = interface(IDispatch)") ||
             EndsWith(line, L" = dispinterface");
      if (line == L"  end;") ++ends;
      ++end;
    }
    ASSERT_LT(end, ADeclarations.size()) << ALibrary << ": block without its blank line";
    EXPECT_EQ(ends, body ? 1u : 0u) << ALibrary << " block at line " << i + 14;
    if (body) {
      EXPECT_EQ(ADeclarations[end - 1], L"  end;") << ALibrary << " block at line " << i + 14;
    }
    ++ABlocks;
    i = end + 1;
  }
}

}  // namespace

TEST(WineLibraries, EveryUnitIsComplete) {
  TComInit com;
  size_t checked = 0;
  for (const std::wstring& path : WineLibraryFiles()) {
    const std::string label = WideToCodePage(path, CP_UTF8);
    EXPECT_EQ(CheckTypeLibraryFile(path).Verdict, TLibraryVerdict::Sound) << label;
    TComPtr<ITypeLib> lib;
    ASSERT_EQ(LoadTypeLibraryFile(path, lib), S_OK) << label;
    TObjectData data;
    data.Server = path;
    TGenerated unit = GenerateUnit(lib.get(), data);
    ++checked;

    TBstr libName;
    lib->GetDocumentation(-1, libName.put(), nullptr, nullptr, nullptr);
    ASSERT_GE(unit.Lines.size(), 17u) << label;
    EXPECT_EQ(unit.Lines[0], L"// typelib filename: " + path);
    EXPECT_EQ(unit.Lines[7], L"unit " + libName.str() + L";") << label;
    EXPECT_EQ(unit.Lines.back(), L"end.") << label;
    for (const std::wstring& line : unit.Lines) {
      EXPECT_EQ(line.find_first_of(L"\r\n"), std::wstring::npos) << label;
    }

    // One block per description that is no module, one more per dual interface, both
    // named as the dispatch interface and the interface.
    size_t expectedBlocks = 0;
    std::vector<std::wstring> duals;
    for (UINT i = 0; i < lib->GetTypeInfoCount(); ++i) {
      TComPtr<ITypeInfo> info;
      ASSERT_EQ(lib->GetTypeInfo(i, info.put()), S_OK) << label;
      TYPEATTR* attr = nullptr;
      ASSERT_EQ(info->GetTypeAttr(&attr), S_OK) << label;
      if (attr->typekind != TKIND_MODULE) ++expectedBlocks;
      if ((attr->typekind == TKIND_INTERFACE || attr->typekind == TKIND_DISPATCH) && (attr->wTypeFlags & 0x40)) {
        ++expectedBlocks;
        TBstr typeName;
        info->GetDocumentation(MEMBERID_NIL, typeName.put(), nullptr, nullptr, nullptr);
        duals.push_back(typeName.str());
      }
      info->ReleaseTypeAttr(attr);
    }
    size_t blocks = 0;
    ExpectBalancedBlocks(Declarations(unit.Lines), blocks, label);
    EXPECT_EQ(blocks, expectedBlocks) << label;
    for (const std::wstring& dual : duals) {
      const auto has = [&](const std::wstring& ALine) {
        return std::find(unit.Lines.begin(), unit.Lines.end(), ALine) != unit.Lines.end();
      };
      EXPECT_TRUE(has(L"  " + dual + L"Disp = dispinterface")) << label << " " << WideToCodePage(dual, CP_UTF8);
      EXPECT_TRUE(has(L"  " + dual + L" = interface(IDispatch)")) << label << " " << WideToCodePage(dual, CP_UTF8);
    }
  }
  EXPECT_GE(checked, std::size(kWineLibraries)) << "too few of Wine's libraries were found";
}

TEST(WineLibraries, AdoDefaultsThePlatformCannotCopyAreRepaired) {
  // Wine's ADO library holds default values of alias types that its own loader cannot copy;
  // copying a description holding one can crash it.
  TComInit com;
  size_t checked = 0;
  for (const wchar_t* folder : {L"C:\\Program Files\\Common Files\\System\\ADO\\",
                                L"C:\\Program Files (x86)\\Common Files\\System\\ADO\\"}) {
    const std::wstring path = std::wstring(folder) + L"msado15.dll";
    if (!FileExists(path)) continue;
    ++checked;
    TLibraryCheck check = CheckTypeLibraryFile(path);
    EXPECT_EQ(check.Verdict, TLibraryVerdict::Repairable);
    EXPECT_FALSE(check.UnreadableValues.empty());
    TComPtr<ITypeLib> lib;
    ASSERT_EQ(LoadTypeLibraryFile(path, lib), S_OK);
    TGenerated unit = GenerateUnit(lib.get());
    EXPECT_EQ(unit.UnitName, L"ADODB");
    const std::string text = Joined(unit.Lines);
    EXPECT_NE(text.find("size: ADO_LONGPTRconst optional ; attr: FieldAttributeEnumconst optional  = -1"),
              std::string::npos);
  }
  EXPECT_GE(checked, 1u);
}
