// A station's configuration file, the one the service reads (dist/station/demo.conf): one
// NAME=VALUE a line, a value with blanks in double quotes, "#" comments. The operator's window
// takes TEMPLATE=, UNITS= and OPTIONS= from it to run the station, and SUPERVISOR= (the
// supervisor's password as a salted hash, operator/SupervisorLock.h), which the service ignores.
#pragma once

#include <QString>
#include <QStringList>

struct TStationConfig {
  QString Path;  // absolute
  QString Template, Units;
  QStringList Options;  // OPTIONS= split at blanks
  QString Supervisor;   // SUPERVISOR=; empty: no password set

  // Raises EVestraError when the file cannot be read or lacks TEMPLATE= or UNITS=, or a value
  // holds a control character.
  static TStationConfig Read(const QString& path);
  // Rewrites `path` with SUPERVISOR= set to `hash`, every other line kept as it is; raises
  // EVestraError when it cannot.
  static void SetSupervisor(const QString& path, const QString& hash);

  // The folder that relative names in the file are taken from: the file's own.
  QString Folder() const;
  // `vestra-cli` arguments of the station with its events on standard output.
  QStringList Arguments() const;
  // The value of an option ("--db", "--station") in OPTIONS=; empty when not given.
  QString Option(const QString& name) const;
  bool Scanning() const { return Options.contains("--scan"); }
  // The station's database as vestra-cli finds it from the file's folder.
  QString Db() const;
};
