#include "catalog/SearchIndex.h"

#include <windows.h>

#include <algorithm>
#include <cstring>

#include "base/Zarvek_StrUtils.h"

namespace vantrel {

namespace {

// A GUID field: its marker and 32 digits.
constexpr size_t kGuidRecord = 33;

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
  FFields.Text += static_cast<char>(AField);
  LowerCase(AText, FLowered);
  AppendUtf8(FFields.Text, FLowered);
}

void TSearchIndex::AddGuidField(TSearchField AField, std::wstring_view AText) {
  const std::string digits = GuidDigits(AText);
  if (digits.empty()) {
    AddField(AField, AText);
    return;
  }
  FGuids.Text += static_cast<char>(AField);
  FGuids.Text += digits;
}

void TSearchIndex::Add(TObjectType AType, uint32_t AIndex, std::wstring_view AName, std::wstring_view AGuid,
                       const TRegisteredValues& AValues) {
  FFields.Starts.push_back(static_cast<uint32_t>(FFields.Text.size()));
  FGuids.Starts.push_back(static_cast<uint32_t>(FGuids.Text.size()));
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
  for (auto [to, from] : {std::pair{&FFields, &AOther.FFields}, std::pair{&FGuids, &AOther.FGuids}}) {
    const uint32_t offset = static_cast<uint32_t>(to->Text.size());
    to->Text += from->Text;
    for (uint32_t start : from->Starts) to->Starts.push_back(start + offset);
  }
  FIndices.insert(FIndices.end(), AOther.FIndices.begin(), AOther.FIndices.end());
  FCatalogs.insert(FCatalogs.end(), AOther.FCatalogs.begin(), AOther.FCatalogs.end());
  AOther.Clear();
}

void TSearchIndex::Clear() {
  FFields = {};
  FGuids = {};
  FIndices = {};
  FCatalogs = {};
}

void TSearchIndex::Compact() {
  for (TFieldText* text : {&FFields, &FGuids}) {
    text->Text.shrink_to_fit();
    text->Starts.shrink_to_fit();
  }
  FIndices.shrink_to_fit();
  FCatalogs.shrink_to_fit();
}

size_t TSearchIndex::Count() const { return FIndices.size(); }

size_t TSearchIndex::MemoryUsed() const {
  return FFields.Text.capacity() + FGuids.Text.capacity() +
         (FFields.Starts.capacity() + FGuids.Starts.capacity() + FIndices.capacity()) * sizeof(uint32_t) +
         FCatalogs.capacity() * sizeof(TObjectType);
}

void TSearchIndex::Scan(const TFieldText& AText, std::string_view APattern, size_t AFirst, size_t ARecordSize,
                        std::vector<THit>& AHits) {
  const size_t length = APattern.size();
  if (length == 0 || AFirst >= AText.Starts.size()) return;
  const char* const text = AText.Text.data();
  const size_t size = AText.Text.size();
  // Boyer-Moore-Horspool: most of the text is skipped a pattern's length at a time.
  size_t skip[256];
  for (size_t& distance : skip) distance = length;
  for (size_t i = 0; i + 1 < length; ++i) skip[static_cast<unsigned char>(APattern[i])] = length - 1 - i;
  const char last = APattern[length - 1];
  size_t entry = AFirst;
  size_t position = AText.Starts[AFirst];
  const char* const pattern = APattern.data();
  while (position + length <= size) {
    const char tail = text[position + length - 1];
    if (tail != last) {
      position += skip[static_cast<unsigned char>(tail)];
      continue;
    }
    // Compared in place: the library's memcmp is a call per candidate.
    size_t same = 0;
    while (same + 1 < length && text[position + same] == pattern[same]) ++same;
    if (same + 1 < length) {
      position += skip[static_cast<unsigned char>(tail)];
      continue;
    }
    // The field holding the match: its marker before it, its end at the next marker. Fields of
    // one size need no looking.
    size_t marker, end;
    if (ARecordSize) {
      marker = position - position % ARecordSize;
      end = marker + ARecordSize;
    } else {
      marker = position;
      while (!IsMarker(text[marker])) --marker;
      end = position + length;
      while (end < size && !IsMarker(text[end])) ++end;
    }
    while (entry + 1 < AText.Starts.size() && AText.Starts[entry + 1] <= marker) ++entry;
    const uint32_t bit = 1u << static_cast<unsigned char>(text[marker]);
    if (!AHits.empty() && AHits.back().Index == entry) {
      AHits.back().Fields |= bit;
    } else {
      AHits.push_back({TObjectType::otCLSID, static_cast<uint32_t>(entry), bit});
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
  Scan(FFields, pattern, AFirst, 0, hits);

  // A text of hex digits, braces and dashes finds GUIDs, whose digits are kept without them.
  bool guidLike = true, anyDigit = false;
  std::string digits;
  for (wchar_t c : TrimView(lowered)) {
    if (IsHexDigit(c)) {
      anyDigit = true;
      digits += static_cast<char>(c);
    } else if (c != L'{' && c != L'}' && c != L'-') {
      guidLike = false;
      break;
    }
  }
  if (guidLike && anyDigit) {
    std::vector<THit> guidHits;
    Scan(FGuids, digits, AFirst, kGuidRecord, guidHits);
    if (hits.empty()) {
      hits.swap(guidHits);
    } else if (!guidHits.empty()) {
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
  }
  // Hits carried the entry's position in the index until here.
  for (THit& hit : hits) {
    hit.Catalog = FCatalogs[hit.Index];
    hit.Index = FIndices[hit.Index];
  }
  return hits;
}

}  // namespace vantrel
