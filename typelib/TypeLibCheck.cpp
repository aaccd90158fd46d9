#include "typelib/TypeLibCheck.h"

#include <windows.h>

#include <cstdint>
#include <cstring>

namespace vantrel {

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

}  // namespace vantrel
