// A throwaway PostgreSQL server of a test's or a benchmark's own, from Debian's `postgresql`.
//
// `TPgServer` makes a cluster with initdb in a new temporary folder and starts it with pg_ctl,
// listening on a Unix socket in that folder only (no TCP port to collide with anything). The
// server refuses to run as root, so when the tests run as root it runs as the `postgres` user.
// It is stopped and its folder removed when the object goes out of scope.
#pragma once

#include <string>
#include <vector>

class TPgServer {
 public:
  // `durable`: the server syncs its commits to disk as a real one does (slower).
  explicit TPgServer(bool durable = false);
  ~TPgServer();
  TPgServer(const TPgServer&) = delete;
  TPgServer& operator=(const TPgServer&) = delete;

  // Creates the database `name`; its postgresql:// URI.
  std::string NewDatabase(const std::string& name);
  // The same database as a libpq "key=value" string.
  std::string Words(const std::string& name) const;
  // Stops the server at once, dropping every connection (`pg_ctl stop -m fast`); `Start` starts
  // it again on the same data.
  void Stop();
  void Start();

 private:
  std::string Dir, Options;

  // Runs a program of the server's; throws with its output when it fails.
  void Run(std::vector<std::string> args) const;
};
