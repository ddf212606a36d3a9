// Running programs from the tests: fork/exec with pipes on POSIX systems,
// CreateProcessW on Windows. Standard output comes back through a pipe and
// standard error through a temporary file, so neither can block the other.
#include "tests/test_support.h"

#include <cstdio>
#include <cstdlib>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace {

#ifdef _WIN32

std::wstring widen(const std::string& text) {
  if (text.empty()) return std::wstring();
  int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0);
  std::wstring wide(std::size_t(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), int(text.size()), wide.data(), n);
  return wide;
}

// One argument quoted the way the C runtime splits a command line.
std::wstring quote_argument(const std::wstring& arg) {
  if (!arg.empty() && arg.find_first_of(L" \t\"") == std::wstring::npos) return arg;
  std::wstring quoted = L"\"";
  std::size_t backslashes = 0;
  for (wchar_t c : arg) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    quoted.append(c == L'"' ? 2 * backslashes + 1 : backslashes, L'\\');
    backslashes = 0;
    quoted.push_back(c);
  }
  quoted.append(2 * backslashes, L'\\');
  quoted.push_back(L'"');
  return quoted;
}

std::string read_handle(HANDLE handle) {
  std::string out;
  char chunk[4096];
  DWORD got = 0;
  while (ReadFile(handle, chunk, sizeof chunk, &got, nullptr) && got > 0) out.append(chunk, got);
  return out;
}

// A temporary file for the child's standard error, deleted when closed.
HANDLE error_file() {
  wchar_t folder[MAX_PATH + 1];
  wchar_t name[MAX_PATH + 1];
  if (GetTempPathW(MAX_PATH + 1, folder) == 0 || GetTempFileNameW(folder, L"tke", 0, name) == 0) {
    return INVALID_HANDLE_VALUE;
  }
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  return CreateFileW(name, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                     &inherit, CREATE_ALWAYS, FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
}

RunResult spawn(const std::string& path, const std::vector<std::string>& args) {
  std::wstring line = quote_argument(widen(path));
  for (const std::string& a : args) line += L" " + quote_argument(widen(a));
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE readEnd = nullptr;
  HANDLE writeEnd = nullptr;
  if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0)) return {-1, "", ""};
  SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
  HANDLE errors = error_file();
  HANDLE input = CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                             OPEN_EXISTING, 0, nullptr);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = input;
  startup.hStdOutput = writeEnd;
  startup.hStdError = errors;
  PROCESS_INFORMATION process{};
  BOOL started = CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                                &startup, &process);
  CloseHandle(writeEnd);
  CloseHandle(input);
  RunResult result{-1, "", ""};
  if (started) {
    result.output = read_handle(readEnd);
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 0;
    if (GetExitCodeProcess(process.hProcess, &code)) result.status = int(code);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
  }
  CloseHandle(readEnd);
  if (errors != INVALID_HANDLE_VALUE) {
    SetFilePointer(errors, 0, nullptr, FILE_BEGIN);
    result.error = read_handle(errors);
    CloseHandle(errors);
  }
  return result;
}

#else

std::string collect(int fd) {
  std::string out;
  char chunk[4096];
  ssize_t got;
  while ((got = read(fd, chunk, sizeof chunk)) > 0) out.append(chunk, std::size_t(got));
  return out;
}

int decode_status(int raw) { return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1; }

RunResult spawn(const std::string& path, const std::vector<std::string>& args) {
  int fds[2];
  if (pipe(fds) != 0) return {-1, "", ""};
  std::FILE* errors = std::tmpfile();
  pid_t pid = fork();
  if (pid == 0) {
    close(fds[0]);
    dup2(fds[1], STDOUT_FILENO);
    close(fds[1]);
    if (errors != nullptr) dup2(fileno(errors), STDERR_FILENO);
    std::FILE* input = std::freopen("/dev/null", "rb", stdin);
    (void)input;
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(path.c_str()));
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(path.c_str(), argv.data());
    _exit(127);
  }
  close(fds[1]);
  RunResult result{-1, collect(fds[0]), ""};
  close(fds[0]);
  int raw = 0;
  if (pid > 0 && waitpid(pid, &raw, 0) == pid) result.status = decode_status(raw);
  if (errors != nullptr) {
    std::rewind(errors);
    result.error = collect(fileno(errors));
    std::fclose(errors);
  }
  return result;
}

#endif

}  // namespace

std::string program_path(const std::string& name) {
  const char* dir = std::getenv("TK_BIN_DIR");
#ifdef _WIN32
  return std::string(dir ? dir : "build/bin") + "/" + name + ".exe";
#else
  return std::string(dir ? dir : "build/bin") + "/" + name;
#endif
}

RunResult run_program(const std::string& path, const std::vector<std::string>& args) {
  return spawn(path, args);
}

#ifdef _WIN32

bool have_posix_shell() { return false; }

RunResult run_shell(const std::string&) { return {-1, "", "no POSIX shell on Windows"}; }

#else

bool have_posix_shell() { return true; }

RunResult run_shell(const std::string& command) {
  std::FILE* pipe_in = popen(command.c_str(), "r");
  if (!pipe_in) return {-1, "", ""};
  std::string out = collect(fileno(pipe_in));
  return {decode_status(pclose(pipe_in)), out, ""};
}

#endif

bool tool_available(const std::string& name) {
  return have_posix_shell() && run_shell("command -v " + name + " >/dev/null 2>&1").status == 0;
}

bool tool_required_in_ci() {
  const char* ci = std::getenv("CI");
  return ci && std::string(ci) == "true";
}
