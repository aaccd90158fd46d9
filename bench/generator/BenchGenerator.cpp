// Generating the import unit of a large type library, against a raw walk that fetches
// everything the generator reads (every type description, attribute record, function, variable,
// their names and documentation, and the descriptions and names of the types they refer to)
// without producing text. Both run in turns in one process so that they see the same machine;
// the medians are printed.
//
//   bench_generator [library file...]    default: mshtml.tlb of the system folder
#include <windows.h>
#include <oleauto.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <string>
#include <vector>

#include "base/Zarvek_Handles.h"
#include "base/Zarvek_StrUtils.h"
#include "base/Zarvek_SysUtils.h"
#include "generators/IdlGenerator.h"
#include "generators/ImportUnit.h"
#include "generators/TLBGenerator.h"
#include "typelib/TypeLibLoader.h"

using namespace vantrel;

// Every allocation of the program is counted: most of a generator's time goes to the heap.
std::atomic<size_t> gAllocations{0};

void* operator new(size_t ASize) {
  ++gAllocations;
  if (void* block = std::malloc(ASize ? ASize : 1)) return block;
  throw std::bad_alloc();
}
void operator delete(void* ABlock) noexcept { std::free(ABlock); }
void operator delete(void* ABlock, size_t) noexcept { std::free(ABlock); }

namespace {

constexpr int kWarmUps = 3;
constexpr int kRounds = 21;

size_t TextLength(const TBstr& AText) { return SysStringLen(AText.get()); }

// A referenced type: its description and name, as the generator reads it to name the type.
size_t ReadReference(ITypeInfo* AInfo, HREFTYPE ARefType) {
  TComPtr<ITypeInfo> referred;
  if (FAILED(AInfo->GetRefTypeInfo(ARefType, referred.put()))) return 0;
  TBstr name;
  referred->GetDocumentation(MEMBERID_NIL, name.put(), nullptr, nullptr, nullptr);
  return TextLength(name);
}

size_t ReadTypeDesc(ITypeInfo* AInfo, const TYPEDESC& ADesc) {
  switch (ADesc.vt) {
    case VT_PTR:
    case VT_SAFEARRAY: return ADesc.lptdesc ? ReadTypeDesc(AInfo, *ADesc.lptdesc) : 0;
    case VT_CARRAY: return ADesc.lpadesc ? ReadTypeDesc(AInfo, ADesc.lpadesc->tdescElem) : 0;
    case VT_USERDEFINED: return ReadReference(AInfo, ADesc.hreftype);
    default: return 0;
  }
}

// Everything the generator reads, in its order, without producing text; returns the number of
// characters read so the calls cannot be skipped.
size_t RawWalk(ITypeLib* ALib) {
  size_t total = 0;
  {
    TBstr name, doc, helpFile;
    ALib->GetDocumentation(-1, name.put(), doc.put(), nullptr, helpFile.put());
    total += TextLength(name) + TextLength(doc) + TextLength(helpFile);
  }
  UINT count = ALib->GetTypeInfoCount();
  std::vector<BSTR> names;
  for (UINT i = 0; i < count; ++i) {
    if (FAILED(ALib->GetDocumentation(static_cast<INT>(i), nullptr, nullptr, nullptr, nullptr))) continue;
    TYPEKIND kind;
    ALib->GetTypeInfoType(i, &kind);
    TComPtr<ITypeInfo> info;
    if (FAILED(ALib->GetTypeInfo(i, info.put()))) continue;
    TYPEATTR* attr = nullptr;
    if (FAILED(info->GetTypeAttr(&attr))) continue;
    TBstr name, doc;
    if (SUCCEEDED(info->GetDocumentation(MEMBERID_NIL, name.put(), doc.put(), nullptr, nullptr))) {
      total += TextLength(name) + TextLength(doc);
    }
    if (attr->typekind == TKIND_ALIAS) total += ReadTypeDesc(info.get(), attr->tdescAlias);
    for (UINT t = 0; t < attr->cImplTypes; ++t) {
      HREFTYPE refType;
      if (SUCCEEDED(info->GetRefTypeOfImplType(t, &refType))) total += ReadReference(info.get(), refType);
    }
    for (UINT v = 0; v < attr->cVars; ++v) {
      VARDESC* var = nullptr;
      if (FAILED(info->GetVarDesc(v, &var))) continue;
      TBstr varName, varDoc;
      if (SUCCEEDED(info->GetDocumentation(var->memid, varName.put(), varDoc.put(), nullptr, nullptr))) {
        total += TextLength(varName) + TextLength(varDoc);
      }
      total += ReadTypeDesc(info.get(), var->elemdescVar.tdesc);
      info->ReleaseVarDesc(var);
    }
    for (UINT f = 0; f < attr->cFuncs; ++f) {
      FUNCDESC* func = nullptr;
      if (FAILED(info->GetFuncDesc(f, &func))) continue;
      names.assign(static_cast<size_t>(func->cParams) + 1, nullptr);
      UINT got = 0;
      if (SUCCEEDED(info->GetNames(func->memid, names.data(), static_cast<UINT>(names.size()), &got))) {
        for (UINT n = 0; n < got; ++n) {
          total += SysStringLen(names[n]);
          SysFreeString(names[n]);
        }
      }
      TBstr funcDoc;
      if (SUCCEEDED(info->GetDocumentation(func->memid, nullptr, funcDoc.put(), nullptr, nullptr))) {
        total += TextLength(funcDoc);
      }
      for (SHORT p = 0; p < func->cParams; ++p) total += ReadTypeDesc(info.get(), func->lprgelemdescParam[p].tdesc);
      total += ReadTypeDesc(info.get(), func->elemdescFunc.tdesc);
      info->ReleaseFuncDesc(func);
    }
    info->ReleaseTypeAttr(attr);
  }
  return total;
}

double Median(std::vector<double> AValues) {
  std::sort(AValues.begin(), AValues.end());
  return AValues[AValues.size() / 2];
}

template <typename F>
double TimeMs(F AWork) {
  auto start = std::chrono::steady_clock::now();
  AWork();
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

bool Measure(const std::wstring& APath) {
  TComPtr<ITypeLib> lib;
  HRESULT hr = LoadTypeLibraryFile(APath, lib);
  std::string name = WideToCodePage(ExtractFileName(APath), CP_UTF8);
  if (FAILED(hr)) {
    std::printf("%s: %s\n", name.c_str(), WideToCodePage(LoadErrorText(hr), CP_UTF8).c_str());
    return false;
  }
  TObjectData data;
  data.Server = APath;
  size_t lineCount = 0, walked = 0;
  auto generate = [&] {
    TLineList lines;
    std::wstring unitName;
    GenerateImportUnit(data, lib.get(), lines, unitName);
    lineCount = lines.Count();
  };
  auto walk = [&] { walked = RawWalk(lib.get()); };
  for (int i = 0; i < kWarmUps; ++i) {
    generate();
    walk();
  }
  std::vector<double> generated, raw;
  for (int i = 0; i < kRounds; ++i) {
    generated.push_back(TimeMs(generate));
    raw.push_back(TimeMs(walk));
  }
  double g = Median(generated), r = Median(raw);
  std::printf("generate %s: %.1f ms (raw walk %.1f ms, ratio %.2f) [%zu lines, %zu characters walked]\n", name.c_str(),
              g, r, g / r, lineCount, walked);

  // The import unit that compiles, beside the annotated unit of the same run.
  size_t importLines = 0;
  auto generateImport = [&] {
    TLineList lines;
    std::wstring unitName;
    GenerateCompilableUnit(data, lib.get(), lines, unitName);
    importLines = lines.Count();
  };
  for (int i = 0; i < kWarmUps; ++i) generateImport();
  std::vector<double> imported, annotated;
  for (int i = 0; i < kRounds; ++i) {
    imported.push_back(TimeMs(generateImport));
    annotated.push_back(TimeMs(generate));
  }
  const double im = Median(imported), an = Median(annotated);
  std::printf("import unit %s: %.1f ms (annotated unit %.1f ms, ratio %.2f) [%zu lines]\n", name.c_str(), im, an,
              im / an, importLines);
  const size_t before = gAllocations;
  generateImport();
  const size_t between = gAllocations;
  generate();
  std::printf("  allocations: import unit %zu, annotated unit %zu\n", between - before,
              static_cast<size_t>(gAllocations) - between);

  // The IDL, beside the annotated unit of the same run.
  size_t idlLines = 0;
  auto generateIdl = [&] {
    TLineList lines;
    std::wstring libName;
    GenerateIdl(data, lib.get(), lines, libName);
    idlLines = lines.Count();
  };
  for (int i = 0; i < kWarmUps; ++i) generateIdl();
  std::vector<double> idl, annotatedAgain;
  for (int i = 0; i < kRounds; ++i) {
    idl.push_back(TimeMs(generateIdl));
    annotatedAgain.push_back(TimeMs(generate));
  }
  const double id = Median(idl), an2 = Median(annotatedAgain);
  std::printf("IDL %s: %.1f ms (annotated unit %.1f ms, ratio %.2f) [%zu lines]\n", name.c_str(), id, an2, id / an2,
              idlLines);
  return true;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  TComInit com;
  std::vector<std::wstring> paths;
  for (int i = 1; i < argc; ++i) paths.push_back(ExpandFileName(argv[i]));
  if (paths.empty()) paths.push_back(SystemDirectoryPath() + L"mshtml.tlb");
  bool ok = true;
  for (const std::wstring& path : paths) ok = Measure(path) && ok;
  return ok ? 0 : 1;
}
