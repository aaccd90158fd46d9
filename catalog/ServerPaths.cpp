#include "catalog/ServerPaths.h"

#include "base/Zarvek_StrUtils.h"

namespace vantrel {

namespace {

bool IsAsciiLetter(wchar_t C) { return (C >= L'a' && C <= L'z') || (C >= L'A' && C <= L'Z'); }

bool ViewFileExists(std::wstring_view APath, TRegView AView) {
  return !IsBlankText(APath) && FileExists(ViewFilePath(APath, AView));
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

bool IsProgramFile(std::wstring_view APath) {
  constexpr std::wstring_view kExe = L".exe";
  return APath.size() > kExe.size() && SameTextAscii(APath.substr(APath.size() - kExe.size()), kExe);
}

TRegistrationCommand RegistrationCommand(std::wstring_view AServer, bool AUnregister, TRegView AView) {
  const TServerCommand server = SplitServerCommand(AServer, AView);
  TRegistrationCommand command;
  command.File = server.Path;
  if (IsProgramFile(server.Path)) {
    // The COM convention: a program server registers itself; its registered arguments are for
    // the runs COM starts, not for this one.
    command.Program = L"\"" + ViewFilePath(server.Path, AView) + L"\"";
    command.Parameters = AUnregister ? L"/UnregServer" : L"/RegServer";
    return command;
  }
  // regsvr32 of the view reads the path in the view's own file system: the path goes as registered.
  command.Program = L"\"" + ViewSystemDirectoryPath(AView) + L"regsvr32.exe\"";
  command.Parameters = (AUnregister ? L"/u \"" : L"\"") + server.Path + L"\"";
  return command;
}

std::wstring LocateServerFile(std::wstring_view AFile, TRegView AView) {
  if (IsBlankText(AFile)) return {};
  if (ViewFileExists(AFile, AView)) return ViewFilePath(AFile, AView);
  for (const std::wstring& folder : {ViewSystemDirectoryPath(AView), WindowsDirectoryPath()}) {
    const std::wstring path = folder + std::wstring(AFile);
    if (FileExists(path)) return ExpandFileName(path);
  }
  return {};
}

}  // namespace vantrel
