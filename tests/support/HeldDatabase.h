// Another program holding a SQLite database's write lock, as a person's `sqlite3` session in the
// middle of a transaction does.
//
// `THeldDatabase` runs Debian's `sqlite3` on the file, begins a transaction that writes (taking
// the lock at once) and holds it until `Release` or the end of the object's life.
#pragma once

#include <sys/types.h>

#include <string>

class THeldDatabase {
 public:
  // Returns once the lock is held; throws std::runtime_error when it could not be taken.
  explicit THeldDatabase(const std::string& path);
  ~THeldDatabase();  // Release()
  THeldDatabase(const THeldDatabase&) = delete;
  THeldDatabase& operator=(const THeldDatabase&) = delete;

  // The transaction is rolled back and the program ends; returns once it has.
  void Release();

 private:
  pid_t Child = -1;
  int Input = -1;  // the program's standard input: it ends when this closes
};
