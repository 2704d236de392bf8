#include "station/Slots.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcessEnvironment>
#include <csignal>
#include <cstdio>
#include <map>
#include <memory>

#include "link/DeviceWatch.h"
#include "station/Scans.h"
#include "station/SlotStatus.h"
#include "station/StationEvents.h"
#include "station/StationState.h"
#include "station/StationStore.h"
#include "station/WorkerProcess.h"

namespace {

// A worker killed this often in a row is left dead: something kills it at once.
constexpr int kMostRestarts = 10;

struct TWorker {
  int Slot = 0;
  std::string Port;
  int Restarts = 0;
};

class TStation {
 public:
  TStation(TSession& session, const TStationSetup& setup)
      : Session(session), Setup(setup), Status(stderr) {
    CountRows();
    // What the worker is given: the station's own command line without what only the station
    // does (its ports, the count, the events on standard output), and without the database,
    // which goes into its environment instead.
    const QStringList arguments = QCoreApplication::arguments();
    Program = QCoreApplication::applicationFilePath().toStdString();  // UTF-8, as Start takes it
    for (int i = 1; i < arguments.size(); ++i) {
      const QString& a = arguments[i];
      // The command is shown: a database's password is not.
      if (a == "--db" && i + 1 < arguments.size()) {
        Command.append(" --db ").append(
            ShellWord(TStationStore::Shown(arguments[++i]).toStdString()));
        continue;
      }
      if (a.startsWith("--db=")) {
        Command.append(" ").append(
            ShellWord(("--db=" + TStationStore::Shown(a.mid(5))).toStdString()));
        continue;
      }
      if (a == "--port" || a == "--count") {
        ++i;
        continue;
      }
      if (a.startsWith("--port=") || a.startsWith("--count=") || a == "--json") continue;
      WorkerArguments.push_back(a.toStdString());
      Command.append(" ").append(ShellWord(a.toStdString()));
    }
    const QString given = QString(kWorkerDbVariable) + "=";
    for (const QString& variable : QProcessEnvironment::systemEnvironment().toStringList())
      if (!variable.startsWith(given)) WorkerEnvironment.push_back(variable.toStdString());
    WorkerEnvironment.push_back(given.toStdString() + Setup.Db);
    for (const std::string& port : Setup.Ports) Command.append(" --port ").append(ShellWord(port));
    if (Setup.Automatic) Command += " --port auto";
    if (!Setup.Db.empty())
      States = std::make_unique<TStationStateWriter>(
          QString::fromStdString(Setup.Db),
          TStationNames::Of(Session.Options.value("station").toStdString(), Setup.Automatic,
                            Setup.Ports));
    if (Setup.Scan)
      Scans = std::make_unique<TScans>(
          Setup.Store,
          TScans::THooks{[this](int slot, const std::string& line) { Hand(slot, line); },
                         [this](const TStationEvent& event) { Emit(event); }});
  }
  TStation(const TStation&) = delete;
  TStation& operator=(const TStation&) = delete;

  int Run() {
    for (const std::string& port : Setup.Ports) AddSlot(port);
    if (Setup.Automatic) WatchPorts();
    // --port auto goes on until stopped, waiting for devices; otherwise the workers end it.
    while (AnyRunning() || (Setup.Automatic && !Stopping)) {
      // The station's own watches, each known by its place among the waitables.
      std::vector<int> waitables;
      const auto watch = [&waitables](bool wanted, int waitable) {
        if (!wanted) return -1;
        waitables.push_back(waitable);
        return static_cast<int>(waitables.size()) - 1;
      };
      const int devicesAt = watch(Watch != nullptr, Watch ? Watch->Descriptor() : -1);
      const int settingsAt =
          watch(Settings && Settings->Waitable() >= 0, Settings ? Settings->Waitable() : -1);
      const int scansAt = watch(Scans && ScanInput, ScanInput ? ScanInput->Descriptor() : -1);
      // Only the seconds on the screen need a tick; devices come as events.
      const std::chrono::milliseconds tick(Status.Terminal() ? 1000 : -1);
      bool devices = false, settings = false, scans = false;
      for (const THappening& happening : Processes.Wait(tick, waitables)) {
        switch (happening.Kind) {
          case THappening::TKind::Event:
            Take(Workers[happening.Worker - 1], happening.Line);
            break;
          case THappening::TKind::Note:
            if (!happening.Line.empty()) Note(Workers[happening.Worker - 1], happening.Line);
            break;
          case THappening::TKind::Stop:
            if (!StopSignal) {
              StopSignal = happening.Signal;
              Status.Note(0, "Остановка: каждый слот заканчивает свой блок...");
            }
            StopWorkers(happening.Signal);
            break;
          case THappening::TKind::Ended:
            Ended(Workers[happening.Worker - 1], happening.End);
            break;
          case THappening::TKind::Ready:
            devices |= happening.Worker == devicesAt;
            settings |= happening.Worker == settingsAt;
            scans |= happening.Worker == scansAt;
            break;
        }
      }
      if (!Stopping && std::ferror(stdout)) {
        // Nobody reads the station any more: every slot finishes its unit, then ends.
        OutputGone = true;
        Status.Note(0, "Стандартный вывод закрыт: каждый слот заканчивает свой блок...");
        StopWorkers(SIGTERM);
      }
      if (devices && !Stopping) TakeDevices();
      if (settings && !Stopping && Settings->Changed()) WatchPorts();
      if (scans) TakeScans();
      Status.Tick();
    }
    Status.Close();
    if (States) States->Stop();
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
  TWorkerProcesses Processes;
  std::string Program, Command;
  std::vector<std::string> WorkerArguments, WorkerEnvironment;
  std::vector<TWorker> Workers;
  // --port auto: every port name's device, watched for one that appears.
  std::unique_ptr<TDeviceWatch> Watch;
  std::vector<std::string> WatchedNames;
  // The settings store's folder: a port name given another device there (as the simulated
  // unit's --com does) is watched there from then on.
  std::unique_ptr<TSettingsWatch> Settings;
  std::map<std::string, int> NoteSlots;  // a worker's note, and the slot that said it first
  bool Stopping = false, Fatal = false, OutputGone = false;
  int StopSignal = 0;
  // What the station does, kept in the record for the line's dashboard.
  std::unique_ptr<TStationStateWriter> States;
  // --scan: the scanner's labels on standard input, each bound to one unit.
  std::unique_ptr<TScans> Scans;
  std::unique_ptr<TLineInput> ScanInput = std::make_unique<TLineInput>(0);

  // The scanner's lines; their end ends only the scanning.
  void TakeScans() {
    const bool open = ScanInput->Read();
    while (auto line = ScanInput->Next()) Scans->Take(*line);
    if (!open) ScanInput.reset();
  }

  // A worker gone meanwhile is given the label again by the next arrival of its unit.
  void Hand(int slot, const std::string& line) { Processes.Write(slot, line); }

  bool AnyRunning() const {
    for (const TWorker& worker : Workers)
      if (Processes.Running(worker.Slot)) return true;
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
    if (!Settings) Settings = std::make_unique<TSettingsWatch>();
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

  void TakeDevices() {
    for (const TDeviceWatch::TEvent& event : Watch->TakeEvents())
      if (event.Change == TDeviceWatch::TChange::Appeared) AddSlotOnce(WatchedNames[event.Index]);
  }

  void AddSlotOnce(const std::string& name) {
    for (const TWorker& worker : Workers)
      if (worker.Port == name) return;
    AddSlot(name);
  }

  void Start(const TWorker& worker) {
    std::vector<std::string> args = {Program};
    args.insert(args.end(), WorkerArguments.begin(), WorkerArguments.end());
    args.insert(args.end(), {"--slot", std::to_string(worker.Slot), "--port", worker.Port});
    Processes.Start(worker.Slot, args, WorkerEnvironment);
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
    if (States)
      if (const std::string note = States->Take(event); !note.empty()) Status.Note(0, note);
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
    for (const TWorker& worker : Workers) Processes.Stop(worker.Slot, signal);
  }

  void Ended(TWorker& worker, const TWorkerEnd& end) {
    if (end.Killed && !Stopping && worker.Restarts < kMostRestarts) {
      ++worker.Restarts;
      TStationEvent event;
      event.Kind = TEventKind::Error;
      event.Slot = worker.Slot;
      event.Port = worker.Port;
      event.Detail = "рабочий процесс слота завершён " + end.How + ", перезапуск";
      Emit(event);
      Start(worker);
      return;
    }
    Status.Ended(worker.Slot,
                 end.Code == 0 ? "завершён" : "завершён с кодом " + std::to_string(end.Code));
    // A worker that gave up on its own (its record could not be written) stops the station.
    if (end.Code != 0 && !Stopping) {
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
