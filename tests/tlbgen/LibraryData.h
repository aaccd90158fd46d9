// The bytes of type libraries for the loader tests: reading them, finding their parts, and making
// damaged copies.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vantrel::test {

// The MSFT data of a library: the TYPELIB resource of a program or DLL, or the file itself.
std::string ReadLibraryData(const std::wstring& APath);

int32_t GetInt(const std::string& AData, size_t APos);
void PutInt(std::string& AData, size_t APos, int32_t AValue);
int16_t GetShort(const std::string& AData, size_t APos);
void PutShort(std::string& AData, size_t APos, int16_t AValue);

// Where the parts of MSFT data lie, read the plain way for placing damage in a test.
struct TMsftLayout {
  enum TSegmentIndex { TypeInfo, ImpInfo, ImpFiles, RefTab, GuidHash, Guid, NameHash, Name, String, TypeDesc,
                       ArrayDesc, CustData, CDGuids };
  explicit TMsftLayout(const std::string& AData);
  int32_t TypeInfoCount = 0;
  size_t Directory = 0;  // position of the segment directory
  size_t SegmentEntry(int ASegment) const { return Directory + static_cast<size_t>(ASegment) * 16; }
  int32_t Offset(int ASegment) const;
  int32_t Length(int ASegment) const;
  size_t TypeInfoRecord(int AIndex) const { return static_cast<size_t>(Offset(TypeInfo) + AIndex * 0x64); }

  // The function records of a type description: position and length of each.
  struct TRecord {
    size_t Pos;
    size_t Length;
  };
  std::vector<TRecord> FunctionRecords(int AIndex) const;

 private:
  const std::string& FData;
};

// Damaged copies made the same way on every run: bytes changed at random, whole numbers set to
// values that stretch the format, truncations, and damage to the header and segment directory.
std::vector<std::string> DamagedCopies(const std::string& AData, uint32_t ASeed, int ACount);

// The ways MutatedCopy damages data.
enum class TMutation { FlippedBits, BoundaryValues, CopiedRun, ZeroedRun, Truncation };
const char* MutationName(TMutation AKind);

// Copy number AIndex of a repeatable series of damaged copies: the kind goes round the mutations,
// and the places and values come from the seed and the index.
std::string MutatedCopy(const std::string& AData, uint32_t ASeed, uint32_t AIndex, TMutation& AKind);

}  // namespace vantrel::test
