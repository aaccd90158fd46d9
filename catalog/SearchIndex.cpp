#include "catalog/SearchIndex.h"

#include <windows.h>

#include <algorithm>
#include <cstring>

#include "base/Zarvek_Handles.h"
#include "base/Zarvek_StrUtils.h"
#include "base/Zarvek_SysUtils.h"
#include "catalog/Zarvek_RegUtils.h"

namespace vantrel {

namespace {

// A GUID field: its marker and 32 digits.
constexpr size_t kGuidDigits = 32;
constexpr size_t kGuidRecord = kGuidDigits + 1;
// The marker of an entry's own name, the tree's text: found as a name, and the only name field
// that makes an exact match.
constexpr char kOwnNameMarker = static_cast<char>(kSearchFieldCount);

std::wstring_view TrimView(std::wstring_view AText) {
  while (!AText.empty() && AText.front() <= L' ') AText.remove_prefix(1);
  while (!AText.empty() && AText.back() <= L' ') AText.remove_suffix(1);
  return AText;
}

bool IsMarker(char AByte) { return static_cast<unsigned char>(AByte) < 0x20; }

uint32_t FieldBit(char AMarker) {
  const unsigned field = AMarker == kOwnNameMarker ? static_cast<unsigned>(TSearchField::sfName)
                                                   : static_cast<unsigned char>(AMarker);
  return 1u << field;
}

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

// A search text that is a piece of a GUID: its digits, and where its braces and dashes stand.
struct TGuidQuery {
  std::string Digits;
  bool AtStart = false;         // "{" before the digits: the GUID starts with them
  bool AtEnd = false;           // "}" after them: the GUID ends with them
  std::vector<size_t> Dashes;  // the number of digits before each dash

  // Whether the digits may stand at AOffset of a GUID's 32: braces and dashes where the GUID's are.
  bool Fits(size_t AOffset) const {
    if (AtStart && AOffset != 0) return false;
    if (AtEnd && AOffset + Digits.size() != kGuidDigits) return false;
    for (size_t dash : Dashes) {
      const size_t at = AOffset + dash;
      if (at != 8 && at != 12 && at != 16 && at != 20) return false;
    }
    return true;
  }
};

// Whether a lower-cased search text can be a piece of a GUID (see TSearchIndex::Find): hex digits
// with single dashes, in braces or not, and a brace, a dash or at least 8 digits. A few hex
// letters alone are a word: "face" is no GUID.
bool ParseGuidQuery(std::wstring_view AText, TGuidQuery& AQuery) {
  AText = TrimView(AText);
  AQuery = TGuidQuery();
  if (!AText.empty() && AText.front() == L'{') {
    AQuery.AtStart = true;
    AText.remove_prefix(1);
  }
  if (!AText.empty() && AText.back() == L'}') {
    AQuery.AtEnd = true;
    AText.remove_suffix(1);
  }
  wchar_t previous = 0;
  for (wchar_t c : AText) {
    if (c == L'-') {
      if (previous == L'-') return false;
      AQuery.Dashes.push_back(AQuery.Digits.size());
    } else if ((c >= L'0' && c <= L'9') || (c >= L'a' && c <= L'f')) {
      AQuery.Digits += static_cast<char>(c);
    } else {
      return false;
    }
    previous = c;
  }
  if (AQuery.Digits.empty() || AQuery.Digits.size() > kGuidDigits) return false;
  return AQuery.AtStart || AQuery.AtEnd || !AQuery.Dashes.empty() || AQuery.Digits.size() >= 8;
}

bool IsLowerHex(char C) { return (C >= '0' && C <= '9') || (C >= 'a' && C <= 'f'); }

// Whether ALength characters at APosition of a lower-cased text lie within a GUID written in it
// ("c:\cache\{0002df01-0000-0000-c000-000000000046}\setup.exe", with braces or without).
bool InsideGuid(std::string_view AText, size_t APosition, size_t ALength) {
  constexpr size_t kGuidText = 36;
  size_t first = APosition, last = APosition + ALength;
  while (first > 0 && (IsLowerHex(AText[first - 1]) || AText[first - 1] == '-')) --first;
  while (last < AText.size() && (IsLowerHex(AText[last]) || AText[last] == '-')) ++last;
  if (last - first < kGuidText) return false;
  size_t start = APosition + ALength > first + kGuidText ? APosition + ALength - kGuidText : first;
  for (; start <= APosition && start + kGuidText <= last; ++start) {
    bool guid = true;
    for (size_t i = 0; i < kGuidText && guid; ++i) {
      const char c = AText[start + i];
      guid = i == 8 || i == 13 || i == 18 || i == 23 ? c == '-' : IsLowerHex(c);
    }
    if (guid) return true;
  }
  return false;
}

// The entries from AFirst on with APattern in a field of AText, in order, as hits that carry the
// entry's position in the index. ARecordSize: the size of every field with its marker, when they
// have one size. AAccept(the field's text, offset of the match in it) says whether a match
// counts; the search goes on in a field whose match did not.
template <typename TAccept>
void Scan(const std::string& AText, const std::vector<uint32_t>& AStarts, std::string_view APattern, size_t AFirst,
          size_t ARecordSize, const TAccept& AAccept, std::vector<TSearchIndex::THit>& AHits) {
  const size_t length = APattern.size();
  if (length == 0 || AFirst >= AStarts.size()) return;
  const char* const text = AText.data();
  const size_t size = AText.size();
  // Boyer-Moore-Horspool: most of the text is skipped a pattern's length at a time.
  size_t skip[256];
  for (size_t& distance : skip) distance = length;
  for (size_t i = 0; i + 1 < length; ++i) skip[static_cast<unsigned char>(APattern[i])] = length - 1 - i;
  const char last = APattern[length - 1];
  size_t entry = AFirst;
  size_t position = AStarts[AFirst];
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
    if (!AAccept(std::string_view(text + marker + 1, end - marker - 1), position - marker - 1)) {
      ++position;
      continue;
    }
    while (entry + 1 < AStarts.size() && AStarts[entry + 1] <= marker) ++entry;
    const uint32_t bit = FieldBit(text[marker]);
    const bool exact = text[marker] == kOwnNameMarker && position == marker + 1 && end == position + length;
    if (!AHits.empty() && AHits.back().Index == entry) {
      AHits.back().Fields |= bit;
      AHits.back().ExactName = AHits.back().ExactName || exact;
    } else {
      AHits.push_back({TObjectType::otCLSID, static_cast<uint32_t>(entry), bit, exact});
    }
    // One match per field is enough.
    position = end;
  }
}

// Whether a key directly under HKEY_CLASSES_ROOT can be a ProgID: not a file extension, not one
// of the catalogs.
bool MayBeProgId(std::wstring_view AName) {
  if (AName.empty() || AName[0] == L'.' || AName[0] == L'*') return false;
  for (const wchar_t* root : {L"CLSID", L"TypeLib", L"AppID", L"Interface"}) {
    if (SameTextAscii(AName, root)) return false;
  }
  return true;
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

void TSearchIndex::AddField(char AMarker, std::wstring_view AText) {
  if (IsBlankText(AText)) return;
  FFields.Text += AMarker;
  LowerCase(AText, FLowered);
  AppendUtf8(FFields.Text, FLowered);
}

void TSearchIndex::AddPathField(TSearchField AField, std::wstring_view APath, const TStringList* AEnvironment) {
  AddField(AField, APath);
  // Only a variable ("%SystemRoot%") or a leading "\SystemRoot\" expands.
  if (!AEnvironment || (APath.find(L'%') == std::wstring_view::npos && (APath.empty() || APath.front() != L'\\'))) {
    return;
  }
  const std::wstring expanded = ExpandPathVariables(*AEnvironment, APath);
  if (expanded != APath) AddField(AField, expanded);
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
                       const TRegisteredValues& AValues, const TSearchExtras& AExtras) {
  FFields.Starts.push_back(static_cast<uint32_t>(FFields.Text.size()));
  FGuids.Starts.push_back(static_cast<uint32_t>(FGuids.Text.size()));
  FIndices.push_back(AIndex);
  FCatalogs.push_back(AType);
  // An entry named by its GUID is found by the GUID alone.
  if (!SameTextAscii(TrimView(AName), TrimView(AGuid))) AddField(kOwnNameMarker, AName);
  AddGuidField(TSearchField::sfGUID, AGuid);
  const TStringList* environment = AExtras.Environment;
  switch (AType) {
    case TObjectType::otCLSID:
      AddField(TSearchField::sfProgId, AValues.ProgId);
      AddField(TSearchField::sfProgId, AValues.VersionIndependentProgId);
      if (AExtras.ProgIds) {
        for (const std::wstring& progId : *AExtras.ProgIds) {
          // Most keys are the ones the class's own values name.
          if (SameTextAscii(TrimView(progId), TrimView(AValues.ProgId)) ||
              SameTextAscii(TrimView(progId), TrimView(AValues.VersionIndependentProgId))) {
            continue;
          }
          AddField(TSearchField::sfProgId, progId);
        }
      }
      AddPathField(TSearchField::sfServer, AValues.InprocServer, environment);
      AddPathField(TSearchField::sfServer, AValues.LocalServer, environment);
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
        for (const TTypeLibFile& file : version.Files) AddPathField(TSearchField::sfFile, file.Path, environment);
      }
      break;
    case TObjectType::otAppID:
      AddField(TSearchField::sfService, AValues.LocalService);
      AddPathField(TSearchField::sfSurrogate, AValues.DllSurrogate, environment);
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

std::vector<TSearchIndex::THit> TSearchIndex::Find(std::wstring_view AText, size_t AFirst) const {
  std::vector<THit> hits;
  if (IsBlankText(AText)) return hits;
  std::wstring lowered;
  LowerCase(AText, lowered);
  std::string pattern;
  AppendUtf8(pattern, lowered);
  TGuidQuery guid;
  const bool guidPiece = ParseGuidQuery(lowered, guid);
  // A word of hex letters is no GUID: not even one written in a path.
  const bool hexWord = !guidPiece && std::all_of(pattern.begin(), pattern.end(), IsLowerHex);
  Scan(FFields.Text, FFields.Starts, pattern, AFirst, 0,
       [&](std::string_view AField, size_t AOffset) { return !hexWord || !InsideGuid(AField, AOffset, pattern.size()); },
       hits);

  if (guidPiece) {
    std::vector<THit> guidHits;
    Scan(FGuids.Text, FGuids.Starts, guid.Digits, AFirst, kGuidRecord,
         [&](std::string_view, size_t AOffset) { return guid.Fits(AOffset); }, guidHits);
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
  std::stable_partition(hits.begin(), hits.end(), [](const THit& AHit) { return AHit.ExactName; });
  return hits;
}

TProgIdKeys::TProgIdKeys(TRegView AView, const std::function<bool()>& AStopped) {
  const REGSAM view = RegViewAccess(AView);
  HKEY opened = nullptr;
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, L"", 0, KEY_READ | view, &opened) != ERROR_SUCCESS) return;
  TRegKey root(opened);
  wchar_t name[256];
  std::wstring path;
  std::vector<wchar_t> value(128);
  for (DWORD i = 0;; ++i) {
    if (AStopped && i % 64 == 0 && AStopped()) return;
    DWORD length = 256;
    const LONG result = RegEnumKeyExW(root.get(), i, name, &length, nullptr, nullptr, nullptr, nullptr);
    if (result == ERROR_MORE_DATA) continue;  // no registry key name is longer
    if (result != ERROR_SUCCESS) return;
    const std::wstring_view progId(name, length);
    if (!MayBeProgId(progId)) continue;
    path.assign(progId);
    path += L"\\CLSID";
    HKEY clsidKey = nullptr;
    if (RegOpenKeyExW(root.get(), path.c_str(), 0, KEY_QUERY_VALUE | view, &clsidKey) != ERROR_SUCCESS) continue;
    TRegKey clsidOwner(clsidKey);
    for (;;) {
      DWORD type = REG_NONE;
      DWORD size = static_cast<DWORD>(value.size() * sizeof(wchar_t));
      const LONG read = RegQueryValueExW(clsidKey, nullptr, nullptr, &type, reinterpret_cast<BYTE*>(value.data()), &size);
      if (read == ERROR_MORE_DATA) {
        value.resize(size / sizeof(wchar_t) + 1);
        continue;
      }
      if (read != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) break;
      size_t end = 0;
      while (end < size / sizeof(wchar_t) && value[end] != L'\0') ++end;
      const std::wstring_view clsid = TrimView(std::wstring_view(value.data(), end));
      if (!clsid.empty()) {
        FByClass[UpperCaseAscii(clsid)].emplace_back(progId);
        ++FCount;
      }
      break;
    }
  }
}

const std::vector<std::wstring>& TProgIdKeys::Of(std::wstring_view AClassGuid) const {
  static const std::vector<std::wstring> kNone;
  if (FByClass.empty()) return kNone;
  const auto found = FByClass.find(UpperCaseAscii(TrimView(AClassGuid)));
  return found == FByClass.end() ? kNone : found->second;
}

TSearchEntryReader::TSearchEntryReader(TRegView AView, TStringList AEnvironment, TProgIdKeys AProgIds)
    : FReader(AView), FEnvironment(std::move(AEnvironment)), FProgIds(std::move(AProgIds)) {}

void TSearchEntryReader::Add(TSearchIndex& AIndex, TObjectType AType, uint32_t AListIndex, const TObjectData& AEntry) {
  FReader.Read(AType, AEntry.GUID.view(), FValues);
  TSearchExtras extras;
  extras.Environment = &FEnvironment;
  if (AType == TObjectType::otCLSID) extras.ProgIds = &FProgIds.Of(AEntry.GUID.view());
  AIndex.Add(AType, AListIndex, AEntry.Name.view(), AEntry.GUID.view(), FValues, extras);
}

}  // namespace vantrel
