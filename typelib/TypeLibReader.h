// Type libraries are read in a child process: this program started once more with an internal
// switch, which loads the library, records what the tree and the generator read of it and sends
// the record through a pipe. A library whose data makes the platform's loader crash or hang takes
// the child down, never the program.
#pragma once

#include <windows.h>
#include <oaidl.h>

#include <functional>
#include <string>

#include "base/Zarvek_Handles.h"
#include "base/Zarvek_StrUtils.h"
#include "base/Zarvek_SysUtils.h"
#include "catalog/ObjectCatalog.h"

namespace vantrel {

struct TTypeLibReadOptions {
  // The program started as reader; empty: this program's own file.
  std::wstring Program;
  // How long the reader may take before it is stopped, in milliseconds.
  DWORD TimeLimit = 30000;
  // Waits for a handle at most the given milliseconds; true when it was signalled. Windows pass one
  // that handles their messages meanwhile; empty: a plain wait.
  std::function<bool(HANDLE AHandle, DWORD ATimeout)> Wait;
  // Asked before every wait and whenever a wait ends before its time: true ends the read at once,
  // its reader stopped. A Wait that handles input returns as soon as the user cancels, so that
  // this is asked at once. Empty: the read cannot be cancelled.
  std::function<bool()> Cancelled;
  // Keep a reader started ahead of the next read (see PrepareTypeLibReader), and read with it.
  bool KeepSpare = false;
  // The reader runs in its sandbox (see ReaderSandbox.h); off only to measure what it costs.
  bool Sandbox = true;
  // Asked when the sandbox cannot be applied, with what failed: true reads without it. Empty: the
  // read is refused.
  std::function<bool(const std::wstring& AWhy)> AskUnsandboxed;
};

struct TTypeLibRead {
  // The library as the reader recorded it; empty when it could not be read.
  TComPtr<ITypeLib> Library;
  // The loader's result; a failure code also when the reader itself failed.
  HRESULT LoadResult = E_FAIL;
  // Why there is no library: the loader's message, or what happened to the reader, naming the file.
  std::wstring Message;
  // The read was cancelled (see TTypeLibReadOptions::Cancelled): nothing went wrong that needs
  // telling; Message says so in short.
  bool Cancelled = false;
};

// Reads the library of AData as LoadTypeLibraryFor would (registration in the registry view AView,
// then the server file, each checked first), in a child process. The library returned answers the
// type information calls from the child's record. A TypeLib that is not a GUID raises EConvertError
// before anything starts.
TTypeLibRead ReadTypeLibrary(const TObjectData& AData, TRegView AView, const TTypeLibReadOptions& AOptions);
// The same with the defaults.
TTypeLibRead ReadTypeLibrary(const TObjectData& AData, TRegView AView);

// The options every read starts from (tests point the program elsewhere or shorten the limit).
TTypeLibReadOptions& TypeLibReaderDefaults();

// Starts a reader that waits for the next read, when the options keep one and there is none: the
// next read then does not wait for a process to start. A window calls it when it has time.
void PrepareTypeLibReader(const TTypeLibReadOptions& AOptions = TypeLibReaderDefaults());
// The process id of the spare reader; 0 when there is none.
DWORD SpareTypeLibReaderId();

// The file a read of AData is about, for messages: the registered file, else the server file, else
// the library's GUID.
std::wstring TypeLibrarySourceName(const TObjectData& AData, TRegView AView);

// What a reader reads from its standard input for a read of AData in the registry view AView,
// ending itself ATimeLimit milliseconds (and a grace) after it began when nobody stops it.
std::string TypeLibReaderRequest(const TObjectData& AData, TRegView AView, DWORD ATimeLimit);

// The internal switch that makes the program a reader: the only parameter of the child's call.
bool IsTypeLibReaderCall(const TStringList& AParams);

using TTypeLibLoad = std::function<HRESULT(const TObjectData& AData, TComPtr<ITypeLib>& ALib, TRegView AView)>;

// The reader's side: the request from standard input, the library loaded with ALoad (by default
// LoadTypeLibraryFor), the record to standard output. Returns the exit code: 0 when a record was
// sent (a failed load is a record too). A crash ends the process with the exception's code.
int RunTypeLibReader(const TTypeLibLoad& ALoad = {});

}  // namespace vantrel
