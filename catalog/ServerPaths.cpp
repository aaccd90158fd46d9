#include "catalog/ServerPaths.h"

#include <vector>

#include "base/Zarvek_StrUtils.h"

namespace vantrel {

namespace {

bool IsAsciiLetter(wchar_t C) { return (C >= L'a' && C <= L'z') || (C >= L'A' && C <= L'Z'); }

// Whether a candidate of an unquoted command line names a file, as CreateProcess tries them.
bool ViewFileExists(std::wstring_view APath, TRegView AView) {
  return !LocateServerFile(APath, AView, TServerFileKind::sfProgram).empty() ||
         !LocateServerFile(APath, AView, TServerFileKind::sfLibrary).empty();
}

}  // namespace

TServerCommand SplitServerCommand(std::wstring_view AServer, TRegView AView) {
  const std::wstring text = Trim(AServer);
  TServerCommand command;
  if (text.empty()) return command;
  if (text.front() == L'"') {
    const size_t close = text.find(L'"', 1);
    command.Path = text.substr(1, close == std::wstring::npos ? std::wstring::npos : close - 1);
    if (close != std::wstring::npos) command.Arguments = Trim(std::wstring_view(text).substr(close + 1));
    return command;
  }
  auto splitAt = [&](size_t ABlank) {
    command.Path = Trim(std::wstring_view(text).substr(0, ABlank));
    command.Arguments = Trim(std::wstring_view(text).substr(ABlank + 1));
    return command;
  };
  if (ViewFileExists(text, AView)) {
    command.Path = text;
    return command;
  }
  // An unquoted path with blanks, as the platform reads a command line: the first existing file.
  for (size_t blank = text.find(L' '); blank != std::wstring::npos; blank = text.find(L' ', blank + 1)) {
    if (ViewFileExists(std::wstring_view(text).substr(0, blank), AView)) return splitAt(blank);
  }
  for (size_t blank = text.find(L' '); blank != std::wstring::npos; blank = text.find(L' ', blank + 1)) {
    if (blank + 2 < text.size() && (text[blank + 1] == L'/' || text[blank + 1] == L'-') &&
        IsAsciiLetter(text[blank + 2])) {
      return splitAt(blank);
    }
  }
  command.Path = text;
  return command;
}

std::wstring UnquotedServerHijack(std::wstring_view AServer, TRegView AView) {
  const std::wstring text = Trim(AServer);
  if (text.empty() || text.front() == L'"') return {};
  // The program meant ends at the first ".exe" that ends a word.
  const std::wstring lower = LowerCaseAscii(text);
  size_t meant = std::wstring::npos;
  for (size_t at = lower.find(L".exe"); at != std::wstring::npos; at = lower.find(L".exe", at + 1)) {
    if (at + 4 == lower.size() || lower[at + 4] == L' ') {
      meant = at + 4;
      break;
    }
  }
  if (meant == std::wstring::npos) return {};
  for (size_t blank = text.find(L' '); blank != std::wstring::npos && blank < meant; blank = text.find(L' ', blank + 1)) {
    const std::wstring found = LocateServerFile(std::wstring_view(text).substr(0, blank), AView, TServerFileKind::sfProgram);
    if (!found.empty()) return ViewNamedPath(found, AView);
  }
  return {};
}

bool IsProgramFile(std::wstring_view APath) {
  constexpr std::wstring_view kExe = L".exe";
  return APath.size() > kExe.size() && SameTextAscii(APath.substr(APath.size() - kExe.size()), kExe);
}

TRegistrationCommand RegistrationCommand(std::wstring_view AServer, bool AUnregister, TRegView AView) {
  const TServerCommand server = SplitServerCommand(AServer, AView);
  TRegistrationCommand command;
  command.File = server.Path;
  const bool program = IsProgramFile(server.Path);
  const std::wstring found =
      LocateServerFile(server.Path, AView, program ? TServerFileKind::sfProgram : TServerFileKind::sfLibrary);
  if (!found.empty()) command.Directory = ExtractFilePath(found);
  if (program) {
    // The COM convention: a program server registers itself; its registered arguments are for
    // the runs COM starts, not for this one.
    command.Program = L"\"" + (found.empty() ? ViewFilePath(server.Path, AView) : found) + L"\"";
    command.Parameters = AUnregister ? L"/UnregServer" : L"/RegServer";
    return command;
  }
  // regsvr32 of the view reads the path in the view's own file system.
  command.Program = L"\"" + ViewSystemDirectoryPath(AView) + L"regsvr32.exe\"";
  const std::wstring file = found.empty() ? server.Path : ViewNamedPath(found, AView);
  command.Parameters = (AUnregister ? L"/u \"" : L"\"") + file + L"\"";
  return command;
}

TServerFileKind ServerFileKindOf(std::wstring_view AServerKey) {
  return SameTextAscii(AServerKey, L"LocalServer32") || SameTextAscii(AServerKey, L"LocalServer")
             ? TServerFileKind::sfProgram
             : TServerFileKind::sfLibrary;
}

bool IsAbsolutePath(std::wstring_view APath) {
  if (APath.size() >= 3 && IsAsciiLetter(APath[0]) && APath[1] == L':' && (APath[2] == L'\\' || APath[2] == L'/')) {
    return true;
  }
  return !APath.empty() && (APath[0] == L'\\' || APath[0] == L'/');
}

namespace {

// The name with the extension the platform implies: none is added to a name that has one, and a
// trailing dot says "no extension".
std::wstring WithImpliedExtension(std::wstring_view AFile, TServerFileKind AKind) {
  const size_t nameStart = AFile.find_last_of(L"\\/:");
  const std::wstring_view name = nameStart == std::wstring_view::npos ? AFile : AFile.substr(nameStart + 1);
  if (AKind == TServerFileKind::sfFile) return std::wstring(AFile);
  if (!name.empty() && name.back() == L'.') return std::wstring(AFile.substr(0, AFile.size() - 1));
  if (name.find(L'.') != std::wstring_view::npos) return std::wstring(AFile);
  return std::wstring(AFile) + (AKind == TServerFileKind::sfProgram ? L".exe" : L".dll");
}

std::wstring ProcessPathVariable() {
  std::wstring path(32767, L'\0');
  const DWORD length = GetEnvironmentVariableW(L"PATH", path.data(), static_cast<DWORD>(path.size()));
  path.resize(length < path.size() ? length : 0);
  return path;
}

}  // namespace

std::wstring LocateServerFile(std::wstring_view AFile, TRegView AView, TServerFileKind AKind) {
  if (IsBlankText(AFile)) return {};
  const std::wstring file = WithImpliedExtension(Trim(AFile), AKind);
  if (IsAbsolutePath(file)) {
    const std::wstring path = ViewFilePath(file, AView);
    return FileExists(path) ? path : std::wstring();
  }
  // A bare name or a relative path: the folders the loader and CreateProcess search, in their
  // order, without the current folder.
  std::vector<std::wstring> folders = {ViewSystemDirectoryPath(AView), WindowsDirectoryPath() + L"System\\",
                                       WindowsDirectoryPath()};
  const std::wstring path = ExpandEnvironmentText(ProcessPathVariable(), AView);
  for (size_t start = 0; start <= path.size();) {
    size_t end = path.find(L';', start);
    if (end == std::wstring::npos) end = path.size();
    std::wstring folder = Trim(std::wstring_view(path).substr(start, end - start));
    if (folder.size() >= 2 && folder.front() == L'"' && folder.back() == L'"') folder = folder.substr(1, folder.size() - 2);
    // A relative folder of PATH is taken from the current folder: left out too.
    if (!folder.empty() && IsAbsolutePath(folder)) folders.push_back(ViewFilePath(IncludeTrailingPathDelimiter(folder), AView));
    start = end + 1;
  }
  for (const std::wstring& folder : folders) {
    const std::wstring candidate = folder + file;
    if (FileExists(candidate)) return ExpandFileName(candidate);
  }
  return {};
}

std::wstring LocateTypeLibraryFile(std::wstring_view APath, TRegView AView) {
  const std::wstring path = Trim(APath);
  std::wstring found = LocateServerFile(path, AView);
  if (!found.empty()) return found;
  const std::wstring_view file = WithoutResourceNumber(path);
  if (file.size() < path.size()) {
    found = LocateServerFile(file, AView);
    if (!found.empty()) return found + path.substr(file.size());
  }
  return {};
}

std::wstring_view WithoutResourceNumber(std::wstring_view APath) {
  const size_t slash = APath.find_last_of(L'\\');
  if (slash != std::wstring_view::npos && slash > 0 && slash + 1 < APath.size() &&
      APath.find_first_not_of(L"0123456789", slash + 1) == std::wstring_view::npos) {
    return APath.substr(0, slash);
  }
  return APath;
}

std::wstring ViewNamedPath(std::wstring_view APath, TRegView AView) {
  if (!Is64BitWindows() || AView == ProcessRegView()) return std::wstring(APath);
  const std::wstring through = ViewSystemDirectoryPath(AView);
  // Only Sysnative is a name the view's programs do not know; SysWOW64 is a real folder.
  if (AView == TRegView::rv64 && APath.size() > through.size() && SameTextAscii(APath.substr(0, through.size()), through)) {
    return SystemDirectoryPath() + std::wstring(APath.substr(through.size()));
  }
  return std::wstring(APath);
}

}  // namespace vantrel
