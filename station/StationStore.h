// The batch station's queue and record: a database that every station of a line may share.
//
// A batch is a template and a table. Its rows are identified by their content, never by their
// number, so an edited table keeps what was done with the rows it still holds. A station claims
// the next open row of its batch with a lease (a station that dies loses its claim once the
// lease runs out), records an attempt as "started" before the first command goes to the unit,
// and completes it with the result; a row becomes done in the transaction that records its "ok".
// Each start of a station is an instance of its own: a name may be given twice (two PCs, two
// starts), and the attempts of a live instance are never taken for a dead one's. A started
// attempt that was never completed reads "interrupted" once its lease ran out, and is marked so
// once a later start of its station (or the claim of its expired row) finds it.
//
// Two back ends through Qt SQL, with one schema and one set of statements except the claim:
// SQLite (a file; WAL, synchronous FULL, one writer at a time with a busy timeout) and
// PostgreSQL (`postgresql://...` or a libpq "key=value" string; the claim skips rows locked by
// other stations; a connection lost to a server's restart is opened again). Several processes
// may use one store at once. Every failure raises EVestraError with a Russian text.
#pragma once

#include <QString>
#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

// A row of the table as the store keeps it.
struct TStoreRow {
  std::string Identity;      // from its content (see RowIdentity)
  int Position = 0;          // 1-based, in this batch's table
  std::string Label;         // UTF-8
  std::string Values;        // "key=value" lines, UTF-8, for the record
  std::string Earlier = {};  // the identity the release before this one gave it; empty: none
};

// A row claimed by this station, with the attempt started on it.
struct TClaim {
  long long RowId = 0;
  int Position = 0;
  long long Attempt = 0;
  std::string Instance;  // of the station that holds it
  long long LeaseMs = 0;
};

// One attempt as the record holds it; the fields of the station's log, plus the station.
struct TAttemptRecord {
  long long Id = 0;
  std::string Time, Port, Device, Firmware;
  int Position = 0;  // 0: the template alone, no row
  std::string Label, Result, Detail;
  std::optional<double> WaitS, WriteS, VerifyS;
  std::string Station;
  std::string Scanned = {};  // the label scanned for the unit; empty: none
};

// The rows of the batch with one label, by what became of them.
struct TLabelRows {
  int Rows = 0, Done = 0, Held = 0;  // held: claimed by a station whose lease runs
};

// What a station (slot 0) or one of its slots is doing, as the station keeps it in the record for
// the line's dashboard. Times are the database's clock, one for every PC of the line.
struct TStateRecord {
  std::string Instance;  // this start of the station
  int Slot = 0;          // 0: the station itself
  std::string Station, Pc;
  std::string RecordName;   // the station its attempts are recorded under (a slot's)
  std::string Port, Phase;  // "running" or "stopped" for the station, a slot's phase name
  int Position = 0;         // the row of the table; 0: none
  std::string Label, Detail;
  int Step = 0, Steps = 0;
  long long AgeMs = 0;    // since the phase began
  long long QuietMs = 0;  // read: since the last heartbeat
  long long BeatMs = 0;   // how often the station beats
};

// How the store is opened: the dashboard only reads, and never creates or upgrades a schema.
enum class TStoreAccess { ReadWrite, ReadOnly };

struct TStoreCounts {
  int Done = 0, Left = 0;               // rows of the batch
  std::map<std::string, int> Attempts;  // by result
};

// What the station reports when it completes an attempt.
struct TOutcomeRecord {
  std::string Result, Detail;
  double WaitS = 0, WriteS = 0, VerifyS = 0;
  std::string Time = {};  // when the unit was done, local ISO 8601; empty: now
};

class TStationStore {
 public:
  static constexpr int kSchemaVersion = 3;
  static constexpr long long kLeaseMs = 5 * 60 * 1000;

  // Whether `db` names a PostgreSQL database rather than a SQLite file.
  static bool IsPostgres(const QString& db);
  // `db` as it may be shown or logged: a password in it (a URI's or a "password=" word) as ***.
  static QString Shown(const QString& db);
  // A postgresql:// URI as libpq's "key=value" words, which Qt passes through to libpq.
  static QString ConnectionWords(const QString& db);
  // The local time now as the record keeps it (ISO 8601 with the offset).
  static std::string LocalTime();
  // The SQLite file when no database is named: in the state folder systemd gives a service,
  // else in the user's ($XDG_STATE_HOME/vestra, ~/.local/state/vestra), so that a station
  // started from another folder still finds its record.
  static QString DefaultFile();

  // Opens the store named by `db` for the station `station`, creating its schema on first use
  // (or bringing an older one up to date). `instance` names this start of the station; empty:
  // a new one.
  explicit TStationStore(const QString& db, const std::string& station = {},
                         const std::string& instance = {},
                         TStoreAccess access = TStoreAccess::ReadWrite);
  ~TStationStore();
  TStationStore(const TStationStore&) = delete;
  TStationStore& operator=(const TStationStore&) = delete;

  // The identity of a batch from its template (its parameter set as text) and its rows'
  // identities.
  static std::string BatchIdentity(const QByteArray& templateText,
                                   const std::vector<TStoreRow>& rows);
  // The identity of a row from its template, its label and its own values (any order);
  // `occurrence` tells apart rows that are equal in everything (0 for the first).
  static std::string RowIdentity(const QByteArray& templateText, const std::string& label,
                                 std::vector<std::string> values, int occurrence);

  // Makes this batch the station's: records it and adds the rows the store does not hold yet.
  // A batch the store holds only under `earlierIdentity` (and its rows under theirs) is that
  // batch, and goes on under the identities of now.
  void OpenBatch(const std::string& identity, const std::vector<TStoreRow>& rows,
                 const std::string& earlierIdentity = {});
  // This station's attempts left "started" by an earlier run become "interrupted" and their
  // claims are released, once their lease ran out or their process on this computer is gone (a
  // live station of the same name keeps its own); the attempts so marked.
  std::vector<TAttemptRecord> MarkInterrupted();
  // The next open row of the batch, now leased to this station, and an attempt on it recorded
  // as "started" for the unit on `port`, all in one transaction; none when every open row is
  // done or claimed by a station whose lease runs.
  std::optional<TClaim> Claim(const std::string& port, const std::string& device,
                              const std::string& firmware);
  // As Claim, but the next open row whose label is `label` (scanned for the unit, and recorded
  // with the attempt); none when every such row is done or held.
  std::optional<TClaim> ClaimLabel(const std::string& label, const std::string& port,
                                   const std::string& device, const std::string& firmware);
  // What the batch's rows labelled `label` are: none, done, held.
  TLabelRows LabelRows(const std::string& label);
  void RenewLease(const TClaim& claim);
  // Records an attempt that has no row (the template alone) as "started"; its id.
  long long StartAttempt(const std::string& port, const std::string& device,
                         const std::string& firmware, const std::string& scanned = {});
  // Completes the attempt; an "ok" makes the claimed row done in the same transaction, any other
  // result gives the row back to the queue. False when the row was done by another attempt
  // meanwhile (this station had lost its claim). Completing an attempt again with what the
  // record already holds changes nothing (a journal's replay).
  bool CompleteAttempt(long long attempt, long long rowId, const TOutcomeRecord& outcome);
  bool CompleteAttempt(long long attempt, const TClaim* claim, const TOutcomeRecord& outcome) {
    return CompleteAttempt(attempt, claim ? claim->RowId : 0, outcome);
  }
  TAttemptRecord Attempt(long long id);
  TAttemptRecord Attempt(const TClaim& claim) { return Attempt(claim.Attempt); }
  // Every attempt of the store, in the order they were started; one left "started" whose lease
  // ran out reads "interrupted" (the record itself is left as it is).
  std::vector<TAttemptRecord> Attempts();
  // Those from the attempt `id` on, in the same order.
  std::vector<TAttemptRecord> AttemptsFrom(long long id);
  // The rows of this batch (or of the batch used last, when none was opened) and the attempts by
  // result.
  TStoreCounts Counts();

  // --- The stations' states (station/StationState.h) ---
  // Records these states, each with its heartbeat now, in one transaction.
  void PutStates(const std::vector<TStateRecord>& states);
  // The heartbeat of every state of `instance`.
  void Beat(const std::string& instance);
  // Every state held, the quiet time of each measured now.
  std::vector<TStateRecord> States();

  // How long a claim and its attempt are leased (the default kLeaseMs).
  void SetLease(long long ms);
  const std::string& Instance() const;

  // Raises EVestraError when the SQLite file is no longer the one opened (deleted, or replaced by
  // another file): what this station records would be lost with it.
  void RequireSameFile() const;

  // A PostgreSQL connection is opened again (a server that restarted); nothing for SQLite.
  // Every operation also does this once by itself when it fails, and tells `Note`.
  void Reconnect();
  std::function<void(const std::string&)> Note;

  // --- At the unit: a finished unit left alone, the claim confirmed before "#S" ---
  long long LeaseMs() const;
  // The positions in this batch's table of its done rows.
  std::vector<int> DonePositions();
  // Records, without claiming it, an attempt on the batch's row at `position` as "started": the
  // unit on `port` holds that row already. Its id.
  long long StartAttemptOnRow(int position, const std::string& port, const std::string& device,
                              const std::string& firmware);
  // Whether this station still holds `claim`; its lease then runs afresh from now. False once
  // another station took the row, or it is done.
  bool ConfirmClaim(const TClaim& claim);

 private:
  struct TImpl;
  std::unique_ptr<TImpl> Impl;
};

// Keeps a claim's lease running while it lives: a unit's write holds the station's thread for
// its whole length, so a thread of its own renews the lease, over a connection of its own, every
// fifth of the lease. A renewal that fails is left to the completion, which finds the claim lost.
class TLeaseKeeper {
 public:
  TLeaseKeeper(const QString& db, const std::string& station, const TClaim& claim,
               long long leaseMs = TStationStore::kLeaseMs);
  ~TLeaseKeeper();
  TLeaseKeeper(const TLeaseKeeper&) = delete;
  TLeaseKeeper& operator=(const TLeaseKeeper&) = delete;

 private:
  std::mutex Mutex;
  std::condition_variable Stop;
  bool Stopping = false;
  std::thread Thread;
};
