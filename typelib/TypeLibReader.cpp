#include "typelib/TypeLibReader.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "base/Zarvek_GuidText.h"
#include "catalog/ServerPaths.h"
#include "catalog/Zarvek_RegUtils.h"
#include "typelib/ReaderSandbox.h"
#include "typelib/TypeLibLoader.h"
#include "typelib/TypeLibSnapshot.h"

namespace vantrel {

namespace {

const wchar_t kReaderSwitch[] = L"/TypeLibReader";

// The request to the reader: "VTLQ", version, registry view, TypeLib, versions, time limit, Server.
constexpr char kRequestMagic[4] = {'V', 'T', 'L', 'Q'};
constexpr uint32_t kRequestVersion = 1;
constexpr size_t kMaxRequestSize = 1 << 20;

// A record larger than this comes from no library: the reader is stopped. The largest library
// Wine installs (mshtml.tlb) makes a record of 1.4 MB; this leaves a margin of over 40 times.
constexpr size_t kMaxRecordSize = size_t(64) << 20;

// How long the reader waits beyond its time limit before ending itself, when its parent is gone.
constexpr DWORD kWatchdogGrace = 5000;

// Exit code of a reader that ended itself because nobody took its record.
constexpr DWORD kExitWatchdog = ERROR_TIMEOUT;


struct TRequest {
  TObjectData Data;
  TRegView View = TRegView::rv32;
  DWORD TimeLimit = 0;
};

void AppendU32(std::string& AOut, uint32_t AValue) { AOut.append(reinterpret_cast<const char*>(&AValue), 4); }

void AppendText(std::string& AOut, std::wstring_view AText) {
  AppendU32(AOut, static_cast<uint32_t>(AText.size()));
  AOut.append(reinterpret_cast<const char*>(AText.data()), AText.size() * sizeof(wchar_t));
}


// False for a request that does not parse.
bool DecodeRequest(std::string_view AData, TRequest& ARequest) {
  size_t pos = 0;
  auto take = [&](void* ATarget, size_t ASize) {
    if (ASize > AData.size() - pos) return false;
    std::memcpy(ATarget, AData.data() + pos, ASize);
    pos += ASize;
    return true;
  };
  auto u32 = [&](uint32_t& AValue) { return take(&AValue, sizeof(AValue)); };
  auto text = [&](std::wstring& AText) {
    uint32_t length = 0;
    if (!u32(length) || length > (AData.size() - pos) / sizeof(wchar_t)) return false;
    AText.resize(length);
    return take(AText.data(), length * sizeof(wchar_t));
  };
  char magic[4];
  uint32_t version = 0, bits = 0, timeLimit = 0;
  std::wstring typeLib, server;
  if (!take(magic, sizeof(magic)) || std::memcmp(magic, kRequestMagic, sizeof(magic)) != 0) return false;
  if (!u32(version) || version != kRequestVersion || !u32(bits) || (bits != 32 && bits != 64)) return false;
  if (!text(typeLib) || !u32(ARequest.Data.MajorVersion) || !u32(ARequest.Data.MinorVersion) ||
      !u32(timeLimit) || !text(server) || pos != AData.size()) {
    return false;
  }
  ARequest.TimeLimit = timeLimit;
  ARequest.Data.TypeLib = typeLib;
  ARequest.Data.Server = server;
  ARequest.View = bits == 64 ? TRegView::rv64 : TRegView::rv32;
  return true;
}

bool ReadAll(HANDLE AFile, std::string& AData, size_t ALimit) {
  // Large reads straight into the result: a record of a large library has megabytes.
  constexpr size_t kChunk = 1 << 20;
  for (;;) {
    const size_t used = AData.size();
    if (used >= ALimit) return false;
    const size_t chunk = std::min(kChunk, ALimit - used);
    AData.resize(used + chunk);
    DWORD read = 0;
    const BOOL ok = ReadFile(AFile, &AData[used], static_cast<DWORD>(chunk), &read, nullptr);
    AData.resize(used + (ok ? read : 0));
    if (!ok || read == 0) return true;
  }
}

bool WriteAll(HANDLE AFile, std::string_view AData) {
  while (!AData.empty()) {
    DWORD written = 0;
    const DWORD chunk = static_cast<DWORD>(std::min<size_t>(AData.size(), 1 << 20));
    if (!WriteFile(AFile, AData.data(), chunk, &written, nullptr) || written == 0) return false;
    AData.remove_prefix(written);
  }
  return true;
}

// A reader that crashes ends at once with the exception's code: no debugger, no dialog, and the
// parent learns what happened.
LONG WINAPI EndOnException(EXCEPTION_POINTERS* AException) {
  TerminateProcess(GetCurrentProcess(), AException->ExceptionRecord->ExceptionCode);
  return EXCEPTION_EXECUTE_HANDLER;
}

DWORD WINAPI Watchdog(void* ALimit) {
  Sleep(static_cast<DWORD>(reinterpret_cast<uintptr_t>(ALimit)));
  TerminateProcess(GetCurrentProcess(), kExitWatchdog);
  return 0;
}

// Collects what the reader sends, on a thread of its own so that the pipe never fills up while
// the parent waits.
struct TRecordCollector {
  HANDLE Pipe = nullptr;
  std::string Data;
  bool TooLarge = false;

  static DWORD WINAPI Run(void* ASelf) {
    auto* self = static_cast<TRecordCollector*>(ASelf);
    // No exception may leave a thread: memory that runs out counts as a record too large to hold.
    try {
      self->TooLarge = !ReadAll(self->Pipe, self->Data, kMaxRecordSize);
    } catch (const std::bad_alloc&) {
      self->Data.clear();
      self->Data.shrink_to_fit();
      self->TooLarge = true;
    }
    return 0;
  }
};

const wchar_t* ExceptionName(DWORD ACode) {
  switch (ACode) {
    case 0xC0000005: return L"access violation";
    case 0xC00000FD: return L"stack overflow";
    case 0xC0000094: return L"integer division by zero";
    case 0xC0000095: return L"integer overflow";
    case 0xC000001D: return L"illegal instruction";
    case 0xC0000096: return L"privileged instruction";
    case 0xC000008C: return L"array bounds exceeded";
    case 0xC0000409: return L"stack buffer overrun";
    case 0xC0000374: return L"heap corruption";
    case 0xC0000017: return L"out of memory";
    case 0x80000003: return L"breakpoint";
    case 0xE06D7363: return L"unhandled C++ exception";
    default: return nullptr;
  }
}

std::wstring ExitText(DWORD AExitCode) {
  if (AExitCode & 0x80000000) {
    std::wstring text = L"the reading process crashed (exception 0x" + IntToHex(AExitCode);
    if (const wchar_t* name = ExceptionName(AExitCode)) text += std::wstring(L", ") + name;
    return text + L")";
  }
  return L"the reading process ended with exit code " + UIntToStr(AExitCode);
}

std::wstring DurationText(DWORD AMilliseconds) {
  if (AMilliseconds % 1000 != 0) return UIntToStr(AMilliseconds) + L" ms";
  const DWORD seconds = AMilliseconds / 1000;
  return UIntToStr(seconds) + (seconds == 1 ? L" second" : L" seconds");
}

// A reader process, started and waiting for its request.
struct TStartedReader {
  std::wstring Program;
  bool Sandboxed = false;
  THandle Process, Job;
  THandle Input;   // our end of its standard input
  THandle Output;  // our end of its standard output
};

std::wstring ReaderProgram(const TTypeLibReadOptions& AOptions) {
  return AOptions.Program.empty() ? ModuleFileName() : AOptions.Program;
}

// Starts a reader, in its sandbox unless the options say otherwise or the user allowed a read
// without it; what went wrong, as a part of a sentence, or empty.
std::wstring StartReader(const std::wstring& AProgram, const TTypeLibReadOptions& AOptions, TStartedReader& AReader) {
  // Our ends stay private; the child's ends are made inheritable for the start only.
  HANDLE inRead = nullptr, inWrite = nullptr, outRead = nullptr, outWrite = nullptr;
  if (!CreatePipe(&inRead, &inWrite, nullptr, 0)) return L"no pipe: " + Trim(SysErrorMessage(GetLastError()));
  THandle childIn(inRead);
  AReader.Input.reset(inWrite);
  if (!CreatePipe(&outRead, &outWrite, nullptr, 1 << 20)) {
    return L"no pipe: " + Trim(SysErrorMessage(GetLastError()));
  }
  AReader.Output.reset(outRead);
  THandle childOut(outWrite);
  SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
  THandle nul(CreateFileW(L"NUL", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, OPEN_EXISTING, 0,
                          nullptr));
  SetHandleInformation(childIn.get(), HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
  SetHandleInformation(childOut.get(), HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);

  AReader.Program = AProgram;
  std::wstring commandLine = L"\"" + AProgram + L"\" " + kReaderSwitch;
  STARTUPINFOW startup = {sizeof(startup)};
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = childIn.get();
  startup.hStdOutput = childOut.get();
  startup.hStdError = nul ? nul.get() : childOut.get();
  // The reader inherits its three standard handles and nothing else this program may hold open
  // at the moment (a pipe of a script that runs Vantrel, say).
  HANDLE inherited[3] = {childIn.get(), childOut.get(), startup.hStdError};
  const DWORD inheritedCount = startup.hStdError == childOut.get() ? 2 : 3;
  SIZE_T attributesSize = 0;
  InitializeProcThreadAttributeList(nullptr, 1, 0, &attributesSize);
  std::vector<char> attributesBuffer(attributesSize);
  auto* attributes = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(attributesBuffer.data());
  bool limited = attributesSize && InitializeProcThreadAttributeList(attributes, 1, 0, &attributesSize) &&
                 UpdateProcThreadAttribute(attributes, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, inherited,
                                           inheritedCount * sizeof(HANDLE), nullptr, nullptr);
  TScopeExit release([&] {
    if (limited) DeleteProcThreadAttributeList(attributes);
  });
  STARTUPINFOEXW extended = {};
  extended.StartupInfo = startup;
  extended.StartupInfo.cb = sizeof(extended);
  extended.lpAttributeList = attributes;
  // Started suspended, with AToken when there is one.
  auto start = [&](HANDLE AToken, PROCESS_INFORMATION& AProcess) {
    auto create = [&](DWORD AFlags, STARTUPINFOW* AStartup) {
      return AToken ? CreateProcessAsUserW(AToken, AProgram.c_str(), commandLine.data(), nullptr, nullptr, TRUE,
                                           AFlags, nullptr, nullptr, AStartup, &AProcess)
                    : CreateProcessW(AProgram.c_str(), commandLine.data(), nullptr, nullptr, TRUE, AFlags, nullptr,
                                     nullptr, AStartup, &AProcess);
    };
    // Where the list is not supported, the reader inherits what is inheritable.
    return (limited && create(CREATE_SUSPENDED | EXTENDED_STARTUPINFO_PRESENT, &extended.StartupInfo)) ||
           create(CREATE_SUSPENDED, &startup);
  };

  // The job holds the reader before it runs an instruction of its own.
  if (AOptions.Sandbox) {
    TSandboxedProcess sandboxed;
    const std::wstring why = StartSandboxed(start, sandboxed);
    if (why.empty()) {
      AReader.Process = std::move(sandboxed.Process);
      AReader.Job = std::move(sandboxed.Job);
      AReader.Sandboxed = true;
      ResumeThread(sandboxed.Thread.get());
      return std::wstring();
    }
    if (!AOptions.AskUnsandboxed || !AOptions.AskUnsandboxed(why)) {
      return L"the sandbox of the reading process cannot be applied (" + why + L"), and the library is not read "
             L"without it";
    }
  }
  PROCESS_INFORMATION process = {};
  if (!start(nullptr, process)) {
    return L"the reading process cannot be started: " + Trim(SysErrorMessage(GetLastError()));
  }
  AReader.Process.reset(process.hProcess);
  THandle thread(process.hThread);

  // A job takes the reader down with this program, should this one end first.
  AReader.Job.reset(CreateJobObjectW(nullptr, nullptr));
  if (AReader.Job) {
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    if (!SetInformationJobObject(AReader.Job.get(), JobObjectExtendedLimitInformation, &limits, sizeof(limits)) ||
        !AssignProcessToJobObject(AReader.Job.get(), AReader.Process.get())) {
      AReader.Job.reset();
    }
  }
  ResumeThread(thread.get());
  return std::wstring();
}

// The reader started ahead of the next read, when the program keeps one.
std::unique_ptr<TStartedReader>& SpareReader() {
  static std::unique_ptr<TStartedReader> spare;
  return spare;
}

class TReaderRun {
 public:
  explicit TReaderRun(const TTypeLibReadOptions& AOptions) : FOptions(AOptions) {}
  // What went wrong, as a part of a sentence; empty when a record arrived.
  std::wstring Run(const std::string& ARequest, std::string& ARecord);
  DWORD ExitCode() const { return FExitCode; }
  // The caller cancelled the run; its reader was stopped.
  bool Cancelled() const { return FCancelled; }

 private:
  // A reader that has taken the request: the spare, else a new one.
  std::wstring Begin(const std::string& ARequest);
  // Waits for AHandle until the deadline: true when it was signalled; false when the time is up or
  // the caller cancelled (FCancelled says which). A caller's wait that returns early for another
  // reason is waited again.
  bool Wait(HANDLE AHandle);
  bool WaitOnce(HANDLE AHandle, DWORD ATimeout) {
    if (FOptions.Wait) return FOptions.Wait(AHandle, ATimeout);
    return WaitForSingleObject(AHandle, ATimeout) == WAIT_OBJECT_0;
  }
  // Asks the caller; once cancelled, always cancelled.
  bool CancelAsked() {
    if (!FCancelled && FOptions.Cancelled && FOptions.Cancelled()) FCancelled = true;
    return FCancelled;
  }
  DWORD Remaining() const {
    const ULONGLONG now = GetTickCount64();
    return now >= FDeadline ? 0 : static_cast<DWORD>(FDeadline - now);
  }
  // How long a stopped reader is waited for; the platform ends it well before.
  static constexpr DWORD kStopWait = 5000;
  // Ends the reader and whatever it started. When it returns the reader is gone, and with it its
  // end of the pipe (unless the platform takes longer than kStopWait).
  void Stop(DWORD AExitCode = ERROR_TIMEOUT) {
    if (FReader.Job) TerminateJobObject(FReader.Job.get(), AExitCode);
    TerminateProcess(FReader.Process.get(), AExitCode);
    if (FReader.Process) WaitForSingleObject(FReader.Process.get(), kStopWait);
  }
  // Ends the thread that receives the record, once the reader is stopped.
  static void EndCollecting(HANDLE AThread);

  const TTypeLibReadOptions& FOptions;
  TStartedReader FReader;
  ULONGLONG FDeadline = 0;
  DWORD FExitCode = 0;
  bool FSent = false;
  bool FCancelled = false;
};

std::wstring TReaderRun::Begin(const std::string& ARequest) {
  const std::wstring program = ReaderProgram(FOptions);
  std::unique_ptr<TStartedReader>& spare = SpareReader();
  if (FOptions.KeepSpare && spare && spare->Program == program && spare->Sandboxed == FOptions.Sandbox) {
    FReader = std::move(*spare);
    spare.reset();
    FDeadline = GetTickCount64() + FOptions.TimeLimit;
    // The request fits into the pipe's buffer: the write does not wait for the reader.
    if (WaitForSingleObject(FReader.Process.get(), 0) == WAIT_TIMEOUT && WriteAll(FReader.Input.get(), ARequest)) {
      FSent = true;
      FReader.Input.reset();
      return std::wstring();
    }
    // A spare that has gone: a new reader takes over.
    Stop();
    FReader = TStartedReader();
  }
  std::wstring failure = StartReader(program, FOptions, FReader);
  if (!failure.empty()) return failure;
  FDeadline = GetTickCount64() + FOptions.TimeLimit;
  FSent = WriteAll(FReader.Input.get(), ARequest);
  FReader.Input.reset();
  return std::wstring();
}

bool TReaderRun::Wait(HANDLE AHandle) {
  for (;;) {
    if (CancelAsked()) return false;
    const DWORD remaining = Remaining();
    if (WaitOnce(AHandle, remaining)) return true;
    if (remaining == 0 || Remaining() == 0) {
      // A cancel that comes with the limit counts: the user asked for the end.
      CancelAsked();
      return false;
    }
  }
}

void TReaderRun::EndCollecting(HANDLE AThread) {
  // The pipe breaks when the reader is gone; should something else hold it open, the receive is
  // cancelled.
  if (WaitForSingleObject(AThread, 5000) == WAIT_OBJECT_0) return;
  // A cancel that arrives between two reads cancels nothing: it is asked again until the receive
  // has ended.
  do {
    CancelSynchronousIo(AThread);
  } while (WaitForSingleObject(AThread, 50) != WAIT_OBJECT_0);
}

std::wstring TReaderRun::Run(const std::string& ARequest, std::string& ARecord) {
  // A read cancelled before it began starts no reader.
  if (CancelAsked()) return L"it was cancelled";
  std::wstring failure = Begin(ARequest);
  if (!failure.empty()) return failure;

  TRecordCollector collector;
  collector.Pipe = FReader.Output.get();
  THandle collecting(CreateThread(nullptr, 0, &TRecordCollector::Run, &collector, 0, nullptr));
  if (!collecting) {
    Stop();
    return L"no thread to receive the record: " + Trim(SysErrorMessage(GetLastError()));
  }
  const bool received = Wait(collecting.get());
  // A whole record counts, whatever happens to the reader after it was sent: its end is not
  // waited for.
  const bool whole = received && !collector.TooLarge && collector.Data.size() >= 4 &&
                     collector.Data.compare(collector.Data.size() - 4, 4, "END.") == 0;
  if (whole) {
    ARecord = std::move(collector.Data);
    return std::wstring();
  }
  // A reader that sends too much is stopped at once, not waited for.
  const bool finished = received && !collector.TooLarge && Wait(FReader.Process.get());
  if (!finished || collector.TooLarge) {
    Stop(FCancelled ? ERROR_CANCELLED : ERROR_TIMEOUT);
    EndCollecting(collecting.get());
    if (FCancelled) return L"it was cancelled";
    if (collector.TooLarge) return L"the reading process sent more data than any library holds";
    return L"reading it took longer than " + DurationText(FOptions.TimeLimit) + L", and it was stopped";
  }
  ARecord = std::move(collector.Data);
  GetExitCodeProcess(FReader.Process.get(), &FExitCode);
  if (FExitCode != 0) return ExitText(FExitCode);
  if (!FSent) return L"the reading process did not take the request";
  return std::wstring();
}

}  // namespace

std::string TypeLibReaderRequest(const TObjectData& AData, TRegView AView, DWORD ATimeLimit) {
  std::string out(kRequestMagic, sizeof(kRequestMagic));
  AppendU32(out, kRequestVersion);
  AppendU32(out, AView == TRegView::rv64 ? 64 : 32);
  AppendText(out, AData.TypeLib);
  AppendU32(out, AData.MajorVersion);
  AppendU32(out, AData.MinorVersion);
  AppendU32(out, ATimeLimit);
  AppendText(out, AData.Server);
  return out;
}

TTypeLibReadOptions& TypeLibReaderDefaults() {
  static TTypeLibReadOptions options;
  return options;
}

TTypeLibRead ReadTypeLibrary(const TObjectData& AData, TRegView AView) {
  return ReadTypeLibrary(AData, AView, TypeLibReaderDefaults());
}

void PrepareTypeLibReader(const TTypeLibReadOptions& AOptions) {
  std::unique_ptr<TStartedReader>& spare = SpareReader();
  if (!AOptions.KeepSpare) return;
  const std::wstring program = ReaderProgram(AOptions);
  if (spare && spare->Program == program && spare->Sandboxed == AOptions.Sandbox &&
      WaitForSingleObject(spare->Process.get(), 0) == WAIT_TIMEOUT) {
    return;
  }
  // A spare is sandboxed or not started: whether to read without the sandbox is asked by a read.
  TTypeLibReadOptions options = AOptions;
  options.AskUnsandboxed = nullptr;
  auto reader = std::make_unique<TStartedReader>();
  // Without a spare the next read starts its own reader.
  spare = StartReader(program, options, *reader).empty() ? std::move(reader) : nullptr;
}

DWORD SpareTypeLibReaderId() {
  const std::unique_ptr<TStartedReader>& spare = SpareReader();
  return spare ? GetProcessId(spare->Process.get()) : 0;
}

bool IsTypeLibReaderCall(const TStringList& AParams) {
  return AParams.size() == 1 && AParams[0] == kReaderSwitch;
}

std::wstring TypeLibrarySourceName(const TObjectData& AData, TRegView AView) {
  if (!IsBlankText(AData.TypeLib)) {
    const std::wstring path =
        RegisteredLibraryPath(Trim(AData.TypeLib), static_cast<WORD>(AData.MajorVersion & 0xFFFF),
                              static_cast<WORD>(AData.MinorVersion & 0xFFFF), AView);
    if (!path.empty()) return ViewFilePath(path, AView);
  }
  const std::wstring file = SplitServerCommand(AData.Server, AView).Path;
  if (IsBlankText(file)) return Trim(AData.TypeLib);
  const std::wstring found = LocateTypeLibraryFile(file, AView);
  return found.empty() ? ViewFilePath(file, AView) : found;
}

TTypeLibRead ReadTypeLibrary(const TObjectData& AData, TRegView AView, const TTypeLibReadOptions& AOptions) {
  // A malformed GUID is the caller's error, raised as the load in this process raised it.
  if (!IsBlankText(AData.TypeLib)) StringToGUID(AData.TypeLib);
  TTypeLibRead result;
  std::string record;
  TReaderRun run(AOptions);
  std::wstring failure = run.Run(TypeLibReaderRequest(AData, AView, AOptions.TimeLimit), record);
  if (run.Cancelled()) {
    // The user's own doing: said in short, for a caller that shows nothing for it.
    result.Cancelled = true;
    result.LoadResult = E_ABORT;
    result.Message = L"Reading the type library \"" + TypeLibrarySourceName(AData, AView) + L"\" was cancelled.";
    return result;
  }
  if (failure.empty()) {
    try {
      TSnapshotContent content = ReplayTypeLibrary(record);
      result.LoadResult = content.LoadResult;
      result.Library = std::move(content.Library);
      if (!content.FailureText.empty()) {
        failure = content.FailureText;
      } else if (FAILED(content.LoadResult)) {
        result.Message = LoadErrorText(content.LoadResult);
        return result;
      } else {
        return result;
      }
    } catch (const ESnapshotError& e) {
      failure = run.ExitCode() != 0 ? ExitText(run.ExitCode())
                                    : L"the reading process sent a damaged record (" + e.Reason() + L")";
    }
  }
  result.Library.reset();
  if (SUCCEEDED(result.LoadResult)) result.LoadResult = E_FAIL;
  result.Message = L"Cannot read the type library \"" + TypeLibrarySourceName(AData, AView) + L"\": " + failure + L".";
  return result;
}

int RunTypeLibReader(const TTypeLibLoad& ALoad) {
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
  SetUnhandledExceptionFilter(&EndOnException);
  std::string requestData;
  TRequest request;
  if (!ReadAll(GetStdHandle(STD_INPUT_HANDLE), requestData, kMaxRequestSize) ||
      !DecodeRequest(requestData, request)) {
    return 2;
  }
  // Should the parent be gone, nobody stops a reader that hangs: it ends itself a little later.
  THandle watchdog;
  if (request.TimeLimit < INFINITE - kWatchdogGrace) {
    const uintptr_t grace = static_cast<uintptr_t>(request.TimeLimit) + kWatchdogGrace;
    watchdog.reset(CreateThread(nullptr, 0, &Watchdog, reinterpret_cast<void*>(grace), 0, nullptr));
  }

  // The record goes out as soon as it is made; the library and COM are never released: once the
  // pipe is closed the process ends at once, without a clean-up nobody waits for.
  auto send = [](const std::string& ARecord) {
    HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
    const bool sent = WriteAll(output, ARecord);
    CloseHandle(output);
    TerminateProcess(GetCurrentProcess(), sent ? 0 : 3);
    return sent ? 0 : 3;
  };
  std::string record;
  try {
    TComInit com;
    TComPtr<ITypeLib> library;
    HRESULT hr = ALoad ? ALoad(request.Data, library, request.View)
                       : LoadTypeLibraryFor(request.Data, library, request.View);
    return send(FAILED(hr) ? RecordLoadFailure(hr) : RecordTypeLibrary(library.get()));
  } catch (const std::exception& e) {
    record = RecordFailureText(ExceptionMessage(e));
  }
  return send(record);
}

}  // namespace vantrel
