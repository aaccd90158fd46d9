// The Object Pascal import unit of a type library, generated from its type information.
//
// Everything here reads the library only through ITypeLib, ITypeInfo and VariantChangeType, so
// any source that answers those calls can drive it, and it needs no window.
#pragma once

#include <windows.h>
#include <oaidl.h>

#include <cstring>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "catalog/ObjectCatalog.h"

namespace vantrel {

// A growable run of characters with inline appends. The generator appends hundreds of thousands
// of short pieces, and std::wstring appends through out-of-line library code that costs more
// than the copying itself.
class TTextBuffer {
 public:
  TTextBuffer() = default;
  ~TTextBuffer() { delete[] FData; }
  TTextBuffer(const TTextBuffer&) = delete;
  TTextBuffer& operator=(const TTextBuffer&) = delete;
  TTextBuffer(TTextBuffer&& AOther) noexcept
      : FData(std::exchange(AOther.FData, nullptr)),
        FSize(std::exchange(AOther.FSize, 0)),
        FCapacity(std::exchange(AOther.FCapacity, 0)) {}
  TTextBuffer& operator=(TTextBuffer&& AOther) noexcept {
    if (this != &AOther) {
      delete[] FData;
      FData = std::exchange(AOther.FData, nullptr);
      FSize = std::exchange(AOther.FSize, 0);
      FCapacity = std::exchange(AOther.FCapacity, 0);
    }
    return *this;
  }

  size_t size() const { return FSize; }
  size_t capacity() const { return FCapacity; }
  std::wstring_view view() const { return std::wstring_view(FData, FSize); }
  void clear() { FSize = 0; }
  void reserve(size_t ACapacity) {
    if (ACapacity > FCapacity) Reallocate(ACapacity);
  }
  // Only shortens.
  void resize(size_t ASize) {
    if (ASize < FSize) FSize = ASize;
  }
  void append(const wchar_t* AText, size_t ALength) {
    if (ALength == 0) return;
    if (ALength > FCapacity - FSize) Reallocate(Grown(ALength));
    std::memcpy(FData + FSize, AText, ALength * sizeof(wchar_t));
    FSize += ALength;
  }
  TTextBuffer& operator+=(std::wstring_view AText) {
    append(AText.data(), AText.size());
    return *this;
  }
  TTextBuffer& operator+=(wchar_t AChar) {
    if (FSize == FCapacity) Reallocate(Grown(1));
    FData[FSize++] = AChar;
    return *this;
  }

 private:
  size_t Grown(size_t AExtra) const {
    size_t doubled = FCapacity * 2 + 64;
    return doubled > FSize + AExtra ? doubled : FSize + AExtra;
  }
  void Reallocate(size_t ACapacity);

  wchar_t* FData = nullptr;
  size_t FSize = 0;
  size_t FCapacity = 0;
};

// The lines of a generated unit. A large library makes tens of thousands of lines, and a heap
// block per line costs more than reading the type information they come from, so lines are
// packed into blocks of text. The blocks are small enough for the heap to reuse them. An empty
// line is a blank line.
class TLineList {
 public:
  size_t Count() const { return FLines.size(); }
  bool Empty() const { return FLines.empty(); }
  std::wstring_view operator[](size_t AIndex) const {
    const TLine& line = FLines[AIndex];
    return FBlocks[line.Block].view().substr(line.Start, line.Length);
  }

  void Add(std::wstring_view ALine) {
    Open() += ALine;
    Close();
  }
  // Building a line in place: append its text to Open(), then Close() it. Nothing else may be
  // added while a line is open.
  TTextBuffer& Open();
  void Close() { FLines.push_back(TLine{FBlocks.size() - 1, FOpenStart, FBlocks.back().size() - FOpenStart}); }
  // Appends copies of lines AFirst to ALast - 1 of this list.
  void AddCopies(size_t AFirst, size_t ALast);

  void Reserve(size_t ALines) { FLines.reserve(ALines); }
  void Clear();

  // All lines, each followed by ASeparator.
  std::wstring Text(std::wstring_view ASeparator) const;
  TStringList ToStringList() const;

 private:
  struct TLine {
    size_t Block;
    size_t Start;
    size_t Length;
  };
  std::vector<TTextBuffer> FBlocks;
  std::vector<TLine> FLines;
  size_t FOpenStart = 0;
  std::wstring FCopy;
};

// Appends the whole unit to ALines and sets AUnitName to the library's name. The header shows
// Server, TypeLib and the version of AData as they are. A type description that cannot be read
// leaves the system's message for it as a line; other errors are raised.
void GenerateImportUnit(const TObjectData& AData, ITypeLib* ALib, TLineList& ALines, std::wstring& AUnitName);

// Appends the declaration block of one type description (nothing for a module).
void RenderTypeDeclaration(const std::wstring& AName, const std::wstring& ADocString, ITypeInfo* ATypeInfo,
                           TLineList& ALines, const TYPEATTR& ATypeAttr);

// "Flags: (n) word,word" for interfaces, dispatch interfaces and component classes.
std::wstring RenderTypeFlags(WORD AFlags);

// Appends one entry per variable and (for interfaces, dispatch interfaces and component classes)
// per function, each after its doc comment when it has one.
void RenderTypeMembers(ITypeInfo* ATypeInfo, const TYPEATTR& ATypeAttr, TLineList& AMembers);

// A field, property or constant: "Name: Type;" or "Name = Value;".
std::wstring RenderVariable(const VARDESC& AVarDesc, ITypeInfo* ATypeInfo);

// Parameter list, result type, ";" and, for a dispatch member, " dispid n".
std::wstring RenderFunctionSignature(const FUNCDESC& AFuncDesc, ITypeInfo* ATypeInfo);

// The flag words of a parameter and its default value.
std::wstring RenderParamFlags(const PARAMDESC& AParamDesc);

// The Object Pascal name of a type description.
std::wstring TypeDescToName(const TYPEDESC& ATypeDesc, ITypeInfo* ATypeInfo);

// The plain name of the type a reference handle of ATypeInfo points to, whole.
std::wstring UserTypeName(HREFTYPE ARefType, ITypeInfo* ATypeInfo);

// A name as the unit shows it, on one line: each CR or LF in it becomes a blank.
std::wstring NameOnOneLine(std::wstring_view AName);

// The line written for a type description that cannot be read: the system's text for the code,
// or the code itself when the system has no text for it.
std::wstring SystemMessageLine(HRESULT ACode);

}  // namespace vantrel
