#include "station/Slots.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/inotify.h>
#include <sys/prctl.h>
#include <sys/signalfd.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QFile>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <stdexcept>

#include "link/DeviceWatch.h"
#include "service/PortStore.h"
#include "station/Scans.h"
#include "station/SlotStatus.h"
#include "station/StationEvents.h"
#include "station/StationStore.h"

namespace {

// The signals that stop a station; each worker is sent the one the station got.
constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};
// A worker killed this often in a row is left dead: something kills it at once.
constexpr int kMostRestarts = 10;

struct TWorker {
  int Slot = 0;
  std::string Port;
  pid_t Pid = -1;
  int Out = -1, Err = -1;  // read ends of its standard output (events) and error (notes)
  int In = -1;             // write end of its standard input (a scanner's labels)
  std::string OutHeld, ErrHeld;
  int Restarts = 0;
  bool Running() const { return Pid > 0; }
};

class TStation {
 public:
  TStation(TSession& session, const TStationSetup& setup)
      : Session(session), Setup(setup), Status(stderr) {
    CountRows();
    sigset_t set;
    sigemptyset(&set);
    for (int signal : kStopSignals) sigaddset(&set, signal);
    sigaddset(&set, SIGCHLD);
    SignalFd = signalfd(-1, &set, SFD_CLOEXEC | SFD_NONBLOCK);
    if (SignalFd < 0) throw std::runtime_error(std::string("signalfd: ") + std::strerror(errno));
    // What the worker is given: the station's own command line without what only the station
    // does (its ports, the count, the events on standard output), and without the database,
    // which goes into its environment instead.
    const QStringList arguments = QCoreApplication::arguments();
    Program = QFile::encodeName(QCoreApplication::applicationFilePath()).toStdString();
    for (int i = 1; i < arguments.size(); ++i) {
      const QString& a = arguments[i];
      // The command is shown: a database's password is not.
      if (a == "--db" && i + 1 < arguments.size()) {
        Command.append(" --db ").append(Quoted(TStationStore::Shown(arguments[++i]).toStdString()));
        continue;
      }
      if (a.startsWith("--db=")) {
        Command.append(" ").append(
            Quoted(("--db=" + TStationStore::Shown(a.mid(5))).toStdString()));
        continue;
      }
      if (a == "--port" || a == "--count") {
        ++i;
        continue;
      }
      if (a.startsWith("--port=") || a.startsWith("--count=") || a == "--json") continue;
      WorkerArguments.push_back(a.toStdString());
      Command.append(" ").append(Quoted(a.toStdString()));
    }
    const std::string given = std::string(kWorkerDbVariable) + "=";
    for (char** variable = environ; *variable; ++variable)
      if (std::strncmp(*variable, given.c_str(), given.size()) != 0)
        WorkerEnvironment.push_back(*variable);
    WorkerEnvironment.push_back(given + Setup.Db);
    for (const std::string& port : Setup.Ports) Command.append(" --port ").append(Quoted(port));
    if (Setup.Automatic) Command += " --port auto";
    if (Setup.Scan)
      Scans = std::make_unique<TScans>(
          Setup.Store,
          TScans::THooks{[this](int slot, const std::string& line) { Hand(slot, line); },
                         [this](const TStationEvent& event) { Emit(event); }});
  }
  ~TStation() {
    for (TWorker& worker : Workers) {
      if (worker.Running()) {
        kill(worker.Pid, SIGKILL);
        while (waitpid(worker.Pid, nullptr, 0) < 0 && errno == EINTR) {
        }
      }
      for (int fd : {worker.Out, worker.Err, worker.In})
        if (fd >= 0) close(fd);
    }
    close(SignalFd);
    if (Settings >= 0) close(Settings);
  }
  TStation(const TStation&) = delete;
  TStation& operator=(const TStation&) = delete;

  int Run() {
    for (const std::string& port : Setup.Ports) AddSlot(port);
    if (Setup.Automatic) WatchPorts();
    // --port auto goes on until stopped, waiting for devices; otherwise the workers end it.
    while (AnyRunning() || (Setup.Automatic && !Stopping)) {
      std::vector<pollfd> fds{{SignalFd, POLLIN, 0}};
      if (Watch) fds.push_back({Watch->Descriptor(), POLLIN, 0});
      if (Settings >= 0) fds.push_back({Settings, POLLIN, 0});
      if (Scans && ScanInput) fds.push_back({ScanInput->Descriptor(), POLLIN, 0});
      for (const TWorker& worker : Workers)
        for (int fd : {worker.Out, worker.Err})
          if (fd >= 0) fds.push_back({fd, POLLIN, 0});
      // Only the seconds on the screen need a tick; devices come as events.
      const int tick = Status.Terminal() ? 1000 : -1;
      if (poll(fds.data(), fds.size(), tick) < 0 && errno != EINTR)
        throw std::runtime_error(std::string("poll: ") + std::strerror(errno));
      for (TWorker& worker : Workers) Drain(worker);
      if (Scans && ScanInput) TakeScans(fds);
      TakeSignals();
      if (!Stopping && std::ferror(stdout)) {
        // Nobody reads the station any more: every slot finishes its unit, then ends.
        OutputGone = true;
        Status.Note(0, "Стандартный вывод закрыт: каждый слот заканчивает свой блок...");
        StopWorkers(SIGTERM);
      }
      if (Watch && !Stopping) TakeDevices();
      if (Settings >= 0 && !Stopping && SettingsChanged()) WatchPorts();
      Status.Tick();
    }
    Status.Close();
    if (Status.RowsLeft() > 0 || Status.Errors() > 0)
      Status.Note(0, "Продолжить: vestra-cli" + Command);
    if (StopSignal) return 128 + StopSignal;
    if (Fatal || OutputGone || Status.Errors() > 0) return ExitFailed;
    return Status.AnyDifferences() ? ExitDifferences : ExitDone;
  }

 private:
  TSession& Session;
  TStationSetup Setup;
  TSlotStatus Status;
  int SignalFd = -1;
  std::string Program, Command;
  std::vector<std::string> WorkerArguments, WorkerEnvironment;
  std::vector<TWorker> Workers;
  // --port auto: every port name's device, watched for one that appears.
  std::unique_ptr<TDeviceWatch> Watch;
  std::vector<std::string> WatchedNames;
  // The settings store's folder: a port name given another device there (as the simulated
  // unit's --com does) is watched there from then on.
  int Settings = -1;
  std::map<std::string, int> NoteSlots;  // a worker's note, and the slot that said it first
  bool Stopping = false, Fatal = false, OutputGone = false;
  int StopSignal = 0;
  std::unique_ptr<TScans> Scans;
  std::unique_ptr<TLineInput> ScanInput = std::make_unique<TLineInput>(STDIN_FILENO);

  // The scanner's lines on standard input; its end ends only the scanning.
  void TakeScans(const std::vector<pollfd>& fds) {
    for (const pollfd& fd : fds)
      if (fd.fd == ScanInput->Descriptor() && fd.revents) {
        const bool open = ScanInput->Read();
        while (auto line = ScanInput->Next()) Scans->Take(*line);
        if (!open) ScanInput.reset();
      }
  }

  void Hand(int slot, const std::string& line) {
    const TWorker& worker = Workers[static_cast<std::size_t>(slot - 1)];
    // A worker gone meanwhile is given the label again by the next arrival of its unit.
    if (worker.In >= 0 && write(worker.In, line.data(), line.size()) < 0) return;
  }

  static std::string Quoted(const std::string& word) {
    if (!word.empty() && word.find_first_of(" \t\n'\"\\$`;&|<>()*?[]#~") == std::string::npos)
      return word;
    std::string quoted = "'";
    for (char c : word) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
  }

  bool AnyRunning() const {
    for (const TWorker& worker : Workers)
      if (worker.Running()) return true;
    return false;
  }

  void AddSlot(const std::string& port) {
    Workers.push_back({});
    Workers.back().Slot = static_cast<int>(Workers.size());
    Workers.back().Port = port;
    Status.AddSlot(port);
    Start(Workers.back());
    TStationEvent started;
    started.Kind = TEventKind::Started;
    started.Slot = Workers.back().Slot;
    started.Port = port;
    started.Template = Setup.Template;
    started.Table = Setup.Table;
    started.Db = Setup.DbShown;
    Emit(started);
  }

  // A slot for every port name whose device is there now, and later for each one that appears;
  // the slot's worker tells whether a unit answers there.
  void WatchPorts() {
    if (Settings < 0) {
      const std::string file = SettingsFileName();
      const std::string folder = file.substr(0, file.find_last_of('/'));
      std::error_code ignored;
      std::filesystem::create_directories(folder, ignored);
      Settings = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
      if (Settings >= 0)
        inotify_add_watch(Settings, folder.c_str(), IN_CLOSE_WRITE | IN_MOVED_TO | IN_CREATE);
    }
    std::vector<std::string> paths;
    WatchedNames.clear();
    for (const std::string& name : Session.PortNames) {
      WatchedNames.push_back(name);
      paths.push_back(Session.Unit->Link.Resolver(name));
    }
    Watch = std::make_unique<TDeviceWatch>(paths);
    for (std::size_t i = 0; i < paths.size(); ++i)
      if (Watch->Present(i)) AddSlotOnce(WatchedNames[i]);
  }

  bool SettingsChanged() {
    char events[4096];
    bool any = false;
    while (read(Settings, events, sizeof events) > 0) any = true;
    return any;
  }

  void TakeDevices() {
    for (const TDeviceWatch::TEvent& event : Watch->TakeEvents())
      if (event.Change == TDeviceWatch::TChange::Appeared) AddSlotOnce(WatchedNames[event.Index]);
  }

  void AddSlotOnce(const std::string& name) {
    for (const TWorker& worker : Workers)
      if (worker.Port == name) return;
    AddSlot(name);
  }

  void Start(TWorker& worker) {
    std::vector<std::string> args = {Program};
    args.insert(args.end(), WorkerArguments.begin(), WorkerArguments.end());
    args.insert(args.end(), {"--slot", std::to_string(worker.Slot), "--port", worker.Port});
    std::vector<char*> argv, envp;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    for (auto& variable : WorkerEnvironment) envp.push_back(variable.data());
    envp.push_back(nullptr);
    int out[2], err[2], in[2];
    if (pipe2(out, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
    if (pipe2(err, O_CLOEXEC) != 0) {
      close(out[0]);
      close(out[1]);
      throw std::runtime_error("pipe");
    }
    if (pipe2(in, O_CLOEXEC) != 0) {
      for (int fd : {out[0], out[1], err[0], err[1]}) close(fd);
      throw std::runtime_error("pipe");
    }
    sigset_t stop;
    sigemptyset(&stop);
    for (int signal : kStopSignals) sigaddset(&stop, signal);
    const pid_t parent = getpid();
    const pid_t pid = fork();
    if (pid == 0) {
      // Only async-signal-safe calls until exec. A worker outlives no station: it finishes its
      // unit and ends.
      prctl(PR_SET_PDEATHSIG, SIGTERM);
      if (getppid() != parent) _exit(127);
      dup2(out[1], STDOUT_FILENO);
      dup2(err[1], STDERR_FILENO);
      dup2(in[0], STDIN_FILENO);
      sigprocmask(SIG_SETMASK, &stop, nullptr);
      execve(argv[0], argv.data(), envp.data());
      _exit(127);
    }
    close(out[1]);
    close(err[1]);
    close(in[0]);
    if (worker.In >= 0) close(worker.In);
    worker.In = -1;
    if (pid < 0) {
      close(out[0]);
      close(err[0]);
      close(in[1]);
      throw std::runtime_error(std::string("fork: ") + std::strerror(errno));
    }
    for (int fd : {out[0], err[0]}) fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
    worker.Pid = pid;
    worker.Out = out[0];
    worker.Err = err[0];
    worker.In = in[1];
  }

  // Reads what the worker has written, line by line; closes a pipe at its end.
  void Drain(TWorker& worker) {
    for (int* fd : {&worker.Out, &worker.Err}) {
      std::string& held = fd == &worker.Out ? worker.OutHeld : worker.ErrHeld;
      char buffer[4096];
      while (*fd >= 0) {
        const ssize_t n = read(*fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) break;  // nothing more now
        if (n == 0) {
          close(*fd);
          *fd = -1;
          if (!held.empty()) held += '\n';  // a last line without its end
        }
        held.append(buffer, static_cast<std::size_t>(std::max<ssize_t>(n, 0)));
        for (std::size_t end; (end = held.find('\n')) != std::string::npos;) {
          const std::string line = held.substr(0, end);
          held.erase(0, end + 1);
          if (fd == &worker.Out)
            Take(worker, line);
          else if (!line.empty())
            Note(worker, line);
        }
      }
    }
  }

  // Every worker judges the same table and watches ports the same way: what one slot said
  // (a template's warning, no udev) is not said again for each of the others.
  void Note(const TWorker& worker, const std::string& line) {
    const auto [said, first] = NoteSlots.emplace(line, worker.Slot);
    if (first || said->second == worker.Slot) Status.Note(worker.Slot, line);
  }

  void Take(TWorker& worker, const std::string& line) {
    auto event = ParseEvent(QByteArray::fromStdString(line));
    if (!event) {
      if (!line.empty()) Status.Note(worker.Slot, line);
      return;
    }
    event->Slot = worker.Slot;
    event->Port = worker.Port;
    Emit(*event);
    if (event->Kind == TEventKind::Finished) worker.Restarts = 0;
  }

  // The rows done and left as the store has them: other stations may be writing the same batch.
  void CountRows() {
    if (!Setup.Store) return;
    try {
      Status.SetRowsLeft(Setup.Store->Counts().Left);
    } catch (const std::exception&) {
      // The workers wait for a database that fails; the count is taken again at the next unit.
    }
  }

  void Emit(const TStationEvent& event) {
    if (event.Kind == TEventKind::Finished) CountRows();
    Status.Apply(event);
    if (Setup.Json) {
      Status.Print(EventJson(event).toStdString());
    } else if (event.Kind == TEventKind::Finished) {
      // The station's output stays one line per unit, as with one port.
      const std::string name = !event.Label.empty() ? event.Label
                               : event.Row > 0      ? std::to_string(event.Row)
                                                    : std::string("(шаблон)");
      const std::string said = event.Result == "ok" ? "записано и проверено"
                               : event.Result == "differences" ? "расхождения: " + event.Detail
                               : event.Result == "already" ? event.Detail + " — отключите"
                                                           : "ошибка: " + event.Detail;
      Status.Print(event.Port + " блок " + name + " (" + event.Firmware + "): " + said);
    } else if (event.Kind == TEventKind::Refused) {
      Status.Note(event.Slot, "Метка «" + event.Label + "» отклонена: " + event.Detail);
    }
    // Every row done, or as many units as asked for: the workers end once their units are.
    const bool enough = (Setup.Store && Status.RowsLeft() == 0) ||
                        (Setup.Count > 0 && Status.Done() >= Setup.Count);
    if (enough && !Stopping) StopWorkers(SIGTERM);
    if (Scans) Scans->Follow(event);
  }

  void StopWorkers(int signal) {
    Stopping = true;
    for (const TWorker& worker : Workers)
      if (worker.Running()) kill(worker.Pid, signal);
  }

  void TakeSignals() {
    signalfd_siginfo info;
    while (read(SignalFd, &info, sizeof info) == sizeof info) {
      const int signal = static_cast<int>(info.ssi_signo);
      if (signal != SIGCHLD) {
        if (!StopSignal) {
          StopSignal = signal;
          Status.Note(0, "Остановка: каждый слот заканчивает свой блок...");
        }
        StopWorkers(signal);
      }
    }
    int status = 0;
    for (pid_t pid; (pid = waitpid(-1, &status, WNOHANG)) > 0;) {
      for (TWorker& worker : Workers)
        if (worker.Pid == pid) Ended(worker, status);
    }
  }

  void Ended(TWorker& worker, int status) {
    worker.Pid = -1;
    // Whatever it wrote before it ended counts.
    for (int* fd : {&worker.Out, &worker.Err})
      if (*fd >= 0) fcntl(*fd, F_SETFL, fcntl(*fd, F_GETFL) & ~O_NONBLOCK);
    Drain(worker);
    if (WIFSIGNALED(status) && !Stopping && worker.Restarts < kMostRestarts) {
      ++worker.Restarts;
      TStationEvent event;
      event.Kind = TEventKind::Error;
      event.Slot = worker.Slot;
      event.Port = worker.Port;
      event.Detail = "рабочий процесс слота завершён сигналом " + std::to_string(WTERMSIG(status)) +
                     ", перезапуск";
      Emit(event);
      Start(worker);
      return;
    }
    const int code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    Status.Ended(worker.Slot, code == 0 ? "завершён" : "завершён с кодом " + std::to_string(code));
    // A worker that gave up on its own (its record could not be written) stops the station.
    if (code != 0 && !Stopping) {
      Fatal = true;
      StopWorkers(SIGTERM);
    }
  }
};

}  // namespace

int SuperviseSlots(TSession& session, const TStationSetup& setup) {
  TStation station(session, setup);
  return station.Run();
}
