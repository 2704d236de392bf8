// Workers on Windows: CreateProcess with three pipes, a reader thread per output pipe (an
// anonymous pipe cannot be waited on), and one WaitForMultipleObjects over the workers'
// processes, the readers' wake-up, the console's stop and the station's watches.
//
// A worker is told to stop, and watches its station's process, through the handles of
// station/ChildStop.h, so that a worker whose station was killed finishes its unit and ends, as
// PR_SET_PDEATHSIG makes it on Linux; it tells that it exits by itself there as well (Task
// Manager's TerminateProcess gives 1, Wine's 0 for a process the system killed).
#include <windows.h>

#include <algorithm>
#include <csignal>
#include <deque>
#include <map>
#include <mutex>
#include <stdexcept>
#include <thread>

#include "link/WideText.h"
#include "station/ChildStop.h"
#include "station/StopSignals.h"
#include "station/WorkerProcess.h"

namespace {

// One argument as the C runtime's parser reads it back.
template <typename TString>
TString QuotedWord(const TString& word) {
  using TChar = typename TString::value_type;
  if (!word.empty() && word.find_first_of(TString{' ', '\t', '"'}) == TString::npos) return word;
  TString quoted(1, TChar('"'));
  std::size_t slashes = 0;
  for (TChar c : word) {
    if (c == TChar('\\')) {
      ++slashes;
      continue;
    }
    quoted.append(c == TChar('"') ? slashes * 2 + 1 : slashes, TChar('\\'));
    slashes = 0;
    quoted += c;
  }
  quoted.append(slashes * 2, TChar('\\'));
  return quoted + TChar('"');
}

void CloseOne(HANDLE& handle) {
  if (handle) CloseHandle(handle);
  handle = nullptr;
}

struct TChild {
  HANDLE Process = nullptr, In = nullptr;
  std::unique_ptr<TChildStop> Stop;  // for its present start
  std::thread Readers[2];            // its standard output and error
};

}  // namespace

struct TWorkerProcesses::TState {
  TStopSignals StationStop;
  bool StopTold = false;
  HANDLE Woken = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  std::map<int, TChild> Children;
  std::mutex Lock;
  std::deque<THappening> Lines;  // what the readers got, in order

  // Reads one pipe until the worker's end closes it, line by line.
  void Read(int index, HANDLE pipe, THappening::TKind kind) {
    std::string held;
    char buffer[4096];
    DWORD n = 0;
    for (bool open = true; open;) {
      open = ReadFile(pipe, buffer, sizeof buffer, &n, nullptr) && n > 0;
      if (open)
        held.append(buffer, n);
      else if (!held.empty())
        held += '\n';  // a last line without its end
      std::lock_guard<std::mutex> guard(Lock);
      for (std::size_t end; (end = held.find('\n')) != std::string::npos;) {
        std::string line = held.substr(0, end);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        Lines.push_back({kind, index, std::move(line), {}, 0});
        held.erase(0, end + 1);
      }
      SetEvent(Woken);
    }
    CloseHandle(pipe);
  }

  void TakeLines(std::vector<THappening>& happened) {
    std::lock_guard<std::mutex> guard(Lock);
    happened.insert(happened.end(), Lines.begin(), Lines.end());
    Lines.clear();
  }

  void Ended(int index, TChild& child, std::vector<THappening>& happened) {
    // Whatever it wrote before it ended counts: the readers end at the pipes' ends.
    for (std::thread& reader : child.Readers)
      if (reader.joinable()) reader.join();
    TakeLines(happened);
    DWORD code = 0;
    GetExitCodeProcess(child.Process, &code);
    CloseOne(child.Process);
    CloseOne(child.In);
    THappening end{THappening::TKind::Ended, index, {}, {}, 0};
    end.End.Code = static_cast<int>(code);
    end.End.Killed = !child.Stop->Done();
    child.Stop.reset();
    if (end.End.Killed) end.End.How = "извне (код " + std::to_string(code) + ")";
    happened.push_back(std::move(end));
  }
};

TWorkerProcesses::TWorkerProcesses() : State(std::make_unique<TState>()) {}

TWorkerProcesses::~TWorkerProcesses() {
  for (auto& [index, child] : State->Children) {
    if (child.Process) {
      TerminateProcess(child.Process, 137);
      WaitForSingleObject(child.Process, INFINITE);
    }
    for (std::thread& reader : child.Readers)
      if (reader.joinable()) reader.join();
    for (HANDLE* handle : {&child.Process, &child.In}) CloseOne(*handle);
  }
  CloseHandle(State->Woken);
}

void TWorkerProcesses::Start(int index, const std::vector<std::string>& arguments,
                             const std::vector<std::string>& environment) {
  TChild& child = State->Children[index];
  for (std::thread& reader : child.Readers)
    if (reader.joinable()) reader.join();
  // Our ends stay ours; the worker's are made inheritable for the moment of its start alone, so
  // that no other worker inherits them.
  HANDLE in[2], out[2], err[2];
  if (!CreatePipe(&in[0], &in[1], nullptr, 0)) FailWithLastError("CreatePipe");
  if (!CreatePipe(&out[0], &out[1], nullptr, 0)) FailWithLastError("CreatePipe");
  if (!CreatePipe(&err[0], &err[1], nullptr, 0)) FailWithLastError("CreatePipe");
  child.Stop = std::make_unique<TChildStop>();
  const TGivenStop stop(*child.Stop);
  HANDLE given[] = {InheritableCopy(in[0]), InheritableCopy(out[1]), InheritableCopy(err[1])};
  for (HANDLE handle : {in[0], out[1], err[1]}) CloseHandle(handle);

  std::wstring command;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    std::wstring word = Wide(arguments[i]);
    if (i == 0) std::replace(word.begin(), word.end(), L'/', L'\\');
    command += (i ? L" " : L"") + QuotedWord(word);
  }
  std::wstring block;
  for (const std::string& variable : environment)
    if (variable.rfind(std::string(kChildStopVariable) + "=", 0) != 0)
      block += Wide(variable) + L'\0';
  block += Wide(std::string(kChildStopVariable) + "=" + stop.Value()) + L'\0';
  block += L'\0';
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = given[0];
  startup.hStdOutput = given[1];
  startup.hStdError = given[2];
  PROCESS_INFORMATION process{};
  const BOOL started =
      CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, CREATE_UNICODE_ENVIRONMENT,
                     block.data(), nullptr, &startup, &process);
  const DWORD error = GetLastError();
  for (HANDLE handle : given) CloseHandle(handle);
  if (!started) {
    for (HANDLE handle : {in[1], out[0], err[0]}) CloseHandle(handle);
    child.Stop.reset();
    SetLastError(error);
    FailWithLastError("CreateProcess");
  }
  CloseHandle(process.hThread);
  child.Process = process.hProcess;
  child.In = in[1];
  child.Readers[0] =
      std::thread(&TState::Read, State.get(), index, out[0], THappening::TKind::Event);
  child.Readers[1] =
      std::thread(&TState::Read, State.get(), index, err[0], THappening::TKind::Note);
}

bool TWorkerProcesses::Running(int index) const {
  const auto child = State->Children.find(index);
  return child != State->Children.end() && child->second.Process;
}

void TWorkerProcesses::Stop(int index, int) {
  if (Running(index)) State->Children[index].Stop->Ask();
}

bool TWorkerProcesses::Write(int index, const std::string& bytes) {
  if (!Running(index)) return false;
  for (std::size_t done = 0; done < bytes.size();) {
    DWORD n = 0;
    if (!WriteFile(State->Children[index].In, bytes.data() + done,
                   static_cast<DWORD>(bytes.size() - done), &n, nullptr) ||
        n == 0)
      return false;
    done += n;
  }
  return true;
}

std::vector<THappening> TWorkerProcesses::Wait(std::chrono::milliseconds timeout,
                                               const std::vector<int>& waitables) {
  std::vector<HANDLE> handles{State->Woken};
  const HANDLE stop = LongToHandle(State->StationStop.Fd());
  if (stop && !State->StopTold) handles.push_back(stop);
  for (int waitable : waitables) handles.push_back(LongToHandle(waitable));
  for (const auto& [index, child] : State->Children)
    if (child.Process) handles.push_back(child.Process);
  WaitForMultipleObjects(static_cast<DWORD>(std::min<std::size_t>(handles.size(), 64)),
                         handles.data(), FALSE,
                         timeout.count() < 0 ? INFINITE : static_cast<DWORD>(timeout.count()));
  std::vector<THappening> happened;
  State->TakeLines(happened);
  if (!State->StopTold && State->StationStop.Wait(std::chrono::milliseconds(0))) {
    State->StopTold = true;
    happened.push_back({THappening::TKind::Stop, -1, {}, {}, State->StationStop.Signal()});
  }
  for (auto& [index, child] : State->Children)
    if (child.Process && WaitForSingleObject(child.Process, 0) == WAIT_OBJECT_0)
      State->Ended(index, child, happened);
  for (std::size_t i = 0; i < waitables.size(); ++i)
    if (WaitForSingleObject(LongToHandle(waitables[i]), 0) == WAIT_OBJECT_0)
      happened.push_back({THappening::TKind::Ready, static_cast<int>(i), {}, {}, 0});
  return happened;
}

std::string ShellWord(const std::string& word) { return QuotedWord(word); }

TSettingsWatch::TSettingsWatch() = default;
TSettingsWatch::~TSettingsWatch() = default;
bool TSettingsWatch::Changed() { return false; }
