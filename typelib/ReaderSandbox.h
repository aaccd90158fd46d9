// The type library reader's sandbox: a restricted token at low integrity and a job that holds the
// reader alone, caps its memory and keeps it off the desktop and the clipboard. A reader that a
// hostile library has taken over can still read, but can change nothing that belongs to the user.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "base/Zarvek_Handles.h"
#include "base/Zarvek_StrUtils.h"

namespace vantrel {

// The job's limits: the reader alone, its memory capped, ended with the program and on a crash.
inline constexpr DWORD kReaderJobLimits = JOB_OBJECT_LIMIT_ACTIVE_PROCESS | JOB_OBJECT_LIMIT_PROCESS_MEMORY |
                                          JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE |
                                          JOB_OBJECT_LIMIT_DIE_ON_UNHANDLED_EXCEPTION;
// The reader's committed memory at most. Reading the largest library Wine installs (mshtml.tlb)
// peaks at 21 MB committed and 43 MB in the working set (an empty read: 12 and 32 MB), measured
// under Wine: a margin of over 10 times, and room for the largest record the program takes (64 MB)
// while it grows.
inline constexpr SIZE_T kReaderMemoryLimit = SIZE_T(512) << 20;
// No desktop, clipboard, global atoms, system settings, display settings, log-off, nor windows
// of processes outside the job.
inline constexpr DWORD kReaderUIRestrictions =
    JOB_OBJECT_UILIMIT_DESKTOP | JOB_OBJECT_UILIMIT_READCLIPBOARD | JOB_OBJECT_UILIMIT_WRITECLIPBOARD |
    JOB_OBJECT_UILIMIT_HANDLES | JOB_OBJECT_UILIMIT_GLOBALATOMS | JOB_OBJECT_UILIMIT_SYSTEMPARAMETERS |
    JOB_OBJECT_UILIMIT_DISPLAYSETTINGS | JOB_OBJECT_UILIMIT_EXITWINDOWS;

// What a sandbox is made of, step by step; a step that fails names the failure.
enum class TSandboxStep { ssNone, ssToken, ssIntegrity, ssJob, ssJobLimits, ssUIRestrictions, ssStart, ssAssign };

// A process started in a sandbox, still suspended: nothing of it has run. Closing Job ends it.
struct TSandboxedProcess {
  THandle Process, Thread, Job;
};

// Makes the reader's token and job, has AStart start a process suspended with the token
// (CreateProcessAsUserW with CREATE_SUSPENDED and the caller's other arguments) and puts the process
// into the job; the caller resumes it. Returns what failed, as a part of a sentence ("no restricted
// token: ..."), or empty; after a failure nothing of the process has run.
std::wstring StartSandboxed(const std::function<bool(HANDLE AToken, PROCESS_INFORMATION& AProcess)>& AStart,
                            TSandboxedProcess& AResult);

// What the calling process was given, as lines "name=value": the token's integrity level (its
// RID), whether it is restricted, its privileges, whether the Administrators group counts, and its
// job's limits. A value the platform does not answer is "unknown (why)".
TStringList DescribeReaderSandbox();

// Tests only: every sandbox fails at AStep (ssNone: none does), as if the platform refused it with
// ERROR_ACCESS_DENIED. Wine accepts every step, so only this makes the refusal testable.
void SetReaderSandboxFault(TSandboxStep AStep);

}  // namespace vantrel
