#include "typelib/ReaderSandbox.h"

#include <vector>

#include "base/Zarvek_SysUtils.h"

namespace vantrel {

namespace {

TSandboxStep& Fault() {
  static TSandboxStep fault = TSandboxStep::ssNone;
  return fault;
}

// True when the test hook makes AStep fail; the failure then reads as the platform's refusal.
bool Faulted(TSandboxStep AStep) {
  if (Fault() != AStep) return false;
  SetLastError(ERROR_ACCESS_DENIED);
  return true;
}

// The system's text for ACode as a phrase inside a sentence; the number where it has none.
std::wstring ErrorText(DWORD ACode) {
  const std::wstring text = SysErrorPhrase(ACode);
  return text.empty() ? L"error " + UIntToStr(ACode) : text;
}

// AWhat with the text of the last error.
std::wstring Failure(const wchar_t* AWhat) { return std::wstring(AWhat) + L": " + ErrorText(GetLastError()); }

// What GetTokenInformation answers for AClass; empty when it answers nothing.
std::vector<BYTE> TokenInformation(HANDLE AToken, TOKEN_INFORMATION_CLASS AClass) {
  DWORD size = 0;
  GetTokenInformation(AToken, AClass, nullptr, 0, &size);
  std::vector<BYTE> data(size);
  if (size == 0 || !GetTokenInformation(AToken, AClass, data.data(), size, &size)) data.clear();
  return data;
}

// A well-known SID in a buffer of its own.
struct TWellKnownSid {
  explicit TWellKnownSid(WELL_KNOWN_SID_TYPE AType) {
    DWORD size = sizeof(FData);
    Valid = CreateWellKnownSid(AType, nullptr, FData, &size);
  }
  PSID get() { return FData; }
  bool Valid = false;

 private:
  BYTE FData[SECURITY_MAX_SID_SIZE];
};

// The reader's token: this process's own, with every privilege but the bypass of traverse checks
// deleted, the Administrators group for denying only, access checked a second time against a
// short list of SIDs, at low integrity.
std::wstring CreateReaderToken(THandle& AToken) {
  THandle own;
  if (Faulted(TSandboxStep::ssToken) ||
      !OpenProcessToken(GetCurrentProcess(), TOKEN_DUPLICATE | TOKEN_QUERY | TOKEN_ASSIGN_PRIMARY | TOKEN_ADJUST_DEFAULT,
                        own.put())) {
    return Failure(L"no restricted token");
  }
  // Named one by one as well: Wine ignores DISABLE_MAX_PRIVILEGE but deletes what is named.
  std::vector<BYTE> privilegeData = TokenInformation(own.get(), TokenPrivileges);
  std::vector<LUID_AND_ATTRIBUTES> deleted;
  LUID changeNotify = {};
  LookupPrivilegeValueW(nullptr, SE_CHANGE_NOTIFY_NAME, &changeNotify);
  if (!privilegeData.empty()) {
    const auto* privileges = reinterpret_cast<const TOKEN_PRIVILEGES*>(privilegeData.data());
    for (DWORD i = 0; i < privileges->PrivilegeCount; ++i) {
      const LUID& luid = privileges->Privileges[i].Luid;
      if (luid.LowPart != changeNotify.LowPart || luid.HighPart != changeNotify.HighPart) {
        deleted.push_back(privileges->Privileges[i]);
      }
    }
  }
  TWellKnownSid administrators(WinBuiltinAdministratorsSid);
  SID_AND_ATTRIBUTES denyOnly[1] = {{administrators.get(), 0}};

  // The user's own SID is among the restricting ones, so that the reader reads every file and key
  // the user may read (the library the user picked, wherever it is); what keeps it from writing is
  // the low integrity level. Everything given through other groups (Administrators and the rest)
  // is refused.
  std::vector<BYTE> userData = TokenInformation(own.get(), TokenUser);
  std::vector<BYTE> groupData = TokenInformation(own.get(), TokenGroups);
  TWellKnownSid everyone(WinWorldSid), users(WinBuiltinUsersSid), authenticated(WinAuthenticatedUserSid),
      restrictedCode(WinRestrictedCodeSid);
  std::vector<SID_AND_ATTRIBUTES> restricting;
  if (!userData.empty()) restricting.push_back({reinterpret_cast<TOKEN_USER*>(userData.data())->User.Sid, 0});
  // The logon session's SID opens the window station and desktop, without which user32 fails to
  // start in the reader.
  if (!groupData.empty()) {
    const auto* groups = reinterpret_cast<const TOKEN_GROUPS*>(groupData.data());
    for (DWORD i = 0; i < groups->GroupCount; ++i) {
      if ((groups->Groups[i].Attributes & SE_GROUP_LOGON_ID) == SE_GROUP_LOGON_ID) {
        restricting.push_back({groups->Groups[i].Sid, 0});
      }
    }
  }
  for (TWellKnownSid* sid : {&everyone, &users, &authenticated, &restrictedCode}) {
    if (sid->Valid) restricting.push_back({sid->get(), 0});
  }
  if (userData.empty() || !administrators.Valid ||
      !CreateRestrictedToken(own.get(), DISABLE_MAX_PRIVILEGE, 1, denyOnly, static_cast<DWORD>(deleted.size()),
                             deleted.data(), static_cast<DWORD>(restricting.size()), restricting.data(),
                             AToken.put())) {
    return Failure(L"no restricted token");
  }

  TWellKnownSid low(WinLowLabelSid);
  TOKEN_MANDATORY_LABEL label = {};
  label.Label.Attributes = SE_GROUP_INTEGRITY;
  label.Label.Sid = low.get();
  if (Faulted(TSandboxStep::ssIntegrity) || !low.Valid ||
      !SetTokenInformation(AToken.get(), TokenIntegrityLevel, &label, sizeof(label) + GetLengthSid(low.get()))) {
    return Failure(L"the token's integrity level cannot be set to low");
  }
  return std::wstring();
}

std::wstring CreateReaderJob(THandle& AJob) {
  if (!Faulted(TSandboxStep::ssJob)) AJob.reset(CreateJobObjectW(nullptr, nullptr));
  if (!AJob) return Failure(L"no job object");
  JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
  limits.BasicLimitInformation.LimitFlags = kReaderJobLimits;
  limits.BasicLimitInformation.ActiveProcessLimit = 1;
  limits.ProcessMemoryLimit = kReaderMemoryLimit;
  if (Faulted(TSandboxStep::ssJobLimits) ||
      !SetInformationJobObject(AJob.get(), JobObjectExtendedLimitInformation, &limits, sizeof(limits))) {
    return Failure(L"the job's limits cannot be set");
  }
  JOBOBJECT_BASIC_UI_RESTRICTIONS ui = {kReaderUIRestrictions};
  if (Faulted(TSandboxStep::ssUIRestrictions) ||
      !SetInformationJobObject(AJob.get(), JobObjectBasicUIRestrictions, &ui, sizeof(ui))) {
    return Failure(L"the job's desktop and clipboard restrictions cannot be set");
  }
  return std::wstring();
}

std::wstring YesNo(bool AValue) { return AValue ? L"yes" : L"no"; }

}  // namespace

std::wstring StartSandboxed(const std::function<bool(HANDLE AToken, PROCESS_INFORMATION& AProcess)>& AStart,
                            TSandboxedProcess& AResult) {
  THandle token, job;
  std::wstring failure = CreateReaderToken(token);
  if (failure.empty()) failure = CreateReaderJob(job);
  if (!failure.empty()) return failure;
  PROCESS_INFORMATION process = {};
  if (Faulted(TSandboxStep::ssStart) || !AStart(token.get(), process)) {
    return Failure(L"the process cannot be started with the restricted token");
  }
  THandle started(process.hProcess), thread(process.hThread);
  if (Faulted(TSandboxStep::ssAssign) || !AssignProcessToJobObject(job.get(), started.get())) {
    failure = Failure(L"the process cannot be put into its job");
    // Still suspended: it ends without having run.
    TerminateProcess(started.get(), ERROR_ACCESS_DENIED);
    return failure;
  }
  AResult.Process = std::move(started);
  AResult.Thread = std::move(thread);
  AResult.Job = std::move(job);
  return std::wstring();
}

TStringList DescribeReaderSandbox() {
  TStringList lines;
  THandle token;
  OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.put());
  std::vector<BYTE> data = TokenInformation(token.get(), TokenIntegrityLevel);
  if (data.empty()) {
    lines.push_back(L"integrity=unknown (" + ErrorText(GetLastError()) + L")");
  } else {
    PSID sid = reinterpret_cast<TOKEN_MANDATORY_LABEL*>(data.data())->Label.Sid;
    const UCHAR count = *GetSidSubAuthorityCount(sid);
    lines.push_back(L"integrity=" + UIntToStr(count ? *GetSidSubAuthority(sid, count - 1u) : 0));
  }
  lines.push_back(L"restricted=" + YesNo(IsTokenRestricted(token.get())));
  std::wstring names;
  data = TokenInformation(token.get(), TokenPrivileges);
  if (!data.empty()) {
    const auto* privileges = reinterpret_cast<const TOKEN_PRIVILEGES*>(data.data());
    for (DWORD i = 0; i < privileges->PrivilegeCount; ++i) {
      wchar_t name[128];
      DWORD length = 128;
      LUID luid = privileges->Privileges[i].Luid;
      if (!LookupPrivilegeNameW(nullptr, &luid, name, &length)) continue;
      names += (names.empty() ? L"" : L",") + std::wstring(name, length);
    }
  }
  lines.push_back(L"privileges=" + names);
  TWellKnownSid administrators(WinBuiltinAdministratorsSid);
  BOOL member = FALSE;
  if (administrators.Valid && CheckTokenMembership(nullptr, administrators.get(), &member)) {
    lines.push_back(L"administrators=" + YesNo(member));
  } else {
    lines.push_back(L"administrators=unknown (" + ErrorText(GetLastError()) + L")");
  }

  BOOL inJob = FALSE;
  IsProcessInJob(GetCurrentProcess(), nullptr, &inJob);
  lines.push_back(L"job=" + YesNo(inJob));
  JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
  if (QueryInformationJobObject(nullptr, JobObjectExtendedLimitInformation, &limits, sizeof(limits), nullptr)) {
    lines.push_back(L"job.limits=0x" + IntToHex(limits.BasicLimitInformation.LimitFlags));
    lines.push_back(L"job.activeprocesses=" + UIntToStr(limits.BasicLimitInformation.ActiveProcessLimit));
    lines.push_back(L"job.processmemory=" + UIntToStr(limits.ProcessMemoryLimit));
  } else {
    lines.push_back(L"job.limits=unknown (" + ErrorText(GetLastError()) + L")");
  }
  JOBOBJECT_BASIC_UI_RESTRICTIONS ui = {};
  if (QueryInformationJobObject(nullptr, JobObjectBasicUIRestrictions, &ui, sizeof(ui), nullptr)) {
    lines.push_back(L"job.ui=0x" + IntToHex(ui.UIRestrictionsClass));
  } else {
    lines.push_back(L"job.ui=unknown (" + ErrorText(GetLastError()) + L")");
  }
  return lines;
}

void SetReaderSandboxFault(TSandboxStep AStep) { Fault() = AStep; }

}  // namespace vantrel
