#include "catalog/Zarvek_RegUtils.h"

#include <array>
#include <cstring>

#include "base/Zarvek_SysUtils.h"

namespace vantrel {

namespace {

constexpr REGSAM kViewBits = KEY_WOW64_32KEY | KEY_WOW64_64KEY;

// Query buffer on the stack that covers nearly every value in one round trip.
constexpr DWORD kStackBytes = 1024;

}  // namespace

REGSAM RegViewAccess(TRegView AView) {
  // The process's own view needs no flag, and opens are cheaper without one.
  if (!Is64BitWindows() || AView == ProcessRegView()) return 0;
  return AView == TRegView::rv64 ? KEY_WOW64_64KEY : KEY_WOW64_32KEY;
}

std::atomic<uint64_t> TRegistry::FOpenedKeys{0};

TRegistry::TRegistry(REGSAM AAccess) : FAccess(AAccess) {}

TRegView TRegistry::View() const {
  if (FAccess & KEY_WOW64_64KEY) return TRegView::rv64;
  if (FAccess & KEY_WOW64_32KEY) return TRegView::rv32;
  return ProcessRegView();
}

void TRegistry::SetRootKey(HKEY ARoot) {
  CloseKey();
  FRootHandle.reset();
  FRoot = ARoot;
}

HKEY TRegistry::RootHandle() const {
  // A path opened through a predefined key in an explicit view makes Wine look the view's root up
  // again on every call; one handle of the root serves all.
  const bool predefined = FRoot == HKEY_CLASSES_ROOT || FRoot == HKEY_LOCAL_MACHINE || FRoot == HKEY_CURRENT_USER ||
                          FRoot == HKEY_USERS || FRoot == HKEY_CURRENT_CONFIG;
  if (!FRootHandle && predefined && (FAccess & kViewBits)) {
    RegOpenKeyExW(FRoot, nullptr, 0, KEY_READ | (FAccess & kViewBits), FRootHandle.put());
  }
  return FRootHandle ? FRootHandle.get() : FRoot;
}

bool TRegistry::Open(std::wstring_view APath, REGSAM ARights) {
  std::wstring path(APath);
  while (!path.empty() && path.front() == L'\\') path.erase(path.begin());
  HKEY key = nullptr;
  FLastOpenResult = RegOpenKeyExW(RootHandle(), path.c_str(), 0, ARights, &key);
  if (FLastOpenResult != ERROR_SUCCESS) return false;
  FOpenedKeys.fetch_add(1, std::memory_order_relaxed);
  FCurrent.reset(key);
  return true;
}

bool TRegistry::OpenKeyReadOnly(std::wstring_view APath) {
  return Open(APath, KEY_READ | (FAccess & kViewBits));
}

bool TRegistry::OpenKey(std::wstring_view APath, bool ACanCreate) {
  if (ACanCreate) throw ERegistryException(L"Registry keys cannot be created here");
  return Open(APath, FAccess);
}

void TRegistry::CloseKey() { FCurrent.reset(); }

bool TRegistry::KeyExists(std::wstring_view APath) const {
  std::wstring path(APath);
  while (!path.empty() && path.front() == L'\\') path.erase(path.begin());
  HKEY key = nullptr;
  if (RegOpenKeyExW(RootHandle(), path.c_str(), 0, STANDARD_RIGHTS_READ | KEY_QUERY_VALUE | (FAccess & kViewBits),
                    &key) != ERROR_SUCCESS) {
    return false;
  }
  RegCloseKey(key);
  return true;
}

void TRegistry::GetKeyNames(TStringList& AList) const {
  AList.clear();
  ForEachKeyName([&](std::wstring_view AName) { AList.emplace_back(AName); });
}

size_t TRegistry::SubkeyCount() const {
  DWORD count = 0;
  if (!FCurrent || RegQueryInfoKeyW(FCurrent.get(), nullptr, nullptr, nullptr, &count, nullptr, nullptr, nullptr,
                                    nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) {
    return 0;
  }
  return count;
}

size_t TRegistry::ForEachKeyName(const std::function<void(std::wstring_view AName)>& AVisit) const {
  if (!FCurrent) return 0;
  DWORD count = 0;
  DWORD maxLength = 0;
  if (RegQueryInfoKeyW(FCurrent.get(), nullptr, nullptr, nullptr, &count, &maxLength, nullptr, nullptr, nullptr,
                       nullptr, nullptr, nullptr) != ERROR_SUCCESS) {
    return 0;
  }
  std::wstring buffer(std::max<DWORD>(maxLength + 1, 256), L'\0');
  size_t visited = 0;
  for (DWORD i = 0;; ++i) {
    DWORD length = static_cast<DWORD>(buffer.size());
    LONG result = RegEnumKeyExW(FCurrent.get(), i, buffer.data(), &length, nullptr, nullptr, nullptr, nullptr);
    if (result == ERROR_MORE_DATA) {
      buffer.resize(buffer.size() * 2);
      --i;
      continue;
    }
    if (result != ERROR_SUCCESS) break;
    AVisit(std::wstring_view(buffer.data(), length));
    ++visited;
  }
  return visited;
}

void TRegistry::GetValueNames(TStringList& AList) const {
  AList.clear();
  if (!FCurrent) return;
  DWORD count = 0;
  DWORD maxLength = 0;
  if (RegQueryInfoKeyW(FCurrent.get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &count, &maxLength,
                       nullptr, nullptr, nullptr) != ERROR_SUCCESS) {
    return;
  }
  AList.reserve(count);
  std::wstring buffer(std::max<DWORD>(maxLength + 1, 256), L'\0');
  for (DWORD i = 0;; ++i) {
    DWORD length = static_cast<DWORD>(buffer.size());
    LONG result = RegEnumValueW(FCurrent.get(), i, buffer.data(), &length, nullptr, nullptr, nullptr, nullptr);
    if (result == ERROR_MORE_DATA) {
      buffer.resize(buffer.size() * 2);
      --i;
      continue;
    }
    if (result != ERROR_SUCCESS) break;
    AList.emplace_back(buffer.data(), length);
  }
}

bool TRegistry::GetDataInfo(std::wstring_view AName, TRegDataInfo& AInfo) const {
  AInfo = {};
  if (!FCurrent) return false;
  std::wstring name(AName);
  return RegQueryValueExW(FCurrent.get(), name.c_str(), nullptr, &AInfo.DataType, nullptr, &AInfo.DataSize) ==
         ERROR_SUCCESS;
}

bool TRegistry::ValueExists(std::wstring_view AName) const {
  TRegDataInfo info;
  return GetDataInfo(AName, info);
}

bool TRegistry::ReadValue(std::wstring_view AName, DWORD& AType, std::vector<BYTE>& AData) const {
  AType = REG_NONE;
  AData.clear();
  if (!FCurrent) return false;
  std::wstring name(AName);
  std::array<BYTE, kStackBytes> stack;
  DWORD size = kStackBytes;
  LONG result = RegQueryValueExW(FCurrent.get(), name.c_str(), nullptr, &AType, stack.data(), &size);
  if (result == ERROR_SUCCESS) {
    AData.assign(stack.data(), stack.data() + size);
    return true;
  }
  // The value may grow between the calls: retry until the buffer holds it.
  while (result == ERROR_MORE_DATA) {
    AData.resize(size);
    result = RegQueryValueExW(FCurrent.get(), name.c_str(), nullptr, &AType, AData.data(), &size);
    if (result == ERROR_SUCCESS) {
      AData.resize(size);
      return true;
    }
  }
  AData.clear();
  return false;
}

namespace {

// Text of string registry data: the bytes as UTF-16, up to the first NUL.
std::wstring StringFromData(const std::vector<BYTE>& AData) {
  size_t count = AData.size() / sizeof(wchar_t);
  std::wstring text(count, L'\0');
  if (count) std::memcpy(text.data(), AData.data(), count * sizeof(wchar_t));
  size_t nul = text.find(L'\0');
  if (nul != std::wstring::npos) text.resize(nul);
  return text;
}

}  // namespace

void TRegistry::ReadError(std::wstring_view AName) {
  throw ERegistryException(L"Invalid data type for '" + std::wstring(AName) + L"'");
}

std::wstring TRegistry::ReadString(std::wstring_view AName) const {
  DWORD type = REG_NONE;
  std::vector<BYTE> data;
  if (!ReadValue(AName, type, data)) return {};
  if (type != REG_SZ && type != REG_EXPAND_SZ) ReadError(AName);
  return StringFromData(data);
}

int32_t TRegistry::ReadInteger(std::wstring_view AName) const {
  DWORD type = REG_NONE;
  std::vector<BYTE> data;
  if (!ReadValue(AName, type, data) || type != REG_DWORD || data.size() != sizeof(int32_t)) ReadError(AName);
  int32_t value;
  std::memcpy(&value, data.data(), sizeof(value));
  return value;
}

DWORD TRegistry::ReadBinaryData(std::wstring_view AName, void* ABuffer, DWORD ABufferSize) const {
  DWORD type = REG_NONE;
  std::vector<BYTE> data;
  if (!ReadValue(AName, type, data) || type == REG_SZ || type == REG_EXPAND_SZ || type == REG_DWORD) {
    ReadError(AName);
  }
  DWORD count = std::min<DWORD>(ABufferSize, static_cast<DWORD>(data.size()));
  if (count) std::memcpy(ABuffer, data.data(), count);
  return count;
}

TRegistry CatalogRegistry(TRegView AView) {
  TRegistry registry(KEY_READ | RegViewAccess(AView));
  registry.SetRootKey(HKEY_CLASSES_ROOT);
  return registry;
}

namespace {

// Each byte's character in the ANSI code page, taken alone (no multi-byte sequences).
const std::array<wchar_t, 256>& AnsiByteTable() {
  static const std::array<wchar_t, 256> table = [] {
    std::array<wchar_t, 256> chars{};
    for (int b = 0; b < 256; ++b) {
      char byte = static_cast<char>(b);
      wchar_t c = L'?';
      if (b < 32) {
        c = L'.';
      } else if (MultiByteToWideChar(CP_ACP, 0, &byte, 1, &c, 1) != 1) {
        c = L'?';
      }
      chars[b] = c;
    }
    return chars;
  }();
  return table;
}

}  // namespace

std::wstring BytesToText(const BYTE* AData, size_t ASize, bool AsHex) {
  std::wstring text;
  if (ASize == 0) return text;
  if (AsHex) {
    static const wchar_t kDigits[] = L"0123456789ABCDEF";
    text.resize(ASize * 3 - 1);
    wchar_t* out = text.data();
    for (size_t i = 0; i < ASize; ++i) {
      if (i) *out++ = L' ';
      *out++ = kDigits[AData[i] >> 4];
      *out++ = kDigits[AData[i] & 0xF];
    }
  } else {
    const auto& table = AnsiByteTable();
    text.resize(ASize);
    for (size_t i = 0; i < ASize; ++i) text[i] = table[AData[i]];
  }
  return text;
}

namespace {

std::wstring RenderValue(DWORD AType, const std::vector<BYTE>& AData, TRegView AView, bool AsHex) {
  switch (AType) {
    case REG_SZ:
      return StringFromData(AData);
    case REG_EXPAND_SZ:
      return ExpandEnvironmentText(StringFromData(AData), AView);
    case REG_DWORD:
    case REG_DWORD_BIG_ENDIAN:
      if (AData.size() == 4) {
        uint32_t value;
        std::memcpy(&value, AData.data(), 4);
        if (AType == REG_DWORD_BIG_ENDIAN) {
          value = (value >> 24) | ((value >> 8) & 0xFF00u) | ((value << 8) & 0xFF0000u) | (value << 24);
        }
        return IntToStr(static_cast<int32_t>(value));
      }
      // A number of the wrong size is shown as the bytes it holds.
      return BytesToText(AData.data(), AData.size(), AsHex);
    case REG_MULTI_SZ:
      return StringFromData(AData);
    default:
      return BytesToText(AData.data(), AData.size(), AsHex);
  }
}

}  // namespace

std::wstring RegistryValueText(const TRegistry& ARegistry, std::wstring_view AName, bool AsHex) {
  DWORD type = REG_NONE;
  std::vector<BYTE> data;
  if (!ARegistry.ReadValue(AName, type, data)) return {};
  return RenderValue(type, data, ARegistry.View(), AsHex);
}

std::wstring RegistryValueDisplayText(const TRegistry& ARegistry, std::wstring_view AName, bool AsHex) {
  DWORD type = REG_NONE;
  std::vector<BYTE> data;
  if (!ARegistry.ReadValue(AName, type, data)) return {};
  switch (type) {
    case REG_EXPAND_SZ: {
      const std::wstring stored = StringFromData(data);
      const std::wstring expanded = ExpandEnvironmentText(stored, ARegistry.View());
      return expanded == stored ? stored + L" [REG_EXPAND_SZ]"
                                : stored + L" [REG_EXPAND_SZ, expands to " + expanded + L"]";
    }
    case REG_MULTI_SZ: {
      // Every string, each in quotes; the list ends at an empty string or the data's end.
      const size_t count = data.size() / sizeof(wchar_t);
      std::wstring all(count, L'\0');
      if (count) std::memcpy(all.data(), data.data(), count * sizeof(wchar_t));
      std::wstring text;
      size_t strings = 0;
      for (size_t start = 0; start < all.size();) {
        size_t end = all.find(L'\0', start);
        if (end == std::wstring::npos) end = all.size();
        if (end == start) break;
        text += (strings++ ? L", \"" : L"\"") + all.substr(start, end - start) + L"\"";
        start = end + 1;
      }
      return text + (strings ? L" [REG_MULTI_SZ]" : L"[REG_MULTI_SZ, empty]");
    }
    case REG_QWORD:
      if (data.size() == 8) {
        uint64_t value;
        std::memcpy(&value, data.data(), 8);
        return UIntToStr(value);
      }
      return BytesToText(data.data(), data.size(), AsHex);
    default:
      return RenderValue(type, data, ARegistry.View(), AsHex);
  }
}

std::wstring RegistryValueToText(HKEY ARoot, std::wstring_view AKey, std::wstring_view AName, bool AsHex,
                                 TRegView AView) {
  TRegistry registry(KEY_READ | RegViewAccess(AView));
  registry.SetRootKey(ARoot);
  if (!registry.OpenKey(AKey, false)) return {};
  return RegistryValueText(registry, AName, AsHex);
}

void ListSubkeys(HKEY ARoot, std::wstring_view AKey, TStringList& AList, TRegView AView) {
  TRegistry registry(KEY_READ | RegViewAccess(AView));
  registry.SetRootKey(ARoot);
  if (!registry.OpenKey(AKey, false)) return;
  registry.GetKeyNames(AList);
}

}  // namespace vantrel
