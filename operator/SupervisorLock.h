// The supervisor's password: what the operator may not do alone (open another configuration,
// begin a new shift, quit while units are in hand) asks for it. Only its salted hash is kept, as
// one line of the station's configuration: "pbkdf2-sha256:ITERATIONS:SALT:HASH", salt and hash in
// Base64, PBKDF2 with HMAC-SHA-256 (Qt Network's QPasswordDigestor). No hash: no lock.
#pragma once

#include <QString>

class QWidget;

// A new hash of `password` with a fresh random salt.
QString HashPassword(const QString& password);
// Whether `password` is the one `hash` was made of; in constant time. False for a hash of
// another form.
bool PasswordMatches(const QString& hash, const QString& password);

// The lock of one configuration's supervisor.
class TSupervisorLock {
 public:
  explicit TSupervisorLock(QString hash = {}) : Hash(std::move(hash)) {}
  bool Locked() const { return !Hash.isEmpty(); }
  // Asks for the password when there is one, saying `what` it is for; whether it was given.
  bool Allow(QWidget* parent, const QString& what) const;

 private:
  QString Hash;
};

// vestra-station --set-password FILE: the password twice, from the terminal without echo or
// from standard input when it is not one, its hash written into FILE; the exit code.
int SetPassword(const QString& file);
