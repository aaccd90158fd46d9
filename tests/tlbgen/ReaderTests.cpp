// Reading a library in a child process: the built program reads files and registrations as the
// loader in this process would, and whatever happens to a reader ends in a message that names
// the library.
#include <gtest/gtest.h>

#include "base/Zarvek_Handles.h"
#include "base/Zarvek_SysUtils.h"
#include "tests/support/RegistryFixture.h"
#include "tests/support/TestSupport.h"
#include "tests/tlbgen/GeneratorTestSupport.h"
#include "tests/support/TestPaths.h"
#include "typelib/TypeLibLoader.h"
#include "typelib/TypeLibReader.h"

using namespace vantrel;
using namespace vantrel::test;

namespace {

// The faulty reader, doing what AFault says, for as long as the object lives.
class TFaultyReader {
 public:
  explicit TFaultyReader(const wchar_t* AFault) { SetEnvironmentVariableW(L"VANTREL_TEST_READER_FAULT", AFault); }
  ~TFaultyReader() { SetEnvironmentVariableW(L"VANTREL_TEST_READER_FAULT", nullptr); }
  TFaultyReader(const TFaultyReader&) = delete;
  TFaultyReader& operator=(const TFaultyReader&) = delete;

  static TTypeLibReadOptions Options(DWORD ATimeLimit = 30000) {
    TTypeLibReadOptions options;
    options.Program = WindowsPath(kFaultyReader);
    options.TimeLimit = ATimeLimit;
    return options;
  }
};

TObjectData FileRecord(const std::wstring& APath) {
  TObjectData data;
  data.Server = APath;
  return data;
}

}  // namespace

TEST(TypeLibReader, FileReadByTheProgramGivesTheUnitOfTheLoadedLibrary) {
  TComInit com;
  for (const std::wstring& path : {FixturePath(L"Shapes.tlb"), SystemDirectoryPath() + L"mshtml.tlb"}) {
    const TObjectData data = FileRecord(path);
    TTypeLibRead read = ReadTypeLibrary(data, ProcessRegView());
    ASSERT_TRUE(read.Library) << WideToCodePage(read.Message, CP_UTF8);
    EXPECT_EQ(read.LoadResult, S_OK);
    TComPtr<ITypeLib> loaded;
    ASSERT_EQ(LoadTypeLibraryFile(path, loaded), S_OK);
    EXPECT_EQ(Joined(GenerateUnit(read.Library.get(), data).Lines), Joined(GenerateUnit(loaded.get(), data).Lines));
  }
}

TEST(TypeLibReader, RegisteredLibraryIsReadInTheRequestedView) {
  if (!Is64BitWindows()) GTEST_SKIP() << "one registry view only";
  TRegistryFixture reg;
  TOtherViewLibrary library(reg);
  ASSERT_FALSE(FileExists(SystemDirectoryPath() + ExtractFileName(library.File())));
  TObjectData data;
  data.TypeLib = library.Guid();
  data.MajorVersion = 1;

  TTypeLibRead own = ReadTypeLibrary(data, ProcessRegView());
  EXPECT_FALSE(own.Library);
  // A 64-bit process falls back to the win32 registration, whose file its own folder lacks.
  if (ProcessRegView() == TRegView::rv32) {
    EXPECT_EQ(own.LoadResult, TYPE_E_LIBNOTREGISTERED);
    EXPECT_EQ(own.Message, LoadErrorText(TYPE_E_LIBNOTREGISTERED));
  } else {
    EXPECT_TRUE(FAILED(own.LoadResult));
    EXPECT_EQ(own.Message, LoadErrorText(own.LoadResult));
  }
  TTypeLibRead other = ReadTypeLibrary(data, OtherRegView());
  ASSERT_TRUE(other.Library) << WideToCodePage(other.Message, CP_UTF8);
  TBstr libName;
  EXPECT_EQ(other.Library->GetDocumentation(-1, libName.put(), nullptr, nullptr, nullptr), S_OK);
  EXPECT_EQ(libName.str(), L"ShapesLib");
  EXPECT_EQ(TypeLibrarySourceName(data, OtherRegView()), library.File());
}

TEST(TypeLibReader, LoadFailuresKeepTheLoadersMessage) {
  TTempDir folder;
  const std::wstring notALibrary = folder.File(L"not-a-library.tlb");
  WriteFileText(notALibrary, std::string(64, 'x'));
  TComPtr<ITypeLib> loaded;
  const HRESULT expected = LoadTypeLibraryFile(notALibrary, loaded);
  ASSERT_TRUE(FAILED(expected));
  TTypeLibRead read = ReadTypeLibrary(FileRecord(notALibrary), ProcessRegView());
  EXPECT_FALSE(read.Library);
  EXPECT_EQ(read.LoadResult, expected);
  EXPECT_EQ(read.Message, LoadErrorText(expected));
}

TEST(TypeLibReader, MalformedGuidIsRaisedBeforeAReaderStarts) {
  TObjectData data;
  data.TypeLib = L"{not a guid}";
  TFaultyReader reader(L"exit");
  EXPECT_THROW(ReadTypeLibrary(data, ProcessRegView(), TFaultyReader::Options()), EConvertError);
}

// Every way a reader can fail ends in a message that names the file and says what happened; the
// caller gets no library and goes on.
TEST(TypeLibReader, FailingReadersEndInAMessageNamingTheLibrary) {
  const std::wstring path = FixturePath(L"Shapes.tlb");
  const std::wstring head = L"Cannot read the type library \"" + path + L"\": ";
  const struct {
    const wchar_t* Fault;
    DWORD TimeLimit;
    std::wstring Message;
  } cases[] = {
      {L"crash", 30000, head + L"the reading process crashed (exception 0xC0000005, access violation)."},
      {L"walkcrash", 30000, head + L"the reading process crashed (exception 0xC0000005, access violation)."},
      {L"exit", 30000, head + L"the reading process ended with exit code 7."},
      {L"hang", 1500, head + L"reading it took longer than 1500 ms, and it was stopped."},
      {L"throw", 30000, head + L"the loader gave up."},
      {L"partial", 30000, head + L"the reading process sent a damaged record (it ends too early)."},
      {L"garbage", 30000, head + L"the reading process sent a damaged record (a number is too large)."},
      {L"flood", 30000, head + L"the reading process sent more data than any library holds."},
  };
  for (const auto& c : cases) {
    TFaultyReader reader(c.Fault);
    const ULONGLONG start = GetTickCount64();
    TTypeLibRead read = ReadTypeLibrary(FileRecord(path), ProcessRegView(), TFaultyReader::Options(c.TimeLimit));
    const ULONGLONG took = GetTickCount64() - start;
    EXPECT_FALSE(read.Library) << WideToCodePage(c.Fault, CP_UTF8);
    EXPECT_TRUE(FAILED(read.LoadResult)) << WideToCodePage(c.Fault, CP_UTF8);
    EXPECT_EQ(read.Message, c.Message) << WideToCodePage(c.Fault, CP_UTF8);
    // A generous bound: the reader is stopped at its limit, not at some platform time-out.
    EXPECT_LT(took, c.TimeLimit + 20000u) << WideToCodePage(c.Fault, CP_UTF8);
  }
}

TEST(TypeLibReader, TheWaitIsTheCallersAndItsMessagesAreHandled) {
  TFaultyReader reader(L"hang");
  TTypeLibReadOptions options = TFaultyReader::Options(1000);
  int waits = 0;
  options.Wait = [&](HANDLE AHandle, DWORD ATimeout) {
    ++waits;
    return WaitForSingleObject(AHandle, ATimeout) == WAIT_OBJECT_0;
  };
  TTypeLibRead read = ReadTypeLibrary(FileRecord(FixturePath(L"Shapes.tlb")), ProcessRegView(), options);
  EXPECT_FALSE(read.Library);
  EXPECT_GE(waits, 1);
}

// A cancel ends the read at once: its reader is gone when the read returns, and the read says it
// was cancelled, not that it failed. The limit is far off: only the cancel can end the read soon.
TEST(TypeLibReader, ACancelEndsTheReaderAndTheReadSaysItWasCancelled) {
  TFaultyReader reader(L"hang");
  const std::wstring path = FixturePath(L"Shapes.tlb");
  const std::wstring readerFile = ExtractFileName(WindowsPath(kFaultyReader));
  TTypeLibReadOptions options = TFaultyReader::Options(60000);
  bool cancelled = false;
  int waitsAfterCancel = 0;
  THandle child;
  options.Cancelled = [&] { return cancelled; };
  options.Wait = [&](HANDLE AHandle, DWORD ATimeout) {
    if (cancelled) {
      ++waitsAfterCancel;
      return WaitForSingleObject(AHandle, ATimeout) == WAIT_OBJECT_0;
    }
    // The user cancels while the reader runs; the wait returns early, as a window's does then.
    const std::vector<DWORD> ids = ChildProcessIds(readerFile);
    if (ids.size() == 1) child.reset(OpenProcess(SYNCHRONIZE, FALSE, ids[0]));
    cancelled = true;
    return false;
  };
  TTypeLibRead read = ReadTypeLibrary(FileRecord(path), ProcessRegView(), options);
  ASSERT_TRUE(child) << "no reader was seen running";
  EXPECT_EQ(WaitForSingleObject(child.get(), 0), WAIT_OBJECT_0) << "the reader still runs";
  EXPECT_TRUE(ChildProcessIds(readerFile).empty());
  EXPECT_EQ(waitsAfterCancel, 0);
  EXPECT_TRUE(read.Cancelled);
  EXPECT_FALSE(read.Library);
  EXPECT_EQ(read.LoadResult, E_ABORT);
  EXPECT_EQ(read.Message, L"Reading the type library \"" + path + L"\" was cancelled.");

  // A cancel that comes before the read starts no reader and waits for nothing.
  int waits = 0;
  options.Cancelled = [] { return true; };
  options.Wait = [&](HANDLE, DWORD) {
    ++waits;
    return false;
  };
  read = ReadTypeLibrary(FileRecord(path), ProcessRegView(), options);
  EXPECT_TRUE(read.Cancelled);
  EXPECT_EQ(waits, 0);
  EXPECT_TRUE(ChildProcessIds(readerFile).empty());

  // A read nobody cancels is no cancelled one, also when it fails.
  options = TFaultyReader::Options(500);
  options.Cancelled = [] { return false; };
  read = ReadTypeLibrary(FileRecord(path), ProcessRegView(), options);
  EXPECT_FALSE(read.Cancelled);
  EXPECT_EQ(read.Message, L"Cannot read the type library \"" + path + L"\": reading it took longer than 500 ms, and it was stopped.");
}

TEST(TypeLibReader, AReaderNobodyStopsEndsItselfAfterItsLimit) {
  // The reader started directly, as if its parent had gone: it ends itself a little after the
  // limit its request gives.
  TFaultyReader reader(L"hang");
  TObjectData data = FileRecord(FixturePath(L"Shapes.tlb"));
  HANDLE inRead = nullptr, inWrite = nullptr;
  SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
  ASSERT_TRUE(CreatePipe(&inRead, &inWrite, &inherit, 0));
  THandle childIn(inRead), parentIn(inWrite);
  SetHandleInformation(parentIn.get(), HANDLE_FLAG_INHERIT, 0);
  // The request as the program writes it, with a limit of 200 ms.
  const std::string request = TypeLibReaderRequest(data, ProcessRegView(), 200);

  std::wstring program = WindowsPath(kFaultyReader);
  std::wstring commandLine = L"\"" + program + L"\" /TypeLibReader";
  STARTUPINFOW startup = {sizeof(startup)};
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = childIn.get();
  PROCESS_INFORMATION info = {};
  ASSERT_TRUE(CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                             &startup, &info));
  THandle process(info.hProcess), thread(info.hThread);
  childIn.reset();
  DWORD written = 0;
  WriteFile(parentIn.get(), request.data(), static_cast<DWORD>(request.size()), &written, nullptr);
  parentIn.reset();
  ASSERT_EQ(WaitForSingleObject(process.get(), 30000), WAIT_OBJECT_0);
  DWORD exitCode = 0;
  GetExitCodeProcess(process.get(), &exitCode);
  EXPECT_EQ(exitCode, static_cast<DWORD>(ERROR_TIMEOUT));
}

TEST(TypeLibReader, ASpareReaderServesTheNextReadAndAGoneOneIsReplaced) {
  TTypeLibReadOptions options = TypeLibReaderDefaults();
  options.KeepSpare = true;
  PrepareTypeLibReader(options);
  const DWORD spare = SpareTypeLibReaderId();
  ASSERT_NE(spare, 0u);
  // Asked again, the waiting one stays.
  PrepareTypeLibReader(options);
  EXPECT_EQ(SpareTypeLibReaderId(), spare);
  TTypeLibRead read = ReadTypeLibrary(FileRecord(FixturePath(L"Shapes.tlb")), ProcessRegView(), options);
  EXPECT_TRUE(read.Library) << WideToCodePage(read.Message, CP_UTF8);
  EXPECT_EQ(SpareTypeLibReaderId(), 0u);

  // A spare that has ended by the time of the read: a new reader takes the request.
  TTypeLibReadOptions faulty = TFaultyReader::Options();
  faulty.KeepSpare = true;
  {
    TFaultyReader quitting(L"quit");
    PrepareTypeLibReader(faulty);
  }
  THandle gone(OpenProcess(SYNCHRONIZE, FALSE, SpareTypeLibReaderId()));
  ASSERT_TRUE(gone);
  ASSERT_EQ(WaitForSingleObject(gone.get(), 30000), WAIT_OBJECT_0);
  TFaultyReader crashing(L"crash");
  read = ReadTypeLibrary(FileRecord(FixturePath(L"Shapes.tlb")), ProcessRegView(), faulty);
  EXPECT_NE(read.Message.find(L"crashed (exception 0xC0000005"), std::wstring::npos)
      << WideToCodePage(read.Message, CP_UTF8);

  // Reads that keep no spare leave none behind.
  read = ReadTypeLibrary(FileRecord(FixturePath(L"Shapes.tlb")), ProcessRegView());
  EXPECT_EQ(SpareTypeLibReaderId(), 0u);
}

TEST(TypeLibReader, AReaderHoldsNoHandleItWasNotGiven) {
  // A pipe whose writing end this program could hand to any child: once we close our copy, its
  // reading end is broken unless a reader holds another copy.
  SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
  HANDLE readEnd = nullptr, writeEnd = nullptr;
  ASSERT_TRUE(CreatePipe(&readEnd, &writeEnd, &inherit, 0));
  THandle reading(readEnd), writing(writeEnd);
  TTypeLibReadOptions options = TypeLibReaderDefaults();
  options.KeepSpare = true;
  // A spare started before the pipe existed would prove nothing: it is used up first.
  if (SpareTypeLibReaderId() != 0) ReadTypeLibrary(FileRecord(FixturePath(L"Shapes.tlb")), ProcessRegView(), options);
  PrepareTypeLibReader(options);
  ASSERT_NE(SpareTypeLibReaderId(), 0u);
  writing.reset();
  DWORD available = 0;
  EXPECT_FALSE(PeekNamedPipe(reading.get(), nullptr, 0, nullptr, &available, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_BROKEN_PIPE));
  // The spare still serves its read.
  TTypeLibRead result = ReadTypeLibrary(FileRecord(FixturePath(L"Shapes.tlb")), ProcessRegView(), options);
  EXPECT_TRUE(result.Library) << WideToCodePage(result.Message, CP_UTF8);
}
