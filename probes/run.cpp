// The harness's runner: starts one program or script under test and answers for it.
//   probe-run [/dir DIR] [/args FILE] [/stdout FILE] [/journal FILE] [/hold FILE]
//             [/env NAME=VALUE]... [/sentinel NONCE] [/limit SECONDS] PROGRAM
// PROGRAM starts inside a job object, its command line after its own name exactly the text of
// /args FILE (UTF-8; none without it), so that no limit or quoting of this runner's own
// command line stands between; a .cmd or .bat runs in the command processor. It waits until the
// job has no process left, so whatever the program started has ended too, and answers:
//   sentinel held|lost     /sentinel: the registry server still holds the volatile key
//   held FILE              /hold: FILE is open without sharing until the job is empty
//   started PID            the program was started; before this the journal was written
//   exit CODE 0xCODE       its exit code, signed and as the 32 bits GetExitCodeProcess gives
//   job empty              no process of the job is left
//   limit SECONDS          or: the job was still running at the limit and was ended
//   stdout BYTES           its standard output, whole, in FILE (renamed into place)
//   not started ERROR WHAT nothing was started (ERROR: the system's code)
// then "end run N". /journal FILE is created just before the start: where it is missing,
// the program never started. The program's standard error is this runner's own.
#include <cwchar>
#include <string>
#include <vector>

#include "answer.h"
#include "sentinel.h"

namespace {

using probe::Answers;

struct Request {
    std::wstring dir, arguments, stdoutFile, journal, hold, sentinel;
    std::vector<std::wstring> environment;
    unsigned limitSeconds = 300;
    size_t programIndex = 0;  // of PROGRAM in argv
};

bool endsWith(const std::wstring& text, const wchar_t* suffix) {
    const size_t length = std::wcslen(suffix);
    return text.size() >= length && _wcsicmp(text.c_str() + text.size() - length, suffix) == 0;
}

// The application and command line that start PROGRAM with TAIL. A script runs in the
// command processor, as CreateProcess asks: cmd.exe /c with the whole line quoted once more.
void commandFor(const std::wstring& program, const std::wstring& tail, std::wstring& application,
                std::wstring& line) {
    line = L"\"" + program + L"\"" + (tail.empty() ? L"" : L" " + tail);
    application = program;
    if (endsWith(program, L".cmd") || endsWith(program, L".bat")) {
        wchar_t system[MAX_PATH] = {};
        GetSystemDirectoryW(system, MAX_PATH);
        application = std::wstring(system) + L"\\cmd.exe";
        line = L"cmd.exe /d /s /c \"" + line + L"\"";
    }
}

bool parse(int argc, wchar_t** argv, Request& request) {
    int i = 1;
    for (; i + 1 < argc && argv[i][0] == L'/'; i += 2) {
        const std::wstring option = argv[i];
        const std::wstring value = argv[i + 1];
        if (option == L"/dir") {
            request.dir = value;
        } else if (option == L"/args") {
            request.arguments = value;
        } else if (option == L"/stdout") {
            request.stdoutFile = value;
        } else if (option == L"/journal") {
            request.journal = value;
        } else if (option == L"/hold") {
            request.hold = value;
        } else if (option == L"/env") {
            request.environment.push_back(value);
        } else if (option == L"/sentinel") {
            request.sentinel = value;
        } else if (option == L"/limit") {
            request.limitSeconds = static_cast<unsigned>(std::wcstoul(value.c_str(), nullptr, 10));
        } else {
            return false;
        }
    }
    request.programIndex = static_cast<size_t>(i);
    return i + 1 == argc;
}

SECURITY_ATTRIBUTES inheritable() {
    return {sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
}

void notStarted(Answers& answers, DWORD error, const std::wstring& what) {
    probe::answer(answers, L"not started " + std::to_wstring(error) + L" " + what);
}

// Waits until the job has no process left: its completion message, or (since the system
// does not promise to deliver every message) its own count of active processes.
bool waitEmpty(HANDLE job, HANDLE port, ULONGLONG deadline) {
    for (;;) {
        DWORD message = 0;
        ULONG_PTR key = 0;
        LPOVERLAPPED overlapped = nullptr;
        if (GetQueuedCompletionStatus(port, &message, &key, &overlapped, 250) &&
            message == JOB_OBJECT_MSG_ACTIVE_PROCESS_ZERO) {
            return true;
        }
        JOBOBJECT_BASIC_ACCOUNTING_INFORMATION counts{};
        if (QueryInformationJobObject(job, JobObjectBasicAccountingInformation, &counts,
                                      sizeof counts, nullptr) &&
            counts.ActiveProcesses == 0) {
            return true;
        }
        if (GetTickCount64() >= deadline) {
            return false;
        }
    }
}

// A job whose processes all end when its last handle closes (this runner killed, too), and
// which reports to PORT.
bool makeJob(probe::Handle& job, probe::Handle& port) {
    job.reset(CreateJobObjectW(nullptr, nullptr));
    port.reset(CreateIoCompletionPort(INVALID_HANDLE_VALUE, nullptr, 0, 1));
    if (!job.valid() || !port.valid()) {
        return false;
    }
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    JOBOBJECT_ASSOCIATE_COMPLETION_PORT association{};
    association.CompletionKey = job.get();
    association.CompletionPort = port.get();
    return SetInformationJobObject(job.get(), JobObjectExtendedLimitInformation, &limits,
                                   sizeof limits) &&
           SetInformationJobObject(job.get(), JobObjectAssociateCompletionPortInformation,
                                   &association, sizeof association);
}

struct Streams {
    probe::File in, out, err;
};

bool openStreams(const Request& request, Streams& streams) {
    SECURITY_ATTRIBUTES inherit = inheritable();
    streams.in.reset(CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                                 OPEN_EXISTING, 0, nullptr));
    const std::wstring out = request.stdoutFile.empty() ? L"NUL" : request.stdoutFile + L".part";
    streams.out.reset(CreateFileW(out.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  &inherit, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    HANDLE err = nullptr;
    if (!DuplicateHandle(GetCurrentProcess(), GetStdHandle(STD_ERROR_HANDLE), GetCurrentProcess(),
                         &err, 0, TRUE, DUPLICATE_SAME_ACCESS)) {
        err = INVALID_HANDLE_VALUE;
    }
    streams.err.reset(err);
    return streams.in.valid() && streams.out.valid() && streams.err.valid();
}

// The standard output file, whole, renamed into place; its size, or -1.
long long keepOutput(const Request& request, Streams& streams) {
    LARGE_INTEGER size{};
    const bool sized = GetFileSizeEx(streams.out.get(), &size) != 0;
    streams.out.reset();
    if (request.stdoutFile.empty()) {
        return 0;
    }
    const std::wstring part = request.stdoutFile + L".part";
    if (!sized ||
        !MoveFileExW(part.c_str(), request.stdoutFile.c_str(), MOVEFILE_REPLACE_EXISTING)) {
        return -1;
    }
    return size.QuadPart;
}

int run(const Request& request, const std::wstring& program) {
    Answers answers;
    std::wstring tail;
    if (!request.arguments.empty() && !probe::readUtf8(request.arguments, tail)) {
        notStarted(answers, GetLastError(), L"arguments " + request.arguments);
        probe::finish(answers, L"run");
        return 0;
    }
    if (!request.sentinel.empty()) {
        const bool held = probe::sentinelHeld(request.sentinel);
        probe::answer(answers, held ? L"sentinel held" : L"sentinel lost");
        if (!held) {
            notStarted(answers, 0, L"the registry server lost the sentinel");
            probe::finish(answers, L"run");
            return 0;
        }
    }
    for (const std::wstring& pair : request.environment) {
        const size_t equals = pair.find(L'=');
        SetEnvironmentVariableW(pair.substr(0, equals).c_str(),
                                equals == std::wstring::npos ? L"" : pair.c_str() + equals + 1);
    }
    probe::File held;
    if (!request.hold.empty()) {
        held.reset(CreateFileW(request.hold.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                               OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!held.valid()) {
            notStarted(answers, GetLastError(), L"hold " + request.hold);
            probe::finish(answers, L"run");
            return 0;
        }
        probe::answer(answers, L"held " + request.hold);
    }
    probe::Handle job, port;
    Streams streams;
    if (!makeJob(job, port) || !openStreams(request, streams)) {
        notStarted(answers, GetLastError(), L"job or standard handles");
        probe::finish(answers, L"run");
        return 0;
    }
    if (!request.journal.empty()) {
        probe::File journal(CreateFileW(request.journal.c_str(), GENERIC_WRITE, 0, nullptr,
                                        CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!journal.valid()) {
            notStarted(answers, GetLastError(), L"journal " + request.journal);
            probe::finish(answers, L"run");
            return 0;
        }
    }
    std::wstring application, line;
    commandFor(program, tail, application, line);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = streams.in.get();
    startup.hStdOutput = streams.out.get();
    startup.hStdError = streams.err.get();
    PROCESS_INFORMATION process{};
    const ULONGLONG deadline = GetTickCount64() + 1000ULL * request.limitSeconds;
    if (!CreateProcessW(application.c_str(), &line[0], nullptr, nullptr, TRUE, CREATE_SUSPENDED,
                        nullptr, request.dir.empty() ? nullptr : request.dir.c_str(), &startup,
                        &process)) {
        notStarted(answers, GetLastError(), L"CreateProcessW " + application);
        probe::finish(answers, L"run");
        return 0;
    }
    probe::Handle child(process.hProcess), thread(process.hThread);
    // Assigned before its first instruction, so that nothing it starts can leave the job.
    if (!AssignProcessToJobObject(job.get(), child.get())) {
        const DWORD error = GetLastError();
        TerminateProcess(child.get(), 1);
        notStarted(answers, error, L"AssignProcessToJobObject");
        probe::finish(answers, L"run");
        return 0;
    }
    ResumeThread(thread.get());
    probe::answer(answers, L"started " + std::to_wstring(process.dwProcessId));
    const bool empty = waitEmpty(job.get(), port.get(), deadline);
    if (!empty) {
        TerminateJobObject(job.get(), ERROR_TIMEOUT);
        waitEmpty(job.get(), port.get(), GetTickCount64() + 30000);
    }
    DWORD code = 0;
    if (empty && GetExitCodeProcess(child.get(), &code) && code != STILL_ACTIVE) {
        probe::answer(answers, L"exit " +
                                   std::to_wstring(static_cast<long>(static_cast<int>(code))) +
                                   L" " + probe::hex32(code));
        probe::answer(answers, L"job empty");
    } else {
        probe::answer(answers, L"limit " + std::to_wstring(request.limitSeconds));
    }
    probe::answer(answers, L"stdout " + std::to_wstring(keepOutput(request, streams)));
    probe::finish(answers, L"run");
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    Request request;
    if (!parse(argc, argv, request)) {
        Answers answers;
        notStarted(answers, ERROR_INVALID_PARAMETER, L"usage: probe-run [options] PROGRAM [ARGS]");
        probe::finish(answers, L"run");
        return 2;
    }
    return run(request, argv[request.programIndex]);
}
