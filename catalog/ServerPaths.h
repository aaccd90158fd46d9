// Server registrations as paths and commands: quotes and arguments, the file system of a registry
// view, and the command that registers or unregisters a server.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "base/Zarvek_SysUtils.h"

namespace vantrel {

// A server as registered: a file path, quoted or not, optionally followed by arguments
// ("C:\Program Files\x.exe" /automation).
struct TServerCommand {
  std::wstring Path;       // the file, without quotes
  std::wstring Arguments;  // what follows it, trimmed
};

// Splits a registered server into file and arguments. A quoted path ends at its closing quote.
// An unquoted text is the path when it names an existing file; otherwise the path ends at the
// first blank before which an existing file is named, else at the first blank followed by a
// switch ("/" or "-" and a letter), else it is the whole text. Files are looked up as the view's programs see them.
TServerCommand SplitServerCommand(std::wstring_view AServer, TRegView AView);

// For an unquoted program command with blanks before its ".exe": the file the platform would start
// instead of the one meant, because a shorter candidate before a blank names a program
// ("C:\Program.exe" for C:\Program Files\App\app.exe), as the view's programs name it; empty
// when none would.
std::wstring UnquotedServerHijack(std::wstring_view AServer, TRegView AView);

// True for a program file (.exe), which registers itself rather than through regsvr32.
bool IsProgramFile(std::wstring_view APath);

// The command line that registers or unregisters a server of the view: a program server runs
// itself with /RegServer or /UnregServer; any other server goes to the view's regsvr32, by its
// full path, with the file quoted (and /u to unregister). The server is named by its full path
// where it is found, so that nothing is taken from the current folder.
struct TRegistrationCommand {
  std::wstring Program;  // quoted full path
  std::wstring Parameters;
  std::wstring File;       // the server file, as registered
  std::wstring Directory;  // the folder to run in: the server's own, where it is found
};
TRegistrationCommand RegistrationCommand(std::wstring_view AServer, bool AUnregister, TRegView AView);

// How the platform finds a server's file: a library as the loader does (".dll" implied for a name
// without an extension), a program as CreateProcess does (".exe" implied), any other file (a type
// library, an icon) by its name as it stands.
enum class TServerFileKind : uint8_t { sfFile, sfLibrary, sfProgram };

// The kind of file a class's server key names: LocalServer32 names a program, InprocServer32 a
// library.
TServerFileKind ServerFileKindOf(std::wstring_view AServerKey);

// The file a server, surrogate or library path names, found as the view's programs find it: a
// full path as given; a bare name or a relative path in the view's system folder, the 16-bit
// system folder, the Windows folder and then the folders of PATH, never in this program's current
// folder. The path to open it by (through Sysnative or SysWOW64 where the view's folder is
// redirected for this process), or empty.
std::wstring LocateServerFile(std::wstring_view AFile, TRegView AView,
                              TServerFileKind AKind = TServerFileKind::sfFile);

// A type library file as the loader takes it: a file, or a program or library followed by the
// number of its type library resource ("C:\x.dll\2"). Found as LocateServerFile finds a file; the
// path to open it by, with its resource number, or empty.
std::wstring LocateTypeLibraryFile(std::wstring_view APath, TRegView AView);

// A type library path without the number of its resource ("C:\x.dll\2" gives "C:\x.dll"); a path
// without one as it is.
std::wstring_view WithoutResourceNumber(std::wstring_view APath);

// A path of this process's file system as the view's programs name it: Sysnative, which only
// 32-bit processes see, becomes System32 again. Other paths stay as they are.
std::wstring ViewNamedPath(std::wstring_view APath, TRegView AView);

// True for a path that starts at a drive's root or a share ("C:\x", "\\server\x", "\x").
bool IsAbsolutePath(std::wstring_view APath);

}  // namespace vantrel
