#include "tests/tlbgen/LibraryData.h"

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <iterator>

#include "tests/support/TestSupport.h"

namespace vantrel::test {

std::string ReadLibraryData(const std::wstring& APath) {
  HMODULE module = LoadLibraryExW(APath.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | DONT_RESOLVE_DLL_REFERENCES);
  if (!module) return ReadFileBytes(APath);
  std::string data;
  HRSRC resource = FindResourceW(module, MAKEINTRESOURCEW(1), L"TYPELIB");
  if (resource) {
    const void* bytes = LockResource(LoadResource(module, resource));
    if (bytes) data.assign(static_cast<const char*>(bytes), SizeofResource(module, resource));
  }
  FreeLibrary(module);
  return data;
}

int32_t GetInt(const std::string& AData, size_t APos) {
  int32_t value = 0;
  if (APos + 4 <= AData.size()) std::memcpy(&value, AData.data() + APos, 4);
  return value;
}

void PutInt(std::string& AData, size_t APos, int32_t AValue) {
  if (APos + 4 <= AData.size()) std::memcpy(AData.data() + APos, &AValue, 4);
}

int16_t GetShort(const std::string& AData, size_t APos) {
  int16_t value = 0;
  if (APos + 2 <= AData.size()) std::memcpy(&value, AData.data() + APos, 2);
  return value;
}

void PutShort(std::string& AData, size_t APos, int16_t AValue) {
  if (APos + 2 <= AData.size()) std::memcpy(AData.data() + APos, &AValue, 2);
}

TMsftLayout::TMsftLayout(const std::string& AData) : FData(AData) {
  TypeInfoCount = GetInt(AData, 0x20);
  const int32_t flags = GetInt(AData, 0x14);
  Directory = 0x54 + static_cast<size_t>(std::max(TypeInfoCount, 0)) * 4 + ((flags & 0x100) ? 4 : 0);
}

int32_t TMsftLayout::Offset(int ASegment) const { return GetInt(FData, SegmentEntry(ASegment)); }
int32_t TMsftLayout::Length(int ASegment) const { return GetInt(FData, SegmentEntry(ASegment) + 4); }

std::vector<TMsftLayout::TRecord> TMsftLayout::FunctionRecords(int AIndex) const {
  std::vector<TRecord> records;
  const size_t base = TypeInfoRecord(AIndex);
  const int32_t memOffset = GetInt(FData, base + 4);
  const int32_t funcs = GetInt(FData, base + 0x18) & 0xFFFF;
  size_t pos = static_cast<size_t>(memOffset) + 4;
  for (int32_t i = 0; i < funcs; ++i) {
    const size_t length = static_cast<size_t>(GetInt(FData, pos) & 0xFFFF);
    records.push_back(TRecord{pos, length});
    pos += length;
  }
  return records;
}

namespace {

// A small generator of its own, so that the copies are the same with every compiler.
class TRandom {
 public:
  explicit TRandom(uint32_t ASeed) : FState(ASeed * 2654435761u + 1) {}
  uint32_t Next() {
    FState ^= FState << 13;
    FState ^= FState >> 17;
    FState ^= FState << 5;
    return FState;
  }
  size_t Below(size_t ALimit) { return ALimit ? Next() % ALimit : 0; }

 private:
  uint32_t FState;
};

}  // namespace

std::vector<std::string> DamagedCopies(const std::string& AData, uint32_t ASeed, int ACount) {
  static const int32_t kStretching[] = {-1, 0, 1, 0x7FFFFFFF, INT32_MIN, 0xFFFF, 0x10000, 0x7FFF, 0x8000, -8};
  TRandom random(ASeed);
  std::vector<std::string> copies;
  for (int k = 0; k < ACount; ++k) {
    std::string data = AData;
    switch (k % 4) {
      case 0:
        for (size_t n = 1 + random.Below(8); n > 0; --n) data[random.Below(data.size())] = static_cast<char>(random.Next());
        break;
      case 1:
        for (size_t n = 1 + random.Below(3); n > 0; --n) {
          const size_t pos = random.Below(data.size() - 4) & ~size_t{3};
          PutInt(data, pos, random.Below(10) < 7 ? kStretching[random.Below(10)] : static_cast<int32_t>(random.Next()));
        }
        break;
      case 2:
        data.resize(4 + random.Below(data.size() - 4));
        break;
      default: {
        const size_t end = std::min(TMsftLayout(data).Directory + 15 * 16 + 8, data.size() - 4);
        const size_t pos = (0x14 + random.Below(end - 0x14)) & ~size_t{3};
        PutInt(data, pos, kStretching[random.Below(10)]);
        break;
      }
    }
    copies.push_back(std::move(data));
  }
  return copies;
}

const char* MutationName(TMutation AKind) {
  switch (AKind) {
    case TMutation::FlippedBits: return "flipped bits";
    case TMutation::BoundaryValues: return "boundary values";
    case TMutation::CopiedRun: return "copied run";
    case TMutation::ZeroedRun: return "zeroed run";
    default: return "truncation";
  }
}

std::string MutatedCopy(const std::string& AData, uint32_t ASeed, uint32_t AIndex, TMutation& AKind) {
  static const int32_t kBoundaries[] = {0, 1, -1, 0x7FFFFFFF, INT32_MIN, 0x7FFF, 0x8000, 0xFFFF, 0x10000, 0xFFFFFFF};
  TRandom random(ASeed * 7919u + AIndex);
  std::string data = AData;
  AKind = static_cast<TMutation>(AIndex % 5);
  if (data.size() < 16) return data;
  switch (AKind) {
    case TMutation::FlippedBits:
      for (size_t n = 1 + random.Below(6); n > 0; --n) {
        const size_t pos = random.Below(data.size());
        data[pos] = static_cast<char>(data[pos] ^ (1 << random.Below(8)));
      }
      break;
    case TMutation::BoundaryValues:
      for (size_t n = 1 + random.Below(3); n > 0; --n) {
        PutInt(data, random.Below(data.size() - 4) & ~size_t{3}, kBoundaries[random.Below(std::size(kBoundaries))]);
      }
      break;
    case TMutation::CopiedRun:
    case TMutation::ZeroedRun: {
      const size_t length = std::min<size_t>(4 + random.Below(252), data.size() / 2);
      const size_t to = random.Below(data.size() - length);
      if (AKind == TMutation::ZeroedRun) {
        std::memset(&data[to], 0, length);
      } else {
        const size_t from = random.Below(data.size() - length);
        std::memmove(&data[to], AData.data() + from, length);
      }
      break;
    }
    case TMutation::Truncation: data.resize(random.Below(data.size())); break;
  }
  return data;
}

}  // namespace vantrel::test
