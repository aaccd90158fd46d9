#include "catalog/SearchIndex.h"

#include <windows.h>

#include <algorithm>
#include <cstring>

#include "base/Zarvek_StrUtils.h"

namespace vantrel {

namespace {

// The marker bit of a field that holds a GUID's 32 digits.
constexpr char kGuidDigits = 0x10;

std::wstring_view TrimView(std::wstring_view AText) {
  while (!AText.empty() && AText.front() <= L' ') AText.remove_prefix(1);
  while (!AText.empty() && AText.back() <= L' ') AText.remove_suffix(1);
  return AText;
}

bool IsMarker(char AByte) { return static_cast<unsigned char>(AByte) < 0x20; }

// Lower case without regard to the user's language, so that a search finds the same everywhere.
void LowerCase(std::wstring_view AText, std::wstring& AOut) {
  AOut.assign(AText);
  bool ascii = true;
  for (wchar_t& c : AOut) {
    if (c >= 0x80) {
      ascii = false;
    } else if (c >= L'A' && c <= L'Z') {
      c = static_cast<wchar_t>(c + (L'a' - L'A'));
    } else if (c < 0x20) {
      c = L' ';  // control characters would pass for markers
    }
  }
  if (!ascii && !AOut.empty()) {
    LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_LOWERCASE, AOut.data(), static_cast<int>(AOut.size()), AOut.data(),
                  static_cast<int>(AOut.size()), nullptr, nullptr, 0);
  }
}

void AppendUtf8(std::string& AOut, std::wstring_view AText) {
  bool ascii = true;
  for (wchar_t c : AText) {
    if (c >= 0x80) {
      ascii = false;
      break;
    }
  }
  if (ascii) {
    const size_t start = AOut.size();
    AOut.resize(start + AText.size());
    for (size_t i = 0; i < AText.size(); ++i) AOut[start + i] = static_cast<char>(AText[i]);
    return;
  }
  const int bytes = WideCharToMultiByte(CP_UTF8, 0, AText.data(), static_cast<int>(AText.size()), nullptr, 0,
                                        nullptr, nullptr);
  if (bytes <= 0) return;
  const size_t start = AOut.size();
  AOut.resize(start + static_cast<size_t>(bytes));
  WideCharToMultiByte(CP_UTF8, 0, AText.data(), static_cast<int>(AText.size()), AOut.data() + start, bytes, nullptr,
                      nullptr);
}

bool IsHexDigit(wchar_t C) { return (C >= L'0' && C <= L'9') || (C >= L'a' && C <= L'f') || (C >= L'A' && C <= L'F'); }

// The 32 digits of a GUID in registry form ("{...}", blanks around allowed), lower-cased; empty
// when the text is no such GUID.
std::string GuidDigits(std::wstring_view AText) {
  AText = TrimView(AText);
  static constexpr size_t kDashes[] = {9, 14, 19, 24};
  if (AText.size() != 38 || AText.front() != L'{' || AText.back() != L'}') return std::string();
  std::string digits;
  digits.reserve(32);
  for (size_t i = 1; i < 37; ++i) {
    const wchar_t c = AText[i];
    if (std::find(std::begin(kDashes), std::end(kDashes), i) != std::end(kDashes)) {
      if (c != L'-') return std::string();
      continue;
    }
    if (!IsHexDigit(c)) return std::string();
    digits += static_cast<char>(c >= L'A' && c <= L'F' ? c + (L'a' - L'A') : c);
  }
  return digits;
}

}  // namespace

const wchar_t* SearchFieldName(TSearchField AField) {
  switch (AField) {
    case TSearchField::sfName: return L"name";
    case TSearchField::sfGUID: return L"GUID";
    case TSearchField::sfProgId: return L"ProgID";
    case TSearchField::sfServer: return L"server";
    case TSearchField::sfTypeLib: return L"type library";
    case TSearchField::sfAppId: return L"application ID";
    case TSearchField::sfProxyStub: return L"proxy/stub class";
    case TSearchField::sfFile: return L"file";
    case TSearchField::sfService: return L"service";
    case TSearchField::sfSurrogate: return L"surrogate";
  }
  return L"";
}

std::wstring FoundInText(uint32_t AFields) {
  std::wstring text;
  for (size_t field = 0; field < kSearchFieldCount; ++field) {
    if (!(AFields & (1u << field))) continue;
    if (!text.empty()) text += L", ";
    text += SearchFieldName(static_cast<TSearchField>(field));
  }
  return text;
}

void TSearchIndex::AddField(TSearchField AField, std::wstring_view AText) {
  if (IsBlankText(AText)) return;
  FText += static_cast<char>(AField);
  LowerCase(AText, FLowered);
  AppendUtf8(FText, FLowered);
}

void TSearchIndex::AddGuidField(TSearchField AField, std::wstring_view AText) {
  const std::string digits = GuidDigits(AText);
  if (digits.empty()) {
    AddField(AField, AText);
    return;
  }
  FText += static_cast<char>(static_cast<char>(AField) | kGuidDigits);
  FText += digits;
}

void TSearchIndex::Add(TObjectType AType, uint32_t AIndex, std::wstring_view AName, std::wstring_view AGuid,
                       const TRegisteredValues& AValues) {
  FStarts.push_back(static_cast<uint32_t>(FText.size()));
  FIndices.push_back(AIndex);
  FCatalogs.push_back(AType);
  // An entry named by its GUID is found by the GUID alone.
  if (!SameTextAscii(TrimView(AName), TrimView(AGuid))) AddField(TSearchField::sfName, AName);
  AddGuidField(TSearchField::sfGUID, AGuid);
  switch (AType) {
    case TObjectType::otCLSID:
      AddField(TSearchField::sfProgId, AValues.ProgId);
      AddField(TSearchField::sfProgId, AValues.VersionIndependentProgId);
      AddField(TSearchField::sfServer, AValues.InprocServer);
      AddField(TSearchField::sfServer, AValues.LocalServer);
      AddGuidField(TSearchField::sfTypeLib, AValues.TypeLib);
      AddGuidField(TSearchField::sfAppId, AValues.AppId);
      break;
    case TObjectType::otInterface:
      AddGuidField(TSearchField::sfProxyStub, AValues.ProxyStub);
      AddGuidField(TSearchField::sfTypeLib, AValues.TypeLib);
      break;
    case TObjectType::otTypeLib:
      for (const TTypeLibVersion& version : AValues.Versions) {
        AddField(TSearchField::sfName, version.Name);
        for (const TTypeLibFile& file : version.Files) AddField(TSearchField::sfFile, file.Path);
      }
      break;
    case TObjectType::otAppID:
      AddField(TSearchField::sfService, AValues.LocalService);
      AddField(TSearchField::sfSurrogate, AValues.DllSurrogate);
      break;
  }
}

void TSearchIndex::Append(TSearchIndex&& AOther) {
  const uint32_t offset = static_cast<uint32_t>(FText.size());
  FText += AOther.FText;
  for (uint32_t start : AOther.FStarts) FStarts.push_back(start + offset);
  FIndices.insert(FIndices.end(), AOther.FIndices.begin(), AOther.FIndices.end());
  FCatalogs.insert(FCatalogs.end(), AOther.FCatalogs.begin(), AOther.FCatalogs.end());
  AOther.Clear();
}

void TSearchIndex::Clear() {
  FText.clear();
  FText.shrink_to_fit();
  FStarts = {};
  FIndices = {};
  FCatalogs = {};
}

size_t TSearchIndex::Count() const { return FStarts.size(); }

size_t TSearchIndex::MemoryUsed() const {
  return FText.capacity() + FStarts.capacity() * sizeof(uint32_t) + FIndices.capacity() * sizeof(uint32_t) +
         FCatalogs.capacity() * sizeof(TObjectType);
}

void TSearchIndex::Scan(std::string_view APattern, size_t AFirst, bool AGuidOnly, std::vector<THit>& AHits) const {
  if (APattern.empty() || AFirst >= FStarts.size()) return;
  const std::string_view text(FText);
  size_t entry = AFirst;
  size_t position = FStarts[AFirst];
  while ((position = text.find(APattern, position)) != std::string_view::npos) {
    // The field holding the match: its marker before it, its end at the next marker.
    size_t marker = position;
    while (!IsMarker(text[marker])) --marker;
    size_t end = position + APattern.size();
    while (end < text.size() && !IsMarker(text[end])) ++end;
    const char kind = text[marker];
    if (!AGuidOnly || (kind & kGuidDigits)) {
      while (entry + 1 < FStarts.size() && FStarts[entry + 1] <= marker) ++entry;
      const uint32_t bit = 1u << (kind & ~kGuidDigits);
      if (!AHits.empty() && AHits.back().Index == entry) {
        AHits.back().Fields |= bit;
      } else {
        AHits.push_back({FCatalogs[entry], static_cast<uint32_t>(entry), bit});
      }
    }
    // One match per field is enough.
    position = end;
  }
}

std::vector<TSearchIndex::THit> TSearchIndex::Find(std::wstring_view AText, size_t AFirst) const {
  std::vector<THit> hits;
  if (IsBlankText(AText)) return hits;
  std::wstring lowered;
  LowerCase(AText, lowered);
  std::string pattern;
  AppendUtf8(pattern, lowered);
  // Hits carry the entry's position in the index until both scans are merged.
  Scan(pattern, AFirst, false, hits);

  // A text of hex digits, braces and dashes also finds GUIDs written without braces and dashes.
  const std::wstring_view trimmed = TrimView(lowered);
  bool guidLike = true, anyDigit = false;
  std::string digits;
  for (wchar_t c : trimmed) {
    if (IsHexDigit(c)) {
      anyDigit = true;
      digits += static_cast<char>(c);
    } else if (c != L'{' && c != L'}' && c != L'-') {
      guidLike = false;
      break;
    }
  }
  if (guidLike && anyDigit && digits != pattern) {
    std::vector<THit> guidHits;
    Scan(digits, AFirst, true, guidHits);
    std::vector<THit> merged;
    merged.reserve(hits.size() + guidHits.size());
    size_t a = 0, b = 0;
    while (a < hits.size() || b < guidHits.size()) {
      if (b == guidHits.size() || (a < hits.size() && hits[a].Index < guidHits[b].Index)) {
        merged.push_back(hits[a++]);
      } else if (a == hits.size() || guidHits[b].Index < hits[a].Index) {
        merged.push_back(guidHits[b++]);
      } else {
        merged.push_back(hits[a++]);
        merged.back().Fields |= guidHits[b++].Fields;
      }
    }
    hits.swap(merged);
  }
  for (THit& hit : hits) hit.Index = FIndices[hit.Index];
  return hits;
}

}  // namespace vantrel
