#include "tlbviewer/TypeLibLoader.h"

#include <cstring>
#include <cwchar>

#include "catalog/DetailReaders.h"
#include "catalog/ServerPaths.h"
#include "catalog/Zarvek_RegUtils.h"
#include "base/Zarvek_StrUtils.h"
#include "base/Zarvek_SysUtils.h"

namespace vantrel {

namespace {

int HexDigit(wchar_t C) {
  if (C >= L'0' && C <= L'9') return C - L'0';
  if (C >= L'a' && C <= L'f') return C - L'a' + 10;
  if (C >= L'A' && C <= L'F') return C - L'A' + 10;
  return -1;
}

// Reads ADigits hexadecimal digits at APos.
bool ReadHex(std::wstring_view AText, size_t APos, size_t ADigits, uint32_t& AValue) {
  AValue = 0;
  for (size_t i = 0; i < ADigits; ++i) {
    int digit = HexDigit(AText[APos + i]);
    if (digit < 0) return false;
    AValue = (AValue << 4) | static_cast<uint32_t>(digit);
  }
  return true;
}

}  // namespace

bool TryStringToGUID(std::wstring_view AText, GUID& AGuid) {
  // {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}
  if (AText.size() != 38 || AText[0] != L'{' || AText[37] != L'}' || AText[9] != L'-' || AText[14] != L'-' ||
      AText[19] != L'-' || AText[24] != L'-') {
    return false;
  }
  uint32_t value = 0;
  GUID guid = {};
  if (!ReadHex(AText, 1, 8, value)) return false;
  guid.Data1 = value;
  if (!ReadHex(AText, 10, 4, value)) return false;
  guid.Data2 = static_cast<WORD>(value);
  if (!ReadHex(AText, 15, 4, value)) return false;
  guid.Data3 = static_cast<WORD>(value);
  static const size_t kBytePositions[8] = {20, 22, 25, 27, 29, 31, 33, 35};
  for (size_t i = 0; i < 8; ++i) {
    if (!ReadHex(AText, kBytePositions[i], 2, value)) return false;
    guid.Data4[i] = static_cast<BYTE>(value);
  }
  AGuid = guid;
  return true;
}

GUID StringToGUID(std::wstring_view AText) {
  GUID guid;
  if (!TryStringToGUID(AText, guid)) throw EConvertError(FormatS(L"'%s' is not a valid GUID value", {AText}));
  return guid;
}

namespace {

// The MSFT format of type libraries, as the platform's loader reads it.
constexpr uint32_t kMsftSignature = 0x5446534D;  // "MSFT"
constexpr int64_t kHeaderSize = 0x54;
constexpr int32_t kHelpDllFlag = 0x100;
constexpr int kSegmentCount = 15;
constexpr int64_t kSegmentSize = 16;
constexpr int64_t kTypeInfoSize = 0x64;
constexpr int64_t kFuncRecordHead = 24;  // up to the argument counts
constexpr int64_t kVarRecordHead = 20;   // up to the value
constexpr int64_t kParamSize = 12;
constexpr int64_t kCustDataEntrySize = 12;
constexpr int32_t kDefaultsFlag = 0x1000;
constexpr int32_t kCustDataFlag = 0x80;
// A packed VT_NULL: what a repair puts in place of a value the platform cannot copy.
constexpr uint32_t kPackedNull = 0x84000000;

enum TSegment { sgTypeInfo, sgImpInfo, sgImpFiles, sgRefTab, sgGuidHash, sgGuid, sgNameHash, sgName, sgString,
                sgTypeDesc, sgArrayDesc, sgCustData, sgCDGuids };

// Walks the data as the loader does, and notes where the loader would go astray.
class TMsftWalk {
 public:
  TMsftWalk(const BYTE* AData, size_t ASize) : FData(AData), FSize(static_cast<int64_t>(ASize)) {}

  TLibraryCheck Run() {
    bool sound = Header() && Strings() && TypeDescriptions() && CustomData(FCustomDataOffset);
    for (int32_t i = 0; sound && i < FTypeInfoCount; ++i) sound = TypeInfo(i);
    // Every step that stops names its reason; one that does not is a fault of this walk.
    if (!sound && FResult.Verdict != TLibraryVerdict::Unsafe) Fail("data the check cannot follow");
    if (FResult.Verdict != TLibraryVerdict::Unsafe && !FResult.UnreadableValues.empty()) {
      FResult.Verdict = TLibraryVerdict::Repairable;
    }
    return FResult;
  }

 private:
  struct TSeg {
    int64_t Offset = -1;
    int64_t Length = 0;
  };

  bool Int(int64_t APos, int32_t& AValue) const {
    if (APos < 0 || APos + 4 > FSize) return false;
    std::memcpy(&AValue, FData + APos, 4);
    return true;
  }
  bool Short(int64_t APos, int16_t& AValue) const {
    if (APos < 0 || APos + 2 > FSize) return false;
    std::memcpy(&AValue, FData + APos, 2);
    return true;
  }
  // The loader stops the process when it is sent beyond the end of the data.
  bool Seekable(int64_t APos) const { return APos >= 0 && APos <= FSize; }
  bool Fail(const char* AProblem) {
    FResult.Verdict = TLibraryVerdict::Unsafe;
    FResult.Problem = AProblem;
    return false;
  }
  // Reads an int the loader reads, failing when it is not wholly inside the data.
  bool Need(int64_t APos, int32_t& AValue, const char* AProblem) { return Int(APos, AValue) || Fail(AProblem); }

  bool Header() {
    int32_t count = 0, varFlags = 0;
    if (FSize < kHeaderSize) return Fail("shorter than its header");
    Int(0x20, count);
    Int(0x14, varFlags);
    Int(0x40, FCustomDataOffset);
    if (count < 0 || count > FSize / kTypeInfoSize) return Fail("impossible number of type descriptions");
    FTypeInfoCount = count;
    const int64_t directory = kHeaderSize + int64_t{count} * 4 + ((varFlags & kHelpDllFlag) ? 4 : 0);
    if (directory + kSegmentCount * kSegmentSize > FSize) return Fail("segment directory outside the data");
    for (int i = 0; i <= sgCDGuids; ++i) {
      int32_t offset = 0, length = 0;
      Int(directory + i * kSegmentSize, offset);
      Int(directory + i * kSegmentSize + 4, length);
      FSeg[i].Offset = offset;
      FSeg[i].Length = length < 0 ? 0 : length;
    }
    int32_t marker1 = 0, marker2 = 0;
    Int(directory + 12, marker1);
    Int(directory + kSegmentSize + 12, marker2);
    // The loader turns such data away by itself.
    if (marker1 != 0x0F || marker2 != 0x0F) {
      FTypeInfoCount = 0;
      FLoaderRefuses = true;
      return true;
    }
    // Read through their whole length from their offset; for all but the type table, an offset
    // past the end stops the loader even when the table is empty.
    for (TSegment seg : {sgImpInfo, sgGuid, sgName, sgString, sgTypeDesc}) {
      const TSeg& table = FSeg[seg];
      if (seg != sgTypeDesc && table.Offset > FSize) return Fail("table outside the data");
      if (table.Length > 0 && (table.Offset < 0 || table.Offset + table.Length > FSize)) {
        return Fail("table runs past the end of the data");
      }
    }
    if (FSeg[sgImpFiles].Offset > 0 && FSeg[sgImpFiles].Offset + FSeg[sgImpFiles].Length > FSize) {
      return Fail("import table outside the data");
    }
    if (FTypeInfoCount > 0 &&
        (FSeg[sgTypeInfo].Offset < 0 || FSeg[sgTypeInfo].Offset + FTypeInfoCount * kTypeInfoSize > FSize)) {
      return Fail("type description records outside the data");
    }
    return true;
  }

  // The loader writes a string's end marker at its stored length, inside a block sized from
  // that length with 16-bit arithmetic.
  bool Strings() {
    if (FLoaderRefuses) return true;
    const TSeg& seg = FSeg[sgString];
    for (int64_t offs = 0; offs < seg.Length;) {
      int16_t length = 0;
      if (!Short(seg.Offset + offs, length)) return Fail("string table outside the data");
      int16_t piece = static_cast<int16_t>(length + 2);
      if (piece % 4) piece = static_cast<int16_t>((piece + 4) & ~0x3);
      if (piece < 8) piece = 8;
      if (length < 0 || length > piece) return Fail("string of impossible length");
      offs += piece;
    }
    return true;
  }

  // The table of type descriptions: every operand must lead to an entry of the table (or of the
  // loader's own basic types) and no chain of operands may come back to where it started.
  bool TypeDescriptions() {
    if (FLoaderRefuses || FSeg[sgTypeDesc].Length <= 0) return true;
    FTypeDescCount = FSeg[sgTypeDesc].Length / 8;
    const size_t count = static_cast<size_t>(FTypeDescCount);
    std::vector<int16_t> codes(count);
    std::vector<int64_t> next(count, -1);
    for (size_t i = 0; i < count; ++i) {
      int16_t td[4] = {};
      const int64_t pos = FSeg[sgTypeDesc].Offset + static_cast<int64_t>(i) * 8;
      for (int k = 0; k < 4; ++k) Short(pos + k * 2, td[k]);
      codes[i] = td[0];
      if (td[0] == VT_PTR || td[0] == VT_SAFEARRAY) {
        if (td[3] < 0) {
          if (td[2] < 0 || td[2] > VT_LPWSTR || IsOperandType(td[2])) return Fail("pointer to an unknown type");
        } else {
          if (td[2] < 0 || td[2] / 8 >= FTypeDescCount) return Fail("pointer outside the type table");
          next[i] = td[2] / 8;
        }
      } else if (IsOperandType(td[0] & VT_TYPEMASK) && (td[0] & VT_TYPEMASK) != VT_CARRAY) {
        return Fail("pointer without its operand");
      }
    }
    // Arrays get their shapes in a second pass, in table order.
    for (size_t i = 0; i < count; ++i) {
      if ((codes[i] & VT_TYPEMASK) != VT_CARRAY) continue;
      int16_t td[4] = {};
      const int64_t pos = FSeg[sgTypeDesc].Offset + static_cast<int64_t>(i) * 8;
      for (int k = 0; k < 4; ++k) Short(pos + k * 2, td[k]);
      // Only an exact VT_CARRAY entry carries its description's offset; others read offset 0.
      const int64_t offset = codes[i] == VT_CARRAY ? td[2] : 0;
      if (FSeg[sgArrayDesc].Offset <= 0) return Fail("array without its description");
      const int64_t at = FSeg[sgArrayDesc].Offset + offset;
      int16_t ad[4] = {};
      if (!Seekable(at) || at + 8 > FSize) return Fail("array description outside the data");
      for (int k = 0; k < 4; ++k) Short(at + k * 2, ad[k]);
      if (ad[2] < 0 || ad[3] < 0 || ad[2] > ad[3]) return Fail("array with an impossible shape");
      if (ad[1] < 0) {
        if (IsOperandType(ad[0] & VT_TYPEMASK)) return Fail("array of an incomplete type");
        continue;
      }
      const int64_t element = ad[0] / 8;
      if (ad[0] < 0 || element >= FTypeDescCount) return Fail("array element outside the type table");
      // The element is copied as it is at that moment: a later array is not converted yet.
      if (static_cast<size_t>(element) > i && (codes[static_cast<size_t>(element)] & VT_TYPEMASK) == VT_CARRAY) {
        return Fail("array of an array not yet read");
      }
      next[i] = element;
    }
    // Each entry has at most one operand: following it from every entry must end.
    std::vector<char> state(count, 0);  // 0 unseen, 1 on the current path, 2 known to end
    for (size_t start = 0; start < count; ++start) {
      size_t at = start;
      while (state[at] == 0) {
        state[at] = 1;
        if (next[at] < 0) break;
        at = static_cast<size_t>(next[at]);
      }
      if (state[at] == 1 && next[at] >= 0) return Fail("type descriptions refer to themselves");
      for (at = start; state[at] == 1;) {
        state[at] = 2;
        if (next[at] < 0) break;
        at = static_cast<size_t>(next[at]);
      }
    }
    return true;
  }

  static bool IsOperandType(int AType) { return AType == VT_PTR || AType == VT_SAFEARRAY || AType == VT_CARRAY; }

  // A type reference of a member, parameter or alias.
  bool TypeRef(int32_t AType) {
    if (AType < 0) return !IsOperandType(AType & VT_TYPEMASK) || Fail("pointer without its operand");
    return AType / 8 < FTypeDescCount || Fail("type reference outside the type table");
  }

  bool TypeInfo(int32_t AIndex) {
    const int64_t base = FSeg[sgTypeInfo].Offset + AIndex * kTypeInfoSize;
    int32_t kind = 0, memOffset = 0, elements = 0, nameOffset = 0, custData = 0, implTypes = 0, datatype1 = 0;
    Int(base, kind);
    Int(base + 0x04, memOffset);
    Int(base + 0x18, elements);
    Int(base + 0x34, nameOffset);
    Int(base + 0x48, custData);
    Int(base + 0x4C, implTypes);
    Int(base + 0x54, datatype1);
    kind &= 0xF;
    const int32_t funcs = elements & 0xFFFF;
    const int32_t vars = (elements >> 16) & 0xFFFF;
    const int32_t implCount = implTypes & 0xFFFF;
    if (kind == TKIND_ALIAS && !TypeRef(datatype1)) return false;
    if (nameOffset >= 0 && !Seekable(FSeg[sgName].Offset + nameOffset)) return Fail("name outside the data");
    if (funcs > 0 && !Functions(memOffset, funcs, vars)) return false;
    if (vars > 0 && !Variables(memOffset, funcs, vars)) return false;
    if (implCount > 0 && kind == TKIND_COCLASS && !ImplTypes(implCount, datatype1)) return false;
    // Other kinds get room for one implemented type, while the count says how many there are.
    if (implCount > 1 && kind != TKIND_COCLASS && !(kind == TKIND_DISPATCH && datatype1 == -1)) {
      return Fail("more implemented types than the kind can have");
    }
    return CustomData(custData);
  }

  bool Functions(int64_t AMem, int32_t AFuncs, int32_t AVars) {
    int32_t infoLength = 0;
    if (!Seekable(AMem)) return Fail("member data outside the data");
    if (!Need(AMem, infoLength, "member data outside the data")) return false;
    int64_t record = AMem + 4;
    for (int32_t i = 0; i < AFuncs; ++i) {
      int32_t value = 0;
      if (!Need(AMem + infoLength + int64_t{AFuncs + AVars + i + 1} * 4, value, "member name outside the data") ||
          !Need(AMem + infoLength + int64_t{i + 1} * 4, value, "member id outside the data")) {
        return false;
      }
      int32_t info = 0;
      if (!Need(record, info, "function record outside the data")) return false;
      const int64_t length = info & 0xFFFF;
      if (length < kFuncRecordHead || record + length > FSize) return Fail("function record of impossible length");
      int32_t dataType = 0, flags = 0;
      int16_t argCount = 0;
      Int(record + 4, dataType);
      Int(record + 16, flags);
      Short(record + 20, argCount);
      if (argCount < 0) return Fail("negative number of parameters");
      const bool defaults = (flags & kDefaultsFlag) != 0;
      const int64_t tail = argCount * kParamSize + (defaults ? argCount * 4 : 0);
      if (kFuncRecordHead + tail > length) return Fail("parameters outside their function record");
      const int64_t optional = length - tail;
      const bool custData = (flags & kCustDataFlag) != 0;
      if (!TypeRef(dataType)) return false;
      if (optional > 48 && custData) {
        int32_t offset = 0;
        Int(record + 48, offset);
        if (!CustomData(offset)) return false;
      }
      for (int16_t j = 0; j < argCount; ++j) {
        const int64_t param = record + length - (argCount - j) * kParamSize;
        int32_t paramType = 0, paramFlags = 0;
        Int(param, paramType);
        Int(param + 8, paramFlags);
        if (!TypeRef(paramType)) return false;
        // The loader gives such a parameter no default record, and copying it then reads through
        // the missing record.
        if ((paramFlags & PARAMFLAG_FHASDEFAULT) && !defaults) return Fail("default value flag without a value");
        if ((paramFlags & PARAMFLAG_FHASDEFAULT) && defaults) {
          const int64_t reference = record + length - argCount * int64_t{16} + j * 4;
          int32_t offset = 0;
          Int(reference, offset);
          if (!Value(reference, offset)) return false;
        }
        if (optional > 52 + j * 4 && custData) {
          int32_t offset = 0;
          Int(record + 52 + j * 4, offset);
          if (!CustomData(offset)) return false;
        }
      }
      record += length;
    }
    return true;
  }

  bool Variables(int64_t AMem, int32_t AFuncs, int32_t AVars) {
    int32_t infoLength = 0, first = 0;
    if (!Seekable(AMem)) return Fail("member data outside the data");
    if (!Need(AMem, infoLength, "member data outside the data") ||
        !Need(AMem + infoLength + (int64_t{AFuncs + AVars} * 2 + AFuncs + 1) * 4, first,
              "variable records outside the data")) {
      return false;
    }
    int64_t record = int64_t{first} + AMem + 4;
    for (int32_t i = 0; i < AVars; ++i) {
      int32_t value = 0;
      if (!Need(AMem + infoLength + int64_t{2 * AFuncs + AVars + i + 1} * 4, value, "member name outside the data") ||
          !Need(AMem + infoLength + int64_t{AFuncs + i + 1} * 4, value, "member id outside the data")) {
        return false;
      }
      int32_t info = 0;
      if (!Need(record, info, "variable record outside the data")) return false;
      const int64_t length = info & 0xFF;
      if (length < kVarRecordHead || record + length > FSize) return Fail("variable record of impossible length");
      int32_t dataType = 0, offset = 0;
      int16_t varKind = 0;
      Int(record + 4, dataType);
      Short(record + 12, varKind);
      Int(record + 16, offset);
      if (!TypeRef(dataType)) return false;
      if (varKind == VAR_CONST && !Value(record + 16, offset)) return false;
      if (length > 32) {
        int32_t custData = 0;
        Int(record + 32, custData);
        if (!CustomData(custData)) return false;
      }
      record += length;
    }
    return true;
  }

  bool ImplTypes(int32_t ACount, int32_t AOffset) {
    for (int32_t i = 0; i < ACount && AOffset >= 0; ++i) {
      const int64_t at = FSeg[sgRefTab].Offset + AOffset;
      int32_t custData = 0;
      if (!Seekable(at)) return Fail("implemented type outside the data");
      if (!Need(at + 12, AOffset, "implemented type outside the data")) return false;
      Int(at + 8, custData);
      if (!CustomData(custData)) return false;
    }
    return true;
  }

  // A chain of custom data entries: it must stay inside the data and end.
  bool CustomData(int32_t AOffset) {
    if (FLoaderRefuses || FSeg[sgCDGuids].Offset < 0) return true;
    const int64_t limit = FSeg[sgCDGuids].Length / kCustDataEntrySize + 1;
    for (int64_t count = 0; AOffset >= 0; ++count) {
      if (count > limit) return Fail("custom data that never ends");
      const int64_t at = FSeg[sgCDGuids].Offset + AOffset;
      int32_t data = 0;
      if (!Seekable(at) || at + kCustDataEntrySize > FSize) return Fail("custom data outside the data");
      Int(at + 4, data);
      if (!Value(at + 4, data)) return false;
      Int(at + 8, AOffset);
    }
    return true;
  }

  // A VARIANT as the loader reads it: packed into the reference itself when negative, else from
  // the data table. Whether the platform can copy and free it decides between sound and
  // repairable; a string that does not fit the data is unsafe.
  bool Value(int64_t AReference, int32_t AOffset) {
    if (AOffset < 0) {
      const int vt = static_cast<int>((static_cast<uint32_t>(AOffset) & 0x7C000000) >> 26);
      const bool pointer = vt == VT_BSTR || vt == VT_DISPATCH || vt == VT_UNKNOWN;
      if (!Copyable(vt) || (pointer && (AOffset & 0x3FFFFFF) != 0)) Unreadable(AReference);
      return true;
    }
    const int64_t at = FSeg[sgCustData].Offset + AOffset;
    int16_t vt = 0;
    if (!Seekable(at) || !Short(at, vt)) return Fail("value outside the data");
    if (vt == VT_BSTR) {
      int32_t length = 0;
      if (!Need(at + 2, length, "string value outside the data")) return false;
      if (length != -1 && (length < 0 || at + 6 + length > FSize)) return Fail("string value longer than the data");
      return true;
    }
    if (!Copyable(static_cast<uint16_t>(vt))) Unreadable(AReference);
    return true;
  }

  // The types a VARIANT may hold without a pointer the loader never sets.
  static bool Copyable(unsigned AType) { return AType <= VT_UINT && AType != 15; }
  void Unreadable(int64_t AReference) { FResult.UnreadableValues.push_back(static_cast<size_t>(AReference)); }

  const BYTE* FData;
  int64_t FSize;
  int32_t FTypeInfoCount = 0;
  int32_t FCustomDataOffset = -1;
  int64_t FTypeDescCount = 0;
  bool FLoaderRefuses = false;
  TSeg FSeg[sgCDGuids + 1];
  TLibraryCheck FResult;
};

}  // namespace

TLibraryCheck CheckTypeLibraryData(const void* AData, size_t ASize) {
  uint32_t signature = 0;
  if (!AData || ASize < 4) return TLibraryCheck();
  std::memcpy(&signature, AData, 4);
  // Other formats (SLTG, or no library at all) are left to the loader.
  if (signature != kMsftSignature) return TLibraryCheck();
  return TMsftWalk(static_cast<const BYTE*>(AData), ASize).Run();
}

std::string RepairTypeLibraryData(const void* AData, size_t ASize, const TLibraryCheck& ACheck) {
  std::string data(static_cast<const char*>(AData), ASize);
  for (size_t at : ACheck.UnreadableValues) {
    if (at + 4 <= data.size()) std::memcpy(data.data() + at, &kPackedNull, 4);
  }
  return data;
}

namespace {

// The data the platform's loader reads for a path, held open as long as the object lives: the
// TYPELIB resource of a program or DLL, else the whole file. A path ending in "\N" (digits only)
// names resource N of the file before it, as the loader reads such paths.
class TLibraryImage {
 public:
  explicit TLibraryImage(const std::wstring& APath) {
    std::wstring file = APath;
    int index = 1;
    size_t slash = APath.rfind(L'\\');
    if (slash != std::wstring::npos && slash + 1 < APath.size()) {
      std::wstring_view tail = std::wstring_view(APath).substr(slash + 1);
      bool digits = tail.size() <= 9;
      for (wchar_t c : tail) digits = digits && c >= L'0' && c <= L'9';
      if (digits) {
        index = static_cast<int>(std::wcstol(std::wstring(tail).c_str(), nullptr, 10));
        file = APath.substr(0, slash);
      }
    }
    FModule = LoadLibraryExW(file.c_str(), nullptr,
                             DONT_RESOLVE_DLL_REFERENCES | LOAD_LIBRARY_AS_DATAFILE | LOAD_WITH_ALTERED_SEARCH_PATH);
    if (FModule) {
      HRSRC resource = FindResourceW(FModule, MAKEINTRESOURCEW(index), L"TYPELIB");
      HGLOBAL loaded = resource ? LoadResource(FModule, resource) : nullptr;
      FData = loaded ? static_cast<const BYTE*>(LockResource(loaded)) : nullptr;
      FSize = FData ? SizeofResource(FModule, resource) : 0;
      return;
    }
    FFile.reset(CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!FFile) return;
    LARGE_INTEGER size = {};
    if (!GetFileSizeEx(FFile.get(), &size) || size.QuadPart == 0 || size.QuadPart > 0x7FFFFFFF) return;
    FMapping.reset(CreateFileMappingW(FFile.get(), nullptr, PAGE_READONLY, 0, 0, nullptr));
    if (!FMapping) return;
    FView = MapViewOfFile(FMapping.get(), FILE_MAP_READ, 0, 0, 0);
    FData = static_cast<const BYTE*>(FView);
    FSize = FData ? static_cast<size_t>(size.QuadPart) : 0;
  }
  ~TLibraryImage() {
    if (FView) UnmapViewOfFile(FView);
    if (FModule) FreeLibrary(FModule);
  }
  TLibraryImage(const TLibraryImage&) = delete;
  TLibraryImage& operator=(const TLibraryImage&) = delete;

  const BYTE* Data() const { return FData; }
  size_t Size() const { return FSize; }

 private:
  HMODULE FModule = nullptr;
  THandle FFile;
  THandle FMapping;
  void* FView = nullptr;
  const BYTE* FData = nullptr;
  size_t FSize = 0;
};

// True for a path through Sysnative, which a 32-bit process uses to reach the 64-bit system
// folder: Wine's loader turns it back into System32 and so misses the file.
bool IsSysnativePath(const std::wstring& APath) {
  const std::wstring folder = WindowsDirectoryPath() + L"Sysnative\\";
  return APath.size() > folder.size() && SameTextAscii(std::wstring_view(APath).substr(0, folder.size()), folder);
}

// Loads data that has been checked: a sound library from its path, an unsafe one not at all, and a
// repairable one (or one the platform's loader cannot reach by its path) from a copy in a
// temporary file.
HRESULT LoadCheckedLibrary(const std::wstring& APath, TComPtr<ITypeLib>& ALib) {
  ALib.reset();
  std::wstring loadPath = APath;
  // The loader reads the whole file at once and keeps nothing of it open: the copy goes at the end.
  TTempFile copyFile;
  {
    TLibraryImage image(APath);
    if (image.Data()) {
      TLibraryCheck check = CheckTypeLibraryData(image.Data(), image.Size());
      if (check.Verdict == TLibraryVerdict::Unsafe) return TYPE_E_CANTLOADLIBRARY;
      const bool repair = check.Verdict == TLibraryVerdict::Repairable;
      if (repair || IsSysnativePath(APath)) {
        wchar_t folder[MAX_PATH + 1];
        DWORD length = GetTempPathW(MAX_PATH + 1, folder);
        GUID id;
        if (length == 0 || length > MAX_PATH || FAILED(CoCreateGuid(&id))) return TYPE_E_CANTLOADLIBRARY;
        wchar_t name[40];
        StringFromGUID2(id, name, 40);
        copyFile.reset(std::wstring(folder, length) + L"vantrel-" + name + L".tlb");
        try {
          WriteFileBytes(copyFile.Path(),
                         repair ? RepairTypeLibraryData(image.Data(), image.Size(), check)
                                : std::string(reinterpret_cast<const char*>(image.Data()), image.Size()));
        } catch (const EFileError&) {
          return TYPE_E_CANTLOADLIBRARY;
        }
        loadPath = copyFile.Path();
      }
    }
  }
  ITypeLib* lib = nullptr;
  // LoadTypeLib would register a library given by a relative path; the program only reads.
  HRESULT hr = LoadTypeLibEx(loadPath.c_str(), REGKIND_NONE, &lib);
  if (SUCCEEDED(hr) && !lib) hr = E_POINTER;
  if (SUCCEEDED(hr)) ALib.reset(lib);
  return hr;
}

// LoadRegTypeLib, with the registered file checked like any other.
HRESULT LoadRegisteredLibrary(const GUID& AGuid, WORD AMajor, WORD AMinor, TComPtr<ITypeLib>& ALib) {
  ALib.reset();
  TBstr path;
  if (SUCCEEDED(QueryPathOfRegTypeLib(AGuid, AMajor, AMinor, kTypeLibLocale, path.put())) && path.get()) {
    const std::wstring file = path.str();
    TLibraryImage image(file);
    const TLibraryVerdict verdict =
        image.Data() ? CheckTypeLibraryData(image.Data(), image.Size()).Verdict : TLibraryVerdict::Sound;
    if (verdict == TLibraryVerdict::Unsafe) return TYPE_E_CANTLOADLIBRARY;
    if (verdict == TLibraryVerdict::Repairable) {
      HRESULT hr = LoadCheckedLibrary(file, ALib);
      if (FAILED(hr)) return hr;
      // The version rule of LoadRegTypeLib: the same major version, at least the minor one.
      TLIBATTR* attr = nullptr;
      if (SUCCEEDED(ALib->GetLibAttr(&attr)) && attr) {
        const bool mismatch = attr->wMajorVerNum != AMajor || attr->wMinorVerNum < AMinor;
        ALib->ReleaseTLibAttr(attr);
        if (mismatch) {
          ALib.reset();
          return TYPE_E_LIBNOTREGISTERED;
        }
      }
      return hr;
    }
  }
  ITypeLib* lib = nullptr;
  HRESULT hr = LoadRegTypeLib(AGuid, AMajor, AMinor, kTypeLibLocale, &lib);
  if (SUCCEEDED(hr) && !lib) hr = E_POINTER;
  if (SUCCEEDED(hr)) ALib.reset(lib);
  return hr;
}

}  // namespace

HRESULT LoadTypeLibraryFile(const std::wstring& APath, TComPtr<ITypeLib>& ALib) {
  return LoadCheckedLibrary(APath, ALib);
}

std::wstring RegisteredLibraryPath(std::wstring_view AGuid, WORD AMajor, WORD AMinor, TRegView AView) {
  const std::wstring key = L"TypeLib\\" + std::wstring(AGuid);
  TStringList versions;
  ListSubkeys(HKEY_CLASSES_ROOT, key, versions, AView);
  const std::wstring* best = nullptr;
  unsigned bestMinor = 0;
  for (const std::wstring& version : versions) {
    unsigned major = 0, minor = 0;
    wchar_t rest = 0;
    if (swscanf(version.c_str(), L"%x.%x%lc", &major, &minor, &rest) != 2 || major != AMajor || minor < AMinor) {
      continue;
    }
    if (minor == AMinor) {
      best = &version;
      break;
    }
    if (!best || minor > bestMinor) {
      best = &version;
      bestMinor = minor;
    }
  }
  return best ? RegisteredTypeLibFile(key + L"\\" + *best, AView) : std::wstring();
}

HRESULT LoadTypeLibraryFor(const TObjectData& AData, TComPtr<ITypeLib>& ALib, TRegView AView) {
  ALib.reset();
  HRESULT hr = E_NOTIMPL;
  if (!IsBlankText(AData.TypeLib)) {
    GUID guid = StringToGUID(AData.TypeLib);
    const WORD major = static_cast<WORD>(AData.MajorVersion & 0xFFFF);
    const WORD minor = static_cast<WORD>(AData.MinorVersion & 0xFFFF);
    if (AView == ProcessRegView()) {
      hr = LoadRegisteredLibrary(guid, major, minor, ALib);
    } else {
      // The platform's loader reads the registration of the process's own platform only.
      const std::wstring path = RegisteredLibraryPath(Trim(AData.TypeLib), major, minor, AView);
      hr = path.empty() ? TYPE_E_LIBNOTREGISTERED : LoadTypeLibraryFile(ViewFilePath(path, AView), ALib);
    }
  }
  if (FAILED(hr)) {
    const std::wstring file = ViewFilePath(SplitServerCommand(AData.Server, AView).Path, AView);
    if (FileExists(file)) hr = LoadTypeLibraryFile(file, ALib);
  }
  return hr;
}

std::wstring LoadErrorText(HRESULT ACode) { return OleErrorText(ACode); }

TLibraryCheck CheckTypeLibraryFile(const std::wstring& APath) {
  TLibraryImage image(APath);
  if (!image.Data()) return TLibraryCheck();
  return CheckTypeLibraryData(image.Data(), image.Size());
}

}  // namespace vantrel
