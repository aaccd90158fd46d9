// The record a reader sends of a library: real libraries replay to the same units, and a record
// that is damaged in any way is refused or replayed without harm.
#include <gtest/gtest.h>

#include <random>

#include "base/Zarvek_Handles.h"
#include "base/Zarvek_SysUtils.h"
#include "tests/tlbgen/GeneratorTestSupport.h"
#include "tlbviewer/TypeInfoSource.h"
#include "tlbviewer/TypeLibLoader.h"
#include "tlbviewer/TypeLibSnapshot.h"

using namespace vantrel;
using namespace vantrel::test;

namespace {

// The widl fixture and Wine's own libraries.
std::vector<std::wstring> LibraryFiles() {
  std::vector<std::wstring> files = WineLibraryFiles();
  files.insert(files.begin(), FixturePath(L"Shapes.tlb"));
  return files;
}

std::string ShapesRecord() {
  TComPtr<ITypeLib> lib;
  EXPECT_EQ(LoadTypeLibraryFile(FixturePath(L"Shapes.tlb"), lib), S_OK);
  return lib ? RecordTypeLibrary(lib.get()) : std::string();
}

std::wstring ReplayFailure(const std::string& ARecord) {
  try {
    ReplayTypeLibrary(ARecord);
  } catch (const ESnapshotError& e) {
    return e.Reason();
  }
  return L"";
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
// replay to a library the generator reads without harm.
TEST(TypeLibSnapshot, DamagedRecordsAreRefusedOrReplayedSafely) {
  TComInit com;
  const std::string record = ShapesRecord();
  ASSERT_FALSE(record.empty());
  for (size_t length = 0; length < record.size(); ++length) {
    EXPECT_FALSE(ReplayFailure(record.substr(0, length)).empty()) << "cut at " << length;
  }
  std::mt19937 random(20261210);
  size_t refused = 0, replayed = 0;
  for (int round = 0; round < 3000; ++round) {
    std::string damaged = record;
    const int changes = 1 + static_cast<int>(random() % 4);
    for (int c = 0; c < changes; ++c) {
      const size_t pos = random() % damaged.size();
      switch (random() % 3) {
        case 0: damaged[pos] = static_cast<char>(damaged[pos] ^ (1 << (random() % 8))); break;
        case 1: damaged[pos] = static_cast<char>(random()); break;
        default: damaged.replace(pos, std::min<size_t>(4, damaged.size() - pos), std::string(4, '\xFF')); break;
      }
    }
    damaged.resize(std::min(damaged.size(), record.size()));
    try {
      TSnapshotContent content = ReplayTypeLibrary(damaged);
      if (content.Library) GenerateUnit(content.Library.get());
      ++replayed;
    } catch (const ESnapshotError&) {
      ++refused;
    }
  }
  EXPECT_GT(refused, 0u);
  EXPECT_GT(replayed, 0u);
}
