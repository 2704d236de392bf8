// The station's system calls on Windows: OpenProcess, GetTickCount64 (which counts a sleeping
// computer's time), the console's screen buffer, and files through CreateFileW with LockFileEx
// and FlushFileBuffers.
#include <windows.h>
// After windows.h, which it needs.
#include <io.h>

#include <string>

#include "link/WideText.h"
#include "station/System.h"

namespace {

HANDLE Of(long long handle) { return reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(handle)); }

}  // namespace

bool ProcessEnded(long long pid) {
  if (pid <= 0) return false;
  HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(pid));
  if (!process) return GetLastError() == ERROR_INVALID_PARAMETER;  // no such process
  const bool ended = WaitForSingleObject(process, 0) == WAIT_OBJECT_0;
  CloseHandle(process);
  return ended;
}

long long BootMs() { return static_cast<long long>(GetTickCount64()); }

std::string StateFolder() {
  wchar_t folder[MAX_PATH] = {};
  const DWORD size = GetEnvironmentVariableW(L"LOCALAPPDATA", folder, MAX_PATH);
  if (size == 0 || size >= MAX_PATH) return "Vestra";
  std::string utf8(static_cast<std::size_t>(WideCharToMultiByte(
                       CP_UTF8, 0, folder, static_cast<int>(size), nullptr, 0, nullptr, nullptr)),
                   '\0');
  WideCharToMultiByte(CP_UTF8, 0, folder, static_cast<int>(size), utf8.data(),
                      static_cast<int>(utf8.size()), nullptr, nullptr);
  return utf8 + "\\Vestra";
}

std::string MissingDriverHint(bool postgres) {
  return postgres ? ": PostgreSQL в Windows пока недоступен, база станции — файл SQLite (--db ФАЙЛ)"
                  : " (sqldrivers\\qsqlite.dll рядом с программой)";
}

int TerminalColumns(std::FILE* out) {
  CONSOLE_SCREEN_BUFFER_INFO info{};
  const HANDLE console = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(out)));
  if (!GetConsoleScreenBufferInfo(console, &info)) return 80;
  const int columns = info.srWindow.Right - info.srWindow.Left + 1;
  return columns > 0 ? columns : 80;
}

// The paths come in UTF-8 (QString::toStdString; QFile::encodeName gives the ANSI code page).
TDurableFile::TDurableFile(const std::string& path, TOpen how) {
  constexpr DWORD kCreation[] = {OPEN_EXISTING, CREATE_NEW, OPEN_ALWAYS};
  const DWORD access = how == TOpen::Append ? FILE_APPEND_DATA : GENERIC_READ | GENERIC_WRITE;
  // Others may open it meanwhile (a replay looks at every station's file), and remove or rename
  // it (a station that ended leaves none behind).
  HANDLE file = CreateFileW(Wide(path).c_str(), access,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            kCreation[static_cast<int>(how)], FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file != INVALID_HANDLE_VALUE)
    Handle = static_cast<long long>(reinterpret_cast<std::intptr_t>(file));
}

TDurableFile::~TDurableFile() {
  if (Opened()) CloseHandle(Of(Handle));
}

bool TDurableFile::Lock(bool wait) {
  OVERLAPPED whole{};
  return LockFileEx(Of(Handle), LOCKFILE_EXCLUSIVE_LOCK | (wait ? 0 : LOCKFILE_FAIL_IMMEDIATELY), 0,
                    MAXDWORD, MAXDWORD, &whole);
}

bool TDurableFile::Reserve(std::size_t size) {
  // The file's end set there: the file system allocates the room now.
  LARGE_INTEGER end{};
  end.QuadPart = static_cast<LONGLONG>(size);
  return SetFilePointerEx(Of(Handle), end, nullptr, FILE_BEGIN) && SetEndOfFile(Of(Handle));
}

bool TDurableFile::WriteAt(const char* bytes, std::size_t size, std::size_t offset) {
  for (std::size_t done = 0; done < size;) {
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(offset + done);
    at.OffsetHigh = static_cast<DWORD>((offset + done) >> 32);
    DWORD n = 0;
    if (!WriteFile(Of(Handle), bytes + done, static_cast<DWORD>(size - done), &n, &at) || n == 0)
      return false;
    done += n;
  }
  return true;
}

bool TDurableFile::Append(const std::string& bytes) {
  for (std::size_t done = 0; done < bytes.size();) {
    DWORD n = 0;
    if (!WriteFile(Of(Handle), bytes.data() + done, static_cast<DWORD>(bytes.size() - done), &n,
                   nullptr) ||
        n == 0)
      return false;
    done += n;
  }
  return true;
}

long long TDurableFile::ReadAt(char* bytes, std::size_t size, std::size_t offset) {
  OVERLAPPED at{};
  at.Offset = static_cast<DWORD>(offset);
  at.OffsetHigh = static_cast<DWORD>(offset >> 32);
  DWORD n = 0;
  if (!ReadFile(Of(Handle), bytes, static_cast<DWORD>(size), &n, &at))
    return GetLastError() == ERROR_HANDLE_EOF ? 0 : -1;
  return n;
}

bool TDurableFile::Sync() { return FlushFileBuffers(Of(Handle)); }

std::string LastSystemError() {
  const DWORD error = GetLastError();
  wchar_t* text = nullptr;
  const DWORD size = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::string utf8;
  if (size > 0) {
    utf8.resize(static_cast<std::size_t>(WideCharToMultiByte(
        CP_UTF8, 0, text, static_cast<int>(size), nullptr, 0, nullptr, nullptr)));
    WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(size), utf8.data(),
                        static_cast<int>(utf8.size()), nullptr, nullptr);
  }
  LocalFree(text);
  while (!utf8.empty() && (utf8.back() == '\n' || utf8.back() == '\r' || utf8.back() == '.'))
    utf8.pop_back();
  return utf8.empty() ? "ошибка " + std::to_string(error) : utf8;
}

void SyncFolder(const std::string&) {}
