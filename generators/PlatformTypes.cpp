#include "generators/PlatformTypes.h"

#include <array>

namespace vantrel {

namespace {

using namespace std::string_view_literals;

constexpr TPlatformType kPlatformTypes[] = {
    // Type, Pascal, IDL, declared in IDL files, size, align, automatable, managed, interface, Pascal in a variant record
    {VT_I2, L"SmallInt"sv, L"short"sv, false, 2, 2, true, false, false, {}},
    {VT_I4, L"Integer"sv, L"long"sv, false, 4, 4, true, false, false, {}},
    {VT_R4, L"Single"sv, L"float"sv, false, 4, 4, true, false, false, {}},
    {VT_R8, L"Double"sv, L"double"sv, false, 8, 8, true, false, false, {}},
    {VT_CY, L"Currency"sv, L"CURRENCY"sv, true, 8, 8, true, false, false, {}},
    {VT_DATE, L"TDateTime"sv, L"DATE"sv, true, 8, 8, true, false, false, {}},
    {VT_BSTR, L"WideString"sv, L"BSTR"sv, true, 0, 0, true, true, false, L"PWideChar"sv},
    {VT_DISPATCH, L"IDispatch"sv, L"IDispatch*"sv, false, 0, 0, true, true, true, L"Pointer"sv},
    {VT_ERROR, L"HResult"sv, L"SCODE"sv, true, 4, 4, false, false, false, {}},
    {VT_BOOL, L"WordBool"sv, L"VARIANT_BOOL"sv, true, 2, 2, true, false, false, {}},
    {VT_VARIANT, L"OleVariant"sv, L"VARIANT"sv, true, 16, 8, true, true, false, L"TVarData"sv},
    {VT_UNKNOWN, L"IUnknown"sv, L"IUnknown*"sv, false, 0, 0, true, true, true, L"Pointer"sv},
    {VT_DECIMAL, L"TDecimal"sv, L"DECIMAL"sv, true, 16, 8, false, false, false, {}},
    {VT_I1, L"ShortInt"sv, L"char"sv, false, 1, 1, true, false, false, {}},
    {VT_UI1, L"Byte"sv, L"unsigned char"sv, false, 1, 1, true, false, false, {}},
    {VT_UI2, L"Word"sv, L"unsigned short"sv, false, 2, 2, true, false, false, {}},
    {VT_UI4, L"LongWord"sv, L"unsigned long"sv, false, 4, 4, true, false, false, {}},
    {VT_I8, L"Int64"sv, L"hyper"sv, false, 8, 8, true, false, false, {}},
    {VT_UI8, L"UInt64"sv, L"unsigned hyper"sv, false, 8, 8, true, false, false, {}},
    {VT_INT, L"Integer"sv, L"int"sv, false, 4, 4, true, false, false, {}},
    {VT_UINT, L"LongWord"sv, L"unsigned int"sv, false, 4, 4, true, false, false, {}},
    {VT_VOID, L"Pointer"sv, L"void"sv, false, 0, 1, false, false, false, {}},
    {VT_HRESULT, L"HResult"sv, L"HRESULT"sv, true, 4, 4, false, false, false, {}},
    {VT_LPSTR, L"PAnsiChar"sv, L"LPSTR"sv, true, 0, 0, false, false, false, {}},
    {VT_LPWSTR, L"PWideChar"sv, L"LPWSTR"sv, true, 0, 0, false, false, false, {}},
    {VT_INT_PTR, L"NativeInt"sv, L"INT_PTR"sv, true, 0, 0, false, false, false, {}},
    {VT_UINT_PTR, L"NativeUInt"sv, L"UINT_PTR"sv, true, 0, 0, false, false, false, {}},
    {VT_FILETIME, L"TFileTime"sv, L"FILETIME"sv, true, 8, 4, false, false, false, {}},
    {VT_CLSID, L"TGUID"sv, L"GUID"sv, true, 16, 4, false, false, false, {}},
};

// Indexed by type: every basic type is below 72 (VT_CLSID).
constexpr auto kByType = [] {
  std::array<const TPlatformType*, VT_CLSID + 1> table{};
  for (const TPlatformType& type : kPlatformTypes) table[type.Type] = &type;
  return table;
}();

}  // namespace

ULONG TPlatformType::SizeOn(ULONG APointerSize) const {
  // A VARIANT holds two pointers beside its 8 bytes of type and reserved words.
  if (Type == VT_VARIANT) return 8 + 2 * APointerSize;
  return Align ? Size : APointerSize;
}

const TPlatformType* FindPlatformType(VARTYPE AType) {
  return AType < kByType.size() ? kByType[AType] : nullptr;
}

bool IsVariantBasicType(VARTYPE AType) {
  switch (AType) {
    case VT_I2: case VT_I4: case VT_INT: case VT_R4: case VT_R8: case VT_CY: case VT_DATE: case VT_BSTR:
    case VT_BOOL: case VT_I1: case VT_UI1: case VT_UI2: case VT_UI4: case VT_UINT: case VT_I8: case VT_UI8:
      return true;
    default:
      return false;
  }
}

}  // namespace vantrel
