// Server registrations as paths and commands: quotes and arguments, the file system of a registry
// view, and the command that registers or unregisters a server.
#pragma once

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

// True for a program file (.exe), which registers itself rather than through regsvr32.
bool IsProgramFile(std::wstring_view APath);

// The command line that registers or unregisters a server of the view: a program server runs
// itself with /RegServer or /UnregServer; any other server goes to the view's regsvr32, by its
// full path, with the file quoted (and /u to unregister).
struct TRegistrationCommand {
  std::wstring Program;  // quoted full path
  std::wstring Parameters;
  std::wstring File;  // the server file, as registered
};
TRegistrationCommand RegistrationCommand(std::wstring_view AServer, bool AUnregister, TRegView AView);

// A file as given, else found by name in the view's system directory and then in the Windows
// directory, as the loader looks for a bare file name; the path to open it by, or empty.
std::wstring LocateServerFile(std::wstring_view AFile, TRegView AView);

}  // namespace vantrel
